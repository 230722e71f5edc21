#include "settingblocks.h"

#include "model/displayframe.h"
#include "model/numbers.h"

#include <algorithm>

namespace lumetra {
namespace comparator {

Setting decode(const QByteArray& reply) {
    const auto b = [&](int pos) { return quint8(reply[pos - 1]); };
    Setting s;
    for (int i = 0; i < 5; ++i)
        s.decimalFlags[size_t(i)] = (b(4) >> i) & 1;
    s.lux = (b(4) & 0x40) != 0;
    const auto four = [](int value) {
        return (QStringLiteral("000") + QString::number(value)).right(4);
    };
    s.high = four(b(5) * 256 + b(6));
    s.low = four(b(7) * 256 + b(8));
    return s;
}

QByteArray block(const QString& unitText, int position, const QString& high, const QString& low) {
    int flag = 0;
    int code = 16;
    if (unitText == QLatin1String("Lx")) {
        flag = 64;
        if (position >= 2 && position <= 5)
            code = 1 << (position - 2);
    } else {
        flag = 32;
        if (position >= 1 && position <= 4)
            code = 1 << (position - 1);
    }
    // Never more than 16 bits, whatever was typed into the digit boxes.
    const auto value = [](const QString& digits) {
        return int(std::clamp(leadingNumber(digits), 0.0, 65535.0));
    };
    const int h = value(high);
    const int l = value(low);
    return bytes(
        {quint8(flag + code), quint8(h / 256), quint8(h % 256), quint8(l / 256), quint8(l % 256)});
}

} // namespace comparator

namespace calibration {

std::optional<QString> factorText(const QByteArray& reply) {
    if (reply.size() < 4 || quint8(reply[0]) != 0x02 || quint8(reply[3]) != 0x03)
        return std::nullopt;
    const int thousandths = quint8(reply[1]) * 256 + quint8(reply[2]);
    return QString::number(thousandths / 1000.0, 'f', 3);
}

QByteArray block(double factor) {
    const int n = int(roundHalfEven(factor * 1000.0));
    return bytes({quint8(n / 256), quint8(n % 256)});
}

} // namespace calibration

namespace scf {

std::optional<Reading> decode(const QByteArray& r) {
    // Start byte, entry, factor; whatever follows is not the reply's business. A display
    // frame of a stream that still runs starts with 0x02 as well: a whole one is no reply.
    if (r.size() < 4 || quint8(r[0]) != 0x02 || quint8(r[1]) > 19 || frameIsWellFormed(r))
        return std::nullopt;
    return Reading{quint8(r[1]),
                   QString::number((quint8(r[2]) * 256 + quint8(r[3])) / 1000.0, 'f', 3)};
}

QByteArray block(int entry, double factor) {
    // The factor as typed to three decimals, in thousandths.
    const int n = int(roundHalfEven(QString::number(factor, 'f', 3).toDouble() * 1000.0));
    return bytes({quint8(entry), quint8(n / 256), quint8(n % 256)});
}

} // namespace scf

namespace meterclock {

QByteArray clockBytes(const QDateTime& when) {
    // Read through text: the decimal digits of each field become the hexadecimal digits.
    const QString t = when.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
    const auto field = [&](int from) { return quint8(t.mid(from, 2).toUInt(nullptr, 16)); };
    return bytes({field(8), field(11), field(14), field(17)});
}

QString meterTimeText(const QByteArray& reply, qint64 laterSeconds) {
    const auto b = [&](int pos) { return hex2(quint8(reply[pos - 1])); };
    if (laterSeconds <= 0)
        return b(2) + QLatin1Char(' ') + b(3) + QLatin1Char(':') + b(4) + QLatin1Char(':') + b(5);
    const auto n = [&](int pos) { return qint64(b(pos).toInt()); };
    const qint64 s = n(3) * 3600 + n(4) * 60 + n(5) + laterSeconds;
    qint64 day = n(2) + s / 86400;
    if (day > 31)
        day = (day - 1) % 31 + 1;
    const qint64 t = s % 86400;
    const auto two = [](qint64 v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    return two(day) + QLatin1Char(' ') + two(t / 3600) + QLatin1Char(':') + two(t / 60 % 60) +
           QLatin1Char(':') + two(t % 60);
}

} // namespace meterclock
} // namespace lumetra
