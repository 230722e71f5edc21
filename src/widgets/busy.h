#pragma once

#include "link/busyrule.h"

#include <QDialog>
#include <QWidget>

namespace lumetra {

// A top-level window that follows the busy rule: closing it while it works ends its waits,
// and the window closes when the work is done.
class BusyWindow : public QWidget {
    Q_OBJECT
public:
    explicit BusyWindow(QWidget* parent = nullptr);
    BusyRule& busy() { return m_busy; }

signals:
    // The window has closed for good (it may still be deleted later): whoever keeps track of
    // it lets go now, so that a newer window of the same kind is never confused with it.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // Escape closes the window (closing one sends nothing to the meter).
    void keyPressEvent(QKeyEvent* event) override;

private:
    BusyRule m_busy;
};

// A dialog that follows the busy rule: Cancel, Escape or the frame's close end its waits,
// and the dialog finishes with that result once the work is done.
class BusyDialog : public QDialog {
    Q_OBJECT
public:
    explicit BusyDialog(QWidget* parent = nullptr);
    BusyRule& busy() { return m_busy; }

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    BusyRule m_busy;
    int m_pendingResult = QDialog::Rejected;
};

} // namespace lumetra
