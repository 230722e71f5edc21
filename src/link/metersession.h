#pragma once

#include <QObject>
#include <QString>

class QTimer;

namespace lumetra {

class DisplayPoll;
class MeterLink;
class PollTimer;
struct AppState;
struct PortChoice;

// One session with the meter, whoever owns it (the main window, or a program without a
// display): the port, the display poll and its timer (four ticks a second), the sampling tick
// (once a second), their start and their end. QtCore and QtSerialPort only.
class MeterSession : public QObject {
    Q_OBJECT
public:
    explicit MeterSession(AppState& state, QObject* parent = nullptr);
    ~MeterSession() override;

    // Opens the chosen port with the meter's line settings and starts the poll and the
    // sampling tick. false when it cannot (errorText() says why): nothing runs then, and the
    // poll stays off for good (offline).
    bool start(const PortChoice& choice);
    // The port in use closes and choice opens in its place.
    bool restart(const PortChoice& choice);
    QString errorText() const { return m_error; }
    // The ticks stop; nothing new starts. The first step of the end.
    void stopTicks();
    // Every wait on the stack returns at once and the port closes: the session is over.
    void shutdown();

    MeterLink& link() const { return *m_link; }
    PollTimer& poll() const { return *m_poll; }
    DisplayPoll& displayPoll() const { return *m_displayPoll; }
    QTimer* pollTimer() const { return m_pollTimer; }     // the display poll's ticks
    QTimer* sampleTimer() const { return m_sampleTimer; } // the sampling tick

private:
    AppState& m_state;
    MeterLink* m_link = nullptr;
    QTimer* m_pollTimer = nullptr;
    QTimer* m_sampleTimer = nullptr;
    PollTimer* m_poll = nullptr;
    DisplayPoll* m_displayPoll = nullptr;
    QString m_error;
};

} // namespace lumetra
