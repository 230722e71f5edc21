#include "common.h"

#include "model/samplerow.h"
#include "platform/mqttpublisher.h"
#include "platform/serialport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QSysInfo>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace lumetra::cli {
namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int number) {
    const char byte = char(number);
    const int saved = errno;
    (void)::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

const char kExitCodes[] =
    "Exit codes: 0 the recording ended (count, duration, SIGINT or SIGTERM), the report was "
    "made, or the emergency test came to a verdict (pass, fail or incomplete); 64 wrong command "
    "line; 65 the survey file is damaged or of a newer version, or a recording to assess holds "
    "no mains failure, times that go back or no readings; 66 the device or the input file "
    "cannot be opened; 69 the meter never answered during the recording; 73 an output file "
    "cannot be created.";

// Its flags stay as they are; once stalled, later messages go only where there is room at
// once, until one gets through again, so nothing said can keep a recorder from ending.
void toStandardError(const QByteArray& bytes) {
    static bool stalled = false;
    QDeadlineTimer until(stalled ? 0 : 100);
    qsizetype done = 0;
    while (done < bytes.size()) {
        pollfd err{STDERR_FILENO, POLLOUT, 0};
        const int ready = ::poll(&err, 1, int(until.remainingTime()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0) {
            stalled = true;
            return;
        }
        const ssize_t n = ::write(STDERR_FILENO, bytes.constData() + done,
                                  std::min<size_t>(size_t(bytes.size() - done), PIPE_BUF));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += n;
    }
    stalled = false;
}

void say(const QString& text) {
    toStandardError(text.toLocal8Bit() + '\n');
}

int usage(const QString& text) {
    say(QStringLiteral("lumetra-cli: %1").arg(text));
    return kExitUsage;
}

QString clockText(qint64 ms) {
    const qint64 s = ms / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600, 2, 10, QLatin1Char('0'))
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

void StatusLine::show(const QString& text) {
    if (!m_on)
        return;
    toStandardError("\r\033[K" + text.toLocal8Bit());
    m_shown = true;
}

void StatusLine::message(const QString& text) {
    clear();
    say(text);
}

void StatusLine::clear() {
    if (m_shown)
        toStandardError("\r\033[K");
    m_shown = false;
}

bool catchSignals() {
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int s : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(s, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN); // a closed pipe on standard output is an error, not death
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    return true;
}

int signalReadEnd() {
    return g_signalPipe[0];
}

std::optional<Broker> brokerOf(const QString& url, const QString& topic, const QString& caFile,
                               QString& error) {
    const auto parsed = parseBrokerUrl(url, qEnvironmentVariable("LUMETRA_MQTT_PASSWORD"), error);
    if (!parsed)
        return std::nullopt;
    if (!caFile.isEmpty() && !QFileInfo(caFile).isReadable()) {
        error = QStringLiteral("%1 cannot be read.").arg(caFile);
        return std::nullopt;
    }
    return Broker{*parsed, caFile, topic};
}

std::unique_ptr<MqttPublisher> publisherFor(const Broker& b, const QString& device) {
    const QString host = QSysInfo::machineHostName();
    const QString label = samples::deviceLabel(stableDevicePath(device));
    const QString prefix = b.topic.isEmpty() ? samples::defaultTopic(host, label) : b.topic;
    const auto config = samples::discovery(prefix, host, label);
    MqttPublisher::Setup setup{b.url,
                               b.caFile,
                               QStringLiteral("lumetra-%1-%2-%3")
                                   .arg(host, label)
                                   .arg(QCoreApplication::applicationPid())
                                   .toUtf8(),
                               (prefix + QStringLiteral("/state")).toUtf8(),
                               (prefix + QStringLiteral("/availability")).toUtf8(),
                               config.topic,
                               config.payload};
    say(QStringLiteral("Publishing to %1/state on %2:%3.").arg(prefix, b.url.host).arg(b.url.port));
    return std::make_unique<MqttPublisher>(std::move(setup));
}

} // namespace lumetra::cli
