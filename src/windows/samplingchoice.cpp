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
    busy().setMeter(nullptr, &poll); // and the link too for the meter's interval (ok())
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
    if (busy().held())
        return;
    {
        busy().setMeter(OptMeter->isChecked() ? &m_link : nullptr, &m_poll);
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
    // The PC's interval needs no meter: the display and a recording go on while it is typed.
    auto typing = busy().lendMeter();
    const auto t =
        entry::askValue(m_dialogs, this, entry::kPcPrompt, entry::kSamplingTitle,
                        QString::number(m_state.sampleInterval), &entry::pcInterval, &typing);
    if (!t)
        return;
    m_state.sampleInterval = *t;
    m_state.sampleTick = 0;
}

void SamplingChoice::enterMeterInterval() {
    // Holds claim the link only for the meter's interval: the PC's needs no meter.
    const QByteArray reply = exchange::readClockAndInterval(m_link);
    if (reply.isEmpty())
        return;
    const QString current = hex2(quint8(reply[5])) + QLatin1Char(':') + hex2(quint8(reply[6]));
    // The meter is not needed while a person types: the display and a recording go on.
    auto typing = busy().lendMeter();
    const auto interval =
        entry::askValue(m_dialogs, this, entry::kMeterPrompt, entry::kSamplingTitle, current,
                        &entry::meterInterval, &typing);
    if (!interval || waitsAbandoned())
        return;
    if (typing.lost()) {
        m_dialogs.message(this, entry::meterTakenMessage(), MessageIcon::Warning);
        return;
    }
    exchange::setLoggingInterval(m_link, bytes({toBcd(interval->first), toBcd(interval->second)}));
}

} // namespace lumetra
