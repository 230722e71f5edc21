#include "emergency.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <deque>

namespace lumetra::emergency {
namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

double secondsFrom(qint64 failureMs, qint64 ms) {
    return double(ms - failureMs) / 1000.0;
}

// A time as the display period resolves it.
double resolved(double seconds) {
    return std::round(seconds / kResolutionS) * kResolutionS;
}

// The first reading of the series below half the mean of the kNormalWindowS before it.
void findFailure(const QList<Reading>& readings, Assessment& a) {
    std::deque<Reading> window;
    double sum = 0;
    for (const Reading& r : readings) {
        if (!std::isfinite(r.lux))
            continue;
        while (!window.empty() && r.ms - window.front().ms > qint64(kNormalWindowS * 1000)) {
            sum -= window.front().lux;
            window.pop_front();
        }
        const double mean = window.empty() ? kNaN : sum / double(window.size());
        if (mean > 0 && r.lux < mean / 2) {
            a.failureFound = true;
            a.failureMs = r.ms;
            a.normalLux = mean;
            return;
        }
        window.push_back(r);
        sum += r.lux;
    }
}

// The first reading from the failure on at or above `lux`.
std::optional<double> firstAtOrAbove(const Input& in, const Assessment& a, double lux) {
    for (const Reading& r : in.readings) {
        const double t = secondsFrom(a.failureMs, r.ms);
        if (t < 0 || std::isnan(r.lux))
            continue;
        if (t > in.ratedS)
            break;
        if (r.lux >= lux)
            return resolved(t);
    }
    return std::nullopt;
}

// Stretches below the minimum after the response, the lowest and the last reading, and the
// gaps: one pass over the rated duration.
void followTheLight(const Input& in, Assessment& a) {
    // Plain doubles: -1 is none (an optional here draws a false warning from the compiler).
    double open = -1, previous = -1, lastBelow = 0;
    const auto close = [&](double to) {
        a.dips << Stretch{open, to};
        if (!a.timeToFailureS && to - open >= kDipLimitS - 1e-9)
            a.timeToFailureS = resolved(open);
        open = -1;
    };
    for (const Reading& r : in.readings) {
        const double t = secondsFrom(a.failureMs, r.ms);
        if (t < 0)
            continue;
        if (t > in.ratedS) { // a moment after the end: the whole duration is covered
            a.lastS = in.ratedS;
            break;
        }
        a.lastS = std::max(a.lastS, t);
        if (std::isnan(r.lux))
            continue;
        const double from = std::max(previous, 0.0);
        if (t - from > kLongestStepS) {
            a.gaps << Stretch{from, t};
            // Still below after the gap: the stretch goes on across it (a short gap must not
            // split a failure in two); back above: it ended at its last reading below.
            if (open >= 0 && r.lux >= a.requiredLux)
                close(lastBelow);
        }
        previous = t;
        a.endLux = r.lux;
        if (t < a.responseEndS)
            continue;
        a.lowestLux = std::isnan(a.lowestLux) ? r.lux : std::min(a.lowestLux, r.lux);
        if (r.lux < a.requiredLux) {
            if (open < 0)
                open = t;
            lastBelow = t;
        } else if (open >= 0) {
            close(t);
        }
    }
    const bool over = in.ended || a.lastS >= in.ratedS;
    const double heard = std::max(previous, 0.0);
    if (over && heard < in.ratedS - kLongestStepS) // the end never came
        a.gaps << Stretch{heard, in.ratedS};
    if (open >= 0) {
        a.belowSinceS = open;
        const double to = a.lastS >= in.ratedS ? in.ratedS : lastBelow;
        if (to - open >= kDipLimitS - 1e-9 || over)
            close(to);
    }
    for (const Stretch& g : a.gaps)
        a.gapsS += g.length();
    a.gapsS = resolved(a.gapsS);
}

WalkFigures figuresOf(const QList<WalkPoint>& points) {
    WalkFigures f;
    for (const WalkPoint& p : points) {
        f.minLux = f.count == 0 ? p.lux : std::min(f.minLux, p.lux);
        f.maxLux = f.count == 0 ? p.lux : std::max(f.maxLux, p.lux);
        f.averageLux += p.lux;
        ++f.count;
    }
    if (f.count > 0)
        f.averageLux /= f.count;
    return f;
}

void judgeWalk(const WalkFigures& f, const QString& when, double minimum, double average,
               const Rule& rule, QStringList& reasons) {
    if (f.count == 0)
        return;
    if (f.minLux < minimum)
        reasons << QStringLiteral("The walk %1 found Emin %2, below %3.")
                       .arg(when, luxText(f.minLux), luxText(minimum));
    if (f.ratio() > rule.ratioMax)
        reasons << QStringLiteral("The walk %1 found Emax/Emin %2, over %3.")
                       .arg(when, QString::number(f.ratio(), 'f', 1))
                       .arg(rule.ratioMax);
    if (average >= 0 && f.averageLux < average)
        reasons << QStringLiteral("The walk %1 found an average of %2, below %3.")
                       .arg(when, luxText(f.averageLux), luxText(average));
}

void judgeResponse(const Input& in, Assessment& a, bool over) {
    const auto judge = [&](const std::optional<double>& t, double limit, int percent, double lux) {
        if (limit < 0)
            return;
        if (t && *t > limit + 1e-9)
            a.reasons << QStringLiteral("%1 % of the minimum (%2) came after %3; the limit is %4.")
                             .arg(percent)
                             .arg(luxText(lux), durationText(*t), durationText(limit));
        else if (!t && (over || a.lastS > limit))
            a.reasons << QStringLiteral("The light never reached %1 % of the minimum (%2) within "
                                        "%3.")
                             .arg(percent)
                             .arg(luxText(lux), durationText(limit));
    };
    judge(a.t50S, in.rule.t50LimitS, 50, a.responseLux / 2);
    judge(a.t100S, in.rule.t100LimitS, 100, a.responseLux);
}

void judge(const Input& in, Assessment& a) {
    const bool over = in.ended || a.lastS >= in.ratedS;
    judgeResponse(in, a, over);
    if (a.timeToFailureS) {
        double length = kDipLimitS;
        for (const Stretch& d : a.dips) {
            if (resolved(d.fromS) == *a.timeToFailureS && d.length() >= kDipLimitS - 1e-9) {
                length = d.length();
                break;
            }
        }
        a.reasons << QStringLiteral("The reading stayed below %1 for %2 from %3.")
                         .arg(luxText(a.requiredLux), durationText(length),
                              durationText(*a.timeToFailureS));
    }
    // Once it is over, the last reading stands for the end, also when the readings stopped
    // early (the meter away, the test stopped).
    if (over && a.endLux && *a.endLux < a.requiredLux)
        a.reasons << QStringLiteral("At the end of the rated duration the reading was %1, below "
                                    "%2.")
                         .arg(luxText(*a.endLux), luxText(a.requiredLux));
    QList<WalkPoint> early, late;
    for (const WalkPoint& p : in.walk)
        (p.tS < in.ratedS / 2 ? early : late) << p;
    a.startWalk = figuresOf(early);
    a.endWalk = figuresOf(late);
    judgeWalk(a.startWalk, QStringLiteral("at the start"), a.responseLux, in.rule.startAverageLux,
              in.rule, a.reasons);
    judgeWalk(a.endWalk, QStringLiteral("at the end"), a.requiredLux, in.rule.endAverageLux,
              in.rule, a.reasons);
    const bool cutShort = in.stoppedByUser && a.lastS < in.ratedS - kLongestStepS;
    const QString stopped = QStringLiteral("Stopped by the user at %1.").arg(durationText(a.lastS));
    if (!a.reasons.isEmpty()) {
        a.verdict = over ? Verdict::Fail : Verdict::Running;
        if (cutShort)
            a.reasons << stopped;
        return;
    }
    if (!over) {
        a.verdict = Verdict::Running;
        return;
    }
    // Stopped before the end: the rest of the duration was never seen.
    a.verdict = a.gapsS > kGapLimitS || cutShort ? Verdict::Incomplete : Verdict::Pass;
    if (a.verdict == Verdict::Incomplete) {
        QStringList spans;
        for (const Stretch& g : a.gaps)
            spans << QStringLiteral("%1 to %2").arg(durationText(g.fromS), durationText(g.toS));
        if (a.gapsS > kGapLimitS)
            a.reasons << QStringLiteral("No readings for %1 in all (more than %2): %3.")
                             .arg(durationText(a.gapsS), durationText(kGapLimitS),
                                  spans.join(QStringLiteral(", ")));
        if (cutShort)
            a.reasons << stopped;
    }
}

QString number(double v) {
    // Up to two decimals, none that say nothing.
    QString s = QString::number(v, 'f', v < 10 ? 2 : v < 100 ? 1 : 0);
    if (s.contains(QLatin1Char('.'))) {
        while (s.endsWith(QLatin1Char('0')))
            s.chop(1);
        if (s.endsWith(QLatin1Char('.')))
            s.chop(1);
    }
    return s;
}

} // namespace

