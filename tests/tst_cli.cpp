// lumetra-cli record, run as a person runs it: its own process with no display at all,
// against the virtual meter behind a device path that stays the same when it is unplugged,
// and a real MQTT broker read by mosquitto_sub.
#include "model/recordfile.h"
#include "model/survey.h"
#include "model/surveyareas.h"
#include "support/broker.h"
#include "support/linkfixture.h"
#include "virtualmeter/virtualmeter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace lumetra;
using lumetra::test::Broker;
using lumetra::test::waitFor;

namespace {

enum Scenario {
    Plain,
    OverAndMode,
    SetUpScreen,
    Unplug,
    EndedAway,
    Terminate,
    UnitChange,
    Rotated,
    RecordMoved,
    RecordFolderGone,
    BrokerRestart
};

// lumetra-cli as its own process, without a display, stopped with SIGTERM at the end.
struct Cli {
    QProcess process;
    QByteArray err;
    explicit Cli(const QProcessEnvironment& extra = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QLatin1String(v));
        for (const QString& key : extra.keys())
            env.insert(key, extra.value(key));
        process.setProcessEnvironment(env);
    }
    void start(const QStringList& args) {
        process.start(QStringLiteral(LUMETRA_BIN_DIR "/lumetra-cli"), args);
    }
    QString said() {
        err += process.readAllStandardError();
        return QString::fromUtf8(err);
    }
    // CPU seconds the process has used so far.
    double cpuSeconds() const {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(process.processId()));
        if (!stat.open(QIODevice::ReadOnly))
            return -1;
        const QByteArray all = stat.readAll();
        const QList<QByteArray> fields = all.mid(all.lastIndexOf(')') + 2).split(' ');
        return (fields.value(11).toDouble() + fields.value(12).toDouble()) /
               double(::sysconf(_SC_CLK_TCK));
    }
};

// The environment that puts the C library faults of support/clifaults in front.
QProcessEnvironment withFaults(std::initializer_list<std::pair<const char*, const char*>> faults) {
    QProcessEnvironment env;
    env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(LUMETRA_CLI_FAULTS));
    // The sanitizers' runtime would insist on coming first.
    QString asan = qEnvironmentVariable("ASAN_OPTIONS");
    env.insert(QStringLiteral("ASAN_OPTIONS"),
               asan + (asan.isEmpty() ? "" : ":") + QStringLiteral("verify_asan_link_order=0"));
    for (const auto& [name, value] : faults)
        env.insert(QLatin1String(name), QLatin1String(value));
    return env;
}

QString ourTopic() {
    return QStringLiteral("lumetra/%1/meter").arg(QSysInfo::machineHostName());
}

QStringList rowsOf(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray all = f.readAll();
    if (!all.isEmpty() && !all.endsWith('\n'))
        return {QStringLiteral("a torn last line")};
    QStringList lines = QString::fromUtf8(all).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return lines;
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT
private slots:
    void records_data();
    void records();
    void refusesWhatItCannotDo_data();
    void refusesWhatItCannotDo();
    void holdsOutAgainstItsSurroundings_data();
    void holdsOutAgainstItsSurroundings();
    void emergencyTestWithThePlugPulled();
    void emergencyTestStoppedByTheUser();
};

void TestCli::records_data() {
    QTest::addColumn<int>("scenario");
    QTest::newRow("CSV rows") << int(Plain);
    QTest::newRow("an overload and a measuring mode") << int(OverAndMode);
    QTest::newRow("a SET UP screen is no dropout") << int(SetUpScreen);
    QTest::newRow("unplugged and plugged in again") << int(Unplug);
    QTest::newRow("ended while unplugged") << int(EndedAway);
    QTest::newRow("SIGTERM mid-run") << int(Terminate);
    QTest::newRow("record file goes on after a unit change") << int(UnitChange);
    QTest::newRow("CSV emptied by log rotation") << int(Rotated);
    QTest::newRow("record file moved away by log rotation") << int(RecordMoved);
    QTest::newRow("record folder gone, the unit changed, the folder back") << int(RecordFolderGone);
    QTest::newRow("broker restarted mid-run") << int(BrokerRestart);
}

