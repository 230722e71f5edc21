#pragma once

#include <QFile>
#include <QObject>
#include <QString>

namespace lumetra {

class Panel;

// PC recording into the record file: start (header line), one line per sample, stop. Each
// line reaches the operating system as it is written, so a killed program leaves every
// record whose sampling moment had passed.
class Recorder : public QObject {
    Q_OBJECT
public:
    explicit Recorder(Panel& panel, QObject* parent = nullptr);
    ~Recorder() override;

    // Opens recordFileName, writes the header line and switches the panel to its recording
    // look. false (with a message) when the file cannot be written.
    bool start();
    // The toolbar's stop.
    void stop();
    // Writes one record line; false when the write failed (the caller may try again).
    bool writeRecord(const QString& line);
    // Closes the file; the record file is complete on disk afterwards.
    void closeFile();
    bool isOpen() const { return m_file.isOpen(); }
    QString lastWriteError() const { return m_writeError; }

private:
    Panel& m_panel;
    QFile m_file;
    QString m_writeError;
};

} // namespace lumetra
