#include "serialdevices.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QTableWidget>
#include <QVBoxLayout>

namespace lumetra {

SerialDevicesWindow::SerialDevicesWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("SerialDevices"));
    setWindowTitle(tr("Serial Devices"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    auto* hint = new QLabel(tr("Serial devices found on this computer. Type the device path "
                               "into the port box, or use COM 1 … COM 16 for /dev/ttyS0 … "
                               "/dev/ttyS15. Opening a device needs membership of the "
                               "'dialout' group."),
                            this);
    hint->setWordWrap(true);
    layout->addWidget(hint);
    m_table = new QTableWidget(0, 5, this);
    m_table->setAccessibleName(windowTitle());
    m_table->setHorizontalHeaderLabels(
        {tr("Device"), tr("Description"), tr("Manufacturer"), tr("USB ID"), tr("Serial number")});
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    layout->addWidget(m_table);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    auto* refreshButton = buttons->addButton(tr("Refresh"), QDialogButtonBox::ActionRole);
    connect(refreshButton, &QPushButton::clicked, this, &SerialDevicesWindow::refresh);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    layout->addWidget(buttons);
    resize(640, 280);
    refresh();
}

void SerialDevicesWindow::refresh() {
    const auto ports = QSerialPortInfo::availablePorts();
    m_table->setRowCount(int(ports.size()));
    int row = 0;
    for (const auto& info : ports) {
        QString usb;
        if (info.hasVendorIdentifier() && info.hasProductIdentifier())
            usb = QStringLiteral("%1:%2")
                      .arg(info.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                      .arg(info.productIdentifier(), 4, 16, QLatin1Char('0'));
        const QStringList cells{info.systemLocation(), info.description(), info.manufacturer(), usb,
                                info.serialNumber()};
        for (int c = 0; c < cells.size(); ++c)
            m_table->setItem(row, c, new QTableWidgetItem(cells[c]));
        ++row;
    }
    m_table->resizeColumnsToContents();
}

} // namespace lumetra
