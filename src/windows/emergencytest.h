#pragma once

#include "link/displaysamples.h"
#include "model/emergency.h"
#include "widgets/busy.h"

#include <QTimer>

#include <memory>

class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QLayout;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace lumetra {

class Clock;
class Dialogs;
class DisplayPoll;
class EmergencyCurve;
class EmergencyRun;
class PointTaker;
struct AppState;

// "Emergency Test": the emergency-lighting duration test on the desktop. The user chooses the
// rule and the rated duration, names the place, presses Start and cuts the mains; the window
// finds the failure, follows the light on the live display through the duration, takes walk
// points (Space on the curve), shows the verdict and appends it to the log book with the
// samples beside it and a PDF report. Nothing is asked of the meter: the display poll runs.
class FrmEmergency : public BusyWindow {
    Q_OBJECT
public:
    FrmEmergency(AppState& state, DisplayPoll& display, Clock& clock, Dialogs& dialogs,
                 QWidget* parent = nullptr);
    ~FrmEmergency() override;

    QComboBox* CboRule = nullptr;
    QGroupBox* GrpTypedRule = nullptr;
    QDoubleSpinBox* SpnMinimum = nullptr;
    QDoubleSpinBox* SpnHalfWithin = nullptr;
    QDoubleSpinBox* SpnFullWithin = nullptr;
    QDoubleSpinBox* SpnRatio = nullptr;
    QComboBox* CboDuration = nullptr;
    QLineEdit* TxtLocation = nullptr;
    QLineEdit* TxtLuminaire = nullptr;
    QLineEdit* TxtTester = nullptr;
    QLabel* LblLogBook = nullptr;
    QPushButton* BtnLogBook = nullptr;
    QPushButton* BtnStart = nullptr;
    QPushButton* BtnStop = nullptr;
    EmergencyCurve* Curve = nullptr;
    QLabel* LblState = nullptr;
    QLabel* LblFigures = nullptr;
    QPushButton* BtnTakePoint = nullptr;
    QListWidget* LstWalk = nullptr;
    QPlainTextEdit* TxtRemarks = nullptr;
    QPushButton* BtnSave = nullptr;
    QPushButton* BtnPrint = nullptr;
    QListWidget* LstHistory = nullptr;

    // The rated duration typed or chosen ("1 h", "90 min", "1.5 h", "20 s", "3600"), in
    // seconds; nothing when it cannot be read or is under 10 s.
    static std::optional<double> durationOf(const QString& text);
    const EmergencyRun* run() const { return m_run.get(); }
    QString logBookPath() const { return m_logBook; }

    void start();
    void stop();
    void takePoint();
    // Appends the finished test to the log book, with the report beside its samples.
    bool saveEntry();
    // Whether the window may go: a running test is stopped when the user agrees, and a
    // finished one is put into the log book first; false keeps it (and the program) open.
    bool mayClose();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void build();
    QLayout* buildForm();
    QLayout* buildTypedRule();
    emergency::Rule typedRule() const;
    emergency::Rule chosenRule() const;
    void print();
    void sample();
    void showRun();
    void finished();
    void chooseLogBook();
    void showHistory();
    void rememberFields();
    bool running() const;
    bool walking() const; // walk points may be taken now

    AppState& m_state;
    Clock& m_clock;
    Dialogs& m_dialogs;
    PointTaker* m_taker = nullptr;
    DisplaySamples m_samples;
    QTimer m_tick;
    std::unique_ptr<EmergencyRun> m_run;
    emergency::Meta m_meta;
    QString m_logBook;
    bool m_saved = true;
    QString m_warning; // said by the run (samples not written), kept in sight
};

} // namespace lumetra