const QList<Rule>& rules() {
    static const QList<Rule> table = [] {
        QList<Rule> t;
        // EN 1838:2013 §4.2: escape routes up to 2 m wide, 1 lx on the centre line (4.2.1),
        // Emax/Emin at most 40:1 (4.2.3), 50 % within 5 s and 100 % within 60 s (4.2.5).
        t << Rule{QStringLiteral("en1838-route"),
                  QStringLiteral("EN 1838 escape route"),
                  1,
                  0,
                  0,
                  5,
                  60,
                  40,
                  -1,
                  -1};
        // EN 1838:2013 §4.3: open (anti-panic) areas, 0.5 lx on the floor (4.3.1), 40:1
        // (4.3.3), 50 % within 5 s and 100 % within 60 s (4.3.5).
        t << Rule{QStringLiteral("en1838-open"),
                  QStringLiteral("EN 1838 open area"),
                  0.5,
                  0,
                  0,
                  5,
                  60,
                  40,
                  -1,
                  -1};
        // EN 1838:2013 §4.4: high-risk task areas, at least 10 % of the normal maintained
        // illuminance and not less than 15 lx (4.4.2), uniformity at least 0.1, i.e. 10:1
        // (4.4.3), the full illuminance within 0.5 s (4.4.5).
        t << Rule{QStringLiteral("en1838-task"),
                  QStringLiteral("EN 1838 high-risk task area"),
                  15,
                  0,
                  0.10,
                  -1,
                  0.5,
                  10,
                  -1,
                  -1};
        // NFPA 101 §7.9.2.1: initially an average of 10.8 lx and 1.08 lx at any point; at the
        // end of the duration an average of 6.5 lx and 0.65 lx at any point; at most 40:1.
        // §7.9.1.3: a change to the emergency source within 10 s.
        t << Rule{QStringLiteral("nfpa101"),
                  QStringLiteral("NFPA 101 §7.9"),
                  0.65,
                  1.08,
                  0,
                  -1,
                  10,
                  40,
                  10.8,
                  6.5};
        return t;
    }();
    return table;
}

