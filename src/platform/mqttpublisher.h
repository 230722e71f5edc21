#pragma once

#include "model/brokerurl.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QString>

#include <deque>
#include <memory>

class QSocketNotifier;
class QTimer;
struct mosquitto;

namespace lumetra {

// Publishes to an MQTT broker through libmosquitto, driven from the Qt event loop (socket
// notifiers and a timer; no thread of its own). A broker that is away never holds the
// caller: messages wait in a bounded queue (the oldest dropped first) and go out in order
// once it is back; the connection is tried again with a growing pause.
class MqttPublisher : public QObject {
    Q_OBJECT
public:
    struct Setup {
        BrokerUrl broker;
        QString caFile;               // TLS: the certificate authority (else the system's)
        QByteArray clientId;          // unique per recorder
        QByteArray stateTopic;        // where messages go, QoS 1
        QByteArray availabilityTopic; // "online" while connected; "offline" as last will
        QByteArray configTopic;       // sent retained on every connect (empty: none)
        QByteArray configPayload;
    };
    static constexpr std::size_t kQueueLimit = 10000;

    explicit MqttPublisher(Setup setup, QObject* parent = nullptr);
    ~MqttPublisher() override;

    void start();
    // Queued, sent in order with QoS 1; kept until the broker acknowledges it.
    void publish(const QByteArray& payload);
    // "offline", then what is still queued, for at most `ms`; then a clean disconnect.
    void finish(int ms);

    bool connected() const { return m_connected; }
    std::size_t queued() const { return m_queue.size(); }
    quint64 dropped() const { return m_dropped; }

signals:
    // A line for the person running the recorder.
    void said(const QString& text);

private:
    struct Message {
        QByteArray payload;
        int mid = -1; // sent and not yet acknowledged
    };
    static void onConnect(struct mosquitto*, void* self, int rc);
    static void onDisconnect(struct mosquitto*, void* self, int rc);
    static void onPublish(struct mosquitto*, void* self, int mid);

    void connectNow();
    void lose(const QString& why);
    void service(int rc);
    void pump();
    void watchWrites();
    bool sendRetained(const QByteArray& topic, const QByteArray& payload);

    Setup m_setup;
    struct mosquitto* m_mosq = nullptr;
    std::unique_ptr<QSocketNotifier> m_readable;
    std::unique_ptr<QSocketNotifier> m_writable;
    QTimer* m_misc = nullptr;
    QTimer* m_retry = nullptr;
    int m_retryMs = 1000;
    QDeadlineTimer m_connectBy; // a connection not made by then is tried again
    bool m_connected = false;
    bool m_lostInCallback = false;
    bool m_finishing = false;
    bool m_everConnected = false;
    std::deque<Message> m_queue;
    int m_inFlight = 0;
    quint64 m_dropped = 0;
    quint64 m_droppedSaid = 0;
};

} // namespace lumetra
