#include "wholefile.h"

#include <QSaveFile>

// POSIX only for now: Debian 12 is the system this is built and tested on; another system
// needs its own version of this file.
#if !defined(Q_OS_UNIX)
#error "This file is written for POSIX systems (Linux); no other system is built yet."
#endif

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace lumetra {

bool writeAll(QFileDevice& file, const QByteArray& bytes, QString& error) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0) {
            error = file.error() == QFileDevice::NoError
                        ? QStringLiteral("The disk took only part of the file.")
                        : file.errorString();
            return false;
        }
        done += n;
    }
    // Bytes still in the file's buffer must reach the system here: QSaveFile::commit() does
    // not look at an error that only its own final flush runs into, and would put a cut-off
    // file in place of the old one.
    if (!file.flush()) {
        error = file.error() == QFileDevice::NoError
                    ? QStringLiteral("The disk took only part of the file.")
                    : file.errorString();
        return false;
    }
    return true;
}

bool syncToDisk(QFileDevice& file, QString& error) {
    // QSaveFile::commit() syncs too, but does not look at the result: a network disk or a
    // quota may say only here that the bytes did not all go in.
    int result;
    do
        result = ::fsync(file.handle());
    while (result != 0 && errno == EINTR);
    if (result == 0 || errno == EINVAL) // EINVAL: a file that cannot be synced at all
        return true;
    error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

QString saveWholeFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    QString error;
    if (!writeAll(file, bytes, error) || !syncToDisk(file, error)) {
        file.cancelWriting();
        return error;
    }
    if (!file.commit())
        return file.errorString();
    return {};
}

} // namespace lumetra
