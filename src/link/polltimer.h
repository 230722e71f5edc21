#pragma once

#include <QObject>
#include <QTimer>

namespace lumetra {

// The display poll timer of the main window. Whoever talks to the meter outside the poll
// holds it stopped for the length of the exchange; it runs again when the last holder lets go.
class PollTimer : public QObject {
    Q_OBJECT
public:
    explicit PollTimer(QTimer* timer, QObject* parent = nullptr);

    class Hold {
    public:
        explicit Hold(PollTimer* owner);
        ~Hold();
        Hold(Hold&& other) noexcept;
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        Hold& operator=(Hold&&) = delete;
        // The exchange wants the poll left stopped afterwards (the power key).
        void keepStopped() { m_keepStopped = true; }

    private:
        PollTimer* m_owner;
        bool m_keepStopped = false;
    };

    [[nodiscard]] Hold hold() { return Hold(this); }
    void setEnabled(bool enabled); // false in offline mode: never runs
    void start();
    void stop();
    bool isActive() const { return m_timer->isActive(); }
    int holders() const { return m_holders; }
    QTimer* timer() const { return m_timer; }

signals:
    // Someone holds the poll: a tick that waits for the meter beneath them gives way.
    void held();

private:
    QTimer* m_timer;
    int m_holders = 0;
    bool m_enabled = false;
};

} // namespace lumetra
