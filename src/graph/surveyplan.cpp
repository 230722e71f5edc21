#include "surveyplan.h"

#include "graph/heatmap.h"
#include "model/numbers.h"
#include "model/surveyareas.h"
#include "model/surveyevidence.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace lumetra::surveyplan {

namespace {

// Where one grid's points lie and how its cells are spaced: an area's, or the room's own.
struct Group {
    QPainterPath region;
    QRectF bounds;
    int rows = 0, columns = 0;
    QSizeF cell() const {
        return {bounds.width() / std::max(1, columns), bounds.height() / std::max(1, rows)};
    }
};

Group roomGroup(const survey::Survey& s) {
    Group g;
    g.region = survey::roomGridRegion(s).value_or(QPainterPath());
    g.bounds = survey::isRectangleRoom(s)
                   ? QRectF(s.band, s.band, s.length - 2 * s.band, s.width - 2 * s.band)
                   : g.region.boundingRect();
    g.rows = s.rows;
    g.columns = s.columns;
    return g;
}

// Indexed by area + 1: the room's own grid first.
QList<Group> groups(const survey::Survey& s) {
    QList<Group> out{roomGroup(s)};
    for (const survey::Area& a : s.areas)
        out << Group{a.region, a.bounds, a.rows, a.columns};
    return out;
}

QRectF cellIn(const Group& g, const survey::Point& p) {
    const QSizeF c = g.cell();
    return {p.x - c.width() / 2, p.y - c.height() / 2, c.width(), c.height()};
}

QRectF roomBox(const survey::Survey& s) {
    return survey::roomOutline(s).boundingRect();
}

// 1, 2 or 5 times a power of ten, at most `most`.
double roundLength(double most) {
    if (!(most > 0))
        return 1;
    const double power = std::pow(10.0, std::floor(std::log10(most)));
    for (double m : {5.0, 2.0, 1.0}) {
        if (m * power <= most)
            return m * power;
    }
    return power;
}

QString metres(double v) {
    return QStringLiteral("%1 m").arg(v, 0, 'f', v < 10 ? 2 : 1);
}

} // namespace

Layout layout(const survey::Survey& s, const QRectF& area, const QFontMetricsF& labels) {
    Layout l;
    const double fh = labels.height();
    const QRectF box = roomBox(s);
    const QRectF room = area.adjusted(fh * 2.4, fh * 0.4, -fh * 6.5, -fh * 5);
    l.scale = std::max(1e-9, std::min(room.width() / std::max(1e-6, box.width()),
                                      room.height() / std::max(1e-6, box.height())));
    l.toDevice.translate(room.left(), room.top());
    l.toDevice.scale(l.scale, l.scale);
    l.toDevice.translate(-box.left(), -box.top());
    l.room = l.toDevice.mapRect(box);
    // Beside the room, not at the far side of a wide window.
    l.legend =
        QRectF(std::min(area.right() - fh * 5.5, l.room.right() + fh * 2), room.top() + fh * 1.5,
               fh * 1.2, std::min(room.height() - fh * 2, std::max(fh * 6, area.height() * 0.5)));
    return l;
}

QRectF cellOf(const survey::Survey& s, const survey::Point& p) {
    const bool own = p.area < 0 || p.area >= s.areas.size();
    return cellIn(own ? roomGroup(s) : groups(s)[p.area + 1], p);
}

