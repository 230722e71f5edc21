// Live display cost and latency against a meter streaming at the real line rate.
//
// Phase 1, CPU: the meter runs as lumetra-meter-sim in a process of its own, paced at
// 19200 baud; this process runs the real main window (offscreen) for N seconds and reports
// its own CPU time as a share of one core.
// Phase 2, latency: the meter runs in this process, so the time a frame is handed to the
// line is known; the frame's last byte leaves 14 / 1920 s later. Reported: the time from
// that last byte to the main window showing the frame.
//
// Usage: bench_live_display [seconds]   (default 60)
#include "link/displaypoll.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "virtualmeter/virtualmeter.h"
#include "windows/panel.h"

#include "measure.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <ctime>

namespace {

void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(5, atoi(argv[1])) : 60;
    QTextStream out(stdout);
    lumetra::ScriptedDialogs dialogs;
    lumetra::SystemClock clock;

    // Phase 1: CPU share with the meter in another process.
    QProcess sim;
    sim.start(QStringLiteral(LUMETRA_BIN_DIR "/lumetra-meter-sim"), QStringList{});
    if (!sim.waitForStarted() || !sim.waitForReadyRead(5000)) {
        out << "cannot start lumetra-meter-sim\n";
        return 1;
    }
    const QString device = QString::fromLocal8Bit(sim.readLine()).trimmed();
    double cpuShare = 0;
    int frames = 0;
    {
        lumetra::Panel panel(dialogs, clock);
        panel.show();
        panel.start(lumetra::PortChoice{1, device});
        QObject::connect(&panel.displayPoll(), &lumetra::DisplayPoll::frameDecoded,
                         [&] { ++frames; });
        runFor(2000); // settle: first handshake and stream
        frames = 0;
        const double cpu0 = cpuSeconds();
        QElapsedTimer wall;
        wall.start();
        runFor(seconds * 1000);
        cpuShare = (cpuSeconds() - cpu0) / (wall.elapsed() / 1000.0);
        out << QStringLiteral("live display, meter in its own process, %1 s: %2 frames shown "
                              "(%3 per second), CPU %4 % of one core\n")
                   .arg(seconds)
                   .arg(frames)
                   .arg(frames / double(seconds), 0, 'f', 2)
                   .arg(cpuShare * 100.0, 0, 'f', 2);
    }
    sim.write("quit\n");
    sim.waitForFinished(3000);

    // Phase 2: latency with the meter in this process.
    lumetra::sim::VirtualMeter meter;
    meter.setPaced(true);
    if (!meter.start()) {
        out << "cannot start the virtual meter\n";
        return 1;
    }
    QElapsedTimer clockMs;
    clockMs.start();
    qint64 lastFrameHandedOver = -1;
    QObject::connect(&meter, &lumetra::sim::VirtualMeter::transmitted, [&](const QByteArray& b) {
        if (b.size() == 14 && quint8(b[0]) == 0x02 && quint8(b[13]) == 0x03)
            lastFrameHandedOver = clockMs.nsecsElapsed();
    });
    QList<double> latencies;
    lumetra::Panel panel(dialogs, clock);
    panel.show();
    panel.start(lumetra::PortChoice{1, meter.devicePath()});
    QObject::connect(&panel.displayPoll(), &lumetra::DisplayPoll::frameDecoded, [&] {
        if (lastFrameHandedOver < 0)
            return;
        const double lastByte = lastFrameHandedOver / 1e6 + 14.0 / 1.920;
        latencies << clockMs.nsecsElapsed() / 1e6 - lastByte;
    });
    runFor(std::min(seconds, 20) * 1000);
    std::sort(latencies.begin(), latencies.end());
    if (latencies.isEmpty()) {
        out << "no frames shown\n";
        return 1;
    }
    const auto pct = [&](double p) { return latencies[qsizetype(p * (latencies.size() - 1))]; };
    out << QStringLiteral("frame last byte -> LCD shown, %1 frames: median %2 ms, 90th %3 ms, "
                          "max %4 ms\n")
               .arg(latencies.size())
               .arg(pct(0.5), 0, 'f', 1)
               .arg(pct(0.9), 0, 'f', 1)
               .arg(latencies.last(), 0, 'f', 1);
    return 0;
}
