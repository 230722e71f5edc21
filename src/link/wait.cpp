#include "wait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QList>
#include <QPointer>
#include <QTimer>

#include <cmath>

namespace lumetra {
namespace {

bool g_quit = false;
QList<QEventLoop*> g_loops; // the waits now on the stack, innermost last

} // namespace

void pauseSeconds(double seconds) {
    QElapsedTimer elapsed;
    elapsed.start();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (g_quit || !(seconds > 0))
        return;
    const qint64 total = std::llround(seconds * 1000.0);
    const qint64 left = total - elapsed.elapsed();
    if (left <= 0)
        return;

    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    g_loops.append(&loop);
    timer.start(int(left));
    loop.exec();
    g_loops.removeOne(&loop);
}

void requestQuit() {
    g_quit = true;
    for (QEventLoop* loop : std::as_const(g_loops))
        loop->quit();
}

bool quitRequested() {
    return g_quit;
}

void resetQuitRequest() {
    g_quit = false;
}

} // namespace lumetra
