#include "recorder.h"

#include "panel/panel.h"
#include "platform/dialogs.h"
#include "recording/recordfile.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>

namespace lumetra {

Recorder::Recorder(Panel& panel, QObject* parent) : QObject(parent), m_panel(panel) {}

Recorder::~Recorder() {
    closeFile();
}

bool Recorder::start() {
    AppState& s = m_panel.state();
    closeFile();
    m_file.setFileName(s.recordFileName);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        m_panel.dialogs().message(&m_panel,
                                  QStringLiteral("Recording could not start: %1 cannot be "
                                                 "written.")
                                      .arg(QDir::toNativeSeparators(s.recordFileName)),
                                  MessageIcon::Error, MessageButtons::Ok, {}, m_file.errorString());
        s.fileChosen = false;
        return false;
    }
    s.fileUnit = s.display.unitText;
    m_panel.LblFileName->setText(QFileInfo(s.recordFileName).fileName());
    m_panel.setRecordingLook(true);
    if (!writeRecord(recordfile::headerLine(s.fileUnit))) {
        m_panel.dialogs().message(&m_panel,
                                  QStringLiteral("Recording could not start: %1 cannot be "
                                                 "written.")
                                      .arg(QDir::toNativeSeparators(s.recordFileName)),
                                  MessageIcon::Error, MessageButtons::Ok, {}, m_writeError);
        closeFile();
        m_panel.setRecordingLook(false);
        m_panel.LblFileName->clear();
        s.fileChosen = false;
        return false;
    }
    s.recordingToFile = true;
    m_panel.LblRec->setText(QStringLiteral("Rec."));
    m_panel.LblRec->show();
    return true;
}

void Recorder::stop() {
    AppState& s = m_panel.state();
    s.recordingToFile = false;
    m_panel.setRecordingLook(false);
    m_panel.LblRec->hide();
    m_panel.LblCount->clear();
    m_panel.LblFileName->clear();
    s.fileRecordCount = 0;
    closeFile();
    s.fileChosen = false;
}

bool Recorder::writeRecord(const QString& line) {
    if (!m_file.isOpen()) {
        m_writeError = QStringLiteral("The record file is not open.");
        return false;
    }
    const QByteArray bytes = recordfile::encode(line + QLatin1String(recordfile::kLineEnd));
    // Written and flushed line by line: what was recorded is on disk even if the program
    // dies a moment later.
    if (m_file.write(bytes) != bytes.size() || !m_file.flush()) {
        m_writeError = m_file.errorString();
        m_file.unsetError();
        return false;
    }
    m_writeError.clear();
    return true;
}

void Recorder::closeFile() {
    if (m_file.isOpen()) {
        m_file.flush();
        m_file.close();
    }
}

} // namespace lumetra
