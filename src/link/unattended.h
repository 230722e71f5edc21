#pragma once

#include "model/appstate.h"
#include "model/portnames.h"
#include "model/samplerow.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QTimer;

namespace lumetra {

class Clock;
class MeterSession;

// Recording without a display: the meter session samples the live display on a timer of
// its own and writes each sample as a CSV row and as a record file line, and hands it to
// whoever else listens (a publisher). Unlike the desktop recording it never stops for the
// meter: a meter that falls silent or vanishes is waited for, and one gap row says how long
// it was away; where a record file has to end (a unit change, a measuring mode, a full
// file), the next file carries on.
class UnattendedRecorder : public QObject {
    Q_OBJECT
public:
    struct Options {
        PortChoice port;
        int intervalMs = 1000;
        QString csvPath;    // "-": standard output; empty: none
        QString recordPath; // empty: none
        qint64 durationMs = -1;
        qint64 count = -1;
    };
    enum class StartError { None, Port, Output };

    UnattendedRecorder(Options options, Clock& clock, QObject* parent = nullptr);
    ~UnattendedRecorder() override;

    // Opens the port and the files, then samples. On failure nothing runs and errorText()
    // says why.
    StartError start();
    QString errorText() const { return m_error; }
    // Every sample also goes here (after the files).
    void setListener(std::function<void(const Sample&)> listener) {
        m_listener = std::move(listener);
    }
    // Closes the files and reopens them under their names (after log rotation).
    void reopenFiles();
    // Stops sampling; every file ends with its last whole line. The session ends too. Rows a
    // stalled reader of standard output holds up get kLastFlushMs, then are said and given
    // up, so the end never waits on a reader. Once is enough: a second call does nothing.
    void finish();

    qint64 samplesTaken() const { return m_taken; }
    QString lastReading() const { return m_lastReading; }
    bool meterAway() const { return m_away; }
    // The meter sent at least one frame since the start.
    bool meterAnswered() const { return m_lastHeard.isValid() || m_state.sinceFrame.isValid(); }
    qint64 runningMs() const { return m_running.isValid() ? m_running.elapsed() : 0; }
    AppState& state() { return m_state; }
    MeterSession& session() { return *m_session; }

    // A reading older than this is no sample: the meter is away.
    static constexpr qint64 kFreshMs = 1000;
    // How long the first reading may take before the meter counts as away.
    static constexpr qint64 kStartGraceMs = 3000;
    // How long the end waits for a reader of standard output.
    static constexpr int kLastFlushMs = 300;

signals:
    // A line for the person running the recorder (standard error).
    void said(const QString& text);
    // A sample was taken or the link changed: a status line may be redrawn.
    void progressed();
    // The duration or the count was reached.
    void done();

private:
    class CsvOutput;
    class RecordOutput;
    void tick();
    void take(const Sample& sample);

    Options m_options;
    Clock& m_clock;
    AppState m_state;
    std::unique_ptr<MeterSession> m_session;
    QTimer* m_timer = nullptr;
    std::unique_ptr<CsvOutput> m_csv;
    std::unique_ptr<RecordOutput> m_records;
    std::function<void(const Sample&)> m_listener;
    QString m_error;
    QElapsedTimer m_running;
    qint64 m_taken = 0;
    QString m_lastReading;
    bool m_away = false;
    bool m_finished = false;
    QDateTime m_lastHeard; // the last sampling moment with a reading
    QDateTime m_awaySince;
    QDateTime m_startedAt;
};

} // namespace lumetra