std::optional<Rule> ruleById(const QString& id) {
    for (const Rule& r : rules()) {
        if (r.id == id)
            return r;
    }
    return std::nullopt;
}

QStringList ruleIds() {
    QStringList ids;
    for (const Rule& r : rules())
        ids << r.id;
    return ids;
}

Rule typedRule(double minimumLux, double t50LimitS, double t100LimitS, double ratioMax) {
    Rule r{kTypedRuleId, {}, minimumLux, 0, 0, t50LimitS, t100LimitS, ratioMax, -1, -1};
    r.name = QStringLiteral("Typed rule: %1, 100 % in %2%3, %4:1")
                 .arg(luxText(minimumLux), durationText(t100LimitS),
                      t50LimitS >= 0 ? QStringLiteral(", 50 % in %1").arg(durationText(t50LimitS))
                                     : QString())
                 .arg(ratioMax);
    return r;
}

QByteArray ruleJson(const Rule& r) {
    return QJsonDocument(QJsonObject{{QStringLiteral("minimum_lx"), r.minimumLux},
                                     {QStringLiteral("t50_limit_s"), r.t50LimitS},
                                     {QStringLiteral("t100_limit_s"), r.t100LimitS},
                                     {QStringLiteral("ratio_max"), r.ratioMax}})
        .toJson(QJsonDocument::Compact);
}

