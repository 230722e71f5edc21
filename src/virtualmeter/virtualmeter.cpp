#include "virtualmeter.h"

#include "pty.h"

#include <QRandomGenerator>
#include <QTimer>

#include <cmath>

namespace lumetra::sim {
namespace {

// The annunciators as the meter lays them out: frame byte and bit mask.
struct Annunciator {
    const char* name;
    int byte;
    quint8 mask;
};

constexpr Annunciator kAnnunciators[] = {
    {"Rel", 8, 0x01},         {"Comp", 8, 0x02},
    {"Cal", 8, 0x04},         {"Zero", 8, 0x08},
    {"UpperAvg", 8, 0x10},    {"Hold", 8, 0x20},
    {"Ref", 8, 0x40},         {"UpperPercent", 8, 0x80},
    {"Fch", 9, 0x01},         {"Lxh", 9, 0x02},
    {"Cd", 9, 0x04},          {"Fc", 9, 0x08},
    {"Lx", 9, 0x10},          {"Light", 9, 0x20},
    {"SmallPlus", 9, 0x40},   {"Stray", 9, 0x80},
    {"Comma", 10, 0x01},      {"Battery", 10, 0x02},
    {"BigPlus", 10, 0x04},    {"Minus", 10, 0x08},
    {"Auto", 10, 0x10},       {"Cycle", 10, 0x20},
    {"Read", 10, 0x40},       {"LowerAvg", 10, 0x80},
    {"No", 11, 0x01},         {"Start", 11, 0x02},
    {"Intv", 11, 0x04},       {"Stop", 11, 0x08},
    {"DayHour", 11, 0x10},    {"MinSec", 11, 0x20},
    {"TimeHold", 11, 0x40},   {"LowerPercent", 11, 0x80},
    {"Feet", 12, 0x01},       {"Metre", 12, 0x02},
    {"MainPoint1", 12, 0x04}, {"MainPoint2", 12, 0x08},
    {"MainPoint3", 12, 0x10}, {"SubPoint1", 12, 0x20},
    {"SubPoint2", 12, 0x40},  {"SubPoint3", 12, 0x80},
    {"DateDot", 13, 0x01},    {"TimeDot", 13, 0x02},
    {"Mem", 13, 0x04},        {"SetUp", 13, 0x08},
    {"Clear", 13, 0x20},      {"Scf", 13, 0x40},
};

int annunciatorIndex(const QString& name) {
    int i = 0;
    for (const auto& a : kAnnunciators) {
        if (name.compare(QLatin1String(a.name), Qt::CaseInsensitive) == 0)
            return i;
        ++i;
    }
    return -1;
}

int slotOf(const char* name) {
    return annunciatorIndex(QLatin1String(name));
}

quint8 bcd(int v) {
    v = std::clamp(v, 0, 99);
    return quint8(((v / 10) << 4) | (v % 10));
}

constexpr quint8 kBlank = 0xA;
const QByteArray kSetMarker("\x00\x55\xAA\x00", 4);

// Letters whose parameter block follows them, with its size.
int payloadSizeOf(char letter) {
    switch (letter) {
    case 'I':
        return 2;
    case 'S':
        return 2;
    case 'T':
        return 4;
    case 'W':
        return 2;
    case 'V':
        return 5;
    case 'i':
        return 2;
    case 'c':
        return 3;
    default:
        return 0;
    }
}

} // namespace

VirtualMeter::VirtualMeter(QObject* parent) : QObject(parent) {
    m_started.start();
    m_pumpTimer = new QTimer(this);
    m_pumpTimer->setInterval(5);
    m_pumpTimer->setTimerType(Qt::PreciseTimer);
    connect(m_pumpTimer, &QTimer::timeout, this, &VirtualMeter::pump);
    m_frameTimer = new QTimer(this);
    m_frameTimer->setInterval(100);
    connect(m_frameTimer, &QTimer::timeout, this, &VirtualMeter::frameTick);
    m_loggingTimer = new QTimer(this);
    m_loggingTimer->setInterval(1000);
    connect(m_loggingTimer, &QTimer::timeout, this, &VirtualMeter::loggingTick);
    m_setupTimer = new QTimer(this);
    m_setupTimer->setSingleShot(true);
    connect(m_setupTimer, &QTimer::timeout, this,
            [this] { m_flags[size_t(slotOf("SetUp"))] = false; });

    m_flags[size_t(slotOf("Auto"))] = true;
}

VirtualMeter::~VirtualMeter() = default;

bool VirtualMeter::start() {
    m_pty = std::make_unique<PtyEndpoint>();
    if (!m_pty->open())
        return false;
    connect(m_pty.get(), &PtyEndpoint::received, this, &VirtualMeter::receive);
    m_frameTimer->start();
    return true;
}

void VirtualMeter::stop() {
    m_frameTimer->stop();
    m_pumpTimer->stop();
    m_out.clear();
    m_streaming = false;
    if (m_pty)
        m_pty->close();
}

QString VirtualMeter::devicePath() const {
    return m_pty ? m_pty->slavePath() : QString();
}
QString VirtualMeter::errorText() const {
    return m_pty ? m_pty->errorText() : QString();
}

void VirtualMeter::setFramePeriodMs(int ms) {
    m_frameTimer->setInterval(std::max(10, ms));
}

bool VirtualMeter::setFlag(const QString& name, bool on) {
    const int i = annunciatorIndex(name);
    if (i < 0)
        return false;
    m_flags[size_t(i)] = on;
    emit stateChanged();
    return true;
}

bool VirtualMeter::flag(const QString& name) const {
    const int i = annunciatorIndex(name);
    return i >= 0 && m_flags[size_t(i)];
}

QStringList VirtualMeter::flagNames() {
    QStringList names;
    for (const auto& a : kAnnunciators)
        names << QLatin1String(a.name);
    return names;
}

void VirtualMeter::setPowered(bool on) {
    m_powered = on;
    if (!on) {
        m_streaming = false;
        m_out.clear();
        m_pendingSize = 0;
        if (m_powerOnDelayMs > 0)
            QTimer::singleShot(m_powerOnDelayMs, this, [this] { m_powered = true; });
    }
    emit stateChanged();
}

quint32 VirtualMeter::memoryPointer() const {
    if (m_pointerOverride)
        return *m_pointerOverride;
    return quint32(kEmptyPointer + m_memory.size());
}

QDateTime VirtualMeter::meterClock() const {
    return QDateTime::currentDateTime().addSecs(clockOffsetSecs);
}

void VirtualMeter::setProfile(const QList<QPair<double, double>>& points) {
    m_profile = points;
    m_profileClock.start();
}

double VirtualMeter::displayedValue() const {
    double lux = m_lux;
    if (!m_profile.isEmpty()) {
        // From the last point at or before now to the next one; two points at one time are a
        // step, taken at that time.
        const double t = m_profileClock.elapsed() / 1000.0;
        qsizetype j = -1;
        while (j + 1 < m_profile.size() && m_profile[j + 1].first <= t)
            ++j;
        if (j < 0 || j + 1 == m_profile.size()) {
            lux = m_profile[std::max<qsizetype>(j, 0)].second;
        } else {
            const auto& [t0, l0] = m_profile[j];
            const auto& [t1, l1] = m_profile[j + 1];
            lux = l0 + (l1 - l0) * (t - t0) / (t1 - t0);
        }
    } else if (m_drift) {
        const double t = m_started.elapsed() / 1000.0;
        lux *= 1.0 + 0.03 * std::sin(t / 4.0) + 0.005 * std::sin(t * 1.7);
    }
    return m_fc ? lux * 0.0929 : lux;
}

// ---------------------------------------------------------------- frames and replies

QByteArray VirtualMeter::displayFrame() const {
    std::array<quint8, 14> f{};
    f[0] = 0x02;
    f[13] = 0x03;

    // Memory number: two BCD digits, 0xA for a blank.
    if (m_memoryNumber < 0)
        f[1] = quint8(kBlank << 4 | kBlank);
    else if (m_memoryNumber < 10)
        f[1] = quint8(kBlank << 4 | m_memoryNumber);
    else
        f[1] = bcd(m_memoryNumber);

    std::array<quint8, 14> flags{}; // indexed by frame byte
    for (size_t i = 0; i < std::size(kAnnunciators); ++i) {
        if (m_flags[i])
            flags[size_t(kAnnunciators[i].byte)] |= kAnnunciators[i].mask;
    }
    // Unit follows the unit key; the decimal point and comma follow the live reading.
    flags[9] &= quint8(~(0x08 | 0x10));
    flags[9] |= m_fc ? 0x08 : 0x10;
    if (m_rawMain.isEmpty()) {
        flags[10] &= quint8(~0x01);
        flags[12] &= quint8(~(0x04 | 0x08 | 0x10));
    }

    std::array<quint8, 6> digits{kBlank, kBlank, kBlank, kBlank, kBlank, kBlank};
    bool overload = false;
    if (!m_rawMain.isEmpty()) {
        for (int i = 0; i < 6 && i < m_rawMain.size(); ++i)
            digits[size_t(i)] = quint8(QString(m_rawMain[i]).toUInt(nullptr, 16));
    } else {
        const double value = displayedValue();
        if (m_overload || value >= 100000.0 || value < 0) {
            overload = true;
        } else {
            // Four significant places with the point after digit 3, 4 or 5; five digits with
            // the thousands comma from 10000 up.
            int decimals = 0;
            int firstDigit = 2; // index of the leftmost digit that may show (digit 3)
            if (value >= 10000.0) {
                flags[10] |= 0x01;
                firstDigit = 1;
            } else if (value < 10.0) {
                decimals = 3;
                flags[12] |= 0x04;
            } else if (value < 100.0) {
                decimals = 2;
                flags[12] |= 0x08;
            } else if (value < 1000.0) {
                decimals = 1;
                flags[12] |= 0x10;
            }
            const long long scaled = std::llround(value * std::pow(10.0, decimals));
            long long rest = scaled;
            for (int pos = 5; pos >= firstDigit; --pos) {
                digits[size_t(pos)] = quint8(rest % 10);
                rest /= 10;
            }
            // Blank leading zeros, but keep the digit in front of the point.
            const int keepFrom = 5 - decimals;
            for (int pos = firstDigit; pos < keepFrom && digits[size_t(pos)] == 0; ++pos)
                digits[size_t(pos)] = kBlank;
        }
    }
    f[2] = quint8(digits[0] << 4 | digits[1]);
    f[3] = overload ? 0xFF : quint8(digits[2] << 4 | digits[3]);
    f[4] = quint8(digits[4] << 4 | digits[5]);

    QString small = m_smallDigits;
    if (small.isEmpty()) {
        const QTime t = meterClock().time();
        small = m_showTime ? QStringLiteral("%1%2")
                                 .arg(t.minute(), 2, 10, QLatin1Char('0'))
                                 .arg(t.second(), 2, 10, QLatin1Char('0'))
                           : QStringLiteral("0000");
        if (m_showTime)
            flags[13] |= 0x02; // time dot
    }
    small = small.leftJustified(4, QLatin1Char('0'), true);
    f[5] = quint8(QStringView(small).left(2).toUInt(nullptr, 16));
    f[6] = quint8(QStringView(small).mid(2, 2).toUInt(nullptr, 16));

    for (int b = 8; b <= 13; ++b)
        f[size_t(b - 1)] = flags[size_t(b)];
    return QByteArray(reinterpret_cast<const char*>(f.data()), 14);
}

QByteArray VirtualMeter::acknowledge() const {
    const quint32 p = memoryPointer();
    QByteArray a(6, '\0');
    a[0] = char(0x02);
    a[1] = char(m_ackMarker);
    a[2] = char((p >> 16) & 0xFF);
    a[3] = char((p >> 8) & 0xFF);
    a[4] = char(p & 0xFF);
    a[5] = char(0x03);
    return a;
}

QByteArray VirtualMeter::settingsReply() const {
    QByteArray r(9, '\0');
    r[0] = char(0x02);
    r[1] = char((distance >> 8) & 0xFF);
    r[2] = char(distance & 0xFF);
    r[3] = char(compFlags);
    r[4] = char((compHigh >> 8) & 0xFF);
    r[5] = char(compHigh & 0xFF);
    r[6] = char((compLow >> 8) & 0xFF);
    r[7] = char(compLow & 0xFF);
    r[8] = char(0x03);
    return r;
}

QByteArray VirtualMeter::clockReply() const {
    const QDateTime c = meterClock();
    QByteArray r(8, '\0');
    r[0] = char(0x02);
    r[1] = char(bcd(c.date().day()));
    r[2] = char(bcd(c.time().hour()));
    r[3] = char(bcd(c.time().minute()));
    r[4] = char(bcd(c.time().second()));
    r[5] = char(bcd(intervalMinutes));
    r[6] = char(bcd(intervalSeconds));
    r[7] = char(0x03);
    return r;
}

QByteArray VirtualMeter::calibrationReply() const {
    QByteArray r(4, '\0');
    r[0] = char(0x02);
    r[1] = char((calibration >> 8) & 0xFF);
    r[2] = char(calibration & 0xFF);
    r[3] = char(0x03);
    return r;
}

QByteArray VirtualMeter::scfReply() const {
    // Start byte, entry, factor: four bytes and no end byte.
    QByteArray r(4, '\0');
    r[0] = char(0x02);
    r[1] = char(scfEntry);
    r[2] = char((scfFactor >> 8) & 0xFF);
    r[3] = char(scfFactor & 0xFF);
    return r;
}

QByteArray VirtualMeter::memoryDump() const {
    const quint32 pointer = memoryPointer();
    const int stored = std::max(0, int(pointer) - kEmptyPointer);
    QByteArray body = m_memory.left(stored);
    if (body.size() < stored)
        body.append(QByteArray(stored - body.size(), '\0'));
    QByteArray preamble(15, '\0');
    preamble[0] = char(0x02);
    preamble[1] = 'Q';
    return preamble + body + QByteArray(1, char(0x03));
}

QByteArray VirtualMeter::faultedDump() {
    QByteArray dump = memoryDump();
    constexpr int kBody = 15; // the stored memory starts after the preamble
    if (m_dropMarkerNext) {
        m_dropMarkerNext = false;
        if (dump.size() > kBody + 1)
            dump[kBody + 1] = char(0x54);
    }
    if (m_brokenDumps > 0) {
        --m_brokenDumps;
        // The marker in front of the last set: the sets before it are whole.
        const qsizetype last = dump.lastIndexOf(kSetMarker);
        if (last > kBody + 1)
            dump[last + 1] = char(0x11);
    }
    return dump;
}

// ---------------------------------------------------------------- memory

void VirtualMeter::addSet(const QDateTime& start, int interval, const QList<double>& readings) {
    QByteArray set = kSetMarker;
    set.append(char(bcd(start.date().day())));
    set.append(char(bcd(start.time().hour())));
    set.append(char(bcd(start.time().minute())));
    set.append(char(bcd(start.time().second())));
    set.append(char(bcd(interval / 60)));
    set.append(char(bcd(interval % 60)));
    if (m_memory.size() + set.size() + 3 > kMemoryCapacity)
        return;
    m_memory.append(set);
    for (double lux : readings) {
        if (m_memory.size() + 3 > kMemoryCapacity)
            break;
        appendRecord(lux);
    }
}

void VirtualMeter::appendRecord(double lux) {
    // Finest range whose raw value still fits 16 bits: bit 1 is thousandths of a lux, bit 6
    // hundreds.
    int bit = 1;
    double step = 0.001;
    while (bit < 6 && lux / step > 65535.0) {
        ++bit;
        step *= 10.0;
    }
    const int raw = int(std::clamp(std::llround(lux / step), 0LL, 65535LL));
    m_memory.append(char((raw >> 8) & 0xFF));
    m_memory.append(char(raw & 0xFF));
    m_memory.append(char(1 << bit));
}

void VirtualMeter::fillMemory(int sets, int recordsPerSet) {
    m_memory.clear();
    QDateTime start = meterClock().addSecs(-qint64(sets) * recordsPerSet * 2 - 3600);
    for (int s = 0; s < sets; ++s) {
        QList<double> readings;
        for (int r = 0; r < recordsPerSet; ++r)
            readings << 500.0 + 400.0 * std::sin((s * 7 + r) / 9.0) + s * 3.1;
        addSet(start, 2, readings);
        start = start.addSecs(qint64(recordsPerSet) * 2 + 60);
    }
}

void VirtualMeter::fillMemoryBytes(int bytes) {
    bytes = std::clamp(bytes, 0, kMemoryCapacity);
    m_memory.clear();
    QDateTime start = meterClock().addDays(-1);
    int s = 0;
    while (m_memory.size() + 13 <= bytes) {
        const int room = (bytes - m_memory.size() - 10) / 3;
        const int records = std::min(room, 2000);
        QList<double> readings;
        for (int r = 0; r < records; ++r)
            readings << 300.0 + 250.0 * std::sin((s * 11 + r) / 17.0);
        addSet(start, 1, readings);
        start = start.addSecs(records + 30);
        ++s;
    }
}

// ---------------------------------------------------------------- line traffic

QByteArray VirtualMeter::receivedBytes() const {
    QByteArray bytes;
    bytes.reserve(m_log.size());
    for (const auto& r : m_log)
        bytes.append(r.byte);
    return bytes;
}

bool VirtualMeter::setLogFile(const QString& path) {
    m_logFile.setFileName(path);
    return m_logFile.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text);
}

