#pragma once

#include "widgets/busy.h"

class QLabel;
class QPushButton;
class QTableView;

namespace lumetra {

class RecordTable;
struct AppState;

// "Data Logger": the meter's memory after a download: total and free size, the progress of
// the download and one row per recorded set. A click on a set (Enter, "Expand Set", its
// context menu) expands it; a click on the free memory (Delete, "Erase Memory…") erases the
// meter's memory.
class Memory : public BusyWindow {
    Q_OBJECT
public:
    explicit Memory(AppState& state, QWidget* parent = nullptr);
    ~Memory() override;

    QLabel* SSPanel1 = nullptr;
    QLabel* LblSize = nullptr;
    QLabel* SSPanel2 = nullptr;
    QLabel* LblRemain = nullptr;
    QLabel* LblMessage = nullptr;
    QTableView* GridSet = nullptr;
    // What Enter and Delete do, as buttons and on the sets' context menu.
    QPushButton* CmdExpand = nullptr;
    QPushButton* CmdErase = nullptr;
    RecordTable* sets() const { return m_sets; }

    void placeBeside(const QWidget* main);

signals:
    void setClicked(int dataRow);
    void eraseClicked();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    AppState& m_state;
    RecordTable* m_sets = nullptr;
};

} // namespace lumetra
