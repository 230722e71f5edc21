#pragma once

#include "model/survey.h"

#include <QPainterPath>
#include <QPolygonF>
#include <QRectF>
#include <QString>

#include <optional>

// The geometry of a survey: the room's outline less its obstacles, the band along its walls,
// and the task, surrounding and background areas a workplace is judged by, each with its own
// grid and requirement.
namespace lumetra::survey {

// The room's corners: its own outline, or the rectangle length x width.
QPolygonF roomOutline(const Survey& s);
QPolygonF rectangle(const QRectF& r);
bool isRectangleRoom(const Survey& s);
// Why `outline` is no simple polygon ("The outline crosses itself: edges 2–3 and 5–6
// cross."), or empty. `what` names it in the message ("The outline", "Obstacle 2").
QString outlineProblem(const QPolygonF& outline, const QString& what);
// The room less its obstacles.
QPainterPath roomRegion(const Survey& s);
// Whether `at` lies inside one of the obstacles: no point is laid out there.
bool inObstacle(const Survey& s, QPointF at);
// The area of a region, in square metres.
double areaOf(const QPainterPath& path);
// The region inside `outline` at least `band` metres from its every edge: an L-shape's inner
// corner is inset too.
QPainterPath inset(const QPolygonF& outline, double band);
// Where the room's own grid lies: the room less its band (its obstacles are left out point by
// point); nothing when no area is left.
std::optional<QPainterPath> roomGridRegion(const Survey& s);
// The grid rule's grid over the bounding rectangle of the room less its band.
std::optional<Grid> roomGrid(const Survey& s);

// EN 12464-1:2021, 5.3.3, Table 1: the immediate surrounding area's required Ē for a task
// area's required Ēm (750 lx or more: 500; 500: 300; 300: 200; 200 or less: the task's own).
double surroundingAverage(double taskAverage);
// EN 12464-1:2021, 5.3.3: U0 of the immediate surrounding area at least 0.40.
inline constexpr double kSurroundingUniformity = 0.40;
// EN 12464-1:2021, 5.3.4: the background area's Ē at least a third of the immediate
// surrounding area's, and its U0 at least 0.10.
inline constexpr double kBackgroundShare = 1.0 / 3.0;
inline constexpr double kBackgroundUniformity = 0.10;
// EN 12464-1:2021, 5.3.3 and 5.3.4: the bands are at least this wide.
inline constexpr double kLeastSurroundingBand = 0.5;
inline constexpr double kLeastBackgroundBand = 3.0;
// The smallest desk task area the standard names: a new task area's size.
inline constexpr double kTaskSide = 0.6;

QString kindName(AreaKind kind); // "task", "surrounding", "background"
std::optional<AreaKind> kindOf(const QString& name);
// "T1-", "S1-", "BG-"; empty for the room's own grid (area -1).
QString areaPrefix(const Survey& s, int area);
int taskCount(const Survey& s);

// Why a task rectangle cannot be placed in the room (outside it, on an obstacle, over another
// task), or empty. `except`: the task being moved, not counted as another.
QString taskProblem(const Survey& s, const QRectF& task, int except = -1);
// Adds a task area with the requirement; the surrounding and background areas are formed
// again and every grid laid out again, every point empty.
void addTask(Survey& s, const QRectF& task, const Requirement& requirement);
void removeTask(Survey& s, int task);
// Forms the surrounding areas of the task areas and the background area beyond them, with
// their requirements and grids, dropping those formed before.
void formAreas(Survey& s);
// Lays out the points of every area (or the room's own grid of s.rows x s.columns when there
// are no task areas); every point empty.
void layOutAll(Survey& s);
// The cells of every area's grid (or of the room's own): at most the points it lays out.
qint64 gridPoints(const Survey& s);
// What a survey holds at most: an outline's corners, obstacles, task areas.
inline constexpr int kMostCorners = 200;
inline constexpr int kMostObstacles = 100;
inline constexpr int kMostTasks = 100;
// Whether two surveys have the same room, obstacles, tasks and grids (their points aside).
bool sameShape(const Survey& a, const Survey& b);
// The point of `area` at row, column; -1 when none lies there.
int pointAt(const Survey& s, int area, int row, int column);

} // namespace lumetra::survey
