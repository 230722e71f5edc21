#include "mqttpublisher.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <utility>

namespace lumetra {
namespace {

constexpr int kKeepAliveSeconds = 30;
constexpr int kRemindMs = 10 * 60 * 1000; // "still unreachable", at most this often
constexpr int kOfflineMs = 100;           // of finish()'s time, kept for "offline"
constexpr int kWindow = 64;               // messages sent ahead of their acknowledgement
constexpr int kLongestRetryMs = 30000;
constexpr int kConnectTimeoutMs = 10000;

void initLibrary() {
    static const bool done = [] {
        mosquitto_lib_init();
        return true;
    }();
    Q_UNUSED(done);
}

} // namespace

// A connection being started on a thread of its own. Whoever finishes with it last destroys
// the library's handle: the thread when the publisher gave up on it, else the publisher.
struct MqttPublisher::Attempt {
    std::mutex mutex;
    struct mosquitto* mosq = nullptr;
    bool done = false;
    bool abandoned = false;
    int rc = MOSQ_ERR_SUCCESS;
    int error = 0; // errno, for MOSQ_ERR_ERRNO
};

void MqttPublisher::runAttempt(const std::shared_ptr<Attempt>& attempt, MqttPublisher* owner,
                               QByteArray host, int port) {
    // Looks the name up (blocking, for as long as the name server takes) and starts the
    // connection without waiting for it.
    const int rc =
        mosquitto_connect_async(attempt->mosq, host.constData(), port, kKeepAliveSeconds);
    const int error = errno;
    const std::lock_guard lock(attempt->mutex);
    attempt->rc = rc;
    attempt->error = error;
    attempt->done = true;
    if (attempt->abandoned) {
        // Given up at the end: the program may be past its exit handlers by now, so the
        // handle (and the TLS context in it) is left to the end of the process.
        attempt->mosq = nullptr;
        return;
    }
    // The owner is alive while the attempt is not abandoned: it abandons it under this lock
    // before it goes. A queued call to an object that goes later is dropped by Qt.
    QMetaObject::invokeMethod(
        owner, [owner, attempt] { owner->attemptEnded(attempt); }, Qt::QueuedConnection);
}

MqttPublisher::MqttPublisher(Setup setup, QObject* parent)
    : QObject(parent), m_setup(std::move(setup)), m_misc(new QTimer(this)),
      m_retry(new QTimer(this)) {
    initLibrary();
    m_misc->setInterval(1000);
    connect(m_misc, &QTimer::timeout, this, [this] {
        if (m_mosq)
            service(mosquitto_loop_misc(m_mosq));
        if (m_connected || !m_connectBy.hasExpired())
            return;
        if (m_mosq) {
            lose(QStringLiteral("no answer"));
        } else if (m_attempt) {
            // The name server is silent: said, and the one lookup under way waited for (a
            // new one would only pile up beside it).
            sayAway(
                QStringLiteral("its name was not found within %1 s").arg(kConnectTimeoutMs / 1000),
                false);
        }
    });
    m_retry->setSingleShot(true);
    connect(m_retry, &QTimer::timeout, this, &MqttPublisher::connectNow);
}

MqttPublisher::~MqttPublisher() {
    abandonAttempt();
    m_readable.reset();
    m_writable.reset();
    if (m_mosq)
        mosquitto_destroy(m_mosq);
}

void MqttPublisher::start() {
    connectNow();
}

void MqttPublisher::connectNow() {
    if (m_mosq || m_attempt || m_finishing)
        return;
    m_mosq = mosquitto_new(m_setup.clientId.constData(), true, this);
    if (!m_mosq) {
        lose(QStringLiteral("out of memory"));
        return;
    }
    mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(m_mosq, &MqttPublisher::onConnect);
    mosquitto_disconnect_callback_set(m_mosq, &MqttPublisher::onDisconnect);
    mosquitto_publish_callback_set(m_mosq, &MqttPublisher::onPublish);
    const QByteArray offline("offline");
    mosquitto_will_set(m_mosq, m_setup.availabilityTopic.constData(), int(offline.size()),
                       offline.constData(), 1, true);
    const BrokerUrl& b = m_setup.broker;
    if (!b.user.isEmpty())
        mosquitto_username_pw_set(m_mosq, b.user.toUtf8().constData(),
                                  b.password.isEmpty() ? nullptr : b.password.toUtf8().constData());
    if (b.tls) {
        const QByteArray ca = m_setup.caFile.toLocal8Bit();
        const int rc =
            mosquitto_tls_set(m_mosq, ca.isEmpty() ? nullptr : ca.constData(),
                              ca.isEmpty() ? "/etc/ssl/certs" : nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            lose(QString::fromUtf8(mosquitto_strerror(rc)));
            return;
        }
    }
    // The name is looked up on a thread of its own; the TCP connection then completes in the
    // event loop, so neither a silent name server nor an unreachable broker holds up the
    // recording.
    auto attempt = std::make_shared<Attempt>();
    attempt->mosq = m_mosq;
    m_mosq = nullptr;
    m_attempt = attempt;
    m_connectBy.setRemainingTime(kConnectTimeoutMs);
    m_misc->start();
    std::thread(&MqttPublisher::runAttempt, attempt, this, b.host.toUtf8(), b.port).detach();
}

void MqttPublisher::abandonAttempt() {
    if (!m_attempt)
        return;
    const std::lock_guard lock(m_attempt->mutex);
    m_attempt->abandoned = true;
    if (m_attempt->done && m_attempt->mosq) {
        mosquitto_destroy(m_attempt->mosq);
        m_attempt->mosq = nullptr;
    }
    m_attempt.reset();
}

void MqttPublisher::attemptEnded(const std::shared_ptr<Attempt>& attempt) {
    if (attempt != m_attempt)
        return; // given up on meanwhile; its handle is gone with it
    {
        const std::lock_guard lock(attempt->mutex);
        m_mosq = attempt->mosq;
        attempt->mosq = nullptr;
    }
    m_attempt.reset();
    if (attempt->rc != MOSQ_ERR_SUCCESS) {
        lose(attempt->rc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(std::strerror(attempt->error))
                                           : QString::fromUtf8(mosquitto_strerror(attempt->rc)));
        return;
    }
    // The connection's own time starts now: a slow name server took from the lookup's.
    m_connectBy.setRemainingTime(kConnectTimeoutMs);
    const int fd = mosquitto_socket(m_mosq);
    m_readable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(m_readable.get(), &QSocketNotifier::activated, this, [this] {
        if (!socketFailed())
            service(mosquitto_loop_read(m_mosq, 1));
    });
    m_writable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    connect(m_writable.get(), &QSocketNotifier::activated, this, [this] {
        if (!socketFailed())
            service(mosquitto_loop_write(m_mosq, 1));
    });
    watchWrites();
}

// A connection that failed (refused, unreachable) is seen at once from the socket, not by
// waiting for the library to notice: with TLS it takes the refusal for a handshake still to
// come and keeps answering a socket that has hung up, a core's worth, until the timeout.
bool MqttPublisher::socketFailed() {
    if (m_connected || !m_mosq)
        return false;
    const int fd = mosquitto_socket(m_mosq);
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
        error = errno;
    pollfd state{fd, 0, 0};
    const bool hungUp = ::poll(&state, 1, 0) > 0 && (state.revents & (POLLHUP | POLLERR));
    if (error == 0 && !hungUp)
        return false;
    if (error == 0) {
        // The library's first handshake write took the socket's error. A socket that hangs
        // up without ever having measured a round trip never got the broker's SYN-ACK.
        tcp_info info{};
        socklen_t infoSize = sizeof info;
        const bool neverAnswered =
            ::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &infoSize) == 0 && info.tcpi_rtt == 0;
        lose(neverAnswered ? QString::fromLocal8Bit(std::strerror(ECONNREFUSED))
                           : QStringLiteral("the broker closed the connection"));
        return true;
    }
    lose(QString::fromLocal8Bit(std::strerror(error)));
    return true;
}

