#pragma once

#include "widgets/busy.h"

class QPushButton;
class QRadioButton;

namespace lumetra {

class Dialogs;
class MeterLink;
class PollTimer;
struct AppState;

// The sampling-rate window: sets either the PC's sampling interval or the meter's own
// logging interval. Borderless, modal; closing it restarts the display poll.
class SamplingChoice : public BusyDialog {
    Q_OBJECT
public:
    // Placed over parent (the main window), near its top-left corner.
    SamplingChoice(MeterLink& link, PollTimer& poll, AppState& state, Dialogs& dialogs,
                   QWidget* parent);

    QRadioButton* OptPC = nullptr;
    QRadioButton* OptMeter = nullptr;
    QPushButton* CmdOK = nullptr;

    void done(int result) override;

private:
    void ok();
    void enterPcInterval();
    void enterMeterInterval();

    MeterLink& m_link;
    PollTimer& m_poll;
    AppState& m_state;
    Dialogs& m_dialogs;
};

} // namespace lumetra
