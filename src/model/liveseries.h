#pragma once

#include <QVector>

#include <limits>

namespace lumetra {

// The live graph's samples: a ring of the last 864 001 readings (120 hours at two a second)
// with the extremes of what it holds. Appending is O(1): the extremes are kept with the number
// of samples that hold them, and searched for again only when the ring has overwritten the
// last sample holding one.
class LiveSeries {
public:
    static constexpr int kCapacity = 864001;

    void clear();
    // A reading and when it was taken (milliseconds since the epoch).
    void append(float value, qint64 timeMs = 0);
    // Samples held: at most kCapacity.
    int size() const { return m_wrapped ? kCapacity : m_next; }
    // Samples taken since the last clear (the ring position is this modulo kCapacity).
    qint64 taken() const { return m_taken; }
    // The samples held, oldest first.
    QVector<float> series() const;
    // Their times, in the same order.
    QVector<qint64> times() const;
    // Lowest and highest value of the samples held, gaps (NaN) left out (both 0 when there is
    // no value).
    float minimum() const;
    float maximum() const;

private:
    void rescan() const;
    void noteExtremes(float value) const;

    QVector<float> m_values; // grows to kCapacity, then is overwritten in place
    QVector<qint64> m_times; // beside m_values
    int m_next = 0;          // where the next sample goes
    bool m_wrapped = false;
    qint64 m_taken = 0;
    mutable float m_min = std::numeric_limits<float>::max();
    mutable float m_max = std::numeric_limits<float>::lowest();
    mutable int m_minCount = 0; // samples held that equal m_min
    mutable int m_maxCount = 0;
    mutable bool m_stale = false; // the last sample holding an extreme was overwritten
};

} // namespace lumetra
