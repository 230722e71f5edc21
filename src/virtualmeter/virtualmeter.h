#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QObject>
#include <QString>

#include <array>
#include <memory>
#include <optional>

class QTimer;

namespace lumetra::sim {

class PtyEndpoint;

// A light meter of our own that speaks the meter's side of the serial protocol over a
// pseudo-terminal: acknowledges, streams display frames after "M", answers the setting
// reads, takes the setting writes, keeps a data-logger memory and reacts to its keys.
// Faults are injected on demand. Everything here follows the documented byte layouts.
class VirtualMeter : public QObject {
    Q_OBJECT
public:
    static constexpr int kLineBytesPerSecond = 1920; // 19200 baud, 8N1
    static constexpr int kEmptyPointer = 1535;
    static constexpr int kLastAddress = 131071;
    static constexpr int kMemoryCapacity = kLastAddress - kEmptyPointer; // stored bytes
    static constexpr int kQuietAfterCommandMs = 300;

    struct Received {
        qint64 msecs; // since the meter started
        char byte;
    };

    explicit VirtualMeter(QObject* parent = nullptr);
    ~VirtualMeter() override;

    // Creates the pseudo-terminal; devicePath() is what the program opens.
    bool start();
    void stop();
    QString devicePath() const;
    QString errorText() const;

    // --- state a test or the simulator's user can change
    void setPaced(bool paced) { m_paced = paced; }
    bool paced() const { return m_paced; }
    void setFramePeriodMs(int ms);
    void setUnitFc(bool fc) { m_fc = fc; }
    bool unitFc() const { return m_fc; }
    void setLux(double lux) { m_lux = lux; }
    double lux() const { return m_lux; }
    void setDrift(bool on) { m_drift = on; }
    // A scripted light: (seconds, lux) points from now on, straight lines between them, the
    // last one held; it replaces the set level and the drift. Empty: back to the set level.
    void setProfile(const QList<QPair<double, double>>& points);
    bool hasProfile() const { return !m_profile.isEmpty(); }
    void setOverload(bool on) { m_overload = on; }
    // Any annunciator by its name on the display ("Rel", "Hold", "SetUp", …).
    bool setFlag(const QString& name, bool on);
    bool flag(const QString& name) const;
    static QStringList flagNames();
    void setMemoryNumber(int n) { m_memoryNumber = n; } // -1: blank
    void setSmallDigits(const QString& fourHex) { m_smallDigits = fourHex; }
    // Exact main digits for a frame: six nibbles, "A" for blank, or "" for the live reading.
    void setRawMainDigits(const QString& sixHex) { m_rawMain = sixHex; }

    // Power: off drops everything; powerOnAfterMs > 0 switches back on by itself.
    void setPowered(bool on);
    bool powered() const { return m_powered; }
    void setPowerOnDelayMs(int ms) { m_powerOnDelayMs = ms; }
    void setSilent(bool on) { m_silent = on; }
    bool streaming() const { return m_streaming; }

    // Memory: sets of records, or a raw image.
    void clearMemory() { m_memory.clear(); }
    void addSet(const QDateTime& start, int intervalSeconds, const QList<double>& luxReadings);
    void fillMemory(int sets, int recordsPerSet);
    // A set started and stopped before its first record: a header and no records.
    void addEmptySet() { addSet(meterClock(), 1, {}); }
    void fillMemoryBytes(int bytes); // as many whole sets as fit
    QByteArray memory() const { return m_memory; }
    void setPointerOverride(std::optional<quint32> pointer) { m_pointerOverride = pointer; }
    quint32 memoryPointer() const;

    // Settings the program reads and writes.
    int distance = 150; // hundredths
    int holdMinutes = 0, holdSeconds = 0;
    int intervalMinutes = 0, intervalSeconds = 2;
    quint8 compFlags = 0x48; // Lx, decimal code 8
    int compHigh = 1200, compLow = 300;
    int calibration = 1000; // thousandths
    int scfEntry = 0;
    int scfFactor = 1000;       // thousandths
    qint64 clockOffsetSecs = 0; // meter clock minus PC clock

