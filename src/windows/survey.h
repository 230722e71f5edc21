#pragma once

#include "graph/surveyreport.h"
#include "model/survey.h"
#include "model/surveyevidence.h"
#include "widgets/busy.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QTimer>

class QCheckBox;
class QListWidget;
class QComboBox;
class QRadioButton;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace lumetra {

class DisplayPoll;
class Dialogs;
class MeterLink;
class OutlineDialog;
class PointTaker;
class PollTimer;
class SurveyPlanView;
struct AppState;

// "Lighting Survey": lays a measuring grid over a room (any outline, less its obstacles), or a
// grid over each task, surrounding and background area of a workplace; takes a reading at
// each point as the user walks it (or takes a typed value), shows the plan to scale as a heat
// map with the figures and the verdicts against the requirements, keeps it in a survey file
// and prints its report. Its parts live in files of their own: surveyareas.cpp (the room, its
// outline, obstacles, areas and requirements), surveywalk.cpp (taking the points),
// surveyfiles.cpp (the survey file, CSV, report and print), this file (the window and its
// results).
// Everything works from the keyboard: on the plan, Space or Enter takes the point, Backspace
// takes the previous one again, X marks it obstructed, Delete empties it, the arrows select,
// and a digit starts typing a value.
class FrmSurvey : public BusyWindow {
    Q_OBJECT
public:
    FrmSurvey(AppState& state, DisplayPoll& display, MeterLink& link, PollTimer& poll,
              Dialogs& dialogs, QWidget* parent = nullptr);
    ~FrmSurvey() override;

    QLineEdit* TxtName = nullptr;
    QDoubleSpinBox* SpnLength = nullptr;
    QDoubleSpinBox* SpnWidth = nullptr;
    QDoubleSpinBox* SpnBand = nullptr;
    QDoubleSpinBox* SpnHeight = nullptr;
    QCheckBox* ChkByHand = nullptr;
    QSpinBox* SpnColumns = nullptr;
    QSpinBox* SpnRows = nullptr;
    QPushButton* BtnLayOut = nullptr;
    QPushButton* BtnOutline = nullptr;
    QListWidget* LstObstacles = nullptr;
    QPushButton* BtnAddObstacle = nullptr;
    QPushButton* BtnRemoveObstacle = nullptr;
    QListWidget* LstAreas = nullptr;
    QDoubleSpinBox* SpnTaskX = nullptr;
    QDoubleSpinBox* SpnTaskY = nullptr;
    QDoubleSpinBox* SpnTaskWidth = nullptr;
    QDoubleSpinBox* SpnTaskDepth = nullptr;
    QComboBox* CboTaskRequirement = nullptr;
    QPushButton* BtnAddTask = nullptr;
    QPushButton* BtnRemoveTask = nullptr;
    QDoubleSpinBox* SpnSurroundingBand = nullptr;
    QDoubleSpinBox* SpnBackgroundBand = nullptr;
    QComboBox* CboRequirement = nullptr;
    QLineEdit* TxtAverage = nullptr;
    QLineEdit* TxtUniformity = nullptr;
    QLineEdit* TxtMinimum = nullptr;
    QLineEdit* TxtMaxRatio = nullptr;
    QPushButton* BtnKeepRequirement = nullptr;
    QPushButton* BtnForgetRequirement = nullptr;
    QComboBox* CboUnit = nullptr;
    SurveyPlanView* Plan = nullptr;
    QLabel* LblPoint = nullptr;
    QPushButton* BtnTake = nullptr;
    QPushButton* BtnObstructed = nullptr;
    QLineEdit* TxtValue = nullptr;
    QPushButton* BtnSetValue = nullptr;
    QTableWidget* TblResults = nullptr;
    QLabel* LblVerdict = nullptr;
    QPlainTextEdit* TxtNotes = nullptr;
    QPushButton* BtnOpen = nullptr;
    QPushButton* BtnSave = nullptr;
    QPushButton* BtnExportCsv = nullptr;
    QPushButton* BtnReport = nullptr;
    QPushButton* BtnPrint = nullptr;
    // The evidence: stability, installation, daylight, instrument, the earlier survey.
    QPushButton* BtnCheckStability = nullptr;
    QSpinBox* SpnStabilityInterval = nullptr;
    QLabel* LblStability = nullptr;
    QRadioButton* OptNewInstallation = nullptr;
    QRadioButton* OptInService = nullptr;
    QDoubleSpinBox* SpnMaintenanceFactor = nullptr;
    QPushButton* BtnLightsOff = nullptr;
    QComboBox* CboShown = nullptr;
    QLineEdit* TxtInstrumentModel = nullptr;
    QLineEdit* TxtInstrumentSerial = nullptr;
    QComboBox* CboInstrumentClass = nullptr;
    QLineEdit* TxtCalibrated = nullptr; // yyyy-MM-dd, or empty: not stated
    QLabel* LblCalibration = nullptr;
    QPushButton* BtnCompare = nullptr;
    QLabel* LblBaseline = nullptr;
    QCheckBox* ChkTakeWhenSteady = nullptr;