namespace {

struct Scale {
    double high = 0;
    bool change = false;
    double fraction(double v) const { return high > 0 ? v / high : 0.5; }
    QColor colour(double v) const {
        return change ? changeColour(v) : heatmap::colour(fraction(v));
    }
};

void paintCells(QPainter& painter, const Layout& l, const survey::Survey& s, const Look& look,
                const Scale& scale, const QList<std::optional<double>>& values) {
    const QList<Group> all = groups(s);
    const QFont base = painter.font();
    for (int g = 0; g < all.size(); ++g) {
        const Group& group = all[g];
        painter.save();
        painter.setClipPath(l.toDevice.map(group.region));
        // One text size for the grid, as large as its cells allow.
        const QSizeF cell = group.cell() * l.scale;
        QFont font = base;
        const QFontMetricsF fm(base, painter.device());
        const double wide = fm.horizontalAdvance(QStringLiteral("8888*"));
        font.setPointSizeF(
            base.pointSizeF() *
            std::clamp(std::min(cell.width() * 0.9 / wide, cell.height() * 0.7 / fm.height()), 0.35,
                       1.6));
        painter.setFont(font);
        painter.setBrush(Qt::NoBrush); // the cell's frame only: its colour is filled first
        for (int i = 0; i < s.points.size(); ++i) {
            const survey::Point& p = s.points[i];
            if (p.area + 1 != g)
                continue;
            const QRectF r = l.toDevice.mapRect(cellIn(group, p));
            QColor fill = Qt::white;
            const auto& value = values[i];
            if (value && !p.obstructed)
                fill = scale.colour(scale.change ? *value : *value * look.unit.perLux);
            painter.fillRect(r, fill);
            if (p.obstructed)
                painter.fillRect(r, QBrush(Qt::gray, Qt::BDiagPattern));
            painter.setPen(QPen(QColor(0xC0, 0xC0, 0xC0), 0));
            painter.drawRect(r);
            painter.setPen(heatmap::inkOn(fill));
            const bool typed = look.shown == Shown::LightsOff ? p.typedOff
                               : look.shown == Shown::Electric
                                   ? p.typed || p.typedOff
                                   : look.shown == Shown::WithLights && p.typed;
            const QString text = p.obstructed   ? QStringLiteral("obstr.")
                                 : !value       ? QString()
                                 : scale.change ? survey::changeText(*value)
                                                : survey::illuminance(*value, look.unit) +
                                                      (typed ? QStringLiteral("*") : QString());
            painter.drawText(r, Qt::AlignCenter, text);
        }
        painter.restore();
    }
    if (look.current >= 0 && look.current < s.points.size()) {
        const survey::Point& p = s.points[look.current];
        const QRectF r =
            l.toDevice.mapRect(cellIn(all[std::clamp(p.area + 1, 0, int(all.size()) - 1)], p));
        const double w = std::max(2.0, QFontMetricsF(base, painter.device()).height() / 6);
        painter.setPen(QPen(Qt::white, w * 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(r);
        painter.setPen(QPen(Qt::black, w));
        painter.drawRect(r);
    }
}

void paintShapes(QPainter& painter, const Layout& l, const survey::Survey& s, double line) {
    painter.setBrush(Qt::NoBrush);
    for (const survey::Area& a : s.areas) {
        painter.setPen(QPen(a.kind == survey::AreaKind::Task ? QColor(0xB0, 0x20, 0x20)
                                                             : QColor(0x30, 0x30, 0x30),
                            line * (a.kind == survey::AreaKind::Task ? 2 : 1.2),
                            a.kind == survey::AreaKind::Background ? Qt::DotLine : Qt::DashLine));
        painter.drawPath(l.toDevice.map(a.region));
    }
    for (const QPolygonF& o : s.obstacles) {
        const QPolygonF on = l.toDevice.map(o);
        painter.setPen(QPen(Qt::black, line));
        painter.setBrush(QColor(0xE0, 0xE0, 0xE0));
        painter.drawPolygon(on);
        painter.setBrush(QBrush(Qt::black, Qt::DiagCrossPattern));
        painter.drawPolygon(on);
    }
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::black, line * 2.5, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.drawPolygon(l.toDevice.map(survey::roomOutline(s)));
    // The names, on a white ground so that they read over the cells.
    const QFontMetricsF fm(painter.font(), painter.device());
    for (const survey::Area& a : s.areas) {
        const QRectF b = l.toDevice.mapRect(a.region.boundingRect());
        const QRectF label(b.left() + line * 2, b.top() + line * 2,
                           fm.horizontalAdvance(a.name) + fm.height() * 0.4, fm.height());
        painter.fillRect(label, QColor(255, 255, 255, 220));
        painter.setPen(Qt::black);
        painter.drawText(label, Qt::AlignCenter, a.name);
    }
}

void paintMeasures(QPainter& painter, const Layout& l, const survey::Survey& s, double line) {
    const QFontMetricsF fm(painter.font(), painter.device());
    const double fh = fm.height();
    const QRectF box = roomBox(s);
    const QRectF r = l.room;
    painter.setPen(QPen(Qt::black, line));
    // The length along the bottom, the width along the left side.
    const double y = r.bottom() + fh * 0.8;
    painter.drawLine(QPointF(r.left(), y), QPointF(r.right(), y));
    for (double x : {r.left(), r.right()})
        painter.drawLine(QPointF(x, y - fh * 0.3), QPointF(x, y + fh * 0.3));
    painter.drawText(QRectF(r.left(), y + fh * 0.1, r.width(), fh), Qt::AlignCenter,
                     metres(box.width()));
    const double x = r.left() - fh * 0.8;
    painter.drawLine(QPointF(x, r.top()), QPointF(x, r.bottom()));
    for (double yy : {r.top(), r.bottom()})
        painter.drawLine(QPointF(x - fh * 0.3, yy), QPointF(x + fh * 0.3, yy));
    painter.save();
    painter.translate(x - fh * 0.1, r.center().y());
    painter.rotate(-90);
    painter.drawText(QRectF(-r.height() / 2, -fh, r.height(), fh), Qt::AlignCenter,
                     metres(box.height()));
    painter.restore();
    // A scale bar of a round length, about a quarter of the room.
    const double length = roundLength(box.width() / 3);
    const double bar = length * l.scale, top = r.bottom() + fh * 2.6;
    painter.fillRect(QRectF(r.left(), top, bar / 2, fh * 0.35), Qt::black);
    painter.drawRect(QRectF(r.left(), top, bar, fh * 0.35));
    painter.drawText(QRectF(r.left() - fh, top + fh * 0.4, fh * 2, fh), Qt::AlignCenter,
                     QStringLiteral("0"));
    painter.drawText(QRectF(r.left() + bar - fh * 3, top + fh * 0.4, fh * 6, fh), Qt::AlignCenter,
                     QString::number(length, 'g', 4) + QStringLiteral(" m"));
}

void paintLegend(QPainter& painter, const Layout& l, const Look& look, const Scale& scale) {
    if (!(scale.high > 0))
        return;
    const QFontMetricsF fm(painter.font(), painter.device());
    QLinearGradient g(l.legend.bottomLeft(), l.legend.topLeft());
    for (int i = 0; i <= 10; ++i)
        g.setColorAt(i / 10.0, scale.change ? changeColour((i / 5.0 - 1) * kChangeEnds)
                                            : heatmap::colour(i / 10.0));
    painter.fillRect(l.legend, g);
    painter.setPen(Qt::black);
    painter.drawRect(l.legend);
    const double x = l.legend.right() + fm.height() * 0.3;
    painter.drawText(
        QRectF(l.legend.left(), l.legend.top() - fm.height() * 1.4, fm.height() * 5, fm.height()),
        Qt::AlignLeft | Qt::AlignVCenter, scale.change ? QStringLiteral("change") : look.unit.name);
    painter.drawText(QRectF(x, l.legend.top() - fm.height() / 2, fm.height() * 4, fm.height()),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     scale.change ? survey::changeText(kChangeEnds)
                                  : QString::number(scale.high, 'g', 6));
    painter.drawText(QRectF(x, l.legend.bottom() - fm.height() / 2, fm.height() * 4, fm.height()),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     scale.change ? survey::changeText(-kChangeEnds) : QStringLiteral("0"));
    if (scale.change)
        painter.drawText(
            QRectF(x, l.legend.center().y() - fm.height() / 2, fm.height() * 4, fm.height()),
            Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("0 %"));
}

} // namespace

void paint(QPainter& painter, const QRectF& area, const survey::Survey& s, const Look& look) {
    painter.save();
    const QFontMetricsF fm(painter.font(), painter.device());
    const Layout l = layout(s, area, fm);
    const double line = std::max(1.0, fm.height() / 14);
    // The colours run from 0: a difference looks as large as it is.
    Scale scale;
    scale.change = look.shown == Shown::Change;
    const QList<std::optional<double>> values = shownValues(s, look.shown);
    for (int i = 0; i < s.points.size() && !scale.change; ++i) {
        if (const auto& v = values[i]; v && !s.points[i].obstructed)
            scale.high = std::max(scale.high, *v * look.unit.perLux);
    }
    scale.high = scale.change ? kChangeEnds : roundUp(scale.high);
    painter.setBrush(Qt::white);
    painter.setPen(Qt::NoPen);
    painter.drawPolygon(l.toDevice.map(survey::roomOutline(s)));
    paintCells(painter, l, s, look, scale, values);
    paintShapes(painter, l, s, line);
    paintMeasures(painter, l, s, line);
    paintLegend(painter, l, look, scale);
    painter.restore();
}

QList<std::optional<double>> shownValues(const survey::Survey& s, Shown shown) {
    if (shown == Shown::Change)
        return survey::changes(s);
    const survey::Light light = shown == Shown::LightsOff  ? survey::Light::LightsOff
                                : shown == Shown::Electric ? survey::Light::Electric
                                                           : survey::Light::WithLights;
    QList<std::optional<double>> out;
    out.reserve(s.points.size());
    for (const survey::Point& p : s.points)
        out << survey::valueOf(p, light);
    return out;
}

QColor changeColour(double percent) {
    // Red where the light fell, blue where it rose, white for no change: a scale that reads
    // with the common kinds of colour blindness.
    const double t = std::clamp(percent / kChangeEnds, -1.0, 1.0);
    const QColor end = t < 0 ? QColor(0xB2, 0x18, 0x2B) : QColor(0x21, 0x66, 0xAC);
    const double a = std::abs(t);
    return QColor::fromRgbF(float(1 - a + a * end.redF()), float(1 - a + a * end.greenF()),
                            float(1 - a + a * end.blueF()));
}

int pointAt(const survey::Survey& s, QPointF metres) {
    const QList<Group> all = groups(s);
    for (int i = 0; i < s.points.size(); ++i) {
        const survey::Point& p = s.points[i];
        const Group& g = all[std::clamp(p.area + 1, 0, int(all.size()) - 1)];
        if (cellIn(g, p).contains(metres) && g.region.contains(metres))
            return i;
    }
    return -1;
}

double snapped(double metres) {
    return std::round(metres / kSnap) * kSnap;
}

} // namespace lumetra::surveyplan
