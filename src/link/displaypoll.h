#pragma once

#include "link/busyrule.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class QTimer;

namespace lumetra {

class MeterLink;
struct AppState;

// Reads one display frame from the running stream: up to six waits of a cycle each for 14
// bytes; frames with wrong start or end bytes are dropped (the read goes on from a start
// byte already received, else from a flushed buffer).
enum class FrameRead { Frame, Silent, Quit };
FrameRead readDisplayFrame(MeterLink& link, double waitCycleSeconds, QByteArray& frame);

// One display poll: (every 15th frame) handshake and "M", then read one frame, check it and
// decode it into the shared display state. A silent meter is given six waits of up to 2 s,
// then the link waits for the meter.
class DisplayPoll : public QObject {
    Q_OBJECT
public:
    static constexpr int kFramesPerRestart = 15;
    static constexpr int kWaitCycles = 6;
    static constexpr double kWaitCycleSeconds = 2.0;

    // timer drives the poll: its ticks call tick().
    DisplayPoll(MeterLink& link, AppState& state, QTimer* timer, QObject* parent = nullptr);

    // A tick that fell due while the previous one was still reading (a restart of the
    // stream can outlast the interval) runs as soon as that one ends.
    void tick();
    // Length of one wait for a frame (tests shorten it).
    void setWaitCycleSeconds(double seconds) { m_waitCycleSeconds = seconds; }
    // A tick reads now (not one that gave way and only waits to unwind).
    bool running() const { return (m_tick.held() && !m_gaveWay) || m_inner.held(); }
    // The poll rests: its timer is held (another exchange has the link, or a long job runs).
    bool resting() const { return !m_timer->isActive(); }
    MeterLink& link() const { return m_link; }
    // The next tick handshakes and sends "M" first: whoever ended the display stream (a
    // download does) asks for it again this way.
    void restartStream();
    // A tick under way gives up its waits at once (the poll was held beneath it).
    void giveWay();

signals:
    void frameDecoded();                      // a normal frame: show it
    void overlayDecoded(const QString& text); // "SET UP" or "CLEAR"
    void gaveUp();                            // six empty waits

private:
    void readOneFrame();
    void timedRead();

    MeterLink& m_link;
    QTimer* m_timer;
    QElapsedTimer m_clock;
    qint64 m_dueMs = 0; // on m_clock: when the next tick is due
    AppState& m_state;
    BusyRule m_tick;        // a tick never runs inside another,
    BusyRule m_inner;       // unless the one beneath gave way: it only unwinds, this one reads
    bool m_gaveWay = false; // the tick on the stack gave way to an exchange
    double m_waitCycleSeconds = kWaitCycleSeconds;
    quint64 m_handshakesSeen = 0; // the link's "A" count when this poll last sent "M"
};

} // namespace lumetra
