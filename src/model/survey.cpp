#include "survey.h"

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

} // namespace lumetra::survey
