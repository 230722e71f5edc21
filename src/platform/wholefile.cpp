#include "wholefile.h"

#include <QSaveFile>

// POSIX only for now: Debian 12 is the system this is built and tested on; another system
// needs its own version of this file.
#if !defined(Q_OS_UNIX)
#error "This file is written for POSIX systems (Linux); no other system is built yet."
#endif

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
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

std::optional<QByteArray> readSmallFile(const QString& path, qint64 most, QString& error) {
    // Not blocking: opening a pipe for reading would wait for a writer.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        return std::nullopt;
    }
    struct stat info {};
    std::optional<QByteArray> bytes;
    if (::fstat(fd, &info) != 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
    } else if (!S_ISREG(info.st_mode)) {
        error = QStringLiteral("It is not a file (a device, a pipe or a folder).");
    } else {
        // What the file holds, read to its end whatever its size says: at most one byte more
        // than allowed tells that it is too large.
        QByteArray read;
        char block[65536];
        while (read.size() <= most) {
            const ssize_t n =
                ::read(fd, block, size_t(std::min<qint64>(sizeof block, most + 1 - read.size())));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                error = QString::fromLocal8Bit(std::strerror(errno));
                break;
            }
            if (n == 0) {
                bytes = read;
                break;
            }
            read.append(block, n);
        }
        if (!bytes && error.isEmpty())
            error = QStringLiteral("It is larger than %1 MB.").arg(most / (1024 * 1024));
    }
    ::close(fd);
    return bytes;
}

} // namespace lumetra
