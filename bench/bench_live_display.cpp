// Live display cost and latency against a meter streaming at the real line rate.
//
// Phase 1, CPU: the meter runs as lumetra-meter-sim in a process of its own, paced at
// 19200 baud, sending 10 and then 4 frames a second; this process runs the real main window
// (offscreen) for N seconds each and reports its own CPU time as a share of one core and the
// frames shown per second; beside them, a bare port that follows the same protocol (a
// handshake and "M" every 15 frames) and counts what it costs and what it receives.
// Phase 2, latency: the meter runs in this process, so the time a frame is handed to the
// line is known; the frame's last byte leaves 14 / 1920 s later. Reported: the time from
// that last byte to the main window showing the frame.
//
// Usage: bench_live_display [seconds]   (default 30)
#include "link/displaypoll.h"
#include "platform/clock.h"
#include "virtualmeter/virtualmeter.h"
#include "widgets/dialogs.h"
#include "windows/panel.h"

#include "barereader.h"
#include "measure.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QSerialPort>
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

// Runs the event loop for a while: this process's CPU share of one core, and the rate at
// which the counter (zeroed first) grew.
struct Window {
    double cpuShare;
    double frameRate;
};
Window watch(int seconds, int& counter) {
    counter = 0;
    const double cpu0 = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    runFor(seconds * 1000);
    const double wallS = wall.elapsed() / 1000.0;
    return {(cpuSeconds() - cpu0) / wallS, counter / wallS};
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(5, atoi(argv[1])) : 30;
    QTextStream out(stdout);
    lumetra::ScriptedDialogs dialogs;
    lumetra::SystemClock clock;

    // Phase 1: CPU share and frames shown with the meter in another process, at the virtual
    // meter's 10 frames a second and at 4, beside a bare reader of the same stream.
    QProcess sim;
    sim.start(QStringLiteral(LUMETRA_BIN_DIR "/lumetra-meter-sim"), QStringList{});
    if (!sim.waitForStarted() || !sim.waitForReadyRead(5000)) {
        out << "cannot start lumetra-meter-sim\n";
        return 1;
    }
    const QString device = QString::fromLocal8Bit(sim.readLine()).trimmed();
    for (const int period : {100, 250}) {
        sim.write(QByteArrayLiteral("period ") + QByteArray::number(period) + '\n');
        sim.waitForBytesWritten(1000);
        const double meterRate = 1000.0 / period;
        double cpuShare = 0, shownRate = 0;
        int frames = 0;
        {
            lumetra::Panel panel(dialogs, clock);
            panel.show();
            panel.start(lumetra::PortChoice{1, device});
            QObject::connect(&panel.displayPoll(), &lumetra::DisplayPoll::frameDecoded,
                             [&] { ++frames; });
            runFor(2000); // settle: first handshake and stream
            const Window w = watch(seconds, frames);
            cpuShare = w.cpuShare;
            shownRate = w.frameRate;
        }
        // The least any program pays for this stream, and all the meter delivers.
        double plainShare = 0, plainRate = 0;
        {
            BareReader bare(device, lumetra::DisplayPoll::kFramesPerRestart);
            if (!bare.open()) {
                out << "cannot open " << device << '\n';
                return 1;
            }
            runFor(1000);
            const Window w = watch(seconds, bare.frames);
            plainShare = w.cpuShare;
            plainRate = w.frameRate;
        }
        const QString meter =
            QStringLiteral("live display, meter at %1 frames/s: ").arg(meterRate, 0, 'f', 0);
        // Four a second, or every frame the meter delivers when that is fewer.
        const double aim = std::min(4.0, plainRate);
        reportRow(meter + QStringLiteral("frames shown per second"),
                  QString::number(shownRate, 'f', 2),
                  QStringLiteral("bare reader receives %1").arg(plainRate, 0, 'f', 2),
                  QStringLiteral("4.0, or all received"), shownRate >= aim - 0.05);
        reportRow(meter + QStringLiteral("CPU, share of one core"), percent(cpuShare),
                  QStringLiteral("bare reader %1").arg(percent(plainShare)),
                  QStringLiteral("<= 0.5 %"), cpuShare <= 0.005);
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
    reportRow(QStringLiteral("live display: frame's last byte to the LCD, median (%1 frames)")
                  .arg(latencies.size()),
              ms(pct(0.5)),
              QStringLiteral("90th %1, longest %2").arg(ms(pct(0.9)), ms(latencies.last())),
              QStringLiteral("-"), true);
    return 0;
}
