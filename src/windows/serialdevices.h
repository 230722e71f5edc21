#pragma once

#include <QDialog>

class QTableWidget;

namespace lumetra {

// The serial devices the system knows, with their USB identities: what a user needs to
// find the meter's adapter on a machine without a device manager console.
class SerialDevicesWindow : public QDialog {
    Q_OBJECT
public:
    explicit SerialDevicesWindow(QWidget* parent = nullptr);
    void refresh();

private:
    QTableWidget* m_table = nullptr;
};

} // namespace lumetra
