#include "liveseries.h"

#include <algorithm>

namespace lumetra {

void LiveSeries::clear() {
    m_values.clear();
    m_times.clear();
    m_next = 0;
    m_wrapped = false;
    m_taken = 0;
    m_min = std::numeric_limits<float>::max();
    m_max = std::numeric_limits<float>::lowest();
    m_minCount = m_maxCount = 0;
    m_stale = false;
}

void LiveSeries::noteExtremes(float value) const {
    // A gap (NaN) compares false both ways: it is never an extreme.
    if (value < m_min) {
        m_min = value;
        m_minCount = 1;
    } else if (value == m_min) {
        ++m_minCount;
    }
    if (value > m_max) {
        m_max = value;
        m_maxCount = 1;
    } else if (value == m_max) {
        ++m_maxCount;
    }
}

void LiveSeries::append(float value, qint64 timeMs) {
    if (m_wrapped) {
        const float old = m_values[m_next];
        if (!m_stale &&
            ((old == m_min && --m_minCount == 0) || (old == m_max && --m_maxCount == 0)))
            m_stale = true;
        m_values[m_next] = value;
        m_times[m_next] = timeMs;
    } else {
        m_values.append(value);
        m_times.append(timeMs);
    }
    if (!m_stale)
        noteExtremes(value);
    ++m_taken;
    if (++m_next == kCapacity) {
        m_next = 0;
        m_wrapped = true;
    }
}

namespace {

// The ring's contents, oldest first.
template <typename T> QVector<T> unrolled(const QVector<T>& ring, int next, bool wrapped) {
    if (!wrapped)
        return ring;
    QVector<T> out(ring.size());
    const auto split = ring.cbegin() + next;
    std::copy(ring.cbegin(), split, std::copy(split, ring.cend(), out.begin()));
    return out;
}

} // namespace

QVector<float> LiveSeries::series() const {
    return unrolled(m_values, m_next, m_wrapped);
}

QVector<qint64> LiveSeries::times() const {
    return unrolled(m_times, m_next, m_wrapped);
}

void LiveSeries::rescan() const {
    if (!m_stale)
        return;
    // Gaps (NaN) hold no value: they are neither extreme.
    m_min = std::numeric_limits<float>::max();
    m_max = std::numeric_limits<float>::lowest();
    m_minCount = m_maxCount = 0;
    for (const float v : m_values)
        noteExtremes(v);
    m_stale = false;
}

float LiveSeries::minimum() const {
    rescan();
    return m_minCount > 0 ? m_min : 0.0f;
}

float LiveSeries::maximum() const {
    rescan();
    return m_maxCount > 0 ? m_max : 0.0f;
}

} // namespace lumetra