void MqttPublisher::service(int rc) {
    if (!m_mosq)
        return;
    if (rc != MOSQ_ERR_SUCCESS || m_lostInCallback) {
        m_lostInCallback = false;
        lose(!m_refusal.isEmpty()     ? std::exchange(m_refusal, QString())
             : rc == MOSQ_ERR_SUCCESS ? QStringLiteral("disconnected")
                                      : QString::fromUtf8(mosquitto_strerror(rc)));
        return;
    }
    watchWrites();
}

void MqttPublisher::watchWrites() {
    if (m_writable)
        m_writable->setEnabled(m_mosq && mosquitto_want_write(m_mosq));
}

void MqttPublisher::lose(const QString& why) {
    const bool wasConnected = m_connected;
    m_connected = false;
    m_readable.reset();
    m_writable.reset();
    m_misc->stop();
    abandonAttempt();
    if (m_mosq) {
        mosquitto_destroy(m_mosq);
        m_mosq = nullptr;
    }
    // Whatever the broker did not acknowledge goes again, in order, on the next connection.
    for (Message& m : m_queue)
        m.mid = -1;
    m_inFlight = 0;
    if (m_finishing)
        return;
    sayAway(why, wasConnected);
    m_everConnected = m_everConnected || wasConnected;
    m_retry->start(m_retryMs);
    m_retryMs = std::min(m_retryMs * 2, kLongestRetryMs);
}

