#include "meterexchanges.h"

#include "link/commands.h"
#include "link/meterlink.h"
#include "link/wait.h"

namespace lumetra::exchange {

QByteArray readStoredParameters(MeterLink& link) {
    if (!link.enterSettings())
        return {};
    return link.request('Z', findMeterCommand('Z')->replySize, true);
}

QByteArray readClockAndInterval(MeterLink& link) {
    // Framed like every reply (0x02 first, 0x03 at byte 8): the display stream may keep
    // running, and a piece of a display frame must not be taken for the meter's clock.
    return link.request('Y', findMeterCommand('Y')->replySize, true);
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
    for (int counter = 1;; ++counter) {
        if (counter == 2) {
            // Two reads without a valid reply: ask again.
            counter = 0;
            link.flush();
            if (!ask())
                return std::nullopt;
        }
        pauseSeconds(h.waitAfter);
        if (waitsAbandoned())
            return std::nullopt;
        if (auto text = calibration::factorText(link.readAll()))
            return text;
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
        const QByteArray reply = link.readAll();
        const auto decoded = scf::decode(reply);
        if (decoded && reply.left(a.replySize) == previous)
            return decoded;
        previous = decoded ? reply.left(a.replySize) : QByteArray();
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

} // namespace lumetra::exchange