void TestCli::records() {
    QFETCH(int, scenario);
    QTemporaryDir dir;
    sim::VirtualMeter meter;
    meter.setPaced(false);
    meter.setDrift(false);
    meter.setLux(12.34);
    QVERIFY(meter.start());
    const QString device = dir.filePath(QStringLiteral("meter")); // stays when unplugged
    QVERIFY(QFile::link(meter.devicePath(), device));

    const QString csv = dir.filePath(QStringLiteral("light.csv"));
    if (scenario == Plain) {
        // Rows are added to what a file holds, its unended last line kept whole.
        QFile earlier(csv);
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("time,reading,unit,status,until\nkept");
    }
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("rec")));
    const QString records = dir.filePath(QStringLiteral("rec/light.txt"));
    QStringList args{QStringLiteral("record"),
                     QStringLiteral("--port"),
                     device,
                     QStringLiteral("--interval"),
                     QStringLiteral("0.25"),
                     QStringLiteral("--csv"),
                     csv,
                     QStringLiteral("--record-file"),
                     records};
    Broker broker;
    QProcess reader;
    QByteArray heard; // what the independent reader got
    connect(&reader, &QProcess::readyReadStandardOutput, this,
            [&] { heard += reader.readAllStandardOutput(); });
    if (scenario == BrokerRestart) {
        QVERIFY(broker.start());
        reader.start(QStringLiteral("mosquitto_sub"),
                     {QStringLiteral("-p"), QString::number(broker.port), QStringLiteral("-t"),
                      QStringLiteral("lumetra/#"), QStringLiteral("-t"),
                      QStringLiteral("homeassistant/#"), QStringLiteral("-v"), QStringLiteral("-q"),
                      QStringLiteral("1"), QStringLiteral("-c"), QStringLiteral("-i"),
                      QStringLiteral("reader")});
        QVERIFY(reader.waitForStarted());
        QTest::qWait(500); // subscribed
        args << QStringLiteral("--mqtt") << QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port);
    }
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(v));
    cli.setProcessEnvironment(env);
    cli.start(QStringLiteral(LUMETRA_BIN_DIR "/lumetra-cli"), args);
    QVERIFY(cli.waitForStarted());
    // What it said, should a check fail.
    const auto said = qScopeGuard([&] {
        if (QTest::currentTestFailed() || qEnvironmentVariableIsSet("LUMETRA_SHOW_CLI"))
            qWarning("lumetra-cli said: %s", cli.readAllStandardError().constData());
    });
    const auto rows = [&] { return rowsOf(csv); };
    const auto rowsWith = [&](const char* status) {
        return rows()
            .filter(QRegularExpression(QStringLiteral(",%1,").arg(QLatin1String(status))))
            .size();
    };
    QVERIFY(waitFor([&] { return rowsWith("ok") >= 4; }, 5000));

    QElapsedTimer ended;
    switch (scenario) {
    case OverAndMode:
        meter.setOverload(true);
        QVERIFY(waitFor([&] { return rowsWith("over") >= 2; }));
        meter.setOverload(false);
        meter.setFlag(QStringLiteral("Rel"), true);
        QVERIFY(waitFor([&] { return rowsWith("mode") >= 2; }));
        meter.setFlag(QStringLiteral("Rel"), false);
        QVERIFY(waitFor([&] { return rows().last().contains(QStringLiteral(",ok,")); }));
        break;
    case SetUpScreen:
        meter.setFlag(QStringLiteral("SetUp"), true);
        QVERIFY(waitFor([&] { return rowsWith("mode") >= 6; }));
        meter.setFlag(QStringLiteral("SetUp"), false);
        QVERIFY(waitFor([&] { return rows().last().contains(QStringLiteral(",ok,")); }));
        QCOMPARE(rowsWith("gap"), 0);
        break;
    case EndedAway:
        meter.stop();
        QFile::remove(device);
        QVERIFY(waitFor([&] { return cli.readAllStandardError().contains("does not answer"); }));
        break;
    case Unplug: {
        meter.stop();
        QFile::remove(device);
        QTest::qWait(1500);
        const int before = rowsWith("ok");
        QVERIFY(meter.start() && QFile::link(meter.devicePath(), device));
        QElapsedTimer back;
        back.start();
        QVERIFY(waitFor([&] { return rowsWith("ok") > before; }, 5000));
        QVERIFY2(back.elapsed() <= 2000, qPrintable(QString::number(back.elapsed())));
        QCOMPARE(rowsWith("gap"), 1);
        break;
    }
    case Rotated: {
        // Copied away and truncated in place: the rows go on under a header of their own.
        QFile rotated(csv);
        QVERIFY(rotated.resize(0));
        QVERIFY(waitFor([&] { return rowsWith("ok") >= 2; }));
        break;
    }
    case RecordMoved: {
        // Renamed away without a signal: a new file under the name takes the records.
        QVERIFY(waitFor([&] { return rowsOf(records).size() >= 3; }));
        QVERIFY(QFile::rename(records, records + QStringLiteral(".1")));
        const int before = rowsWith("ok");
        QVERIFY(waitFor([&] { return rowsWith("ok") >= before + 6; }));
        break;
    }
    case RecordFolderGone: {
        // Records wait for the folder, in their own file once the unit has changed.
        QVERIFY(waitFor([&] { return rowsOf(records).size() >= 3; }));
        QVERIFY(QDir(dir.path()).rename(QStringLiteral("rec"), QStringLiteral("rec.old")));
        meter.setUnitFc(true);
        const auto fc = [&] { return rows().filter(QStringLiteral(",Fc,ok")).size(); };
        QVERIFY(waitFor([&] { return fc() >= 4; }));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("rec")));
        const qsizetype before = fc();
        QVERIFY(waitFor([&] { return fc() >= before + 4; }));
        break;
    }
    case UnitChange:
        meter.setUnitFc(true);
        QVERIFY(waitFor([&] { return rows().filter(QStringLiteral(",Fc,ok")).size() >= 2; }));
        break;
    case BrokerRestart: {
        const QByteArray state = (ourTopic() + QStringLiteral("/state ")).toUtf8();
        const auto published = [&] { return heard.count(state); };
        QVERIFY(waitFor([&] { return published() > 0; }));
        broker.stop();
        QTest::qWait(1500);
        QVERIFY(broker.start());
        // The queue goes out once it is back, and new samples after it.
        const qsizetype taken = rows().size();
        QVERIFY(waitFor([&] { return published() >= taken + 2; }, 10000));
        break;
    }
    default:
        break;
    }
    if (scenario == Plain) {
        QVERIFY(waitFor([&] { return rowsWith("ok") >= 8; }));
    }
    ended.start();
    cli.terminate(); // SIGTERM, as systemd and Ctrl+C (SIGINT) end it
    QVERIFY(cli.waitForFinished(2000));
    QVERIFY2(ended.elapsed() <= 1000, qPrintable(QString::number(ended.elapsed())));
    QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
    QCOMPARE(cli.exitCode(), 0);

    // The CSV: a header, then whole rows of time with offset, number, unit, status.
    QStringList all = rows();
    if (scenario == Plain)
        QCOMPARE(all.takeAt(1), QStringLiteral("kept"));
    if (scenario == EndedAway) // away to the end: the row says it never answered again
        QVERIFY2(all.last().contains(QStringLiteral(",away,")), qPrintable(all.last()));
    QCOMPARE(all.value(0), QStringLiteral("time,reading,unit,status,until"));
    const QRegularExpression shape(QStringLiteral(
        R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d,(\d+\.?\d*)?,(Lx|Fc|),(ok|over|gap|mode|away),(\S*)$)"));
    for (const QString& row : all.mid(1))
        QVERIFY2(shape.match(row).hasMatch(), qPrintable(row));
    for (const QString& row : all.filter(QStringLiteral(",ok,")))
        QVERIFY2(row.contains(QStringLiteral(",12.34,Lx,")) || row.contains(QStringLiteral(",Fc,")),
                 qPrintable(row));
    for (const QString& row : all.filter(QRegularExpression(QStringLiteral(",(over|mode),"))))
        QVERIFY2(row.contains(QStringLiteral(",,")), qPrintable(row)); // no made-up number

    // The record files: the desktop's format, whole lines, numbered from 1.
    const auto recordLines = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const QByteArray first = recordLines(
        scenario == RecordFolderGone ? dir.filePath(QStringLiteral("rec.old/light.txt")) : records);
    QVERIFY(first.startsWith("Lx\tTime\tValue\r\n1\t"));
    QVERIFY(first.endsWith("\r\n"));
    if (scenario == RecordMoved) {
        // Every plain reading is a record in one of the two files.
        const QByteArray moved = recordLines(records + QStringLiteral(".1"));
        QVERIFY(moved.startsWith("Lx\tTime\tValue\r\n1\t"));
        QCOMPARE(moved.count("\r\n") - 1 + first.count("\r\n") - 1,
                 all.filter(QStringLiteral(",ok,")).size());
    }
    const QString second = dir.filePath(QStringLiteral("rec/light-2.txt"));
    if (scenario != RecordFolderGone)
        QCOMPARE(QFile::exists(second),
                 scenario == UnitChange || scenario == OverAndMode || scenario == SetUpScreen);
    if (scenario == UnitChange)
        QVERIFY(recordLines(second).startsWith("Fc\tTime\tValue\r\n1\t"));
    if (scenario == RecordFolderGone) {
        // Every reading in foot-candles is a record in a new file in the folder (under the
        // name, or the next one where the old file was seen complete first), none lost while
        // the folder was away.
        const QByteArray fc = recordLines(QFile::exists(second) ? second : records);
        QVERIFY(fc.startsWith("Fc\tTime\tValue\r\n1\t"));
        QCOMPARE(fc.count("\r\n") - 1, all.filter(QStringLiteral(",Fc,ok")).size());
    }

    if (scenario == BrokerRestart) {
        QTest::qWait(300);
        reader.terminate();
        reader.waitForFinished(2000);
        const QString out = QString::fromUtf8(heard + reader.readAllStandardOutput());
        QVERIFY(out.contains(QStringLiteral("\"device_class\":\"illuminance\"")));
        QVERIFY(out.contains(ourTopic() + QStringLiteral("/availability online")));
        // Marked unavailable only after its last reading went out.
        const QStringList lines = out.split(QLatin1Char('\n'));
        const qsizetype offline =
            lines.lastIndexOf(ourTopic() + QStringLiteral("/availability offline"));
        QVERIFY2(offline > 0, qPrintable(out));
        QVERIFY2(lines.mid(offline).filter(ourTopic() + QStringLiteral("/state ")).isEmpty(),
                 qPrintable(out));
        // Every sample in the CSV reached the broker, in order (a repeat is allowed).
        QStringList published;
        for (const QString& line : lines) {
            if (line.startsWith(ourTopic() + QStringLiteral("/state ")))
                published << line.section(QStringLiteral("\"time\":\""), 1)
                                 .section(QLatin1Char('"'), 0, 0);
        }
        qsizetype at = 0;
        for (const QString& row : all.mid(1)) {
            at = published.indexOf(row.section(QLatin1Char(','), 0, 0), at);
            QVERIFY2(at >= 0, qPrintable(row + QLatin1Char('\n') + out));
        }
    }
}

