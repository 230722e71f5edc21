#pragma once

#include <QColor>
#include <QList>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <optional>

class QFontMetricsF;
class QPainter;

namespace lumetra::heatmap {

// A grid of values drawn as coloured cells, the value printed in each (so that it reads in
// black and white too), with a legend. Used for the survey's plan and the daily profile.
struct Cell {
    std::optional<double> value; // nothing: an empty cell, left white
    QString text;                // printed in the cell
    bool struckOut = false;      // hatched grey: left out (an obstructed point)
};

struct Map {
    int rows = 0, columns = 0;
    QList<Cell> cells; // row by row
    QStringList rowLabels, columnLabels;
    double low = 0, high = 0; // the legend's ends; values beyond take the end colours
    QString legendTitle;      // the unit
    int current = -1;         // a cell drawn with a heavy frame; -1: none
    double cellAspect = 0;    // a cell's width over its height; 0: the cells fill the area
};

// The colour for t in [0, 1]: viridis, told apart by people with any kind of colour blindness
// and in grey.
QColor colour(double t);
// Black or white, whichever reads better on `background`.
QColor inkOn(const QColor& background);

// The layout inside `area`: where each cell lies.
struct Layout {
    QRectF cells; // the whole grid
    double cellWidth = 0, cellHeight = 0;
    QRectF legend;
    QRectF cellRect(int row, int column) const {
        return {cells.left() + column * cellWidth, cells.top() + row * cellHeight, cellWidth,
                cellHeight};
    }
};
// The labels' font metrics are in the units of `area`.
Layout layout(const Map& map, const QRectF& area, const QFontMetricsF& labels);

// Draws the map into `area` with the painter's present font for the labels.
void paint(QPainter& painter, const QRectF& area, const Map& map);

} // namespace lumetra::heatmap
