#pragma once

#include "model/displaystate.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

namespace lumetra {

// One sampling moment of an unattended recording, as the CSV row and the published message
// carry it. Overloads, measuring modes and the meter's absence are rows of their own, never
// a made-up number.
struct Sample {
    // Gap: the meter was away until `until`, when it answered again; Away: it was away from
    // `time` to the end of the recording at `until`, and never answered again.
    enum Status { Ok, Over, Gap, Mode, Away };
    QDateTime time;
    Status status = Ok;
    QString readingText; // as the meter shows it ("12.34"); empty unless Ok
    double value = 0;    // the reading in the unit shown; meaningful when Ok
    QString unit;        // "Lx", "Fc" or empty
    QDateTime until;     // a gap: when the meter answered again (Away: the recording's end)
};

namespace samples {

inline constexpr double kLuxPerFootCandle = 10.7639;

// What the poll shows right now, as a sample taken at `when`.
Sample fromDisplay(const DisplayState& display, const QDateTime& when);
// The time the meter was away, from its last reading to its return.
Sample gap(const QDateTime& from, const QDateTime& until, bool answeredAgain = true);
QString statusName(Sample::Status status);
// The reading in lux (foot-candles converted); NaN unless Ok.
double lux(const Sample& sample);

// ISO 8601 with the UTC offset ("2026-12-09T14:03:07+01:00"); milliseconds when asked.
QString isoTime(const QDateTime& when, bool milliseconds);

// CSV: one header line, then one row per sample; lines end in LF.
QString csvHeader();
QString csvRow(const Sample& sample, bool milliseconds);

// A CSV row read back as a record of the desktop's lists: the day stamp "DD-hh:nn:ss" in
// local time, the reading ("OL" for an overload) and its unit. Nothing for a row that holds
// no reading (a gap or a measuring mode) or that is no row of ours.
struct CsvRecord {
    QString stamp;
    QString reading;
    QString unit;
    qint64 ms = 0; // the moment, with the row's own UTC offset
};
bool isCsvHeader(const QString& line);
std::optional<CsvRecord> recordOfCsvRow(const QString& line);
// A reading shown in one unit ("Lx" or "Fc") in the other, to the same resolution (a
// foot-candle reading has one decimal more than the lux it stands for); "OL" stays. Nothing
// for any other pair of units: such a reading cannot be converted.
std::optional<QString> readingIn(const QString& reading, const QString& from, const QString& to);

// The message published for a sample: time, illuminance in lux to the reading's resolution
// (null unless Ok), the reading and its unit as the meter shows them, status.
QByteArray stateJson(const Sample& sample, bool milliseconds);

// A name for the meter's device that tells it apart on its host: a /dev/serial/by-id/ link's
// name, a device under /dev with its folders ("pts-0", not "0"), else the file's name.
QString deviceLabel(const QString& devicePath);
// Where a recorder publishes unless told otherwise: lumetra/<host>/<device label>, with
// what a topic level cannot hold replaced, so two hosts with a ttyUSB0 each never meet.
QString defaultTopic(const QString& host, const QString& deviceLabel);

// Home Assistant's discovery message for one illuminance sensor; its ids carry the host too.
struct Discovery {
    QByteArray topic;
    QByteArray payload;
};
Discovery discovery(const QString& prefix, const QString& host, const QString& deviceLabel);

} // namespace samples
} // namespace lumetra
