#pragma once

#include "link/polltimer.h"
#include "widgets/busy.h"

#include <optional>

class QGroupBox;
class QLabel;
class QPushButton;
class QTimer;

namespace lumetra {

class Clock;
class MeterLink;
struct AppState;

// The meter clock window (borderless): shows the meter's and the PC's clock on request and
// sets the meter's clock to the PC's time. The display poll stays stopped while it is open.
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
    std::optional<PollTimer::Hold> m_pollRest; // for as long as the window is open
    BusyRule m_tick; // the clock refresh only reads: it gives way to "Set Meter Time"
    bool m_showMeterTime = false;
    bool m_showPcTime = false;
};

} // namespace lumetra
