#include "metersession.h"

#include "link/displaypoll.h"
#include "link/meterlink.h"
#include "link/polltimer.h"
#include "link/wait.h"
#include "model/appstate.h"

#include <QTimer>

namespace lumetra {

MeterSession::MeterSession(AppState& state, QObject* parent) : QObject(parent), m_state(state) {
    m_link = new MeterLink(this);
    m_link->setObjectName(QStringLiteral("COM"));
    m_pollTimer = new QTimer(this);
    m_pollTimer->setObjectName(QStringLiteral("Timer1"));
    m_pollTimer->setInterval(250);
    m_sampleTimer = new QTimer(this);
    m_sampleTimer->setObjectName(QStringLiteral("Timer2"));
    m_sampleTimer->setInterval(1000);
    m_poll = new PollTimer(m_pollTimer, this);
    m_displayPoll = new DisplayPoll(*m_link, m_state, m_pollTimer, this);
    connect(m_poll, &PollTimer::held, m_displayPoll, &DisplayPoll::giveWay);
}

MeterSession::~MeterSession() = default;

bool MeterSession::start(const PortChoice& choice) {
    m_state.port = choice;
    m_state.meterOnline = false;
    m_poll->setEnabled(false);
    if (!choice.isValid()) {
        m_error = tr("No port was chosen.");
        return false;
    }
    if (!m_link->open(choice)) {
        m_error = m_link->errorText();
        return false;
    }
    m_error.clear();
    m_poll->setEnabled(true);
    m_poll->start();
    m_sampleTimer->start();
    m_state.meterOnline = true;
    return true;
}

bool MeterSession::restart(const PortChoice& choice) {
    stopTicks();
    m_link->port().close();
    m_state.display.linkAlive = false;
    m_state.pollCounter = 0; // a new meter's stream starts with a handshake and "M"
    return start(choice);
}

void MeterSession::stopTicks() {
    m_pollTimer->stop();
    m_sampleTimer->stop();
}

void MeterSession::shutdown() {
    stopTicks();
    requestQuit();
    m_link->payOwed();
    m_link->port().close();
}

} // namespace lumetra
