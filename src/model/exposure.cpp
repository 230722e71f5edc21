#include "exposure.h"

#include "model/recordtable.h"
#include "model/samplerow.h"

#include <QHash>
#include <QRegularExpression>
#include <QVarLengthArray>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace lumetra::exposure {
namespace {

// Of a straight stretch from a to b (values at its ends) lasting ms: how long it lies at or
// above the level (a steady 100 lx is in the band from 100 lx, not below it).
double msAbove(double a, double b, double level, double ms) {
    if (a >= level && b >= level)
        return ms;
    if (a < level && b < level)
        return 0;
    const double crossing = (level - a) / (b - a) * ms; // where it passes the level
    return a >= level ? crossing : ms - crossing;
}

} // namespace

Figures figures(const Series& s, qsizetype first, qsizetype last, double threshold) {
    Figures f;
    first = std::max<qsizetype>(first, 0);
    last = std::min<qsizetype>(last, s.timesMs.size() - 1);
    const qint64 longestStep = 2 * s.intervalMs;
    double above = 0, bands[5] = {};
    for (qsizetype i = first; i < last; ++i) {
        const qint64 step = s.timesMs[i + 1] - s.timesMs[i];
        const double a = s.lux[i], b = s.lux[i + 1];
        if (step <= 0)
            continue;
        if (step > longestStep || std::isnan(a) || std::isnan(b)) {
            f.gapMs += step;
            continue;
        }
        f.coveredMs += step;
        f.luxHours += (a + b) / 2.0 * double(step) / 3.6e6;
        above += msAbove(a, b, threshold, double(step));
        for (int k = 0; k < 3; ++k)
            bands[k] += msAbove(a, b, kBandLimits[size_t(k)], double(step));
    }
    f.aboveMs = std::llround(above);
    f.belowMs = f.coveredMs - f.aboveMs;
    // Time above each limit, turned into time between limits.
    const double covered = double(f.coveredMs);
    f.bandMs[0] = std::llround(covered - bands[0]);
    f.bandMs[1] = std::llround(bands[0] - bands[1]);
    f.bandMs[2] = std::llround(bands[1] - bands[2]);
    f.bandMs[3] = std::llround(bands[2]);
    return f;
}

Profile dailyProfile(const Series& s) {
    Profile p;
    if (s.timesMs.isEmpty())
        return p;
    const auto local = [](qint64 ms) { return QDateTime::fromMSecsSinceEpoch(ms).toLocalTime(); };
    p.firstDay = local(s.timesMs.first()).date();
    p.days = int(p.firstDay.daysTo(local(s.timesMs.last()).date())) + 1;
    QList<double> sum(p.days * 24, 0.0);
    QList<int> count(p.days * 24, 0);
    // Every clock on Earth is a whole number of quarter hours from UTC: within one quarter
    // hour of UTC the local day and hour stay, and the slow conversion runs once per quarter.
    constexpr qint64 kQuarterMs = 15 * 60 * 1000;
    qint64 block = std::numeric_limits<qint64>::min();
    qsizetype cell = -1;
    for (qsizetype i = 0; i < s.timesMs.size(); ++i) {
        if (std::isnan(s.lux[i]))
            continue;
        const qint64 ms = s.timesMs[i];
        const qint64 b = ms >= 0 ? ms / kQuarterMs : (ms - kQuarterMs + 1) / kQuarterMs;
        if (b != block) {
            block = b;
            const QDateTime t = local(ms);
            const qint64 day = p.firstDay.daysTo(t.date());
            // The clock went back past the first day: not in the picture.
            cell = day < 0 || day >= p.days ? -1 : day * 24 + t.time().hour();
        }
        if (cell < 0)
            continue;
        sum[cell] += s.lux[i];
        ++count[cell];
    }
    p.mean.resize(sum.size());
    for (qsizetype c = 0; c < sum.size(); ++c)
        p.mean[c] = count[c] ? sum[c] / count[c] : std::nan("");
    return p;
}

double ev100(double lux) {
    return std::log2(lux / 2.5);
}

double fNumber(double lux, double iso, double shutterSeconds) {
    const double ev = ev100(lux) + std::log2(iso / 100.0);
    return std::sqrt(shutterSeconds * std::exp2(ev));
}

double stops(double luxA, double luxB) {
    return std::log2(luxA / luxB);
}

