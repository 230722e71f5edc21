// A full live ring (864 001 readings) in the graph view: the hand-over and its longest
// event-loop stall, a full-range redraw, redraws while panning and zooming, a cursor move
// and the program's memory, each beside a plain copy of the same values where one applies.
// Pictures of the full and the zoomed view go to the folder given (default: none).
//
// Usage: bench_graph [picture-folder]
#include "commands/graphcommands.h"
#include "graph/heatmapview.h"
#include "graph/seriesplot.h"
#include "model/appstate.h"
#include "model/exposure.h"
#include "platform/memory.h"
#include "widgets/dialogs.h"
#include "windows/graphview.h"
#include "windows/profile.h"

#include "measure.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

double residentMegabytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

} // namespace

int main(int argc, char* argv[]) {
    lumetra::returnLargeBlocksToTheSystem(); // as the program does
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString pictures = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    QTextStream out(stdout);

    lumetra::AppState state;
    lumetra::ScriptedDialogs dialogs;
    // 120 hours of a slowly changing light level with some flicker.
    const qint64 ringStart =
        QDateTime::currentMSecsSinceEpoch() - 500LL * lumetra::LiveSeries::kCapacity;
    for (int k = 0; k < lumetra::LiveSeries::kCapacity; ++k)
        state.graphPoints.append(
            float(500 + 300 * std::sin(k / 20000.0) + 20 * std::sin(k / 7.0) + (k % 13)),
            ringStart + 500LL * k);
    const double before = residentMegabytes();

    lumetra::GraphCommands graphs(state, dialogs, nullptr);
    const Measure plainCopy = measure([&] { volatile auto copy = state.graphPoints.series(); });
    // The view shows first and fills on the next turn of the event loop: both are counted.
    const Measure handOver = measure([&] {
        graphs.handOver();
        QCoreApplication::processEvents();
    });
    lumetra::GraphView* view = graphs.realTimeGraph();
    view->resize(1200, 800);
    QCoreApplication::processEvents();
    lumetra::SeriesPlot* plot = view->CWGraph1;

    double full = 0;
    for (int i = 0; i < 10; ++i)
        full = std::max(full, plot->redrawNow());
    if (!pictures.isEmpty())
        view->grab().save(QDir(pictures).filePath(QStringLiteral("ring-full.png")));

    // Panning and zooming: the range moves, the plot draws each time.
    double pan = 0;
    const double n = lumetra::LiveSeries::kCapacity;
    for (int i = 0; i < 50; ++i) {
        const double width = n / (1 + i * 40);
        const double start = (n - width) * i / 50.0;
        plot->setXRange(start, start + width);
        pan = std::max(pan, plot->redrawNow());
    }
    plot->setXRange(400000, 400200);
    plot->redrawNow();
    view->chooseMode(1);
    if (!pictures.isEmpty())
        view->grab().save(QDir(pictures).filePath(QStringLiteral("ring-zoomed.png")));

    QElapsedTimer t;
    t.start();
    constexpr int kMoves = 200;
    for (int i = 0; i < kMoves; ++i)
        plot->moveCursor(400000 + i);
    const double cursor = t.nsecsElapsed() / 1e6 / kMoves;
    const double after = residentMegabytes();

    // The Time axis: the whole ring at its times, the exposure figures recomputed. The redraws
    // the pan loop above queued (one per step, the loop never returned to the event loop) are
    // done first: they are not the switch's.
    QCoreApplication::processEvents();
    view->resetScale();
    const Measure toTime = measure([&] {
        view->chooseAxis(1);
        QCoreApplication::processEvents();
    });
    const double timeRedraw = plot->redrawNow();
    const Measure toNumbers = measure([&] {
        view->chooseAxis(0);
        QCoreApplication::processEvents();
    });
    view->chooseAxis(1);
    QCoreApplication::processEvents();
    const double onTime = residentMegabytes();
    if (!pictures.isEmpty())
        view->grab().save(QDir(pictures).filePath(QStringLiteral("ring-time-axis.png")));

    // A year of one-minute samples: the daily profile built and drawn.
    lumetra::exposure::Series year;
    year.intervalMs = 60000;
    const QDateTime yearStart(QDate(2025, 1, 1), QTime(0, 0));
    const qint64 t0 = yearStart.toMSecsSinceEpoch();
    for (qint64 k = 0; k < 525600; ++k) {
        year.timesMs.append(t0 + k * 60000);
        const double hour = double(k % 1440) / 60.0;
        const double day = double(k / 1440);
        const double sun =
            std::max(0.0, std::sin((hour - 6 - 2 * std::cos(day / 58.0)) / 12 * M_PI));
        year.lux.append(20 + 30000 * sun * sun * (0.6 + 0.4 * std::cos(day / 58.0)));
    }
    QElapsedTimer built;
    built.start();
    const lumetra::exposure::Profile profile = lumetra::exposure::dailyProfile(year);
    const double buildMs = built.nsecsElapsed() / 1e6;
    lumetra::ProfileWindow profileWindow(profile, false, dialogs);
    profileWindow.resize(1200, 900);
    profileWindow.show();
    QCoreApplication::processEvents();
    double profileDraw = 0;
    for (int i = 0; i < 10; ++i)
        profileDraw = std::max(profileDraw, profileWindow.Map->redrawNow());
    if (!pictures.isEmpty())
        profileWindow.grab().save(QDir(pictures).filePath(QStringLiteral("profile-year.png")));

    const QString ring = QStringLiteral("graph view, full ring of %1 readings: ")
                             .arg(lumetra::LiveSeries::kCapacity);
    reportRow(ring + QStringLiteral("hand-over into the view"), ms(handOver.ms),
              QStringLiteral("copy of the ring %1").arg(ms(plainCopy.ms)), QStringLiteral("-"),
              true);
    reportRow(ring + QStringLiteral("hand-over, longest stall"), ms(handOver.longestStallMs),
              QStringLiteral("-"), QStringLiteral("-"), true);
    reportRow(ring + QStringLiteral("full-range redraw, worst of 10"), ms(full),
              QStringLiteral("-"), QStringLiteral("-"), true);
    reportRow(ring + QStringLiteral("redraw while panning and zooming, worst of 50"), ms(pan),
              QStringLiteral("-"), QStringLiteral("-"), true);
    reportRow(ring + QStringLiteral("cursor move, average of %1").arg(kMoves),
              QString::number(cursor, 'f', 2) + QStringLiteral(" ms"), QStringLiteral("-"),
              QStringLiteral("-"), true);
    reportRow(ring + QStringLiteral("to the Time axis with exposure figures, longest stall"),
              ms(toTime.longestStallMs),
              QStringLiteral("back to No.s %1").arg(ms(toNumbers.longestStallMs)),
              QStringLiteral("<= 50 ms"), toTime.longestStallMs <= 50);
    reportRow(ring + QStringLiteral("full-range redraw on the Time axis"), ms(timeRedraw),
              QStringLiteral("-"), QStringLiteral("-"), true);
    reportRow(QStringLiteral("daily profile of 525 600 one-minute samples: built"), ms(buildMs),
              QStringLiteral("-"), QStringLiteral("<= 200 ms"), buildMs <= 200);
    reportRow(QStringLiteral("daily profile, 365 x 24 cells: drawn, worst of 10"), ms(profileDraw),
              QStringLiteral("-"), QStringLiteral("<= 16 ms"), profileDraw <= 16);
    reportRow(ring + QStringLiteral("resident memory with the view"),
              QString::number(after, 'f', 0) + QStringLiteral(" MB"),
              QStringLiteral("ring alone %1 MB").arg(before, 0, 'f', 0), QStringLiteral("<= 80 MB"),
              after <= 80);
    // One trace whose keys are rewritten on a switch: the stall it costs beside the memory it
    // keeps.
    reportRow(ring + QStringLiteral("on the Time axis: switch stall and resident memory"),
              QStringLiteral("%1, %2 MB").arg(ms(toTime.longestStallMs)).arg(onTime, 0, 'f', 0),
              QStringLiteral("on No.s %1 MB").arg(after, 0, 'f', 0), QStringLiteral("<= 80 MB"),
              onTime <= 80);
    return 0;
}
