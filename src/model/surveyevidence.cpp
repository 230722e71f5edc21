#include "surveyevidence.h"

#include "model/surveyareas.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace lumetra::survey {

// --- Daylight taken out ---------------------------------------------------------------------

std::optional<double> valueOf(const Point& p, Light light) {
    switch (light) {
    case Light::WithLights:
        return p.lux;
    case Light::LightsOff:
        return p.luxOff;
    case Light::Electric:
        if (p.lux && p.luxOff)
            return std::max(0.0, *p.lux - *p.luxOff);
        return std::nullopt;
    }
    return std::nullopt;
}

bool offExceedsOn(const Point& p) {
    return p.lux && p.luxOff && *p.luxOff > *p.lux;
}

bool passesApart(const Point& p) {
    return p.taken.isValid() && p.takenOff.isValid() &&
           std::abs(p.taken.secsTo(p.takenOff)) > kMostPassGapSeconds;
}

namespace {

bool counts(const Point& p) {
    return p.lux && !p.obstructed;
}

} // namespace

bool usesElectric(const Survey& s) {
    bool any = false;
    for (const Point& p : s.points) {
        if (!counts(p))
            continue;
        if (!p.luxOff)
            return false;
        any = true;
    }
    return any;
}

QString lightNote(const Survey& s) {
    int off = 0, all = 0;
    for (const Point& p : s.points) {
        if (!counts(p))
            continue;
        ++all;
        off += p.luxOff.has_value();
    }
    if (off == 0)
        return {};
    if (usesElectric(s))
        return QStringLiteral("Figures of the electric light alone: with lights less lights off");
    return QStringLiteral("Figures of the lights-on pass, daylight included: the lights-off pass "
                          "has %1 of %2 points")
        .arg(off)
        .arg(all);
}

std::optional<std::pair<QDateTime, QDateTime>> passTimes(const Survey& s, bool lightsOff) {
    QDateTime first, last;
    for (const Point& p : s.points) {
        const QDateTime& t = lightsOff ? p.takenOff : p.taken;
        if (!t.isValid())
            continue;
        if (!first.isValid() || t < first)
            first = t;
        if (!last.isValid() || t > last)
            last = t;
    }
    if (!first.isValid())
        return std::nullopt;
    return std::pair{first, last};
}

// --- Stability before the walk --------------------------------------------------------------

int stableAt(const QList<StabilityReading>& readings) {
    for (int end = kStableRun - 1; end < readings.size(); ++end) {
        double mean = 0;
        for (int i = end - kStableRun + 1; i <= end; ++i)
            mean += readings[i].lux;
        mean /= kStableRun;
        bool agree = mean > 0;
        for (int i = end - kStableRun + 1; i <= end && agree; ++i)
            agree = std::abs(readings[i].lux - mean) <= kStabilityTolerance * mean;
        if (agree)
            return end;
    }
    return -1;
}

bool stabilityDone(const QList<StabilityReading>& readings) {
    return stableAt(readings) >= 0 || readings.size() >= kMostStabilityChecks;
}

QString stabilityVerdict(const QList<StabilityReading>& readings) {
    if (readings.isEmpty())
        return QStringLiteral("stability not checked");
    if (const int at = stableAt(readings); at >= 0)
        return QStringLiteral("stable at %1")
            .arg(QLocale::c().toString(readings[at].at.toLocalTime(), QStringLiteral("HH:mm")));
    if (readings.size() >= kMostStabilityChecks)
        return QStringLiteral("not stable after %1 checks").arg(readings.size());
    return QStringLiteral("stability check stopped after %1 checks").arg(readings.size());
}

// --- The installation -----------------------------------------------------------------------

double averageFactor(const Survey& s) {
    return s.installation.isNew ? s.installation.maintenanceFactor : 1.0;
}

QString maintenanceSentence(const Survey& s, const Unit& unit, int area) {
    if (!s.installation.isNew)
        return {};
    const Requirement& r =
        area >= 0 && area < s.areas.size() ? s.areas[area].requirement : s.requirement;
    QList<std::optional<double>> values;
    const bool electric = usesElectric(s);
    for (const Point& p : s.points) {
        if (p.area == area && counts(p))
            values << valueOf(p, electric ? Light::Electric : Light::WithLights);
    }
    const auto f = figures(values);
    if (!r.average || !f)
        return {};
    const double mf = s.installation.maintenanceFactor;
    const double maintained = f->average * mf;
    const auto lx = [&](double v) { return illuminance(v, unit) + QLatin1Char(' ') + unit.name; };
    return QStringLiteral("measured %1 × MF %2 = %3 %4 %5")
        .arg(lx(f->average), QString::number(mf, 'f', 2), lx(maintained),
             maintained >= *r.average ? QStringLiteral("≥") : QStringLiteral("<"), lx(*r.average));
}

