#include "realtimeall.h"

#include "graph/seriesplot.h"
#include "model/appstate.h"
#include "widgets/twips.h"

#include <QDateTime>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

namespace lumetra {

RealTimeAll::RealTimeAll(AppState& state, const QWidget* anchor) : m_state(state) {
    setObjectName(QStringLiteral("RealTimeAll"));
    setWindowTitle(QStringLiteral("Real Time Graph"));
    setAttribute(Qt::WA_DeleteOnClose);
    CWGraph1 = new LiveChart(this);
    CWGraph1->setObjectName(QStringLiteral("CWGraph1"));
    CWGraph1->setAccessibleName(tr("Live graph of the reading"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(twipsToPixels(this, 30), 0, twipsToPixels(this, 30),
                               twipsToPixels(this, 60));
    layout->addWidget(CWGraph1);
    setMinimumSize(twipsToPixels(this, 7500), twipsToPixels(this, 6050));
    resize(minimumSize());
    if (anchor)
        move(anchor->frameGeometry().left() + anchor->frameGeometry().width(), 0);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000); // the first sample a second after opening, then every 500 ms
    connect(Timer1, &QTimer::timeout, this, &RealTimeAll::sample);
    connect(CWGraph1, &LiveChart::clicked, this, &RealTimeAll::handOverAsked);
    for (const auto key : {Qt::Key_Return, Qt::Key_Enter}) // the click's key
        connect(new QShortcut(QKeySequence(key), this), &QShortcut::activated, this,
                &RealTimeAll::handOverAsked);
    // Closed but not yet deleted, it samples no more (a newer window may own the ring).
    connect(this, &BusyWindow::closed, Timer1, &QTimer::stop);
    Timer1->start();
}

void RealTimeAll::initialForm() {
    CWGraph1->setUnit(m_state.graphUnit);
    m_state.graphRestart = false;
}

void RealTimeAll::sample() {
    AppState& s = m_state;
    if (s.graphRestart)
        initialForm();
    const DisplayState& d = s.display;
    if (d.unitText != s.graphUnit || d.flag(Flag::Rel) || d.flag(Flag::Ref) ||
        d.flag(Flag::UpperPercent) || d.flag(Flag::Cd) || d.flag(Flag::Fch) || d.flag(Flag::Lxh) ||
        d.flag(Flag::SetUp)) {
        // The meter left plain illuminance reading: the window goes, and says why.
        DisplayState alive = d;
        alive.linkAlive = true; // a lost link is a gap here, not an end
        emit endedByItself(QStringLiteral("The Real Time Graph stopped: %1.")
                               .arg(alive.leftPlainReading(s.graphUnit)));
        close();
        return;
    }
    Timer1->setInterval(500);
    // Without a fresh reading (the link is down, the poll rests) the moment is a gap, which
    // the graphs draw as a break, not a flat line of the last value.
    const float v = s.readingFresh(m_sampledReading) ? d.readingValue : qQNaN();
    m_sampledReading = s.readingsDecoded;
    s.graphPoints.append(v, QDateTime::currentMSecsSinceEpoch());
    CWGraph1->append(s.graphPoints.taken(), v, s.graphPoints.minimum(), s.graphPoints.maximum());
}

} // namespace lumetra