std::optional<Rule> ruleOfJson(const QByteArray& json) {
    const QJsonObject o = QJsonDocument::fromJson(json).object();
    const double minimum = o.value(QStringLiteral("minimum_lx")).toDouble(-1);
    const double t50 = o.value(QStringLiteral("t50_limit_s")).toDouble(-1);
    const double t100 = o.value(QStringLiteral("t100_limit_s")).toDouble(-1);
    const double ratio = o.value(QStringLiteral("ratio_max")).toDouble(-1);
    if (!(minimum > 0 && t100 > 0 && ratio >= 1))
        return std::nullopt;
    return typedRule(minimum, t50, t100, ratio);
}

void appendSample(QList<Reading>& readings, const Sample& s) {
    const qint64 ms = s.time.toMSecsSinceEpoch();
    switch (s.status) {
    case Sample::Ok:
        readings << Reading{ms, samples::lux(s)};
        break;
    case Sample::Over:
        readings << Reading{ms, kInf};
        break;
    case Sample::Mode:
        readings << Reading{ms, kNaN};
        break;
    case Sample::Gap:
    case Sample::Away:
        readings << Reading{ms, kNaN};
        if (s.until.isValid())
            readings << Reading{s.until.toMSecsSinceEpoch(), kNaN};
        break;
    }
}

std::optional<QList<Reading>> readingsOfCsv(const QByteArray& csv, QString& error) {
    const QList<QByteArray> lines = csv.split('\n');
    if (lines.isEmpty() || !samples::isCsvHeader(QString::fromUtf8(lines.first()))) {
        error = QStringLiteral("this is no recording of lumetra-cli (its first line is not "
                               "\"time,reading,unit,status,until\").");
        return std::nullopt;
    }
    QList<Reading> readings;
    bool any = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QString line = QString::fromUtf8(lines[i]).trimmed();
        if (line.isEmpty())
            continue;
        const QStringList f = line.split(QLatin1Char(','));
        Sample s;
        s.time = QDateTime::fromString(f.value(0), Qt::ISODateWithMs);
        s.until = QDateTime::fromString(f.value(4), Qt::ISODateWithMs);
        const QString status = f.value(3);
        bool ok = false;
        s.value = f.value(1).toDouble(&ok);
        s.readingText = f.value(1);
        s.unit = f.value(2);
        s.status = status == QLatin1String("ok")     ? Sample::Ok
                   : status == QLatin1String("over") ? Sample::Over
                   : status == QLatin1String("gap")  ? Sample::Gap
                   : status == QLatin1String("away") ? Sample::Away
                                                     : Sample::Mode;
        if (f.size() < 4 || !s.time.isValid() || (s.status == Sample::Ok && !ok)) {
            error = QStringLiteral("line %1 is no row of a recording.").arg(i + 1);
            return std::nullopt;
        }
        if ((!readings.isEmpty() && s.time.toMSecsSinceEpoch() < readings.last().ms) ||
            (s.until.isValid() && s.until < s.time)) {
            error = QStringLiteral("the times go back at line %1.").arg(i + 1);
            return std::nullopt;
        }
        any = any || s.status == Sample::Ok || s.status == Sample::Over;
        appendSample(readings, s);
    }
    if (!any) {
        error = QStringLiteral("it holds no readings.");
        return std::nullopt;
    }
    return readings;
}

QString verdictName(Verdict v) {
    switch (v) {
    case Verdict::Pass:
        return QStringLiteral("pass");
    case Verdict::Fail:
        return QStringLiteral("fail");
    case Verdict::Incomplete:
        return QStringLiteral("incomplete");
    case Verdict::Waiting:
    case Verdict::Running:
        break;
    }
    return {};
}

