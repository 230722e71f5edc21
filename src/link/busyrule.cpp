#include "busyrule.h"

#include <utility>

namespace lumetra {

BusyRule::BusyRule(std::function<void()> closeNow) : m_closeNow(std::move(closeNow)) {}

BusyRule::~BusyRule() = default;

BusyRule::Hold::Hold(BusyRule* rule) : m_rule(rule), m_ruleAlive(rule->m_alive) {}

BusyRule::Hold::Hold(Hold&& other) noexcept
    : m_rule(std::exchange(other.m_rule, nullptr)), m_ruleAlive(std::move(other.m_ruleAlive)),
      m_claim(std::move(other.m_claim)), m_pollHold(std::move(other.m_pollHold)),
      m_scope(std::move(other.m_scope)) {
    if (m_rule && !m_ruleAlive.expired() && m_rule->m_current == &other)
        m_rule->m_current = this;
}

BusyRule::Hold::~Hold() {
    if (!m_rule)
        return; // moved from
    // Innermost first: the waits, then the poll, then the link.
    m_scope.reset();
    m_pollHold.reset();
    m_claim.reset();
    if (!m_ruleAlive.expired()) {
        if (m_rule->m_current == this)
            m_rule->m_current = nullptr;
        m_rule->release();
    }
}

BusyRule::MeterLent::MeterLent(BusyRule* rule) : m_rule(rule), m_ruleAlive(rule->m_alive) {
    lend();
}

void BusyRule::MeterLent::lend() {
    if (m_lent || m_ruleAlive.expired())
        return;
    if (Hold* hold = m_rule->m_current) {
        hold->m_pollHold.reset();
        hold->m_claim.reset();
        m_lent = true;
        m_lost = false;
    }
}

bool BusyRule::MeterLent::retake() {
    if (!m_lent)
        return !m_lost;
    m_lent = false;
    if (m_ruleAlive.expired() || !m_rule->m_current) {
        m_lost = true;
        return false;
    }
    Hold* hold = m_rule->m_current;
    if (m_rule->m_link) {
        if (m_rule->m_link->claimed()) {
            m_lost = true; // another exchange took the link meanwhile
            return false;
        }
        hold->m_claim.emplace(m_rule->m_link);
    }
    if (m_rule->m_poll)
        hold->m_pollHold.emplace(m_rule->m_poll->hold(m_rule->m_purpose));
    return true;
}

std::optional<BusyRule::Hold> BusyRule::tryHold() {
    if (m_held || (m_link && m_link->claimed()))
        return std::nullopt;
    Hold hold(this);
    if (m_link)
        hold.m_claim.emplace(m_link);
    if (m_poll)
        hold.m_pollHold.emplace(m_poll->hold(m_purpose));
    hold.m_scope = std::make_unique<WaitScope>();
    m_scope = hold.m_scope.get();
    m_held = true;
    m_current = &hold;
    return std::optional<Hold>(std::move(hold));
}

bool BusyRule::postponeClose() {
    if (!m_held)
        return false;
    m_closePending = true;
    if (m_abandonOnClose && m_scope)
        m_scope->abandon();
    return true;
}

void BusyRule::release() {
    m_held = false;
    m_scope = nullptr;
    if (m_closePending) {
        m_closePending = false;
        if (m_closeNow)
            m_closeNow();
    }
}

} // namespace lumetra
