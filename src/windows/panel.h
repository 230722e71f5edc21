#pragma once

#include "model/appstate.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>

class QKeySequence;
class QLabel;
class QTimer;
class QToolBar;
class QToolButton;

namespace lumetra {

class Clock;
class Dialogs;
class DisplayPoll;
class Exposure;
class MeterLink;
class MeterSession;
class PollTimer;
class VirtualLcd;
class WaitingBar;

// The main window: owns the shared state and the session with the meter (port, poll and
// sampling tick), mirrors the meter's display and carries the command toolbar. Closing it
// ends the program.
class Panel : public QMainWindow {
    Q_OBJECT
public:
    // One toolbar button: its key (what a click reports), what it does, the keyboard's way
    // to it (shown in its tool tip), its picture in the image list, and whether it works
    // without a meter.
    struct ToolbarButton {
        const char* key;
        const char* tip;
        const char* shortcut;
        int picture;
        bool offline;
        const char* does = ""; // in a sentence, for a newcomer and a screen reader
    };
    // "Save As (Ctrl+S)": what a button does and its key, then what it does in a sentence on
    // a second line, when there is one.
    static QString tipWithShortcut(const QString& tip, const QKeySequence& shortcut,
                                   const QString& does = {});

    Panel(Dialogs& dialogs, Clock& clock, QWidget* parent = nullptr);
    ~Panel() override;

    // Window load: opens the chosen port and starts the poll, or falls back to offline mode.
    void start(const PortChoice& choice);
    // Another port chosen while the program runs: the old one closes, the new one opens (and
    // the program leaves offline mode when it does). The caller holds the link.
    bool changePort(const PortChoice& choice);

    AppState& state() { return m_state; }
    Dialogs& dialogs() { return m_dialogs; }
    Clock& clock() { return m_clock; }
    MeterLink& link() { return *COM; }
    PollTimer& poll() { return *m_poll; }
    DisplayPoll& displayPoll() { return *m_displayPoll; }
    VirtualLcd* lcd() const { return m_lcd; }
    // The exposure readout window (one at a time), opened or brought to the front.
    void showExposure();
    Exposure* exposure() const;
    // Buttons go on the toolbar in the order they are added (the commands' table decides).
    QToolButton* addToolbarButton(const ToolbarButton& button);
    QToolButton* toolbarButton(const QString& key) const;
    // The one place that draws the recording state: button 1's two looks (picture 11, "Stop
    // Recording", or picture 1, "Save As"), "Rec." until the first record and "Rec" after it,
    // the file's name and the record count.
    void showRecording(bool recording, const QString& fileName, int records);
    // A record file that cannot be written is said in the status row (empty: all is well).
    void showWriteError(const QString& text);
    // A line in the status row that stays until the next toolbar command (a recording that
    // stopped by itself, and why).
    void addNote(const QString& text);
    void clearNotes();
    // What is paused while sampling moments go by without a reading (empty: nothing).
    void showPaused(const QString& text);

    // Called on shutdown so that any open record file is flushed and closed.
    void setShutdownHook(std::function<void()> hook) { m_shutdownHook = std::move(hook); }
    // Asked before the program quits: false keeps it running (work the user chose to keep).
    void setQuitCheck(std::function<bool()> check) { m_quitCheck = std::move(check); }

    static QString caption() { return QStringLiteral("Panel  V10.06"); }
    static QString captionWithBuild() { return QStringLiteral("Panel  V10.06   20190801.2"); }

    MeterLink* COM = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;
    QToolBar* Toolbar1 = nullptr;
    QLabel* LblCOM = nullptr;
    QLabel* LblFileName = nullptr;
    QLabel* LblCount = nullptr;
    QLabel* LblRec = nullptr;
    QLabel* LblWriteError = nullptr;
    QLabel* LblNote = nullptr;
    QLabel* LblPaused = nullptr;
    // "Waiting for the meter…" with Cancel, for toolbar exchanges without a window.
    WaitingBar* FrmWaiting = nullptr;

signals:
    // A toolbar button was clicked (its key).
    void toolbarClicked(const QString& key);
    void shuttingDown();
    // "Choose Port…": the port window is wanted again.
    void portWindowAsked();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void goOffline(const PortChoice& choice, const QString& reason);
    // The port's name or the link's trouble, red only for trouble.
    void showPortStatus(const QString& text);
    void toggleVersionCaption();

    Dialogs& m_dialogs;
    Clock& m_clock;
    AppState m_state;
    MeterSession* m_session = nullptr;
    PollTimer* m_poll = nullptr;
    DisplayPoll* m_displayPoll = nullptr;
    VirtualLcd* m_lcd = nullptr;
    QPointer<Exposure> m_exposure;
    QList<QToolButton*> m_buttons;
    bool m_offline = false; // started without a meter
    std::function<void()> m_shutdownHook;
    std::function<bool()> m_quitCheck;
};

} // namespace lumetra
