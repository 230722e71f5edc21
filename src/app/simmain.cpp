#include "virtualmeter/simcommands.h"
#include "virtualmeter/virtualmeter.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>

#include <cstdio>
#include <unistd.h>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lumetra-meter-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral("10.06"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A virtual light meter on a pseudo-terminal. Prints the device path on "
                       "the first line and serves until stopped.\n\n") +
        lumetra::sim::simCommandHelp());
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption log(QStringLiteral("log"),
                                 QStringLiteral("Write every received byte with a time stamp."),
                                 QStringLiteral("FILE"));
    const QCommandLineOption fast(
        QStringLiteral("unpaced"),
        QStringLiteral("Send as fast as possible instead of 1920 bytes/s."));
    const QCommandLineOption fixed(QStringLiteral("steady"),
                                   QStringLiteral("Keep the reading still (no drift)."));
    parser.addOption(log);
    parser.addOption(fast);
    parser.addOption(fixed);
    parser.process(app);

    lumetra::sim::VirtualMeter meter;
    meter.setPaced(!parser.isSet(fast));
    meter.setDrift(!parser.isSet(fixed));
    if (parser.isSet(log) && !meter.setLogFile(parser.value(log))) {
        QTextStream(stderr) << "lumetra-meter-sim: cannot write " << parser.value(log) << '\n';
        return 1;
    }
    if (!meter.start()) {
        QTextStream(stderr) << "lumetra-meter-sim: cannot create a pseudo-terminal: "
                            << meter.errorText() << '\n';
        return 1;
    }
    QTextStream out(stdout);
    out << meter.devicePath() << Qt::endl;

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[1024];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            input.setEnabled(false); // end of input: keep serving until killed
            return;
        }
        pending.append(buffer, n);
        qsizetype eol;
        while ((eol = pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromLocal8Bit(pending.left(eol)).trimmed();
            pending.remove(0, eol + 1);
            if (line == QLatin1String("quit")) {
                QCoreApplication::quit();
                return;
            }
            const QString answer = lumetra::sim::applySimCommand(meter, line);
            if (!answer.isEmpty())
                out << answer << Qt::endl;
        }
    });
    return QCoreApplication::exec();
}
