#include "meterexchanges.h"

#include "link/commands.h"
#include "link/meterlink.h"
#include "link/wait.h"
#include "model/numbers.h"
#include "model/replyfinder.h"

namespace lumetra::exchange {

QByteArray readStoredParameters(MeterLink& link) {
    if (!link.enterSettings())
        return {};
    return link.request('Z', replyshape::framed(findMeterCommand('Z')->replySize));
}

QByteArray readClockAndInterval(MeterLink& link) {
    // Framed like every reply (0x02 first, 0x03 at byte 8) and found among the display
    // frames of a stream that may keep running.
    return link.request('Y', replyshape::framed(findMeterCommand('Y')->replySize));
}

bool setClock(MeterLink& link, const QByteArray& clock) {
    return link.enterSettings() && link.sendCommand('T', clock);
}

bool setLoggingInterval(MeterLink& link, const QByteArray& interval) {
    return link.enterSettings() && link.sendCommand('W', interval);
}

bool setDistance(MeterLink& link, const QByteArray& distance) {
    return link.sendCommand('I', distance);
}

bool setComparator(MeterLink& link, const QByteArray& block) {
    return link.enterSettings() && link.sendCommand('V', block) && link.handshake() &&
           link.sendLetter('X');
}

bool restoreCalibration(MeterLink& link) {
    return link.handshake() && link.sendLetter('j');
}

std::optional<QString> readCalibrationFactor(MeterLink& link) {
    const MeterCommand& h = *findMeterCommand('h');
    // Handshake, a pause, "h"; false when given up.
    const auto ask = [&] {
        if (!link.handshake())
            return false;
        pauseSeconds(h.waitBefore);
        if (waitsAbandoned())
            return false;
        link.writeLetter('h');
        return true;
    };
    if (!ask())
        return std::nullopt;
    // What arrived since the letter: the reply may come in pieces, among display frames.
    QByteArray bytes;
    for (int counter = 1;; ++counter) {
        if (counter == 2) {
            // Two reads without a valid reply: ask again.
            counter = 0;
            link.flush();
            bytes.clear();
            if (!ask())
                return std::nullopt;
        }
        pauseSeconds(h.waitAfter);
        if (waitsAbandoned())
            return std::nullopt;
        const auto reply = link.takeReply(bytes, replyshape::framed(h.replySize));
        if (waitsAbandoned())
            return std::nullopt;
        if (reply)
            return calibration::factorText(*reply);
    }
}

std::optional<scf::Reading> readScf(MeterLink& link) {
    const MeterCommand& a = *findMeterCommand('a');
    // The reply is taken once two reads in a row agree: a piece of a display frame that
    // happens to look like a reply rarely comes twice the same.
    QByteArray previous;
    for (int tries = 0; tries < 1000; ++tries) {
        link.flush();
        link.writeLetter('a');
        pauseSeconds(a.waitAfter);
        if (waitsAbandoned())
            return std::nullopt;
        QByteArray bytes;
        const auto reply = link.takeReply(bytes, replyshape::scf());
        if (waitsAbandoned())
            return std::nullopt;
        const auto decoded = reply ? scf::decode(*reply) : std::nullopt;
        if (decoded && *reply == previous)
            return decoded;
        previous = decoded ? *reply : QByteArray();
    }
    return std::nullopt;
}

bool askForMemoryDump(MeterLink& link) {
    link.flush();
    return link.sendLetter('Q');
}

bool eraseMemory(MeterLink& link) {
    return link.handshake() && link.sendLetter('E');
}

bool setCalibrationFactor(MeterLink& link, double factor) {
    return link.sendCommand('i', calibration::block(factor));
}

bool setScf(MeterLink& link, int entry, double factor) {
    return link.sendCommand('c', scf::block(entry, factor));
}

bool restoreScf(MeterLink& link) {
    return link.sendCommand('e');
}

bool setHoldTime(MeterLink& link, int minutes, int seconds) {
    const char block[] = {char(toBcd(minutes)), char(toBcd(seconds))};
    return link.sendCommand('S', QByteArray(block, 2));
}

bool pressKey(MeterLink& link, char letter) {
    if (!link.handshake())
        return false;
    link.writeLetter(letter);
    return true;
}

bool pressPowerKey(MeterLink& link) {
    if (!link.handshake())
        return false;
    link.writeLetter('O');
    return link.waitForMeter();
}

bool escape(MeterLink& link) {
    return pressKey(link, 'H');
}

FrameRead watchDisplay(MeterLink& link, quint64& handshakesSeen, QByteArray& frame) {
    if (link.handshakeLetters() != handshakesSeen) {
        // A handshake since the stream was last started may have ended it.
        link.writeLetter('M');
        handshakesSeen = link.handshakeLetters();
    }
    const FrameRead read = readDisplayFrame(link, DisplayPoll::kWaitCycleSeconds, frame);
    if (read == FrameRead::Silent && link.waitForMeter()) {
        handshakesSeen = link.handshakeLetters();
        link.readAll();
    }
    return read;
}

} // namespace lumetra::exchange
