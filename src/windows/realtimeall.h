#pragma once

#include "widgets/busy.h"

class QTimer;

namespace lumetra {

class LiveChart;
struct AppState;

// "Real Time Graph": charts the displayed reading twice a second into the shared ring while
// it is open, and closes itself as soon as the meter leaves plain illuminance reading. A
// click on the chart asks for the whole series in the graph view. Talks to no meter.
class RealTimeAll : public BusyWindow {
    Q_OBJECT
public:
    // Placed with its left edge at anchor's right edge, at the top of the screen.
    RealTimeAll(AppState& state, const QWidget* anchor);

    LiveChart* CWGraph1 = nullptr;
    QTimer* Timer1 = nullptr;

    void sample();

signals:
    void handOverAsked();
    // It closed by itself, and why ("The Real Time Graph stopped: …").
    void endedByItself(const QString& text);

private:
    void initialForm();

    AppState& m_state;
    quint64 m_sampledReading = 0; // AppState::readingsDecoded at the last sample
};

} // namespace lumetra
