#pragma once

#include <QDateTime>

namespace lumetra {

// Wall clock of the PC: time stamps of records and the meter clock. Waits never use it
// (they run on a monotonic clock), so a tests may substitute a clock of its own.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    double secondsSinceMidnight() const;
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

// A clock that says whatever it is told; time only moves when advanced.
class ManualClock final : public Clock {
public:
    explicit ManualClock(QDateTime start) : m_now(std::move(start)) {}
    QDateTime now() const override { return m_now; }
    void set(const QDateTime& t) { m_now = t; }
    void advance(qint64 seconds) { m_now = m_now.addSecs(seconds); }

private:
    QDateTime m_now;
};

} // namespace lumetra
