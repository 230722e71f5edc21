#include "meterlink.h"

#include "link/commands.h"
#include "link/wait.h"
#include "model/replyfinder.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>

namespace lumetra {
namespace {

qint64 monotonicMs() {
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer.elapsed();
}

} // namespace

MeterLink::MeterLink(QObject* parent) : QObject(parent) {
    connect(&m_port, &SerialPort::lost, this, [this] {
        m_lost = true;
        setStatus(waitingStatus());
        emit portLost();
    });
}

bool MeterLink::open(const PortChoice& choice, const QString& settings) {
    m_choice = choice;
    m_settings = settings;
    if (!choice.isValid())
        return false;
    m_port.setDevice(choice.device);
    if (!m_port.setSettings(settings))
        return false;
    if (m_port.isOpen())
        return true; // already open: not opened a second time
    return m_port.open() == SerialPort::NoError;
}

std::optional<quint32> MeterLink::parseAcknowledge(const QByteArray& reply) {
    if (reply.size() < 6)
        return std::nullopt;
    const auto b = [&](int pos) { return quint8(reply.at(pos - 1)); };
    if (b(1) != 0x02 || b(2) != 0xAA || b(6) != 0x03)
        return std::nullopt;
    const quint32 pointer = quint32(b(3)) * 65536u + quint32(b(4)) * 256u + quint32(b(5));
    if (pointer < kEmptyMemoryPointer || pointer > kLastMemoryPointer)
        return std::nullopt;
    return pointer;
}

bool MeterLink::reopenIfLost() {
    if (m_port.isOpen())
        return true;
    if (!m_choice.isValid())
        return false;
    // Trying to open a missing device is cheap, but twice a second is plenty.
    const qint64 now = monotonicMs();
    if (m_lastReopenMs >= 0 && now - m_lastReopenMs < 500)
        return false;
    m_lastReopenMs = now;
    m_port.setDevice(m_choice.device);
    m_port.setSettings(m_settings);
    if (m_port.open() != SerialPort::NoError)
        return false;
    m_lost = false;
    return true;
}

MeterLink::SeriesResult MeterLink::acknowledgeSeries() {
    int attempts = 0;
    for (;;) {
        if (waitsAbandoned())
            return SeriesResult::Quit;
        if (!reopenIfLost()) {
            // No device at all: nothing to attempt, so go straight to waiting for the meter.
            if (!m_waitingForMeter)
                return SeriesResult::Exhausted;
            pauseSeconds(0.02);
            continue;
        }
        flush();
        ++attempts;
        writeLetter('A');
        pauseSeconds(findMeterCommand('A')->waitAfter);
        if (waitsAbandoned())
            return SeriesResult::Quit;
        QByteArray bytes;
        const auto reply = takeReply(bytes, replyshape::acknowledge());
        if (waitsAbandoned())
            return SeriesResult::Quit;
        if (const auto pointer = reply ? parseAcknowledge(*reply) : std::nullopt) {
            m_memoryPointer = *pointer;
            emit memoryPointerChanged(m_memoryPointer);
            return SeriesResult::Acknowledged;
        }
        // A wrong reply starts a new series; display frames of a stream that keeps running
        // are no reply at all, and the attempt counts as unanswered.
        if (bytes.size() >= 6 && !findReply(bytes, replyshape::acknowledge()).onlyFrames) {
            attempts = 0;
            continue;
        }
        if (attempts >= m_attemptsPerSeries)
            return SeriesResult::Exhausted;
    }
}

bool MeterLink::handshake() {
    flush();
    for (;;) {
        switch (acknowledgeSeries()) {
        case SeriesResult::Acknowledged:
            return true;
        case SeriesResult::Quit:
            return false;
        case SeriesResult::Exhausted:
            // Waiting for the meter handshakes itself; afterwards a fresh series completes
            // the call that started the wait. A loop, so that an outage of any length uses
            // constant stack.
            if (!waitForMeter())
                return false;
            break;
        }
    }
}

bool MeterLink::waitForMeter() {
    if (m_waitingForMeter)
        return true; // already waiting further up the stack; that wait finishes the job
    m_waitingForMeter = true;
    setStatus(waitingStatus());
    const auto done = [this](bool result) {
        m_waitingForMeter = false;
        return result;
    };
    for (;;) {
        const auto result = acknowledgeSeries();
        if (result == SeriesResult::Quit)
            return done(false);
        if (result == SeriesResult::Acknowledged)
            break;
    }
    for (;;) {
        QCoreApplication::processEvents();
        if (waitsAbandoned())
            return done(false);
        if (!m_port.isOpen() && !reopenIfLost()) {
            pauseSeconds(0.2);
            continue;
        }
        writeLetter('M');
        pauseSeconds(0.2);
        if (waitsAbandoned())
            return done(false);
        if (waiting() != 0)
            break;
    }
    setStatus(flowingStatus());
    return done(true);
}

bool MeterLink::sendLetter(char letter) {
    const MeterCommand* command = findMeterCommand(letter);
    Q_ASSERT(command && command->payloadSize == 0);
    if (command->waitBefore > 0) {
        pauseSeconds(command->waitBefore);
        if (waitsAbandoned())
            return false;
    }
    writeLetter(letter);
    if (command->waitAfter > 0)
        pauseSeconds(command->waitAfter);
    return !waitsAbandoned();
}

bool MeterLink::sendCommand(char letter, const QByteArray& payload) {
    const MeterCommand* command = findMeterCommand(letter);
    Q_ASSERT(command);
    if (!handshake())
        return false;
    if (command->waitBefore > 0) {
        pauseSeconds(command->waitBefore);
        if (waitsAbandoned())
            return false;
    }
    writeLetter(letter);
    // Once the letter is out its payload follows, whoever gives up meanwhile, quitting too: a
    // meter left waiting for it would take the next handshake's letters for it (the first
    // "A A" of the next start as a distance, say). What is left takes a quarter of a second
    // at most, in a scope of its own that only quitting ends.
    Q_ASSERT(payload.size() == command->payloadSize);
    m_owedPayload = payload;
    const WaitScope finish;
    if (command->waitAfter > 0)
        pauseSeconds(command->waitAfter);
    if (command->payloadSize > 0) {
        payOwed();
        if (command->waitPayload > 0)
            pauseSeconds(command->waitPayload);
    }
    return !quitRequested();
}

void MeterLink::payOwed() {
    if (!m_owedPayload.isEmpty() && isOpen()) {
        write(m_owedPayload);
        m_port.flushOutput();
    }
    m_owedPayload.clear();
}

bool MeterLink::enterSettings() {
    if (!handshake())
        return false;
    writeLetter('H');
    pauseSeconds(findMeterCommand('H')->waitAfter);
    return !waitsAbandoned();
}

QByteArray MeterLink::request(char letter, const ReplyShape& shape) {
    const MeterCommand* command = findMeterCommand(letter);
    Q_ASSERT(command);
    for (;;) {
        flush();
        if (!handshake())
            return {};
        writeLetter(letter);
        pauseSeconds(command->waitAfter);
        if (waitsAbandoned())
            return {};
        QByteArray bytes;
        const auto reply = takeReply(bytes, shape);
        if (waitsAbandoned())
            return {};
        if (reply)
            return *reply;
        // None, short or malformed: ask again
    }
}

std::optional<QByteArray> MeterLink::takeReply(QByteArray& bytes, const ReplyShape& shape) {
    readAllInto(bytes);
    for (int look = 0;; ++look) {
        const ReplySearch search = findReply(bytes, shape);
        if (search.state == ReplySearch::Found)
            return search.reply;
        if (!search.unfinished || look == 8)
            return std::nullopt;
        // The bytes end in the middle of a frame or a reply, or with a reply that could
        // still be the start of a frame. A frame takes 7 ms on the line, and a meter may
        // pause a little inside one: a line quiet for longer settles it.
        pauseSeconds(kQuietLineSeconds);
        if (waitsAbandoned())
            return std::nullopt;
        if (readAllInto(bytes) > 0)
            continue;
        if (search.state == ReplySearch::Pending)
            return search.reply;
        return std::nullopt;
    }
}

void MeterLink::writeLetter(char letter) {
    if (letter == 'A')
        ++m_handshakeLetters;
    write(QByteArray(1, letter));
}

void MeterLink::write(const QByteArray& bytes) {
    m_port.output(bytes);
}

QByteArray MeterLink::readAll() {
    return m_port.input();
}

qint64 MeterLink::readAllInto(QByteArray& to) {
    return m_port.appendInput(to);
}

bool MeterLink::waitForInput(double seconds) {
    // A port that is already closed has nothing to wait for: that wait simply sleeps.
    const bool wasOpen = isOpen();
    pauseUntil(
        seconds, [this, wasOpen] { return waiting() > 0 || (wasOpen && !isOpen()); },
        [this](QEventLoop& loop) {
            connect(&m_port, &SerialPort::readyRead, &loop, &QEventLoop::quit);
            connect(&m_port, &SerialPort::lost, &loop, &QEventLoop::quit);
        });
    return !waitsAbandoned();
}

qint64 MeterLink::waiting() const {
    return m_port.inBufferCount();
}

void MeterLink::flush() {
    m_port.clearInput();
}

void MeterLink::noteTraffic() {
    if (m_status == waitingStatus() && !m_waitingForMeter && !m_lost)
        setStatus(flowingStatus());
}

void MeterLink::setStatus(const QString& status) {
    m_status = status;
    emit statusChanged(status);
}

} // namespace lumetra
