#include "seriesplot.h"

#include "platform/wholefile.h"

#include <qcustomplot.h>

#include <QBuffer>
#include <QPdfWriter>

#include <QMouseEvent>
#include <QPrinter>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace lumetra {
namespace {

QCustomPlot* makePlot(QWidget* owner) {
    auto* plot = new QCustomPlot(owner);
    plot->setObjectName(QStringLiteral("plotArea"));
    auto* layout = new QVBoxLayout(owner);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(plot);
    plot->setNoAntialiasingOnDrag(true);
    return plot;
}

// QCustomPlot 2.1 keeps the pixel ratio of the screen it first drew on; a window moved to a
// screen of another ratio would draw blurred or too small.
void followPixelRatio(QCustomPlot* plot) {
    const double ratio = plot->devicePixelRatioF();
    if (!qFuzzyCompare(ratio, plot->bufferDevicePixelRatio())) {
        plot->setBufferDevicePixelRatio(ratio);
        plot->replot(QCustomPlot::rpQueuedReplot);
    }
}

} // namespace

SeriesPlot::SeriesPlot(QWidget* parent) : QWidget(parent) {
    m_plot = makePlot(this);
    m_graph = m_plot->addGraph();
    m_graph->setPen(QPen(QColor(0x1F, 0x5F, 0xA8), 1));
    m_graph->setAdaptiveSampling(true);
    // The cursor lives on a buffered layer of its own: dragging it redraws only the cursor.
    m_plot->addLayer(QStringLiteral("cursor"), m_plot->layer(QStringLiteral("main")),
                     QCustomPlot::limAbove);
    m_cursorLayer = m_plot->layer(QStringLiteral("cursor"));
    m_cursorLayer->setMode(QCPLayer::lmBuffered);
    m_cursorLine = new QCPItemStraightLine(m_plot);
    m_cursorLine->setLayer(m_cursorLayer);
    m_cursorLine->setPen(QPen(QColor(0xC0, 0x30, 0x30), 1, Qt::DashLine));
    m_cursorMark = new QCPItemTracer(m_plot);
    m_cursorMark->setLayer(m_cursorLayer);
    m_cursorMark->setStyle(QCPItemTracer::tsCircle);
    m_cursorMark->setSize(8);
    m_cursorMark->setPen(QPen(QColor(0xC0, 0x30, 0x30), 1.5));
    setCursorVisible(false);
    m_plot->installEventFilter(this);
    connect(m_plot->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            &SeriesPlot::followSpan);
    connect(m_plot->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            &SeriesPlot::rangesChanged);
    connect(m_plot->yAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            &SeriesPlot::rangesChanged);
}

void SeriesPlot::setSeries(const QVector<float>& values) {
    m_count = int(values.size());
    m_values = values;
    m_timesMs.clear();
    m_timeAxis = false;
    fillTrace(true);
    showTime(false);
    // The mark follows the trace only when there is one to follow.
    m_cursorMark->setGraph(m_count > 0 ? m_graph : nullptr);
}

void SeriesPlot::setTimes(const QVector<qint64>& timesMs, qint64 gapMs) {
    if (timesMs.size() != m_values.size())
        return;          // no time for some reading: no time axis
    m_timesMs = timesMs; // shared with the caller's, not copied
    m_gapMs = gapMs;
    if (m_timeAxis)
        fillTrace(true);
}

// One trace, its keys written afresh on a switch of axis: a second trace kept ready would cost
// as much memory again. A new series gets storage of its own size; a switch writes into the
// storage the trace has, which costs a few milliseconds where fresh pages of memory for a
// full ring would cost ten times that.
void SeriesPlot::fillTrace(bool newSeries) {
    // Read through const pointers: the values and times are shared with the caller, and a
    // write access would copy them.
    const qsizetype n = m_values.size();
    const float* values = m_values.constData();
    const qint64* ms = m_timesMs.constData();
    const auto each = [&](auto&& put) {
        for (qsizetype k = 0; k < n; ++k) {
            if (!m_timeAxis) {
                put(QCPGraphData(double(k + 1), double(values[k])));
                continue;
            }
            // The meter was away: no line across.
            if (k > 0 && ms[k] - ms[k - 1] > m_gapMs)
                put(QCPGraphData(double(ms[k - 1] + ms[k]) / 2000.0, qQNaN()));
            put(QCPGraphData(double(ms[k]) / 1000.0, double(values[k])));
        }
    };
    QCPGraphDataContainer& trace = *m_graph->data();
    if (newSeries) {
        QVector<QCPGraphData> points;
        points.reserve(m_timeAxis ? n + n / 16 : n);
        each([&points](const QCPGraphData& d) { points.append(d); });
        trace.set(points, true);
    } else {
        trace.clear(); // keeps its storage
        each([&trace](const QCPGraphData& d) { trace.add(d); });
    }
}

