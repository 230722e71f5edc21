#pragma once

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

// The least any program pays for the meter's display stream: a bare port that handshakes and
// restarts the stream every `framesPerRestart` frames as the poll does, and counts the whole
// frames that come. Runs while the caller runs the event loop.
class BareReader {
public:
    BareReader(const QString& device, int framesPerRestart)
        : m_port(device), m_framesPerRestart(framesPerRestart) {}

    bool open() {
        m_port.setBaudRate(19200);
        if (!m_port.open(QIODevice::ReadWrite))
            return false;
        QObject::connect(&m_port, &QSerialPort::readyRead, [this] { read(); });
        m_port.write("A");
        return true;
    }
    int frames = 0;

private:
    void read() {
        m_buffer += m_port.readAll();
        if (!m_acknowledged) {
            if (m_buffer.size() < 6)
                return;
            m_acknowledged = true;
            m_buffer.clear();
            m_port.write("M");
            return;
        }
        while (m_buffer.size() >= 14) {
            if (m_buffer[0] != char(0x02) || m_buffer[13] != char(0x03)) {
                m_buffer.remove(0, 1);
                continue;
            }
            m_buffer.remove(0, 14);
            ++frames;
            if (++m_sinceRestart == m_framesPerRestart) {
                m_sinceRestart = 0;
                m_acknowledged = false;
                m_buffer.clear();
                m_port.write("A");
                return;
            }
        }
    }

    QSerialPort m_port;
    int m_framesPerRestart;
    QByteArray m_buffer;
    bool m_acknowledged = false;
    int m_sinceRestart = 0;
};
