#include "pty.h"

#include <QSocketNotifier>
#include <QTimer>

// POSIX only for now: Debian 12 is the system this is built and tested on; another system
// needs its own version of this file.
#if !defined(Q_OS_UNIX)
#error "This file is written for POSIX systems (Linux); no other system is built yet."
#endif

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace lumetra::sim {

PtyEndpoint::PtyEndpoint(QObject* parent) : QObject(parent) {
    m_retry = new QTimer(this);
    m_retry->setInterval(50);
    m_retry->setSingleShot(true);
    connect(m_retry, &QTimer::timeout, this, [this] {
        if (m_notifier)
            m_notifier->setEnabled(true);
    });
}

PtyEndpoint::~PtyEndpoint() {
    close();
}

bool PtyEndpoint::open() {
    close();
    const int fd = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (fd < 0 || ::grantpt(fd) != 0 || ::unlockpt(fd) != 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    char name[128] = {};
    if (::ptsname_r(fd, name, sizeof name) != 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd);
        return false;
    }
    // Raw line discipline from the start: no echo of what the meter sends back to the meter.
    const int slave = ::open(name, O_RDWR | O_NOCTTY);
    if (slave >= 0) {
        termios tio{};
        if (::tcgetattr(slave, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::cfsetispeed(&tio, B19200);
            ::cfsetospeed(&tio, B19200);
            ::tcsetattr(slave, TCSANOW, &tio);
        }
        ::close(slave);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    // Not handed to programs started meanwhile: a child holding the master open would keep
    // the device alive after stop(), and the program on it would never see it unplugged.
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    m_master = fd;
    m_slavePath = QString::fromLocal8Bit(name);
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &PtyEndpoint::onReadable);
    return true;
}

void PtyEndpoint::close() {
    if (m_notifier) {
        m_notifier->setEnabled(false);
        delete m_notifier;
        m_notifier = nullptr;
    }
    m_retry->stop();
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
}

qint64 PtyEndpoint::write(const QByteArray& bytes) {
    if (m_master < 0 || bytes.isEmpty())
        return 0;
    const ssize_t n = ::write(m_master, bytes.constData(), size_t(bytes.size()));
    return n < 0 ? 0 : qint64(n);
}

void PtyEndpoint::onReadable() {
    char buffer[4096];
    QByteArray data;
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            data.append(buffer, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EIO) {
            // Nobody has the slave open: look again shortly instead of spinning on EIO.
            m_notifier->setEnabled(false);
            m_retry->start();
        }
        break;
    }
    if (!data.isEmpty())
        emit received(data);
}

} // namespace lumetra::sim
