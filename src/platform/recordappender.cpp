#include "recordappender.h"

#include <QFile>

#if !defined(Q_OS_UNIX)
#error "RecordAppender is written for POSIX systems; no other system is built yet."
#endif

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumetra {

RecordAppender::~RecordAppender() {
    close();
}

bool RecordAppender::fail(int error) {
    m_error = QString::fromLocal8Bit(std::strerror(error));
    return false;
}

bool RecordAppender::open(const QString& path) {
    close();
    m_path = path;
    m_error.clear();
    m_whole = 0;
    m_torn = false;
    const QByteArray name = QFile::encodeName(path);
    int fd;
    do
        fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return fail(errno);
    m_fd = fd;
    return true;
}

bool RecordAppender::stillNamed() {
    struct stat mine {};
    struct stat named {};
    if (::fstat(m_fd, &mine) != 0)
        return fail(errno);
    if (mine.st_nlink == 0 || ::stat(QFile::encodeName(m_path).constData(), &named) != 0 ||
        named.st_dev != mine.st_dev || named.st_ino != mine.st_ino) {
        m_error = removedMessage();
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
    m_error.clear();
    return true;
}

void RecordAppender::close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

} // namespace lumetra
