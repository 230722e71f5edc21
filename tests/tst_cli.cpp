// lumetra-cli record, run as a person runs it: its own process with no display at all,
// against the virtual meter behind a device path that stays the same when it is unplugged,
// and a real MQTT broker read by mosquitto_sub.
#include "model/recordfile.h"
#include "support/broker.h"
#include "support/linkfixture.h"
#include "virtualmeter/virtualmeter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
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
    BrokerRestart
};

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
    const QString records = dir.filePath(QStringLiteral("light.txt"));
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
    case UnitChange:
        meter.setUnitFc(true);
        QVERIFY(waitFor([&] { return rows().filter(QStringLiteral(",Fc,ok")).size() >= 2; }));
        break;
    case BrokerRestart: {
        const auto published = [&] { return heard.count("lumetra/meter/state "); };
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
    if (scenario == EndedAway)
        QVERIFY2(all.last().contains(QStringLiteral(",gap,")), qPrintable(all.last()));
    QCOMPARE(all.value(0), QStringLiteral("time,reading,unit,status,until"));
    const QRegularExpression shape(QStringLiteral(
        R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d,(\d+\.?\d*)?,(Lx|Fc|),(ok|over|gap|mode),(\S*)$)"));
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
    const QByteArray first = recordLines(records);
    QVERIFY(first.startsWith("Lx\tTime\tValue\r\n1\t"));
    QVERIFY(first.endsWith("\r\n"));
    const QString second = dir.filePath(QStringLiteral("light-2.txt"));
    QCOMPARE(QFile::exists(second),
             scenario == UnitChange || scenario == OverAndMode || scenario == SetUpScreen);
    if (scenario == UnitChange)
        QVERIFY(recordLines(second).startsWith("Fc\tTime\tValue\r\n1\t"));

    if (scenario == BrokerRestart) {
        QTest::qWait(300);
        reader.terminate();
        reader.waitForFinished(2000);
        const QString out = QString::fromUtf8(heard + reader.readAllStandardOutput());
        QVERIFY(out.contains(QStringLiteral("\"device_class\":\"illuminance\"")));
        QVERIFY(out.contains(QStringLiteral("lumetra/meter/availability online")));
        // Every sample in the CSV reached the broker, in order (a repeat is allowed).
        QStringList published;
        for (const QString& line : out.split(QLatin1Char('\n'))) {
            if (line.startsWith(QStringLiteral("lumetra/meter/state ")))
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
}

void TestCli::refusesWhatItCannotDo() {
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QProcess cli;
    cli.start(QStringLiteral(LUMETRA_BIN_DIR "/lumetra-cli"), args);
    QVERIFY(cli.waitForFinished(5000));
    QCOMPARE(cli.exitCode(), code);
    QVERIFY(!cli.readAllStandardError().isEmpty()); // says why
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
