#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

namespace lumetra {
class RecordTable;
}

namespace lumetra::exposure {

// A series of illuminance readings with their times (milliseconds since the epoch, so a
// change of daylight-saving time changes no duration). NaN: no reading at that moment.
struct Series {
    QList<qint64> timesMs;
    QList<double> lux;
    qint64 intervalMs = 1000; // the sampling interval: a longer step than twice this is a gap
};

inline constexpr std::array<double, 3> kBandLimits{100, 500, 2000};

// What the light did over a stretch of the series. Between two readings the light is taken
// to change evenly (trapezoids); a step longer than twice the interval, or one that ends in
// a missing reading, is a gap and counts for nothing but gapMs.
struct Figures {
    double luxHours = 0; // the dose
    qint64 coveredMs = 0;
    qint64 gapMs = 0;
    qint64 aboveMs = 0;             // at or above the threshold
    qint64 belowMs = 0;             // below it
    std::array<qint64, 4> bandMs{}; // below 100, 100 to 500, 500 to 2000, from 2000 lx; a
                                    // reading on a limit is in the band above it
};

// Over the readings first..last (indices, inclusive).
Figures figures(const Series& series, qsizetype first, qsizetype last, double threshold);

// The mean illuminance of each local calendar hour: days down, hours across; NaN where no
// reading fell. A day of 23 or 25 hours (daylight-saving changes) fills its hours as the
// clock on the wall showed them.
struct Profile {
    QDate firstDay;
    int days = 0;
    QList<double> mean; // days x 24
    double at(int day, int hour) const { return mean.at(day * 24 + hour); }
};
Profile dailyProfile(const Series& series);

// Exposure for photographers: EV at ISO 100 is log2(E / 2.5) with E in lux; the f-number for
// an ISO and a shutter time follows from N^2 / t = 2^EV at that ISO.
double ev100(double lux);
double fNumber(double lux, double iso, double shutterSeconds);
double stops(double luxA, double luxB); // log2(A / B)

// The times of a record file's "DD-hh:nn:ss" stamps. The file keeps day and time only: the
// last record is taken to lie in the month of the file's last change (modified), and each
// time the day goes down from one record to the next a month has begun. An invalid stamp
// gives an invalid time. The stamps are local time: an hour the clock showed twice (it went
// back) is settled by keeping the records in order, an hour it skipped by the offset after
// the change; `settled` then says so.
QList<QDateTime> recordFileTimes(const QStringList& stamps, const QDateTime& modified,
                                 bool* settled = nullptr);

// A list's records (number, "DD-hh:nn:ss", reading) as CSV rows: time (ISO 8601 with its
// offset, dated as recordFileTimes dates them from `reference`), reading, unit, status (ok,
// over, unreadable); with datesAssumed a last column says the date was assumed. A header
// line first; lines end in LF.
QByteArray listCsv(const RecordTable& table, const QDateTime& reference, bool datesAssumed);

} // namespace lumetra::exposure
