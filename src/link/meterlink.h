#pragma once

#include "model/portnames.h"
#include "model/replyfinder.h"
#include "platform/serialport.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <optional>
#include <utility>

namespace lumetra {

// The one object through which every window talks to the meter. It owns the serial port and
// offers the exchanges of the protocol: the acknowledge handshake, waiting for a silent
// meter, sending letters and payloads, reading what is waiting.
//
// Calls that wait return false only when the program is shutting down or the work they serve
// was abandoned (its window closed); callers then give up.
class MeterLink : public QObject {
    Q_OBJECT
public:
    static constexpr int kAttemptsPerSeries = 1000;
    static constexpr quint32 kEmptyMemoryPointer = 1535;
    static constexpr quint32 kLastMemoryPointer = 131071; // the last address of the 128 KB
    // How long the line must stay quiet before bytes that could still grow are taken as
    // they are: longer than a display frame takes, with room for a pause inside one.
    static constexpr double kQuietLineSeconds = 0.05;

    explicit MeterLink(QObject* parent = nullptr);

    // One exchange with the meter at a time: whoever talks to the meter, the display poll
    // aside, claims the link first, and a second claim is refused while the first lasts. So a
    // click can never slip its letters into the middle of another window's sequence.
    class Claim {
    public:
        explicit Claim(MeterLink* link) : m_link(link) {
            m_link->m_claimed = true;
            emit m_link->claimTaken(); // a poll tick waiting for a frame gives way
        }
        ~Claim() {
            if (m_link)
                m_link->m_claimed = false;
        }
        Claim(Claim&& other) noexcept : m_link(std::exchange(other.m_link, nullptr)) {}
        Claim(const Claim&) = delete;
        Claim& operator=(const Claim&) = delete;
        Claim& operator=(Claim&&) = delete;

    private:
        MeterLink* m_link;
    };
    [[nodiscard]] std::optional<Claim> claim() {
        if (m_claimed)
            return std::nullopt;
        return std::optional<Claim>(std::in_place, this);
    }
    bool claimed() const { return m_claimed; }

    // Opens the chosen port with the meter's line settings. On failure errorText() says why.
    bool open(const PortChoice& choice, const QString& settings = QStringLiteral("19200,n,8,1"));
    bool isOpen() const { return m_port.isOpen(); }
    QString errorText() const { return m_port.errorText(); }
    SerialPort& port() { return m_port; }
    const PortChoice& choice() const { return m_choice; }

    // "COM3" (or the device's short name): the caption while traffic flows.
    QString flowingStatus() const { return m_choice.label(); }
    static QString waitingStatus() { return QStringLiteral("No COM"); }

    // Repeats "A" until the meter acknowledges; after a series of unanswered attempts it
    // waits for the meter (status "No COM") and starts again. Sets memoryPointer().
    bool handshake();
    // Shows "No COM", handshakes, repeats "M" until bytes flow, shows the port again.
    bool waitForMeter();

    // Handshake, the letter, its wait, the payload and its wait, as the command table says.
    bool sendCommand(char letter, const QByteArray& payload = {});
    // The letter alone with the waits of the command table (no handshake, no payload).
    bool sendLetter(char letter);
    // The prefix of every setting sequence: handshake, "H" (back to normal mode), 0.2 s.
    bool enterSettings();
    // Handshake, the letter, its wait, then the reply found among what arrived (see
    // takeReply); asked again until one comes. Empty only when the program is shutting down
    // or the work was abandoned.
    QByteArray request(char letter, const ReplyShape& shape);
    // Appends what is waiting to `bytes` and finds the reply there, skipping whole display
    // frames of a stream that keeps running while the meter answers. Bytes that end in the
    // middle of a frame or a reply are looked at again a moment later; a reply that ends
    // them is taken once the line stays quiet for longer than a frame takes. Nothing when
    // no reply came, or when one cannot be told apart from a frame.
    std::optional<QByteArray> takeReply(QByteArray& bytes, const ReplyShape& shape);

    // The payload of a command whose letter is out, written now if it is still owed: the
    // session calls it before the port closes, so quitting never leaves the meter waiting.
    void payOwed();

    void writeLetter(char letter);
    // How many "A" have been sent. Some meters end their display stream at every "A" until
    // the next "M": whoever reads the stream restarts it when this has moved on.
    quint64 handshakeLetters() const { return m_handshakeLetters; }
    void write(const QByteArray& bytes);
    QByteArray readAll(); // everything waiting, removed from the buffer
    // Appends everything waiting to `to` without an intermediate copy; returns the count.
    qint64 readAllInto(QByteArray& to);
    // Sleeps until bytes are waiting, the open port is lost or the time is up (events keep
    // being processed). False when the wait was abandoned or the program is quitting.
    bool waitForInput(double seconds);
    qint64 waiting() const; // bytes waiting
    void flush();           // discard everything waiting

    quint32 memoryPointer() const { return m_memoryPointer; }
    // Unanswered attempts before the link waits for the meter (tests shorten it).
    void setAttemptsPerSeries(int attempts) { m_attemptsPerSeries = attempts; }
    bool waitingForMeter() const { return m_waitingForMeter; }

    // Display frames arrive: if "No COM" still shows from a wait that was given up, the port
    // shows again.
    void noteTraffic();

    // Validates an acknowledge; returns the memory pointer it carries. A pointer outside the
    // memory (below the empty pointer or past its last address) makes it a bad acknowledge:
    // it would give a negative or huge download length.
    static std::optional<quint32> parseAcknowledge(const QByteArray& reply);

signals:
    void statusChanged(const QString& status);
    void memoryPointerChanged(quint32 pointer);
    // The port vanished; the link keeps trying to re-open the same device.
    void portLost();
    // An exchange has claimed the link.
    void claimTaken();

private:
    enum class SeriesResult { Acknowledged, Exhausted, Quit };
    SeriesResult acknowledgeSeries();
    bool reopenIfLost();
    void setStatus(const QString& status);

    SerialPort m_port;
    QByteArray m_owedPayload;
    PortChoice m_choice;
    QString m_settings;
    quint32 m_memoryPointer = 0;
    bool m_lost = false;
    bool m_waitingForMeter = false;
    bool m_claimed = false;
    QString m_status;
    qint64 m_lastReopenMs = -1;
    int m_attemptsPerSeries = kAttemptsPerSeries;
    quint64 m_handshakeLetters = 0;
};

} // namespace lumetra
