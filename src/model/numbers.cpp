#include "numbers.h"

#include <cfenv>
#include <cmath>

namespace lumetra {

double leadingNumber(const QString& text) {
    int i = 0;
    const int n = int(text.size());
    while (i < n && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t')))
        ++i;
    const int start = i;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        ++i;
    bool digits = false;
    while (i < n && text[i].isDigit() && text[i].unicode() < 128) {
        ++i;
        digits = true;
    }
    if (i < n && text[i] == QLatin1Char('.')) {
        ++i;
        while (i < n && text[i].isDigit() && text[i].unicode() < 128) {
            ++i;
            digits = true;
        }
    }
    if (!digits)
        return 0;
    int end = i;
    if (i < n && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        int j = i + 1;
        if (j < n && (text[j] == QLatin1Char('+') || text[j] == QLatin1Char('-')))
            ++j;
        int k = j;
        while (k < n && text[k].isDigit() && text[k].unicode() < 128)
            ++k;
        if (k > j)
            end = k;
    }
    bool ok = false;
    const double value = text.mid(start, end - start).toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return 0;
    return value;
}

double roundHalfEven(double value) {
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(value);
    std::fesetround(saved);
    return r;
}

quint8 toBcd(int value) {
    value = qBound(0, value, 99);
    return quint8((value / 10) * 16 + value % 10);
}

int fromBcd(quint8 byte) {
    return (byte >> 4) * 10 + (byte & 0x0F);
}

QByteArray bytes(std::initializer_list<quint8> values) {
    QByteArray out;
    out.reserve(qsizetype(values.size()));
    for (quint8 v : values)
        out.append(char(v));
    return out;
}

QString hex2(quint8 byte) {
    return QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
}

double roundUp(double v) {
    if (!(v > 0) || !std::isfinite(v))
        return 0;
    const double power = std::pow(10.0, std::floor(std::log10(v)));
    for (const double step : {1.0, 2.0, 2.5, 5.0, 10.0}) {
        if (step * power >= v * (1 - 1e-12))
            return step * power;
    }
    return 10 * power;
}

} // namespace lumetra
