#pragma once

#include <QWidget>

namespace lumetra {

// A top-level window whose handlers may wait for the meter or a long job: while busy it
// refuses to close, and a close asked for meanwhile happens when the work is done. So no
// window is deleted while one of its handlers is on the stack.
class BusyWindow : public QWidget {
    Q_OBJECT
public:
    explicit BusyWindow(QWidget* parent = nullptr) : QWidget(parent, Qt::Window) {}

    void setBusy(bool busy);
    bool busy() const { return m_busy; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool m_busy = false;
    bool m_closePending = false;
};

} // namespace lumetra