Assessment assess(const Input& in) {
    Assessment a;
    findFailure(in.readings, a);
    a.requiredLux = std::max(in.rule.minimumLux, in.rule.normalShare * a.normalLux);
    if (std::isnan(a.requiredLux))
        a.requiredLux = in.rule.minimumLux;
    a.responseLux = std::max(a.requiredLux, in.rule.startLux);
    if (!a.failureFound) {
        if (in.ended) {
            a.verdict = Verdict::Incomplete;
            a.reasons << (in.stoppedByUser
                              ? QStringLiteral("Stopped by the user before the mains failure.")
                              : QStringLiteral("No mains failure was found."));
        }
        return a;
    }
    if (in.rule.t50LimitS >= 0)
        a.t50S = firstAtOrAbove(in, a, a.responseLux / 2);
    a.t100S = firstAtOrAbove(in, a, a.responseLux);
    a.responseEndS = std::min(a.t100S.value_or(kInf), in.rule.t100LimitS);
    followTheLight(in, a);
    judge(in, a);
    return a;
}

QString durationText(double seconds) {
    // Resolved to the display period: whole quarters of a second.
    const double q = std::round(seconds / kResolutionS) * kResolutionS;
    const qint64 whole = qint64(std::floor(q));
    const double part = q - double(whole);
    QString s = QString::number(double(whole % 60) + part, 'f', 2);
    while (s.endsWith(QLatin1Char('0')))
        s.chop(1);
    if (s.endsWith(QLatin1Char('.')))
        s.chop(1);
    if (whole < 60)
        return s + QStringLiteral(" s");
    // "1 min", "1 h 30 min": parts that are 0 at the end are left out.
    QString text = whole < 3600 ? QStringLiteral("%1 min").arg(whole / 60)
                                : QStringLiteral("%1 h").arg(whole / 3600);
    if (whole >= 3600 && (whole / 60 % 60 != 0 || s != QLatin1String("0")))
        text += QStringLiteral(" %1 min").arg(whole / 60 % 60);
    if (s != QLatin1String("0"))
        text += QStringLiteral(" %1 s").arg(s);
    return text;
}

QString luxText(double lux) {
    if (std::isinf(lux))
        return QStringLiteral("OL");
    if (std::isnan(lux))
        return QStringLiteral("-");
    return number(lux) + QStringLiteral(" lx");
}

double currentLevel(const QList<Reading>& readings) {
    double sum = 0;
    int n = 0;
    for (auto it = readings.crbegin(); it != readings.crend(); ++it) {
        if (readings.last().ms - it->ms > qint64(kNormalWindowS * 1000))
            break;
        if (std::isfinite(it->lux)) {
            sum += it->lux;
            ++n;
        }
    }
    return n > 0 ? sum / n : kNaN;
}

QString stateText(const Assessment& a, const QList<Reading>& readings) {
    switch (a.verdict) {
    case Verdict::Waiting: {
        const double level = currentLevel(readings);
        return std::isnan(level) ? QStringLiteral("waiting for a reading")
                                 : QStringLiteral("waiting for the mains failure (normal level %1)")
                                       .arg(luxText(level));
    }
    case Verdict::Running:
        if (a.timeToFailureS)
            return QStringLiteral("FAILED at %1").arg(durationText(*a.timeToFailureS));
        if (!a.reasons.isEmpty())
            return QStringLiteral("FAILED: %1").arg(a.reasons.first());
        if (a.belowSinceS)
            return QStringLiteral("below %1 for %2")
                .arg(luxText(a.requiredLux), durationText(a.lastS - *a.belowSinceS));
        if (a.lastS < a.responseEndS)
            return QStringLiteral("responding");
        return QStringLiteral("holding");
    case Verdict::Pass:
        return QStringLiteral("PASSED");
    case Verdict::Fail:
        return a.timeToFailureS
                   ? QStringLiteral("FAILED at %1").arg(durationText(*a.timeToFailureS))
                   : QStringLiteral("FAILED");
    case Verdict::Incomplete:
        return QStringLiteral("INCOMPLETE");
    }
    return {};
}

