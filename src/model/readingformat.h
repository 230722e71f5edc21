#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

namespace lumetra {

// A stored record whose range byte names no range: no digits and no "L", so that nothing
// reads it as a value or an overload, and the graph leaves a gap there.
inline const QString kUnreadableReading = QStringLiteral("----");

// One stored reading as text in lux and in foot-candles.
struct FormattedReading {
    QString lux;
    QString footCandles;
};

// A data-logger record (high and low value bytes, range byte) as text. The first of range
// bits 6, 5, 4, 3, 2, 1 that is set decides the decimals; nothing when none of them is set. Texts
// always use "." as the point.
std::optional<FormattedReading> formatReading(quint8 high, quint8 low, quint8 range);

} // namespace lumetra
