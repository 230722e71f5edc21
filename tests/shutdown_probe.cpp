// Runs the real main window against a virtual meter in one of two ways:
//   shutdown_probe close MARKER   the meter is silent, so the first poll waits in the
//                                 handshake; the window is closed in the middle of that wait.
//   shutdown_probe record FILE    records once a second into FILE and prints "recorded N"
//                                 after each record, until it is killed.
#include "commands/toolbarhub.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "virtualmeter/virtualmeter.h"
#include "windows/panel.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QTextStream>
#include <QTimer>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const QString path = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();

    lumetra::sim::VirtualMeter meter;
    meter.setSilent(mode == QLatin1String("close"));
    meter.setPaced(false);
    if (!meter.start())
        return 2;
    lumetra::ScriptedDialogs dialogs;
    lumetra::SystemClock clock;
    auto panel = std::make_unique<lumetra::Panel>(dialogs, clock);
    auto hub = std::make_unique<lumetra::ToolbarHub>(*panel);
    panel->show();
    panel->start(lumetra::PortChoice{1, meter.devicePath()});
    QTextStream out(stdout);

    if (mode == QLatin1String("close")) {
        // The hub's hook closes the record file; tell the test that it ran.
        panel->setShutdownHook([path] {
            QFile f(path);
            if (f.open(QIODevice::WriteOnly))
                f.write("closed\n");
        });
        QTimer::singleShot(800, [&] {
            out << "closing" << Qt::endl;
            panel->close();
        });
    } else {
        panel->state().sampleInterval = 1;
        // Recording starts once the display shows the meter's unit.
        QTimer start;
        QObject::connect(&start, &QTimer::timeout, [&] {
            if (!panel->state().display.linkAlive)
                return;
            start.stop();
            dialogs.saveAnswers = {path};
            hub->click(QStringLiteral("Save"));
        });
        start.start(50);
        QTimer watch;
        QString last;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (panel->LblCount->text() != last && !panel->LblCount->text().isEmpty()) {
                last = panel->LblCount->text();
                out << "recorded " << last << Qt::endl;
            }
        });
        watch.start(20);
        const int rc = QApplication::exec();
        hub.reset();
        panel.reset();
        return rc;
    }
    const int rc = QApplication::exec();
    hub.reset();
    panel.reset();
    return rc;
}