void VirtualMeter::receive(const QByteArray& bytes) {
    const qint64 now = m_started.elapsed();
    for (char c : bytes) {
        m_log.append({now, c});
        if (m_logFile.isOpen()) {
            const quint8 b = quint8(c);
            const QString shown =
                (b >= 0x20 && b < 0x7F) ? QString(QLatin1Char(c)) : QStringLiteral("-");
            m_logFile.write(QStringLiteral("%1 %2 %3\n")
                                .arg(now / 1000.0, 0, 'f', 3)
                                .arg(b, 2, 16, QLatin1Char('0'))
                                .arg(shown)
                                .toLatin1());
            m_logFile.flush();
        }
    }
    if (!m_powered || m_silent) {
        m_pendingSize = 0;
        return;
    }
    for (char c : bytes) {
        if (m_pendingSize > 0) {
            m_payload.append(c);
            if (m_payload.size() == m_pendingSize) {
                m_pendingSize = 0;
                handlePayload(m_pendingLetter, m_payload);
            }
            continue;
        }
        handleLetter(c);
    }
}

void VirtualMeter::toggle(const QString& name) {
    const int i = annunciatorIndex(name);
    m_flags[size_t(i)] = !m_flags[size_t(i)];
}

void VirtualMeter::handleLetter(char letter) {
    emit letterReceived(letter);
    if (m_ignored.contains(letter))
        return;
    // While it answers a command the meter holds its display stream back for a moment, so
    // that a reply is not buried among display frames.
    if (letter != 'M' && !m_streamThrough)
        m_quietUntilMs = m_started.elapsed() + kQuietAfterCommandMs;
    if (letter == 'H' && m_streamThrough)
        m_streaming = false;
    if (const int size = payloadSizeOf(letter); size > 0) {
        m_pendingLetter = letter;
        m_pendingSize = size;
        m_payload.clear();
        return;
    }
    switch (letter) {
    case 'A':
        if (m_streamEndsAtHandshake)
            m_streaming = false;
        reply(acknowledge());
        break;
    case 'M':
        m_streaming = true;
        break;
    case 'B':
        m_showTime = !m_showTime;
        break;
    case 'C':
        toggle(QStringLiteral("Hold"));
        break;
    case 'D':
        toggle(QStringLiteral("UpperAvg"));
        break;
    case 'F':
        m_fc = !m_fc;
        break;
    case 'G':
        toggle(QStringLiteral("UpperPercent"));
        break;
    case 'H':
        // Enter: back to normal measuring.
        for (const char* name :
             {"Rel", "Ref", "UpperPercent", "Cd", "Fch", "Lxh", "SetUp", "Clear"})
            m_flags[size_t(slotOf(name))] = false;
        break;
    case 'J':
        addSet(meterClock(), 0, {displayedValue() / (m_fc ? 0.0929 : 1.0)});
        break;
    case 'K':
        m_memoryNumber = std::min(99, m_memoryNumber + 1);
        break;
    case 'N':
        m_memoryNumber = std::max(-1, m_memoryNumber - 1);
        break;
    case 'L':
        toggle(QStringLiteral("Read"));
        break;
    case 'O':
        setPowered(false);
        break;
    case 'P': {
        const bool logging = !flag(QStringLiteral("Intv"));
        setFlag(QStringLiteral("Intv"), logging);
        setFlag(QStringLiteral("Mem"), logging);
        if (logging) {
            const int interval = std::max(1, intervalMinutes * 60 + intervalSeconds);
            addSet(meterClock(), interval, {});
            m_loggingCountdown = 0;
            m_loggingTimer->start();
        } else {
            m_loggingTimer->stop();
        }
        break;
    }
    case 'X':
        toggle(QStringLiteral("Comp"));
        break;
    case 'Z':
        reply(settingsReply());
        break;
    case 'Q':
        m_streaming = false; // the dump takes the line; the stream needs a new "M"
        m_out.clear();
        reply(faultedDump());
        break;
    case 'E':
        m_memory.clear();
        break;
    case 'Y':
        reply(clockReply());
        break;
    case 'j':
        calibration = 1000;
        break;
    case 'h':
        reply(calibrationReply());
        break;
    case 'a':
        reply(scfReply());
        break;
    case 'e':
        scfEntry = 0;
        scfFactor = 1000;
        break;
    default:
        break; // unknown letters are ignored, as a meter would
    }
    emit stateChanged();
}