void TestCli::refusesWhatItCannotDo_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::newRow("no such device") << QStringList{"record", "--port", "/dev/ttyNOSUCH"} << 66;
    QTest::newRow("no port") << QStringList{"record"} << 64;
    QTest::newRow("interval too short")
        << QStringList{"record", "--port", "/dev/null", "--interval", "0.1"} << 64;
    QTest::newRow("not a broker") << QStringList{"record", "--port", "/dev/null", "--mqtt",
                                                 "http://x"}
                                  << 64;
    QTest::newRow("unreadable CA file")
        << QStringList{"record",    "--port",        "/dev/null", "--mqtt",
                       "mqtts://x", "--mqtt-cafile", "/nope"}
        << 64;
    QTest::newRow("unwritable CSV")
        << QStringList{"record", "--port", "/dev/null", "--csv", "/proc/nope/x.csv"} << 73;
    // A port that opens but where no meter ever answers (a pseudo-terminal nobody serves).
    QTest::newRow("no meter ever answers")
        << QStringList{"record", "--port", "SILENT", "--duration", "4", "--csv", "x.csv"} << 69;
    // A survey file that is no file: endless, or waiting for a writer that never comes.
    QTest::newRow("survey from a device")
        << QStringList{"report", "/dev/zero", "-o", "x.pdf"} << 66;
    QTest::newRow("survey from a pipe") << QStringList{"report", "FIFO", "-o", "x.pdf"} << 66;
    QTest::newRow("survey from a folder") << QStringList{"report", "/tmp", "-o", "x.pdf"} << 66;
    // Made at once, the notes cut to what a report lays out, and said.
    QTest::newRow("survey with notes no report can lay out")
        << QStringList{"report", "NOTES", "-o", "x.pdf"} << 0;
    QTest::newRow("a mistyped subcommand") << QStringList{"recrod"} << 64;
    QTest::newRow("no subcommand at all") << QStringList{"x"} << 64;
    // An emergency test's recording with no mains failure in it, or with times that go back.
    QTest::newRow("assess a steady light")
        << QStringList{"emergency-test", "--assess",   "STEADY", "--rule",
                       "nfpa101",        "--duration", "60"}
        << 65;
    QTest::newRow("assess times that go back")
        << QStringList{"emergency-test", "--assess",   "BACKWARDS", "--rule",
                       "en1838-open",    "--duration", "60"}
        << 65;
    QTest::newRow("assess a missing recording")
        << QStringList{"emergency-test", "--assess", "/no/such.csv", "--rule", "en1838-open",
                       "--duration",     "60"}
        << 66;
    QTest::newRow("an emergency test by no known rule")
        << QStringList{"emergency-test", "--port",     "/dev/null", "--rule",
                       "bs5266",         "--duration", "60",        "--location",
                       "here",           "--logbook",  "x.csv"}
        << 64;
    QTest::newRow("an emergency test too short")
        << QStringList{"emergency-test", "--port",     "/dev/null", "--rule",
                       "nfpa101",        "--duration", "5",         "--location",
                       "here",           "--logbook",  "x.csv"}
        << 64;
    // A failing survey names each criterion it fails, with its figure and the limit.
    QTest::newRow("a failing survey") << QStringList{"report", "FAILING", "--csv", "x.csv"} << 0;
    // ... by area where the room has areas; an outline that crosses itself is damaged.
    QTest::newRow("a failing survey with areas")
        << QStringList{"report", "AREAS", "--csv", "x.csv"} << 0;
    QTest::newRow("a survey whose outline crosses itself")
        << QStringList{"report", "CROSSED", "-o", "x.pdf"} << 65;
}

