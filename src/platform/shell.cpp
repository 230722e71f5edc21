#include "shell.h"

#include "link/serialdevices.h"

#include <QProcess>
#include <QStringList>

namespace lumetra {

void openDeviceManager(QWidget* owner) {
#ifdef Q_OS_WIN
    Q_UNUSED(owner);
    QProcess::startDetached(QStringLiteral("mmc.exe"), {QStringLiteral("devmgmt.msc")});
#else
    auto* window = new SerialDevicesWindow(owner); // deletes itself on close
    window->show();
    window->raise();
#endif
}

} // namespace lumetra