void VirtualMeter::handlePayload(char letter, const QByteArray& p) {
    const auto b = [&](int i) { return quint8(p.at(i)); };
    const auto fromBcdByte = [](quint8 v) { return (v >> 4) * 10 + (v & 0x0F); };
    switch (letter) {
    case 'I':
        distance = b(0) * 256 + b(1);
        break;
    case 'S':
        holdMinutes = fromBcdByte(b(0));
        holdSeconds = fromBcdByte(b(1));
        break;
    case 'W':
        intervalMinutes = fromBcdByte(b(0));
        intervalSeconds = fromBcdByte(b(1));
        break;
    case 'T': {
        const QDateTime now = QDateTime::currentDateTime();
        const QDate today = now.date();
        const int day = std::clamp(fromBcdByte(b(0)), 1, today.daysInMonth());
        const QDateTime target(QDate(today.year(), today.month(), day),
                               QTime(std::clamp(fromBcdByte(b(1)), 0, 23),
                                     std::clamp(fromBcdByte(b(2)), 0, 59),
                                     std::clamp(fromBcdByte(b(3)), 0, 59)));
        clockOffsetSecs = now.secsTo(target);
        break;
    }
    case 'V':
        compFlags = b(0);
        compHigh = b(1) * 256 + b(2);
        compLow = b(3) * 256 + b(4);
        break;
    case 'i':
        calibration = b(0) * 256 + b(1);
        break;
    case 'c':
        scfEntry = b(0);
        scfFactor = b(1) * 256 + b(2);
        // The meter confirms a new SCF on its display.
        m_flags[size_t(slotOf("SetUp"))] = true;
        m_setupTimer->start(2000);
        break;
    default:
        break;
    }
    emit stateChanged();
}

