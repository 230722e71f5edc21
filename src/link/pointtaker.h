#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

namespace lumetra {

class DisplayPoll;
struct AppState;

// Takes one point of a lighting survey: the mean of the readings the live display decodes
// over the next second, in lux (foot-candles converted). Nothing is asked of the meter: the
// readings come from the poll already running. An overload, a measuring mode or a meter that
// sends nothing refuses the point, with a reason a person can act on.
class PointTaker : public QObject {
    Q_OBJECT
public:
    static constexpr int kWindowMs = 1000;

    PointTaker(const AppState& state, DisplayPoll& poll, QObject* parent = nullptr);

    // Starts taking; a take that is running starts over.
    void take();
    void cancel();
    bool taking() const { return m_window.isActive(); }

signals:
    void taken(double lux, int readings);
    void refused(const QString& text);

private:
    void onReading();
    void finish();

    const AppState& m_state;
    DisplayPoll& m_poll;
    bool m_pollRested = false; // another exchange held the link while the point was taken
    QTimer m_window;
    double m_sum = 0;
    int m_count = 0;
    QString m_refusal;
};

} // namespace lumetra