// Once when it goes (or never came), then a reminder now and then: a broker that stays away
// must not fill the log one retry after another.
void MqttPublisher::sayAway(const QString& why, bool wasConnected) {
    if (wasConnected || !m_saidAway) {
        emit said(QStringLiteral("MQTT broker %1:%2 unreachable (%3); samples are queued and "
                                 "sent when it is back.")
                      .arg(m_setup.broker.host)
                      .arg(m_setup.broker.port)
                      .arg(why));
        m_saidAway = true;
        m_remindAt.setRemainingTime(kRemindMs);
    } else if (m_remindAt.hasExpired()) {
        emit said(QStringLiteral("MQTT broker %1:%2 is still unreachable (%3); %4 sample(s) are "
                                 "queued.")
                      .arg(m_setup.broker.host)
                      .arg(m_setup.broker.port)
                      .arg(why)
                      .arg(m_queue.size()));
        m_remindAt.setRemainingTime(kRemindMs);
    }
}

void MqttPublisher::onConnect(struct mosquitto*, void* self, int rc) {
    auto* me = static_cast<MqttPublisher*>(self);
    if (rc != 0) {
        // Refused (a wrong password, say): tried again later like any other failure, and
        // said as seldom.
        me->m_refusal =
            QStringLiteral("refused: %1").arg(QString::fromUtf8(mosquitto_connack_string(rc)));
        me->m_lostInCallback = true;
        return;
    }
    me->m_connected = true;
    me->m_everConnected = true;
    me->m_saidAway = false;
    me->m_retryMs = 1000;
    me->m_connectBy = QDeadlineTimer(QDeadlineTimer::Forever);
    emit me->said(QStringLiteral("MQTT broker %1:%2 connected.")
                      .arg(me->m_setup.broker.host)
                      .arg(me->m_setup.broker.port));
    if (me->m_dropped != me->m_droppedSaid) {
        emit me->said(QStringLiteral("%1 queued sample(s) were dropped while the broker was away "
                                     "(the queue keeps the newest %2).")
                          .arg(me->m_dropped - me->m_droppedSaid)
                          .arg(kQueueLimit));
        me->m_droppedSaid = me->m_dropped;
    }
    me->sendRetained(me->m_setup.availabilityTopic, "online");
    if (!me->m_setup.configTopic.isEmpty())
        me->sendRetained(me->m_setup.configTopic, me->m_setup.configPayload);
    me->pump();
}

