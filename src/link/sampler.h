#pragma once

#include <QDateTime>
#include <QObject>
#include <QStringList>

namespace lumetra {

class Clock;
class PollTimer;
class Recorder;
class SampleSink;
struct AppState;

// The PC recording tick (once a second): at each sampling moment the displayed reading goes
// to the record file and to the live list, each with its own record number. Recording stops
// by itself at 100 000 records, on a unit change, a measuring mode or a lost link; the list
// closes at 100 000 rows, on a unit change or a measuring mode.
class Sampler : public QObject {
    Q_OBJECT
public:
    Sampler(AppState& state, Clock& clock, Recorder& recorder, QObject* parent = nullptr);
    // The poll whose rest explains missed moments.
    void setPoll(const PollTimer* poll) { m_poll = poll; }

    void tick();
    // The sink (the live list) that receives the samples from now on; its count starts at
    // zero. Its owner calls sinkGone() when it goes away, however and whenever: the list slot
    // is free again.
    void startList(SampleSink* sink);
    void sinkGone(SampleSink* sink);
    SampleSink* list() const { return m_list; }
    // Records written to the file but not yet accepted by the disk.
    int pendingLines() const { return int(m_pending.size()); }
    // Writes what the disk refused so far; true when nothing is left waiting.
    bool flushPending();
    // The toolbar's stop (and the program's end): a last try for the records the disk
    // refused, then the file closes. Returns what to tell the user about records that are
    // still refused (empty when none).
    QString stopRecording();
    // The sampling tick rests while a window watches the meter itself (what says which), and
    // runs again: the moments it missed are said as when the poll rests.
    void tickRests(const QString& what);
    void tickResumes();
    // Stops the recording as when the meter ends it, and says why (endedByItself).
    void stopBecause(const QString& reason);

signals:
    // Records cannot be written (empty: all is well again).
    void writeErrorChanged(const QString& text);
    // The recording or the live list ended by itself, and why, for the status row.
    void endedByItself(const QString& text);
    // Sampling moments go by without a reading while other work rests the poll: what is
    // paused and why while it lasts; empty once readings come again.
    void pausedChanged(const QString& text);

private:
    void endList();
    // Records still refused when their file closes cannot go anywhere else: they are dropped,
    // and the status row says how many, never carried into the next recording's file.
    QString dropPending();
    // A sampling moment without a reading, and the first with one again.
    void missed(const QDateTime& now);
    void caughtUp();
    QString pausedText(const QString& what) const;

    AppState& m_state;
    Clock& m_clock;
    Recorder& m_recorder;
    SampleSink* m_list = nullptr;
    quint64 m_listSerial = 0; // counts the sinks started, so a newer one is never an older
    QStringList m_pending;
    quint64 m_serialAtFirstRefusal = 0; // the sink counting when m_pending began
    quint64 m_sampledReading = 0;       // AppState::readingsDecoded at the last sample
    const PollTimer* m_poll = nullptr;
    int m_missed = 0; // sampling moments without a reading, in a row
    QDateTime m_missedFrom, m_missedTo;
    QDateTime m_restedAt;  // when the tick began to rest, while it does
    QDateTime m_listSince; // when the list began
};

} // namespace lumetra