void VirtualMeter::reply(QByteArray bytes) {
    if (m_shortNext) {
        m_shortNext = false;
        bytes.chop(std::max<qsizetype>(1, bytes.size() / 2));
    } else if (m_malformNext) {
        m_malformNext = false;
        bytes[bytes.size() - 1] = char(0x7E);
    }
    send(bytes);
}

void VirtualMeter::sendGarbage(int count) {
    QByteArray junk(count, '\0');
    for (auto& c : junk)
        c = char(QRandomGenerator::global()->bounded(256));
    send(junk);
}

void VirtualMeter::send(const QByteArray& bytes) {
    emit transmitted(bytes);
    if (!m_pty || !m_pty->isOpen())
        return;
    if (!m_paced && m_out.isEmpty()) {
        const qint64 n = m_pty->write(bytes);
        if (n < bytes.size())
            m_out.append(bytes.mid(n));
    } else {
        m_out.append(bytes);
    }
    if (!m_out.isEmpty() && !m_pumpTimer->isActive()) {
        // The line starts sending now; the first bytes leave with the next pump.
        m_pumpClock.start();
        m_pumpedAtNs = 0;
        m_budget = 0;
        m_pumpTimer->start();
        if (!m_paced)
            pump();
    }
}

void VirtualMeter::pump() {
    if (!m_pty || !m_pty->isOpen() || m_out.isEmpty()) {
        m_pumpTimer->stop();
        return;
    }
    if (m_paced) {
        // Bytes leave at the line rate: the budget grows with the time since the last pump.
        // Nanoseconds, not milliseconds: whole milliseconds per 5 ms pump lost up to a fifth
        // of the line's time. A pump that came late sends what the line would have sent
        // meanwhile, up to a short burst.
        const qint64 now = m_pumpClock.nsecsElapsed();
        m_budget += double(now - m_pumpedAtNs) * (kLineBytesPerSecond / 1e9);
        m_pumpedAtNs = now;
        m_budget = std::min(m_budget, 256.0);
    }
    const qsizetype n = m_paced ? qsizetype(m_budget) : m_out.size();
    if (n <= 0)
        return;
    const qint64 written = m_pty->write(m_out.left(n));
    m_out.remove(0, written);
    if (m_paced)
        m_budget -= double(written);
    if (m_out.isEmpty())
        m_pumpTimer->stop();
}

void VirtualMeter::frameTick() {
    if (!m_powered || m_silent || !m_streaming || !m_out.isEmpty() ||
        m_started.elapsed() < m_quietUntilMs)
        return;
    const QByteArray frame = displayFrame();
    if (m_splitFrames) {
        send(frame.left(7));
        QTimer::singleShot(30, this, [this, rest = frame.mid(7)] { send(rest); });
    } else {
        send(frame);
    }
}

void VirtualMeter::loggingTick() {
    if (!flag(QStringLiteral("Intv"))) {
        m_loggingTimer->stop();
        return;
    }
    const int interval = std::max(1, intervalMinutes * 60 + intervalSeconds);
    if (++m_loggingCountdown >= interval) {
        m_loggingCountdown = 0;
        if (m_memory.size() + 3 <= kMemoryCapacity)
            appendRecord(displayedValue() / (m_fc ? 0.0929 : 1.0));
    }
}

} // namespace lumetra::sim
