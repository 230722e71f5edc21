#pragma once

#include "platform/recordappender.h"

#include <QObject>
#include <QString>

namespace lumetra {

struct AppState;

// PC recording into the record file: start (header line), one line per sample, stop. Each
// line reaches the operating system as it is written, so a killed program leaves every
// record whose sampling moment had passed; the file only ever holds whole lines. The recording
// state is reported by signal; the main window draws it.
class Recorder : public QObject {
    Q_OBJECT
public:
    explicit Recorder(AppState& state, QObject* parent = nullptr);
    ~Recorder() override;

    // Opens recordFileName and writes the header line. false (startRefused says why) when
    // the file cannot be written.
    bool start();
    // The toolbar's stop: the file is closed and the record-file slot is free again.
    void stop();
    // A stop the recording made itself (unit change, measuring mode, lost link, full file).
    void stopByItself();
    // A record was written: the count shows.
    void counted(int records);
    // Writes one record line; false when the write failed (the caller may try again).
    bool writeRecord(const QString& line);
    // Closes the file; the record file is complete on disk afterwards.
    void closeFile();
    bool isOpen() const { return m_file.isOpen(); }
    QString lastWriteError() const { return m_writeError; }
    // The record file was removed or replaced: nothing more can be written to it.
    bool fileGone() const { return m_file.gone(); }
    QString fileName() const { return m_file.fileName(); }

signals:
    // recording: a file is being recorded into; fileName its name; records written so far.
    void statusChanged(bool recording, const QString& fileName, int records);
    // The recording could not start: text for the user, detail the system's reason.
    void startRefused(const QString& text, const QString& detail);

private:
    bool refuse(const QString& reason);

    AppState& m_state;
    RecordAppender m_file;
    QString m_writeError;
};

} // namespace lumetra
