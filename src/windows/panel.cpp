#include "panel.h"

#include "windows/exposure.h"

#include "link/displaypoll.h"
#include "link/meterlink.h"
#include "link/metersession.h"
#include "link/polltimer.h"
#include "link/wait.h"
#include "platform/clock.h"
#include "widgets/dialogs.h"
#include "widgets/toolbarpictures.h"
#include "widgets/twips.h"
#include "widgets/virtuallcd.h"
#include "widgets/waitingbar.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include <cstdio>
#include <cstdlib>

namespace lumetra {

QString Panel::tipWithShortcut(const QString& tip, const QKeySequence& shortcut,
                               const QString& does) {
    const QString first =
        QStringLiteral("%1 (%2)").arg(tip, shortcut.toString(QKeySequence::NativeText));
    return does.isEmpty() ? first : first + QLatin1Char('\n') + does;
}

Panel::Panel(Dialogs& dialogs, Clock& clock, QWidget* parent)
    : QMainWindow(parent), m_dialogs(dialogs), m_clock(clock) {
    setObjectName(QStringLiteral("Panel"));
    setWindowTitle(caption());

    // The session with the meter: port, poll and sampling tick.
    m_session = new MeterSession(m_state, this);
    COM = &m_session->link();
    Timer1 = m_session->pollTimer();
    Timer2 = m_session->sampleTimer();
    m_poll = &m_session->poll();
    m_displayPoll = &m_session->displayPoll();

    Toolbar1 = new QToolBar(this);
    Toolbar1->setObjectName(QStringLiteral("Toolbar1"));
    Toolbar1->setMovable(false);
    Toolbar1->setFloatable(false);
    Toolbar1->setIconSize(QSize(28, 28));
    Toolbar1->setContextMenuPolicy(Qt::PreventContextMenu);
    addToolBar(Qt::TopToolBarArea, Toolbar1);

    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("PanelClient"));
    auto* layout = new QVBoxLayout(central);
    m_lcd = new VirtualLcd(central);
    layout->addWidget(m_lcd, 1);
    // The exposure readout: from the display's context menu, or its key anywhere here.
    auto* exposure = new QAction(QStringLiteral("Exposure…"), this);
    exposure->setObjectName(QStringLiteral("ActExposure"));
    exposure->setShortcut(QKeySequence(QStringLiteral("Ctrl+E")));
    connect(exposure, &QAction::triggered, this, &Panel::showExposure);
    addAction(exposure);
    m_lcd->addAction(exposure);
    m_lcd->setContextMenuPolicy(Qt::ActionsContextMenu);
    // The port can be chosen again at any time: a wrong one, or a meter that came back on
    // another device, needs no restart.
    auto* choosePort = new QAction(QStringLiteral("Choose Port…"), this);
    choosePort->setObjectName(QStringLiteral("ActChoosePort"));
    choosePort->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+P")));
    choosePort->setToolTip(QStringLiteral("Choose the serial port of the meter"));
    connect(choosePort, &QAction::triggered, this, &Panel::portWindowAsked);
    addAction(choosePort);
    m_lcd->addAction(choosePort);
    QMenu* meterMenu = menuBar()->addMenu(QStringLiteral("&Meter"));
    meterMenu->addAction(choosePort);
    meterMenu->addAction(exposure);

