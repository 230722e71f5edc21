#pragma once

#include <QWidget>

class QStackedLayout;
class QTableView;
class QToolBar;
class QToolButton;

namespace lumetra {

class RecordTable;

// What the three list windows share: a toolbar of keyed buttons over a three-column grid
// sized from width templates, placed beside the main window, with a minimum size.
class ListWindow : public QWidget {
    Q_OBJECT
public:
    // minWidthTwips x minHeightTwips is the smallest size the window accepts.
    ListWindow(const QString& objectName, const QString& caption, int minWidthTwips,
               int minHeightTwips, QWidget* parent = nullptr);

    QToolBar* Toolbar1 = nullptr;
    QTableView* Grid = nullptr;
    RecordTable* table() const { return m_table; }
    QToolButton* toolbarButton(const QString& key) const;

    // A second grid at the same place, hidden; the caller decides which one shows.
    QTableView* addGrid(const QString& name, RecordTable* table);
    void showGrid(QTableView* grid);

    // Beside the main window: left edge at its right edge, same top.
    void placeBeside(const QWidget* main);
    // While the list is being saved or printed the window stays; a close asked for meanwhile
    // happens when the work is done.
    void setBusy(bool busy);

signals:
    void toolbarClicked(const QString& key);

protected:
    QToolButton* addToolbarButton(const QString& key, const QString& tip, const QIcon& icon);
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Column widths from the templates " 000000AAA ", " DD-HH:NN:SS ", " AAAAAAA ".
    void sizeColumnsFromTemplates();
    int templateWidth(int column) const;

private:
    QTableView* makeGrid(const QString& name, RecordTable* table);

    RecordTable* m_table = nullptr;
    QList<QTableView*> m_grids;
    QStackedLayout* m_stack = nullptr;
    bool m_busy = false;
    bool m_closePending = false;
};

} // namespace lumetra
