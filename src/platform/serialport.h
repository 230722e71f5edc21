#pragma once

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include <optional>
#include <utility>

namespace lumetra {

// Line settings as the meter documentation writes them: "19200,n,8,1".
struct LineSettings {
    qint32 baud = 19200;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;

    static std::optional<LineSettings> parse(const QString& text);
};

// The /dev/serial/by-id/ link that leads to `device` (a name that stays the same on every
// plug-in and tells two adapters apart), else `device` itself.
QString stableDevicePath(const QString& device);

// The serial port as the rest of the program uses it: a device, line settings, open/close,
// non-blocking input of everything waiting, and output. Error codes follow the classic
// communications control so that "already open" (8005) keeps its meaning for the port scan.
class SerialPort : public QObject {
    Q_OBJECT
public:
    enum ErrorCode : int {
        NoError = 0,
        InvalidPort = 8002,    // no such device
        AlreadyOpen = 8005,    // open in this program, or held by another program
        Unavailable = 8010,    // present but not usable (permission, I/O error)
        InvalidSettings = 8018 // settings text could not be parsed or applied
    };

    explicit SerialPort(QObject* parent = nullptr);
    ~SerialPort() override;

    void setDevice(const QString& device) { m_device = device; }
    QString device() const { return m_device; }
    bool setSettings(const QString& text);
    LineSettings settings() const { return m_settings; }

    // Opens the port; returns NoError or one of the codes above. errorText() gives the
    // operating system's reason for the last failure.
    int open();
    void close();
    bool isOpen() const;
    QString errorText() const { return m_errorText; }

    QByteArray input();                 // everything waiting; never blocks
    qint64 appendInput(QByteArray& to); // everything waiting, read straight onto the end of to
    qint64 inBufferCount() const;       // bytes waiting
    void clearInput();                  // discard everything waiting
    // Hands what is buffered to the device now, without waiting (before a close).
    void flushOutput();
    bool output(const QByteArray& bytes);
    // Bulk transfers: the operating system reports input only once this many bytes (at most
    // 255) are waiting, so a steady stream wakes the program a few dozen times a second
    // rather than at every few bytes the driver passes on. 1 is every byte (the default).
    // 0 puts back the setting the port was opened with. False where the line discipline
    // has no such setting; nothing changes then.
    bool setWakeThreshold(int bytes);
    // The minimum count now in force (-1 where there is none to read).
    int wakeThreshold() const;

signals:
    void readyRead();
    // The device went away under an open port (USB adapter pulled, pseudo-terminal closed).
    void lost();

private:
    void onError(QSerialPort::SerialPortError error);
    bool hungUp() const; // the device's end of the line has gone

    QSerialPort m_port;
    QString m_device;
    LineSettings m_settings;
    QString m_errorText;
    // The minimum count and timer the port was opened with, while a threshold replaces them.
    std::optional<std::pair<unsigned char, unsigned char>> m_openedWake;
};

} // namespace lumetra
