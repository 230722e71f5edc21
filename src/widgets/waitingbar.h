#pragma once

#include <QFrame>
#include <QPointer>
#include <QTimer>

class QLabel;
class QPushButton;
class QShortcut;

namespace lumetra {

class BusyRule;

// A strip of the main window for exchanges that have no window of their own (a toolbar key
// that talks to the meter): once such an exchange has waited on the meter for a moment, the
// strip says so and offers to give up ("Cancel", or Escape). Without it a meter that is
// switched off would keep the link claimed until the program quits.
class WaitingBar : public QFrame {
    Q_OBJECT
public:
    static constexpr int kShowAfterMs = 1000;

    explicit WaitingBar(QWidget* parent = nullptr);

    // While it lives, the exchange that holds rule can be cancelled from the strip; the strip
    // shows once the watch has lasted kShowAfterMs, and hides when the watch ends.
    class Watch {
    public:
        Watch(WaitingBar* bar, BusyRule& rule);
        ~Watch();
        Watch(const Watch&) = delete;
        Watch& operator=(const Watch&) = delete;

    private:
        QPointer<WaitingBar> m_bar;
        BusyRule* m_outer; // the watch this one sits inside, if any
    };

    static QString waitingText() { return QStringLiteral("Waiting for the meter…"); }

    QLabel* LblWaiting = nullptr;
    QPushButton* CmdCancelWait = nullptr;

private:
    void appear();
    void cancel();
    void setRule(BusyRule* rule);

    QTimer m_delay;
    QShortcut* m_escape = nullptr;
    BusyRule* m_rule = nullptr;
};

} // namespace lumetra
