#include "keypad.h"

#include "link/meterexchanges.h"
#include "link/meterlink.h"
#include "link/polltimer.h"
#include "link/wait.h"
#include "model/appstate.h"

#include <QGridLayout>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

namespace lumetra {

const Btn::Key Btn::kKeys[15] = {
    {"CmdPower", "Pwr", "Pwr", 'O', false},
    {"CmdTime", "Time", "Time", 'B', false},
    {"CmdEnter", "", "Enter", 'H', false},
    {"CmdAVG", "AVG", "AVG", 'D', true},
    {"CmdComp", "Comp", "Comp", 'X', true},
    {"CmdDown", "", "Down", 'N', true},
    {"CmdUp", "", "Up", 'K', true},
    {"CmdH", "H", "H", 'C', true},
    {"CmdLxFc", "Lx/Fc", "Lx/Fc", 'F', true},
    {"CmdMem", "M", "Automatically Record", 'P', true},
    {"CmdMMM", "m", "Manually Record", 'J', true},
    {"CmdPercent", "%", "%", 'G', true},
    {"CmdRead", "READ", "READ", 'L', true},
    {"CmdCD", "cd", "cd", 0, true},
    {"CmdSet", "SET", "SET", 0, false},
};

namespace {

// Arrow and Enter pictures, drawn to the button's size.
QIcon keyPicture(const QString& name) {
    QPixmap pm(64, 64);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x2B, 0x3A, 0x4A), 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath path;
    if (name == QLatin1String("CmdUp")) {
        path.moveTo(32, 12);
        path.lineTo(32, 52);
        path.moveTo(16, 28);
        path.lineTo(32, 12);
        path.lineTo(48, 28);
    } else if (name == QLatin1String("CmdDown")) {
        path.moveTo(32, 12);
        path.lineTo(32, 52);
        path.moveTo(16, 36);
        path.lineTo(32, 52);
        path.lineTo(48, 36);
    } else { // Enter: the return arrow
        path.moveTo(50, 12);
        path.lineTo(50, 40);
        path.lineTo(14, 40);
        path.moveTo(26, 28);
        path.lineTo(14, 40);
        path.lineTo(26, 52);
    }
    p.drawPath(path);
    p.end();
    pm.setDevicePixelRatio(2);
    return QIcon(pm);
}

} // namespace

Btn::Btn(MeterLink& link, PollTimer& poll, const AppState& state) : m_link(link), m_state(state) {
    setObjectName(QStringLiteral("Btn"));
    setWindowTitle(QStringLiteral("Control Panel"));
    setAttribute(Qt::WA_DeleteOnClose);
    // One key at a time, with the poll resting: a key still talking to the meter refuses the
    // next, and closing the window waits for it.
    busy().setMeter(&link, &poll);
    auto* grid = new QGridLayout(this);
    grid->setSpacing(6);
    int i = 0;
    for (const Key& k : kKeys) {
        auto* b = new QPushButton(QLatin1String(k.caption), this);
        b->setObjectName(QLatin1String(k.name));
        b->setToolTip(QLatin1String(k.tip));
        b->setAccessibleName(QLatin1String(*k.caption ? k.caption : k.tip));
        b->setMinimumSize(64, 40);
        if (!*k.caption) {
            b->setIcon(keyPicture(b->objectName()));
            b->setIconSize(QSize(24, 24));
        }
        connect(b, &QPushButton::clicked, this, [this, &k] { press(k); });
        grid->addWidget(b, i / 5, i % 5);
        ++i;
    }
}

QPushButton* Btn::key(const QString& name) const {
    return findChild<QPushButton*>(name);
}

void Btn::placeUnder(const QWidget* main) {
    const QRect frame = main->frameGeometry();
    adjustSize();
    move(frame.left() + (frame.width() - frameGeometry().width()) / 2, frame.bottom() + 1);
}

void Btn::press(const Key& key) {
    if (key.refusedWhileLogging && m_state.display.flag(Flag::Intv))
        return;
    if (!m_state.meterOnline)
        return;
    const QString name = QLatin1String(key.name);
    if (name == QLatin1String("CmdSet"))
        return; // the key has no action
    auto hold = busy().tryHold();
    if (!hold)
        return; // the previous key is still talking to the meter
    if (name == QLatin1String("CmdPower"))
        powerKey(*hold);
    else if (name == QLatin1String("CmdCD"))
        cdKey();
    else
        ordinaryKey(key.letter);
}

void Btn::ordinaryKey(char letter) {
    exchange::pressKey(m_link, letter);
}

void Btn::powerKey(BusyRule::Hold& hold) {
    hold.keepPollStopped(); // the display stays frozen until another action restarts the poll
    exchange::pressPowerKey(m_link);
}

void Btn::cdKey() {
    // The distance the meter has stored goes back to it: the key's own effect.
    const QByteArray reply = exchange::readStoredParameters(m_link);
    if (!reply.isEmpty())
        exchange::setDistance(m_link, reply.mid(1, 2));
}

} // namespace lumetra
