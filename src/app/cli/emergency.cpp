// lumetra-cli emergency-test: an emergency-lighting duration test from a terminal or a service
// (the mains failure found, the light followed through the rated duration, a verdict, a line
// in the log book), or the assessment of a recording made earlier.
#include "common.h"

#include "graph/emergencyreport.h"
#include "link/emergencyrun.h"
#include "link/unattended.h"
#include "model/emergency.h"
#include "platform/clock.h"
#include "platform/mqttpublisher.h"
#include "platform/wholefile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QTimer>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <unistd.h>
#include <variant>

namespace lumetra::cli {
namespace {

// A 3 h recording at four rows a second is about 8 MB.
constexpr qint64 kMostRecordingBytes = 256LL << 20;

struct Options {
    const QCommandLineOption port{QStringLiteral("port"),
                                  QStringLiteral("The meter's serial device."),
                                  QStringLiteral("DEVICE")};
    const QCommandLineOption rule{
        QStringLiteral("rule"),
        QStringLiteral("en1838-route, en1838-open, en1838-task or nfpa101 (required)."),
        QStringLiteral("RULE")};
    const QCommandLineOption duration{
        QStringLiteral("duration"),
        QStringLiteral("The rated duration in seconds, from 10 (required; 3600, 5400, 10800)."),
        QStringLiteral("SECONDS")};
    const QCommandLineOption location{QStringLiteral("location"),
                                      QStringLiteral("Where the test runs (required)."),
                                      QStringLiteral("TEXT")};
    const QCommandLineOption luminaire{QStringLiteral("luminaire"),
                                       QStringLiteral("The luminaire's reference."),
                                       QStringLiteral("TEXT")};
    const QCommandLineOption tester{QStringLiteral("tester"), QStringLiteral("Who runs the test."),
                                    QStringLiteral("TEXT")};
    const QCommandLineOption remarks{QStringLiteral("remarks"),
                                     QStringLiteral("Remarks for the log book."),
                                     QStringLiteral("TEXT")};
    const QCommandLineOption logbook{
        QStringLiteral("logbook"),
        QStringLiteral("The log book (JSON lines); the entry is appended (required)."),
        QStringLiteral("FILE")};
    const QCommandLineOption csv{
        QStringLiteral("csv"),
        QStringLiteral("The samples as lumetra-cli record writes them (default: beside the log "
                       "book, named after the location and the time)."),
        QStringLiteral("FILE")};
    const QCommandLineOption report{QStringLiteral("report"),
                                    QStringLiteral("The report of the test as a PDF."),
                                    QStringLiteral("FILE.pdf")};
    const QCommandLineOption mqtt{QStringLiteral("mqtt"),
                                  QStringLiteral("Publish the state and the verdict to "
                                                 "mqtt://[user[:password]@]host[:port]."),
                                  QStringLiteral("URL")};
    const QCommandLineOption topic{QStringLiteral("mqtt-topic"),
                                   QStringLiteral("Topic prefix (default lumetra/<host>/<device "
                                                  "name>)."),
                                   QStringLiteral("PREFIX")};
    const QCommandLineOption cafile{QStringLiteral("mqtt-cafile"),
                                    QStringLiteral("Certificate authority for mqtts://."),
                                    QStringLiteral("FILE")};
    const QCommandLineOption assess{QStringLiteral("assess"),
                                    QStringLiteral("Assess a recording made earlier instead of "
                                                   "running a test."),
                                    QStringLiteral("RECORDING.csv")};
    const QCommandLineOption json{QStringLiteral("json"),
                                  QStringLiteral("With --assess: print the log book entry.")};
    const QCommandLineOption quiet{QStringLiteral("quiet"),
                                   QStringLiteral("No status line on the terminal.")};

