#pragma once

#include <QString>

#include <optional>
#include <utility>

namespace lumetra::entry {

// What an entry makes of a typed answer: the value to send, or why it was refused (a line with
// the form and the range, said under the format message), and, with a value, how the text
// was brought to it when that is not plain.
template <typename T> struct Reading {
    std::optional<T> value;
    QString refusal;
    QString note;
};

// The distance in hundredths, 0.00 to 9.99: "2", "2.5", ".5" and "02.50" are all numbers;
// digits past the hundredths are cut off (and said).
Reading<int> distanceHundredths(const QString& text);

// Minutes and seconds of a hold time, MM:SS, each 0 to 59.
Reading<std::pair<int, int>> holdTime(const QString& text);

// The meter's logging interval, MM:SS, from 00:00 to 03:00.
Reading<std::pair<int, int>> meterInterval(const QString& text);

// The PC interval in whole seconds, 1..86400; a fraction is rounded, halves to the even
// neighbour (and said).
Reading<int> pcInterval(const QString& text);

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
