// The programs as a user runs them: the simulator serves a device another program can
// talk to, and the main window ends the process promptly even in the middle of a wait.
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

namespace {
QString bin(const char* name) {
    return QStringLiteral(LUMETRA_BIN_DIR "/") + QLatin1String(name);
}

// The probe is a test program: it lives beside the tests, not the programs.
QString probeProgram() {
    return QStringLiteral(LUMETRA_TEST_BIN_DIR "/shutdown_probe");
}

QByteArray readAtLeast(QSerialPort& port, int n, int timeoutMs = 3000) {
    QByteArray got;
    QElapsedTimer t;
    t.start();
    while (got.size() < n && t.elapsed() < timeoutMs) {
        if (port.waitForReadyRead(50))
            got += port.readAll();
    }
    return got;
}
} // namespace

class TestPrograms : public QObject {
    Q_OBJECT
private slots:
    void simulatorServesAnAcknowledge();
    void closingTheMainWindowDuringAWaitEndsTheProcess_data();
    void closingTheMainWindowDuringAWaitEndsTheProcess();
    void programHelp();
    void killedDuringRecordingLosesNothing();
};

void TestPrograms::simulatorServesAnAcknowledge() {
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("received.log"));
    QProcess sim;
    sim.start(bin("lumetra-meter-sim"),
              {QStringLiteral("--unpaced"), QStringLiteral("--log"), log});
    QVERIFY(sim.waitForStarted());
    QVERIFY(sim.waitForReadyRead(5000));
    const QString device = QString::fromLocal8Bit(sim.readLine()).trimmed();
    QVERIFY2(device.startsWith(QLatin1String("/dev/")), qPrintable(device));

    QSerialPort port(device);
    port.setBaudRate(19200);
    QVERIFY(port.open(QIODevice::ReadWrite));
    port.write("A");
    QCOMPARE(readAtLeast(port, 6).toHex(), QByteArray("02aa0005ff03"));

    sim.write("sets 2 5\n");
    QVERIFY(sim.waitForReadyRead(3000));
    QCOMPARE(sim.readLine().trimmed(), QByteArray("ok"));
    port.write("A");
    QCOMPARE(readAtLeast(port, 6).toHex(), QByteArray("02aa00063103")); // 1535 + 50

    sim.write("bogus\n");
    QVERIFY(sim.waitForReadyRead(3000));
    QVERIFY(sim.readLine().startsWith("error:"));

    sim.write("quit\n");
    QVERIFY(sim.waitForFinished(5000));
    QFile f(log);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    QVERIFY(lines.size() >= 2);
    QVERIFY2(lines[0].endsWith(" 41 A"), lines[0].constData());
}

void TestPrograms::closingTheMainWindowDuringAWaitEndsTheProcess_data() {
    QTest::addColumn<QString>("job");
    for (const char* job :
         {"handshake", "download", "expansion", "save", "print", "open", "keypad", "comparator"})
        QTest::newRow(job) << QString::fromLatin1(job);
}

void TestPrograms::closingTheMainWindowDuringAWaitEndsTheProcess() {
    QFETCH(QString, job);
    QTemporaryDir dir;
    const QString marker = dir.filePath(QStringLiteral("hook"));
    QProcess probe;
    probe.start(probeProgram(), {QStringLiteral("quit"), job, marker});
    QVERIFY(probe.waitForStarted());
    QVERIFY(probe.waitForReadyRead(20000));
    QCOMPARE(probe.readLine().trimmed(), QByteArray("closing"));
    QElapsedTimer t;
    t.start();
    QVERIFY(probe.waitForFinished(10000));
    // The waits unwound by themselves and the program's own teardown ran: the last-resort
    // exit would come after 3 s, with another exit code.
    QVERIFY2(t.elapsed() < 1000, qPrintable(QString::number(t.elapsed())));
    QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
    QCOMPARE(probe.exitCode(), 0);
    QFile f(marker);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("closed\ntorn down\n"));
}

void TestPrograms::programHelp() {
    // As from a terminal with no display at all.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        env.remove(QLatin1String(name));
    const auto run = [&](const QString& program, const QString& option) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(bin(program.toLatin1().constData()), {option});
        p.waitForFinished(10000);
        return p.exitCode() == 0 ? p.readAllStandardOutput() : QByteArray();
    };
    const QByteArray help = run(QStringLiteral("lumetra"), QStringLiteral("--help"));
    QVERIFY(help.contains("--demo"));
    QVERIFY(help.contains("--port"));
    QVERIFY(run(QStringLiteral("lumetra"), QStringLiteral("--version")).contains("10.06"));
    QVERIFY(
        run(QStringLiteral("lumetra-meter-sim"), QStringLiteral("--version")).contains("10.06"));
}

// The program is killed outright while it records: every record that was counted on
// screen is in the file, complete.
void TestPrograms::killedDuringRecordingLosesNothing() {
    QTemporaryDir dir;
    const QString path = dir.filePath("kill.txt");
    QProcess probe;
    probe.start(probeProgram(), {"record", path});
    QVERIFY(probe.waitForStarted());
    int shown = 0;
    while (shown < 3 && probe.waitForReadyRead(5000)) {
        while (probe.canReadLine()) {
            const QByteArray line = probe.readLine().trimmed();
            if (line.startsWith("recorded "))
                shown = line.mid(9).toInt();
        }
    }
    QVERIFY(shown >= 3);
    probe.kill(); // SIGKILL: no chance to flush or close anything
    QVERIFY(probe.waitForFinished(5000));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    QCOMPARE(lines.first(), QByteArray("Lx\tTime\tValue\r"));
    QCOMPARE(lines.last(), QByteArray()); // the file ends with a complete line
    const int records = int(lines.size()) - 2;
    QVERIFY2(records >= shown, qPrintable(QString::number(records)));
    for (int i = 1; i <= records; ++i) {
        const QList<QByteArray> fields = lines[i].split('\t');
        QCOMPARE(fields.size(), 3);
        QCOMPARE(fields[0].toInt(), i);
        QVERIFY(fields[2].endsWith('\r'));
    }
}

QTEST_GUILESS_MAIN(TestPrograms)
#include "tst_programs.moc"
