#pragma once

#include <QByteArray>
#include <QString>

namespace lumetra {

// A file that grows by whole lines only, whatever the disk does. A line the disk takes only
// in part is cut off again before anything else is written, so the file never holds a torn
// line; a file that was removed or replaced under it is noticed, and nothing more is written
// to a name that no longer leads to it.
class RecordAppender {
public:
    RecordAppender() = default;
    ~RecordAppender();
    RecordAppender(const RecordAppender&) = delete;
    RecordAppender& operator=(const RecordAppender&) = delete;

    // Creates (or empties) the file. false with errorString() on failure, also for anything
    // but a regular file (a pipe would hold the program until someone reads it).
    bool open(const QString& path);
    // Opens the file (created when missing) to add lines after those it holds; an unended
    // last line gets lineEnd first.
    bool openToAppend(const QString& path, const QByteArray& lineEnd = "\n");
    // Someone emptied the file since the last line went in (log rotation that copies and
    // truncates): the caller may start it afresh with its header.
    bool emptiedMeanwhile() const;
    // Bytes of whole lines in the file.
    qint64 size() const { return m_whole; }
    bool isOpen() const { return m_fd >= 0; }
    QString fileName() const { return m_path; }
    // Appends one whole line and syncs it to the disk (fdatasync), so it survives the
    // program's death and a power cut alike. false when the line is not in the file; the file
    // then ends with the last whole line, or, should even cutting back fail, is cut back
    // before the next line goes in.
    bool append(const QByteArray& line);
    // Hands lines to the system only (the benchmark's plain baseline).
    void setSyncEachLine(bool sync) { m_sync = sync; }
    QString errorString() const { return m_error; }
    // Lines that went in but could not be synced to the disk, and why the first could not.
    qint64 syncFailures() const { return m_syncFailures; }
    QString syncError() const { return m_syncError; }
    // The file was removed or replaced: nothing more can go into it.
    bool gone() const { return m_gone; }
    void close();

    static QString removedMessage() {
        return QStringLiteral("The file was removed or replaced while it was being written.");
    }

private:
    bool openFile(const QString& path, bool empty, const QByteArray& lineEnd = {});
    bool fail(int error);
    bool stillNamed();

    int m_fd = -1;
    QString m_path;
    QString m_error;
    qint64 m_whole = 0;  // bytes of whole lines in the file
    bool m_torn = false; // a part line may follow them
    bool m_sync = true;
    bool m_gone = false;
    qint64 m_syncFailures = 0;
    QString m_syncError;
};

} // namespace lumetra
