#include "survey.h"

#include "model/recordfile.h"
#include "model/samplerow.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <array>
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

QString pointName(int row, int column) {
    QString letters;
    for (int c = column + 1; c > 0; c = (c - 1) / 26)
        letters.prepend(QChar(u'A' + (c - 1) % 26));
    return letters + QString::number(row + 1);
}

QList<int> walkOrder(int rows, int columns) {
    QList<int> order;
    order.reserve(qsizetype(rows) * columns);
    for (int r = 0; r < rows; ++r) {
        for (int k = 0; k < columns; ++k)
            order << r * columns + (r % 2 == 0 ? k : columns - 1 - k);
    }
    return order;
}

void layOut(Survey& s, int rows, int columns) {
    s.rows = rows;
    s.columns = columns;
    s.points.clear();
    const double along = std::max(0.0, s.length - 2 * s.band) / columns;
    const double across = std::max(0.0, s.width - 2 * s.band) / rows;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c)
            s.points << Point{r,     c, s.band + (c + 0.5) * along, s.band + (r + 0.5) * across, {},
                              false, {}};
    }
}

QList<std::optional<double>> counted(const Survey& s) {
    QList<std::optional<double>> out;
    for (const Point& p : s.points)
        out << (p.obstructed ? std::nullopt : p.lux);
    return out;
}

Unit lux() {
    return {};
}

Unit footCandles() {
    return {QStringLiteral("fc"), 1 / samples::kLuxPerFootCandle};
}

QString illuminance(double lux, const Unit& unit) {
    const double v = lux * unit.perLux;
    const double a = std::abs(v);
    return QString::number(v, 'f', a >= 100 ? 0 : a >= 10 ? 1 : 2);
}

namespace {

// The figure with `decimals`, or more where that many would show a failure as a pass.
QString unhidden(double actual, int decimals, const Check* c, double scale = 1) {
    if (std::isinf(actual))
        return QStringLiteral("∞");
    if (!c)
        return QString::number(actual, 'f', decimals);
    const double required = c->required * scale;
    for (; decimals <= 6; ++decimals) {
        const double shown = QString::number(actual, 'f', decimals).toDouble();
        const bool looksPassed = c->atMost ? shown <= required : shown >= required;
        if (looksPassed == c->passed)
            return QString::number(actual, 'f', decimals);
    }
    // Six decimals still look like the requirement itself: say on which side the figure lies.
    return (c->atMost ? QStringLiteral("> ") : QStringLiteral("< ")) +
           QString::number(required, 'g', 6);
}

} // namespace

