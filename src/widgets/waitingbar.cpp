#include "waitingbar.h"

#include "link/busyrule.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>

namespace lumetra {

WaitingBar::WaitingBar(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("FrmWaiting"));
    setFrameShape(QFrame::StyledPanel);
    auto* layout = new QHBoxLayout(this);
    LblWaiting = new QLabel(waitingText(), this);
    LblWaiting->setObjectName(QStringLiteral("LblWaiting"));
    LblWaiting->setAccessibleDescription(QStringLiteral("Link status"));
    CmdCancelWait = new QPushButton(QStringLiteral("Cancel"), this);
    CmdCancelWait->setObjectName(QStringLiteral("CmdCancelWait"));
    CmdCancelWait->setToolTip(QStringLiteral("Stop waiting for the meter (Esc)"));
    layout->addWidget(LblWaiting, 1);
    layout->addWidget(CmdCancelWait);
    // Escape works from anywhere in the main window while the strip shows.
    m_escape = new QShortcut(QKeySequence(Qt::Key_Escape), parent ? parent : this);
    m_escape->setContext(Qt::WindowShortcut);
    m_escape->setEnabled(false);
    connect(m_escape, &QShortcut::activated, this, &WaitingBar::cancel);
    connect(CmdCancelWait, &QPushButton::clicked, this, &WaitingBar::cancel);
    m_delay.setSingleShot(true);
    m_delay.setInterval(kShowAfterMs);
    connect(&m_delay, &QTimer::timeout, this, &WaitingBar::appear);
    hide();
}

void WaitingBar::setRule(BusyRule* rule) {
    m_rule = rule;
    m_delay.stop();
    if (rule) {
        m_delay.start();
    } else {
        m_escape->setEnabled(false);
        hide();
    }
}

void WaitingBar::appear() {
    if (!m_rule || !m_rule->held())
        return;
    show();
    m_escape->setEnabled(true);
}

void WaitingBar::cancel() {
    if (m_rule)
        m_rule->abandonWaits(); // the exchange gives up; its watch then hides the strip
    m_escape->setEnabled(false);
    hide();
}

WaitingBar::Watch::Watch(WaitingBar* bar, BusyRule& rule)
    : m_bar(bar), m_outer(bar ? bar->m_rule : nullptr) {
    if (m_bar)
        m_bar->setRule(&rule);
}

WaitingBar::Watch::~Watch() {
    if (m_bar)
        m_bar->setRule(m_outer);
}

} // namespace lumetra
