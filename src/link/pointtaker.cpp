#include "pointtaker.h"

#include "link/displaypoll.h"
#include "link/meterlink.h"
#include "model/appstate.h"
#include "model/samplerow.h"

#include <cmath>

namespace lumetra {

PointTaker::PointTaker(const AppState& state, DisplayPoll& poll, QObject* parent)
    : QObject(parent), m_state(state), m_poll(poll) {
    m_window.setSingleShot(true);
    m_window.setInterval(kWindowMs);
    connect(&m_window, &QTimer::timeout, this, &PointTaker::finish);
    connect(&poll, &DisplayPoll::frameDecoded, this, &PointTaker::onReading);
    connect(&poll.link(), &MeterLink::claimTaken, this, [this] {
        if (taking())
            m_pollRested = true;
    });
}

void PointTaker::take() {
    m_sum = 0;
    m_count = 0;
    m_refusal.clear();
    m_pollRested = m_poll.resting() || m_poll.link().claimed();
    m_window.start();
}

void PointTaker::cancel() {
    m_window.stop();
}

void PointTaker::onReading() {
    if (!taking())
        return;
    const Sample s = samples::fromDisplay(m_state.display, {});
    if (s.status == Sample::Over)
        m_refusal = QStringLiteral("The meter shows an overload: the point stays empty.");
    else if (s.status == Sample::Mode)
        m_refusal = QStringLiteral("The meter shows a measuring mode (Rel, REF, %, cd, …), not "
                                   "the illuminance: the point stays empty.");
    const double lux = samples::lux(s);
    if (!std::isnan(lux)) {
        m_sum += lux;
        ++m_count;
    }
}

void PointTaker::finish() {
    if (!m_refusal.isEmpty())
        emit refused(m_refusal);
    else if (m_count == 0 && (m_pollRested || m_poll.resting()))
        // The meter may be fine: the live display waited for another exchange.
        emit refused(QStringLiteral("The display rested while another exchange with the meter "
                                    "ran, so no reading came: the point stays empty. Take it "
                                    "again once that is done."));
    else if (m_count == 0)
        emit refused(QStringLiteral("No reading came from the meter (No COM): the point stays "
                                    "empty."));
    else
        emit taken(m_sum / m_count, m_count);
}

} // namespace lumetra
