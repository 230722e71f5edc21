#include "commands/toolbarhub.h"
#include "platform/clock.h"
#include "platform/memory.h"
#include "platform/remembered.h"
#include "virtualmeter/virtualmeter.h"
#include "widgets/dialogs.h"
#include "windows/panel.h"
#include "windows/portwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QIcon>
#include <QSettings>
#include <QTextStream>

#include <csignal>
#include <memory>

namespace {

bool asksOnlyForText(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "-h" || a == "--help" || a == "-v" || a == "--version" || a == "--help-all")
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char* argv[]) {
    lumetra::returnLargeBlocksToTheSystem();
    if (asksOnlyForText(argc, argv)) {
        // --help and --version need no display.
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
#ifdef SIGXFSZ
    // A file-size limit is a write error that the writer reports, not the end of the program.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Lumetra"));
    QApplication::setApplicationName(QStringLiteral("Lumetra"));
    QApplication::setApplicationVersion(QStringLiteral("10.06"));
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/lumetra.png")));
    QGuiApplication::setDesktopFileName(QStringLiteral("lumetra"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Lumetra: live display, recording and settings for a digital light meter."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption demo(QStringLiteral("demo"),
                                  QStringLiteral("Start a virtual meter inside the program and "
                                                 "preselect its device."));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Preselect this serial device (or COM name)."),
                                  QStringLiteral("DEVICE"));
    parser.addOption(demo);
    parser.addOption(port);
    parser.process(app);

    std::unique_ptr<lumetra::sim::VirtualMeter> meter;
    QStringList extraDevices;
    QString preselect = parser.value(port);
    if (parser.isSet(demo)) {
        meter = std::make_unique<lumetra::sim::VirtualMeter>();
        if (!meter->start()) {
            QTextStream(stderr) << "lumetra: cannot start the virtual meter: " << meter->errorText()
                                << '\n';
            return 1;
        }
        meter->fillMemory(3, 60);
        extraDevices << meter->devicePath();
        preselect = meter->devicePath();
    }

    lumetra::QtDialogs dialogs;
    lumetra::SystemClock clock;
    std::unique_ptr<lumetra::Panel> panel;
    std::unique_ptr<lumetra::ToolbarHub> hub;

    // The port chosen last is offered again, unless one is named on the command line.
    const QSettings settings;
    const QString kLastPort = QStringLiteral("port/last");
    if (preselect.isEmpty())
        preselect = settings.value(kLastPort).toString();
    lumetra::Port portWindow(extraDevices, preselect);
    QObject::connect(&portWindow, &lumetra::Port::chosen, &app,
                     [&](const lumetra::PortChoice& choice) {
                         const auto rememberPort = [&]() -> QString {
                             if (parser.isSet(demo)) // the demo's device is gone next time
                                 return {};
                             return lumetra::remember(kLastPort, portWindow.TxtCOM->currentText());
                         };
                         if (panel) {
                             // Remembered only once it opened: a refused or missing port is not
                             // offered again next time.
                             if (hub->changePort(choice))
                                 if (const QString e = rememberPort(); !e.isEmpty())
                                     panel->showWriteError(e);
                             return;
                         }
                         panel = std::make_unique<lumetra::Panel>(dialogs, clock);
                         QObject::connect(panel.get(), &lumetra::Panel::portWindowAsked,
                                          &portWindow, &lumetra::Port::reopen);
                         hub = std::make_unique<lumetra::ToolbarHub>(*panel);
                         panel->show();
                         panel->start(choice);
                         if (!panel->state().meterOnline)
                             return; // a port that did not open is not offered next time
                         if (const QString e = rememberPort(); !e.isEmpty())
                             panel->showWriteError(e);
                     });
    // Closing it at the start ends the program; later it only leaves the port as it is.
    QObject::connect(&portWindow, &lumetra::Port::abandoned, &app, [&] {
        if (!panel)
            QCoreApplication::quit();
    });
    portWindow.show();
    const int rc = QApplication::exec();
    // Windows first, then the meter their port talks to. The windows the hub closes delete
    // themselves; the event loop has ended, so that happens here.
    hub.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    panel.reset();
    meter.reset();
    return rc;
}
