#pragma once

#include "model/samplerow.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <limits>
#include <optional>

// The emergency-lighting duration test: the rule sets, the assessment of a series of readings
// (mains failure, response, the light through the rated duration, the walk), and the log book.
namespace lumetra::emergency {

// What a rule asks of the light under an emergency luminaire. Times in seconds from the mains
// failure; a limit below 0 is no criterion.
struct Rule {
    QString id;                  // its name on the command line ("en1838-route")
    QString name;                // as shown ("EN 1838 escape route")
    double minimumLux = 1;       // during the rated duration and at its end
    double startLux = 0;         // what the response must reach, when more than the minimum
    double normalShare = 0;      // the minimum is at least this share of the normal level
    double t50LimitS = -1;       // 50 % of the minimum within this
    double t100LimitS = 60;      // 100 % of the minimum within this
    double ratioMax = 40;        // Emax/Emin of a walk
    double startAverageLux = -1; // the average of a walk in the first half of the duration
    double endAverageLux = -1;   // the average of a walk in the second half
};

// The rule sets known by name; a typed rule is a Rule of the same shape.
const QList<Rule>& rules();
std::optional<Rule> ruleById(const QString& id);
QStringList ruleIds();
// A rule the user typed: the minimum, the response limits (a 50 % limit below 0 is none) and
// the greatest Emax/Emin. Kept between runs as JSON.
Rule typedRule(double minimumLux, double t50LimitS, double t100LimitS, double ratioMax);
inline const QString kTypedRuleId = QStringLiteral("typed");
QByteArray ruleJson(const Rule& rule);
std::optional<Rule> ruleOfJson(const QByteArray& json);

inline constexpr double kDipLimitS = 10;     // below the minimum this long is a failure
inline constexpr double kGapLimitS = 10;     // without readings this long in all: incomplete
inline constexpr double kNormalWindowS = 5;  // the normal level: the mean of this long before
inline constexpr double kResolutionS = 0.25; // the display period, which times are resolved to
inline constexpr double kLongestStepS = 2;   // readings further apart leave a gap between them
inline constexpr double kWalkSeconds = 1;    // a walk point is the mean of this long

// One moment of the series: lux, +inf for an overload, NaN for no reading (the meter away or
// in a measuring mode).
struct Reading {
    qint64 ms = 0;
    double lux = std::numeric_limits<double>::quiet_NaN();
};
// A recorder's sample as readings (a gap row gives its start and its end).
void appendSample(QList<Reading>& readings, const Sample& sample);
// A recorder's CSV as readings; nothing, with the reason, when it holds no reading, is no such
// CSV, or its times go back.
std::optional<QList<Reading>> readingsOfCsv(const QByteArray& csv, QString& error);

struct WalkPoint {
    QString name;
    double tS = 0; // when it was taken, from the mains failure
    double lux = 0;
};

struct Input {
    Rule rule;
    double ratedS = 3600;
    QList<Reading> readings; // in time order
    QList<WalkPoint> walk;
    bool ended = false; // nothing more comes: a duration not reached is a gap to its end
    bool stoppedByUser = false;
};

struct Stretch {
    double fromS = 0;
    double toS = 0;
    double length() const { return toS - fromS; }
};

// The figures of the points walked in one half of the duration.
struct WalkFigures {
    int count = 0;
    double minLux = 0, maxLux = 0, averageLux = 0;
    double ratio() const {
        return minLux > 0 ? maxLux / minLux : std::numeric_limits<double>::infinity();
    }
};

enum class Verdict { Waiting, Running, Pass, Fail, Incomplete };
QString verdictName(Verdict verdict); // "pass", "fail", "incomplete" ("" while it runs)

struct Assessment {
    bool failureFound = false;
    qint64 failureMs = 0;
    double normalLux = std::numeric_limits<double>::quiet_NaN(); // the level just before
    double requiredLux = 0; // the minimum, with the rule's share of the normal level
    double responseLux = 0; // what the response must reach
    std::optional<double> t50S, t100S;
    double responseEndS = 0; // after this, a stretch below the minimum counts
    double lowestLux = std::numeric_limits<double>::quiet_NaN(); // after the response
    std::optional<double> endLux;         // the last reading at or before the rated end
    std::optional<double> timeToFailureS; // the first stretch of 10 s or more below
    QList<Stretch> dips;                  // every stretch below the minimum after the response
    std::optional<double> belowSinceS;    // a stretch below still open at the last reading
    QList<Stretch> gaps;
    double gapsS = 0;
    double lastS = 0; // the time covered, from the failure
    WalkFigures startWalk, endWalk;
    Verdict verdict = Verdict::Waiting;
    QStringList reasons;
};

Assessment assess(const Input& input);

// "52 min 10 s", "6.25 s", "1 h 0 min 5 s".
QString durationText(double seconds);
// A reading in lux as a person reads it: "0.65 lx", "420 lx".
QString luxText(double lux);
// The live line: "waiting for the mains failure (normal level 420 lx)", "holding",
// "below 1 lx for 4 s", "FAILED at 52 min 10 s", or the verdict once it is over.
QString stateText(const Assessment& a, const QList<Reading>& readings);
// The mean of the readings in the last kNormalWindowS before the last one (what the failure
// will be measured against); NaN while there is none.
double currentLevel(const QList<Reading>& readings);

// What the log book keeps of one test besides the figures.
struct Meta {
    QDateTime started;
    QDateTime ended;
    QString location;
    QString luminaire;
    QString tester;
    QString remarks;
    QString samplesFile;
    std::optional<double> calibrationFactor;
};

// The samples' file of a test beside its log book: emergency-<location>-<yyyyMMdd-HHmmss>.csv.
QString samplesBeside(const QString& logBook, const QString& location, const QDateTime& started);

// One entry of the log book (format "lumetra-emergency-log", version 1).
QJsonObject entryJson(const Input& input, const Assessment& a, const Meta& meta);
inline constexpr int kLogVersion = 1;

struct LogBook {
    QList<QJsonObject> entries;
    QStringList damaged; // "line 7: …", one for each line left out
};
// Every whole entry of the log book; a line cut off (a power cut while appending) or of a
// newer version is named and left out, the others are kept.
LogBook readLogBook(const QByteArray& bytes);

} // namespace lumetra::emergency
