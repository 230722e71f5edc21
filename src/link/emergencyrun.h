#pragma once

#include "model/emergency.h"
#include "model/samplerow.h"
#include "platform/recordappender.h"

#include <QObject>
#include <QString>

class QTimer;

namespace lumetra {

class Clock;

// One emergency-lighting duration test as it runs: it takes the live samples (four a second
// from whoever samples the meter), keeps them as the recorder's CSV rows (every one until the
// response is over, then one a second), judges the light after each, and ends itself once the
// rated duration from the mains failure has passed, also when the meter is away at that time.
class EmergencyRun : public QObject {
    Q_OBJECT
public:
    struct Options {
        emergency::Rule rule;
        double ratedS = 3600;
        QString csvPath; // empty: the samples are kept in memory only
    };

    EmergencyRun(Options options, Clock& clock, QObject* parent = nullptr);

    // Opens the samples file (appended, with the header when it is new). false with the
    // reason when it cannot be written.
    bool open(QString& error);
    void take(const Sample& sample);
    // A point of the walk, taken now.
    void addWalkPoint(const QString& name, double lux);
    // The user ends the test as it stands (also before the failure).
    void stop();

    bool over() const { return m_over; }
    const emergency::Input& input() const { return m_input; }
    const emergency::Assessment& assessment() const { return m_assessment; }
    QString stateText() const { return emergency::stateText(m_assessment, m_input.readings); }
    // Seconds left of the rated duration (the whole while waiting for the failure).
    double secondsLeft() const;
    // Seconds from the mains failure to now; negative while waiting.
    double secondsNow() const;
    qint64 rowsKept() const { return m_kept; }

    // Every sample the meter gives while the response runs; one a second after it.
    static constexpr qint64 kSlowStepMs = 1000;

signals:
    void changed();
    void finished();
    void said(const QString& text);

private:
    void reassess();
    bool keep(const Sample& sample) const;
    void checkTheEnd();

    Options m_options;
    Clock& m_clock;
    emergency::Input m_input;
    emergency::Assessment m_assessment;
    RecordAppender m_csv;
    QTimer* m_endCheck = nullptr;
    qint64 m_lastKeptMs = -1;
    qint64 m_kept = 0;
    qint64 m_refused = 0;
    bool m_over = false;
};

// Appends one entry to the log book as one whole line, synced; the reason when it could not.
QString appendToLogBook(const QString& path, const QJsonObject& entry);

} // namespace lumetra
