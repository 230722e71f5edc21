#include "displaysamples.h"

#include "model/appstate.h"

namespace lumetra {

QList<Sample> DisplaySamples::at(const QDateTime& now) {
    if (!m_state.display.linkAlive || !m_state.readingFresh(m_seen)) {
        m_away = m_away || m_lastHeard.isValid();
        return {};
    }
    QList<Sample> out;
    if (m_away)
        out << samples::gap(m_lastHeard, now);
    m_away = false;
    m_seen = m_state.readingsDecoded;
    m_lastHeard = now;
    out << samples::fromDisplay(m_state.display, now);
    return out;
}

} // namespace lumetra
