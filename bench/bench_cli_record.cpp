// lumetra-cli record over a long run, as it runs unattended: the meter (lumetra-meter-sim,
// paced at 19200 baud, 4 frames a second) behind a device path that stays the same, a real
// broker, and the recorder sampling four times a second into CSV and MQTT.
//
// Reported: the recorder's resident memory after warming up and at the end (and the growth),
// its CPU time as a share of one core beside a bare reader of the same stream, and a soak:
// the meter pulled every 500 samples and the broker restarted every 2000 (in a run shorter
// than 4000 samples: a pull every fifth and a restart every half of the run, so that each
// happens); every sample in the CSV must reach the broker, in order.
//
// Usage: bench_cli_record [samples]   (default 10000: about 45 minutes; at least 600)
#include "link/displaypoll.h"

#include "barereader.h"
#include "measure.h"
#include "support/broker.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <unistd.h>

namespace {

void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// From /proc: resident memory in kB, and CPU seconds (user and system) of a process.
qint64 residentKb(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

double cpuSecondsOf(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray all = f.readAll();
    const QList<QByteArray> fields = all.mid(all.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) /
           double(sysconf(_SC_CLK_TCK));
}

class Meter {
public:
    explicit Meter(QString link) : m_link(std::move(link)) {}
    ~Meter() { pull(); }
    bool plug() {
        m_sim.start(QStringLiteral(LUMETRA_BIN_DIR "/lumetra-meter-sim"), QStringList{});
        if (!m_sim.waitForStarted() || !m_sim.waitForReadyRead(5000))
            return false;
        m_device = QString::fromLocal8Bit(m_sim.readLine()).trimmed();
        m_sim.write("period 250\n");
        m_sim.waitForBytesWritten(1000);
        QFile::remove(m_link);
        return QFile::link(m_device, m_link);
    }
    void pull() {
        QFile::remove(m_link);
        if (m_sim.state() != QProcess::NotRunning) {
            m_sim.kill();
            m_sim.waitForFinished(3000);
        }
    }
    QString device() const { return m_device; }

private:
    QString m_link;
    QString m_device;
    QProcess m_sim;
};

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int samples = argc > 1 ? std::max(600, atoi(argv[1])) : 10000;
    QTextStream out(stdout);
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("light.csv"));

    // The bare reader first, on a meter of its own at the same frame rate, for a minute.
    double bareShare = 0;
    {
        Meter meter(dir.filePath(QStringLiteral("bare")));
        if (!meter.plug()) {
            out << "cannot start lumetra-meter-sim\n";
            return 1;
        }
        BareReader bare(meter.device(), lumetra::DisplayPoll::kFramesPerRestart);
        if (!bare.open()) {
            out << "cannot open " << meter.device() << '\n';
            return 1;
        }
        runFor(2000);
        const double cpu0 = cpuSeconds();
        QElapsedTimer wall;
        wall.start();
        runFor(60000);
        bareShare = (cpuSeconds() - cpu0) / (wall.elapsed() / 1000.0);
    }

    lumetra::test::Broker broker;
    if (!broker.start()) {
        out << "cannot start mosquitto\n";
        return 1;
    }
    const int port = broker.port;
    QProcess reader;
    reader.setStandardOutputFile(dir.filePath(QStringLiteral("heard.txt")));
    reader.start(QStringLiteral("mosquitto_sub"),
                 {QStringLiteral("-p"), QString::number(port), QStringLiteral("-t"),
                  QStringLiteral("lumetra/+/+/state"), QStringLiteral("-q"), QStringLiteral("1"),
                  QStringLiteral("-c"), QStringLiteral("-i"), QStringLiteral("bench")});
    runFor(500);

