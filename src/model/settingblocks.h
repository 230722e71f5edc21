#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <array>
#include <optional>

// The byte blocks of the meter's settings, read from its replies and written after its
// letters. Pure: the windows that show them only ask and display.
namespace lumetra {

namespace comparator {

// The comparator as the meter holds it: unit, decimal position flags and two limits.
struct Setting {
    bool lux = true;
    std::array<bool, 5> decimalFlags{}; // decimal code bits 0..4 (codes 1, 2, 4, 8, 16)
    QString high;                       // four digits, leading zeros kept
    QString low;
};

// From the 9-byte reply to "Z" (02 .. flags high high low low 03).
Setting decode(const QByteArray& reply);
// The 5-byte block for "V". unitText other than exactly "Lx" counts as "Fc"; position is the
// selected decimal option (1..6, 0 for none); the limits are the joined digit texts.
QByteArray block(const QString& unitText, int position, const QString& high, const QString& low);

} // namespace comparator

namespace calibration {

// The factor from a reply 02 hi lo 03, as "0.000" text; nothing for a bad reply.
std::optional<QString> factorText(const QByteArray& reply);
// The 2-byte block for "i": the factor in thousandths.
QByteArray block(double factor);

} // namespace calibration

namespace scf {

struct Reading {
    int entry = 0;  // 0..19: L0..L9, U0..U9
    QString factor; // "0.000"
};
// The reply to "a" while the display stream may still run: it counts when it is framed like
// one (0x02 first, 0x03 fifth when there is a fifth byte) and names one of the 20 entries.
std::optional<Reading> decode(const QByteArray& reply);
// The 3-byte block for "c": an entry and a factor (as typed, to three decimals).
QByteArray block(int entry, double factor);

} // namespace scf

namespace meterclock {

// The four clock bytes for a PC time: day, hour, minute, second in packed BCD.
QByteArray clockBytes(const QDateTime& when);
// "DD hh:mm:ss" from a "Y" reply (bytes 2 to 5), run on by laterSeconds (the day of the
// month goes on past 31 only as far as 31, then to 1).
QString meterTimeText(const QByteArray& reply, qint64 laterSeconds = 0);

} // namespace meterclock

} // namespace lumetra