    auto* status = new QHBoxLayout;
    LblCOM = new QLabel(QStringLiteral("No COM"), central);
    LblCOM->setObjectName(QStringLiteral("LblCOM"));
    LblCOM->setAccessibleDescription(QStringLiteral("Link status"));
    LblCOM->setCursor(Qt::PointingHandCursor);
    QPalette red = LblCOM->palette();
    red.setColor(QPalette::WindowText, QColor(0xD0, 0x00, 0x00));
    LblCOM->setPalette(red);
    QFont bold = LblCOM->font();
    bold.setBold(true);
    LblCOM->setFont(bold);
    LblCOM->installEventFilter(this);
    LblRec = new QLabel(QStringLiteral("Rec."), central);
    LblRec->setObjectName(QStringLiteral("LblRec"));
    LblRec->setAccessibleDescription(QStringLiteral("Recording"));
    LblRec->setPalette(red);
    LblRec->setFont(bold);
    LblRec->hide();
    LblFileName = new QLabel(central);
    LblFileName->setObjectName(QStringLiteral("LblFileName"));
    LblFileName->setAccessibleDescription(QStringLiteral("Recording file"));
    LblCount = new QLabel(central);
    LblCount->setObjectName(QStringLiteral("LblCount"));
    LblCount->setAccessibleDescription(QStringLiteral("Record count"));
    status->addWidget(LblCOM);
    status->addSpacing(12);
    status->addWidget(LblRec);
    status->addWidget(LblFileName, 1);
    status->addWidget(LblCount);
    layout->addLayout(status);
    LblWriteError = new QLabel(central);
    LblWriteError->setObjectName(QStringLiteral("LblWriteError"));
    LblWriteError->setAccessibleDescription(QStringLiteral("Write error"));
    LblWriteError->setPalette(red);
    LblWriteError->setWordWrap(true);
    LblWriteError->hide();
    layout->addWidget(LblWriteError);
    LblPaused = new QLabel(central);
    LblPaused->setObjectName(QStringLiteral("LblPaused"));
    LblPaused->setAccessibleDescription(QStringLiteral("Status message"));
    LblPaused->setWordWrap(true);
    LblPaused->hide();
    layout->addWidget(LblPaused);
    LblNote = new QLabel(central);
    LblNote->setObjectName(QStringLiteral("LblNote"));
    LblNote->setAccessibleDescription(QStringLiteral("Status message"));
    LblNote->setWordWrap(true);
    LblNote->hide();
    layout->addWidget(LblNote);
    FrmWaiting = new WaitingBar(central);
    layout->addWidget(FrmWaiting);
    setCentralWidget(central);

    connect(COM, &MeterLink::statusChanged, m_lcd, &VirtualLcd::showLinkStatus);
    connect(COM, &MeterLink::statusChanged, LblCOM, [this](const QString& text) {
        LblCOM->setVisible(true);
        showPortStatus(text);
    });
    connect(m_displayPoll, &DisplayPoll::frameDecoded, this,
            [this] { m_lcd->showFrame(m_state.display); });
    connect(m_displayPoll, &DisplayPoll::overlayDecoded, m_lcd, &VirtualLcd::showOverlay);
}

Panel::~Panel() = default;

Exposure* Panel::exposure() const {
    return m_exposure;
}

void Panel::showExposure() {
    if (!m_exposure)
        m_exposure = new Exposure(m_state, *m_displayPoll, this);
    m_exposure->show();
    m_exposure->raise();
    m_exposure->activateWindow();
}

