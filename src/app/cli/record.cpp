// lumetra-cli record: samples the meter unattended into CSV, record files and an MQTT broker,
// and carries on through dropouts of the meter and of the broker.
#include "common.h"

#include "link/meterlink.h"
#include "link/metersession.h"
#include "link/unattended.h"
#include "model/samplerow.h"
#include "platform/clock.h"
#include "platform/mqttpublisher.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <unistd.h>
#include <variant>

namespace lumetra::cli {
namespace {

// The command line of "record", checked.
struct RecordSetup {
    UnattendedRecorder::Options options;
    std::optional<Broker> broker;
    bool quiet = false;
};

// The options of "record" and their help.
struct RecordOptions {
    const QCommandLineOption port{QStringLiteral("port"),
                                  QStringLiteral("The meter's serial device (required)."),
                                  QStringLiteral("DEVICE")};
    const QCommandLineOption interval{QStringLiteral("interval"),
                                      QStringLiteral("Seconds between samples, 0.25 to 86400 "
                                                     "(default 1)."),
                                      QStringLiteral("SECONDS"), QStringLiteral("1")};
    const QCommandLineOption csv{
        QStringLiteral("csv"),
        QStringLiteral("CSV rows into FILE (appended), or - for standard output. The default "
                       "when no other output is given."),
        QStringLiteral("FILE")};
    const QCommandLineOption recordFile{
        QStringLiteral("record-file"),
        QStringLiteral("Record files as the desktop program writes them; where one has to end, "
                       "NAME-2.txt, NAME-3.txt, … follow. Existing files are kept."),
        QStringLiteral("FILE")};
    const QCommandLineOption duration{QStringLiteral("duration"),
                                      QStringLiteral("End after this many seconds."),
                                      QStringLiteral("SECONDS")};
    const QCommandLineOption count{QStringLiteral("count"),
                                   QStringLiteral("End after this many samples."),
                                   QStringLiteral("N")};
    const QCommandLineOption mqtt{
        QStringLiteral("mqtt"),
        QStringLiteral("Publish every sample to mqtt://[user[:password]@]host[:port] (mqtts:// "
                       "for TLS). The password may come from LUMETRA_MQTT_PASSWORD instead."),
        QStringLiteral("URL")};
    const QCommandLineOption topic{
        QStringLiteral("mqtt-topic"),
        QStringLiteral("Topic prefix (default lumetra/<host>/<device name>)."),
        QStringLiteral("PREFIX")};
    const QCommandLineOption cafile{QStringLiteral("mqtt-cafile"),
                                    QStringLiteral("Certificate authority for mqtts://."),
                                    QStringLiteral("FILE")};
    const QCommandLineOption quiet{QStringLiteral("quiet"),
                                   QStringLiteral("No status line on the terminal.")};

    void addTo(QCommandLineParser& p) const {
        p.setApplicationDescription(
            QStringLiteral("Records the meter's readings without a display: CSV rows, the "
                           "desktop program's record files and MQTT messages. It waits for a "
                           "meter that falls silent or is unplugged and goes on when it is "
                           "back.\n\n") +
            QLatin1String(kExitCodes));
        p.addHelpOption();
        p.addPositionalArgument(QStringLiteral("record"), QStringLiteral("The subcommand."));
        p.addOptions(
            {port, interval, csv, recordFile, duration, count, mqtt, topic, cafile, quiet});
    }
};

// The recording asked for, or the exit code of a wrong command line (or of --help).
std::variant<RecordSetup, int> recordSetup(const QStringList& arguments) {
    QCommandLineParser p;
    const RecordOptions opt;
    opt.addTo(p);
    if (!p.parse(arguments))
        return usage(p.errorText());
    if (p.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(p.helpText()), stdout);
        return 0;
    }
    RecordSetup setup;
    UnattendedRecorder::Options& o = setup.options;
    if (!p.isSet(opt.port))
        return usage(QStringLiteral("--port DEVICE is required."));
    o.port = PortChoice{0, p.value(opt.port)};
    bool ok = false;
    const double seconds = p.value(opt.interval).toDouble(&ok);
    if (!ok || !(seconds >= 0.25 && seconds <= 86400))
        return usage(QStringLiteral("--interval takes 0.25 to 86400 seconds."));
    o.intervalMs = int(std::lround(seconds * 1000));
    if (p.isSet(opt.duration) && p.isSet(opt.count))
        return usage(QStringLiteral("--duration and --count exclude each other."));
    if (p.isSet(opt.duration)) {
        const double d = p.value(opt.duration).toDouble(&ok);
        if (!ok || !(d > 0))
            return usage(QStringLiteral("--duration takes a number of seconds above 0."));
        o.durationMs = qint64(std::llround(d * 1000));
    }
    if (p.isSet(opt.count)) {
        o.count = p.value(opt.count).toLongLong(&ok);
        if (!ok || o.count < 1)
            return usage(QStringLiteral("--count takes a whole number above 0."));
    }
    o.recordPath = p.value(opt.recordFile);
    o.csvPath = p.isSet(opt.csv)                                 ? p.value(opt.csv)
                : (p.isSet(opt.recordFile) || p.isSet(opt.mqtt)) ? QString()
                                                                 : QStringLiteral("-");
    if (p.isSet(opt.mqtt)) {
        QString error;
        setup.broker = brokerOf(p.value(opt.mqtt), p.value(opt.topic), p.value(opt.cafile), error);
        if (!setup.broker)
            return usage(error);
    }
    setup.quiet = p.isSet(opt.quiet);
    return setup;
}

// The status line: samples, the last reading, the meter's state and the running time.
void showStatusOf(UnattendedRecorder& recorder, StatusLine& status, QTimer& clockTick,
                  QObject& context) {
    auto linkState = std::make_shared<QString>(QStringLiteral("starting"));
    const auto draw = [&recorder, &status, linkState] {
        status.show(QStringLiteral("%1 samples · last %2 · meter %3 · %4")
                        .arg(recorder.samplesTaken())
                        .arg(recorder.lastReading().isEmpty() ? QStringLiteral("-")
                                                              : recorder.lastReading())
                        .arg(recorder.meterAway() ? QStringLiteral("away") : *linkState)
                        .arg(clockText(recorder.runningMs())));
    };
    QObject::connect(&recorder.session().link(), &MeterLink::statusChanged, &context,
                     [draw, linkState](const QString& s) {
                         *linkState = s == MeterLink::waitingStatus() ? QStringLiteral("away")
                                                                      : QStringLiteral("live");
                         draw();
                     });
    QObject::connect(&recorder, &UnattendedRecorder::progressed, &context,
                     [draw, linkState, &recorder] {
                         if (*linkState == QLatin1String("starting") && !recorder.meterAway())
                             *linkState = QStringLiteral("live");
                         draw();
                     });
    QObject::connect(&clockTick, &QTimer::timeout, &context, draw);
    clockTick.start(1000);
}

} // namespace

