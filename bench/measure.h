#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <functional>

namespace {

struct Measure {
    double ms = 0;
    double longestStallMs = 0;
};

// Runs work while a 5 ms timer watches the event loop; the longest gap between its ticks
// is the longest time the window could not react.
Measure measure(const std::function<void()>& work) {
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.nsecsElapsed();
    double longest = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, (now - last) / 1e6);
        last = now;
    });
    watch.start(5);
    QElapsedTimer t;
    t.start();
    work();
    Measure m;
    m.ms = t.nsecsElapsed() / 1e6;
    longest = std::max(longest, (clock.nsecsElapsed() - last) / 1e6);
    m.longestStallMs = longest;
    return m;
}

} // namespace
