#include "wait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QList>
#include <QTimer>

#include <cmath>

namespace lumetra {
namespace {

struct RunningWait {
    QEventLoop* loop;
    const WaitScope* scope; // the scope the wait belongs to; nullptr outside any
};

bool g_quit = false;
QList<RunningWait> g_waits; // the waits now on the stack, innermost last
QList<WaitScope*> g_scopes; // the scopes now on the stack, innermost last

const WaitScope* innermostScope() {
    return g_scopes.isEmpty() ? nullptr : g_scopes.last();
}

} // namespace

void pauseSeconds(double seconds) {
    pauseUntil(seconds, {}, {});
}

void pauseUntil(double seconds, const std::function<bool()>& ready,
                const std::function<void(QEventLoop&)>& hookWake) {
    QElapsedTimer elapsed;
    elapsed.start();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (waitsAbandoned() || !(seconds > 0))
        return;
    const qint64 total = std::llround(seconds * 1000.0);
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    if (hookWake)
        hookWake(loop);
    g_waits.append({&loop, innermostScope()});
    for (;;) {
        if (ready && ready())
            break;
        const qint64 left = total - elapsed.elapsed();
        if (left <= 0)
            break;
        timer.start(int(left));
        if (loop.exec() < 0)
            break; // the application is leaving: no loop runs any more
        // Woken by the timer, a signal, an abandon or the quit: only a signal goes on waiting.
        if (!ready || waitsAbandoned())
            break;
    }
    g_waits.removeIf([&](const RunningWait& w) { return w.loop == &loop; });
}

WaitScope::WaitScope() {
    g_scopes.append(this);
}

WaitScope::~WaitScope() {
    g_scopes.removeOne(this);
}

void WaitScope::abandon() {
    m_abandoned = true;
    for (const RunningWait& w : std::as_const(g_waits)) {
        if (w.scope == this)
            w.loop->quit();
    }
}

bool waitsAbandoned() {
    if (g_quit)
        return true;
    const WaitScope* scope = innermostScope();
    return scope && scope->abandoned();
}

void requestQuit() {
    g_quit = true;
    for (const RunningWait& w : std::as_const(g_waits))
        w.loop->quit();
}

bool quitRequested() {
    return g_quit;
}

void resetQuitRequest() {
    g_quit = false;
}

} // namespace lumetra
