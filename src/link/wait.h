#pragma once

#include <functional>

class QEventLoop;

namespace lumetra {

// The one way the program waits: processes pending events at least once, then sleeps in an
// event loop until the time is up. Durations are measured on a monotonic clock, so midnight
// or a clock adjustment neither ends a wait early nor stretches it.
void pauseSeconds(double seconds);

// As pauseSeconds, but it ends early once ready() holds. ready() is checked after the first
// pass of events and each time a signal that hookWake() connects to the loop's quit() fires,
// so the wait sleeps instead of polling.
void pauseUntil(double seconds, const std::function<bool()>& ready,
                const std::function<void(QEventLoop&)>& hookWake);

// A piece of work a person can abandon, such as a window's exchange with the meter. Once it
// is abandoned, every wait inside it returns at once and waitsAbandoned() holds there, so
// loops towards the meter give up. Scopes nest with the call stack: work that started inside
// another scope's wait finishes first, as it must.
class WaitScope {
public:
    WaitScope();
    ~WaitScope();
    WaitScope(const WaitScope&) = delete;
    WaitScope& operator=(const WaitScope&) = delete;

    void abandon();
    bool abandoned() const { return m_abandoned; }

private:
    bool m_abandoned = false;
};

// True when the program is shutting down or the innermost running WaitScope was abandoned:
// code that loops towards the meter checks it after each wait and gives up.
bool waitsAbandoned();

// Shutting down: every running and future wait returns at once.
void requestQuit();
bool quitRequested();
// Only for tests that start the program's windows more than once in one process.
void resetQuitRequest();

} // namespace lumetra
