#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QPainterPath>
#include <QPolygonF>
#include <QRectF>
#include <QString>

#include <optional>

// A lighting survey: the grid of measuring points laid over a room, and the figures of the
// illuminance measured at them, checked against a requirement.
namespace lumetra::survey {

struct Grid {
    int columns = 1; // points along the length
    int rows = 1;    // points across the width
    double spacingAlongLength = 0;
    double spacingAcrossWidth = 0;
    double length = 0; // of the area measured: the room less the band along the walls
    double width = 0;
};

// The grid for a room of length x width metres with `band` metres left out along every wall.
// For the area's sides a >= b: d = a, or d = b where a / b >= 2; the spacing p = 0.2 x
// 5^log10(d) metres, at most 10 m; the points along d are d / p to the nearest whole number
// (at least one), which gives the actual spacing along d; the points along the other side are
// that side over the actual spacing to the nearest whole number (at least one). Points sit at
// the centres of the cells. Nothing when no area is left.
std::optional<Grid> gridFor(double length, double width, double band);

// What a task asks of its lighting; any criterion may be absent.
struct Requirement {
    QString name;
    std::optional<double> average;    // required average illuminance, lx
    std::optional<double> uniformity; // least U0 = Emin / average
    std::optional<double> minimum;    // least Emin, lx
    std::optional<double> maxOverMin; // largest Emax / Emin
};
QList<Requirement> builtInRequirements();
// A list of requirements as it is remembered between runs (JSON); nothing for bytes that hold
// none.
QByteArray requirementsJson(const QList<Requirement>& list);
QList<Requirement> requirementsFromJson(const QByteArray& bytes);

struct Figures {
    int points = 0;
    double average = 0, minimum = 0, maximum = 0;
    double u0 = 0; // Emin / average
    double ud = 0; // Emin / Emax
};
// Over the points that hold a reading (empty and obstructed points are absent). Nothing
// without a reading.
std::optional<Figures> figures(const QList<std::optional<double>>& lux);

// One criterion of a requirement against the figures, compared unrounded.
struct Check {
    QString what; // "Average", "U0", "Emin", "Emax/Emin"
    double required = 0;
    double actual = 0;
    bool atMost = false; // the figure must not exceed `required` (else: reach it)
    bool passed = false;
};
// `averageFactor` scales the average before it is compared: the maintenance factor of a new
// installation.
QList<Check> check(const Figures& f, const Requirement& r, double averageFactor = 1);

// A survey as its file keeps it: everything needed to make its report again.
struct Point {
    int row = 0, column = 0;
    double x = 0, y = 0;       // metres from the room's corner, at the cell's centre
    std::optional<double> lux; // not taken yet: nothing
    bool obstructed = false;
    QDateTime taken;
    bool typed = false; // typed by hand, not measured: marked on the plan, in files and report
    int area = -1;      // the index of its area in Survey::areas; -1: the room's own grid
    // The lights-off pass: the same point with the electric light off (daylight alone).
    std::optional<double> luxOff{};
    QDateTime takenOff{};
    bool typedOff = false;
};

// The installation's light checked before the walk: the mean of a second, taken again after
// each interval until three in a row agree.
struct StabilityReading {
    QDateTime at;
    double lux = 0;
};

// A new installation is judged by what it will give once maintained: Ē × MF.
struct Installation {
    bool isNew = false;
    double maintenanceFactor = 0.80;
};

// The instrument the survey was measured with, as the report names it.
struct Instrument {
    QString model, serial;
    QString accuracyClass; // "L", "A", "B", "C" (DIN 5032-7), or empty: not stated
    QDate calibrated;      // invalid: not stated
};

// An earlier survey of the same room, kept with this one so the change can be shown.
struct BaselinePoint {
    QString name;
    double x = 0, y = 0;
    double lux = 0;
};
struct Baseline {
    QString file; // its file name, without the folder
    QDate date;   // when it was measured
    double average = 0, u0 = 0;
    bool electric = false;       // its figures were of the electric light alone
    QList<BaselinePoint> points; // those that counted in its figures
};

// The areas a workplace is judged by: the task area, the immediate surrounding area around
// each task, and the background area beyond them.
enum class AreaKind { Task, Surrounding, Background };
struct Area {
    QString name; // "Task 1", "Surrounding 1", "Background"
    AreaKind kind = AreaKind::Task;
    // A task: its rectangle as placed. A surrounding or background area: the bounding
    // rectangle of its region (formed again from the tasks whenever they change).
    QPolygonF outline;
    Requirement requirement;
    int rows = 0, columns = 0; // its grid, by the rule, over `bounds`
    QRectF bounds;
    QPainterPath region; // where its points lie: inside the room, outside the areas formed
                         // before it; obstacles are left out point by point
};

struct Survey {
    QString name;
    double length = 0, width = 0, band = 0.5, height = 0.85; // metres
    Requirement requirement;   // the room's, when it has no task areas
    int rows = 0, columns = 0; // the room's own grid
    QList<Point> points;       // area by area; in each, row by row, the cells inside it
    QString notes;             // the surveyor's, printed in the report
    // The room's corners in metres; empty: the rectangle length x width from (0, 0).
    QPolygonF outline;
    QList<QPolygonF> obstacles; // no point falls inside one
    QList<Area> areas;          // tasks first, then their surroundings, then the background
    double surroundingBand = 0.5, backgroundBand = 3; // metres, the least the standard allows
    QList<StabilityReading> stability;                // empty: not checked
    Installation installation;
    Instrument instrument;
    std::optional<Baseline> baseline;
};

// The point's name as the plan and the report show it: column letter, row number ("B3").
QString pointName(int row, int column);
// With its area's prefix: "T1-B2" in task area 1, "S1-A4" around it, "BG-C7"; in a room
// without areas, as pointName.
QString pointName(const Survey& s, const Point& p);
// The order a person walks the grid in: along the first row, back along the second, ...
// (indices into Survey::points).
QList<int> walkOrder(int rows, int columns);
// The same over a survey's own points, area by area in the order of Survey::areas.
QList<int> walkOrder(const Survey& s);
// Lays out the room's own grid of rows x columns points at the centres of the cells of the
// bounding rectangle of the room less its band, keeping those inside it and outside every
// obstacle; every point empty. A survey with task areas lays out theirs (surveyareas.h).
void layOut(Survey& s, int rows, int columns);
// The readings that count: those of points taken and not obstructed; the electric light alone
// once both passes are complete (surveyevidence.h).
QList<std::optional<double>> counted(const Survey& s);

// How a survey's figures are shown, in lux or in foot-candles.
struct Unit {
    QString name = QStringLiteral("lx");
    double perLux = 1;
};
Unit lux();
Unit footCandles();
QString illuminance(double lux, const Unit& unit);
// The results as the window and the report show them: what, the value (in the unit), what
// was required and the verdict ("pass", "FAIL", or empty where nothing was required).
// A ratio is shown with as many decimals as it takes for a failure not to look like a pass.
struct Result {
    QString what, value, required, verdict;
};
QList<Result> results(const Survey& s, const Unit& unit);
// The same over one area's points against its own requirement.
QList<Result> results(const Survey& s, const Unit& unit, int area);
// Why the points cannot bear a verdict yet: points not taken, or more obstructed than
// measured ("12 of 48 points not taken"). Empty when every point is taken and at least half
// are measured.
QString missingEvidence(const Survey& s);
// "PASS", "FAIL", "INCOMPLETE" while evidence is missing, or empty when the requirement asks
// nothing or nothing is measured yet. With areas: PASS only when every area passes.
QString verdict(const Survey& s);
QString verdict(const Survey& s, int area);
QString missingEvidence(const Survey& s, int area);
// The grid rule's grid for the survey's area differs from its own (set by hand): how, with
// both spacings ("coarser than the rule's: spaced 2.50 × 2.00 m where the rule asks for
// 0.81 × 0.80 m"). Empty for the rule's own grid.
QString gridDeparture(const Survey& s);

// The points as CSV: point,row,column,x_m,y_m,lux,obstructed,taken,typed,area (lines end in
// LF).
QByteArray pointsCsv(const Survey& s);

inline constexpr int kFileVersion = 3;
// The most points a grid may have, set by the rule or by hand: a stadium at 10 m spacing has
// some 10 000. The window refuses more, and so does the file's reader.
inline constexpr int kMostPoints = 100000;
// The name and the notes, at most: a report lays out this much in well under a second. The
// window takes no more, and the file's reader cuts what is longer.
inline constexpr int kMostNameChars = 200;
inline constexpr int kMostNotesChars = 20000;
// A survey file is small; one far larger is no survey and is not read into memory.
inline constexpr qint64 kMostFileBytes = 64 * 1024 * 1024;

// The survey file: JSON, format "lumetra-survey", version 3 (version 1 had no outline,
// obstacles or areas, and is read as a rectangle room without them; version 2 had no
// stability, installation, instrument, lights-off pass or baseline).
QByteArray toJson(const Survey& s);
// Nothing, and `error` says why, for a file that is malformed or of a newer version. A name
// or notes longer than the limits are cut; `shortened` then says so.
std::optional<Survey> fromJson(const QByteArray& bytes, QString& error,
                               QString* shortened = nullptr);

} // namespace lumetra::survey
