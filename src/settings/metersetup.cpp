#include "metersetup.h"

#include "link/meterlink.h"
#include "link/numbers.h"
#include "link/twips.h"
#include "link/wait.h"
#include "panel/panel.h"
#include "panel/polltimer.h"
#include "platform/borderless.h"
#include "platform/clock.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QTimer>
#include <QVBoxLayout>

namespace lumetra {

Setup::Setup(Panel& panel, QWidget* parent) : QDialog(parent), m_panel(panel) {
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
        l->setAccessibleName(l->text());
        l->setFont(big);
        l->setAlignment(Qt::AlignCenter);
        l->setMinimumWidth(l->fontMetrics().horizontalAdvance(QStringLiteral("PC System Time  ")));
        l->setFrameShape(QFrame::StyledPanel);
        l->setCursor(Qt::PointingHandCursor);
        l->setToolTip(tr("Click to show or hide the time"));
        l->installEventFilter(this);
    }
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
    const QRect main = panel.frameGeometry();
    move(main.left() + (main.width() - width()) / 2, main.top() + twipsToPixels(this, 1000));
    Timer1->start();
}

QByteArray Setup::clockBytes(const QDateTime& when) {
    // Read through text: the decimal digits of each field become the hexadecimal digits.
    const QString t = when.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
    const auto field = [&](int from) { return quint8(t.mid(from, 2).toUInt(nullptr, 16)); };
    return bytes({field(8), field(11), field(14), field(17)});
}

QString Setup::meterTimeText(const QByteArray& reply) {
    const auto b = [&](int pos) { return hex2(quint8(reply[pos - 1])); };
    return b(2) + QLatin1Char(' ') + b(3) + QLatin1Char(':') + b(4) + QLatin1Char(':') + b(5);
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
    if (m_inTick || m_busy)
        return;
    m_inTick = true;
    QPointer<Setup> self(this);
    const auto done = qScopeGuard([self] {
        if (self)
            self->m_inTick = false;
    });
    if (m_panel.state().display.flag(Flag::Intv)) {
        // The meter logs into its own memory: its clock is not to be touched now.
        accept();
        return;
    }
    if (m_showMeterTime) {
        m_panel.poll().stop(); // stays stopped until the window closes
        const QByteArray reply = m_panel.link().request('Y', 8, true);
        if (!self || reply.isEmpty())
            return;
        LblMeterTime->setText(meterTimeText(reply));
    } else {
        LblMeterTime->setText(QStringLiteral("Meter Time"));
    }
    LblPCTime->setText(m_showPcTime ? m_panel.clock().now().toString(QStringLiteral("dd HH:mm:ss"))
                                    : QStringLiteral("PC System Time"));
}

void Setup::setTime() {
    if (m_busy)
        return;
    m_busy = true;
    Timer1->stop();
    QPointer<Setup> self(this);
    const QByteArray clock = clockBytes(m_panel.clock().now());
    MeterLink& link = m_panel.link();
    if (link.enterSettings())
        link.sendCommand('T', clock);
    if (!self)
        return;
    m_busy = false;
    Timer1->start();
}

void Setup::done(int result) {
    if (m_busy || m_inTick) {
        // An exchange is on the stack: close once it has finished.
        QTimer::singleShot(50, this, [this, result] { done(result); });
        return;
    }
    Timer1->stop();
    QDialog::done(result);
}

} // namespace lumetra
