#pragma once

#include "graph/seriesplot.h"
#include "model/exposure.h"

#include <QPointer>
#include <QWidget>

#include <array>
#include <utility>

class QComboBox;
class QGridLayout;
class QDateTimeEdit;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;

namespace lumetra {

class Dialogs;
class ProfileWindow;

// When each value of a series was taken, where that is known: milliseconds since the epoch,
// the sampling interval (a longer step than twice it is a gap), and whether the dates had to
// be assumed (a record file keeps days only).
struct SeriesTimes {
    QVector<qint64> ms;
    qint64 intervalMs = 1000;
    bool datesAssumed = false;
    bool clockSettled = false; // an hour shown twice or skipped by the clock was settled
};

// The zoomable graph view: one series with its track modes, cursor readout, typed axis
// ranges, "Reset Scale", "Print Graph" and "Save Graph". Two instances exist, "Real Time
// Graph" (objectName RealTimeGraph) and "Plot" (objectName Plot); they differ only in who
// fills them.
class GraphView : public QWidget {
    Q_OBJECT
public:
    struct Mode {
        const char* item;
        MouseMode mode;
        const char* description;
    };
    static const std::array<Mode, 8> kModes;

    GraphView(const QString& objectName, const QString& caption, Dialogs& dialogs,
              QWidget* parent = nullptr);

    using Times = SeriesTimes;

    // Shows the values at x = 1..n (or at their times on the "Time" axis) with the value
    // range lower..upper, which is also the range "Reset Scale" returns to.
    void fill(const QVector<float>& values, const QString& unit, float lower, float upper,
              Times times = {});
    bool hasTimes() const { return !m_times.ms.isEmpty(); }
    const QVector<float>& values() const { return m_values; }

    void chooseMode(int index);
    // 0: "No.s", 1: "Time" (remembered).
    void chooseAxis(int index);
    void showProfile();
    void resetScale();
    void print();
    void saveGraph();

    SeriesPlot* CWGraph1 = nullptr;
    QGroupBox* FrmGraphic = nullptr;
    QGroupBox* SSFrame4 = nullptr;
    std::array<QDoubleSpinBox*, 3> AxisMin{}; // 1: horizontal, 2: vertical
    std::array<QDoubleSpinBox*, 3> AxisMax{};
    QLabel* Label3 = nullptr;
    QLabel* LblUnit = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QGroupBox* SSFrame3 = nullptr;
    QComboBox* Combo1 = nullptr;
    QPlainTextEdit* txtDescription = nullptr;
    QGroupBox* SSFrame2 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* XPosition = nullptr;
    QLabel* YPosition = nullptr;
    QLabel* LblStatistics = nullptr;
    QPushButton* CmdReset = nullptr;
    QPushButton* CmdPrint = nullptr;
    QPushButton* CmdSave = nullptr;
    QComboBox* CboAxis = nullptr;
    QDateTimeEdit* DtFrom = nullptr;
    QDateTimeEdit* DtTo = nullptr;
    QDoubleSpinBox* SpnThreshold = nullptr;
    QPushButton* CmdProfile = nullptr;

    static QString saveFilter() {
        return QStringLiteral("PNG Image (*.png)|*.png|PDF Document (*.pdf)|*.pdf|");
    }

private:
    // The constructor's parts, each laying out or wiring one part of the window.
    void setUpRange();
    void setUpAxisChoice(QGridLayout& range);
    void setUpTrackMode();
    void setUpCursorInformation();
    void setUpButtons();
    void layOut();
    void followThePlot();
    void applyEdits();
    void setEdits(double xMin, double xMax, double yMin, double yMax);
    void updateStatistics();
    void showSeries();
    // The readings inside the x range in view (indices, inclusive); empty when none is.
    std::pair<qsizetype, qsizetype> readingsInView() const;
    QString exposureText(qsizetype first, qsizetype last) const;
    bool illuminance() const;

    Dialogs& m_dialogs;
    QVector<float> m_values;
    QPointer<ProfileWindow> m_profile;
    QStackedWidget* m_toStack = nullptr;
    QStackedWidget* m_fromStack = nullptr;
    Times m_times;
    exposure::Series m_lux;
    QString m_unit;
    float m_resetLower = 0;
    float m_resetUpper = 0;
    bool m_statisticsDue = false;
};

} // namespace lumetra
