#pragma once

#include <QDialog>

#include <optional>

class QPushButton;
class QRadioButton;

namespace lumetra {

class Panel;
class PollTimer;

// The sampling-rate window: sets either the PC's sampling interval or the meter's own
// logging interval. Borderless, modal; closing it restarts the display poll.
class SamplingChoice : public QDialog {
    Q_OBJECT
public:
    explicit SamplingChoice(Panel& panel, QWidget* parent = nullptr);

    QRadioButton* OptPC = nullptr;
    QRadioButton* OptMeter = nullptr;
    QPushButton* CmdOK = nullptr;

protected:
    void done(int result) override;

private:
    void ok();
    void enterPcInterval();
    void enterMeterInterval();

    Panel& m_panel;
    bool m_running = false;
};

} // namespace lumetra