int record(QCoreApplication& app, const QStringList& arguments) {
    auto parsed = recordSetup(arguments);
    if (const int* code = std::get_if<int>(&parsed))
        return *code;
    const RecordSetup& setup = std::get<RecordSetup>(parsed);
    const UnattendedRecorder::Options& o = setup.options;
    if (!catchSignals())
        return usage(QStringLiteral("no signal pipe"));

    SystemClock clock;
    UnattendedRecorder recorder(o, clock);
    const bool rowsOnTerminal = o.csvPath == QLatin1String("-") && ::isatty(STDOUT_FILENO);
    StatusLine status(!setup.quiet && ::isatty(STDERR_FILENO) && !rowsOnTerminal);
    QObject::connect(&recorder, &UnattendedRecorder::said, &app,
                     [&status](const QString& text) { status.message(text); });
    std::unique_ptr<MqttPublisher> publisher;
    if (setup.broker) {
        publisher = publisherFor(*setup.broker, o.port.device);
        QObject::connect(publisher.get(), &MqttPublisher::said, &app,
                         [&status](const QString& text) { status.message(text); });
        const bool ms = o.intervalMs % 1000 != 0;
        recorder.setListener(
            [&publisher, ms](const Sample& s) { publisher->publish(samples::stateJson(s, ms)); });
    }

    switch (recorder.start()) {
    case UnattendedRecorder::StartError::None:
        break;
    case UnattendedRecorder::StartError::Port:
        say(QStringLiteral("lumetra-cli: ") + recorder.errorText());
        return kExitPort;
    case UnattendedRecorder::StartError::Output:
        say(QStringLiteral("lumetra-cli: ") + recorder.errorText());
        return kExitOutput;
    }
    if (publisher)
        publisher->start();
    QTimer clockTick;
    showStatusOf(recorder, status, clockTick, app);

    bool ending = false;
    const auto end = [&] {
        if (ending)
            return;
        ending = true;
        clockTick.stop();
        recorder.finish(); // every file ends with its last whole line
        if (publisher)
            publisher->finish(400);
        status.clear();
        say(QStringLiteral("%1 samples recorded.").arg(recorder.samplesTaken()));
        if (!recorder.meterAnswered()) {
            // A wrong port, or a meter switched off: said, and not an ended recording.
            say(QStringLiteral("lumetra-cli: no meter answered on %1.").arg(o.port.device));
            QCoreApplication::exit(kExitNoMeter);
            return;
        }
        QCoreApplication::exit(0);
    };
    QObject::connect(&recorder, &UnattendedRecorder::done, &app, end);
    QSocketNotifier signalNotifier(signalReadEnd(), QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [&] {
        // Always read to the end: a signal left in the pipe (a second Ctrl+C while the end
        // runs) would wake this again and again.
        char byte = 0;
        while (::read(signalReadEnd(), &byte, 1) == 1) {
            if (ending)
                continue;
            if (byte == SIGHUP) {
                recorder.reopenFiles();
                status.message(QStringLiteral("Output files reopened."));
            } else {
                end();
            }
        }
    });
    return app.exec();
}

} // namespace lumetra::cli
