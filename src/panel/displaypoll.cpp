#include "displaypoll.h"

#include "link/meterlink.h"
#include "link/wait.h"
#include "panel/displayframe.h"
#include "recording/appstate.h"

#include <QElapsedTimer>
#include <QScopeGuard>

namespace lumetra {

DisplayPoll::DisplayPoll(MeterLink& link, AppState& state, QObject* parent)
    : QObject(parent), m_link(link), m_state(state) {}

void DisplayPoll::tick() {
    if (!m_state.meterOnline || m_inTick)
        return; // a tick never runs inside another
    m_inTick = true;
    const auto done = qScopeGuard([this] { m_inTick = false; });

    if (m_state.pollCounter == 0) {
        if (!m_link.handshake())
            return;
        m_link.writeLetter('M');
    }

    QByteArray buffer;
    int attempts = 0;
    bool resync = false;
    for (;;) {
        if (!resync) {
            buffer.clear();
            m_link.flush();
        }
        resync = false;
        QElapsedTimer since; // monotonic: midnight does not cut a wait short
        since.start();
        for (;;) {
            buffer += m_link.readAll();
            if (buffer.size() >= kFrameSize || since.elapsed() > m_waitCycleSeconds * 1000)
                break;
            pauseSeconds(0.02);
            if (quitRequested())
                return;
        }
        if (buffer.size() < kFrameSize) {
            if (attempts < kWaitCycles - 1) {
                ++attempts;
                continue;
            }
            m_state.display.linkAlive = false;
            emit gaveUp();
            if (!m_link.waitForMeter())
                return;
            m_link.readAll();
            return;
        }
        attempts = 0;
        if (frameIsWellFormed(buffer))
            break;
        // A bad frame is dropped. When a start byte has already arrived behind it, the read
        // carries on from there: flushing it too would, with frames that arrive in pieces,
        // throw away the first piece of every following frame as well.
        const qsizetype next = buffer.indexOf(char(0x02), 1);
        if (next > 0) {
            buffer.remove(0, next);
            resync = true;
        }
    }

    m_state.display.linkAlive = true;
    switch (decodeFrame(buffer.left(kFrameSize), m_state.display)) {
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
    emit frameDecoded();
    m_state.pollCounter = (m_state.pollCounter + 1) % kFramesPerRestart;
}

} // namespace lumetra