QJsonObject entryJson(const Input& in, const Assessment& a, const Meta& m) {
    const auto optional = [](const std::optional<double>& v) {
        return v ? QJsonValue(*v) : QJsonValue();
    };
    const auto finite = [](double v) { return std::isfinite(v) ? QJsonValue(v) : QJsonValue(); };
    QJsonObject o;
    o.insert(QStringLiteral("format"), QStringLiteral("lumetra-emergency-log"));
    o.insert(QStringLiteral("version"), kLogVersion);
    o.insert(QStringLiteral("started"), samples::isoTime(m.started, false));
    o.insert(QStringLiteral("failure_at"),
             a.failureFound
                 ? QJsonValue(samples::isoTime(QDateTime::fromMSecsSinceEpoch(a.failureMs), true))
                 : QJsonValue());
    o.insert(QStringLiteral("ended"), samples::isoTime(m.ended, false));
    o.insert(QStringLiteral("location"), m.location);
    o.insert(QStringLiteral("luminaire"), m.luminaire);
    o.insert(QStringLiteral("tester"), m.tester);
    o.insert(QStringLiteral("rule"), in.rule.id);
    if (in.rule.id == kTypedRuleId) // what was typed, so the entry can be judged again
        o.insert(QStringLiteral("rule_typed"), QJsonDocument::fromJson(ruleJson(in.rule)).object());
    o.insert(QStringLiteral("rated_s"), in.ratedS);
    o.insert(QStringLiteral("normal_lx"), finite(a.normalLux));
    o.insert(QStringLiteral("t50_s"), optional(a.t50S));
    o.insert(QStringLiteral("t100_s"), optional(a.t100S));
    o.insert(QStringLiteral("minimum_lx"), finite(a.lowestLux));
    o.insert(QStringLiteral("end_lx"), a.endLux ? finite(*a.endLux) : QJsonValue());
    o.insert(QStringLiteral("time_to_failure_s"), optional(a.timeToFailureS));
    o.insert(QStringLiteral("gaps_s"), a.gapsS);
    QJsonValue walk;
    if (!in.walk.isEmpty()) {
        QJsonArray points;
        for (const WalkPoint& p : in.walk)
            points.append(QJsonObject{{QStringLiteral("name"), p.name},
                                      {QStringLiteral("t_s"), resolved(p.tS)},
                                      {QStringLiteral("lux"), std::round(p.lux * 1000) / 1000}});
        walk = points;
    }
    o.insert(QStringLiteral("walk"), walk);
    o.insert(QStringLiteral("verdict"), verdictName(a.verdict));
    o.insert(QStringLiteral("reasons"), QJsonArray::fromStringList(a.reasons));
    o.insert(QStringLiteral("remarks"), m.remarks);
    o.insert(QStringLiteral("samples_file"), m.samplesFile);
    if (m.calibrationFactor)
        o.insert(QStringLiteral("calibration_factor"), *m.calibrationFactor);
    return o;
}

QString samplesBeside(const QString& logBook, const QString& location, const QDateTime& started) {
    QString name = location.toLower();
    name.replace(QRegularExpression(QStringLiteral("[^a-z0-9]+")), QStringLiteral("-"));
    name = name.left(40);
    while (name.startsWith(QLatin1Char('-')))
        name.remove(0, 1);
    while (name.endsWith(QLatin1Char('-')))
        name.chop(1);
    return QFileInfo(logBook).absoluteDir().filePath(
        QStringLiteral("emergency-%1%2.csv")
            .arg(name.isEmpty() ? QString() : name + QLatin1Char('-'),
                 started.toString(QStringLiteral("yyyyMMdd-HHmmss"))));
}

LogBook readLogBook(const QByteArray& bytes) {
    LogBook book;
    const QList<QByteArray> lines = bytes.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        if (line.isEmpty())
            continue;
        QJsonParseError e{};
        const QJsonDocument d = QJsonDocument::fromJson(line, &e);
        const QJsonObject o = d.object();
        QString why;
        if (e.error != QJsonParseError::NoError || !d.isObject())
            why = i == lines.size() - 1 ? QStringLiteral("cut off") : QStringLiteral("damaged");
        else if (o.value(QStringLiteral("format")).toString() !=
                 QLatin1String("lumetra-emergency-log"))
            why = QStringLiteral("no entry of a log book");
        else if (o.value(QStringLiteral("version")).toInt() > kLogVersion)
            why = QStringLiteral("of a newer version");
        if (why.isEmpty())
            book.entries << o;
        else
            book.damaged << QStringLiteral("line %1 is %2; it is left out.").arg(i + 1).arg(why);
    }
    return book;
}

} // namespace lumetra::emergency