    Meter meter(dir.filePath(QStringLiteral("meter")));
    if (!meter.plug()) {
        out << "cannot start lumetra-meter-sim\n";
        return 1;
    }
    QProcess cli;
    cli.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    cli.start(QStringLiteral(LUMETRA_BIN_DIR "/lumetra-cli"),
              {QStringLiteral("record"), QStringLiteral("--port"),
               dir.filePath(QStringLiteral("meter")), QStringLiteral("--interval"),
               QStringLiteral("0.25"), QStringLiteral("--csv"), csv, QStringLiteral("--mqtt"),
               QStringLiteral("mqtt://127.0.0.1:%1").arg(port), QStringLiteral("--count"),
               QString::number(samples), QStringLiteral("--quiet")});
    if (!cli.waitForStarted()) {
        out << "cannot start lumetra-cli\n";
        return 1;
    }
    const qint64 pid = cli.processId();
    const auto taken = [&] {
        QFile f(csv);
        return f.open(QIODevice::ReadOnly) ? int(f.readAll().count(",ok,")) : 0;
    };
    qint64 warmKb = -1, peakKb = 0;
    double cpuAtWarm = 0;
    QElapsedTimer sinceWarm;
    const int pullEvery = std::min(500, samples / 5);
    const int restartEvery = std::min(2000, samples / 2 - 50);
    int nextPull = pullEvery, nextBrokerRestart = restartEvery, pulls = 0, restarts = 0;
    bool reported = false;
    while (cli.state() != QProcess::NotRunning) {
        runFor(250);
        const int n = taken();
        const qint64 kb = residentKb(pid);
        peakKb = std::max(peakKb, kb);
        if (warmKb < 0 && n >= 200) {
            warmKb = kb;
            cpuAtWarm = cpuSecondsOf(pid);
            sinceWarm.start();
        }
        if (n >= nextPull && n < samples - 100) {
            nextPull += pullEvery;
            ++pulls;
            meter.pull();
            runFor(1000);
            meter.plug();
        }
        if (n >= nextBrokerRestart && n < samples - 100) {
            nextBrokerRestart += restartEvery;
            ++restarts;
            broker.stop();
            runFor(1500);
            broker.start();
        }
        if (!reported && n >= samples - 8 && sinceWarm.isValid()) {
            reported = true;
            // The last figures before the recorder ends by itself.
            const double cpuShare =
                (cpuSecondsOf(pid) - cpuAtWarm) / (sinceWarm.elapsed() / 1000.0);
            const qint64 endKb = residentKb(pid);
            reportRow(QStringLiteral("lumetra-cli record at 4 samples/s: resident memory"),
                      QStringLiteral("%1 MB at the end, peak %2 MB")
                          .arg(endKb / 1024.0, 0, 'f', 1)
                          .arg(peakKb / 1024.0, 0, 'f', 1),
                      QStringLiteral("-"), QStringLiteral("<= 15 MB"), peakKb <= 15 * 1024);
            reportRow(
                QStringLiteral("lumetra-cli record: memory growth over %1 samples").arg(n - 200),
                QStringLiteral("%1 MB").arg((endKb - warmKb) / 1024.0, 0, 'f', 2),
                QStringLiteral("after 200 samples %1 MB").arg(warmKb / 1024.0, 0, 'f', 1),
                QStringLiteral("<= 1 MB"), endKb - warmKb <= 1024);
            reportRow(QStringLiteral("lumetra-cli record: CPU, share of one core"),
                      percent(cpuShare), QStringLiteral("bare reader %1").arg(percent(bareShare)),
                      QStringLiteral("<= 2x bare reader"), cpuShare <= 2 * bareShare);
        }
    }
    runFor(1000);
    reader.terminate();
    reader.waitForFinished(3000);

    // Every CSV sample reached the broker, in order (a repeat after a reconnect is allowed).
    QFile rows(csv);
    rows.open(QIODevice::ReadOnly);
    QStringList times;
    for (const QByteArray& line : rows.readAll().split('\n')) {
        if (line.contains(",ok,"))
            times << QString::fromLatin1(line.left(line.indexOf(',')));
    }
    QFile heardFile(dir.filePath(QStringLiteral("heard.txt")));
    heardFile.open(QIODevice::ReadOnly);
    QStringList heard;
    const QRegularExpression time(QStringLiteral("\"time\":\"([^\"]+)\""));
    for (const QByteArray& line : heardFile.readAll().split('\n')) {
        const auto m = time.match(QString::fromUtf8(line));
        if (m.hasMatch())
            heard << m.captured(1);
    }
    qsizetype at = 0, missing = 0;
    for (const QString& t : times) {
        const qsizetype found = heard.indexOf(t, at);
        if (found < 0)
            ++missing;
        else
            at = found;
    }
    reportRow(QStringLiteral("soak, %1 samples: %2 pulls of the meter, %3 broker restarts")
                  .arg(times.size())
                  .arg(pulls)
                  .arg(restarts),
              QStringLiteral("%1 of %2 CSV samples on the broker in order")
                  .arg(times.size() - missing)
                  .arg(times.size()),
              QStringLiteral("%1 messages heard").arg(heard.size()),
              QStringLiteral("all, in order"), missing == 0 && cli.exitCode() == 0);
    return 0;
}