// --- The instrument -------------------------------------------------------------------------

std::optional<double> classError(const QString& accuracyClass) {
    // DIN 5032-7:2017, Table 1: the total error of illuminance meters by class.
    if (accuracyClass == QLatin1String("L"))
        return 0.03;
    if (accuracyClass == QLatin1String("A"))
        return 0.05;
    if (accuracyClass == QLatin1String("B"))
        return 0.10;
    if (accuracyClass == QLatin1String("C"))
        return 0.20;
    return std::nullopt;
}

QStringList accuracyClasses() {
    return {QStringLiteral("L"), QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")};
}

QString instrumentLine(const Instrument& i) {
    QStringList parts;
    if (!i.model.trimmed().isEmpty())
        parts << QStringLiteral("model %1").arg(i.model.trimmed());
    if (!i.serial.trimmed().isEmpty())
        parts << QStringLiteral("serial %1").arg(i.serial.trimmed());
    if (const auto e = classError(i.accuracyClass))
        parts << QStringLiteral("class %1 (DIN 5032-7, %2 %)")
                     .arg(i.accuracyClass)
                     .arg(std::lround(*e * 100));
    if (i.calibrated.isValid())
        parts << QStringLiteral("calibrated %1").arg(i.calibrated.toString(Qt::ISODate));
    return parts.join(QStringLiteral(", "));
}

QDate surveyDate(const Survey& s) {
    if (const auto pass = passTimes(s, false))
        return pass->first.toLocalTime().date();
    return QDate::currentDate();
}

int wholeMonths(const QDate& from, const QDate& to) {
    int months = (to.year() - from.year()) * 12 + to.month() - from.month();
    if (from.addMonths(months) > to)
        --months; // not yet the day of the month it started on (addMonths keeps to a month's end)
    return std::max(0, months);
}

QString calibrationAgeNote(const Survey& s) {
    const QDate calibrated = s.instrument.calibrated;
    const QDate on = surveyDate(s);
    if (!calibrated.isValid() || on <= calibrated.addMonths(12))
        return {};
    return QStringLiteral("calibrated %1 months before this survey")
        .arg(wholeMonths(calibrated, on));
}

QString checkVerdict(const Check& c, const QString& accuracyClass) {
    const auto error = classError(accuracyClass);
    const bool near = error && std::isfinite(c.actual) &&
                      std::abs(c.actual - c.required) <= *error * std::abs(c.required);
    if (!near)
        return c.passed ? QStringLiteral("pass") : QStringLiteral("FAIL");
    return c.passed ? QStringLiteral("pass, within the instrument's uncertainty")
                    : QStringLiteral("fail, within the instrument's uncertainty");
}

// --- The change since an earlier survey -----------------------------------------------------

Baseline baselineOf(const Survey& earlier, const QString& fileName) {
    Baseline b;
    b.file = fileName;
    if (const auto pass = passTimes(earlier, false))
        b.date = pass->first.toLocalTime().date();
    const auto values = counted(earlier);
    b.electric = usesElectric(earlier);
    if (const auto f = figures(values)) {
        b.average = f->average;
        b.u0 = f->u0;
    }
    for (int i = 0; i < earlier.points.size(); ++i) {
        if (values[i]) {
            const Point& p = earlier.points[i];
            b.points << BaselinePoint{pointName(earlier, p), p.x, p.y, *values[i]};
        }
    }
    sortByName(b.points);
    return b;
}

void sortByName(QList<BaselinePoint>& points) {
    std::stable_sort(
        points.begin(), points.end(),
        [](const BaselinePoint& a, const BaselinePoint& b) { return a.name < b.name; });
}

int baselinePointOf(const Survey& s, const Point& p) {
    if (!s.baseline)
        return -1;
    const QString name = pointName(s, p);
    const QList<BaselinePoint>& all = s.baseline->points;
    // By name in the sorted list: a hall of thousands of points is compared in a moment.
    auto it = std::lower_bound(all.begin(), all.end(), name,
                               [](const BaselinePoint& b, const QString& n) { return b.name < n; });
    for (; it != all.end() && it->name == name; ++it) {
        if (std::hypot(it->x - p.x, it->y - p.y) <= kSamePlace)
            return int(it - all.begin());
    }
    return -1;
}

namespace {

// Like with like: daylight in both, or in neither.
std::optional<double> compared(const Survey& s, const Point& p, bool electricNow) {
    if (!s.baseline || p.obstructed)
        return std::nullopt;
    if (!s.baseline->electric)
        return p.lux;
    return electricNow ? valueOf(p, Light::Electric) : std::nullopt;
}

std::optional<double> change(const Survey& s, const Point& p, bool electricNow) {
    const int then = baselinePointOf(s, p);
    if (then < 0)
        return std::nullopt;
    const auto now = compared(s, p, electricNow);
    const double before = s.baseline->points[then].lux;
    if (!now || !(before > 0))
        return std::nullopt;
    return (*now - before) / before * 100;
}

} // namespace

std::optional<double> comparedValue(const Survey& s, int index) {
    if (index < 0 || index >= s.points.size())
        return std::nullopt;
    return compared(s, s.points[index], usesElectric(s));
}

QList<std::optional<double>> comparedValues(const Survey& s) {
    QList<std::optional<double>> out;
    out.reserve(s.points.size());
    const bool electric = usesElectric(s);
    for (const Point& p : s.points)
        out << compared(s, p, electric);
    return out;
}

std::optional<Figures> comparedFigures(const Survey& s) {
    return figures(comparedValues(s));
}

std::optional<double> changeAt(const Survey& s, int index) {
    if (index < 0 || index >= s.points.size())
        return std::nullopt;
    return change(s, s.points[index], usesElectric(s));
}

QList<std::optional<double>> changes(const Survey& s) {
    QList<std::optional<double>> out;
    out.reserve(s.points.size());
    const bool electric = usesElectric(s);
    for (const Point& p : s.points)
        out << change(s, p, electric);
    return out;
}

QString changeText(double percent) {
    const long rounded = std::lround(percent);
    return (rounded > 0   ? QStringLiteral("+")
            : rounded < 0 ? QStringLiteral("−")
                          : QString()) +
           QString::number(std::abs(rounded)) + QStringLiteral(" %");
}

QList<int> fallenPoints(const Survey& s) {
    QList<int> out;
    const auto all = changes(s);
    for (int i = 0; i < all.size(); ++i) {
        if (all[i] && *all[i] < kFallFlag)
            out << i;
    }
    return out;
}

int matchedPoints(const Survey& s) {
    return int(std::count_if(s.points.begin(), s.points.end(),
                             [&](const Point& p) { return baselinePointOf(s, p) >= 0; }));
}

// --- Taking when steady ---------------------------------------------------------------------

void SteadyWatch::restart(std::optional<double> reference) {
    m_reference = reference;
    m_moved = false;
    m_hold.clear();
}

void SteadyWatch::interrupt() {
    m_hold.clear();
}

std::optional<double> SteadyWatch::feed(qint64 ms, double lux) {
    if (!std::isfinite(lux) || lux < 0) {
        interrupt();
        return std::nullopt;
    }
    if (!m_reference)
        m_reference = lux; // where the meter stands when the watch begins: not a new point
    if (!m_moved) {
        // A dark point moves by a tenth of a lux at least: not by the meter's last digit.
        if (std::abs(lux - *m_reference) <= kMove * std::max(*m_reference, 1.0))
            return std::nullopt;
        m_moved = true;
    }
    m_hold.append({ms, lux});
    double mean = 0;
    for (const auto& r : m_hold)
        mean += r.second;
    mean /= double(m_hold.size());
    const bool held = std::all_of(m_hold.begin(), m_hold.end(), [&](const auto& r) {
        return std::abs(r.second - mean) <= kHold * mean;
    });
    if (!held) {
        // Still moving: the hold starts at this reading.
        m_hold = {{ms, lux}};
        return std::nullopt;
    }
    if (ms - m_hold.first().first < kHoldMs)
        return std::nullopt;
    restart(mean);
    return mean;
}

} // namespace lumetra::survey
