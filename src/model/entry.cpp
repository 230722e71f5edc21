#include "entry.h"

#include "model/numbers.h"

#include <cmath>

namespace lumetra::entry {
namespace {

struct Parts {
    double before;
    double after;
};

Parts split(const QString& text, QChar separator) {
    const qsizetype p = text.indexOf(separator);
    return {leadingNumber(text.left(p)), leadingNumber(text.mid(p + 1))};
}

} // namespace

bool malformed(const QString& text, QChar separator) {
    const qsizetype p = text.indexOf(separator);
    return p < 0 || p == 0 || text.size() < 3 || text.indexOf(separator, p + 1) >= 0 ||
           p == text.size() - 1;
}

std::optional<int> distanceHundredths(const QString& text) {
    const qsizetype p = text.indexOf(QLatin1Char('.'));
    double whole = leadingNumber(text.left(p));
    const double fraction = leadingNumber((text.mid(p + 1) + QLatin1Char('0')).left(2));
    if (whole > 9)
        whole = 9;
    if (whole < 0 || fraction < 0)
        return std::nullopt;
    return int(100 * std::trunc(whole) + std::trunc(fraction));
}

std::optional<std::pair<int, int>> holdTime(const QString& text) {
    auto [m, s] = split(text, QLatin1Char(':'));
    if (m > 59)
        m = 59;
    if (s > 59)
        s = 59;
    if (m < 0 || s < 0)
        return std::nullopt;
    // A fractional part has no place in a BCD byte: whole minutes and seconds count.
    return std::pair{int(m), int(s)};
}

std::optional<std::pair<int, int>> meterInterval(const QString& text) {
    auto [mm, ss] = split(text, QLatin1Char(':'));
    if (mm < 0 || ss < 0)
        return std::nullopt;
    int m = int(std::min(mm, 1e6));
    int s = int(std::min(ss, 1e6));
    if ((m == 3 && s > 0) || m > 3) {
        m = 3;
        s = 0;
    }
    if (s >= 60)
        s %= 60;
    return std::pair{m, s};
}

std::optional<int> pcInterval(const QString& text) {
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    const double t = std::clamp(roundHalfEven(value), 1.0, 86400.0);
    return int(t);
}

QString distancePrompt(const QString& unitText) {
    return QStringLiteral("Enter the distance from the Light Source (0.01~9.99)\r\n") +
           (unitText == QLatin1String("Fc") ? QStringLiteral("ft") : QStringLiteral("m")) +
           QStringLiteral(" ( ") + unitText + QStringLiteral(" )");
}

QString distanceDefault(int hundredths) {
    return QStringLiteral("%1.%2")
        .arg(hundredths / 100, 2, 10, QLatin1Char('0'))
        .arg(hundredths % 100, 2, 10, QLatin1Char('0'));
}

} // namespace lumetra::entry