    const survey::Survey& survey() const { return m_survey; }
    int current() const { return m_current; }
    bool taking() const;
    // Whether the survey may go: nothing unsaved, or the user lets it go (asked once).
    bool mayClose();

    // The commands, as the buttons and keys run them.
    void take();
    void retakePrevious();
    void toggleObstructed();
    void clearPoint();
    void select(int index);
    void setTypedValue();
    void layOutGrid();
    // The room's outline, typed as corners or clicked on the plan (OutlineDialog); an empty
    // outline makes the room the rectangle of its length and width again.
    void editOutline();
    bool setOutline(const QPolygonF& outline);
    void addObstacle();
    bool placeObstacle(const QPolygonF& outline);
    void removeObstacle();
    // A task area at the place and size typed, with the requirement chosen for it.
    void addTask();
    bool placeTask(const QRectF& task);
    void removeTask();
    void open();
    void save();
    void exportCsv();
    void makeReport();
    void print();
    // The light checked before the walk: the mean of a second now and after each interval,
    // until three in a row agree or six are taken. Again: stops it.
    void checkStability();
    bool checkingStability() const;
    // The interval between two checks; the box takes no less than 10 s.
    void setStabilityInterval(int ms);
    // The lights-off pass: takes go to the points' lights-off values.
    void setLightsOffPass(bool on);
    bool lightsOffPass() const { return m_offPass; }
    // An earlier survey of the room, whose points' change this one shows.
    void compareWith();
    bool compareWithFile(const QString& path);
    // Takes the point by itself once the meter was carried on and held still.
    void setTakeWhenSteady(bool on);

    static QString filter() { return QStringLiteral("Lighting Surveys (*.json)|*.json|"); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void build();
    QWidget* buildRoom(QWidget* parent);
    QWidget* buildAreas(QWidget* parent);
    QWidget* buildRequirement(QWidget* parent);
    QWidget* buildWalk(QWidget* parent);
    QWidget* buildEvidence(QWidget* parent);
    QWidget* buildInstrument(QWidget* parent);
    void wireEvidence();
    void loadEvidenceControls();
    void showEvidence();
    void stabilityReading(double lux);
    void stopStability(const QString& why);
    void steadyReading();
    void instrumentEdited();
    // Whether the point waits for a reading in the pass being walked.
    bool pending(const survey::Point& p) const;
    void wire();
    void loadRequirementControls();
    bool applyShape(survey::Survey candidate, const QString& what);
    static qint64 pointKey(int area, int row, int column) {
        return (qint64(area + 2) << 42) | (qint64(row) << 21) | qint64(column);
    }
    // Whether the room's shape may change: nothing taken, or the user lets the points go.
    bool mayLayOutAgain();
    // After the points were laid out again: the walk starts over, the lists show the areas.
    void laidOut(const QString& what);
    void showAreas();
    void openOutline(const QString& what, const QString& title, const QPolygonF& corners,
                     bool (FrmSurvey::*apply)(const QPolygonF&));
    void fillResults();
    // A point's value: measured, or typed by hand.
    void taken(double lux, bool typed);
    void refused(const QString& text);
    void announce(const QString& text);
    void refresh();
    void showGridOfArea();
    void areaChanged();
    void loadIntoControls();
    void requirementChosen(int index);
    bool requirementEdited();
    void keepRequirement();
    void forgetRequirement();
    void storeRequirements();
    void moveBy(int rows, int columns);
    QString nameOf(int index) const;
    void goOnTo(int next, const QString& said);
    // The next point in walking order after `index` (wrapping to the first point not taken);
    // -1 when every point is done.
    int nextToTake(int index) const;
    survey::Unit unit() const;
    QString spokenUnit() const;
    // What the report says beyond the file: with askMeter, the calibration factor and SCF
    // read from the meter when one is there.
    surveyreport::Extras reportExtras(bool askMeter);
    bool askToDropChanges(const QString& question);

    AppState& m_state;
    MeterLink& m_link;
    Dialogs& m_dialogs;
    PointTaker* m_taker = nullptr;
    PointTaker* m_stabilityTaker = nullptr;
    DisplayPoll& m_display;
    QTimer m_stabilityTimer;
    bool m_offPass = false;
    bool m_freshStability = false; // a new check has no reading yet
    survey::SteadyWatch m_steady;
    QElapsedTimer m_steadyClock;
    survey::Survey m_survey;
    QList<survey::Requirement> m_requirements;
    QList<int> m_order;           // the walk, as survey::walkOrder gives it
    QHash<qint64, int> m_pointAt; // (area, row, column) to the point's index
    QPointer<OutlineDialog> m_outlineDialog;
    int m_current = 0;
    int m_takingAt = -1;
    bool m_changed = false;
    bool m_loading = false;
    bool m_dropAgreed = false; // the user let the unsaved survey go
};

} // namespace lumetra
