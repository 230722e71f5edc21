#include "sampler.h"

#include "link/polltimer.h"
#include "link/recorder.h"
#include "link/samplesink.h"
#include "model/appstate.h"
#include "model/recordfile.h"
#include "platform/clock.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <limits>

namespace lumetra {
namespace {

QString counted(int n, const char* thing) {
    return QStringLiteral("%1 %2%3").arg(n).arg(QLatin1String(thing)).arg(n == 1 ? "" : "s");
}

} // namespace

Sampler::Sampler(AppState& state, Clock& clock, Recorder& recorder, QObject* parent)
    : QObject(parent), m_state(state), m_clock(clock), m_recorder(recorder) {}

void Sampler::startList(SampleSink* sink) {
    endList();
    m_list = sink;
    ++m_listSerial;
    m_listSince = m_clock.now(); // moments missed before are none of its own
    if (!m_state.recordingToFile) {
        m_missed = 0;
        emit pausedChanged({});
    }
    m_state.listOpen = true;
    m_state.listRecordCount = 0;
    m_state.listUnit = m_state.display.unitText;
}

void Sampler::sinkGone(SampleSink* sink) {
    // Only the sink that is counting frees the slot: an older list whose close was put off
    // (it was saving) must not end a newer one.
    if (m_list == sink)
        endList();
}

void Sampler::endList() {
    m_list = nullptr;
    m_state.listOpen = false;
    m_state.listRecordCount = 0;
}

void Sampler::tick() {
    AppState& s = m_state;
    const DisplayState& d = s.display;
    if (!s.meterOnline)
        return;
    if (m_missed > 0 && !s.recordingToFile && !(s.listOpen && m_list)) {
        m_missed = 0; // nothing samples any more: nothing is paused
        emit pausedChanged({});
    }
    if (s.sampleTick != 0 && s.sampleTick < s.sampleInterval) {
        ++s.sampleTick;
        return;
    }
    // A reading shown while the poll rests (a download, a settings window, a list job) is
    // no new sample: the moment is skipped, and the times in the file show the gap.
    if (!s.readingFresh(m_sampledReading)) {
        if (s.recordingToFile && !d.linkAlive)
            stopBecause(d.leftPlainReading(s.fileUnit));
        else if (s.recordingToFile || (s.listOpen && m_list))
            missed(m_clock.now());
        s.sampleTick = 1;
        return;
    }
    m_sampledReading = s.readingsDecoded;
    caughtUp();
    const QDateTime now = m_clock.now();
    const QString stamp = recordfile::timeStamp(now);

    if (s.recordingToFile) {
        if (s.fileRecordCount == recordfile::kMaxRecords) {
            stopBecause(QStringLiteral("the file holds %1 records, as many as a record file may")
                            .arg(recordfile::kMaxRecords));
        } else if (const QString left = d.leftPlainReading(s.fileUnit); !left.isEmpty()) {
            stopBecause(left);
        } else {
            ++s.fileRecordCount;
            if (m_pending.isEmpty())
                m_serialAtFirstRefusal = m_list ? m_listSerial : 0;
            m_pending << recordfile::recordLine(s.fileRecordCount,
                                                recordfile::sampleText(now, d.readingText));
            flushPending();
            m_recorder.counted(s.fileRecordCount);
            // Records held for a file that is gone would never reach it: the recording
            // stops and says how many are not in any file.
            if (m_recorder.fileGone())
                stopBecause(QStringLiteral("the record file was removed or replaced"));
        }
    }
    // The rest of a tick that stopped the recording goes on as usual: the list keeps its
    // samples and the interval its rhythm.
    if (s.listOpen && m_list) {
        ++s.listRecordCount;
        m_list->appendSample(s.listRecordCount, stamp, d.readingText);
        if (s.listRecordCount == recordfile::kMaxRecords || d.measuringModeActive() ||
            s.listUnit != d.unitText) {
            const QString left = s.listRecordCount == recordfile::kMaxRecords
                                     ? QStringLiteral("it holds %1 rows, as many as it may")
                                           .arg(recordfile::kMaxRecords)
                                     : d.leftPlainReading(s.listUnit);
            emit endedByItself(QStringLiteral("The Real Time List stopped: %1; %2.")
                                   .arg(left, counted(s.listRecordCount, "row")));
            SampleSink* list = m_list;
            endList();
            list->endSamples(); // the list closes, after a save or print it is running
        }
    }
    s.sampleTick = 1;
}

QString Sampler::pausedText(const QString& what) const {
    return QStringLiteral("%1 paused: %2")
        .arg(m_state.recordingToFile ? QStringLiteral("Recording")
                                     : QStringLiteral("Real Time List"),
             what.isEmpty() ? QStringLiteral("no reading came from the meter")
                            : QStringLiteral("%1 has the meter").arg(what));
}

void Sampler::missed(const QDateTime& now) {
    if (m_missed++ == 0) {
        m_missedFrom = now;
        emit pausedChanged(pausedText(m_poll ? m_poll->restingFor() : QString()));
    }
    m_missedTo = now;
}

void Sampler::tickRests(const QString& what) {
    if (!m_state.recordingToFile && !(m_state.listOpen && m_list))
        return;
    m_restedAt = m_clock.now();
    emit pausedChanged(pausedText(what));
}

void Sampler::tickResumes() {
    if (!m_restedAt.isValid())
        return;
    const QDateTime now = m_clock.now();
    const qint64 moments =
        qint64(double(m_restedAt.msecsTo(now)) / 1000.0 / std::max(1.0, m_state.sampleInterval));
    if (moments > 0) {
        if (m_missed == 0)
            m_missedFrom = m_restedAt;
        m_missed = int(std::min<qint64>(m_missed + moments, std::numeric_limits<int>::max()));
        m_missedTo = now;
    }
    m_restedAt = {};
    if (m_missed > 0)
        caughtUp();
    else
        emit pausedChanged({});
}

void Sampler::caughtUp() {
    if (m_missed == 0)
        return;
    if (m_list && m_state.listOpen && m_missedFrom >= m_listSince)
        m_list->appendGap(recordfile::timeStamp(m_missedFrom), m_missed);
    const QString format = QStringLiteral("HH:mm:ss");
    emit endedByItself(QStringLiteral("%1 missed, %2–%3")
                           .arg(counted(m_missed, "reading"), m_missedFrom.toString(format),
                                m_missedTo.toString(format)));
    emit pausedChanged({});
    m_missed = 0;
}

void Sampler::stopBecause(const QString& reason) {
    caughtUp();     // the moments missed before the end are said first
    flushPending(); // a last chance for records the disk refused so far
    const int written = m_state.fileRecordCount - int(m_pending.size());
    dropPending();
    const QString file = QFileInfo(m_recorder.fileName()).fileName();
    m_recorder.stopByItself();
    emit endedByItself(QStringLiteral("Recording stopped: %1; %2 in %3.")
                           .arg(reason, counted(written, "record"), file));
}

QString Sampler::stopRecording() {
    flushPending();
    const QString dropped = dropPending();
    m_recorder.stop();
    return dropped;
}

QString Sampler::dropPending() {
    if (m_pending.isEmpty())
        return {};
    // Said once the recording has stopped, so nothing here may promise to keep them.
    QString text =
        QStringLiteral("The recording stopped with %1 record(s) that could not be "
                       "written to %2 (%3); they are not in that file.")
            .arg(QString::number(m_pending.size()), QDir::toNativeSeparators(m_recorder.fileName()),
                 m_recorder.lastWriteError());
    // Only a list that was counting when the first of them was refused holds them all.
    if (m_list && m_listSerial == m_serialAtFirstRefusal)
        text += QStringLiteral(" The Real Time List still holds them: save it to keep them.");
    emit writeErrorChanged(text);
    m_pending.clear();
    m_serialAtFirstRefusal = 0;
    return text;
}

bool Sampler::flushPending() {
    while (!m_pending.isEmpty()) {
        if (!m_recorder.writeRecord(m_pending.first())) {
            emit writeErrorChanged(
                QStringLiteral("Records cannot be written to %1 (%2); they are kept and "
                               "written as soon as the disk takes them.")
                    .arg(QDir::toNativeSeparators(m_recorder.fileName()),
                         m_recorder.lastWriteError()));
            return false;
        }
        m_pending.removeFirst();
    }
    emit writeErrorChanged({});
    return true;
}

} // namespace lumetra
