// lumetra-cli: Lumetra without a display. "record" samples the meter unattended into CSV, record
// files and an MQTT broker, and carries on through dropouts of the meter and of the broker.
// "report" makes a lighting survey's report from its file.
#include "graph/surveyreport.h"
#include "link/meterlink.h"
#include "link/metersession.h"
#include "link/unattended.h"
#include "model/brokerurl.h"
#include "model/samplerow.h"
#include "platform/clock.h"
#include "platform/mqttpublisher.h"
#include "platform/serialport.h"
#include "platform/wholefile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QSysInfo>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <pwd.h>
#include <unistd.h>
#include <variant>

using namespace lumetra;

namespace {

// Exit codes (also in --help and the man page).
constexpr int kExitUsage = 64;   // the command line is wrong
constexpr int kExitData = 65;    // the survey file is no survey, or of a newer version
constexpr int kExitPort = 66;    // the meter's device (or the survey file) cannot be opened
constexpr int kExitNoMeter = 69; // the meter never answered during a recording
constexpr int kExitOutput = 73;  // an output file cannot be created

const char kExitCodes[] = "Exit codes: 0 the recording ended (count, duration, SIGINT or "
                          "SIGTERM), or the report was made; 64 wrong command line; 65 the "
                          "survey file is damaged or of a newer version; 66 the device or the "
                          "survey file cannot be opened; 69 the meter never answered during the "
                          "recording; 73 an output file cannot be created.";

int g_signalPipe[2] = {-1, -1};

void onSignal(int number) {
    const char byte = char(number);
    const int saved = errno;
    (void)::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

// Standard error may share a pipe with standard output whose reader has stalled ("2>&1 |"):
// its flags stay as they are, and a message waits for room a moment at most, then is left
// out, so that nothing it says can keep the recorder from ending. Once stalled, later
// messages go only where there is room at once, until one gets through again.
void toStandardError(const QByteArray& bytes) {
    static bool stalled = false;
    QDeadlineTimer until(stalled ? 0 : 100);
    qsizetype done = 0;
    while (done < bytes.size()) {
        pollfd err{STDERR_FILENO, POLLOUT, 0};
        const int ready = ::poll(&err, 1, int(until.remainingTime()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0) {
            stalled = true;
            return;
        }
        const ssize_t n = ::write(STDERR_FILENO, bytes.constData() + done,
                                  std::min<size_t>(size_t(bytes.size() - done), PIPE_BUF));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += n;
    }
    stalled = false;
}

void say(const QString& text) {
    toStandardError(text.toLocal8Bit() + '\n');
}

int usage(const QString& text) {
    say(QStringLiteral("lumetra-cli: %1").arg(text));
    return kExitUsage;
}

QString clockText(qint64 ms) {
    const qint64 s = ms / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600, 2, 10, QLatin1Char('0'))
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

// One line on the terminal, drawn again in place; messages go above it.
class StatusLine {
public:
    explicit StatusLine(bool on) : m_on(on) {}
    void show(const QString& text) {
        if (!m_on)
            return;
        toStandardError("\r\033[K" + text.toLocal8Bit());
        m_shown = true;
    }
    void message(const QString& text) {
        clear();
        say(text);
    }
    void clear() {
        if (m_shown)
            toStandardError("\r\033[K");
        m_shown = false;
    }

private:
    bool m_on;
    bool m_shown = false;
};

// The command line of "record", checked.
struct RecordSetup {
    UnattendedRecorder::Options options;
    std::optional<BrokerUrl> broker;
    QString topic; // empty: lumetra/<host>/<device>
    QString caFile;
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
        setup.broker =
            parseBrokerUrl(p.value(opt.mqtt), qEnvironmentVariable("LUMETRA_MQTT_PASSWORD"), error);
        if (!setup.broker)
            return usage(error);
        if (p.isSet(opt.cafile) && !QFileInfo(p.value(opt.cafile)).isReadable())
            return usage(QStringLiteral("%1 cannot be read.").arg(p.value(opt.cafile)));
    }
    setup.topic = p.value(opt.topic);
    setup.caFile = p.value(opt.cafile);
    setup.quiet = p.isSet(opt.quiet);
    return setup;
}

// Signals arrive through a pipe and are handled in the event loop, between exchanges.
bool catchSignals() {
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int s : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(s, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN); // a closed pipe on standard output is an error, not death
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    return true;
}

// The publisher of the recording's samples, with host and device in every id: two recorders
// on one broker never overwrite each other.
std::unique_ptr<MqttPublisher> publisherFor(const RecordSetup& r) {
    const QString host = QSysInfo::machineHostName();
    const QString device = samples::deviceLabel(stableDevicePath(r.options.port.device));
    const QString prefix = r.topic.isEmpty() ? samples::defaultTopic(host, device) : r.topic;
    const auto config = samples::discovery(prefix, host, device);
    MqttPublisher::Setup setup{*r.broker,
                               r.caFile,
                               QStringLiteral("lumetra-%1-%2-%3")
                                   .arg(host, device)
                                   .arg(QCoreApplication::applicationPid())
                                   .toUtf8(),
                               (prefix + QStringLiteral("/state")).toUtf8(),
                               (prefix + QStringLiteral("/availability")).toUtf8(),
                               config.topic,
                               config.payload};
    say(QStringLiteral("Publishing to %1/state on %2:%3.")
            .arg(prefix, r.broker->host)
            .arg(r.broker->port));
    return std::make_unique<MqttPublisher>(std::move(setup));
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
        publisher = publisherFor(setup);
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
    QSocketNotifier signalNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [&] {
        // Always read to the end: a signal left in the pipe (a second Ctrl+C while the end
        // runs) would wake this again and again.
        char byte = 0;
        while (::read(g_signalPipe[0], &byte, 1) == 1) {
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

survey::Unit extrasUnit(const QString& name) {
    return name == QLatin1String("fc") ? survey::footCandles() : survey::lux();
}

int report(const QStringList& arguments) {
    QCommandLineParser p;
    p.setApplicationDescription(
        QStringLiteral("Makes the report of a lighting survey saved by Lumetra, as a PDF, and "
                       "its points as CSV. Needs neither a display nor a meter.\n\n") +
        QLatin1String(kExitCodes));
    p.addHelpOption();
    p.addPositionalArgument(QStringLiteral("report"), QStringLiteral("The subcommand."));
    p.addPositionalArgument(QStringLiteral("SURVEY"), QStringLiteral("The survey file (.json)."));
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("The report's PDF file."),
                                    QStringLiteral("REPORT.pdf"));
    const QCommandLineOption csv(QStringLiteral("csv"), QStringLiteral("Also the points as CSV."),
                                 QStringLiteral("POINTS.csv"));
    const QCommandLineOption unit(QStringLiteral("unit"),
                                  QStringLiteral("lx (the default) or fc for the figures shown."),
                                  QStringLiteral("UNIT"), QStringLiteral("lx"));
    p.addOptions({output, csv, unit});
    if (!p.parse(arguments))
        return usage(p.errorText());
    if (p.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(p.helpText()), stdout);
        return 0;
    }
    const QStringList files = p.positionalArguments().mid(1);
    if (files.size() != 1)
        return usage(QStringLiteral("name one survey file."));
    if (!p.isSet(output) && !p.isSet(csv))
        return usage(QStringLiteral("-o REPORT.pdf or --csv POINTS.csv is required."));
    const QString unitName = p.value(unit);
    if (unitName != QLatin1String("lx") && unitName != QLatin1String("fc"))
        return usage(QStringLiteral("--unit takes lx or fc."));

    QString error;
    const auto read = readSmallFile(files.first(), survey::kMostFileBytes, error);
    if (!read) {
        say(QStringLiteral("lumetra-cli: %1: %2").arg(files.first(), error));
        return kExitPort;
    }
    QString shortened;
    const auto s = survey::fromJson(*read, error, &shortened);
    if (!s) {
        say(QStringLiteral("lumetra-cli: %1: %2").arg(files.first(), error));
        return kExitData;
    }
    if (!shortened.isEmpty())
        say(QStringLiteral("lumetra-cli: %1: %2").arg(files.first(), shortened));
    if (p.isSet(csv)) {
        if (const QString e = saveWholeFile(p.value(csv), survey::pointsCsv(*s)); !e.isEmpty()) {
            say(QStringLiteral("lumetra-cli: %1: %2").arg(p.value(csv), e));
            return kExitOutput;
        }
    }
    if (p.isSet(output)) {
        surveyreport::Extras extras;
        extras.unit = extrasUnit(unitName);
        extras.made = QDateTime::currentDateTime();
        extras.meterNote = surveyreport::noMeterNote();
        const auto bytes = surveyreport::pdf(*s, extras);
        const QString e = bytes ? saveWholeFile(p.value(output), *bytes)
                                : QStringLiteral("the PDF could not be drawn");
        if (!e.isEmpty()) {
            say(QStringLiteral("lumetra-cli: %1: %2").arg(p.value(output), e));
            return kExitOutput;
        }
    }
    // The verdict, for scripts and for a person at a terminal.
    const QString verdict = survey::verdict(*s);
    const QString missing = survey::missingEvidence(*s);
    std::printf("%s\n", qPrintable(verdict.isEmpty() ? QStringLiteral("no verdict")
                                   : verdict == QLatin1String("INCOMPLETE")
                                       ? QStringLiteral("%1 (%2)").arg(verdict, missing)
                                       : verdict));
    // Each criterion that failed, with its figure and what was required.
    if (verdict == QLatin1String("FAIL")) {
        for (const survey::Result& r : survey::results(*s, extrasUnit(unitName))) {
            if (r.verdict == QLatin1String("FAIL"))
                std::printf(
                    "%s\n",
                    qPrintable(
                        QStringLiteral("%1: %2, required %3").arg(r.what, r.value, r.required)));
        }
    }
    return 0;
}

} // namespace

// The subcommand nearest to a mistyped one (fewest letters to change), for the message;
// empty when none is near.
QString nearestSubcommand(const QString& typed) {
    const auto distance = [](const QString& a, const QString& b) {
        QList<int> row(b.size() + 1);
        for (int j = 0; j <= b.size(); ++j)
            row[j] = j;
        for (int i = 1; i <= a.size(); ++i) {
            int diagonal = row[0];
            row[0] = i;
            for (int j = 1; j <= b.size(); ++j) {
                const int above = row[j];
                row[j] = std::min(
                    {row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
                diagonal = above;
            }
        }
        return row[b.size()];
    };
    const QString record = QStringLiteral("record"), report = QStringLiteral("report");
    const int toRecord = distance(typed, record), toReport = distance(typed, report);
    // Only a near miss is a typing slip worth naming.
    if (std::min(toRecord, toReport) > 2)
        return {};
    return toRecord <= toReport ? record : report;
}

int main(int argc, char* argv[]) {
    // Qt warns of a missing runtime folder before any word of ours (a service, a plain
    // terminal login); it is the folder Qt would take anyway.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const passwd* user = ::getpwuid(::getuid());
        qputenv("XDG_RUNTIME_DIR",
                QByteArray("/tmp/runtime-") +
                    (user ? QByteArray(user->pw_name) : QByteArray::number(::getuid())));
    }
    if (argc >= 2 && std::strcmp(argv[1], "report") == 0) {
        // Fonts and painting without a display: the offscreen platform, never a window.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QGuiApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("lumetra-cli"));
        return report(app.arguments());
    }
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lumetra-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral("10.06"));
    const QStringList args = app.arguments();
    if (args.size() >= 2 && args.at(1) == QLatin1String("record"))
        return record(app, args);
    if (args.size() >= 2 &&
        (args.at(1) == QLatin1String("--version") || args.at(1) == QLatin1String("-v"))) {
        std::printf("lumetra-cli 10.06\n");
        return 0;
    }
    const bool help = args.size() >= 2 &&
                      (args.at(1) == QLatin1String("--help") || args.at(1) == QLatin1String("-h"));
    if (args.size() >= 2 && !help && !args.at(1).startsWith(QLatin1Char('-'))) {
        const QString nearest = nearestSubcommand(args.at(1));
        say(nearest.isEmpty()
                ? QStringLiteral("lumetra-cli: unknown subcommand \"%1\"; the subcommands are "
                                 "record and report.")
                      .arg(args.at(1))
                : QStringLiteral("lumetra-cli: unknown subcommand \"%1\"; did you mean \"%2\"?")
                      .arg(args.at(1), nearest));
        return kExitUsage;
    }
    std::fprintf(help ? stdout : stderr,
                 "Usage: lumetra-cli record --port DEVICE [options]\n"
                 "       lumetra-cli report SURVEY.json -o REPORT.pdf [--csv POINTS.csv]\n\n"
                 "Subcommands:\n"
                 "  record    record the meter's readings without a display "
                 "(lumetra-cli record --help)\n"
                 "  report    make a lighting survey's report (lumetra-cli report --help)\n\n"
                 "%s\n",
                 kExitCodes);
    return help ? 0 : kExitUsage;
}
