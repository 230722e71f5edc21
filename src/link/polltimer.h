#pragma once

#include <QObject>
#include <QStringList>
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
        // purpose says what rests the poll ("the data logger download"), for the status row.
        explicit Hold(PollTimer* owner, const QString& purpose = {});
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
        QString m_purpose;
    };

    [[nodiscard]] Hold hold(const QString& purpose = {}) { return Hold(this, purpose); }
    // What rests the poll, in words, as its latest holder with a purpose said it.
    QString restingFor() const { return m_purposes.isEmpty() ? QString() : m_purposes.last(); }
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
    QStringList m_purposes;
    bool m_enabled = false;
};

} // namespace lumetra