QList<QDateTime> recordFileTimes(const QStringList& stamps, const QDateTime& modified,
                                 bool* settled) {
    static const QRegularExpression shape(QStringLiteral("^(\\d\\d)-(\\d\\d):(\\d\\d):(\\d\\d)$"));
    QList<QDateTime> times(stamps.size());
    // From the last record back: its month is the file's; a day that goes up going back
    // means the month before.
    QDate month(modified.date().year(), modified.date().month(), 1);
    // A last stamp later in its month than the file's change was made the month before.
    for (qsizetype i = stamps.size() - 1; i >= 0; --i) {
        if (const auto m = shape.match(stamps[i]); m.hasMatch()) {
            const QString dayAndTime = modified.toString(QStringLiteral("dd-HH:mm:ss"));
            if (stamps[i] > dayAndTime)
                month = month.addMonths(-1);
            break;
        }
    }
    int laterDay = -1;
    QList<QDateTime> wall(stamps.size()); // the clock's reading, as yet without an offset
    for (qsizetype i = stamps.size() - 1; i >= 0; --i) {
        const auto m = shape.match(stamps[i]);
        if (!m.hasMatch())
            continue;
        const int day = m.captured(1).toInt();
        if (laterDay >= 0 && day > laterDay)
            month = month.addMonths(-1);
        laterDay = day;
        const QDate date(month.year(), month.month(), day);
        const QTime time(m.captured(2).toInt(), m.captured(3).toInt(), m.captured(4).toInt());
        if (date.isValid() && time.isValid())
            wall[i] = QDateTime(date, time, Qt::UTC);
    }
    // The clock's readings as moments. Where the wall clock went back (an hour shown twice),
    // a reading of that hour is the first moment that keeps the records in order. Where it
    // went forward (a skipped hour, which a meter's clock may still show), the offset after
    // the change, unless only the one before keeps the order: then the clock that wrote the
    // stamps did not change, and its later stamps keep that offset while they need it.
    // Per hour: the offsets 15 h either side, far enough to see past a change from a wall time
    // taken as UTC in any zone (UTC-12 to UTC+14), near enough never to see two changes.
    QHash<qint64, std::pair<qint64, qint64>> offsets;
    const auto offsetAt = [](qint64 ms) {
        return qint64(QDateTime::fromMSecsSinceEpoch(ms).offsetFromUtc()) * 1000;
    };
    constexpr qint64 kHourMs = 3600 * 1000;
    qint64 previous = std::numeric_limits<qint64>::min();
    std::optional<qint64> kept; // the offset of a clock that did not follow the wall's
    for (qsizetype i = 0; i < stamps.size(); ++i) {
        if (!wall[i].isValid())
            continue;
        const qint64 naive = wall[i].toMSecsSinceEpoch();
        auto around = offsets.find(naive / kHourMs);
        if (around == offsets.end())
            around = offsets.insert(
                naive / kHourMs, {offsetAt(naive - 15 * kHourMs), offsetAt(naive + 15 * kHourMs)});
        const auto [offsetBefore, offsetAfter] = *around;
        const auto shows = [&](qint64 ms) {
            const QDateTime t = QDateTime::fromMSecsSinceEpoch(ms);
            return t.date() == wall[i].date() && t.time() == wall[i].time();
        };
        struct Candidate {
            qint64 ms;
            bool settles;
        };
        QVarLengthArray<Candidate, 3> candidates;
        bool skipped = false;
        if (offsetBefore == offsetAfter) {
            candidates.append({naive - offsetBefore, false});
        } else {
            const qint64 before = naive - offsetBefore, after = naive - offsetAfter;
            const bool a = shows(before), b = shows(after);
            skipped = !a && !b;
            if (a == b) {
                candidates.append({after, true});
                candidates.append({before, true});
            } else {
                candidates.append({a ? before : after, false});
            }
        }
        if (kept)
            candidates.append({naive - *kept, true});
        // The earliest that keeps the order; none does: the first (a clock set back).
        const Candidate* chosen = nullptr;
        for (const Candidate& c : candidates) {
            if (c.ms >= previous && (!chosen || c.ms < chosen->ms))
                chosen = &c;
        }
        if (!chosen)
            chosen = &candidates.first();
        if (chosen->settles && settled)
            *settled = true;
        if (skipped || (kept && chosen == &candidates.last())) {
            const qint64 offset = naive - chosen->ms;
            kept = offset == offsetAfter ? std::nullopt : std::optional(offset);
        }
        times[i] = QDateTime::fromMSecsSinceEpoch(chosen->ms);
        previous = chosen->ms;
    }
    return times;
}

QByteArray listCsv(const RecordTable& table, const QDateTime& reference, bool datesAssumed) {
    const QString head = table.header(0);
    const QString unit =
        head == QLatin1String("Lx") || head == QLatin1String("Fc") ? head : QString();
    QStringList stamps;
    stamps.reserve(table.rowCount());
    for (int r = 0; r < table.rowCount(); ++r)
        stamps << table.cell(r, 1);
    const QList<QDateTime> times = recordFileTimes(stamps, reference);
    QByteArray out =
        datesAssumed ? "time,reading,unit,status,date_assumed\n" : "time,reading,unit,status\n";
    for (int r = 0; r < table.rowCount(); ++r) {
        const QString reading = table.cell(r, 2).trimmed();
        bool number = false;
        reading.toDouble(&number);
        const char* status = number ? "ok" : reading == QLatin1String("OL") ? "over" : "unreadable";
        out += samples::isoTime(times[r], false).toUtf8() + ',' +
               (number ? reading.toUtf8() : QByteArray()) + ',' + unit.toUtf8() + ',' + status;
        if (datesAssumed)
            out += times[r].isValid() ? ",yes" : ",";
        out += '\n';
    }
    return out;
}

} // namespace lumetra::exposure
