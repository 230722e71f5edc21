#include "metersetup.h"

#include "link/meterexchanges.h"
#include "link/meterlink.h"
#include "link/wait.h"
#include "model/appstate.h"
#include "model/settingblocks.h"
#include "platform/clock.h"
#include "widgets/borderless.h"
#include "widgets/twips.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

namespace lumetra {

Setup::Setup(MeterLink& link, PollTimer& poll, AppState& state, Clock& clock, QWidget* parent)
    : BusyDialog(parent), m_link(link), m_state(state), m_clock(clock) {
    busy().setMeter(&link, &poll);
    m_tick.setMeter(&link, &poll); // the poll rests only while the clock is read
    m_tick.setPurpose(QStringLiteral("the meter clock window"));
    setObjectName(QStringLiteral("Setup"));
    setWindowTitle(QStringLiteral("Setup"));
    QFrame* frame = borderlessPanel(this);
    FrameTime = new QGroupBox(QStringLiteral("Time"), frame);
    FrameTime->setObjectName(QStringLiteral("FrameTime"));
    LblMeterTime = new QLabel(QStringLiteral("Meter Time"), FrameTime);
    LblMeterTime->setObjectName(QStringLiteral("LblMeterTime"));
    LblPCTime = new QLabel(QStringLiteral("PC System Time"), FrameTime);
    LblPCTime->setObjectName(QStringLiteral("LblPCTime"));
    QFont big = LblMeterTime->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    big.setBold(true);
    for (QLabel* l : {LblMeterTime, LblPCTime}) {
        l->setFont(big);
        l->setAlignment(Qt::AlignCenter);
        l->setMinimumWidth(l->fontMetrics().horizontalAdvance(QStringLiteral("PC System Time  ")));
        l->setFrameShape(QFrame::StyledPanel);
        l->setCursor(Qt::PointingHandCursor);
        l->setToolTip(l == LblMeterTime ? tr("Click (or Alt+M) to show or hide the time")
                                        : tr("Click (or Alt+P) to show or hide the time"));
        l->installEventFilter(this);
    }
    LblMeterTime->setAccessibleDescription(tr("Meter clock, click to show or hide"));
    LblPCTime->setAccessibleDescription(tr("PC clock, click to show or hide"));
    // Alt+M and Alt+P do what a click on the meter's or the PC's clock does.
    connect(new QShortcut(QKeySequence(QStringLiteral("Alt+M")), this), &QShortcut::activated, this,
            [this] { m_showMeterTime = !m_showMeterTime; });
    connect(new QShortcut(QKeySequence(QStringLiteral("Alt+P")), this), &QShortcut::activated, this,
            [this] { m_showPcTime = !m_showPcTime; });
    auto* times = new QVBoxLayout(FrameTime);
    times->addWidget(LblMeterTime);
    times->addWidget(LblPCTime);
    CmdSetTime = new QPushButton(QStringLiteral("Set Meter Time To System Time"), frame);
    CmdSetTime->setObjectName(QStringLiteral("CmdSetTime"));
    CmdExit = new QPushButton(QStringLiteral("Exit"), frame);
    CmdExit->setObjectName(QStringLiteral("CmdExit"));
    for (QPushButton* b : {CmdSetTime, CmdExit})
        b->setAccessibleName(b->text());
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(CmdSetTime);
    buttons->addWidget(CmdExit);
    auto* inner = new QVBoxLayout(frame);
    inner->addWidget(FrameTime);
    inner->addLayout(buttons);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(350);
    connect(Timer1, &QTimer::timeout, this, &Setup::tick);
    connect(CmdSetTime, &QPushButton::clicked, this, &Setup::setTime);
    connect(CmdExit, &QPushButton::clicked, this, &QDialog::accept);

    adjustSize();
    const QRect main = parent ? parent->frameGeometry() : frameGeometry();
    move(main.left() + (main.width() - width()) / 2, main.top() + twipsToPixels(this, 1000));
    Timer1->start();
}

bool Setup::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == LblMeterTime) {
            m_showMeterTime = !m_showMeterTime;
            return true;
        }
        if (watched == LblPCTime) {
            m_showPcTime = !m_showPcTime;
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void Setup::tick() {
    if (m_tick.held())
        return; // a read of the meter's clock is still under way
    if (m_state.display.flag(Flag::Intv)) {
        // The meter logs into its own memory: its clock is not to be touched now.
        accept();
        return;
    }
    if (!m_showMeterTime) {
        LblMeterTime->setText(QStringLiteral("Meter Time"));
    } else {
        // Only a read holds the meter (and rests the display poll); between reads the
        // meter's clock runs on by the PC's.
        if (!m_sinceRead.isValid() || m_sinceRead.elapsed() >= kReadEveryMs) {
            const auto hold = m_tick.tryHold();
            if (!hold)
                return; // "Set Meter Time" has the meter
            const QByteArray reply = exchange::readClockAndInterval(m_link);
            if (reply.isEmpty())
                return;
            m_meterClock = reply;
            m_sinceRead.start();
        }
        LblMeterTime->setText(
            meterclock::meterTimeText(m_meterClock, m_sinceRead.elapsed() / 1000));
    }
    LblPCTime->setText(m_showPcTime ? m_clock.now().toString(QStringLiteral("dd HH:mm:ss"))
                                    : QStringLiteral("PC System Time"));
}

void Setup::setTime() {
    if (m_tick.held()) {
        // The refresh is waiting for the meter's clock: it gives way, and the click runs
        // after it.
        Timer1->stop();
        m_tick.abandonWaits();
        QTimer::singleShot(0, this, &Setup::setTime);
        return;
    }
    const auto hold = busy().tryHold();
    if (!hold)
        return;
    Timer1->stop();
    const QByteArray clock = meterclock::clockBytes(m_clock.now());
    if (exchange::setClock(m_link, clock)) {
        m_sinceRead.invalidate(); // shown as the meter has it now
        Timer1->start();
    }
}

void Setup::done(int result) {
    m_tick.abandonWaits();
    BusyDialog::done(result);
    if (busy().held())
        return; // closes when the exchange on the stack has ended
    Timer1->stop();
}

} // namespace lumetra
