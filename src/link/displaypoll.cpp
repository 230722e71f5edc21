#include "displaypoll.h"

#include "link/meterlink.h"
#include "link/wait.h"
#include "model/appstate.h"
#include "model/displayframe.h"

#include <QElapsedTimer>
#include <QTimer>

#include <cmath>

namespace lumetra {

FrameRead readDisplayFrame(MeterLink& link, double waitCycleSeconds, QByteArray& buffer) {
    int attempts = 0;
    bool resync = false;
    for (;;) {
        if (!resync) {
            buffer.clear();
            link.flush();
        }
        resync = false;
        QElapsedTimer since; // monotonic: midnight does not cut a wait short
        since.start();
        const qint64 cycleMs = std::llround(waitCycleSeconds * 1000);
        for (;;) {
            link.readAllInto(buffer);
            if (!link.isOpen())
                return FrameRead::Silent; // the device is gone: no wait brings a frame
            const qint64 left = cycleMs - since.elapsed();
            if (buffer.size() >= kFrameSize || left <= 0)
                break;
            // Sleeps until the next bytes arrive rather than looking every few milliseconds.
            if (!link.waitForInput(double(left) / 1000.0))
                return FrameRead::Quit;
        }
        if (buffer.size() < kFrameSize) {
            if (attempts < DisplayPoll::kWaitCycles - 1) {
                ++attempts;
                continue;
            }
            return FrameRead::Silent;
        }
        attempts = 0;
        if (frameIsWellFormed(buffer)) {
            buffer.truncate(kFrameSize);
            return FrameRead::Frame;
        }
        // A bad frame is dropped. When a start byte has already arrived behind it, the read
        // carries on from there: flushing it too would, with frames that arrive in pieces,
        // throw away the first piece of every following frame as well.
        const qsizetype next = buffer.indexOf(char(0x02), 1);
        if (next > 0) {
            buffer.remove(0, next);
            resync = true;
        }
    }
}

DisplayPoll::DisplayPoll(MeterLink& link, AppState& state, QTimer* timer, QObject* parent)
    : QObject(parent), m_link(link), m_timer(timer), m_state(state) {
    connect(timer, &QTimer::timeout, this, &DisplayPoll::tick);
    // An exchange that starts while a tick waits for its frame would otherwise run inside
    // that wait and leave the tick reading a stream it has just stopped: the tick gives up,
    // and the next one starts afresh.
    connect(&link, &MeterLink::claimTaken, this, &DisplayPoll::giveWay);
}

void DisplayPoll::giveWay() {
    if (m_tick.held())
        m_gaveWay = true;
    m_tick.abandonWaits();
    m_inner.abandonWaits();
}

void DisplayPoll::tick() {
    if (!m_state.meterOnline)
        return;
    if (const auto busy = m_tick.tryHold()) {
        m_gaveWay = false;
        timedRead();
        return;
    }
    // An exchange that began inside the tick on the stack made it give way, then lent the
    // meter back while a person types: that tick only unwinds once the entry closes, so this
    // one reads in its place (never while the link is claimed).
    if (!m_gaveWay || m_link.claimed())
        return;
    if (const auto inner = m_inner.tryHold())
        timedRead();
}

void DisplayPoll::timedRead() {
    if (!m_clock.isValid())
        m_clock.start();
    const qint64 interval = m_timer->interval();
    // Ticks keep to a timeline of one every interval. A tick far behind it (a second: the
    // poll rested or waited for the meter) starts a new timeline rather than a burst of
    // ticks; one well ahead of it (the timer served a slot a caught-up tick had served)
    // starts a new one too, so the timeline never runs ahead of the ticks.
    const qint64 started = m_clock.elapsed();
    if (started - m_dueMs > 4 * interval || m_dueMs - started > interval / 2)
        m_dueMs = started;
    readOneFrame();
    m_dueMs += interval;
    // The timer skips ticks that fall due while one still runs (a restart of the stream
    // outlasts the interval): a tick behind the timeline runs now, so no frame is lost to
    // the poll's own timing. Only while the poll still runs: an exchange that stopped it
    // wants the line, and not after a tick that gave way to one (the poll starts afresh).
    if (!waitsAbandoned() && m_clock.elapsed() >= m_dueMs && m_timer->isActive()) {
        QTimer::singleShot(0, this, [this] {
            if (m_timer->isActive())
                tick();
        });
    }
}

void DisplayPoll::restartStream() {
    m_state.pollCounter = 0;
}

void DisplayPoll::readOneFrame() {
    // Any "A" since the poll's own "M" may have ended the stream: handshake and "M" again.
    if (m_link.handshakeLetters() != m_handshakesSeen)
        m_state.pollCounter = 0;
    if (m_state.pollCounter == 0) {
        if (!m_link.handshake())
            return;
        m_link.writeLetter('M');
        m_handshakesSeen = m_link.handshakeLetters();
    }

    QByteArray buffer;
    switch (readDisplayFrame(m_link, m_waitCycleSeconds, buffer)) {
    case FrameRead::Quit:
        return;
    case FrameRead::Silent:
        m_state.display.linkAlive = false;
        emit gaveUp();
        if (!m_link.waitForMeter())
            return;
        m_handshakesSeen = m_link.handshakeLetters(); // the wait ends with the stream flowing
        m_link.readAll();
        return;
    case FrameRead::Frame:
        break;
    }

    m_state.display.linkAlive = true;
    m_state.sinceFrame.start();
    m_link.noteTraffic();
    switch (decodeFrame(buffer, m_state.display)) {
    case FrameKind::SetUp:
        emit overlayDecoded(QStringLiteral("SET UP"));
        return;
    case FrameKind::Clear:
        emit overlayDecoded(QStringLiteral("CLEAR"));
        return;
    case FrameKind::Error:
        return; // nothing shown, the counter stays
    case FrameKind::Normal:
        break;
    }
    ++m_state.readingsDecoded;
    m_state.sinceReading.start();
    emit frameDecoded();
    m_state.pollCounter = (m_state.pollCounter + 1) % kFramesPerRestart;
}

} // namespace lumetra