QList<Result> results(const Survey& s, const Unit& unit) {
    int obstructed = 0, empty = 0;
    for (const Point& p : s.points) {
        obstructed += p.obstructed;
        empty += !p.obstructed && !p.lux;
    }
    QString count = QString::number(s.points.size() - obstructed - empty);
    if (obstructed || empty)
        count += QStringLiteral(" (%1 obstructed, %2 not taken)").arg(obstructed).arg(empty);
    QList<Result> out{{QStringLiteral("Points measured"), count, {}, {}}};
    const auto f = figures(counted(s));
    const QList<Check> checks = f ? check(*f, s.requirement) : QList<Check>{};
    const bool incomplete = !missingEvidence(s).isEmpty();
    const auto checkOf = [&](const char* what) -> const Check* {
        for (const Check& c : checks) {
            if (c.what == QLatin1String(what))
                return &c;
        }
        return nullptr;
    };
    const auto row = [&](const QString& label, const char* what, const QString& value,
                         const std::optional<double>& required, bool isIlluminance) {
        const Check* c = checkOf(what);
        QString need;
        if (required) {
            need = (QLatin1String(what) == QLatin1String("Emax/Emin") ? QStringLiteral("≤ ")
                                                                      : QStringLiteral("≥ ")) +
                   // As an illuminance is shown ("≥ 46.5 fc"); the check itself is unrounded.
                   (isIlluminance ? illuminance(*required, unit) + QLatin1Char(' ') + unit.name
                                  : QString::number(*required, 'g', 6));
        }
        out << Result{label, value, need,
                      !c           ? QString()
                      : incomplete ? QStringLiteral("incomplete")
                      : c->passed  ? QStringLiteral("pass")
                                   : QStringLiteral("FAIL")};
    };
    const Requirement& r = s.requirement;
    const auto lx = [&](double v, const Check* c = nullptr) {
        const double a = std::abs(v * unit.perLux);
        return unhidden(v * unit.perLux,
                        a >= 100  ? 0
                        : a >= 10 ? 1
                                  : 2,
                        c, unit.perLux) +
               QLatin1Char(' ') + unit.name;
    };
    if (!f) {
        const QString none = QStringLiteral("–");
        row(QStringLiteral("Average Ē"), "Average", none, r.average, true);
        row(QStringLiteral("Emin"), "Emin", none, r.minimum, true);
        out << Result{QStringLiteral("Emax"), none, {}, {}};
        row(QStringLiteral("U0 = Emin / Ē"), "U0", none, r.uniformity, false);
        out << Result{QStringLiteral("Ud = Emin / Emax"), none, {}, {}};
        row(QStringLiteral("Emax / Emin"), "Emax/Emin", none, r.maxOverMin, false);
        return out;
    }
    const double ratio =
        f->minimum > 0 ? f->maximum / f->minimum : std::numeric_limits<double>::infinity();
    row(QStringLiteral("Average Ē"), "Average", lx(f->average, checkOf("Average")), r.average,
        true);
    row(QStringLiteral("Emin"), "Emin", lx(f->minimum, checkOf("Emin")), r.minimum, true);
    out << Result{QStringLiteral("Emax"), lx(f->maximum), {}, {}};
    row(QStringLiteral("U0 = Emin / Ē"), "U0", unhidden(f->u0, 2, checkOf("U0")), r.uniformity,
        false);
    out << Result{QStringLiteral("Ud = Emin / Emax"), unhidden(f->ud, 2, nullptr), {}, {}};
    row(QStringLiteral("Emax / Emin"), "Emax/Emin", unhidden(ratio, 1, checkOf("Emax/Emin")),
        r.maxOverMin, false);
    return out;
}

QString missingEvidence(const Survey& s) {
    const qsizetype all = s.points.size();
    const qsizetype open = std::count_if(s.points.begin(), s.points.end(),
                                         [](const Point& p) { return !p.lux && !p.obstructed; });
    if (open > 0)
        return QStringLiteral("%1 of %2 points not taken").arg(open).arg(all);
    const qsizetype obstructed = std::count_if(s.points.begin(), s.points.end(),
                                               [](const Point& p) { return p.obstructed; });
    // Figures over a few points of a mostly blocked grid say nothing about the area.
    if (obstructed * 2 > all)
        return QStringLiteral("%1 of %2 points obstructed: fewer than half measured")
            .arg(obstructed)
            .arg(all);
    return {};
}

QString gridDeparture(const Survey& s) {
    const auto rule = gridFor(s.length, s.width, s.band);
    if (!rule || (rule->rows == s.rows && rule->columns == s.columns) || s.rows < 1 ||
        s.columns < 1)
        return {};
    const double along = rule->length / s.columns, across = rule->width / s.rows;
    const auto pair = [](double a, double b) {
        return QStringLiteral("%1 × %2 m").arg(a, 0, 'f', 2).arg(b, 0, 'f', 2);
    };
    // Compared unrounded: a hair coarser is coarser.
    const bool coarser = along > rule->spacingAlongLength * (1 + 1e-9) ||
                         across > rule->spacingAcrossWidth * (1 + 1e-9);
    return QStringLiteral("%1 the rule's: spaced %2 where the rule asks for %3")
        .arg(coarser ? QStringLiteral("coarser than") : QStringLiteral("finer than"),
             pair(along, across), pair(rule->spacingAlongLength, rule->spacingAcrossWidth));
}

QString verdict(const Survey& s) {
    const auto f = figures(counted(s));
    if (!f)
        return {};
    const QList<Check> checks = check(*f, s.requirement);
    if (checks.isEmpty())
        return {};
    if (!missingEvidence(s).isEmpty())
        return QStringLiteral("INCOMPLETE");
    const bool all =
        std::all_of(checks.begin(), checks.end(), [](const Check& c) { return c.passed; });
    return all ? QStringLiteral("PASS") : QStringLiteral("FAIL");
}

