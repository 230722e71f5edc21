#pragma once

#include "model/portnames.h"

#include <QStringList>
#include <QWidget>

class QComboBox;
class QProgressBar;
class QPushButton;

namespace lumetra {

class SerialPort;

// The first window: the user picks the meter's port, lets the program list the ports that
// exist, or opens the device manager; OK hands the choice on.
class Port : public QWidget {
    Q_OBJECT
public:
    // extraDevices: devices to offer besides "COM  n" (the demo's virtual meter); preselect:
    // the text shown in the port box when the window opens (empty: "COM  1").
    explicit Port(QStringList extraDevices = {}, const QString& preselect = {},
                  portnames::DeviceMap devices = portnames::deviceForNumber,
                  QWidget* parent = nullptr);

    const PortChoice& choice() const { return m_choice; }

    void reset();
    void autoScan();
    void ok();
    // Shown again from the main window: another port may be chosen, or none (closing it then
    // changes nothing).
    void reopen();

    QComboBox* TxtCOM = nullptr;
    QPushButton* CmdOK = nullptr;
    QPushButton* BtnReset = nullptr;
    QPushButton* BtnAutoScan = nullptr;
    QPushButton* BtnDeviceManager = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    SerialPort* MSComm1 = nullptr;

signals:
    // OK was clicked: the main window takes over with this choice.
    void chosen(const PortChoice& choice);
    // Closed without OK: the program ends.
    void abandoned();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QStringList m_extraDevices;
    portnames::DeviceMap m_devices;
    PortChoice m_choice;
    bool m_accepted = false;
};

// Lists the sixteen numbered ports that exist (present or in use) in ascending order, then
// the other serial devices found by path. Never talks to a meter; ignores every port error.
// progress is called with (done, total).
QStringList scanPorts(SerialPort& port, const QStringList& otherDevices,
                      const portnames::DeviceMap& devices = portnames::deviceForNumber,
                      const std::function<void(int, int)>& progress = {});

} // namespace lumetra
