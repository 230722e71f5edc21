#include "entry.h"

#include "model/numbers.h"

#include <QRegularExpression>

#include <cmath>

namespace lumetra::entry {
namespace {

// Two whole numbers of at most two digits around a colon: "1:5", "01:05".
std::optional<std::pair<int, int>> minutesAndSeconds(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^(\\d{1,2}):(\\d{1,2})$"));
    const QRegularExpressionMatch m = form.match(text.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    return std::pair{m.captured(1).toInt(), m.captured(2).toInt()};
}

} // namespace

Reading<int> distanceHundredths(const QString& text) {
    const QString range = QStringLiteral("Type a distance from 0.00 to 9.99, such as 2 or 2.5.");
    static const QRegularExpression form(QStringLiteral("^(\\d*)(?:\\.(\\d*))?$"));
    const QString t = text.trimmed();
    const QRegularExpressionMatch m = form.match(t);
    const QString whole = m.captured(1);
    const QString fraction = m.captured(2);
    if (!m.hasMatch() || (whole.isEmpty() && fraction.isEmpty()))
        return {std::nullopt, range, {}};
    // Leading zeros are allowed ("01.50"); the whole part is one digit.
    qsizetype zeros = 0;
    while (zeros < whole.size() && whole[zeros] == QLatin1Char('0'))
        ++zeros;
    if (whole.size() - zeros > 1)
        return {std::nullopt, range, {}};
    const int hundredths = whole.toInt() * 100 + (fraction + QStringLiteral("00")).left(2).toInt();
    QString note;
    if (fraction.size() > 2 &&
        fraction.mid(2).contains(QRegularExpression(QStringLiteral("[1-9]"))))
        note = QStringLiteral("%1 was taken as %2.%3: the meter keeps hundredths.")
                   .arg(t)
                   .arg(hundredths / 100)
                   .arg(hundredths % 100, 2, 10, QLatin1Char('0'));
    return {hundredths, {}, note};
}

Reading<std::pair<int, int>> holdTime(const QString& text) {
    const auto t = minutesAndSeconds(text);
    if (!t || t->first > 59 || t->second > 59)
        return {std::nullopt,
                QStringLiteral("Type the time as MM:SS, minutes and seconds each from 00 to 59, "
                               "such as 01:30."),
                {}};
    return {t, {}, {}};
}

Reading<std::pair<int, int>> meterInterval(const QString& text) {
    const auto t = minutesAndSeconds(text);
    if (!t || t->second > 59 || t->first * 60 + t->second > 180)
        return {std::nullopt,
                QStringLiteral("Type the interval as MM:SS, from 00:00 to 03:00, such as 00:10."),
                {}};
    return {t, {}, {}};
}

Reading<int> pcInterval(const QString& text) {
    const QString range = QStringLiteral("Type whole seconds from 1 to 86400, such as 5.");
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return {std::nullopt, range, {}};
    const double t = roundHalfEven(value);
    if (t < 1 || t > 86400)
        return {std::nullopt, range, {}};
    QString note;
    if (t != value)
        note = QStringLiteral("%1 s was taken as %2 s: the PC samples in whole seconds.")
                   .arg(text.trimmed())
                   .arg(int(t));
    return {int(t), {}, note};
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
