#pragma once

#include "model/survey.h"

#include <QDate>
#include <QList>
#include <QString>

#include <optional>
#include <utility>

// What makes a survey hold up as evidence: the light checked stable before the walk, daylight
// taken out by a lights-off pass, a new installation judged with its maintenance factor, the
// instrument and its calibration, and the change since an earlier survey of the room.
namespace lumetra::survey {

// --- Daylight taken out ---------------------------------------------------------------------

enum class Light { WithLights, LightsOff, Electric };
// The point's value in that light; the electric light is with lights less lights off, never
// below 0. Nothing where the pass (or either pass) has no reading.
std::optional<double> valueOf(const Point& p, Light light);
// The off reading exceeds the on reading: daylight rose between them, or the point was
// shaded during the first pass.
bool offExceedsOn(const Point& p);
// More than this between a point's two readings, and daylight may have moved in between.
inline constexpr qint64 kMostPassGapSeconds = 30 * 60;
bool passesApart(const Point& p);
// The figures are of the electric light once every counted point has both passes.
bool usesElectric(const Survey& s);
// What the figures are of, in words; empty before any lights-off reading.
QString lightNote(const Survey& s);
// The first and the last reading of a pass; nothing before it has one.
std::optional<std::pair<QDateTime, QDateTime>> passTimes(const Survey& s, bool lightsOff);

// --- Stability before the walk --------------------------------------------------------------

inline constexpr int kMostStabilityChecks = 6;
inline constexpr int kStableRun = 3;                // readings in a row that agree
inline constexpr double kStabilityTolerance = 0.02; // each within ±2 % of their mean
inline constexpr int kDefaultStabilityIntervalS = 300;
inline constexpr int kLeastStabilityIntervalS = 10;
// The index of the reading that completed the first run of agreeing readings; -1: none yet.
int stableAt(const QList<StabilityReading>& readings);
// The check has its answer: stable, or the most checks taken.
bool stabilityDone(const QList<StabilityReading>& readings);
// "stable at HH:MM", "not stable after N checks", "stability not checked", or, for a check
// that was stopped, "stability check stopped after N checks".
QString stabilityVerdict(const QList<StabilityReading>& readings);

// --- The installation -----------------------------------------------------------------------

inline constexpr double kLeastMaintenanceFactor = 0.10;
inline constexpr double kMostMaintenanceFactor = 1.00;
// The factor the average is multiplied by before it is judged: MF for a new installation.
double averageFactor(const Survey& s);
// "measured 612 lx × MF 0.80 = 490 lx < 500 lx" for a new installation whose average is
// required and measured (of one area, or of the room for -1); empty otherwise.
QString maintenanceSentence(const Survey& s, const Unit& unit, int area = -1);

// --- The instrument -------------------------------------------------------------------------

// The total error a class of illuminance meter may have (DIN 5032-7: L 3 %, A 5 %, B 10 %,
// C 20 %); nothing for no class.
std::optional<double> classError(const QString& accuracyClass);
QStringList accuracyClasses();
// "model X, serial Y, class B (DIN 5032-7, 10 %), calibrated 2025-10-01"; empty when nothing
// is stated.
QString instrumentLine(const Instrument& i);
// The day the survey was measured: its first reading's, or today's before any.
QDate surveyDate(const Survey& s);
// Whole months from one date to a later one.
int wholeMonths(const QDate& from, const QDate& to);
// "calibrated 14 months before this survey" when the calibration is older than 12 months on
// the survey's date; empty otherwise.
QString calibrationAgeNote(const Survey& s);
// The verdict of one criterion: "pass" or "FAIL", or, where the figure lies within the class's
// total error of its limit, "pass, within the instrument's uncertainty" or "fail, within the
// instrument's uncertainty".
QString checkVerdict(const Check& c, const QString& accuracyClass);

// --- The change since an earlier survey -----------------------------------------------------

inline constexpr double kSamePlace = 0.05; // metres: the same point of the room
inline constexpr double kFallFlag = -20;   // per cent: a point that fell more is flagged
// The earlier survey as this one keeps it: its date, figures and the points that counted.
Baseline baselineOf(const Survey& earlier, const QString& fileName);
// The baseline's points in the order baselinePointOf looks them up in.
void sortByName(QList<BaselinePoint>& points);
// The baseline point matching the point by name and place; -1: none.
int baselinePointOf(const Survey& s, const Point& p);
// The point's value now in the same light as the baseline's: with lights, or the electric
// light alone once both passes are complete (nothing before).
std::optional<double> comparedValue(const Survey& s, int index);
QList<std::optional<double>> comparedValues(const Survey& s); // every point's, at once
// The figures now over the values compared.
std::optional<Figures> comparedFigures(const Survey& s);
// The point's change since the baseline, in per cent of the earlier value; nothing without a
// match, a reading now in the same light, or light then.
std::optional<double> changeAt(const Survey& s, int index);
QList<std::optional<double>> changes(const Survey& s); // every point's, at once
// A change as people read it: "+4 %", "−30 %", "0 %".
QString changeText(double percent);
// Indices of the points that fell by more than 20 %.
QList<int> fallenPoints(const Survey& s);
// How many of this survey's points the baseline matches.
int matchedPoints(const Survey& s);

// --- Taking when steady ---------------------------------------------------------------------

// Watches the live reading for "carried to the next point and held there": the reading moved
// more than 10 % from the last point's value, then held within ±2 % for 2 s.
class SteadyWatch {
public:
    static constexpr double kMove = 0.10;
    static constexpr double kHold = 0.02;
    static constexpr qint64 kHoldMs = 2000;

    // From this level on (the value last taken, or the reading when the watch began).
    void restart(std::optional<double> reference);
    // A reading at `ms` (monotonic); the mean of the hold when the point should be taken now.
    std::optional<double> feed(qint64 ms, double lux);
    // A reading that is no illuminance (an overload, a mode): the hold starts over.
    void interrupt();
    bool moved() const { return m_moved; }

private:
    std::optional<double> m_reference;
    bool m_moved = false;
    QList<std::pair<qint64, double>> m_hold;
};

} // namespace lumetra::survey