void TestCli::refusesWhatItCannotDo() {
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("survey.json"));
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    const QString notes = dir.filePath(QStringLiteral("notes.json"));
    QFile noted(notes);
    QVERIFY(noted.open(QIODevice::WriteOnly));
    noted.write(R"({"format":"lumetra-survey","version":1,"area":{"name":"A","length_m":5,)"
                R"("width_m":4,"band_m":0.5,"height_m":0.85},"grid":{"rows":2,"columns":2},)"
                R"("requirement":{},"points":[],"notes":")" +
                QByteArray(2 * 1024 * 1024, 'n') + "\"}");
    noted.close();
    args.replaceInStrings(QStringLiteral("FIFO"), fifo);
    args.replaceInStrings(QStringLiteral("NOTES"), notes);
    survey::Survey failing;
    failing.length = 5;
    failing.width = 4;
    failing.requirement = survey::builtInRequirements().first(); // Ē >= 500 lx, U0 >= 0.6
    survey::layOut(failing, 1, 2);
    failing.points[0].lux = 700.0;
    failing.points[1].lux = 290.0;
    const QString failingPath = dir.filePath(QStringLiteral("failing.json"));
    QFile failingFile(failingPath);
    QVERIFY(failingFile.open(QIODevice::WriteOnly));
    failingFile.write(survey::toJson(failing));
    failingFile.close();
    args.replaceInStrings(QStringLiteral("FAILING"), failingPath);
    // A desk passes, but one dark point around it fails the surrounding area's U0 of 0.40.
    survey::Survey desk;
    desk.length = 10;
    desk.width = 10;
    survey::addTask(desk, {4, 4, 0.6, 0.6}, survey::builtInRequirements().first());
    bool dark = true;
    for (survey::Point& p : desk.points) {
        p.lux = p.area == 0 ? 520.0 : p.area == 2 ? 150.0 : dark ? 100.0 : 320.0;
        dark = dark && p.area != 1;
    }
    QByteArray crossed = survey::toJson(desk);
    const QByteArray firstCorner = "\"outline\": [\n        [\n            0,";
    crossed.replace(crossed.indexOf(firstCorner), firstCorner.size(),
                    "\"outline\": [\n        [\n            20,");
    for (const auto& [name, bytes] :
         {std::pair{"AREAS", survey::toJson(desk)}, std::pair{"CROSSED", crossed}}) {
        QFile file(dir.filePath(QLatin1String(name)));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        args.replaceInStrings(QLatin1String(name), file.fileName());
    }
    for (const auto& [name, rows] :
         {std::pair{"STEADY", "2026-12-10T10:00:00+00:00,420,Lx,ok,\n"
                              "2026-12-10T10:00:01+00:00,421,Lx,ok,\n"},
          std::pair{"BACKWARDS", "2026-12-10T10:00:01+00:00,420,Lx,ok,\n"
                                 "2026-12-10T10:00:00+00:00,0.2,Lx,ok,\n"}}) {
        QFile recording(dir.filePath(QLatin1String(name)));
        QVERIFY(recording.open(QIODevice::WriteOnly));
        recording.write(QByteArray("time,reading,unit,status,until\n") + rows);
        args.replaceInStrings(QLatin1String(name), recording.fileName());
    }
    args.replaceInStrings(QStringLiteral("x.pdf"), dir.filePath(QStringLiteral("x.pdf")));
    args.replaceInStrings(QStringLiteral("x.csv"), dir.filePath(QStringLiteral("x.csv")));
    int master = -1;
    const auto closeMaster = qScopeGuard([&master] {
        if (master >= 0)
            ::close(master);
    });
    if (args.contains(QStringLiteral("SILENT"))) {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
        args.replaceInStrings(QStringLiteral("SILENT"), QString::fromLocal8Bit(::ptsname(master)));
    }
    QProcess cli;
    cli.start(QStringLiteral(LUMETRA_BIN_DIR "/lumetra-cli"), args);
    QVERIFY(cli.waitForFinished(10000));
    QCOMPARE(cli.exitCode(), code);
    const QString out = QString::fromUtf8(cli.readAllStandardOutput());
    const QString err = QString::fromUtf8(cli.readAllStandardError());
    if (QTest::currentDataTag() == QLatin1String("a failing survey")) {
        QVERIFY2(out.startsWith(QStringLiteral("FAIL\n")), qPrintable(out));
        QVERIFY2(out.contains(QStringLiteral("Average Ē: 495 lx, required ≥ 500 lx")),
                 qPrintable(out));
        QVERIFY2(out.contains(QStringLiteral("U0 = Emin / Ē: ")), qPrintable(out));
        return;
    }
    if (QTest::currentDataTag() == QLatin1String("a failing survey with areas")) {
        QVERIFY2(out.startsWith(QStringLiteral("FAIL\nSurrounding 1, U0 = Emin / Ē: 0.3")) &&
                     out.contains(QStringLiteral("required ≥ 0.4")) &&
                     !out.contains(QStringLiteral("Task 1")),
                 qPrintable(out));
        return;
    }
    QVERIFY(!err.isEmpty());                                   // says why
    QVERIFY(!err.contains(QStringLiteral("XDG_RUNTIME_DIR"))); // ours first, not Qt's
    if (QTest::currentDataTag() == QLatin1String("a survey whose outline crosses itself"))
        QVERIFY2(err.contains(QStringLiteral("The outline crosses itself")), qPrintable(err));
    if (QTest::currentDataTag() == QLatin1String("a mistyped subcommand"))
        QVERIFY2(err.contains(QStringLiteral("did you mean \"record\"")), qPrintable(err));
    if (QTest::currentDataTag() == QLatin1String("no subcommand at all"))
        QVERIFY2(err.contains(QStringLiteral("the subcommands are record, report and "
                                             "emergency-test")),
                 qPrintable(err));
}

