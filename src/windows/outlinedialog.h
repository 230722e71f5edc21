#pragma once

#include "model/survey.h"

#include <QDialog>
#include <QPolygonF>

class QLabel;
class QPushButton;
class QTableWidget;

namespace lumetra {

class SurveyPlanView;

// An outline as corners: typed as x, y in metres in a table, or clicked on the plan (snapped
// to 5 cm). It is taken only as a simple polygon; otherwise the message names the two edges
// that cross. For the room's outline and for an obstacle.
class OutlineDialog : public QDialog {
    Q_OBJECT
public:
    // `room`: the survey as it stands, drawn under the corners.
    OutlineDialog(const QString& title, const QPolygonF& corners, const survey::Survey& room,
                  QWidget* parent = nullptr);

    QTableWidget* TblCorners = nullptr;
    QPushButton* BtnAddCorner = nullptr;
    QPushButton* BtnRemoveCorner = nullptr;
    QPushButton* BtnClear = nullptr;
    SurveyPlanView* Plan = nullptr;
    QLabel* LblProblem = nullptr;
    QPushButton* BtnOk = nullptr;

    // The corners as typed; nothing while a cell holds no number.
    std::optional<QPolygonF> corners() const;
    void setCorners(const QPolygonF& corners);

    void accept() override;

signals:
    void taken(const QPolygonF& corners);

private:
    void addCorner(QPointF at);
    void showOnPlan();

    QString m_title;
    survey::Survey m_room;
};

} // namespace lumetra
