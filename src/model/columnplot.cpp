#include "columnplot.h"

#include "model/numbers.h"
#include "model/readingformat.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace lumetra {

float plotValue(const QString& cell) {
    constexpr float kOverload = 1000000.0f;
    if (cell.contains(QLatin1Char('L')))
        return kOverload;
    if (cell.trimmed() == kUnreadableReading)
        return std::numeric_limits<float>::quiet_NaN(); // a gap in the line

    // A number no reading can be (beyond a float) counts as out of range, like an overload.
    const float v = float(leadingNumber(cell));
    return std::isfinite(v) ? v : kOverload;
}

ColumnPlot columnPlot(const QStringList& cells, float startMaximum, float startMinimum) {
    ColumnPlot plot;
    plot.maximum = startMaximum;
    plot.minimum = startMinimum;
    plot.values.reserve(cells.size());
    for (const QString& cell : cells) {
        const float v = plotValue(cell);
        plot.maximum = std::max(plot.maximum, v);
        plot.minimum = std::min(plot.minimum, v);
        plot.values.append(v);
    }
    return plot;
}

std::optional<RangeStatistics> rangeStatistics(const QVector<float>& values, double xFrom,
                                               double xTo) {
    if (values.isEmpty() || !std::isfinite(xFrom) || !std::isfinite(xTo))
        return std::nullopt;
    if (xTo < xFrom)
        std::swap(xFrom, xTo);
    // Value k sits at x = k + 1; the bounds are clamped before they become indexes.
    const double n = double(values.size());
    const qsizetype first = qsizetype(std::clamp(std::ceil(xFrom), 1.0, n + 1)) - 1;
    const qsizetype last = qsizetype(std::clamp(std::floor(xTo), 0.0, n)) - 1;
    if (first > last)
        return std::nullopt;
    RangeStatistics s;
    s.minimum = std::numeric_limits<double>::infinity();
    s.maximum = -std::numeric_limits<double>::infinity();
    double sum = 0;
    for (qsizetype k = first; k <= last; ++k) {
        const double v = values[k];
        if (std::isnan(v))
            continue; // an unreadable record counts for nothing
        s.minimum = std::min(s.minimum, v);
        s.maximum = std::max(s.maximum, v);
        sum += v;
        ++s.count;
    }
    if (s.count == 0)
        return std::nullopt;
    s.average = sum / s.count;
    if (s.average > 0)
        s.uniformity = s.minimum / s.average;
    return s;
}

int readingDecimals(const QVector<float>& values, qsizetype from, qsizetype to) {
    static constexpr double kScale[] = {1, 10, 100, 1000};
    int decimals = 0;
    for (qsizetype i = std::max<qsizetype>(0, from);
         i < std::min(to, values.size()) && decimals < 3; ++i) {
        const double v = values[i];
        if (!std::isfinite(v))
            continue;
        // A float holds about seven digits: what lies below them is no decimal of the reading.
        while (decimals < 3) {
            const double scaled = v * kScale[decimals];
            if (std::abs(scaled - std::round(scaled)) <= std::max(1e-6, std::abs(scaled) * 1e-6))
                break;
            ++decimals;
        }
    }
    return decimals;
}

} // namespace lumetra