QByteArray pointsCsv(const Survey& s) {
    QByteArray out = "point,row,column,x_m,y_m,lux,obstructed,taken,typed\n";
    for (const Point& p : s.points) {
        out += pointName(p.row, p.column).toUtf8() + ',' + QByteArray::number(p.row + 1) + ',' +
               QByteArray::number(p.column + 1) + ',' + QByteArray::number(p.x, 'f', 3) + ',' +
               QByteArray::number(p.y, 'f', 3) + ',' +
               (p.lux ? QByteArray::number(*p.lux, 'f', 2) : QByteArray()) + ',' +
               (p.obstructed ? "true" : "false") + ',' +
               (p.taken.isValid() ? samples::isoTime(p.taken, false).toUtf8() : QByteArray()) +
               ',' + (p.typed ? "true" : "false") + '\n';
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

QByteArray toJson(const Survey& s) {
    QJsonObject area{{QStringLiteral("name"), s.name},
                     {QStringLiteral("length_m"), s.length},
                     {QStringLiteral("width_m"), s.width},
                     {QStringLiteral("band_m"), s.band},
                     {QStringLiteral("height_m"), s.height}};
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
            {QStringLiteral("typed"), p.typed}});
    }
    const QJsonObject root{
        {QStringLiteral("format"), QStringLiteral("lumetra-survey")},
        {QStringLiteral("version"), kFileVersion},
        {QStringLiteral("area"), area},
        {QStringLiteral("requirement"), requirement},
        {QStringLiteral("grid"),
         QJsonObject{{QStringLiteral("rows"), s.rows}, {QStringLiteral("columns"), s.columns}}},
        {QStringLiteral("points"), points},
        {QStringLiteral("notes"), s.notes}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

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
    const QJsonObject area = root.value(QStringLiteral("area")).toObject();
    s.name = area.value(QStringLiteral("name")).toString();
    s.length = area.value(QStringLiteral("length_m")).toDouble();
    s.width = area.value(QStringLiteral("width_m")).toDouble();
    s.band = area.value(QStringLiteral("band_m")).toDouble();
    s.height = area.value(QStringLiteral("height_m")).toDouble();
    s.requirement = requirementOf(root.value(QStringLiteral("requirement")).toObject());
    const QJsonObject grid = root.value(QStringLiteral("grid")).toObject();
    s.rows = grid.value(QStringLiteral("rows")).toInt();
    s.columns = grid.value(QStringLiteral("columns")).toInt();
    const Requirement& r = s.requirement;
    const std::array<std::optional<double>, 4> criteria{r.average, r.uniformity, r.minimum,
                                                        r.maxOverMin};
    const bool criteriaMakeSense =
        std::all_of(criteria.begin(), criteria.end(),
                    [](const std::optional<double>& c) { return !c || *c > 0; });
    if (s.rows >= 1 && s.columns >= 1 && qint64(s.rows) * s.columns > kMostPoints) {
        error = QStringLiteral("The survey's grid has %1 points; Lumetra takes at most %2.")
                    .arg(qint64(s.rows) * s.columns)
                    .arg(kMostPoints);
        return std::nullopt;
    }
    if (version < 1 || s.rows < 1 || s.columns < 1 || !(s.length > 0 && s.length < 1e5) ||
        !(s.width > 0 && s.width < 1e5) || !(s.band >= 0) || !gridFor(s.length, s.width, s.band) ||
        !(s.height >= 0 && s.height < 1e3) || !criteriaMakeSense) {
        error = QStringLiteral("The survey file is damaged: its area or grid makes no sense.");
        return std::nullopt;
    }
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
    // Every cell of the grid gets its point, in order; one the file leaves out is empty.
    layOut(s, s.rows, s.columns);
    QList<bool> seen(s.points.size(), false);
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
        if (p.row < 0 || p.row >= s.rows || p.column < 0 || p.column >= s.columns ||
            !std::isfinite(p.x) || !std::isfinite(p.y)) {
            error = QStringLiteral("The survey file is damaged: a point lies outside its grid.");
            return std::nullopt;
        }
        const int at = p.row * s.columns + p.column;
        if (seen[at]) {
            error = QStringLiteral("The survey file is damaged: point %1 is in it twice.")
                        .arg(pointName(p.row, p.column));
            return std::nullopt;
        }
        if (p.lux && !(std::isfinite(*p.lux) && *p.lux >= 0)) {
            error = QStringLiteral("The survey file is damaged: point %1 holds no illuminance.")
                        .arg(pointName(p.row, p.column));
            return std::nullopt;
        }
        seen[at] = true;
        s.points[at] = p;
    }
    return s;
}

} // namespace lumetra::survey
