#pragma once

#include "model/emergency.h"

#include <QWidget>

namespace lumetra {

// The emergency test's light as it runs, drawn as in the report; it speaks the test's state to
// a screen reader (its accessible description).
class EmergencyCurve : public QWidget {
    Q_OBJECT
public:
    explicit EmergencyCurve(QWidget* parent = nullptr);
    void setTest(const emergency::Input& input, const emergency::Assessment& a);
    QSize sizeHint() const override { return {640, 260}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    emergency::Input m_input;
    emergency::Assessment m_assessment;
};

} // namespace lumetra
