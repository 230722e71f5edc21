#include "shell.h"

#include <QProcess>
#include <QStringList>

namespace lumetra {

bool openDeviceManager() {
#ifdef Q_OS_WIN
    return QProcess::startDetached(QStringLiteral("mmc.exe"), {QStringLiteral("devmgmt.msc")});
#else
    return false;
#endif
}

} // namespace lumetra
