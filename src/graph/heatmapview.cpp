#include "heatmapview.h"

#include "graph/paper.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>

namespace lumetra {

HeatMapView::HeatMapView(QWidget* parent) : QWidget(parent) {
    onPaper(this);
}

void HeatMapView::setMap(heatmap::Map map) {
    m_map = std::move(map);
    update();
}

QRectF HeatMapView::drawingArea() const {
    return QRectF(rect()).adjusted(6, 6, -6, -6);
}

void HeatMapView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, false);
    heatmap::paint(painter, drawingArea(), m_map);
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.drawRect(rect().adjusted(1, 1, -1, -1));
    }
}

void HeatMapView::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    const heatmap::Layout l = heatmap::layout(m_map, drawingArea(), QFontMetricsF(font(), this));
    const QPointF at = event->position();
    if (!l.cells.contains(at) || l.cellWidth <= 0 || l.cellHeight <= 0)
        return;
    const int column = std::min(m_map.columns - 1, int((at.x() - l.cells.left()) / l.cellWidth));
    const int row = std::min(m_map.rows - 1, int((at.y() - l.cells.top()) / l.cellHeight));
    emit cellClicked(row * m_map.columns + column);
}

double HeatMapView::redrawNow() {
    return timedDrawing(
        this, [this](QPainter& painter) { heatmap::paint(painter, drawingArea(), m_map); });
}

} // namespace lumetra
