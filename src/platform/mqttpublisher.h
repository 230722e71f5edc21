#pragma once

#include "model/brokerurl.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QString>

#include <deque>
#include <functional>
#include <memory>

class QSocketNotifier;
class QTimer;
struct mosquitto;

namespace lumetra {

// Publishes to an MQTT broker through libmosquitto, driven from the Qt event loop (socket
// notifiers and a timer). A broker that is away never holds the caller: messages wait in a
// bounded queue (the oldest dropped first) and go out in order once it is back; the
// connection is tried again with a growing pause. Only the start of a connection runs on a
// thread of its own, because libmosquitto looks the broker's name up there and a name server
// that never answers would otherwise hold every sample; the rest stays on the event loop.
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
    // What is still queued, then "offline", for at most `ms` in all; then a clean disconnect.
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
    struct Attempt;
    static void runAttempt(const std::shared_ptr<Attempt>& attempt, MqttPublisher* owner,
                           QByteArray host, int port);

    void connectNow();
    void attemptEnded(const std::shared_ptr<Attempt>& attempt);
    void abandonAttempt();
    bool socketFailed();
    // Runs the event loop until `done` holds or the deadline passes.
    void runUntil(const std::function<bool()>& done, QDeadlineTimer until);
    void lose(const QString& why);
    void sayAway(const QString& why, bool wasConnected);
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
    QDeadlineTimer m_connectBy;         // a connection not made by then is tried again
    std::shared_ptr<Attempt> m_attempt; // a connection being started on its thread
    bool m_connected = false;
    bool m_lostInCallback = false;
    QString m_refusal;         // why the broker refused the connection
    bool m_saidAway = false;   // "unreachable" was said since the last connection
    QDeadlineTimer m_remindAt; // when it may be said again
    int m_offlineMid = -1;     // the last "offline", until the broker has it
    bool m_offlineTaken = false;
    bool m_finishing = false;
    bool m_everConnected = false;
    std::deque<Message> m_queue;
    int m_inFlight = 0;
    quint64 m_dropped = 0;
    quint64 m_droppedSaid = 0;
};

} // namespace lumetra
