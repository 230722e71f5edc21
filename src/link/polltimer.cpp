#include "polltimer.h"

#include "link/wait.h"

namespace lumetra {

PollTimer::PollTimer(QTimer* timer, QObject* parent) : QObject(parent), m_timer(timer) {}

void PollTimer::setEnabled(bool enabled) {
    m_enabled = enabled;
    if (!enabled)
        m_timer->stop();
}

void PollTimer::start() {
    if (m_enabled && m_holders == 0 && !quitRequested())
        m_timer->start();
}

void PollTimer::stop() {
    m_timer->stop();
}

PollTimer::Hold::Hold(PollTimer* owner, const QString& purpose)
    : m_owner(owner), m_purpose(purpose) {
    ++m_owner->m_holders;
    if (!m_purpose.isEmpty())
        m_owner->m_purposes.append(m_purpose);
    m_owner->stop();
    emit m_owner->held();
}

PollTimer::Hold::Hold(Hold&& other) noexcept
    : m_owner(other.m_owner), m_keepStopped(other.m_keepStopped),
      m_purpose(std::move(other.m_purpose)) {
    other.m_owner = nullptr;
}

PollTimer::Hold::~Hold() {
    if (!m_owner)
        return;
    if (!m_purpose.isEmpty())
        m_owner->m_purposes.removeOne(m_purpose);
    if (--m_owner->m_holders == 0 && !m_keepStopped)
        m_owner->start();
}

} // namespace lumetra
