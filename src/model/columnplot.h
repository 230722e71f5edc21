#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

namespace lumetra {

// The value a list cell plots as: an overload text (any capital "L") as 1000000, otherwise
// its leading number, 0 when there is none (and 1000000 when it is beyond a float). An
// unreadable record is NaN: the graph leaves a gap and the statistics skip it.
float plotValue(const QString& cell);

// One column of a list, ready for the graph view: the values in row order and the running
// extremes, started from the caller's range.
struct ColumnPlot {
    QVector<float> values;
    float maximum = 0;
    float minimum = 0;
};
ColumnPlot columnPlot(const QStringList& cells, float startMaximum, float startMinimum);

// Minimum, average and maximum of the values whose x (first value at x = 1) lies within
// [xFrom, xTo]; nothing when no value lies there. uniformity = minimum / average, the figure
// lighting people check (nothing when the average is not above 0).
struct RangeStatistics {
    int count = 0;
    double minimum = 0;
    double average = 0;
    double maximum = 0;
    std::optional<double> uniformity;
};
// The decimals the readings are shown with, 0 to 3: the fewest that show every one of them
// (1214 for whole readings, 12.34 for hundredths).
int readingDecimals(const QVector<float>& values, qsizetype from, qsizetype to);

std::optional<RangeStatistics> rangeStatistics(const QVector<float>& values, double xFrom,
                                               double xTo);

} // namespace lumetra
