#include "readingformat.h"

#include <cmath>

namespace lumetra {
namespace {

// Fixed decimals, nearest last decimal, at least one digit before the point; the C locale
// gives "." whatever the user's locale is.
QString fixed(double value, int decimals) {
    return QString::number(value, 'f', decimals);
}

// The shortest plain decimal text of a whole number.
QString general(double value) {
    return QString::number(value, 'f', 0);
}

} // namespace

std::optional<FormattedReading> formatReading(quint8 high, quint8 low, quint8 range) {
    const double raw = high * 256.0 + low;
    const double fc = raw * 929.0 / 1000.0; // foot-candles, one decade down: lux x 0.0929
    if (range & 0x40)
        return FormattedReading{general(raw * 100), QString::number(fc * 10, 'g', 15)};
    if (range & 0x20)
        return FormattedReading{general(raw * 10), general(std::trunc(fc))};
    if (range & 0x10)
        return FormattedReading{general(raw), fixed(fc * 0.1, 1)};
    if (range & 0x08)
        return FormattedReading{fixed(raw * 0.1, 1), fixed(fc * 0.01, 2)};
    if (range & 0x04)
        return FormattedReading{fixed(raw * 0.01, 2), fixed(fc * 0.001, 3)};
    if (range & 0x02)
        return FormattedReading{fixed(raw * 0.001, 3), fixed(fc * 0.0001, 4)};
    return std::nullopt;
}

} // namespace lumetra
