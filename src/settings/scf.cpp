#include "scf.h"

#include "link/meterlink.h"
#include "link/numbers.h"
#include "link/wait.h"
#include "panel/displayframe.h"
#include "panel/displaypoll.h"
#include "panel/panel.h"
#include "panel/polltimer.h"
#include "panel/virtuallcd.h"
#include "platform/borderless.h"
#include "platform/dialogs.h"

#include <QComboBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScopeGuard>
#include <QTimer>

namespace lumetra {

SCF_frm::SCF_frm(Panel& panel, QWidget* parent) : QDialog(parent), m_panel(panel) {
    setObjectName(QStringLiteral("SCF_frm"));
    QFrame* frame = borderlessPanel(this);
    Label1 = new QLabel(QStringLiteral("Range"), frame);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label2 = new QLabel(QStringLiteral("Cnt"), frame);
    Label2->setObjectName(QStringLiteral("Label2"));
    SCFRange_Edit = new QLineEdit(QStringLiteral("Text1"), frame);
    SCFRange_Edit->setObjectName(QStringLiteral("SCFRange_Edit"));
    SCFRange_Edit->setAccessibleName(QStringLiteral("Range"));
    SCFRange_Edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9.]*|Text1")), this));
    SCFCNT_Cbx = new QComboBox(frame);
    SCFCNT_Cbx->setObjectName(QStringLiteral("SCFCNT_Cbx"));
    SCFCNT_Cbx->setAccessibleName(QStringLiteral("Cnt"));
    for (const char* bank : {"L", "U"}) {
        for (int i = 0; i <= 9; ++i)
            SCFCNT_Cbx->addItem(QLatin1String(bank) + QString::number(i));
    }
    SCFCNT_Cbx->installEventFilter(this); // chosen with the mouse only
    SetSCF_btn = new QPushButton(QStringLiteral("Set"), frame);
    SetSCF_btn->setObjectName(QStringLiteral("SetSCF_btn"));
    SetSCF_btn->setDefault(true);
    SCF_init_btn = new QPushButton(QStringLiteral("Initial SCF"), frame);
    SCF_init_btn->setObjectName(QStringLiteral("SCF_init_btn"));
    Cancel_btn = new QPushButton(QStringLiteral("Cancel"), frame);
    Cancel_btn->setObjectName(QStringLiteral("Cancel_btn"));
    for (QPushButton* b : {SetSCF_btn, SCF_init_btn, Cancel_btn}) {
        b->setAccessibleName(b->text());
        b->setAutoDefault(false);
    }
    auto* grid = new QGridLayout(frame);
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(SCFRange_Edit, 0, 1);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(SCFCNT_Cbx, 1, 1);
    grid->addWidget(SetSCF_btn, 2, 0);
    grid->addWidget(SCF_init_btn, 2, 1);
    grid->addWidget(Cancel_btn, 3, 0, 1, 2);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(250);
    connect(Timer1, &QTimer::timeout, this, &SCF_frm::watch);
    connect(SetSCF_btn, &QPushButton::clicked, this, &SCF_frm::set);
    connect(SCFRange_Edit, &QLineEdit::returnPressed, this, &SCF_frm::set);
    connect(SCF_init_btn, &QPushButton::clicked, this, &SCF_frm::initial);
    connect(Cancel_btn, &QPushButton::clicked, this, &QDialog::reject);

    // The main poll and recording tick rest while this window watches the stream.
    m_panel.poll().stop();
    m_panel.Timer2->stop();
    adjustSize();
    const QRect main = panel.frameGeometry();
    move(main.left() + (main.width() - width()) / 2, main.top() + (main.height() - height()) / 2);
}

QByteArray SCF_frm::block(int entry, double factor) {
    // The factor as typed to three decimals, in thousandths.
    const int n = int(roundHalfEven(QString::number(factor, 'f', 3).toDouble() * 1000.0));
    return bytes({quint8(entry), quint8(n / 256), quint8(n % 256)});
}

