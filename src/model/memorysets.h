#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

namespace lumetra::memorysets {

inline constexpr quint32 kEmptyPointer = 1535;
inline constexpr quint32 kLastAddress = 131071;
inline constexpr int kHeaderSize = 10;
inline constexpr int kRecordSize = 3;
inline const QByteArray kMarker = QByteArray("\x00\x55\xAA\x00", 4);

// Bytes the meter sends for "Q": preamble, stored memory, trailing byte.
int replyLength(quint32 pointer);
// " 12.3 K": free memory in KB, one decimal at most (truncated), no trailing zero.
QString freeMemoryText(quint32 pointer);
// The stored memory out of a complete reply, followed by a copy of its first four bytes
// that closes the last set.
QByteArray storedMemory(const QByteArray& reply, int length);

struct Split {
    enum Status { Complete, BrokenChain, NoLeadingMarker };
    Status status = Complete;
    QVector<QByteArray> sets; // set 1 first
};
// Splits the stored memory at the set markers. A set's record count is found by looking for
// the next marker at offsets 10 + 3k; a marker anywhere else is not seen, unless a set header
// follows it: then a marker was spoiled and the chain is broken.
Split split(const QByteArray& stored, int maxSets);

// The set table row: number, start "DD-HH:MM:SS", interval in seconds, record count.
QStringList tableRow(int number, const QByteArray& set);
int recordCount(const QByteArray& set);

// Time labels of a set's records: the year and month come from today (the meter keeps only
// day and time); record i lies (i - 1) x interval seconds after the start.
struct Timeline {
    Timeline(const QString& startText, int intervalSeconds, const QDate& today);
    QString label(int record) const; // record counts from 1
    QDateTime start;
    int interval = 0;
    bool dayZero = false; // the meter stamped day "00"
};

} // namespace lumetra::memorysets
