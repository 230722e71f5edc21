#include "sampler.h"

#include "panel/panel.h"
#include "platform/clock.h"
#include "recording/realtimelist.h"
#include "recording/recorder.h"
#include "recording/recordfile.h"

#include <QLabel>

namespace lumetra {

Sampler::Sampler(Panel& panel, Recorder& recorder, QObject* parent)
    : QObject(parent), m_panel(panel), m_recorder(recorder) {}

void Sampler::tick() {
    AppState& s = m_panel.state();
    const DisplayState& d = s.display;
    if (!s.meterOnline)
        return;
    if (s.sampleTick != 0 && s.sampleTick < s.sampleInterval) {
        ++s.sampleTick;
        return;
    }
    const QDateTime now = m_panel.clock().now();
    const QString stamp = recordfile::timeStamp(now);

    if (s.recordingToFile) {
        if (s.fileRecordCount == recordfile::kMaxRecords || d.measuringModeActive() ||
            s.fileUnit != d.unitText || !d.linkAlive) {
            autoStop();
        } else {
            ++s.fileRecordCount;
            m_pending << recordfile::recordLine(s.fileRecordCount,
                                                recordfile::sampleText(now, d.readingText));
            flushPending();
            m_panel.LblCount->setText(QString::number(s.fileRecordCount));
            m_panel.LblRec->setText(QStringLiteral("Rec"));
        }
    }
    if (!s.recordingToFile) {
        m_panel.LblFileName->clear();
        m_panel.LblCount->clear();
        m_panel.LblRec->clear();
        s.fileRecordCount = 0;
    }
    // The rest of a tick that stopped the recording goes on as usual: the list keeps its
    // samples and the interval its rhythm.
    if (s.listOpen && m_list) {
        ++s.listRecordCount;
        m_list->appendSample(s.listRecordCount, stamp, d.readingText);
        if (s.listRecordCount == recordfile::kMaxRecords || d.measuringModeActive() ||
            s.listUnit != d.unitText) {
            s.listRecordCount = 0;
            s.listOpen = false;
            m_list->close();
        }
    }
    s.sampleTick = 1;
}

void Sampler::autoStop() {
    AppState& s = m_panel.state();
    s.recordingToFile = false;
    m_panel.setRecordingLook(false);
    m_panel.LblRec->clear();
    m_panel.LblCount->clear();
    s.fileRecordCount = 0;
    flushPending(); // a last chance for records the disk refused so far
    m_pending.clear();
    m_recorder.closeFile();
}

bool Sampler::flushPending() {
    while (!m_pending.isEmpty()) {
        if (!m_recorder.writeRecord(m_pending.first())) {
            m_panel.showWriteError(
                QStringLiteral("Records cannot be written (%1); they are kept and written "
                               "as soon as the disk takes them.")
                    .arg(m_recorder.lastWriteError()));
            return false;
        }
        m_pending.removeFirst();
    }
    m_panel.showWriteError({});
    return true;
}

} // namespace lumetra
