#include "recordfile.h"

namespace lumetra::recordfile {
namespace {

QString two(int v) {
    return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0'));
}

QString padded(const QString& cell, int width) {
    if (cell.size() > width)
        return cell + QLatin1Char(' ');
    return cell.leftJustified(width, QLatin1Char(' '));
}

} // namespace

QString headerLine(const QString& unit) {
    return unit + QStringLiteral("\tTime\tValue");
}

QString timeStamp(const QDateTime& when) {
    const QDate d = when.date();
    const QTime t = when.time();
    return two(d.day()) + QLatin1Char('-') + two(t.hour()) + QLatin1Char(':') + two(t.minute()) +
           QLatin1Char(':') + two(t.second());
}

QString sampleText(const QDateTime& when, const QString& readingText) {
    return timeStamp(when) + QLatin1Char('\t') + readingText;
}

QString recordLine(int number, const QString& sample) {
    return QString::number(number) + QLatin1Char('\t') + sample;
}

QString headerUnit(const QString& line) {
    if (line.contains(QLatin1String("Lx")))
        return QStringLiteral("Lx");
    if (line.contains(QLatin1String("Fc")))
        return QStringLiteral("Fc");
    return {};
}

QStringList fields(QString line) {
    while (line.endsWith(QLatin1Char('\n')) || line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    return line.split(QLatin1Char('\t'));
}

QString gridLine(const QStringList& cells) {
    QString line;
    for (const QString& c : cells)
        line += c + QLatin1Char('\t');
    return line;
}

QString printedLine(const QStringList& cells) {
    static constexpr int widths[] = {10, 15, 15};
    QString line;
    for (int i = 0; i < 3; ++i)
        line += padded(i < cells.size() ? cells[i] : QString(), widths[i]);
    return line;
}

QByteArray encode(const QString& text) {
    return text.toLatin1();
}

QString decode(const QByteArray& bytes) {
    return QString::fromLatin1(bytes);
}

} // namespace lumetra::recordfile
