#pragma once

#include "link/polltimer.h"
#include "widgets/busy.h"

#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace lumetra {

class Dialogs;
class MeterLink;
struct AppState;

// The SCF window (borderless): the meter's SCF factor (0.200 to 5.000) and its entry L0..U9.
// While it is open the main poll rests (the opener rests the recording tick) and the window
// watches the display stream itself; it closes when the meter shows SET UP or CLEAR.
class SCF_frm : public BusyDialog {
    Q_OBJECT
public:
    // Centred on parent (the main window).
    SCF_frm(MeterLink& link, PollTimer& poll, AppState& state, Dialogs& dialogs, QWidget* parent);

    QLineEdit* SCFRange_Edit = nullptr;
    QComboBox* SCFCNT_Cbx = nullptr;
    QPushButton* SetSCF_btn = nullptr;
    QPushButton* SCF_init_btn = nullptr;
    QPushButton* Cancel_btn = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QTimer* Timer1 = nullptr;

    void load();
    void set();
    void initial();
    void watch();
    bool ready() const { return m_ready; }

    static QString rangeMessage() { return QStringLiteral("SCF Range Error : 0.200 ~ 5.000"); }

    void done(int result) override;

signals:
    // The meter shows "SET UP" or "CLEAR": the main window's display shows it too.
    void overlayShown(const QString& caption);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    MeterLink& m_link;
    AppState& m_state;
    Dialogs& m_dialogs;
    std::optional<PollTimer::Hold> m_pollRest; // for as long as the window is open
    BusyRule m_watch; // the watcher only reads the stream: it gives way to the buttons
    bool m_ready = false;
    quint64 m_handshakesSeen = 0; // the link's "A" count when the watcher last sent "M"
};

} // namespace lumetra
