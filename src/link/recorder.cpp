#include "recorder.h"

#include "model/appstate.h"
#include "model/recordfile.h"

#include <QDir>
#include <QFileInfo>

namespace lumetra {

Recorder::Recorder(AppState& state, QObject* parent) : QObject(parent), m_state(state) {}

Recorder::~Recorder() {
    closeFile();
}

bool Recorder::refuse(const QString& reason) {
    emit startRefused(QStringLiteral("Recording could not start: %1 cannot be written.")
                          .arg(QDir::toNativeSeparators(m_state.recordFileName)),
                      reason);
    closeFile();
    m_state.fileChosen = false;
    return false;
}

bool Recorder::start() {
    closeFile();
    if (!m_file.open(m_state.recordFileName))
        return refuse(m_file.errorString());
    m_state.fileUnit = m_state.display.unitText;
    if (!writeRecord(recordfile::headerLine(m_state.fileUnit)))
        return refuse(m_writeError);
    m_state.recordingToFile = true;
    m_state.fileRecordCount = 0;
    emit statusChanged(true, QFileInfo(m_state.recordFileName).fileName(), 0);
    return true;
}

void Recorder::stopByItself() {
    m_state.recordingToFile = false;
    m_state.fileRecordCount = 0;
    closeFile();
    emit statusChanged(false, {}, 0);
}

void Recorder::stop() {
    stopByItself();
    m_state.fileChosen = false;
}

void Recorder::counted(int records) {
    emit statusChanged(true, QFileInfo(m_state.recordFileName).fileName(), records);
}

bool Recorder::writeRecord(const QString& line) {
    if (!m_file.isOpen()) {
        m_writeError = QStringLiteral("The record file is not open.");
        return false;
    }
    const QByteArray bytes = recordfile::encode(line + QLatin1String(recordfile::kLineEnd));
    // Written line by line: what was recorded is on disk even if the program dies a moment
    // later. A line the disk takes only in part is not left in the file.
    if (!m_file.append(bytes)) {
        m_writeError = m_file.errorString();
        return false;
    }
    m_writeError.clear();
    return true;
}

void Recorder::closeFile() {
    m_file.close();
}

} // namespace lumetra