enum Surrounding { StalledReader, StalledSharedPipe, SilentNameServer, TlsBrokerDown, SyncFails };

void TestCli::holdsOutAgainstItsSurroundings_data() {
    QTest::addColumn<int>("surrounding");
    QTest::newRow("SIGTERM, twice, while standard output's reader has stalled")
        << int(StalledReader);
    QTest::newRow("SIGTERM while standard error shares the stalled pipe (2>&1 |)")
        << int(StalledSharedPipe);
    QTest::newRow("a broker name whose lookup never returns") << int(SilentNameServer);
    QTest::newRow("mqtts:// to a port nobody listens on") << int(TlsBrokerDown);
    QTest::newRow("a disk that cannot sync") << int(SyncFails);
}

void TestCli::holdsOutAgainstItsSurroundings() {
    QFETCH(int, surrounding);
    QTemporaryDir dir;
    sim::VirtualMeter meter;
    meter.setPaced(false);
    meter.setDrift(false);
    meter.setLux(12.34);
    QVERIFY(meter.start());
    const QString csv = dir.filePath(QStringLiteral("light.csv"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("rec")));
    const QString records = dir.filePath(QStringLiteral("rec/light.txt"));
    QStringList args{QStringLiteral("record"), QStringLiteral("--port"), meter.devicePath(),
                     QStringLiteral("--interval"), QStringLiteral("0.25")};

    // Standard output: a pipe that is full already and that nobody reads, shared with this
    // test, which can see whether its flags were changed under whoever else writes to it.
    int out[2] = {-1, -1};
    const auto closeOut = qScopeGuard([&] {
        for (const int fd : out)
            if (fd >= 0)
                ::close(fd);
    });
    QProcessEnvironment faults;
    switch (surrounding) {
    case StalledReader:
    case StalledSharedPipe: {
        QVERIFY(::pipe2(out, O_CLOEXEC) == 0);
        const int size = ::fcntl(out[1], F_SETPIPE_SZ, 4096);
        QVERIFY(size > 0);
        QCOMPARE(::write(out[1], QByteArray(size, 'x').constData(), size_t(size)), ssize_t(size));
        args << QStringLiteral("--csv") << QStringLiteral("-");
        break;
    }
    case SilentNameServer:
        faults = withFaults({{"LUMETRA_FAULT_SLOW_HOST", "broker.lumetra.test"}});
        args << QStringLiteral("--csv") << csv << QStringLiteral("--mqtt")
             << QStringLiteral("mqtt://broker.lumetra.test");
        break;
    case TlsBrokerDown:
        args << QStringLiteral("--csv") << csv << QStringLiteral("--mqtt")
             << QStringLiteral("mqtts://127.0.0.1:%1").arg(test::freePort());
        break;
    case SyncFails:
        faults = withFaults({{"LUMETRA_FAULT_SYNC", "1"}});
        args << QStringLiteral("--csv") << csv << QStringLiteral("--record-file") << records;
        break;
    }
    Cli cli(faults);
    if (out[1] >= 0) {
        const int to = out[1];
        const bool shared = surrounding == StalledSharedPipe;
        cli.process.setChildProcessModifier([to, shared] {
            ::dup2(to, STDOUT_FILENO);
            if (shared)
                ::dup2(to, STDERR_FILENO);
        });
    }
    cli.start(args);
    QVERIFY(cli.process.waitForStarted());
    const auto said = qScopeGuard([&] {
        if (QTest::currentTestFailed())
            qWarning("lumetra-cli said: %s", qPrintable(cli.said()));
    });
    const auto okRows = [&] { return rowsOf(csv).filter(QStringLiteral(",ok,")).size(); };

    switch (surrounding) {
    case StalledReader:
    case StalledSharedPipe:
        QTest::qWait(2000); // rows pile up meanwhile
        // Never made non-blocking: standard error may share the pipe, and so may others.
        QCOMPARE(::fcntl(out[1], F_GETFL) & O_NONBLOCK, 0);
        break;
    case SilentNameServer: {
        // The lookup hangs beside the sampling, never in its way: four rows a second, no gap.
        QVERIFY(waitFor([&] { return okRows() >= 2; }, 5000));
        const qsizetype first = okRows();
        QTest::qWait(3000);
        QVERIFY2(okRows() - first >= 10, qPrintable(QString::number(okRows() - first)));
        QCOMPARE(rowsOf(csv).filter(QStringLiteral(",gap,")).size(), 0);
        break;
    }
    case TlsBrokerDown: {
        // A refused connection is seen at once, said once, and costs no CPU while retried.
        QVERIFY(waitFor([&] { return okRows() >= 2; }, 5000));
        const double before = cli.cpuSeconds();
        QTest::qWait(4000);
        const double used = cli.cpuSeconds() - before;
        QVERIFY2(used < 1.0, qPrintable(QString::number(used)));
        QVERIFY(cli.said().contains(QLatin1String("Connection refused")));
        QCOMPARE(cli.said().count(QLatin1String("unreachable")), 1);
        break;
    }
    case SyncFails:
        QVERIFY(waitFor([&] { return okRows() >= 6; }, 5000));
        break;
    }

    QElapsedTimer ended;
    ended.start();
    cli.process.terminate();
    if (surrounding == StalledReader || surrounding == StalledSharedPipe) {
        QTest::qWait(50); // and Ctrl+C while the end waits for the reader
        ::kill(pid_t(cli.process.processId()), SIGINT);
    }
    QVERIFY(cli.process.waitForFinished(3000));
    QVERIFY2(ended.elapsed() <= 1000, qPrintable(QString::number(ended.elapsed())));
    QCOMPARE(cli.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(cli.process.exitCode(), 0);
    const QString text = cli.said();
    switch (surrounding) {
    case StalledReader:
        QVERIFY2(text.contains(QRegularExpression(
                     QStringLiteral("\\d+ CSV row\\(s\\) did not get out to standard output"))),
                 qPrintable(text));
        break;
    case SyncFails:
        // Said once, counted at the end, and every record is in the file all the same.
        QCOMPARE(text.count(QLatin1String("could not be synced to the disk (")), 2);
        QVERIFY(text.contains(QRegularExpression(
            QStringLiteral("\\d+ line\\(s\\) could not be synced to the disk\\."))));
        QCOMPARE(rowsOf(records).size() - 1, okRows());
        break;
    default:
        break;
    }
}

// A 20 s test against a light that drops at the mains failure and comes back at 1.5 lx; the
// cable is pulled for 12 s in the middle: incomplete, logged, reported, and the recording it
// wrote assessed again to the same figures.
void TestCli::emergencyTestWithThePlugPulled() {
    QTemporaryDir dir;
    sim::VirtualMeter meter;
    meter.setPaced(false);
    meter.setDrift(false);
    meter.setLux(420);
    QVERIFY(meter.start());
    const QString device = dir.filePath(QStringLiteral("meter"));
    QVERIFY(QFile::link(meter.devicePath(), device));
    const QString csv = dir.filePath(QStringLiteral("samples.csv"));
    const QString book = dir.filePath(QStringLiteral("log.jsonl"));
    const QString pdf = dir.filePath(QStringLiteral("report.pdf"));
    Broker broker;
    QVERIFY(broker.start());
    QProcess reader;
    reader.start(QStringLiteral("mosquitto_sub"),
                 {"-p", QString::number(broker.port), "-t", "lumetra/#", "-q", "1"});
    QVERIFY(reader.waitForStarted());
    QTest::qWait(300); // subscribed
    Cli cli;
    cli.start({"emergency-test", "--port", device, "--rule", "en1838-route", "--duration", "20",
               "--location", "Stair B", "--tester", "Ann", "--logbook", book, "--csv", csv,
               "--report", pdf, "--mqtt", QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port)});
    const auto said = qScopeGuard([&] {
        if (QTest::currentTestFailed())
            qWarning("lumetra-cli said: %s", qPrintable(cli.said()));
    });
    QVERIFY(waitFor([&] { return rowsOf(csv).size() >= 6; }, 5000));
    meter.setProfile({{0, 420}, {1, 420}, {1, 0.3}, {2, 1.5}}); // the mains cut in 1 s
    QTest::qWait(6000);
    meter.stop();
    QFile::remove(device);
    QTest::qWait(12000);
    QVERIFY(meter.start() && QFile::link(meter.devicePath(), device));
    QVERIFY(cli.process.waitForFinished(15000));
    QCOMPARE(cli.process.exitCode(), 0);
    QVERIFY2(cli.process.readAllStandardOutput().startsWith("incomplete\n"),
             qPrintable(cli.said()));

    QFile logged(book);
    QVERIFY(logged.open(QIODevice::ReadOnly));
    const QByteArray line = logged.readAll();
    QCOMPARE(line.count('\n'), 1);
    const QJsonObject entry = QJsonDocument::fromJson(line).object();
    QCOMPARE(entry.value("verdict").toString(), QStringLiteral("incomplete"));
    QCOMPARE(entry.value("normal_lx").toDouble(), 420.0);
    QVERIFY(entry.value("gaps_s").toDouble() >= 12);
    QCOMPARE(entry.value("end_lx").toDouble(), 1.5);
    QCOMPARE(entry.value("samples_file").toString(), csv);

    QProcess assess;
    assess.start(QStringLiteral(LUMETRA_BIN_DIR "/lumetra-cli"),
                 {"emergency-test", "--assess", csv, "--rule", "en1838-route", "--duration", "20",
                  "--json"});
    QVERIFY(assess.waitForFinished(10000));
    QCOMPARE(assess.exitCode(), 0);
    const QJsonObject again = QJsonDocument::fromJson(assess.readAllStandardOutput()).object();
    for (const char* key : {"failure_at", "normal_lx", "t50_s", "t100_s", "minimum_lx", "end_lx",
                            "time_to_failure_s", "gaps_s", "verdict", "reasons"})
        QVERIFY2(again.value(QLatin1String(key)) == entry.value(QLatin1String(key)), key);

    QProcess text;
    text.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    QVERIFY(text.waitForFinished(10000));
    const QString report = QString::fromUtf8(text.readAllStandardOutput());
    QVERIFY2(report.contains(QStringLiteral("Verdict: INCOMPLETE")), qPrintable(report));
    QVERIFY(report.contains(QStringLiteral("Stair B")));
    QVERIFY(report.contains(QStringLiteral("Signed:")));

    // The broker heard the state as it went and the verdict at the end.
    QVERIFY(waitFor(
        [&] { return reader.readAllStandardOutput().contains("\"verdict\":\"incomplete\""); },
        3000));
    reader.kill();
    reader.waitForFinished();
}

