#include "survey.h"

#include "model/samplerow.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <limits>

namespace lumetra::survey {

std::optional<Grid> gridFor(double length, double width, double band) {
    Grid g;
    g.length = length - 2 * band;
    g.width = width - 2 * band;
    if (!(g.length > 0 && g.width > 0))
        return std::nullopt;
    const bool lengthIsLonger = g.length >= g.width;
    const double a = lengthIsLonger ? g.length : g.width;
    const double b = lengthIsLonger ? g.width : g.length;
    // A long strip is spaced by its width, a room by its longer side.
    const bool strip = a / b >= 2;
    const double d = strip ? b : a;
    const double other = strip ? a : b;
    const double p = std::min(10.0, 0.2 * std::pow(5.0, std::log10(d)));
    const int alongD = std::max(1, int(std::lround(d / p)));
    const double spacingD = d / alongD;
    const int alongOther = std::max(1, int(std::lround(other / spacingD)));
    const double spacingOther = other / alongOther;
    // Back to the room's own length and width.
    const bool dIsLength = strip ? !lengthIsLonger : lengthIsLonger;
    g.columns = dIsLength ? alongD : alongOther;
    g.rows = dIsLength ? alongOther : alongD;
    g.spacingAlongLength = dIsLength ? spacingD : spacingOther;
    g.spacingAcrossWidth = dIsLength ? spacingOther : spacingD;
    return g;
}

QList<Requirement> builtInRequirements() {
    return {
        {QStringLiteral("Office work, reading and writing"), 500, 0.60, {}, {}},
        {QStringLiteral("Meeting rooms"), 500, 0.60, {}, {}},
        {QStringLiteral("Classrooms"), 300, 0.60, {}, {}},
        {QStringLiteral("Workshops, rough work"), 300, 0.60, {}, {}},
        {QStringLiteral("Corridors"), 100, 0.40, {}, {}},
        {QStringLiteral("Stairs"), 100, 0.40, {}, {}},
        {QStringLiteral("Escape route"), {}, {}, 1, 40},
    };
}

std::optional<Figures> figures(const QList<std::optional<double>>& lux) {
    Figures f;
    double sum = 0;
    f.minimum = std::numeric_limits<double>::max();
    f.maximum = std::numeric_limits<double>::lowest();
    for (const auto& v : lux) {
        if (!v)
            continue;
        ++f.points;
        sum += *v;
        f.minimum = std::min(f.minimum, *v);
        f.maximum = std::max(f.maximum, *v);
    }
    if (f.points == 0)
        return std::nullopt;
    f.average = sum / f.points;
    f.u0 = f.average > 0 ? f.minimum / f.average : 0;
    f.ud = f.maximum > 0 ? f.minimum / f.maximum : 0;
    return f;
}

QList<Check> check(const Figures& f, const Requirement& r) {
    QList<Check> out;
    const auto reach = [&](const char* what, std::optional<double> required, double actual) {
        if (required)
            out << Check{QLatin1String(what), *required, actual, false, actual >= *required};
    };
    reach("Average", r.average, f.average);
    reach("U0", r.uniformity, f.u0);
    reach("Emin", r.minimum, f.minimum);
    if (r.maxOverMin) {
        // No light at the darkest point: the ratio has no bound and the criterion fails.
        const double ratio =
            f.minimum > 0 ? f.maximum / f.minimum : std::numeric_limits<double>::infinity();
        out << Check{QStringLiteral("Emax/Emin"), *r.maxOverMin, ratio, true,
                     ratio <= *r.maxOverMin};
    }
    return out;
}

namespace {

QJsonValue orNull(const std::optional<double>& v) {
    return v ? QJsonValue(*v) : QJsonValue();
}

std::optional<double> numberOrNothing(const QJsonValue& v) {
    return v.isDouble() ? std::optional(v.toDouble()) : std::nullopt;
}

} // namespace

QByteArray toJson(const Survey& s) {
    QJsonObject area{{QStringLiteral("name"), s.name},
                     {QStringLiteral("length_m"), s.length},
                     {QStringLiteral("width_m"), s.width},
                     {QStringLiteral("band_m"), s.band},
                     {QStringLiteral("height_m"), s.height}};
    const Requirement& r = s.requirement;
    QJsonObject requirement{{QStringLiteral("name"), r.name},
                            {QStringLiteral("average_lx"), orNull(r.average)},
                            {QStringLiteral("uniformity"), orNull(r.uniformity)},
                            {QStringLiteral("minimum_lx"), orNull(r.minimum)},
                            {QStringLiteral("max_ratio"), orNull(r.maxOverMin)}};
    QJsonArray points;
    for (const Point& p : s.points) {
        points.append(QJsonObject{{QStringLiteral("row"), p.row},
                                  {QStringLiteral("column"), p.column},
                                  {QStringLiteral("x_m"), p.x},
                                  {QStringLiteral("y_m"), p.y},
                                  {QStringLiteral("lux"), orNull(p.lux)},
                                  {QStringLiteral("obstructed"), p.obstructed},
                                  {QStringLiteral("taken"), samples::isoTime(p.taken, false)}});
    }
    const QJsonObject root{
        {QStringLiteral("format"), QStringLiteral("lumetra-survey")},
        {QStringLiteral("version"), kFileVersion},
        {QStringLiteral("area"), area},
        {QStringLiteral("requirement"), requirement},
        {QStringLiteral("grid"),
         QJsonObject{{QStringLiteral("rows"), s.rows}, {QStringLiteral("columns"), s.columns}}},
        {QStringLiteral("points"), points}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

std::optional<Survey> fromJson(const QByteArray& bytes, QString& error) {
    QJsonParseError parse{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parse);
    const QJsonObject root = doc.object();
    if (parse.error != QJsonParseError::NoError || !doc.isObject() ||
        root.value(QStringLiteral("format")).toString() != QLatin1String("lumetra-survey")) {
        error = QStringLiteral("This is no survey file of Lumetra.");
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
    const QJsonObject area = root.value(QStringLiteral("area")).toObject();
    s.name = area.value(QStringLiteral("name")).toString();
    s.length = area.value(QStringLiteral("length_m")).toDouble();
    s.width = area.value(QStringLiteral("width_m")).toDouble();
    s.band = area.value(QStringLiteral("band_m")).toDouble();
    s.height = area.value(QStringLiteral("height_m")).toDouble();
    const QJsonObject r = root.value(QStringLiteral("requirement")).toObject();
    s.requirement = {r.value(QStringLiteral("name")).toString(),
                     numberOrNothing(r.value(QStringLiteral("average_lx"))),
                     numberOrNothing(r.value(QStringLiteral("uniformity"))),
                     numberOrNothing(r.value(QStringLiteral("minimum_lx"))),
                     numberOrNothing(r.value(QStringLiteral("max_ratio")))};
    const QJsonObject grid = root.value(QStringLiteral("grid")).toObject();
    s.rows = grid.value(QStringLiteral("rows")).toInt();
    s.columns = grid.value(QStringLiteral("columns")).toInt();
    // A grid the size of a stadium at 10 m spacing has some 10 000 points; more is no survey.
    if (version < 1 || s.rows < 1 || s.columns < 1 || qint64(s.rows) * s.columns > 100000 ||
        !(s.length > 0) || !(s.width > 0)) {
        error = QStringLiteral("The survey file is damaged: its area or grid makes no sense.");
        return std::nullopt;
    }
    for (const QJsonValue& v : root.value(QStringLiteral("points")).toArray()) {
        const QJsonObject o = v.toObject();
        Point p{o.value(QStringLiteral("row")).toInt(-1),
                o.value(QStringLiteral("column")).toInt(-1),
                o.value(QStringLiteral("x_m")).toDouble(),
                o.value(QStringLiteral("y_m")).toDouble(),
                numberOrNothing(o.value(QStringLiteral("lux"))),
                o.value(QStringLiteral("obstructed")).toBool(),
                QDateTime::fromString(o.value(QStringLiteral("taken")).toString(), Qt::ISODate)};
        if (p.row < 0 || p.row >= s.rows || p.column < 0 || p.column >= s.columns) {
            error = QStringLiteral("The survey file is damaged: a point lies outside its grid.");
            return std::nullopt;
        }
        s.points << p;
    }
    return s;
}

} // namespace lumetra::survey
