#include "pointtaker.h"

#include "link/displaypoll.h"
#include "model/appstate.h"
#include "model/samplerow.h"

#include <cmath>

namespace lumetra {

PointTaker::PointTaker(const AppState& state, DisplayPoll& poll, QObject* parent)
    : QObject(parent), m_state(state) {
    m_window.setSingleShot(true);
    m_window.setInterval(kWindowMs);
    connect(&m_window, &QTimer::timeout, this, &PointTaker::finish);
    connect(&poll, &DisplayPoll::frameDecoded, this, &PointTaker::onReading);
}

void PointTaker::take() {
    m_sum = 0;
    m_count = 0;
    m_refusal.clear();
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
    else if (m_count == 0)
        emit refused(QStringLiteral("No reading came from the meter (No COM): the point stays "
                                    "empty."));
    else
        emit taken(m_sum / m_count, m_count);
}

} // namespace lumetra