// SIGTERM in the middle of a test: it ends at once, as stopped by the user, and is logged.
void TestCli::emergencyTestStoppedByTheUser() {
    QTemporaryDir dir;
    sim::VirtualMeter meter;
    meter.setPaced(false);
    meter.setDrift(false);
    meter.setLux(300);
    QVERIFY(meter.start());
    const QString book = dir.filePath(QStringLiteral("log.jsonl"));
    const QString csv = dir.filePath(QStringLiteral("samples.csv"));
    Cli cli;
    cli.start({"emergency-test", "--port", meter.devicePath(), "--rule", "en1838-open",
               "--duration", "3600", "--location", "Hall", "--logbook", book, "--csv", csv});
    QVERIFY(waitFor([&] { return rowsOf(csv).size() >= 6; }, 5000));
    meter.setProfile({{0, 0.2}, {1, 0.8}});
    QTest::qWait(2500);
    ::kill(cli.process.processId(), SIGTERM);
    QVERIFY(cli.process.waitForFinished(2000));
    QCOMPARE(cli.process.exitCode(), 0);
    QFile logged(book);
    QVERIFY(logged.open(QIODevice::ReadOnly));
    const QJsonObject entry = QJsonDocument::fromJson(logged.readAll()).object();
    QCOMPARE(entry.value("verdict").toString(), QStringLiteral("incomplete"));
    QCOMPARE(entry.value("normal_lx").toDouble(), 300.0);
    const QString reasons = entry.value("reasons").toVariant().toStringList().join(' ');
    QVERIFY2(reasons.contains(QStringLiteral("Stopped by the user at")), qPrintable(reasons));
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
