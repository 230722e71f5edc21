#pragma once

#include "graph/surveyreport.h"
#include "model/survey.h"
#include "widgets/busy.h"

#include <QList>

class QCheckBox;
class QComboBox;
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
class HeatMapView;
class MeterLink;
class PointTaker;
class PollTimer;
struct AppState;

// "Lighting Survey": lays a measuring grid over a room, takes a reading at each point as the
// user walks it (or takes a typed value), shows the plan as a heat map with the figures and
// the verdict against a requirement, keeps it in a survey file and prints its report.
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
    QComboBox* CboRequirement = nullptr;
    QLineEdit* TxtAverage = nullptr;
    QLineEdit* TxtUniformity = nullptr;
    QLineEdit* TxtMinimum = nullptr;
    QLineEdit* TxtMaxRatio = nullptr;
    QPushButton* BtnKeepRequirement = nullptr;
    QPushButton* BtnForgetRequirement = nullptr;
    QComboBox* CboUnit = nullptr;
    HeatMapView* Plan = nullptr;
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
    void open();
    void save();
    void exportCsv();
    void makeReport();
    void print();

    static QString filter() { return QStringLiteral("Lighting Surveys (*.json)|*.json|"); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void build();
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
    survey::Survey m_survey;
    QList<survey::Requirement> m_requirements;
    int m_current = 0;
    int m_takingAt = -1;
    bool m_changed = false;
    bool m_loading = false;
    bool m_dropAgreed = false; // the user let the unsaved survey go
};

} // namespace lumetra
