#include "recordfile.h"

#include <cstring>

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

bool isRecordLine(QByteArrayView line) {
    qsizetype digits = 0;
    while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9')
        ++digits;
    return digits > 0 && digits < line.size() && line[digits] == '\t';
}

QStringList fields(QString line) {
    while (line.endsWith(QLatin1Char('\n')) || line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    return line.split(QLatin1Char('\t'));
}

void appendFields(const char* line, qsizetype size, int columns, QVector<QString>& cells) {
    while (size > 0 && (line[size - 1] == '\r' || line[size - 1] == '\n'))
        --size;
    qsizetype start = 0;
    for (int c = 0; c < columns; ++c) {
        if (start > size) {
            cells.append(QString());
            continue;
        }
        const void* tab = std::memchr(line + start, '\t', size_t(size - start));
        const qsizetype end = tab ? static_cast<const char*>(tab) - line : size;
        cells.append(QString::fromLatin1(line + start, end - start));
        start = end + 1;
    }
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

void appendGridCell(QByteArray& out, QStringView cell) {
    const qsizetype at = out.size();
    out.resize(at + cell.size() + 1);
    char* p = out.data() + at;
    for (const QChar c : cell)
        *p++ = c.unicode() < 0x100 ? char(c.unicode()) : '?'; // as toLatin1() has it
    *p = '\t';
}

QString decode(const QByteArray& bytes) {
    return QString::fromLatin1(bytes);
}

} // namespace lumetra::recordfile