void SeriesPlot::showTime(bool on) {
    const bool time = on && !m_timesMs.isEmpty();
    if (time != m_timeAxis) {
        m_timeAxis = time;
        fillTrace(false);
    }
    if (m_timeAxis)
        m_plot->xAxis->setTicker(QSharedPointer<QCPAxisTickerDateTime>::create());
    else
        m_plot->xAxis->setTicker(QSharedPointer<QCPAxisTicker>::create());
    followSpan();
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

// Clock-time labels as fine as the span in view asks: seconds, minutes, hours or days.
void SeriesPlot::followSpan() {
    if (!m_timeAxis)
        return;
    auto ticker = m_plot->xAxis->ticker().dynamicCast<QCPAxisTickerDateTime>();
    if (!ticker)
        return;
    const double span = m_plot->xAxis->range().size();
    const QString format = span <= 300         ? QStringLiteral("HH:mm:ss")
                           : span <= 86400     ? QStringLiteral("HH:mm")
                           : span <= 7 * 86400 ? QStringLiteral("MM-dd\nHH:mm")
                                               : QStringLiteral("yyyy-MM-dd");
    if (ticker->dateTimeFormat() != format)
        ticker->setDateTimeFormat(format);
}

void SeriesPlot::setXRange(double lower, double upper) {
    m_plot->xAxis->setRange(lower, upper);
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void SeriesPlot::setYRange(double lower, double upper) {
    m_plot->yAxis->setRange(lower, upper);
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

std::pair<double, double> SeriesPlot::xRange() const {
    return {m_plot->xAxis->range().lower, m_plot->xAxis->range().upper};
}

std::pair<double, double> SeriesPlot::yRange() const {
    return {m_plot->yAxis->range().lower, m_plot->yAxis->range().upper};
}

void SeriesPlot::setAxisCaptions(const QString& x, const QString& y) {
    m_plot->xAxis->setLabel(x);
    m_plot->yAxis->setLabel(y);
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

QString SeriesPlot::xCaption() const {
    return m_plot->xAxis->label();
}

void SeriesPlot::setMouseMode(MouseMode mode) {
    m_mode = mode;
    QCPAxisRect* rect = m_plot->axisRect();
    QCPAxis* x = m_plot->xAxis;
    QCPAxis* y = m_plot->yAxis;
    m_plot->setInteractions({});
    m_plot->setSelectionRectMode(QCP::srmNone);
    switch (mode) {
    case MouseMode::Normal:
    case MouseMode::Cursor:
        break; // the cursor drag is ours
    case MouseMode::PanXY:
    case MouseMode::PanX:
    case MouseMode::PanY:
        m_plot->setInteraction(QCP::iRangeDrag, true);
        rect->setRangeDrag(mode == MouseMode::PanXY  ? Qt::Horizontal | Qt::Vertical
                           : mode == MouseMode::PanX ? Qt::Horizontal
                                                     : Qt::Vertical);
        break;
    case MouseMode::ZoomXY:
    case MouseMode::ZoomX:
    case MouseMode::ZoomY:
        // The rectangle zooms the axes named here, whatever its own orientation.
        m_plot->setSelectionRectMode(QCP::srmZoom);
        rect->setRangeZoomAxes(mode == MouseMode::ZoomY ? nullptr : x,
                               mode == MouseMode::ZoomX ? nullptr : y);
        break;
    }
}

void SeriesPlot::setCursorVisible(bool visible) {
    m_cursorLine->setVisible(visible);
    m_cursorMark->setVisible(visible);
    m_cursorLayer->replot();
}

bool SeriesPlot::cursorVisible() const {
    return m_cursorLine->visible();
}

void SeriesPlot::moveCursor(double x) {
    if (m_count == 0)
        return;
    if (m_timeAxis) {
        // The reading nearest in time.
        const double ms = x * 1000.0;
        auto at = std::lower_bound(m_timesMs.cbegin(), m_timesMs.cend(), ms,
                                   [](qint64 t, double v) { return double(t) < v; });
        if (at == m_timesMs.cend() ||
            (at != m_timesMs.cbegin() && ms - double(*(at - 1)) < double(*at) - ms))
            --at;
        m_cursorX = double(*at) / 1000.0;
    } else {
        m_cursorX = std::clamp(std::round(x), 1.0, double(m_count));
    }
    m_cursorLine->point1->setCoords(m_cursorX, 0);
    m_cursorLine->point2->setCoords(m_cursorX, 1);
    m_cursorMark->setGraphKey(m_cursorX);
    m_cursorMark->updatePosition();
    m_cursorLayer->replot();
    emit cursorMoved(m_cursorX, m_cursorMark->position->value());
}

double SeriesPlot::redrawNow() {
    m_plot->replot(QCustomPlot::rpImmediateRefresh);
    return m_plot->replotTime();
}

QColor SeriesPlot::background() const {
    return m_background;
}

void SeriesPlot::setBackground(const QColor& colour) {
    m_background = colour;
    m_plot->setBackground(colour);
    m_plot->replot();
}

QString SeriesPlot::saveImage(const QString& path, int width, int height) {
    // Drawn into memory first, so the file is replaced only by a whole picture.
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)) {
        QPdfWriter pdf(&buffer);
        pdf.setCreator(QStringLiteral("Lumetra"));
        pdf.setResolution(96);
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        pdf.setPageSize(QPageSize(QSizeF(width, height) * 72.0 / 96.0, QPageSize::Point, QString(),
                                  QPageSize::ExactMatch));
        QCPPainter painter;
        if (!painter.begin(&pdf))
            return QStringLiteral("The PDF document could not be started.");
        painter.setMode(QCPPainter::pmVectorized);
        painter.setMode(QCPPainter::pmNoCaching);
        m_plot->toPainter(&painter, width, height);
        if (!painter.end())
            return QStringLiteral("The PDF document could not be finished.");
    } else if (!m_plot->toPixmap(width, height).save(&buffer, "PNG")) {
        return QStringLiteral("The picture could not be drawn.");
    }
    return saveWholeFile(path, buffer.data());
}

bool SeriesPlot::print(QPrinter& printer) {
    QCPPainter painter;
    if (!painter.begin(&printer))
        return false;
    // Text stays text and lines stay lines on the page.
    painter.setMode(QCPPainter::pmVectorized);
    painter.setMode(QCPPainter::pmNoCaching);
    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    const double scale = std::min(page.width() / m_plot->width(), page.height() / m_plot->height());
    painter.scale(scale, scale);
    m_plot->toPainter(&painter, m_plot->width(), m_plot->height());
    return painter.end();
}

bool SeriesPlot::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_plot && event->type() == QEvent::Paint)
        followPixelRatio(m_plot);
    if (watched == m_plot && m_mode == MouseMode::Cursor && cursorVisible()) {
        // Only a mouse event is one: the cast waits for the type to be known.
        const auto mouse = [event] { return static_cast<const QMouseEvent*>(event); };
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            if (mouse()->button() == Qt::LeftButton) {
                m_dragging = true;
                moveCursor(m_plot->xAxis->pixelToCoord(mouse()->position().x()));
                return true;
            }
            break;
        case QEvent::MouseMove:
            if (m_dragging) {
                moveCursor(m_plot->xAxis->pixelToCoord(mouse()->position().x()));
                return true;
            }
            break;
        case QEvent::MouseButtonRelease:
            if (m_dragging) {
                m_dragging = false;
                return true;
            }
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

LiveChart::LiveChart(QWidget* parent) : QWidget(parent) {
    m_plot = makePlot(this);
    m_graph = m_plot->addGraph();
    m_graph->setPen(QPen(QColor(0x1F, 0x5F, 0xA8), 1.5));
    m_plot->xAxis->setLabel(QStringLiteral("No.s"));
    m_plot->installEventFilter(this);
    m_plot->setCursor(Qt::PointingHandCursor);
    m_plot->setToolTip(tr("Click to open the whole series in the graph view"));
}

void LiveChart::setUnit(const QString& unit) {
    m_unit = unit;
    m_plot->yAxis->setLabel(unit);
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void LiveChart::append(qint64 number, float value, float lowest, float highest) {
    const double x = double(number);
    m_graph->addData(x, double(value));
    // Only the recent history is kept on the chart; the whole series is in the ring.
    m_graph->data()->removeBefore(x - kVisiblePoints + 1);
    m_plot->xAxis->setRange(std::max(1.0, x - kVisiblePoints + 1),
                            std::max(x, double(kVisiblePoints)));
    const double span = std::max(double(highest) - double(lowest), 1e-3);
    m_plot->yAxis->setRange(double(lowest) - span * 0.05, double(highest) + span * 0.05);
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

int LiveChart::shownPoints() const {
    return m_graph->dataCount();
}

bool LiveChart::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_plot && event->type() == QEvent::Paint)
        followPixelRatio(m_plot);
    if (watched == m_plot && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        emit clicked();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace lumetra
