#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;
class QTimer;

namespace lumetra::sim {

// The master side of a pseudo-terminal. The slave's path is what a serial program opens.
class PtyEndpoint : public QObject {
    Q_OBJECT
public:
    explicit PtyEndpoint(QObject* parent = nullptr);
    ~PtyEndpoint() override;

    bool open();  // creates the pair, raw mode, non-blocking master
    void close(); // the slave side sees its device vanish
    bool isOpen() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    QString errorText() const { return m_error; }

    // Writes what the line takes now; returns the number of bytes written.
    qint64 write(const QByteArray& bytes);

signals:
    void received(const QByteArray& bytes);

private:
    void onReadable();

    int m_master = -1;
    QString m_slavePath;
    QString m_error;
    QSocketNotifier* m_notifier = nullptr;
    QTimer* m_retry = nullptr; // while no program has the slave open, reading gives EIO
};

} // namespace lumetra::sim
