#pragma once

#include "windows/graphview.h"
#include "windows/realtimeall.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>

namespace lumetra {

class Dialogs;
class RecordTable;
struct AppState;

// The graph windows: the live graph and its hand-over to "Real Time Graph", and the column
// plot of a list into "Plot".
class GraphCommands : public QObject {
    Q_OBJECT
public:
    // Windows open beside mainWindow.
    GraphCommands(AppState& state, Dialogs& dialogs, QWidget* mainWindow,
                  QObject* parent = nullptr);
    ~GraphCommands() override;

    // The toolbar's "Graph": a fresh series, then the live window.
    void openLiveGraph();
    // The live graph's whole series into a new "Real Time Graph".
    void handOver();
    // One column of a list into "Plot" (reused when open): the unit names the values; the
    // range starts at startMaximum/startMinimum and widens to the values. The records' day
    // stamps give their times, dated from `reference` (a record keeps day and time only).
    void plotColumn(const RecordTable& table, int column, const QString& unit, float startMaximum,
                    float startMinimum, const QDateTime& reference);

    RealTimeAll* liveGraph() const { return m_live.data(); }
    GraphView* realTimeGraph() const { return m_realTimeGraph.data(); }
    GraphView* plot() const { return m_plot.data(); }

signals:
    // The live graph closed by itself, and why.
    void liveGraphEnded(const QString& text);

private:
    AppState& m_state;
    Dialogs& m_dialogs;
    QWidget* m_mainWindow;
    QPointer<RealTimeAll> m_live;
    QPointer<GraphView> m_realTimeGraph;
    QPointer<GraphView> m_plot;
};

// The starting range of a file list's plot: both ends at its first value, or at 1000000
// when that is an overload text.
float firstValueRange(const RecordTable& table, int column);

} // namespace lumetra
