#include "serialport.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <termios.h>
#endif

namespace lumetra {

QString stableDevicePath(const QString& device) {
    const QString target = QFileInfo(device).canonicalFilePath();
    if (target.isEmpty())
        return device;
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo& link : byId.entryInfoList(QDir::System | QDir::Files, QDir::Name)) {
        if (link.canonicalFilePath() == target)
            return link.filePath();
    }
    return device;
}

std::optional<LineSettings> LineSettings::parse(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return std::nullopt;
    LineSettings s;
    bool ok = false;
    s.baud = parts[0].trimmed().toInt(&ok);
    if (!ok || s.baud <= 0)
        return std::nullopt;

    const QString parity = parts[1].trimmed().toLower();
    if (parity == QLatin1String("n"))
        s.parity = QSerialPort::NoParity;
    else if (parity == QLatin1String("e"))
        s.parity = QSerialPort::EvenParity;
    else if (parity == QLatin1String("o"))
        s.parity = QSerialPort::OddParity;
    else if (parity == QLatin1String("m"))
        s.parity = QSerialPort::MarkParity;
    else if (parity == QLatin1String("s"))
        s.parity = QSerialPort::SpaceParity;
    else
        return std::nullopt;

    const int bits = parts[2].trimmed().toInt(&ok);
    if (!ok || bits < 5 || bits > 8)
        return std::nullopt;
    s.dataBits = static_cast<QSerialPort::DataBits>(bits);

    const QString stop = parts[3].trimmed();
    if (stop == QLatin1String("1"))
        s.stopBits = QSerialPort::OneStop;
    else if (stop == QLatin1String("1.5"))
        s.stopBits = QSerialPort::OneAndHalfStop;
    else if (stop == QLatin1String("2"))
        s.stopBits = QSerialPort::TwoStop;
    else
        return std::nullopt;
    return s;
}

SerialPort::SerialPort(QObject* parent) : QObject(parent) {
    connect(&m_port, &QSerialPort::readyRead, this, &SerialPort::readyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialPort::onError);
}

SerialPort::~SerialPort() = default;

bool SerialPort::setSettings(const QString& text) {
    const auto parsed = LineSettings::parse(text);
    if (!parsed)
        return false;
    m_settings = *parsed;
    if (m_port.isOpen()) {
        m_port.setBaudRate(m_settings.baud);
        m_port.setParity(m_settings.parity);
        m_port.setDataBits(m_settings.dataBits);
        m_port.setStopBits(m_settings.stopBits);
    }
    return true;
}

int SerialPort::open() {
    m_errorText.clear();
    if (m_port.isOpen()) {
        m_errorText = tr("The port is already open.");
        return AlreadyOpen;
    }
    if (m_device.isEmpty()) {
        m_errorText = tr("No port was chosen.");
        return InvalidPort;
    }
    m_port.setPortName(m_device);
    m_port.setBaudRate(m_settings.baud);
    m_port.setParity(m_settings.parity);
    m_port.setDataBits(m_settings.dataBits);
    m_port.setStopBits(m_settings.stopBits);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    m_openedWake.reset(); // a port opens with the settings of its own
    if (m_port.open(QIODevice::ReadWrite)) {
        m_port.clearError();
        return NoError;
    }
    const auto err = m_port.error();
    m_errorText = m_port.errorString();
    m_port.clearError();
    if (err == QSerialPort::DeviceNotFoundError)
        return InvalidPort;
    if (err == QSerialPort::PermissionError) {
        // Both "held by another program" and "not allowed" come back as a permission error;
        // a device we could open for reading and writing is simply in use.
        const QFileInfo info(
            m_device.startsWith(QLatin1Char('/')) ? m_device : QStringLiteral("/dev/") + m_device);
        if (info.exists() && info.isReadable() && info.isWritable())
            return AlreadyOpen;
        return Unavailable;
    }
    return Unavailable;
}

void SerialPort::close() {
    if (m_port.isOpen())
        m_port.close();
    m_port.clearError();
}

bool SerialPort::isOpen() const {
    return m_port.isOpen();
}

QByteArray SerialPort::input() {
    if (!m_port.isOpen())
        return {};
    return m_port.readAll();
}

qint64 SerialPort::appendInput(QByteArray& to) {
    const qint64 n = inBufferCount();
    if (n <= 0)
        return 0;
    const qsizetype at = to.size();
    to.resize(at + n); // grows geometrically: a long dump is not copied per read
    const qint64 got = m_port.read(to.data() + at, n);
    to.resize(at + std::max<qint64>(got, 0));
    return std::max<qint64>(got, 0);
}

qint64 SerialPort::inBufferCount() const {
    return m_port.isOpen() ? m_port.bytesAvailable() : 0;
}

void SerialPort::clearInput() {
    if (!m_port.isOpen())
        return;
    m_port.readAll();
    m_port.clear(QSerialPort::Input);
}

void SerialPort::flushOutput() {
    if (m_port.isOpen())
        m_port.flush();
}

bool SerialPort::output(const QByteArray& bytes) {
    if (!m_port.isOpen())
        return false;
    return m_port.write(bytes) == bytes.size();
}

bool SerialPort::setWakeThreshold(int bytes) {
#ifdef Q_OS_UNIX
    if (!m_port.isOpen())
        return false;
    const int fd = int(m_port.handle());
    termios t{};
    if (fd < 0 || ::tcgetattr(fd, &t) != 0)
        return false;
    if (bytes <= 0) {
        if (!m_openedWake)
            return true;
        t.c_cc[VMIN] = m_openedWake->first;
        t.c_cc[VTIME] = m_openedWake->second;
        m_openedWake.reset();
        return ::tcsetattr(fd, TCSANOW, &t) == 0;
    }
    if (!m_openedWake)
        m_openedWake.emplace(t.c_cc[VMIN], t.c_cc[VTIME]);
    // Without a timer (VTIME 0) a minimum count (VMIN) decides when poll() reports input;
    // reads stay non-blocking and return whatever is there.
    t.c_cc[VMIN] = cc_t(std::min(bytes, 255));
    t.c_cc[VTIME] = 0;
    return ::tcsetattr(fd, TCSANOW, &t) == 0;
#else
    Q_UNUSED(bytes);
    return false;
#endif
}

bool SerialPort::hungUp() const {
#ifdef Q_OS_UNIX
    if (!m_port.isOpen())
        return false;
    pollfd p{int(m_port.handle()), POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#else
    return false;
#endif
}

int SerialPort::wakeThreshold() const {
#ifdef Q_OS_UNIX
    termios t{};
    if (m_port.isOpen() && ::tcgetattr(int(m_port.handle()), &t) == 0)
        return t.c_cc[VMIN];
#endif
    return -1;
}

void SerialPort::onError(QSerialPort::SerialPortError error) {
    // A device that went away while a read waited may come back as a read error (the read
    // found the line hung up) rather than a resource error; it is gone all the same.
    if (error != QSerialPort::ResourceError && !(error == QSerialPort::ReadError && hungUp()))
        return;
    m_errorText = m_port.errorString();
    // Closing from inside the error signal is what QSerialPort expects for a vanished device.
    m_port.close();
    emit lost();
}

} // namespace lumetra