    void addTo(QCommandLineParser& p) const {
        p.setApplicationDescription(
            QStringLiteral("Runs an emergency-lighting duration test: lay the meter under the "
                           "emergency luminaire, start, then cut the mains. The failure is found "
                           "by itself; the light is followed through the rated duration and "
                           "judged by the rule, and the entry goes into the log book. SIGINT or "
                           "SIGTERM ends it as stopped by the user, still logged. With --assess "
                           "it judges a recording made earlier.\n\n") +
            QLatin1String(kExitCodes));
        p.addHelpOption();
        p.addPositionalArgument(QStringLiteral("emergency-test"),
                                QStringLiteral("The subcommand."));
        p.addOptions({port, rule, duration, location, luminaire, tester, remarks, logbook, csv,
                      report, mqtt, topic, cafile, assess, json, quiet});
    }
};

struct Setup {
    emergency::Rule rule;
    double ratedS = 0;
    emergency::Meta meta;
    QString port, logbook, report, assess;
    bool json = false, quiet = false;
    std::optional<Broker> broker;
};

std::optional<QString> checkRun(const QCommandLineParser& p, const Options& o, Setup& s) {
    if (!p.isSet(o.port))
        return QStringLiteral("--port DEVICE is required.");
    if (!p.isSet(o.location) || p.value(o.location).trimmed().isEmpty())
        return QStringLiteral("--location TEXT is required.");
    if (!p.isSet(o.logbook))
        return QStringLiteral("--logbook FILE is required.");
    if (p.isSet(o.json))
        return QStringLiteral("--json goes with --assess.");
    s.port = p.value(o.port);
    s.logbook = p.value(o.logbook);
    s.meta.samplesFile = p.isSet(o.csv)
                             ? p.value(o.csv)
                             : emergency::samplesBeside(s.logbook, s.meta.location, s.meta.started);
    if (p.isSet(o.mqtt)) {
        QString error;
        s.broker = brokerOf(p.value(o.mqtt), p.value(o.topic), p.value(o.cafile), error);
        if (!s.broker)
            return error;
    }
    return std::nullopt;
}

// The test asked for, or the exit code of a wrong command line (or of --help).
std::variant<Setup, int> setupOf(const QStringList& arguments) {
    QCommandLineParser p;
    const Options o;
    o.addTo(p);
    if (!p.parse(arguments))
        return usage(p.errorText());
    if (p.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(p.helpText()), stdout);
        return 0;
    }
    Setup s;
    const auto rule = emergency::ruleById(p.value(o.rule));
    if (!rule)
        return usage(QStringLiteral("--rule takes %1.")
                         .arg(emergency::ruleIds().join(QStringLiteral(", "))));
    s.rule = *rule;
    bool ok = false;
    s.ratedS = p.value(o.duration).toDouble(&ok);
    if (!ok || !(s.ratedS >= 10 && s.ratedS <= 86400))
        return usage(QStringLiteral("--duration takes 10 to 86400 seconds."));
    s.meta.location = p.value(o.location).trimmed();
    s.meta.luminaire = p.value(o.luminaire);
    s.meta.tester = p.value(o.tester);
    s.meta.remarks = p.value(o.remarks);
    s.meta.started = QDateTime::currentDateTime();
    s.report = p.value(o.report);
    s.json = p.isSet(o.json);
    s.quiet = p.isSet(o.quiet);
    if (p.isSet(o.assess)) {
        if (p.isSet(o.port))
            return usage(QStringLiteral("--assess and --port exclude each other."));
        s.assess = p.value(o.assess);
        return s;
    }
    if (const auto wrong = checkRun(p, o, s))
        return usage(*wrong);
    return s;
}

// The verdict, its reasons and the figures, for a person at a terminal.
void printVerdict(const emergency::Input& in, const emergency::Assessment& a) {
    std::printf("%s\n", qPrintable(emergency::verdictName(a.verdict)));
    for (const QString& reason : a.reasons)
        std::printf("  %s\n", qPrintable(reason));
    for (const emergencyreport::Criterion& c : emergencyreport::criteria(in, a))
        std::printf("%s: %s (required %s) %s\n", qPrintable(c.what), qPrintable(c.measured),
                    qPrintable(c.required), qPrintable(c.verdict));
    std::fflush(stdout);
}

int writeReport(const Setup& s, const emergency::Input& in, const emergency::Assessment& a) {
    if (s.report.isEmpty())
        return 0;
    const auto bytes = emergencyreport::pdf(in, a, s.meta);
    const QString e =
        bytes ? saveWholeFile(s.report, *bytes) : QStringLiteral("the PDF could not be drawn");
    if (e.isEmpty())
        return 0;
    say(QStringLiteral("lumetra-cli: %1: %2").arg(s.report, e));
    return kExitOutput;
}

int assessRecording(Setup& s) {
    QString error;
    const auto bytes = readSmallFile(s.assess, kMostRecordingBytes, error);
    if (!bytes) {
        say(QStringLiteral("lumetra-cli: %1: %2").arg(s.assess, error));
        return kExitPort;
    }
    auto readings = emergency::readingsOfCsv(*bytes, error);
    if (!readings) {
        say(QStringLiteral("lumetra-cli: %1: %2").arg(s.assess, error));
        return kExitData;
    }
    const emergency::Input in{s.rule, s.ratedS, *readings, {}, true, false};
    const emergency::Assessment a = emergency::assess(in);
    if (!a.failureFound) {
        say(QStringLiteral("lumetra-cli: %1: no mains failure in it (no reading below half of "
                           "the level of the %2 before it).")
                .arg(s.assess, emergency::durationText(emergency::kNormalWindowS)));
        return kExitData;
    }
    s.meta.samplesFile = s.assess;
    s.meta.started = QDateTime::fromMSecsSinceEpoch(readings->first().ms);
    s.meta.ended = QDateTime::fromMSecsSinceEpoch(readings->last().ms);
    if (s.json)
        std::printf("%s\n", QJsonDocument(emergency::entryJson(in, a, s.meta))
                                .toJson(QJsonDocument::Compact)
                                .constData());
    else
        printVerdict(in, a);
    return writeReport(s, in, a);
}

// The state for a broker: the reading, the state line, the time left and, at the end, the
// verdict.
QByteArray stateJson(const EmergencyRun& run, const Sample& last) {
    QJsonObject o = QJsonDocument::fromJson(samples::stateJson(last, true)).object();
    o.insert(QStringLiteral("test_state"), run.stateText());
    o.insert(QStringLiteral("left_s"), std::round(run.secondsLeft()));
    o.insert(QStringLiteral("verdict"), emergency::verdictName(run.assessment().verdict));
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

// Appends the entry and writes the report; the exit code.
int logTheTest(Setup& s, const EmergencyRun& run, const UnattendedRecorder& recorder) {
    if (!recorder.meterAnswered()) {
        say(QStringLiteral("lumetra-cli: no meter answered on %1; nothing is logged.").arg(s.port));
        return kExitNoMeter;
    }
    s.meta.ended = QDateTime::currentDateTime();
    const QJsonObject entry = emergency::entryJson(run.input(), run.assessment(), s.meta);
    if (const QString e = appendToLogBook(s.logbook, entry); !e.isEmpty()) {
        say(QStringLiteral("lumetra-cli: %1: %2; the entry was:\n%3")
                .arg(s.logbook, e,
                     QString::fromUtf8(QJsonDocument(entry).toJson(QJsonDocument::Compact))));
        return kExitOutput;
    }
    printVerdict(run.input(), run.assessment());
    return writeReport(s, run.input(), run.assessment());
}

void showProgress(const EmergencyRun& run, const UnattendedRecorder& recorder, StatusLine& status) {
    status.show(
        QStringLiteral("%1 · last %2 · %3 left")
            .arg(run.stateText(),
                 recorder.lastReading().isEmpty() ? QStringLiteral("-") : recorder.lastReading(),
                 emergency::durationText(std::ceil(run.secondsLeft()))));
}

int runTest(QCoreApplication& app, Setup& s) {
    if (!catchSignals())
        return usage(QStringLiteral("no signal pipe"));
    SystemClock clock;
    UnattendedRecorder::Options ro;
    ro.port = PortChoice{0, s.port};
    ro.intervalMs = int(emergency::kResolutionS * 1000);
    UnattendedRecorder recorder(ro, clock);
    EmergencyRun run({s.rule, s.ratedS, s.meta.samplesFile}, clock);
    StatusLine status(!s.quiet && ::isatty(STDERR_FILENO));
    const auto tell = [&status](const QString& text) { status.message(text); };
    QObject::connect(&recorder, &UnattendedRecorder::said, &app, tell);
    QObject::connect(&run, &EmergencyRun::said, &app, tell);
    QString error;
    if (!run.open(error)) {
        say(QStringLiteral("lumetra-cli: ") + error);
        return kExitOutput;
    }
    std::unique_ptr<MqttPublisher> publisher;
    if (s.broker) {
        publisher = publisherFor(*s.broker, s.port);
        QObject::connect(publisher.get(), &MqttPublisher::said, &app, tell);
    }
    recorder.setListener([&](const Sample& sample) {
        run.take(sample);
        if (run.over())
            return; // the end has run from finished(): nothing more goes out
        if (publisher)
            publisher->publish(stateJson(run, sample));
        showProgress(run, recorder, status);
    });
    if (recorder.start() != UnattendedRecorder::StartError::None) {
        say(QStringLiteral("lumetra-cli: ") + recorder.errorText());
        return kExitPort;
    }
    if (publisher)
        publisher->start();
    say(QStringLiteral("Samples go into %1. Cut the mains when the normal level shows.")
            .arg(QDir::toNativeSeparators(s.meta.samplesFile)));
    QObject::connect(&run, &EmergencyRun::finished, &app, [&] {
        recorder.finish();
        status.clear();
        const int code = logTheTest(s, run, recorder);
        if (publisher) {
            Sample last;
            last.time = clock.now();
            last.status = Sample::Mode;
            publisher->publish(stateJson(run, last));
            publisher->finish(400);
        }
        QCoreApplication::exit(code);
    });
    QSocketNotifier signalNotifier(signalReadEnd(), QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [&] {
        char byte = 0;
        while (::read(signalReadEnd(), &byte, 1) == 1) {
            if (byte != SIGHUP)
                run.stop(); // the end runs once, from finished()
        }
    });
    return app.exec();
}

} // namespace

int emergencyTest(QCoreApplication& app, const QStringList& arguments) {
    auto parsed = setupOf(arguments);
    if (const int* code = std::get_if<int>(&parsed))
        return *code;
    Setup& s = std::get<Setup>(parsed);
    return s.assess.isEmpty() ? runTest(app, s) : assessRecording(s);
}

} // namespace lumetra::cli
