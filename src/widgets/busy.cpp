#include "busy.h"

#include "widgets/onscreen.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QTimer>

namespace lumetra {

BusyWindow::BusyWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), m_busy([this] { close(); }) {}

namespace {

// The work of a window is named after it, unless it says more itself.
void nameTheWork(BusyRule& rule, const QWidget* window) {
    if (rule.purpose().isEmpty() && !window->windowTitle().isEmpty())
        rule.setPurpose(QStringLiteral("the %1 window").arg(window->windowTitle()));
}

// Placed on the screen now, and again once the window manager has framed it: only then is the
// title bar's height known, which must not end up above the screen.
void keepOnScreenOnceFramed(QWidget* window) {
    keepOnScreen(window);
    QTimer::singleShot(250, window, [window] {
        if (window->isVisible())
            keepOnScreen(window);
    });
}

} // namespace

void BusyWindow::showEvent(QShowEvent* event) {
    nameTheWork(m_busy, this);
    keepOnScreenOnceFramed(this);
    QWidget::showEvent(event);
}

void BusyDialog::showEvent(QShowEvent* event) {
    nameTheWork(m_busy, this);
    keepOnScreenOnceFramed(this);
    QDialog::showEvent(event);
}

void BusyWindow::closeEvent(QCloseEvent* event) {
    if (m_busy.postponeClose()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
    if (event->isAccepted())
        emit closed();
}

void BusyWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

BusyDialog::BusyDialog(QWidget* parent)
    : QDialog(parent), m_busy([this] { done(m_pendingResult); }) {}

void BusyDialog::done(int result) {
    if (m_busy.postponeClose()) {
        m_pendingResult = result;
        return;
    }
    QDialog::done(result);
}

} // namespace lumetra
