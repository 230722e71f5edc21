#include "scf.h"

#include "link/displaypoll.h"
#include "link/meterexchanges.h"
#include "link/meterlink.h"
#include "link/wait.h"
#include "model/appstate.h"
#include "model/displayframe.h"
#include "model/numbers.h"
#include "model/settingblocks.h"
#include "widgets/borderless.h"
#include "widgets/dialogs.h"

#include <QComboBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTimer>

namespace lumetra {

SCF_frm::SCF_frm(MeterLink& link, PollTimer& poll, AppState& state, Dialogs& dialogs,
                 QWidget* parent)
    : BusyDialog(parent), m_link(link), m_state(state), m_dialogs(dialogs) {
    busy().setMeter(&link, &poll);
    m_watch.setMeter(&link, nullptr);
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
    // What the two short captions mean, for a newcomer and a screen reader.
    const QString rangeTip = tr("Range: the spectral correction factor of the chosen entry, "
                                "0.200 to 5.000; the meter multiplies its readings by it");
    const QString countTip = tr("Cnt: which of the meter's 20 correction entries (L0–L9, "
                                "U0–U9) is shown and set");
    for (QWidget* w : {static_cast<QWidget*>(Label1), static_cast<QWidget*>(SCFRange_Edit)})
        w->setToolTip(rangeTip);
    for (QWidget* w : {static_cast<QWidget*>(Label2), static_cast<QWidget*>(SCFCNT_Cbx)})
        w->setToolTip(countTip);
    SCFRange_Edit->setAccessibleDescription(rangeTip);
    SCFCNT_Cbx->setAccessibleDescription(countTip);
    for (const char* bank : {"L", "U"}) {
        for (int i = 0; i <= 9; ++i)
            SCFCNT_Cbx->addItem(QLatin1String(bank) + QString::number(i));
    }
    SCFCNT_Cbx->installEventFilter(this); // chosen with the mouse only
    SetSCF_btn = new QPushButton(QStringLiteral("Set"), frame);
    SetSCF_btn->setObjectName(QStringLiteral("SetSCF_btn"));
    SetSCF_btn->setDefault(true); // Enter in the factor box clicks it
    // Until the SCF has been read, "Set" would write an entry and a factor nobody chose.
    SetSCF_btn->setEnabled(false);
    SetSCF_btn->setToolTip(QStringLiteral("Available once the SCF has been read from the meter"));
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
    connect(SCF_init_btn, &QPushButton::clicked, this, &SCF_frm::initial);
    connect(Cancel_btn, &QPushButton::clicked, this, &QDialog::reject);

    // The main poll rests while this window watches the stream.
    m_pollRest.emplace(poll.hold(QStringLiteral("the SCF window")));
    adjustSize();
    const QRect main = parent ? parent->frameGeometry() : frameGeometry();
    move(main.left() + (main.width() - width()) / 2, main.top() + (main.height() - height()) / 2);
}

bool SCF_frm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == SCFCNT_Cbx &&
        (event->type() == QEvent::KeyPress || event->type() == QEvent::Wheel))
        return true; // keys change nothing in the entry list
    return QDialog::eventFilter(watched, event);
}

void SCF_frm::load() {
    std::optional<scf::Reading> reading;
    {
        const auto hold = busy().tryHold();
        if (!hold)
            return;
        reading = exchange::readScf(m_link);
        if (waitsAbandoned())
            return;
    }
    if (!reading || !isVisible())
        return; // no SCF: the window keeps its texts and does not watch
    SCFCNT_Cbx->setCurrentIndex(reading->entry);
    SCFRange_Edit->setText(reading->factor);
    m_ready = true;
    SetSCF_btn->setEnabled(true);
    SetSCF_btn->setToolTip(QString());
    Timer1->start();
}

void SCF_frm::set() {
    if (m_watch.held()) {
        // The watcher is waiting for a frame: it gives way, and the click runs after it.
        Timer1->stop();
        m_watch.abandonWaits();
        QTimer::singleShot(0, this, &SCF_frm::set);
        return;
    }
    if (busy().held() || !m_ready)
        return;
    const double factor = leadingNumber(SCFRange_Edit->text());
    if (factor < 0.2 || factor > 5.0) {
        m_dialogs.message(this, rangeMessage(), MessageIcon::Error);
        return;
    }
    const auto hold = busy().tryHold();
    if (!hold)
        return;
    Timer1->stop();
    if (exchange::setScf(m_link, std::max(0, SCFCNT_Cbx->currentIndex()), factor))
        Timer1->start(); // the watcher closes the window when the meter shows SET UP
}

void SCF_frm::initial() {
    if (m_watch.held()) {
        Timer1->stop();
        m_watch.abandonWaits();
        QTimer::singleShot(0, this, &SCF_frm::initial);
        return;
    }
    bool sent = false;
    {
        const auto hold = busy().tryHold();
        if (!hold)
            return;
        Timer1->stop();
        sent = exchange::restoreScf(m_link);
    }
    if (sent)
        reject();
}

void SCF_frm::watch() {
    bool finished = false;
    {
        const auto hold = m_watch.tryHold();
        if (!hold)
            return; // a button's exchange has the meter
        QByteArray frame;
        if (exchange::watchDisplay(m_link, m_handshakesSeen, frame) != FrameRead::Frame)
            return;
        DisplayState& d = m_state.display;
        for (int n = 8; n <= 13; ++n)
            decodeFlagByte(n, quint8(frame[n - 1]), d);
        const QString overlay = d.flag(Flag::SetUp)   ? QStringLiteral("SET UP")
                                : d.flag(Flag::Clear) ? QStringLiteral("CLEAR")
                                                      : QString();
        if (overlay.isEmpty())
            return;
        emit overlayShown(overlay);
        finished = m_ready;
    }
    if (finished)
        accept();
}

void SCF_frm::done(int result) {
    m_watch.abandonWaits();
    BusyDialog::done(result);
    if (busy().held())
        return; // closes when the exchange on the stack has ended
    Timer1->stop();
    m_ready = false;
    m_pollRest.reset(); // however the window closes, the main poll runs again
}

} // namespace lumetra
