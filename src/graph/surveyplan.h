#pragma once

#include "model/survey.h"

#include <QColor>
#include <QRectF>
#include <QTransform>

class QFontMetricsF;
class QPainter;

// The survey's plan drawn to scale: the room's outline, obstacles hatched, the areas outlined
// and named, every point as a cell of its area's heat map with its value printed, the room's
// sizes along two sides, a scale bar and the colour legend. For the window and the report.
namespace lumetra::surveyplan {

// What the heat map shows of each point: a pass's illuminance, the electric light alone
// (with lights less lights off), or the change since the earlier survey, in per cent on a
// diverging scale (red fell, blue rose).
enum class Shown { WithLights, LightsOff, Electric, Change };
struct Look {
    survey::Unit unit;
    int current = -1; // the point the walk is at, framed; -1: none
    Shown shown = Shown::WithLights;
};
// The value each point shows; nothing leaves its cell white.
QList<std::optional<double>> shownValues(const survey::Survey& s, Shown shown);
// The change's colour: the scale's ends at ±kChangeEnds per cent.
inline constexpr double kChangeEnds = 50;
QColor changeColour(double percent);

struct Layout {
    QTransform toDevice; // metres to the drawing's coordinates
    QRectF room;         // the room's bounding rectangle, in the drawing's coordinates
    QRectF legend;
    double scale = 0; // drawing units per metre
};
// Where the room lies inside `area`; the labels' font metrics are in the units of `area`.
Layout layout(const survey::Survey& s, const QRectF& area, const QFontMetricsF& labels);

// The cell of a point: its area's grid spacing around it (the room's own grid for -1).
QRectF cellOf(const survey::Survey& s, const survey::Point& p);

void paint(QPainter& painter, const QRectF& area, const survey::Survey& s, const Look& look);

// The point whose cell holds `metres`; -1 for none.
int pointAt(const survey::Survey& s, QPointF metres);
// A length in metres snapped to the plan's grid of 5 cm.
double snapped(double metres);
inline constexpr double kSnap = 0.05;

} // namespace lumetra::surveyplan
