#pragma once

// What the subcommands of lumetra-cli share: exit codes, messages on standard error, the status
// line, signals through the event loop, and the MQTT publisher.
#include "model/brokerurl.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class QCoreApplication;

namespace lumetra {
class MqttPublisher;
}

namespace lumetra::cli {

// Exit codes (also in --help and the man page).
inline constexpr int kExitUsage = 64;   // the command line is wrong
inline constexpr int kExitData = 65;    // the input file is damaged or of a newer version
inline constexpr int kExitPort = 66;    // the meter's device (or an input file) cannot be opened
inline constexpr int kExitNoMeter = 69; // the meter never answered during a recording
inline constexpr int kExitOutput = 73;  // an output file cannot be created

extern const char kExitCodes[];

// Standard error may share a pipe with a reader that has stalled: a message waits for room a
// moment at most, then is left out.
void toStandardError(const QByteArray& bytes);
void say(const QString& text);
// "lumetra-cli: text", and the exit code of a wrong command line.
int usage(const QString& text);
QString clockText(qint64 ms);

// One line on the terminal, drawn again in place; messages go above it.
class StatusLine {
public:
    explicit StatusLine(bool on) : m_on(on) {}
    void show(const QString& text);
    void message(const QString& text);
    void clear();

private:
    bool m_on;
    bool m_shown = false;
};

// SIGINT, SIGTERM and SIGHUP arrive through a pipe, read in the event loop between exchanges;
// SIGPIPE and SIGXFSZ are ignored (errors, not death).
bool catchSignals();
int signalReadEnd();

// Where samples are published: the broker, its certificate authority and the topic prefix
// (empty: lumetra/<host>/<device>).
struct Broker {
    BrokerUrl url;
    QString caFile;
    QString topic;
};
// The --mqtt, --mqtt-topic and --mqtt-cafile values checked; the message of a wrong one.
std::optional<Broker> brokerOf(const QString& url, const QString& topic, const QString& caFile,
                               QString& error);
// A publisher with host and device in every id, so two recorders on one broker never meet.
std::unique_ptr<MqttPublisher> publisherFor(const Broker& broker, const QString& device);

// The subcommands; `arguments` are the program's, the subcommand's name second.
int record(QCoreApplication& app, const QStringList& arguments);
int report(const QStringList& arguments);
int emergencyTest(QCoreApplication& app, const QStringList& arguments);

} // namespace lumetra::cli