QToolButton* Panel::addToolbarButton(const ToolbarButton& row) {
    const QString key = QLatin1String(row.key);
    auto* button = new QToolButton(Toolbar1);
    button->setObjectName(QStringLiteral("Toolbar1_") + key);
    button->setProperty("key", key);
    button->setProperty("offline", row.offline);
    button->setIcon(toolbarPicture(row.picture));
    // A disabled button (offline mode) ignores its key as it ignores a click.
    button->setShortcut(QKeySequence(QLatin1String(row.shortcut)));
    button->setAutoRepeat(false); // a held key is one command, not one every 100 ms
    button->setShortcutAutoRepeat(false);
    button->setToolTip(
        tipWithShortcut(QLatin1String(row.tip), button->shortcut(), QString::fromUtf8(row.does)));
    button->setAccessibleName(QLatin1String(row.tip));
    button->setAccessibleDescription(QString::fromUtf8(row.does));
    button->setAutoRaise(true);
    button->setEnabled(row.offline || !m_offline);
    Toolbar1->addWidget(button);
    connect(button, &QToolButton::clicked, this, [this, key] { emit toolbarClicked(key); });
    m_buttons.append(button);
    // Every button stays on the toolbar: one folded away behind the toolbar's extension
    // would be hidden, and a hidden button's key does nothing.
    setMinimumWidth(std::max(minimumWidth(), Toolbar1->sizeHint().width()));
    if (auto* more = Toolbar1->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button")))
        more->setAccessibleName(QStringLiteral("More commands"));
    return button;
}

QToolButton* Panel::toolbarButton(const QString& key) const {
    for (QToolButton* b : m_buttons) {
        if (b->property("key").toString() == key)
            return b;
    }
    return nullptr;
}

void Panel::showRecording(bool recording, const QString& fileName, int records) {
    if (QToolButton* save = toolbarButton(QStringLiteral("Save"))) {
        save->setIcon(toolbarPicture(recording ? 11 : 1));
        const QString does =
            recording ? QStringLiteral("Stop Recording") : QStringLiteral("Save As");
        const QString sentence = recording ? QStringLiteral("Stop the recording and close its file")
                                           : QStringLiteral("Record readings into a file");
        save->setToolTip(tipWithShortcut(does, save->shortcut(), sentence));
        save->setAccessibleName(does);
        save->setAccessibleDescription(sentence);
    }
    LblRec->setText(!recording     ? QString()
                    : records == 0 ? QStringLiteral("Rec.")
                                   : QStringLiteral("Rec"));
    LblRec->setVisible(recording);
    LblFileName->setText(recording ? fileName : QString());
    LblCount->setText(recording && records > 0 ? QString::number(records) : QString());
}

void Panel::addNote(const QString& text) {
    // The latest few, so that a long run with many pauses does not grow the window.
    constexpr int kMostLines = 3;
    QStringList lines = LblNote->text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    lines << text;
    while (lines.size() > kMostLines)
        lines.removeFirst();
    LblNote->setText(lines.join(QLatin1Char('\n')));
    LblNote->setAccessibleName(LblNote->text());
    LblNote->show();
}

void Panel::showPaused(const QString& text) {
    LblPaused->setText(text);
    LblPaused->setAccessibleName(text);
    LblPaused->setVisible(!text.isEmpty());
}

void Panel::clearNotes() {
    LblNote->clear();
    LblNote->hide();
}

void Panel::showWriteError(const QString& text) {
    LblWriteError->setText(text);
    LblWriteError->setVisible(!text.isEmpty());
}

void Panel::start(const PortChoice& choice) {
    // Top-left corner of the screen's available area.
    if (const QScreen* s = screen())
        move(s->availableGeometry().topLeft());
    else
        move(0, 0);
    m_state.recordingToFile = false;
    m_state.sampleInterval = 2.0;
    m_state.graphOpen = false;
    if (!m_session->start(choice)) {
        goOffline(choice, m_session->errorText());
        return;
    }
    showPortStatus(choice.label());
}

void Panel::showPortStatus(const QString& text) {
    LblCOM->setText(text);
    // Red says something is wrong: not while the port is open and its readings may flow.
    QPalette shade = LblCOM->palette();
    shade.setColor(QPalette::WindowText, text == COM->flowingStatus()
                                             ? palette().color(QPalette::WindowText)
                                             : QColor(0xD0, 0x00, 0x00));
    LblCOM->setPalette(shade);
}

bool Panel::changePort(const PortChoice& choice) {
    if (!m_session->restart(choice)) {
        goOffline(choice, m_session->errorText());
        return false;
    }
    m_offline = false;
    for (QToolButton* b : std::as_const(m_buttons))
        b->setEnabled(true);
    showPortStatus(choice.label());
    return true;
}

void Panel::goOffline(const PortChoice& choice, const QString& reason) {
    // Which device failed, so that a mistyped one is recognised.
    QString detail = choice.device.isEmpty()
                         ? reason
                         : QDir::toNativeSeparators(choice.device) + QStringLiteral(": ") + reason;
    if (reason.contains(QLatin1String("ermission")))
        detail += tr("\nOn Linux, the user must be a member of the 'dialout' group.");
    m_dialogs.message(this, QStringLiteral("No device found, try again!"), MessageIcon::Error,
                      MessageButtons::Ok, {}, detail);
    showPortStatus(QStringLiteral("Offline Mode"));
    m_offline = true;
    for (QToolButton* b : std::as_const(m_buttons))
        b->setEnabled(b->property("offline").toBool());
}

void Panel::toggleVersionCaption() {
    setWindowTitle(windowTitle().contains(QLatin1String("20190801.2")) ? caption()
                                                                       : captionWithBuild());
}

bool Panel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == LblCOM && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        toggleVersionCaption();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void Panel::closeEvent(QCloseEvent* event) {
    if (m_quitCheck && !m_quitCheck()) {
        event->ignore();
        return;
    }
    event->accept();
    m_session->stopTicks();
    emit shuttingDown();
    if (m_shutdownHook)
        m_shutdownHook();
    // Every wait on the stack returns now and its caller gives up; the event loop then ends.
    m_session->shutdown();
    QApplication::closeAllWindows();
    // exit(), not quit(): quit() is dropped while a window whose close is put off (a list
    // finishing its save) is still visible, and the program would never get to its teardown.
    QCoreApplication::exit(0);
    // Should some handler still hold the stack, the process ends anyway (the record file is
    // already closed), and says so: this is a fault, never the way out. The teardown, which
    // deletes this window, calls it off.
    QTimer::singleShot(3000, this, [] {
        std::fputs("lumetra: a handler did not give up when the program quit\n", stderr);
        std::_Exit(70);
    });
}

} // namespace lumetra
