#pragma once

#include "model/samplerow.h"

#include <QDateTime>
#include <QList>

namespace lumetra {

struct AppState;

// Samples of the running display for work that follows the light by itself (the emergency
// test): a reading the poll decoded lately, or nothing while the meter is away; when it is
// back, one gap sample says from when to when it was away.
class DisplaySamples {
public:
    explicit DisplaySamples(const AppState& state) : m_state(state) {}
    QList<Sample> at(const QDateTime& now);
    bool away() const { return m_away; }
    // Starts afresh: only readings decoded from now on count.
    void reset() {
        m_seen = 0;
        m_away = false;
        m_lastHeard = {};
    }

private:
    const AppState& m_state;
    quint64 m_seen = 0;
    bool m_away = false;
    QDateTime m_lastHeard;
};

} // namespace lumetra
