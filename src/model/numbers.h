#pragma once

#include <QByteArray>
#include <QString>

#include <QtGlobal>
#include <initializer_list>

namespace lumetra {

// The leading number of a text, 0 when it does not start with one: leading blanks, an
// optional sign, digits, an optional decimal point with digits, and an exponent only when
// digits follow it. "12.5abc" is 12.5, "1E" is 1, "abc" is 0.
double leadingNumber(const QString& text);

// The nearest whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
double roundHalfEven(double value);
// The next round number at or above v (1, 2, 2.5 or 5 times a power of ten), 0 for none: the
// end of a scale.
double roundUp(double v);
// A number 0..99 as the byte whose hexadecimal digits are its decimal digits (23 -> 0x23).
quint8 toBcd(int value);
// The byte's two hexadecimal digits read as a decimal number (0x23 -> 23); digits above 9
// count as their hexadecimal value, as reading them through text does.
int fromBcd(quint8 byte);
// Raw bytes of a parameter block, in order.
QByteArray bytes(std::initializer_list<quint8> values);
// The byte as two upper-case hexadecimal digits (0x05 -> "05").
QString hex2(quint8 byte);

} // namespace lumetra
