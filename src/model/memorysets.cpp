#include "memorysets.h"

#include "model/numbers.h"

#include <cmath>

namespace lumetra::memorysets {
namespace {

bool markerAt(const QByteArray& data, qsizetype at) {
    return at >= 0 && at + kMarker.size() <= data.size() && data.mid(at, kMarker.size()) == kMarker;
}

bool bcdAtMost(quint8 b, int most) {
    return (b & 0x0F) <= 9 && (b >> 4) <= 9 && fromBcd(b) <= most;
}

// A marker followed by a plausible set header (day, time and interval in BCD): the start of a
// set whose own marker arrived at a place the aligned search does not look.
bool setStartsAt(const QByteArray& data, qsizetype at) {
    if (!markerAt(data, at) || at + kHeaderSize > data.size())
        return false;
    const auto b = [&](int i) { return quint8(data[at + i]); };
    return bcdAtMost(b(4), 31) && bcdAtMost(b(5), 23) && bcdAtMost(b(6), 59) &&
           bcdAtMost(b(7), 59) && bcdAtMost(b(8), 99) && bcdAtMost(b(9), 59);
}

QString two(int v) {
    return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0'));
}

} // namespace

int replyLength(quint32 pointer) {
    return int(pointer) - 1519;
}

QString freeMemoryText(quint32 pointer) {
    double kb = 0;
    if (pointer < 131059) {
        const double tenths = std::trunc((kLastAddress - double(pointer)) / 1024.0 * 10.0);
        kb = tenths / 10.0;
    }
    return QLatin1Char(' ') + QString::number(kb, 'g', 10) + QStringLiteral(" K");
}

QByteArray storedMemory(const QByteArray& reply, int length) {
    QByteArray d = reply.mid(15, length - 16);
    d.append(d.left(4));
    return d;
}

int recordCount(const QByteArray& set) {
    return (int(set.size()) - kHeaderSize) / kRecordSize;
}

Split split(const QByteArray& d, int maxSets) {
    Split result;
    qsizetype p = 0;
    while (p < d.size() - 4) {
        if (!markerAt(d, p)) {
            result.status = p == 0 ? Split::NoLeadingMarker : Split::BrokenChain;
            return result;
        }
        // A set stopped before its first record is a header alone: the next marker follows
        // at once.
        int n = 0;
        while (!markerAt(d, p + kHeaderSize + kRecordSize * n)) {
            if (p + kHeaderSize + kRecordSize * n >= d.size()) {
                result.status = Split::BrokenChain; // no marker closes this set
                return result;
            }
            ++n;
        }
        const int m = kHeaderSize + kRecordSize * n;
        // A set header between here and the end found means the marker that should have
        // closed this set was spoiled on the way: the set would swallow the sets behind it.
        for (qsizetype q = d.indexOf(kMarker, p + kHeaderSize); q >= 0 && q < p + m;
             q = d.indexOf(kMarker, q + 1)) {
            if (setStartsAt(d, q)) {
                result.status = Split::BrokenChain;
                return result;
            }
        }
        if (result.sets.size() < maxSets)
            result.sets.append(d.mid(p, m));
        p += m;
    }
    return result;
}

QStringList tableRow(int number, const QByteArray& set) {
    const auto b = [&](int offset) { return quint8(set.at(offset)); };
    const QString start = hex2(b(4)) + QLatin1Char('-') + hex2(b(5)) + QLatin1Char(':') +
                          hex2(b(6)) + QLatin1Char(':') + hex2(b(7));
    const int interval = fromBcd(b(8)) * 60 + fromBcd(b(9));
    return {QString::number(number), start, QString::number(interval),
            QString::number(recordCount(set))};
}

Timeline::Timeline(const QString& startText, int intervalSeconds, const QDate& today)
    : interval(intervalSeconds) {
    const QString day = startText.left(2);
    dayZero = day == QLatin1String("00");
    // A "00" day is no calendar day: the month number stands in for it. A day the month does
    // not have rolls over into the next month.
    const int d = dayZero ? today.month() : day.toInt();
    const QDate base = QDate(today.year(), today.month(), 1).addDays(std::max(d, 1) - 1);
    const QTime time = QTime::fromString(startText.mid(3, 8), QStringLiteral("HH:mm:ss"));
    // The meter's clock knows no daylight saving: the arithmetic runs without a time zone, so
    // a set that spans a change of the PC's clock is not labelled an hour off.
    start = QDateTime(base, time.isValid() ? time : QTime(0, 0), Qt::UTC);
}

QString Timeline::label(int record) const {
    const QDateTime t = start.addSecs(qint64(record - 1) * interval);
    const QString clock = t.toString(QStringLiteral("HH:mm:ss"));
    if (!dayZero)
        return two(t.date().day()) + QLatin1Char('-') + clock;
    // Day "00": the days that have passed since the start are counted.
    return two(int(start.date().daysTo(t.date()))) + QLatin1Char('-') + clock;
}

} // namespace lumetra::memorysets
