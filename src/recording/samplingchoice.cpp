#include "samplingchoice.h"

#include "link/meterlink.h"
#include "link/numbers.h"
#include "link/twips.h"
#include "link/wait.h"
#include "panel/panel.h"
#include "panel/polltimer.h"
#include "platform/borderless.h"
#include "platform/dialogs.h"
#include "recording/entry.h"

#include <QFrame>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QVBoxLayout>

namespace lumetra {

SamplingChoice::SamplingChoice(Panel& panel, QWidget* parent) : QDialog(parent), m_panel(panel) {
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

    const QPoint corner = panel.frameGeometry().topLeft();
    move(corner.x() + twipsToPixels(this, 120), corner.y() + twipsToPixels(this, 840));
}

void SamplingChoice::done(int result) {
    if (m_running)
        return; // the entry is still talking to the meter; it closes the window itself
    QDialog::done(result);
    // However the window closes, the display poll runs again.
    m_panel.poll().start();
}

void SamplingChoice::ok() {
    if (m_running)
        return;
    {
        m_running = true;
        QPointer<SamplingChoice> self(this);
        const auto finished = qScopeGuard([self] {
            if (self)
                self->m_running = false;
        });
        if (OptPC->isChecked())
            enterPcInterval();
        else
            enterMeterInterval();
        if (!self)
            return;
    }
    accept();
}

void SamplingChoice::enterPcInterval() {
    AppState& s = m_panel.state();
    for (;;) {
        const auto answer = m_panel.dialogs().input(this, entry::kPcPrompt, entry::kSamplingTitle,
                                                    QString::number(s.sampleInterval));
        if (!answer || answer->isEmpty())
            return;
        const auto t = entry::pcInterval(*answer);
        if (!t) {
            // Not a number: say so and ask again rather than guess.
            m_panel.dialogs().message(this, entry::kFormatMessage, MessageIcon::Error);
            continue;
        }
        s.sampleInterval = *t;
        s.sampleTick = 0;
        return;
    }
}

void SamplingChoice::enterMeterInterval() {
    MeterLink& link = m_panel.link();
    auto hold = m_panel.poll().hold();
    // Framed like every reply (0x02 first, 0x03 at byte 8): the display stream keeps running,
    // and a piece of a display frame must not be taken for the meter's interval.
    const QByteArray reply = link.request('Y', 8, true);
    if (reply.isEmpty())
        return;
    const QString current = hex2(quint8(reply[5])) + QLatin1Char(':') + hex2(quint8(reply[6]));
    // A negative part would make nonsense BCD bytes: it is refused and asked again.
    const auto interval =
        entry::askTwoPart(m_panel.dialogs(), this, entry::kMeterPrompt, entry::kSamplingTitle,
                          current, QLatin1Char(':'), true, entry::meterInterval);
    if (!interval || !link.enterSettings())
        return;
    link.sendCommand('W', bytes({toBcd(interval->first), toBcd(interval->second)}));
}

} // namespace lumetra