bool SCF_frm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == SCFCNT_Cbx &&
        (event->type() == QEvent::KeyPress || event->type() == QEvent::Wheel))
        return true; // keys change nothing in the entry list
    return QDialog::eventFilter(watched, event);
}

void SCF_frm::load() {
    m_busy = true;
    QPointer<SCF_frm> self(this);
    MeterLink& link = m_panel.link();
    // The display stream may still be running: a reply counts when it is framed like one
    // (0x02 first, 0x03 fifth when there is a fifth byte) and names one of the 20 entries.
    const auto valid = [](const QByteArray& r) {
        return r.size() >= 4 && quint8(r[0]) == 0x02 && quint8(r[1]) <= 19 &&
               (r.size() == 4 || quint8(r[4]) == 0x03);
    };
    QByteArray reply;
    for (int tries = 0; tries < 1000 && !valid(reply); ++tries) {
        link.flush();
        link.writeLetter('a');
        pauseSeconds(0.02);
        if (!self || quitRequested())
            return;
        reply = link.readAll();
    }
    m_busy = false;
    if (!valid(reply))
        return; // no SCF: the window keeps its texts and does not watch
    SCFCNT_Cbx->setCurrentIndex(std::clamp(int(quint8(reply[1])), 0, 19));
    SCFRange_Edit->setText(
        QString::number((quint8(reply[2]) * 256 + quint8(reply[3])) / 1000.0, 'f', 3));
    m_ready = true;
    Timer1->start();
}

void SCF_frm::set() {
    if (m_busy)
        return;
    const double factor = leadingNumber(SCFRange_Edit->text());
    if (factor < 0.2 || factor > 5.0) {
        m_panel.dialogs().message(this, rangeMessage(), MessageIcon::Error);
        return;
    }
    m_busy = true;
    Timer1->stop();
    QPointer<SCF_frm> self(this);
    MeterLink& link = m_panel.link();
    const QByteArray payload = block(std::max(0, SCFCNT_Cbx->currentIndex()), factor);
    link.sendCommand('c', payload);
    if (!self)
        return;
    m_busy = false;
    Timer1->start(); // the watcher closes the window when the meter shows SET UP
}

void SCF_frm::initial() {
    if (m_busy)
        return;
    m_busy = true;
    Timer1->stop();
    QPointer<SCF_frm> self(this);
    m_panel.link().sendCommand('e');
    if (!self)
        return;
    m_busy = false;
    reject();
}

void SCF_frm::watch() {
    if (m_inWatch || m_busy)
        return;
    m_inWatch = true;
    QPointer<SCF_frm> self(this);
    const auto done = qScopeGuard([self] {
        if (self)
            self->m_inWatch = false;
    });
    MeterLink& link = m_panel.link();
    QByteArray frame;
    switch (readDisplayFrame(link, DisplayPoll::kWaitCycleSeconds, frame)) {
    case FrameRead::Quit:
        return;
    case FrameRead::Silent:
        if (link.waitForMeter())
            link.readAll();
        return;
    case FrameRead::Frame:
        break;
    }
    if (!self)
        return;
    DisplayState& d = m_panel.state().display;
    for (int n = 8; n <= 13; ++n)
        decodeFlagByte(n, quint8(frame[n - 1]), d);
    const QString overlay = d.flag(Flag::SetUp)   ? QStringLiteral("SET UP")
                            : d.flag(Flag::Clear) ? QStringLiteral("CLEAR")
                                                  : QString();
    if (overlay.isEmpty())
        return;
    m_panel.lcd()->showOverlay(overlay);
    if (m_ready) {
        m_inWatch = false;
        accept();
    }
}

void SCF_frm::done(int result) {
    if (m_busy || m_inWatch) {
        QTimer::singleShot(50, this, [this, result] { done(result); });
        return;
    }
    Timer1->stop();
    m_ready = false;
    QDialog::done(result);
    // However the window closes, the main poll and recording tick run again.
    m_panel.poll().start();
    if (m_panel.state().meterOnline)
        m_panel.Timer2->start();
}

} // namespace lumetra
