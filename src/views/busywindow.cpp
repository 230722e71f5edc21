#include "busywindow.h"

#include <QCloseEvent>

namespace lumetra {

void BusyWindow::setBusy(bool busy) {
    m_busy = busy;
    if (!busy && m_closePending) {
        m_closePending = false;
        close();
    }
}

void BusyWindow::closeEvent(QCloseEvent* event) {
    if (m_busy) {
        m_closePending = true;
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

} // namespace lumetra
