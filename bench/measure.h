#pragma once

#include <QAbstractEventDispatcher>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <ctime>
#include <functional>

namespace {

struct Measure {
    double ms = 0;
    double longestStallMs = 0;
};

// Runs work while a 5 ms timer watches the event loop; the longest gap between its ticks
// is the longest time the window could not react.
inline Measure measure(const std::function<void()>& work) {
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

// The longest stretch the thread ran without once going back to sleep in its event loop: an
// upper bound of the time the window could not react, measured without waking the thread
// itself (a watch timer would add the very wake-ups a CPU figure should not contain).
class BusyWatch {
public:
    BusyWatch() {
        m_clock.start();
        m_since = m_clock.nsecsElapsed();
        auto* d = QAbstractEventDispatcher::instance();
        m_connections[0] = QObject::connect(d, &QAbstractEventDispatcher::aboutToBlock, [this] {
            if (!m_asleep)
                m_longest = std::max(m_longest, m_clock.nsecsElapsed() - m_since);
            m_asleep = true;
        });
        m_connections[1] = QObject::connect(d, &QAbstractEventDispatcher::awake, [this] {
            if (m_asleep)
                m_since = m_clock.nsecsElapsed();
            m_asleep = false;
        });
    }
    ~BusyWatch() {
        for (const auto& c : m_connections)
            QObject::disconnect(c);
    }
    BusyWatch(const BusyWatch&) = delete;
    BusyWatch& operator=(const BusyWatch&) = delete;
    double longestMs() const { return m_longest / 1e6; }

private:
    QElapsedTimer m_clock;
    qint64 m_since = 0;
    qint64 m_longest = 0;
    bool m_asleep = false;
    QMetaObject::Connection m_connections[2];
};

inline double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

} // namespace

#include <QString>
#include <QTextStream>

namespace {

// One row of the table scripts/bench.sh prints: what was measured, the figure, its plain
// baseline from the same run, the aim, and whether the aim was met.
// Runs the event loop until pred holds; the time it took, or -1 when limitMs passed first.
inline qint64 waitUntil(const std::function<bool()>& pred, int limitMs) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > limitMs)
            return -1;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return t.elapsed();
}

inline void reportRow(const QString& what, const QString& figure, const QString& plain,
                      const QString& aim, bool met) {
    QTextStream(stdout) << "ROW\t" << what << '\t' << figure << '\t' << plain << '\t' << aim << '\t'
                        << (met ? "met" : "NOT MET") << Qt::endl;
}

inline QString ms(double v) {
    return QString::number(v, 'f', v < 10 ? 1 : 0) + QStringLiteral(" ms");
}

inline QString percent(double share) {
    return QString::number(share * 100.0, 'f', 2) + QStringLiteral(" %");
}

} // namespace
