#include "graphcommands.h"

#include "graph/seriesplot.h"
#include "model/appstate.h"
#include "model/columnplot.h"
#include "model/exposure.h"
#include "model/recordtable.h"
#include "windows/graphview.h"
#include "windows/realtimeall.h"

#include <QTimer>

#include <algorithm>
#include <cmath>

namespace lumetra {

GraphCommands::GraphCommands(AppState& state, Dialogs& dialogs, QWidget* mainWindow,
                             QObject* parent)
    : QObject(parent), m_state(state), m_dialogs(dialogs), m_mainWindow(mainWindow) {}

GraphCommands::~GraphCommands() {
    // Deleted as they close; the program deletes what is left when it ends.
    for (QWidget* w :
         {static_cast<QWidget*>(m_live.data()), static_cast<QWidget*>(m_realTimeGraph.data()),
          static_cast<QWidget*>(m_plot.data())}) {
        if (w)
            w->close();
    }
}

void GraphCommands::openLiveGraph() {
    AppState& s = m_state;
    s.graphRestart = true;
    s.graphOpen = true;
    s.graphPoints.clear();
    s.graphUnit = s.display.unitText;
    s.graphRangeLow = s.graphRangeHigh = s.display.readingValue;
    auto* window = new RealTimeAll(s, m_mainWindow); // deletes itself on close
    m_live = window;
    connect(window, &RealTimeAll::handOverAsked, this, &GraphCommands::handOver);
    connect(window, &RealTimeAll::endedByItself, this, &GraphCommands::liveGraphEnded);
    // Only the window that is open frees the slot.
    connect(window, &BusyWindow::closed, this, [this, window] {
        if (m_live == window) {
            m_live = nullptr;
            m_state.graphOpen = false;
        }
    });
    window->show();
}

void GraphCommands::handOver() {
    AppState& s = m_state;
    if (s.graphPoints.size() == 0)
        return; // nothing sampled yet: no series to show
    if (m_realTimeGraph)
        m_realTimeGraph->close();
    // The range of exactly the samples handed over, oldest first.
    s.graphRangeLow = s.graphPoints.minimum();
    s.graphRangeHigh = s.graphPoints.maximum();
    auto* view = new GraphView(QStringLiteral("RealTimeGraph"), QStringLiteral("Real Time Graph"),
                               m_dialogs); // deletes itself on close
    m_realTimeGraph = view;
    view->show();
    // The window first, the series right after: the screen answers between the two.
    // Each sample with the PC's time of it, two a second.
    GraphView::Times times{s.graphPoints.times(), 500, false};
    QTimer::singleShot(0, view,
                       [view, series = s.graphPoints.series(), times = std::move(times),
                        unit = m_live ? m_live->CWGraph1->unit() : s.graphUnit,
                        low = s.graphRangeLow, high = s.graphRangeHigh]() mutable {
                           view->fill(series, unit, low, high, std::move(times));
                       });
}

void GraphCommands::plotColumn(const RecordTable& table, int column, const QString& unit,
                               float startMaximum, float startMinimum, const QDateTime& reference) {
    QStringList cells, stamps;
    cells.reserve(table.rowCount());
    stamps.reserve(table.rowCount());
    for (int r = 0; r < table.rowCount(); ++r) {
        cells.append(table.cell(r, column));
        stamps.append(table.cell(r, 1));
    }
    // The records' times, when every stamp gives one: a recorder's CSV gave them whole; a
    // record file's are dated from its stamps.
    GraphView::Times times;
    QList<qint64> steps;
    const bool exact = table.exactTimes().size() == table.rowCount();
    const QList<QDateTime> when =
        exact ? QList<QDateTime>{}
              : exposure::recordFileTimes(stamps, reference, &times.clockSettled);
    const qsizetype count = exact ? table.exactTimes().size() : when.size();
    times.ms.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        if (!exact && !when[i].isValid()) {
            times.ms.clear();
            break;
        }
        const qint64 ms = exact ? table.exactTimes()[i] : when[i].toMSecsSinceEpoch();
        if (!times.ms.isEmpty() && ms < times.ms.last()) {
            times.ms.clear();
            break;
        }
        if (!times.ms.isEmpty())
            steps.append(ms - times.ms.last());
        times.ms.append(ms);
    }
    // The sampling interval is the usual step between records.
    if (!steps.isEmpty()) {
        std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
        times.intervalMs = std::max<qint64>(1000, steps[steps.size() / 2]);
    }
    times.datesAssumed = !exact;
    const ColumnPlot plot = columnPlot(cells, startMaximum, startMinimum);
    if (!m_plot) {
        m_plot = new GraphView(QStringLiteral("Plot"), QStringLiteral("Plot"), m_dialogs);
    }
    m_plot->show();
    m_plot->raise();
    m_plot->fill(plot.values, unit, plot.minimum, plot.maximum, std::move(times));
}

float firstValueRange(const RecordTable& table, int column) {
    // The first readable value: an unreadable record sets no range.
    for (int r = 0; r < table.rowCount(); ++r) {
        if (const float v = plotValue(table.cell(r, column)); !std::isnan(v))
            return v;
    }
    return 0.0f;
}

} // namespace lumetra
