#pragma once

#include "link/polltimer.h"
#include "widgets/busy.h"

#include <QByteArray>
#include <QElapsedTimer>

class QGroupBox;
class QLabel;
class QPushButton;
class QTimer;

namespace lumetra {

class Clock;
class MeterLink;
struct AppState;

// The meter clock window (borderless): shows the meter's and the PC's clock, ticking, from
// the moment it opens (a click hides or shows either), and sets the meter's clock to the PC's
// time. The meter's clock is read every few seconds and runs on by the PC's between reads,
// so the display poll, a recording and the live list go on while the window is open.
class Setup : public BusyDialog {
    Q_OBJECT
public:
    // Centred on parent (the main window), near its top.
    Setup(MeterLink& link, PollTimer& poll, AppState& state, Clock& clock, QWidget* parent);

    QGroupBox* FrameTime = nullptr;
    QLabel* LblMeterTime = nullptr;
    QLabel* LblPCTime = nullptr;
    QPushButton* CmdSetTime = nullptr;
    QPushButton* CmdExit = nullptr;
    QTimer* Timer1 = nullptr;

    void tick();
    // How long the meter's clock runs on by the PC's before it is read again.
    static constexpr qint64 kReadEveryMs = 5000;
    void setTime();
    bool showMeterTime() const { return m_showMeterTime; }
    bool showPcTime() const { return m_showPcTime; }

    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    MeterLink& m_link;
    AppState& m_state;
    Clock& m_clock;
    BusyRule m_tick; // the clock refresh only reads: it gives way to "Set Meter Time"
    bool m_showMeterTime = true;
    bool m_showPcTime = true;
    QByteArray m_meterClock;   // the last "Y" reply
    QElapsedTimer m_sinceRead; // since m_meterClock came; invalid: read it now
};

} // namespace lumetra