    // --- faults
    void sendGarbage(int bytes);
    // Puts bytes on the line as they are (tests lay out replies among display frames).
    void sendRaw(const QByteArray& bytes) { send(bytes); }
    void setSplitFrames(bool on) { m_splitFrames = on; }
    // The protocol lets a meter end its display stream at every "A" until the next "M".
    void setStreamEndsAtHandshake(bool on) { m_streamEndsAtHandshake = on; }
    bool streamEndsAtHandshake() const { return m_streamEndsAtHandshake; }
    // A third kind of meter keeps its display stream running while it answers, and stops
    // it only at "H" (the prefix of a setting sequence) until the next "M".
    void setStreamThrough(bool on) { m_streamThrough = on; }
    bool streamThrough() const { return m_streamThrough; }
    void shortNextReply() { m_shortNext = true; }
    void malformNextReply() { m_malformNext = true; }
    void breakNextDumpChain() { breakDumpChains(1); }
    // The next dumps arrive with the marker in front of their last set spoiled.
    void breakDumpChains(int dumps) { m_brokenDumps = dumps; }
    // The stored memory as it is, byte for byte (sets and records as the test lays them out).
    void setMemoryImage(const QByteArray& stored) { m_memory = stored; }
    void dropNextDumpMarker() { m_dropMarkerNext = true; }
    void setAckMarker(quint8 marker) { m_ackMarker = marker; }
    // These letters are received and logged but get no answer and change nothing (a meter
    // whose firmware lacks a command). Empty: every letter is served.
    void setIgnoredLetters(const QByteArray& letters) { m_ignored = letters; }

    // --- what the meter received
    const QList<Received>& receivedLog() const { return m_log; }
    QByteArray receivedBytes() const;
    void clearReceived() { m_log.clear(); }
    bool setLogFile(const QString& path);

    // --- frames and replies, from the byte layouts
    QByteArray displayFrame() const;
    QByteArray acknowledge() const;
    QByteArray settingsReply() const;    // "Z"
    QByteArray clockReply() const;       // "Y"
    QByteArray calibrationReply() const; // "h"
    QByteArray scfReply() const;         // "a"
    QByteArray memoryDump() const;       // "Q"
    QDateTime meterClock() const;
    double displayedValue() const; // in the current unit, with drift

    // Feeds bytes as if they arrived on the line (used by the transport and by tests).
    void receive(const QByteArray& bytes);

signals:
    void letterReceived(char letter);
    // Bytes handed to the line (also when no line is open).
    void transmitted(const QByteArray& bytes);
    void stateChanged();

private:
    void handleLetter(char letter);
    void handlePayload(char letter, const QByteArray& payload);
    void send(const QByteArray& bytes);
    void reply(QByteArray bytes);
    void pump();
    void frameTick();
    void loggingTick();
    void toggle(const QString& name);
    void appendRecord(double lux);
    QByteArray faultedDump();

    std::unique_ptr<PtyEndpoint> m_pty;
    QTimer* m_pumpTimer = nullptr;
    QTimer* m_frameTimer = nullptr;
    QTimer* m_loggingTimer = nullptr;
    QTimer* m_setupTimer = nullptr;
    QElapsedTimer m_started;
    QElapsedTimer m_pumpClock;
    qint64 m_pumpedAtNs = 0; // on m_pumpClock: the line's time accounted for so far
    double m_budget = 0;
    QByteArray m_out;
    bool m_paced = true;

    bool m_fc = false;
    double m_lux = 1234.0;
    bool m_drift = true;
    QList<QPair<double, double>> m_profile;
    QElapsedTimer m_profileClock;
    bool m_overload = false;
    std::array<bool, 48> m_flags{};
    int m_memoryNumber = -1;
    QString m_smallDigits;
    QString m_rawMain;
    bool m_showTime = true;

    bool m_powered = true;
    int m_powerOnDelayMs = 3000;
    bool m_silent = false;
    QByteArray m_ignored;
    bool m_streaming = false;
    qint64 m_quietUntilMs = 0;

    QByteArray m_memory;
    std::optional<quint32> m_pointerOverride;
    int m_loggingCountdown = 0;

    bool m_splitFrames = false;
    bool m_streamEndsAtHandshake = false;
    bool m_streamThrough = false;
    bool m_shortNext = false;
    bool m_malformNext = false;
    int m_brokenDumps = 0;
    bool m_dropMarkerNext = false;
    quint8 m_ackMarker = 0xAA;

    char m_pendingLetter = 0;
    int m_pendingSize = 0;
    QByteArray m_payload;

    QList<Received> m_log;
    QFile m_logFile;
};

} // namespace lumetra::sim
