#include "surveyareas.h"

#include <QPainterPathStroker>

#include <algorithm>
#include <cmath>

namespace lumetra::survey {

QPolygonF rectangle(const QRectF& r) {
    return QPolygonF{r.topLeft(), r.topRight(), r.bottomRight(), r.bottomLeft()};
}

bool isRectangleRoom(const Survey& s) {
    return s.outline.isEmpty();
}

QPolygonF roomOutline(const Survey& s) {
    return isRectangleRoom(s) ? rectangle(QRectF(0, 0, s.length, s.width)) : s.outline;
}

namespace {

QPainterPath pathOf(const QPolygonF& outline) {
    QPainterPath p;
    p.addPolygon(outline);
    p.closeSubpath();
    return p;
}

double cross(QPointF o, QPointF a, QPointF b) {
    return (a.x() - o.x()) * (b.y() - o.y()) - (a.y() - o.y()) * (b.x() - o.x());
}

bool onSegment(QPointF a, QPointF b, QPointF p) {
    return std::min(a.x(), b.x()) <= p.x() && p.x() <= std::max(a.x(), b.x()) &&
           std::min(a.y(), b.y()) <= p.y() && p.y() <= std::max(a.y(), b.y());
}

// Whether the segments ab and cd meet, touching included.
bool meet(QPointF a, QPointF b, QPointF c, QPointF d) {
    const double d1 = cross(c, d, a), d2 = cross(c, d, b), d3 = cross(a, b, c), d4 = cross(a, b, d);
    if (((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0)))
        return true;
    return (d1 == 0 && onSegment(c, d, a)) || (d2 == 0 && onSegment(c, d, b)) ||
           (d3 == 0 && onSegment(a, b, c)) || (d4 == 0 && onSegment(a, b, d));
}

QString edgeName(int i, int n) {
    return QStringLiteral("%1–%2").arg(i + 1).arg((i + 1) % n + 1);
}

} // namespace

QString outlineProblem(const QPolygonF& outline, const QString& what) {
    const int n = int(outline.size());
    if (n < 3)
        return QStringLiteral("%1 needs at least three corners.").arg(what);
    if (n > kMostCorners)
        return QStringLiteral("%1 has %2 corners; Lumetra takes at most %3.")
            .arg(what)
            .arg(n)
            .arg(kMostCorners);
    for (int i = 0; i < n; ++i) {
        const QPointF p = outline[i];
        if (!std::isfinite(p.x()) || !std::isfinite(p.y()) || std::abs(p.x()) > 1e5 ||
            std::abs(p.y()) > 1e5)
            return QStringLiteral("%1: corner %2 lies at no place in a room.").arg(what).arg(i + 1);
        if (p == outline[(i + 1) % n])
            return QStringLiteral("%1: corners %2 and %3 are the same.")
                .arg(what)
                .arg(i + 1)
                .arg((i + 1) % n + 1);
    }
    for (int i = 0; i < n; ++i) {
        const QPointF a = outline[i], b = outline[(i + 1) % n];
        // An edge that turns straight back along the one before covers it.
        const QPointF before = outline[(i + n - 1) % n];
        if (cross(before, a, b) == 0 &&
            (b.x() - a.x()) * (a.x() - before.x()) + (b.y() - a.y()) * (a.y() - before.y()) < 0)
            return QStringLiteral("%1 crosses itself: edges %2 and %3 cross.")
                .arg(what, edgeName((i + n - 1) % n, n), edgeName(i, n));
        for (int j = i + 2; j < n; ++j) {
            if (i == 0 && j == n - 1)
                continue; // neighbours share a corner
            if (meet(a, b, outline[j], outline[(j + 1) % n]))
                return QStringLiteral("%1 crosses itself: edges %2 and %3 cross.")
                    .arg(what, edgeName(i, n), edgeName(j, n));
        }
    }
    if (std::abs(pathOf(outline).boundingRect().width() *
                 pathOf(outline).boundingRect().height()) <= 0)
        return QStringLiteral("%1 encloses no area.").arg(what);
    return {};
}

bool inObstacle(const Survey& s, QPointF at) {
    // The box first: a hall of many columns is tested in a moment.
    return std::any_of(s.obstacles.begin(), s.obstacles.end(), [at](const QPolygonF& o) {
        return o.boundingRect().contains(at) && o.containsPoint(at, Qt::OddEvenFill);
    });
}

double areaOf(const QPainterPath& path) {
    double sum = 0;
    for (const QPolygonF& poly : path.toFillPolygons()) {
        double twice = 0;
        for (qsizetype i = 0; i < poly.size(); ++i) {
            const QPointF a = poly[i], b = poly[(i + 1) % poly.size()];
            twice += a.x() * b.y() - b.x() * a.y();
        }
        sum += std::abs(twice) / 2;
    }
    return sum;
}

QPainterPath roomRegion(const Survey& s) {
    QPainterPath room = pathOf(roomOutline(s));
    for (const QPolygonF& o : s.obstacles)
        room = room.subtracted(pathOf(o));
    return room;
}

QPainterPath inset(const QPolygonF& outline, double band) {
    const QPainterPath room = pathOf(outline);
    if (band <= 0)
        return room;
    QPainterPathStroker stroke;
    stroke.setWidth(2 * band);
    stroke.setJoinStyle(Qt::MiterJoin);
    stroke.setMiterLimit(8);
    return room.subtracted(stroke.createStroke(room)).simplified();
}

std::optional<QPainterPath> roomGridRegion(const Survey& s) {
    if (isRectangleRoom(s)) {
        if (!(s.length - 2 * s.band > 0 && s.width - 2 * s.band > 0))
            return std::nullopt;
        // Exact, so a rectangle's points lie where they always have.
        QPainterPath p;
        p.addRect(QRectF(s.band, s.band, s.length - 2 * s.band, s.width - 2 * s.band));
        return p;
    }
    const QPainterPath p = inset(s.outline, s.band);
    const QRectF b = p.boundingRect();
    if (p.isEmpty() || !(b.width() > 1e-6 && b.height() > 1e-6))
        return std::nullopt;
    return p;
}

namespace {

QRectF roomGridBounds(const Survey& s, const QPainterPath& region) {
    // A rectangle room's grid spans the band's rectangle even where obstacles take its edge.
    return isRectangleRoom(s) ? QRectF(s.band, s.band, s.length - 2 * s.band, s.width - 2 * s.band)
                              : region.boundingRect();
}

} // namespace

std::optional<Grid> roomGrid(const Survey& s) {
    const auto region = roomGridRegion(s);
    if (!region)
        return std::nullopt;
    const QRectF b = roomGridBounds(s, *region);
    return gridFor(b.width(), b.height(), 0);
}

double surroundingAverage(double taskAverage) {
    // Table 1: Ēm of the task area, and of the immediate surrounding area it asks for.
    static constexpr struct {
        double taskAtLeast, surrounding;
    } kSteps[] = {{750, 500}, {500, 300}, {300, 200}};
    for (const auto& step : kSteps) {
        if (taskAverage >= step.taskAtLeast)
            return step.surrounding;
    }
    // 200 lx or less: the task's own. Between the rows the lower row's value holds.
    return std::min(taskAverage, 200.0);
}

QString kindName(AreaKind kind) {
    switch (kind) {
    case AreaKind::Task:
        return QStringLiteral("task");
    case AreaKind::Surrounding:
        return QStringLiteral("surrounding");
    case AreaKind::Background:
        return QStringLiteral("background");
    }
    return {};
}

std::optional<AreaKind> kindOf(const QString& name) {
    for (AreaKind k : {AreaKind::Task, AreaKind::Surrounding, AreaKind::Background}) {
        if (kindName(k) == name)
            return k;
    }
    return std::nullopt;
}

QString areaPrefix(const Survey& s, int area) {
    if (area < 0 || area >= s.areas.size())
        return {};
    const AreaKind kind = s.areas[area].kind;
    if (kind == AreaKind::Background)
        return QStringLiteral("BG-");
    if (kind == AreaKind::Surrounding) // its task's number, which its name carries
        return QStringLiteral("S%1-").arg(s.areas[area].name.section(QLatin1Char(' '), -1));
    const auto same = std::count_if(s.areas.begin(), s.areas.begin() + area,
                                    [kind](const Area& a) { return a.kind == kind; });
    return QStringLiteral("T%1-").arg(same + 1);
}

int taskCount(const Survey& s) {
    return int(std::count_if(s.areas.begin(), s.areas.end(),
                             [](const Area& a) { return a.kind == AreaKind::Task; }));
}

QString taskProblem(const Survey& s, const QRectF& task, int except) {
    if (!(task.width() > 0 && task.height() > 0))
        return QStringLiteral("A task area needs a width and a depth above 0 m.");
    // By the area they share: a desk may stand against a wall, a column or another desk.
    const QPainterPath t = pathOf(rectangle(task));
    const double whole = task.width() * task.height(), hair = 1e-6 * std::max(1.0, whole);
    if (areaOf(pathOf(roomOutline(s)).intersected(t)) < whole - hair)
        return QStringLiteral("The task area lies partly outside the room.");
    for (int i = 0; i < s.obstacles.size(); ++i) {
        if (s.obstacles[i].boundingRect().intersects(task) &&
            areaOf(pathOf(s.obstacles[i]).intersected(t)) > hair)
            return QStringLiteral("The task area lies on obstacle %1.").arg(i + 1);
    }
    for (int i = 0; i < s.areas.size(); ++i) {
        const Area& a = s.areas[i];
        if (i != except && a.kind == AreaKind::Task && a.outline.boundingRect().intersects(task) &&
            areaOf(pathOf(a.outline).intersected(t)) > hair)
            return QStringLiteral("The task area overlaps Task %1.").arg(i + 1);
    }
    return {};
}

namespace {

void setGrid(Area& a) {
    a.bounds = a.region.boundingRect();
    const auto g = gridFor(a.bounds.width(), a.bounds.height(), 0);
    a.rows = g ? g->rows : 0;
    a.columns = g ? g->columns : 0;
}

bool hasArea(const QPainterPath& p) {
    const QRectF b = p.boundingRect();
    return !p.isEmpty() && b.width() > 1e-6 && b.height() > 1e-6;
}

} // namespace

void formAreas(Survey& s) {
    QList<Area> tasks;
    for (const Area& a : s.areas) {
        if (a.kind == AreaKind::Task)
            tasks << a;
    }
    // Obstacles stay in the regions: their points are left out one by one (inObstacle).
    const QPainterPath room = pathOf(roomOutline(s));
    QPainterPath taken;
    for (int i = 0; i < tasks.size(); ++i) {
        Area& t = tasks[i];
        t.name = QStringLiteral("Task %1").arg(i + 1);
        t.region = pathOf(t.outline).intersected(room).subtracted(taken);
        setGrid(t);
        taken = taken.united(t.region);
    }
    QList<Area> formed = tasks;
    const double sb = std::max(kLeastSurroundingBand, s.surroundingBand);
    const double bb = std::max(kLeastBackgroundBand, s.backgroundBand);
    QPainterPath reach;
    double surroundingNeed = 0;
    for (int i = 0; i < tasks.size(); ++i) {
        const QRectF box = tasks[i].outline.boundingRect();
        Area a;
        a.kind = AreaKind::Surrounding;
        a.name = QStringLiteral("Surrounding %1").arg(i + 1);
        a.region = pathOf(rectangle(box.adjusted(-sb, -sb, sb, sb)))
                       .intersected(room)
                       .subtracted(taken)
                       .simplified();
        const Requirement& need = tasks[i].requirement;
        a.requirement.name = QStringLiteral("Immediate surrounding of %1").arg(tasks[i].name);
        if (need.average) {
            a.requirement.average = surroundingAverage(*need.average);
            surroundingNeed = std::max(surroundingNeed, *a.requirement.average);
        }
        a.requirement.uniformity = kSurroundingUniformity;
        // A square band around a union is the union of the squares' bands.
        reach = reach.united(pathOf(rectangle(box.adjusted(-sb - bb, -sb - bb, sb + bb, sb + bb))));
        if (!hasArea(a.region))
            continue;
        a.outline = rectangle(a.region.boundingRect());
        setGrid(a);
        taken = taken.united(a.region);
        formed << a;
    }
    if (!tasks.isEmpty()) {
        Area b;
        b.kind = AreaKind::Background;
        b.name = QStringLiteral("Background");
        b.region = reach.intersected(room).subtracted(taken).simplified();
        // Against the most demanding surrounding area, where tasks differ.
        b.requirement.name = QStringLiteral("Background area");
        if (surroundingNeed > 0)
            b.requirement.average = surroundingNeed * kBackgroundShare;
        b.requirement.uniformity = kBackgroundUniformity;
        if (hasArea(b.region)) {
            b.outline = rectangle(b.region.boundingRect());
            setGrid(b);
            formed << b;
        }
    }
    s.areas = formed;
}

void layOut(Survey& s, int rows, int columns) {
    s.rows = rows;
    s.columns = columns;
    s.points.clear();
    const auto region = roomGridRegion(s);
    if (!region || rows < 1 || columns < 1)
        return;
    const QRectF b = roomGridBounds(s, *region);
    const double along = b.width() / columns, across = b.height() / rows;
    // A plain rectangle keeps every cell: nothing to test.
    const bool clipped = !isRectangleRoom(s) || !s.obstacles.isEmpty();
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            const QPointF at(b.left() + (c + 0.5) * along, b.top() + (r + 0.5) * across);
            if (!clipped || (region->contains(at) && !inObstacle(s, at)))
                s.points << Point{r, c, at.x(), at.y(), {}, false, {}};
        }
    }
}