void MqttPublisher::onDisconnect(struct mosquitto*, void* self, int) {
    // Never torn down inside the library's own call: service() does it afterwards.
    static_cast<MqttPublisher*>(self)->m_lostInCallback = true;
}

void MqttPublisher::onPublish(struct mosquitto*, void* self, int mid) {
    auto* me = static_cast<MqttPublisher*>(self);
    if (mid == me->m_offlineMid)
        me->m_offlineTaken = true;
    for (auto it = me->m_queue.begin(); it != me->m_queue.end(); ++it) {
        if (it->mid == mid) {
            me->m_queue.erase(it);
            --me->m_inFlight;
            break;
        }
    }
    me->pump();
}

bool MqttPublisher::sendRetained(const QByteArray& topic, const QByteArray& payload) {
    return mosquitto_publish(m_mosq, nullptr, topic.constData(), int(payload.size()),
                             payload.constData(), 1, true) == MOSQ_ERR_SUCCESS;
}

void MqttPublisher::publish(const QByteArray& payload) {
    m_queue.push_back({payload, -1});
    while (m_queue.size() > kQueueLimit) {
        if (m_queue.front().mid >= 0)
            --m_inFlight;
        m_queue.pop_front();
        if (m_dropped++ == m_droppedSaid)
            emit said(QStringLiteral("The MQTT queue is full (%1 samples): the oldest are "
                                     "dropped until the broker is back.")
                          .arg(kQueueLimit));
    }
    pump();
}

void MqttPublisher::pump() {
    if (!m_connected || !m_mosq)
        return;
    for (Message& m : m_queue) {
        if (m_inFlight >= kWindow)
            break;
        if (m.mid >= 0)
            continue;
        int mid = -1;
        const int rc = mosquitto_publish(m_mosq, &mid, m_setup.stateTopic.constData(),
                                         int(m.payload.size()), m.payload.constData(), 1, false);
        if (rc != MOSQ_ERR_SUCCESS)
            break; // the connection is going; lose() follows from the socket
        m.mid = mid;
        ++m_inFlight;
    }
    watchWrites();
}

void MqttPublisher::runUntil(const std::function<bool()>& done, QDeadlineTimer until) {
    if (done() || until.hasExpired())
        return;
    QEventLoop loop;
    QTimer tick;
    connect(&tick, &QTimer::timeout, &loop, [&] {
        if (done() || until.hasExpired())
            loop.quit();
    });
    tick.start(10);
    loop.exec();
}

void MqttPublisher::finish(int ms) {
    const auto sayUnsent = [this] {
        if (!m_queue.empty())
            emit said(QStringLiteral("%1 sample(s) were not published: the broker did not take "
                                     "them before the end.")
                          .arg(m_queue.size()));
    };
    if (!m_mosq || !m_connected) {
        sayUnsent();
        m_finishing = true;
        lose(QString());
        return;
    }
    // The readings first, so that none arrives after the sensor was marked unavailable; the
    // event loop runs the sockets meanwhile.
    const QDeadlineTimer until(ms);
    pump();
    runUntil([this] { return !m_mosq || !m_connected || m_queue.empty(); },
             QDeadlineTimer(std::max<qint64>(0, until.remainingTime() - kOfflineMs)));
    if (m_mosq && m_connected) {
        m_offlineTaken = false;
        m_offlineMid = -1;
        static const QByteArray offline("offline");
        mosquitto_publish(m_mosq, &m_offlineMid, m_setup.availabilityTopic.constData(),
                          int(offline.size()), offline.constData(), 1, true);
        watchWrites();
        runUntil([this] { return !m_mosq || !m_connected || m_offlineTaken; }, until);
    }
    sayUnsent();
    m_finishing = true;
    if (m_mosq) {
        mosquitto_disconnect(m_mosq);
        mosquitto_loop_write(m_mosq, 1);
    }
    lose(QString());
}

} // namespace lumetra
