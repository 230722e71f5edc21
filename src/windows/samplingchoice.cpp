#include "samplingchoice.h"

#include "link/meterexchanges.h"
#include "link/meterlink.h"
#include "link/polltimer.h"
#include "link/wait.h"
#include "model/appstate.h"
#include "model/numbers.h"
#include "widgets/borderless.h"
#include "widgets/dialogs.h"
#include "widgets/twips.h"
#include "widgets/twopartentry.h"

#include <QFrame>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace lumetra {

SamplingChoice::SamplingChoice(MeterLink& link, PollTimer& poll, AppState& state, Dialogs& dialogs,
                               QWidget* parent)
    : BusyDialog(parent), m_link(link), m_poll(poll), m_state(state), m_dialogs(dialogs) {
    // The link is claimed only for the meter's interval: the PC's needs no meter.
    busy().setMeter(nullptr, &poll);
    setObjectName(QStringLiteral("SamplingChoice"));
    setWindowTitle(QStringLiteral("Sampling Rate"));
    QFrame* frame = borderlessPanel(this);
    OptPC = new QRadioButton(QStringLiteral("PC Sampling Rate"), frame);
    OptPC->setObjectName(QStringLiteral("OptPC"));
    OptMeter = new QRadioButton(QStringLiteral("Meter Sampling Rate"), frame);
    OptMeter->setObjectName(QStringLiteral("OptMeter"));
    OptMeter->setChecked(true);
    CmdOK = new QPushButton(QStringLiteral("OK"), frame);
    CmdOK->setObjectName(QStringLiteral("CmdOK"));
    CmdOK->setDefault(true);
    for (QWidget* w : {static_cast<QWidget*>(OptPC), static_cast<QWidget*>(OptMeter),
                       static_cast<QWidget*>(CmdOK)})
        w->setAccessibleName(w->property("text").toString());
    auto* inner = new QVBoxLayout(frame);
    inner->addWidget(OptPC);
    inner->addWidget(OptMeter);
    inner->addWidget(CmdOK);
    connect(CmdOK, &QPushButton::clicked, this, &SamplingChoice::ok);

    const QPoint corner = parent ? parent->frameGeometry().topLeft() : QPoint();
    move(corner.x() + twipsToPixels(this, 120), corner.y() + twipsToPixels(this, 840));
}

void SamplingChoice::done(int result) {
    BusyDialog::done(result);
    if (!busy().held())
        m_poll.start(); // however the window closes, the display poll runs again
}

void SamplingChoice::ok() {
    {
        const auto hold = busy().tryHold();
        if (!hold)
            return;
        if (OptPC->isChecked())
            enterPcInterval();
        else
            enterMeterInterval();
        if (busy().closePending() || waitsAbandoned())
            return; // closed meanwhile: it closes as it was asked
    }
    accept();
}

void SamplingChoice::enterPcInterval() {
    for (;;) {
        const auto answer = m_dialogs.input(this, entry::kPcPrompt, entry::kSamplingTitle,
                                            QString::number(m_state.sampleInterval));
        if (!answer || answer->isEmpty())
            return;
        const auto t = entry::pcInterval(*answer);
        if (!t) {
            // Not a number: say so and ask again rather than guess.
            m_dialogs.message(this, entry::kFormatMessage, MessageIcon::Error);
            continue;
        }
        m_state.sampleInterval = *t;
        m_state.sampleTick = 0;
        return;
    }
}

void SamplingChoice::enterMeterInterval() {
    const auto claim = m_link.claim();
    if (!claim)
        return; // another exchange (a download) has the meter
    const QByteArray reply = exchange::readClockAndInterval(m_link);
    if (reply.isEmpty())
        return;
    const QString current = hex2(quint8(reply[5])) + QLatin1Char(':') + hex2(quint8(reply[6]));
    // A negative part would make nonsense BCD bytes: it is refused and asked again.
    const auto interval =
        entry::askTwoPart(m_dialogs, this, entry::kMeterPrompt, entry::kSamplingTitle, current,
                          QLatin1Char(':'), true, entry::meterInterval);
    if (interval)
        exchange::setLoggingInterval(m_link,
                                     bytes({toBcd(interval->first), toBcd(interval->second)}));
}

} // namespace lumetra