void layOutAll(Survey& s) {
    if (s.areas.isEmpty()) {
        layOut(s, s.rows, s.columns);
        return;
    }
    s.points.clear();
    for (int i = 0; i < s.areas.size(); ++i) {
        const Area& a = s.areas[i];
        if (a.rows < 1 || a.columns < 1)
            continue;
        const double along = a.bounds.width() / a.columns, across = a.bounds.height() / a.rows;
        for (int r = 0; r < a.rows; ++r) {
            for (int c = 0; c < a.columns; ++c) {
                const QPointF at(a.bounds.left() + (c + 0.5) * along,
                                 a.bounds.top() + (r + 0.5) * across);
                if (a.region.contains(at) && !inObstacle(s, at))
                    s.points << Point{r, c, at.x(), at.y(), {}, false, {}, false, i};
            }
        }
    }
}

void addTask(Survey& s, const QRectF& task, const Requirement& requirement) {
    Area a;
    a.kind = AreaKind::Task;
    a.outline = rectangle(task);
    a.requirement = requirement;
    // After the tasks already placed, before the areas formed from them.
    const auto firstFormed = std::find_if(s.areas.begin(), s.areas.end(),
                                          [](const Area& x) { return x.kind != AreaKind::Task; });
    s.areas.insert(firstFormed - s.areas.begin(), a);
    formAreas(s);
    layOutAll(s);
}

