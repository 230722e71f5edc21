// Starts the real main window on a silent meter, so that the first poll waits in the
// handshake, then closes the window in the middle of that wait. The process must end by
// itself, promptly, with the shutdown hook run.
#include "panel/panel.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "virtualmeter/virtualmeter.h"

#include <QApplication>
#include <QFile>
#include <QTextStream>
#include <QTimer>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QString marker = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();

    lumetra::sim::VirtualMeter meter;
    meter.setSilent(true);
    if (!meter.start())
        return 2;
    lumetra::ScriptedDialogs dialogs;
    lumetra::SystemClock clock;
    auto panel = std::make_unique<lumetra::Panel>(dialogs, clock);
    panel->setShutdownHook([marker] {
        QFile f(marker);
        if (f.open(QIODevice::WriteOnly))
            f.write("closed\n");
    });
    panel->show();
    panel->start(lumetra::PortChoice{1, meter.devicePath()});
    QTimer::singleShot(800, [&] {
        QTextStream(stdout) << "closing" << Qt::endl;
        panel->close();
    });
    const int rc = QApplication::exec();
    panel.reset();
    return rc;
}
