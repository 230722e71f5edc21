#include "survey.h"

#include "model/samplerow.h"
#include "model/surveyareas.h"
#include "model/surveyevidence.h"

#include <QMap>

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
    // Sizes that are twice over to the centimetre are, whatever the last bit of a double says.
    const bool strip = a / b >= 2 * (1 - 1e-9);
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

QList<Check> check(const Figures& f, const Requirement& r, double averageFactor) {
    QList<Check> out;
    const auto reach = [&](const char* what, std::optional<double> required, double actual) {
        if (required)
            out << Check{QLatin1String(what), *required, actual, false, actual >= *required};
    };
    reach("Average", r.average, f.average * averageFactor);
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

QString pointName(const Survey& s, const Point& p) {
    return areaPrefix(s, p.area) + pointName(p.row, p.column);
}

QList<int> walkOrder(const Survey& s) {
    // Area by area in their order, the room's own grid last; in each, row by row, every other
    // row walked back.
    QMap<int, QMap<int, QList<int>>> byArea; // area -> row -> indices by column
    for (int i = 0; i < s.points.size(); ++i)
        byArea[s.points[i].area < 0 ? int(s.areas.size()) : s.points[i].area][s.points[i].row] << i;
    QList<int> order;
    order.reserve(s.points.size());
    for (const auto& rows : byArea) {
        for (auto row = rows.begin(); row != rows.end(); ++row) {
            QList<int> line = row.value();
            std::sort(line.begin(), line.end(),
                      [&](int a, int b) { return s.points[a].column < s.points[b].column; });
            if (row.key() % 2 == 1)
                std::reverse(line.begin(), line.end());
            order << line;
        }
    }
    return order;
}

QList<std::optional<double>> counted(const Survey& s) {
    QList<std::optional<double>> out;
    out.reserve(s.points.size());
    const Light light = usesElectric(s) ? Light::Electric : Light::WithLights;
    for (const Point& p : s.points)
        out << (p.obstructed || !p.lux ? std::nullopt : valueOf(p, light));
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
    const double mf = averageFactor(s);
    const QList<Check> checks = f ? check(*f, s.requirement, mf) : QList<Check>{};
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
                                   : checkVerdict(*c, s.instrument.accuracyClass)};
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
    if (s.installation.isNew) {
        // Measured as it is now, judged as it will be once maintained.
        out << Result{QStringLiteral("Average Ē"), lx(f->average), {}, {}};
        row(QStringLiteral("Ē × MF %1").arg(s.installation.maintenanceFactor, 0, 'f', 2), "Average",
            lx(f->average * mf, checkOf("Average")), r.average, true);
    } else {
        row(QStringLiteral("Average Ē"), "Average", lx(f->average, checkOf("Average")), r.average,
            true);
    }
    row(QStringLiteral("Emin"), "Emin", lx(f->minimum, checkOf("Emin")), r.minimum, true);
    out << Result{QStringLiteral("Emax"), lx(f->maximum), {}, {}};
    row(QStringLiteral("U0 = Emin / Ē"), "U0", unhidden(f->u0, 2, checkOf("U0")), r.uniformity,
        false);
    out << Result{QStringLiteral("Ud = Emin / Emax"), unhidden(f->ud, 2, nullptr), {}, {}};
    row(QStringLiteral("Emax / Emin"), "Emax/Emin", unhidden(ratio, 1, checkOf("Emax/Emin")),
        r.maxOverMin, false);
    return out;
}

namespace {

// One area's points against its own requirement, as a survey of their own: the same
// installation and instrument, and the same light as the whole survey's figures.
Survey areaAlone(const Survey& s, int area) {
    Survey one;
    one.requirement =
        area >= 0 && area < s.areas.size() ? s.areas[area].requirement : s.requirement;
    one.installation = s.installation;
    one.instrument = s.instrument;
    const bool electric = usesElectric(s);
    for (const Point& p : s.points) {
        if (p.area == area) {
            one.points << p;
            if (!electric)
                one.points.back().luxOff.reset();
        }
    }
    return one;
}

} // namespace

QList<Result> results(const Survey& s, const Unit& unit, int area) {
    return results(areaAlone(s, area), unit);
}

QString verdict(const Survey& s, int area) {
    return verdict(areaAlone(s, area));
}

QString missingEvidence(const Survey& s, int area) {
    return missingEvidence(areaAlone(s, area));
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
    if (s.areas.isEmpty() && obstructed * 2 > all)
        return QStringLiteral("%1 of %2 points obstructed: fewer than half measured")
            .arg(obstructed)
            .arg(all);
    for (int i = 0; i < s.areas.size(); ++i) {
        if (const QString m = missingEvidence(s, i); !m.isEmpty())
            return QStringLiteral("%1: %2").arg(s.areas[i].name, m);
    }
    return {};
}

QString gridDeparture(const Survey& s) {
    const auto rule = roomGrid(s);
    if (!s.areas.isEmpty() || !rule || (rule->rows == s.rows && rule->columns == s.columns) ||
        s.rows < 1 || s.columns < 1)
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
    if (!s.areas.isEmpty()) {
        // Every area passes, or the room does not.
        QStringList all;
        for (int i = 0; i < s.areas.size(); ++i)
            all << verdict(s, i);
        all.removeAll(QString()); // an area that asks nothing, or has nothing measured yet
        if (all.isEmpty())
            return {};
        if (!missingEvidence(s).isEmpty() || all.contains(QStringLiteral("INCOMPLETE")))
            return QStringLiteral("INCOMPLETE");
        return all.contains(QStringLiteral("FAIL")) ? QStringLiteral("FAIL")
                                                    : QStringLiteral("PASS");
    }
    const auto f = figures(counted(s));
    if (!f)
        return {};
    const QList<Check> checks = check(*f, s.requirement, averageFactor(s));
    if (checks.isEmpty())
        return {};
    if (!missingEvidence(s).isEmpty())
        return QStringLiteral("INCOMPLETE");
    const bool all =
        std::all_of(checks.begin(), checks.end(), [](const Check& c) { return c.passed; });
    return all ? QStringLiteral("PASS") : QStringLiteral("FAIL");
}

} // namespace lumetra::survey