void removeTask(Survey& s, int task) {
    if (task < 0 || task >= s.areas.size() || s.areas[task].kind != AreaKind::Task)
        return;
    s.areas.removeAt(task);
    formAreas(s);
    if (s.areas.isEmpty()) {
        if (const auto g = roomGrid(s)) {
            s.rows = g->rows;
            s.columns = g->columns;
        }
    }
    layOutAll(s);
}

qint64 gridPoints(const Survey& s) {
    if (s.areas.isEmpty())
        return qint64(std::max(0, s.rows)) * std::max(0, s.columns);
    qint64 n = 0;
    for (const Area& a : s.areas)
        n += qint64(a.rows) * a.columns;
    return n;
}

bool sameShape(const Survey& a, const Survey& b) {
    const auto sameNeed = [](const Requirement& x, const Requirement& y) {
        return x.name == y.name && x.average == y.average && x.uniformity == y.uniformity &&
               x.minimum == y.minimum && x.maxOverMin == y.maxOverMin;
    };
    if (a.length != b.length || a.width != b.width || a.band != b.band || a.outline != b.outline ||
        a.obstacles != b.obstacles || a.rows != b.rows || a.columns != b.columns ||
        a.surroundingBand != b.surroundingBand || a.backgroundBand != b.backgroundBand ||
        a.areas.size() != b.areas.size())
        return false;
    for (qsizetype i = 0; i < a.areas.size(); ++i) {
        if (a.areas[i].outline != b.areas[i].outline ||
            !sameNeed(a.areas[i].requirement, b.areas[i].requirement))
            return false;
    }
    return true;
}

int pointAt(const Survey& s, int area, int row, int column) {
    for (int i = 0; i < s.points.size(); ++i) {
        const Point& p = s.points[i];
        if (p.area == area && p.row == row && p.column == column)
            return i;
    }
    return -1;
}

} // namespace lumetra::survey
