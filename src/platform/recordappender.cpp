#include "recordappender.h"

#include <QFile>

// POSIX only for now: Debian 12 is the system this is built and tested on; another system
// needs its own version of this file.
#if !defined(Q_OS_UNIX)
#error "This file is written for POSIX systems (Linux); no other system is built yet."
#endif

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumetra {
namespace {

QString notRegular() {
    return QStringLiteral("It is not a regular file (a pipe, a socket or a device).");
}

} // namespace

RecordAppender::~RecordAppender() {
    close();
}

bool RecordAppender::fail(int error) {
    m_error = QString::fromLocal8Bit(std::strerror(error));
    return false;
}

bool RecordAppender::open(const QString& path) {
    return openFile(path, true);
}

bool RecordAppender::openToAppend(const QString& path, const QByteArray& lineEnd) {
    return openFile(path, false, lineEnd);
}

bool RecordAppender::emptiedMeanwhile() const {
    struct stat info {};
    return m_fd >= 0 && m_whole > 0 && ::fstat(m_fd, &info) == 0 && info.st_size == 0;
}

bool RecordAppender::openFile(const QString& path, bool empty, const QByteArray& lineEnd) {
    close();
    m_path = path;
    m_error.clear();
    m_whole = 0;
    m_torn = false;
    m_gone = false;
    const QByteArray name = QFile::encodeName(path);
    // Non-blocking, so that a pipe with no reader fails at once instead of holding open().
    // Reading only serves to see how an existing file ends: a file one may only write to is
    // opened for writing alone.
    bool readable = !empty;
    int fd;
    for (;;) {
        fd = ::open(name.constData(),
                    (readable ? O_RDWR : O_WRONLY) | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
        if (fd < 0 && errno == EINTR)
            continue;
        if (fd < 0 && errno == EACCES && readable) {
            readable = false;
            continue;
        }
        break;
    }
    if (fd < 0 && errno == ENXIO) {
        m_error = notRegular();
        return false;
    }
    if (fd < 0)
        return fail(errno);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        m_error = notRegular();
        return false;
    }
    if ((empty && ::ftruncate(fd, 0) != 0) || ::fcntl(fd, F_SETFL, 0) != 0) {
        const int error = errno;
        ::close(fd);
        return fail(error);
    }
    m_fd = fd;
    if (!empty && info.st_size > 0) {
        // New lines go after what the file holds, all of it kept. A last line without its
        // end (cut short by a power cut, or written by someone else) gets one, so the first
        // new line is not glued to it.
        m_whole = info.st_size;
        char last = '\n';
        if (readable && ::pread(fd, &last, 1, m_whole - 1) == 1 && last != '\n') {
            if (::pwrite(fd, lineEnd.constData(), size_t(lineEnd.size()), m_whole) !=
                lineEnd.size()) {
                const int error = errno;
                close();
                return fail(error);
            }
            m_whole += lineEnd.size();
        }
    }
    return true;
}

bool RecordAppender::stillNamed() {
    struct stat mine {};
    struct stat named {};
    if (::fstat(m_fd, &mine) != 0)
        return fail(errno);
    // Emptied by someone else (log rotation that copies and truncates): new lines start at
    // its new end, not after a hole of zero bytes where the old lines were.
    if (!m_torn && mine.st_size < m_whole)
        m_whole = mine.st_size;
    if (mine.st_nlink == 0 || ::stat(QFile::encodeName(m_path).constData(), &named) != 0 ||
        named.st_dev != mine.st_dev || named.st_ino != mine.st_ino) {
        m_error = removedMessage();
        m_gone = true;
        return false;
    }
    return true;
}

bool RecordAppender::append(const QByteArray& line) {
    if (m_fd < 0) {
        m_error = QStringLiteral("The file is not open.");
        return false;
    }
    // Lines written into a file that no longer carries the name would be lost unseen.
    if (!stillNamed())
        return false;
    if (m_torn) {
        // What is left of a line the disk refused goes first, or nothing goes in.
        if (::ftruncate(m_fd, m_whole) != 0)
            return fail(errno);
        m_torn = false;
    }
    qint64 done = 0;
    while (done < line.size()) {
        const ssize_t n =
            ::pwrite(m_fd, line.constData() + done, size_t(line.size() - done), m_whole + done);
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        const int error = n < 0 ? errno : ENOSPC; // a write that takes nothing: the disk is full
        if (done > 0) {
            m_torn = true;
            if (::ftruncate(m_fd, m_whole) == 0)
                m_torn = false;
        }
        return fail(error);
    }
    m_whole += done;
    // Removed while the line went in: it went nowhere a person can find it.
    struct stat after {};
    if (::fstat(m_fd, &after) == 0 && after.st_nlink == 0) {
        m_error = removedMessage();
        m_gone = true;
        return false;
    }
    m_error.clear();
    // On the disk, not only with the system: a power cut keeps every record taken. A failed
    // sync refuses nothing: the line is whole in the file, and written again it would be
    // there twice; the caller hears of it.
    if (m_sync && ::fdatasync(m_fd) != 0 && errno != EINTR) {
        if (m_syncFailures++ == 0)
            m_syncError = QString::fromLocal8Bit(std::strerror(errno));
    }
    return true;
}

void RecordAppender::close() {
    if (m_fd >= 0) {
        // A last try to leave whole lines only; nothing else is left to do if it fails.
        if (m_torn && ::ftruncate(m_fd, m_whole) == 0)
            m_torn = false;
        ::close(m_fd);
        m_fd = -1;
    }
}

} // namespace lumetra
