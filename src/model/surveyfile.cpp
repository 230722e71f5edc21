#include "model/recordfile.h"
#include "model/samplerow.h"
#include "model/survey.h"
#include "model/surveyareas.h"
#include "model/surveyevidence.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <array>
#include <cmath>

// The survey file and the points' CSV.
namespace lumetra::survey {

namespace {

QJsonValue orNull(const std::optional<double>& v) {
    return v ? QJsonValue(*v) : QJsonValue();
}

std::optional<double> numberOrNothing(const QJsonValue& v) {
    return v.isDouble() ? std::optional(v.toDouble()) : std::nullopt;
}

QJsonValue timeOrNull(const QDateTime& t) {
    return t.isValid() ? QJsonValue(samples::isoTime(t, false)) : QJsonValue();
}

QJsonArray cornersJson(const QPolygonF& outline) {
    QJsonArray a;
    for (const QPointF& p : outline)
        a.append(QJsonArray{p.x(), p.y()});
    return a;
}

// Nothing for corners that are no pairs of numbers.
std::optional<QPolygonF> cornersOf(const QJsonValue& v) {
    if (!v.isArray())
        return std::nullopt;
    QPolygonF out;
    for (const QJsonValue& c : v.toArray()) {
        const QJsonArray xy = c.toArray();
        if (xy.size() != 2 || !xy[0].isDouble() || !xy[1].isDouble())
            return std::nullopt;
        out << QPointF(xy[0].toDouble(), xy[1].toDouble());
    }
    return out;
}

} // namespace

QByteArray pointsCsv(const Survey& s) {
    QByteArray out = "point,row,column,x_m,y_m,lux,obstructed,taken,typed,area,lux_off,taken_off\n";
    for (const Point& p : s.points) {
        out +=
            pointName(s, p).toUtf8() + ',' + QByteArray::number(p.row + 1) + ',' +
            QByteArray::number(p.column + 1) + ',' + QByteArray::number(p.x, 'f', 3) + ',' +
            QByteArray::number(p.y, 'f', 3) + ',' +
            (p.lux ? QByteArray::number(*p.lux, 'f', 2) : QByteArray()) + ',' +
            (p.obstructed ? "true" : "false") + ',' +
            (p.taken.isValid() ? samples::isoTime(p.taken, false).toUtf8() : QByteArray()) + ',' +
            (p.typed ? "true" : "false") + ',' +
            (p.area >= 0 && p.area < s.areas.size() ? s.areas[p.area].name.toUtf8()
                                                    : QByteArray()) +
            ',' + (p.luxOff ? QByteArray::number(*p.luxOff, 'f', 2) : QByteArray()) + ',' +
            (p.takenOff.isValid() ? samples::isoTime(p.takenOff, false).toUtf8() : QByteArray()) +
            '\n';
    }
    return out;
}

namespace {

QJsonObject requirementObject(const Requirement& r) {
    return {{QStringLiteral("name"), r.name},
            {QStringLiteral("average_lx"), orNull(r.average)},
            {QStringLiteral("uniformity"), orNull(r.uniformity)},
            {QStringLiteral("minimum_lx"), orNull(r.minimum)},
            {QStringLiteral("max_ratio"), orNull(r.maxOverMin)}};
}

Requirement requirementOf(const QJsonObject& r) {
    return {r.value(QStringLiteral("name")).toString(),
            numberOrNothing(r.value(QStringLiteral("average_lx"))),
            numberOrNothing(r.value(QStringLiteral("uniformity"))),
            numberOrNothing(r.value(QStringLiteral("minimum_lx"))),
            numberOrNothing(r.value(QStringLiteral("max_ratio")))};
}

} // namespace

QByteArray requirementsJson(const QList<Requirement>& list) {
    QJsonArray a;
    for (const Requirement& r : list)
        a.append(requirementObject(r));
    return QJsonDocument(a).toJson(QJsonDocument::Compact);
}

QList<Requirement> requirementsFromJson(const QByteArray& bytes) {
    QList<Requirement> out;
    for (const QJsonValue& v : QJsonDocument::fromJson(bytes).array()) {
        if (v.isObject() && !v.toObject().value(QStringLiteral("name")).toString().isEmpty())
            out << requirementOf(v.toObject());
    }
    return out;
}

namespace {

// The stability check, the installation, the instrument and the earlier survey compared.
void writeEvidence(const Survey& s, QJsonObject& root) {
    QJsonArray readings;
    for (const StabilityReading& r : s.stability)
        readings.append(
            QJsonObject{{QStringLiteral("at"), timeOrNull(r.at)}, {QStringLiteral("lux"), r.lux}});
    root.insert(QStringLiteral("stability"),
                QJsonObject{{QStringLiteral("readings"), readings},
                            {QStringLiteral("verdict"), stabilityVerdict(s.stability)}});
    root.insert(
        QStringLiteral("installation"),
        QJsonObject{{QStringLiteral("new"), s.installation.isNew},
                    {QStringLiteral("maintenance_factor"), s.installation.maintenanceFactor}});
    const Instrument& i = s.instrument;
    root.insert(QStringLiteral("instrument"),
                QJsonObject{{QStringLiteral("model"), i.model},
                            {QStringLiteral("serial"), i.serial},
                            {QStringLiteral("class"), i.accuracyClass},
                            {QStringLiteral("calibrated"),
                             i.calibrated.isValid() ? QJsonValue(i.calibrated.toString(Qt::ISODate))
                                                    : QJsonValue()}});
    if (!s.baseline) {
        root.insert(QStringLiteral("baseline"), QJsonValue());
        return;
    }
    const Baseline& b = *s.baseline;
    QJsonArray points;
    for (const BaselinePoint& p : b.points)
        points.append(QJsonObject{{QStringLiteral("name"), p.name},
                                  {QStringLiteral("x_m"), p.x},
                                  {QStringLiteral("y_m"), p.y},
                                  {QStringLiteral("lux"), p.lux}});
    root.insert(
        QStringLiteral("baseline"),
        QJsonObject{{QStringLiteral("file"), b.file},
                    {QStringLiteral("date"),
                     b.date.isValid() ? QJsonValue(b.date.toString(Qt::ISODate)) : QJsonValue()},
                    {QStringLiteral("average_lx"), b.average},
                    {QStringLiteral("u0"), b.u0},
                    {QStringLiteral("electric"), b.electric},
                    {QStringLiteral("points"), points}});
}

bool finiteAtLeastZero(const QJsonValue& v) {
    return v.isDouble() && std::isfinite(v.toDouble()) && v.toDouble() >= 0;
}

// A date or nothing; false for text that is no date.
bool readDate(const QJsonValue& v, QDate& date) {
    if (v.isNull() || v.isUndefined() || (v.isString() && v.toString().isEmpty()))
        return true;
    if (!v.isString())
        return false;
    date = QDate::fromString(v.toString(), Qt::ISODate);
    return date.isValid();
}

bool readBaseline(const QJsonValue& v, Survey& s) {
    if (v.isNull() || v.isUndefined())
        return true;
    const QJsonObject o = v.toObject();
    Baseline b;
    b.file = o.value(QStringLiteral("file")).toString().left(kMostNameChars);
    const QJsonArray points = o.value(QStringLiteral("points")).toArray();
    if (!v.isObject() || !readDate(o.value(QStringLiteral("date")), b.date) ||
        !finiteAtLeastZero(o.value(QStringLiteral("average_lx"))) ||
        !finiteAtLeastZero(o.value(QStringLiteral("u0"))) || points.size() > kMostPoints)
        return false;
    const QJsonValue electric = o.value(QStringLiteral("electric"));
    if (!electric.isUndefined() && !electric.isBool())
        return false;
    b.electric = electric.toBool();
    b.average = o.value(QStringLiteral("average_lx")).toDouble();
    b.u0 = o.value(QStringLiteral("u0")).toDouble();
    for (const QJsonValue& pv : points) {
        const QJsonObject p = pv.toObject();
        const QJsonValue x = p.value(QStringLiteral("x_m")), y = p.value(QStringLiteral("y_m"));
        if (!x.isDouble() || !y.isDouble() || !std::isfinite(x.toDouble()) ||
            !std::isfinite(y.toDouble()) || !finiteAtLeastZero(p.value(QStringLiteral("lux"))))
            return false;
        b.points << BaselinePoint{p.value(QStringLiteral("name")).toString().left(64), x.toDouble(),
                                  y.toDouble(), p.value(QStringLiteral("lux")).toDouble()};
    }
    sortByName(b.points);
    s.baseline = b;
    return true;
}

// Version 3's evidence; older files have none and read as an installation in service, never
// checked for stability, by an instrument not stated.
bool readEvidence(const QJsonObject& root, int version, Survey& s, QString& error) {
    if (version < 3)
        return true;
    const auto damaged = [&](const QString& what) {
        error = QStringLiteral("The survey file is damaged: its %1 makes no sense.").arg(what);
        return false;
    };
    const QJsonValue stability = root.value(QStringLiteral("stability"));
    const QJsonValue list = stability.toObject().value(QStringLiteral("readings"));
    const QJsonArray readings = list.toArray();
    if ((!stability.isUndefined() && !stability.isObject()) ||
        (!list.isUndefined() && !list.isArray()) || readings.size() > kMostStabilityChecks)
        return damaged(QStringLiteral("stability check"));
    for (const QJsonValue& v : readings) {
        const QJsonObject r = v.toObject();
        const QDateTime at =
            QDateTime::fromString(r.value(QStringLiteral("at")).toString(), Qt::ISODate);
        if (!at.isValid() || !finiteAtLeastZero(r.value(QStringLiteral("lux"))))
            return damaged(QStringLiteral("stability check"));
        s.stability << StabilityReading{at, r.value(QStringLiteral("lux")).toDouble()};
    }
    const QJsonObject installation = root.value(QStringLiteral("installation")).toObject();
    const QJsonValue isNew = installation.value(QStringLiteral("new"));
    const QJsonValue mf = installation.value(QStringLiteral("maintenance_factor"));
    // A value of the wrong kind is no default: a new installation judged as in service is a
    // wrong verdict.
    if ((!isNew.isUndefined() && !isNew.isBool()) || (!mf.isUndefined() && !mf.isDouble()))
        return damaged(QStringLiteral("installation"));
    s.installation.isNew = isNew.toBool();
    s.installation.maintenanceFactor = mf.toDouble(0.80);
    if (!(s.installation.maintenanceFactor >= kLeastMaintenanceFactor - 1e-9 &&
          s.installation.maintenanceFactor <= kMostMaintenanceFactor + 1e-9))
        return damaged(QStringLiteral("maintenance factor"));
    const QJsonObject instrument = root.value(QStringLiteral("instrument")).toObject();
    Instrument& i = s.instrument;
    i.model = instrument.value(QStringLiteral("model")).toString().left(kMostNameChars);
    i.serial = instrument.value(QStringLiteral("serial")).toString().left(kMostNameChars);
    i.accuracyClass = instrument.value(QStringLiteral("class")).toString();
    if ((!i.accuracyClass.isEmpty() && !classError(i.accuracyClass)) ||
        !readDate(instrument.value(QStringLiteral("calibrated")), i.calibrated))
        return damaged(QStringLiteral("instrument"));
    if (!readBaseline(root.value(QStringLiteral("baseline")), s))
        return damaged(QStringLiteral("earlier survey compared"));
    return true;
}

} // namespace

QByteArray toJson(const Survey& s) {
    QJsonObject area{{QStringLiteral("name"), s.name},
                     {QStringLiteral("length_m"), s.length},
                     {QStringLiteral("width_m"), s.width},
                     {QStringLiteral("band_m"), s.band},
                     {QStringLiteral("height_m"), s.height},
                     {QStringLiteral("surrounding_band_m"), s.surroundingBand},
                     {QStringLiteral("background_band_m"), s.backgroundBand}};
    const QJsonObject requirement = requirementObject(s.requirement);
    QJsonArray points;
    for (const Point& p : s.points) {
        points.append(QJsonObject{
            {QStringLiteral("row"), p.row},
            {QStringLiteral("column"), p.column},
            {QStringLiteral("x_m"), p.x},
            {QStringLiteral("y_m"), p.y},
            {QStringLiteral("lux"), orNull(p.lux)},
            {QStringLiteral("obstructed"), p.obstructed},
            {QStringLiteral("taken"),
             p.taken.isValid() ? QJsonValue(samples::isoTime(p.taken, false)) : QJsonValue()},
            {QStringLiteral("typed"), p.typed},
            {QStringLiteral("area"),
             p.area >= 0 && p.area < s.areas.size() ? s.areas[p.area].name : QString()},
            {QStringLiteral("lux_off"), orNull(p.luxOff)},
            {QStringLiteral("taken_off"), timeOrNull(p.takenOff)},
            {QStringLiteral("typed_off"), p.typedOff}});
    }
    QJsonArray obstacles;
    for (const QPolygonF& o : s.obstacles)
        obstacles.append(cornersJson(o));
    QJsonArray areas;
    for (const Area& a : s.areas)
        areas.append(QJsonObject{
            {QStringLiteral("name"), a.name},
            {QStringLiteral("kind"), kindName(a.kind)},
            {QStringLiteral("outline"), cornersJson(a.outline)},
            {QStringLiteral("requirement"), requirementObject(a.requirement)},
            {QStringLiteral("grid"), QJsonObject{{QStringLiteral("rows"), a.rows},
                                                 {QStringLiteral("columns"), a.columns}}}});
    QJsonObject root{{QStringLiteral("format"), QStringLiteral("lumetra-survey")},
                     {QStringLiteral("version"), kFileVersion},
                     {QStringLiteral("area"), area},
                     {QStringLiteral("requirement"), requirement},
                     {QStringLiteral("grid"), QJsonObject{{QStringLiteral("rows"), s.rows},
                                                          {QStringLiteral("columns"), s.columns}}},
                     {QStringLiteral("outline"), cornersJson(roomOutline(s))},
                     {QStringLiteral("obstacles"), obstacles},
                     {QStringLiteral("areas"), areas},
                     {QStringLiteral("points"), points},
                     {QStringLiteral("notes"), s.notes}};
    writeEvidence(s, root);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

namespace {

bool criteriaMakeSense(const Requirement& r) {
    const std::array<std::optional<double>, 4> criteria{r.average, r.uniformity, r.minimum,
                                                        r.maxOverMin};
    return std::all_of(criteria.begin(), criteria.end(),
                       [](const std::optional<double>& c) { return !c || *c > 0; });
}

// The room, its requirement and its own grid, as version 1 had them.
bool readArea(const QJsonObject& root, int version, Survey& s, QString& error) {
    const QJsonObject area = root.value(QStringLiteral("area")).toObject();
    s.name = area.value(QStringLiteral("name")).toString();
    s.length = area.value(QStringLiteral("length_m")).toDouble();
    s.width = area.value(QStringLiteral("width_m")).toDouble();
    s.band = area.value(QStringLiteral("band_m")).toDouble();
    s.height = area.value(QStringLiteral("height_m")).toDouble();
    s.surroundingBand = area.value(QStringLiteral("surrounding_band_m")).toDouble(0.5);
    s.backgroundBand = area.value(QStringLiteral("background_band_m")).toDouble(3);
    s.requirement = requirementOf(root.value(QStringLiteral("requirement")).toObject());
    const QJsonObject grid = root.value(QStringLiteral("grid")).toObject();
    s.rows = grid.value(QStringLiteral("rows")).toInt();
    s.columns = grid.value(QStringLiteral("columns")).toInt();
    if (s.rows >= 1 && s.columns >= 1 && qint64(s.rows) * s.columns > kMostPoints) {
        error = QStringLiteral("The survey's grid has %1 points; Lumetra takes at most %2.")
                    .arg(qint64(s.rows) * s.columns)
                    .arg(kMostPoints);
        return false;
    }
    // A room with task areas has their grids, not one of its own.
    const bool ownGrid = version < 2 || root.value(QStringLiteral("areas")).toArray().isEmpty();
    if (version < 1 || (ownGrid && (s.rows < 1 || s.columns < 1)) || s.rows < 0 || s.columns < 0 ||
        !(s.length > 0 && s.length < 1e5) || !(s.width > 0 && s.width < 1e5) ||
        !(s.band >= 0 && s.band < 1e5) || !(s.height >= 0 && s.height < 1e3) ||
        !criteriaMakeSense(s.requirement) ||
        !(s.surroundingBand >= kLeastSurroundingBand && s.surroundingBand < 1e3) ||
        !(s.backgroundBand >= kLeastBackgroundBand && s.backgroundBand < 1e3)) {
        error = QStringLiteral("The survey file is damaged: its area or grid makes no sense.");
        return false;
    }
    return true;
}

// The outline, the obstacles and the task areas (the areas around them are formed again);
// version 1 had none: a rectangle room.
bool readGeometry(const QJsonObject& root, int version, Survey& s, QString& error) {
    const auto damaged = [&](const QString& why) {
        error = QStringLiteral("The survey file is damaged: %1").arg(why);
        return false;
    };
    if (version >= 2) {
        const auto outline = cornersOf(root.value(QStringLiteral("outline")));
        if (!outline)
            return damaged(QStringLiteral("its outline is no list of corners."));
        if (const QString why = outlineProblem(*outline, QStringLiteral("The outline"));
            !why.isEmpty())
            return damaged(why);
        const QRectF box = outline->boundingRect();
        // A rectangle from the corner is the plain room every version knows.
        if (*outline != rectangle(QRectF(0, 0, s.length, s.width))) {
            s.outline = *outline;
            s.length = box.width();
            s.width = box.height();
        }
        QPainterPath room;
        room.addPolygon(roomOutline(s));
        const QJsonArray obstacles = root.value(QStringLiteral("obstacles")).toArray();
        const QJsonArray areas = root.value(QStringLiteral("areas")).toArray();
        const auto tasks = std::count_if(areas.begin(), areas.end(), [](const QJsonValue& v) {
            return v.toObject().value(QStringLiteral("kind")).toString() == QLatin1String("task");
        });
        if (obstacles.size() > kMostObstacles || tasks > kMostTasks ||
            areas.size() > 3 * kMostTasks + 1)
            return damaged(QStringLiteral("it holds more obstacles or areas than Lumetra takes "
                                          "(at most %1 and %2 task areas).")
                               .arg(kMostObstacles)
                               .arg(kMostTasks));
        for (const QJsonValue& v : obstacles) {
            const QString what = QStringLiteral("Obstacle %1").arg(s.obstacles.size() + 1);
            const auto o = cornersOf(v);
            if (!o)
                return damaged(QStringLiteral("%1 is no list of corners.").arg(what));
            if (const QString why = outlineProblem(*o, what); !why.isEmpty())
                return damaged(why);
            QPainterPath op;
            op.addPolygon(*o);
            if (!room.contains(op.boundingRect().center()) && !room.intersects(op))
                return damaged(QStringLiteral("%1 lies outside the room.").arg(what));
            s.obstacles << *o;
        }
        for (const QJsonValue& v : areas) {
            const QJsonObject o = v.toObject();
            const auto kind = kindOf(o.value(QStringLiteral("kind")).toString());
            const QString name = o.value(QStringLiteral("name")).toString();
            if (!kind)
                return damaged(QStringLiteral("area %1 is of no kind Lumetra knows.").arg(name));
            if (*kind != AreaKind::Task)
                continue; // formed again from the tasks
            const auto corners = cornersOf(o.value(QStringLiteral("outline")));
            Area a;
            a.requirement = requirementOf(o.value(QStringLiteral("requirement")).toObject());
            if (!corners || !outlineProblem(*corners, name).isEmpty() ||
                !criteriaMakeSense(a.requirement))
                return damaged(QStringLiteral("area %1 has no outline or requirement that makes "
                                              "sense.")
                                   .arg(name));
            a.outline = rectangle(corners->boundingRect());
            if (const QString why = taskProblem(s, corners->boundingRect()); !why.isEmpty())
                return damaged(QStringLiteral("%1 (%2)").arg(why, name));
            s.areas << a;
        }
        formAreas(s);
        if (const qint64 n = gridPoints(s); n > kMostPoints) {
            error = QStringLiteral("The survey's grid has %1 points; Lumetra takes at most %2.")
                        .arg(n)
                        .arg(kMostPoints);
            return false;
        }
    }
    // Without task areas the room's own grid is needed, whatever the file's areas said.
    if (s.areas.isEmpty() && (s.rows < 1 || s.columns < 1 || !roomGridRegion(s)))
        return damaged(QStringLiteral("its area or grid makes no sense."));
    return true;
}

// Every cell of every grid gets its point, in order; one the file leaves out is empty.
bool readPoints(const QJsonObject& root, int version, Survey& s, QString& error) {
    layOutAll(s);
    const auto key = [](int area, int row, int column) {
        return (qint64(area + 2) << 42) | (qint64(row) << 21) | qint64(column);
    };
    QHash<qint64, int> at;
    for (int i = 0; i < s.points.size(); ++i)
        at.insert(key(s.points[i].area, s.points[i].row, s.points[i].column), i);
    QHash<QString, int> areaOf;
    for (int i = 0; i < s.areas.size(); ++i)
        areaOf.insert(s.areas[i].name, i);
    QList<bool> seen(s.points.size(), false);
    // Worked out once: a point is checked against it in a moment.
    const QPainterPath ownGrid =
        isRectangleRoom(s) ? QPainterPath() : roomGridRegion(s).value_or(QPainterPath());
    for (const QJsonValue& v : root.value(QStringLiteral("points")).toArray()) {
        const QJsonObject o = v.toObject();
        Point p{o.value(QStringLiteral("row")).toInt(-1),
                o.value(QStringLiteral("column")).toInt(-1),
                o.value(QStringLiteral("x_m")).toDouble(),
                o.value(QStringLiteral("y_m")).toDouble(),
                numberOrNothing(o.value(QStringLiteral("lux"))),
                o.value(QStringLiteral("obstructed")).toBool(),
                QDateTime::fromString(o.value(QStringLiteral("taken")).toString(), Qt::ISODate),
                o.value(QStringLiteral("typed")).toBool()};
        p.luxOff = numberOrNothing(o.value(QStringLiteral("lux_off")));
        p.takenOff =
            QDateTime::fromString(o.value(QStringLiteral("taken_off")).toString(), Qt::ISODate);
        p.typedOff = o.value(QStringLiteral("typed_off")).toBool();
        const QString areaName = o.value(QStringLiteral("area")).toString();
        p.area = areaName.isEmpty() ? -1 : areaOf.value(areaName, -2);
        const bool inRange =
            p.row >= 0 && p.row < (1 << 21) && p.column >= 0 && p.column < (1 << 21);
        const int index = inRange ? at.value(key(p.area, p.row, p.column), -1) : -1;
        const QString name = p.area >= -1 ? pointName(s, p) : areaName;
        if (index < 0 || !std::isfinite(p.x) || !std::isfinite(p.y)) {
            error = QStringLiteral("The survey file is damaged: a point lies outside its grid.");
            if (p.row >= 0 && p.column >= 0 && version >= 2)
                error = QStringLiteral("The survey file is damaged: point %1 lies outside its "
                                       "area.")
                            .arg(name);
            return false;
        }
        // Where the file says it was measured, which must be inside its area.
        const QPainterPath& region = p.area >= 0 ? s.areas[p.area].region : ownGrid;
        const QPointF where(p.x, p.y);
        const bool checked = version >= 2 && (p.area >= 0 || !isRectangleRoom(s));
        if (checked && (!region.contains(where) || inObstacle(s, where))) {
            error = QStringLiteral("The survey file is damaged: point %1 lies outside its area.")
                        .arg(name);
            return false;
        }
        if (seen[index]) {
            error =
                QStringLiteral("The survey file is damaged: point %1 is in it twice.").arg(name);
            return false;
        }
        const auto bad = [](const std::optional<double>& lux) {
            return lux && !(std::isfinite(*lux) && *lux >= 0);
        };
        if (bad(p.lux) || bad(p.luxOff)) {
            error = QStringLiteral("The survey file is damaged: point %1 holds no illuminance.")
                        .arg(name);
            return false;
        }
        seen[index] = true;
        s.points[index] = p;
    }
    return true;
}

} // namespace

std::optional<Survey> fromJson(const QByteArray& bytes, QString& error, QString* shortened) {
    QJsonParseError parse{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parse);
    const QJsonObject root = doc.object();
    if (parse.error != QJsonParseError::NoError && bytes.contains("\"lumetra-survey\"")) {
        // Ours, but cut off or changed by hand: not to be mistaken for some other file.
        error = QStringLiteral("This survey file is damaged: it is cut off or was changed (%1 at "
                               "byte %2). Nothing was opened.")
                    .arg(parse.errorString())
                    .arg(parse.offset);
        return std::nullopt;
    }
    if (parse.error != QJsonParseError::NoError || !doc.isObject() ||
        root.value(QStringLiteral("format")).toString() != QLatin1String("lumetra-survey")) {
        error = QStringLiteral("This is no survey file of Lumetra.");
        if (recordfile::isRecordLine(bytes.left(bytes.indexOf('\n')).trimmed()) ||
            !recordfile::headerUnit(QString::fromLatin1(bytes.left(bytes.indexOf('\n')))).isEmpty())
            error += QStringLiteral(" It is a record file of readings: the main window's Open "
                                    "(Ctrl+O) shows it.");
        return std::nullopt;
    }
    const int version = root.value(QStringLiteral("version")).toInt(0);
    if (version > kFileVersion) {
        error = QStringLiteral("This survey file was written by a newer Lumetra (file version %1); "
                               "this one reads version %2.")
                    .arg(version)
                    .arg(kFileVersion);
        return std::nullopt;
    }
    Survey s;
    if (!readArea(root, version, s, error) || !readGeometry(root, version, s, error) ||
        !readEvidence(root, version, s, error))
        return std::nullopt;
    s.notes = root.value(QStringLiteral("notes")).toString();
    // A name or notes longer than a report lays out at once (another program's, or an older
    // Lumetra's, which had no limit) are cut, and the caller says so; the points stay.
    const auto cut = [&](QString& text, int most, const QString& what) {
        if (text.size() <= most)
            return;
        text.truncate(most);
        if (text.back().isHighSurrogate()) // never half a character
            text.chop(1);
        if (shortened)
            *shortened += what.arg(most) + QLatin1Char(' ');
    };
    cut(s.name, kMostNameChars,
        QStringLiteral("The survey's name was cut to its first %1 characters."));
    cut(s.notes, kMostNotesChars,
        QStringLiteral("The survey's notes were cut to their first %1 characters."));
    if (shortened)
        *shortened = shortened->trimmed();
    if (!readPoints(root, version, s, error))
        return std::nullopt;
    return s;
}

} // namespace lumetra::survey
