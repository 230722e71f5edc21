#pragma once

#include <QString>

#include <optional>
#include <utility>

namespace lumetra::entry {

// A two-part answer such as "1.50" or "02:30" is malformed when the separator is missing,
// first or last, appears twice, or the text is shorter than three characters.
bool malformed(const QString& text, QChar separator);

// The distance in hundredths (0..999) from an answer like "1.5"; nothing when a part is
// negative. The whole part is clamped to 9; the fraction counts its first two digits.
std::optional<int> distanceHundredths(const QString& text);

// Minutes and seconds of a hold time, each clamped to 59; nothing when a part is negative.
std::optional<std::pair<int, int>> holdTime(const QString& text);

// The meter's logging interval: at most 3:00, seconds taken modulo 60; nothing when a part
// is negative.
std::optional<std::pair<int, int>> meterInterval(const QString& text);

// The PC interval in whole seconds, 1..86400, halves to the even neighbour; nothing when the
// answer is not a number.
std::optional<int> pcInterval(const QString& text);

// Prompts and titles of the entry dialogs.
QString distancePrompt(const QString& unitText);
QString distanceDefault(int hundredths);
inline const QString kDistanceTitle = QStringLiteral("Input the distance");
inline const QString kHoldTitle = QStringLiteral("Input Hold Time");
inline const QString kHoldPrompt = QStringLiteral("Enter the TIME to Hold\r\n (MM:SS) ");
inline const QString kSamplingTitle = QStringLiteral("Input Sampling Time");
inline const QString kPcPrompt =
    QStringLiteral("Enter the SAMPLING TIME in seconds\r\n(1 <= t <= 86400 ) ");
inline const QString kMeterPrompt =
    QStringLiteral("Enter the SAMPLING TIME of the Meter\r\n (MM:SS) ");
inline const QString kFormatMessage =
    QStringLiteral("Invalid, comply with the data format properly\r\n");

} // namespace lumetra::entry
