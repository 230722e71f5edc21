#pragma once

#include "graph/heatmap.h"

#include <QWidget>

namespace lumetra {

// A heat map on screen: it draws the map and reports the cell clicked. The keys that walk
// a map belong to the window that owns it.
class HeatMapView : public QWidget {
    Q_OBJECT
public:
    explicit HeatMapView(QWidget* parent = nullptr);

    void setMap(heatmap::Map map);
    const heatmap::Map& map() const { return m_map; }
    // Draws now and says how long the drawing took (ms): for the benchmarks.
    double redrawNow();
    QSize sizeHint() const override { return {520, 400}; }
    QSize minimumSizeHint() const override { return {240, 180}; }

signals:
    void cellClicked(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QRectF drawingArea() const;

    heatmap::Map m_map;
};

} // namespace lumetra
