#pragma once

#include <QColor>
#include <QSharedPointer>
#include <QVector>
#include <QWidget>

#include <utility>

class QPrinter;
class QCPItemStraightLine;
class QCPItemTracer;
class QCPGraph;
class QCPGraphData;
template <class DataType> class QCPDataContainer;
using QCPGraphDataContainer = QCPDataContainer<QCPGraphData>;
class QCPLayer;
class QCustomPlot;

namespace lumetra {

// How the mouse acts on the plot area.
enum class MouseMode { Normal, Cursor, PanXY, PanX, PanY, ZoomXY, ZoomX, ZoomY };

// One series of readings as a line graph (value k at x = k + 1) with a draggable cursor:
// the graph component of the graph view. The only class the windows use for it.
class SeriesPlot : public QWidget {
    Q_OBJECT
public:
    explicit SeriesPlot(QWidget* parent = nullptr);

    // Replaces the trace; x runs from 1 to the number of values.
    void setSeries(const QVector<float>& values);
    // The times of the series just set (milliseconds since the epoch, in order), kept ready
    // for the time axis: there x is the time in seconds, the axis shows clock times that
    // follow the span, and a step longer than gapMs breaks the line.
    void setTimes(const QVector<qint64>& timesMs, qint64 gapMs);
    bool hasTimes() const { return !m_timesMs.isEmpty(); }
    // Shows the series against its times (when it has them) or its reading numbers; the
    // switch swaps ready data, so it costs no more than a redraw.
    void showTime(bool on);
    bool timeAxis() const { return m_timeAxis; }
    int pointCount() const { return m_count; }
    void setXRange(double lower, double upper);
    void setYRange(double lower, double upper);
    std::pair<double, double> xRange() const;
    std::pair<double, double> yRange() const;
    void setAxisCaptions(const QString& x, const QString& y);
    QString xCaption() const;

    void setMouseMode(MouseMode mode);
    MouseMode mouseMode() const { return m_mode; }
    // Cursor 1: a vertical line through a reading, with a mark on the trace.
    void setCursorVisible(bool visible);
    bool cursorVisible() const;
    // Moves the cursor to the reading nearest x (within the series) and reports it: its
    // number, or its time in seconds on the time axis.
    void moveCursor(double x);
    double cursorX() const { return m_cursorX; }

    // Draws now and says how long the drawing took (ms): for the benchmarks.
    double redrawNow();

    QColor background() const;
    void setBackground(const QColor& colour);
    // The plot alone, at its present ranges, as PNG or PDF (by the file's suffix), whole or
    // not at all. Returns why it could not be saved, empty when it was.
    QString saveImage(const QString& path, int width, int height);
    // Prints the plot as it shows now, in vector form, scaled to the printer's page. false
    // when the printer cannot be started.
    bool print(QPrinter& printer);

signals:
    // Only cursor 1 moves: its reading number and value.
    void cursorMoved(double x, double y);
    // The visible range changed (zoom, pan, typed ranges).
    void rangesChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void followSpan();
    void fillTrace(bool newSeries);

    QCustomPlot* m_plot = nullptr;
    QCPGraph* m_graph = nullptr;
    QCPLayer* m_cursorLayer = nullptr;
    QCPItemStraightLine* m_cursorLine = nullptr;
    QCPItemTracer* m_cursorMark = nullptr;
    MouseMode m_mode = MouseMode::Normal;
    QColor m_background = Qt::white;
    int m_count = 0;
    double m_cursorX = 0;
    bool m_timeAxis = false;
    QVector<qint64> m_timesMs; // each reading's time, in order (shared with the caller's)
    qint64 m_gapMs = 0;
    QVector<float> m_values;
    bool m_dragging = false;
};

// The live graph's chart: appends one reading at a time and shows the recent history,
// scrolling; a click on it is reported.
class LiveChart : public QWidget {
    Q_OBJECT
public:
    static constexpr int kVisiblePoints = 600; // five minutes at two readings a second

    explicit LiveChart(QWidget* parent = nullptr);

    void setUnit(const QString& unit);
    QString unit() const { return m_unit; }
    // The next reading, its number, and the extremes to show; at most one redraw follows.
    void append(qint64 number, float value, float lowest, float highest);
    int shownPoints() const;

signals:
    void clicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QCustomPlot* m_plot = nullptr;
    QCPGraph* m_graph = nullptr;
    QString m_unit;
};

} // namespace lumetra
