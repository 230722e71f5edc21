#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// A real MQTT broker for the tests and benchmarks of the recorder without a display.
namespace lumetra::test {

// A loopback port nobody listens on right now.
inline int freePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &size);
    ::close(s);
    return ntohs(a.sin_port);
}

// mosquitto on a loopback port of its own; it keeps its sessions across a restart, so a
// reader with a session of its own misses nothing while it reconnects.
struct Broker {
    QTemporaryDir dir;
    int port = freePort();
    QProcess process;

    bool start() {
        QFile conf(dir.filePath(QStringLiteral("mosquitto.conf")));
        if (!conf.open(QIODevice::WriteOnly))
            return false;
        conf.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\npersistence true\n"
                                  "persistence_location %2/\n")
                       .arg(port)
                       .arg(dir.path())
                       .toUtf8());
        conf.close();
        process.start(QStringLiteral("mosquitto"), {QStringLiteral("-c"), conf.fileName()});
        if (!process.waitForStarted())
            return false;
        // Listening once a connection is taken; events run meanwhile.
        for (QDeadlineTimer until(5000); !until.hasExpired(); QThread::msleep(20)) {
            QCoreApplication::processEvents();
            if (canConnect())
                return true;
        }
        return false;
    }
    void stop() {
        process.terminate();
        process.waitForFinished(5000);
    }
    bool canConnect() const {
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(quint16(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        ::close(s);
        return ok;
    }
    ~Broker() { stop(); }
};

} // namespace lumetra::test
