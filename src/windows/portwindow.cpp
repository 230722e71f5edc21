#include "portwindow.h"

#include "link/wait.h"
#include "platform/serialport.h"
#include "platform/shell.h"
#include "widgets/twips.h"
#include "windows/serialdevices.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QShortcut>

namespace lumetra {

QStringList scanPorts(SerialPort& port, const QStringList& otherDevices,
                      const portnames::DeviceMap& devices,
                      const std::function<void(int, int)>& progress) {
    QStringList found;
    const int total = portnames::kPortCount;
    for (int i = 1; i <= total; ++i) {
        if (progress)
            progress(i, total);
        if (port.isOpen())
            port.close();
        port.setSettings(QStringLiteral("9600,n,8,1"));
        port.setDevice(devices(i));
        const int error = port.open();
        if (error == SerialPort::NoError || error == SerialPort::AlreadyOpen) {
            found << portnames::listName(i);
            port.close();
        }
    }
#ifndef Q_OS_WIN
    // Other serial devices by path: USB adapters, ACM devices, and any known extra device.
    QStringList paths = otherDevices;
    for (const auto& info : QSerialPortInfo::availablePorts()) {
        const QString path = info.systemLocation();
        if (!path.startsWith(QLatin1String("/dev/ttyS")))
            paths << path;
    }
    paths.removeDuplicates();
    for (const QString& path : std::as_const(paths)) {
        if (port.isOpen())
            port.close();
        port.setDevice(path);
        const int error = port.open();
        if (error == SerialPort::NoError || error == SerialPort::AlreadyOpen) {
            found << path;
            port.close();
        }
    }
#else
    Q_UNUSED(otherDevices);
#endif
    return found;
}

Port::Port(QStringList extraDevices, const QString& preselect, portnames::DeviceMap devices,
           QWidget* parent)
    : QWidget(parent), m_extraDevices(std::move(extraDevices)), m_devices(std::move(devices)) {
    setObjectName(QStringLiteral("Port"));
    setWindowTitle(QStringLiteral("COM Port"));
    setAttribute(Qt::WA_DeleteOnClose, false);

    TxtCOM = new QComboBox(this);
    TxtCOM->setObjectName(QStringLiteral("TxtCOM"));
    TxtCOM->setEditable(true);
    TxtCOM->setInsertPolicy(QComboBox::NoInsert);
    TxtCOM->setMinimumContentsLength(16);
    TxtCOM->setAccessibleName(QStringLiteral("Port"));
    CmdOK = new QPushButton(QStringLiteral("OK"), this);
    CmdOK->setObjectName(QStringLiteral("CmdOK"));
    CmdOK->setDefault(true);
    BtnReset = new QPushButton(QStringLiteral("Reset"), this);
    BtnReset->setObjectName(QStringLiteral("BtnReset"));
    BtnAutoScan = new QPushButton(QStringLiteral("AutoScan"), this);
    BtnAutoScan->setObjectName(QStringLiteral("BtnAutoScan"));
    BtnDeviceManager = new QPushButton(QStringLiteral("Device Manager"), this);
    BtnDeviceManager->setObjectName(QStringLiteral("BtnDeviceManager"));
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setAccessibleName(QStringLiteral("Scanning ports"));
    ProgressBar1->setToolTip(QStringLiteral("Scanning ports"));
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setRange(0, portnames::kPortCount);
    ProgressBar1->setValue(0);
    MSComm1 = new SerialPort(this);
    MSComm1->setObjectName(QStringLiteral("MSComm1"));
    for (QPushButton* b : {CmdOK, BtnReset, BtnAutoScan, BtnDeviceManager})
        b->setAccessibleName(b->text());

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(tr("Port:"), this), 0, 0);
    grid->addWidget(TxtCOM, 0, 1, 1, 2);
    grid->addWidget(CmdOK, 0, 3);
    grid->addWidget(BtnReset, 1, 1);
    grid->addWidget(BtnAutoScan, 1, 2);
    grid->addWidget(BtnDeviceManager, 1, 3);
    grid->addWidget(ProgressBar1, 2, 0, 1, 4);

    connect(CmdOK, &QPushButton::clicked, this, &Port::ok);
    connect(BtnReset, &QPushButton::clicked, this, &Port::reset);
    connect(BtnAutoScan, &QPushButton::clicked, this, &Port::autoScan);
    connect(BtnDeviceManager, &QPushButton::clicked, this, [this] {
        if (openDeviceManager())
            return;
        // No system console for this: our own list of the serial devices.
        auto* window = new SerialDevicesWindow(this); // deletes itself on close
        window->show();
        window->raise();
    });

    // Enter is OK, wherever the focus is in the window.
    for (const auto key : {Qt::Key_Return, Qt::Key_Enter})
        connect(new QShortcut(QKeySequence(key), this), &QShortcut::activated, this, &Port::ok);

    move(twipsToPixels(this, 3700), twipsToPixels(this, 2700));
    reset();
    if (TxtCOM->count() > 0)
        TxtCOM->setCurrentIndex(0);
    for (const QString& device : std::as_const(m_extraDevices))
        TxtCOM->addItem(device);
    if (!preselect.isEmpty())
        TxtCOM->setCurrentText(preselect);
}

void Port::reset() {
    const QString current = TxtCOM->currentText();
    TxtCOM->clear();
    TxtCOM->addItems(portnames::allListNames());
    // The selection is not changed by a reset.
    TxtCOM->setCurrentText(current);
}

void Port::autoScan() {
    // No choice while the scan holds ports open: OK (and its Enter) wait for the end.
    BtnAutoScan->setEnabled(false);
    CmdOK->setEnabled(false);
    const QStringList found =
        scanPorts(*MSComm1, m_extraDevices, m_devices, [this](int done, int total) {
            ProgressBar1->setMaximum(total);
            ProgressBar1->setValue(done);
            pauseSeconds(0); // keep the window painted while the scan runs
        });
    BtnAutoScan->setEnabled(true);
    CmdOK->setEnabled(true);
    const QString chosen = TxtCOM->currentText();
    TxtCOM->clear();
    TxtCOM->addItems(found);
    // The port already chosen stays chosen when the scan finds it.
    if (found.contains(chosen))
        TxtCOM->setCurrentText(chosen);
    else if (!found.isEmpty())
        TxtCOM->setCurrentIndex(0);
    else
        TxtCOM->setCurrentText(QString());
}

void Port::reopen() {
    m_accepted = false;
    show();
    raise();
    activateWindow();
}

void Port::ok() {
    if (!CmdOK->isEnabled())
        return;
    m_choice = portnames::choose(TxtCOM->currentText(), m_choice, m_devices);
    m_accepted = true;
    emit chosen(m_choice);
    close();
}

void Port::closeEvent(QCloseEvent* event) {
    event->accept();
    if (!m_accepted)
        emit abandoned();
}

} // namespace lumetra
