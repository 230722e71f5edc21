#include "mqttpublisher.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <mosquitto.h>

namespace lumetra {
namespace {

constexpr int kKeepAliveSeconds = 30;
constexpr int kWindow = 64; // messages sent ahead of their acknowledgement
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

MqttPublisher::MqttPublisher(Setup setup, QObject* parent)
    : QObject(parent), m_setup(std::move(setup)), m_misc(new QTimer(this)),
      m_retry(new QTimer(this)) {
    initLibrary();
    m_misc->setInterval(1000);
    connect(m_misc, &QTimer::timeout, this, [this] {
        if (!m_mosq)
            return;
        service(mosquitto_loop_misc(m_mosq));
        if (m_mosq && !m_connected && m_connectBy.hasExpired())
            lose(QStringLiteral("no answer"));
    });
    m_retry->setSingleShot(true);
    connect(m_retry, &QTimer::timeout, this, &MqttPublisher::connectNow);
}

MqttPublisher::~MqttPublisher() {
    m_readable.reset();
    m_writable.reset();
    if (m_mosq)
        mosquitto_destroy(m_mosq);
}

void MqttPublisher::start() {
    connectNow();
}

void MqttPublisher::connectNow() {
    if (m_mosq || m_finishing)
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
    // Asynchronous: the TCP connection completes in the event loop, so an unreachable broker
    // never holds up the recording.
    const int rc =
        mosquitto_connect_async(m_mosq, b.host.toUtf8().constData(), b.port, kKeepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) {
        lose(QString::fromUtf8(mosquitto_strerror(rc)));
        return;
    }
    const int fd = mosquitto_socket(m_mosq);
    m_readable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(m_readable.get(), &QSocketNotifier::activated, this,
            [this] { service(mosquitto_loop_read(m_mosq, 1)); });
    m_writable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    connect(m_writable.get(), &QSocketNotifier::activated, this,
            [this] { service(mosquitto_loop_write(m_mosq, 1)); });
    m_connectBy.setRemainingTime(kConnectTimeoutMs);
    m_misc->start();
}

void MqttPublisher::service(int rc) {
    if (!m_mosq)
        return;
    if (rc != MOSQ_ERR_SUCCESS || m_lostInCallback) {
        m_lostInCallback = false;
        lose(rc == MOSQ_ERR_SUCCESS ? QStringLiteral("disconnected")
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
    if (wasConnected || !m_everConnected)
        emit said(QStringLiteral("MQTT broker %1:%2 unreachable (%3); samples are queued and "
                                 "sent when it is back.")
                      .arg(m_setup.broker.host)
                      .arg(m_setup.broker.port)
                      .arg(why));
    m_everConnected = m_everConnected || wasConnected;
    m_retry->start(m_retryMs);
    m_retryMs = std::min(m_retryMs * 2, kLongestRetryMs);
}

void MqttPublisher::onConnect(struct mosquitto*, void* self, int rc) {
    auto* me = static_cast<MqttPublisher*>(self);
    if (rc != 0) {
        // Refused (a wrong password, say): tried again later like any other failure.
        emit me->said(QStringLiteral("MQTT broker refused the connection: %1")
                          .arg(QString::fromUtf8(mosquitto_connack_string(rc))));
        me->m_lostInCallback = true;
        return;
    }
    me->m_connected = true;
    me->m_everConnected = true;
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
    sendRetained(m_setup.availabilityTopic, "offline");
    pump();
    // The rest of the queue, as far as the time allows: the event loop runs the sockets.
    QEventLoop loop;
    QTimer tick;
    connect(&tick, &QTimer::timeout, &loop, [&] {
        if (!m_mosq || m_queue.empty() || !m_connected)
            loop.quit();
    });
    tick.start(10);
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    sayUnsent();
    m_finishing = true;
    if (m_mosq) {
        mosquitto_disconnect(m_mosq);
        mosquitto_loop_write(m_mosq, 1);
    }
    lose(QString());
}

} // namespace lumetra
