#pragma once

#include "widgets/busy.h"

class QStackedLayout;
class QTableView;
class QToolBar;
class QToolButton;

namespace lumetra {

class RecordTable;

// What the three list windows share: a toolbar of keyed buttons over a three-column grid
// sized from width templates, placed beside the main window, with a minimum size.
class ListWindow : public BusyWindow {
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

    // The list's day stamps belong to known dates (a list sampled in this run); otherwise a
    // CSV export says its dates are assumed.
    virtual bool datesKnown() const { return false; }

    // Beside the main window: left edge at its right edge, same top.
    void placeBeside(const QWidget* main);

signals:
    void toolbarClicked(const QString& key);

protected:
    QToolButton* addToolbarButton(const QString& key, const QString& tip, const QIcon& icon);
    // The button is usable only while the table has data rows (a plot of nothing is refused).
    void enableWithRows(QToolButton* button, const RecordTable* table);
    void resizeEvent(QResizeEvent* event) override;
    // Column widths from the templates " 000000AAA ", " DD-HH:NN:SS ", " AAAAAAA ".
    void sizeColumnsFromTemplates();
    int templateWidth(int column) const;

private:
    QTableView* makeGrid(const QString& name, RecordTable* table);

    RecordTable* m_table = nullptr;
    QList<QTableView*> m_grids;
    QStackedLayout* m_stack = nullptr;
};

} // namespace lumetra
