#include "listwindow.h"

#include "model/recordtable.h"
#include "widgets/twips.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QScrollBar>
#include <QStackedLayout>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace lumetra {

ListWindow::ListWindow(const QString& objectName, const QString& caption, int minWidthTwips,
                       int minHeightTwips, QWidget* parent)
    : BusyWindow(parent) {
    setObjectName(objectName);
    setWindowTitle(caption);
    setAttribute(Qt::WA_DeleteOnClose);
    // A save or print runs to its end; a close asked for meanwhile follows it.
    busy().letJobFinishOnClose();

    m_table = new RecordTable(this);
    Toolbar1 = new QToolBar(this);
    Toolbar1->setObjectName(QStringLiteral("Toolbar1"));
    Toolbar1->setIconSize(QSize(22, 22));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 0, 2, 2);
    layout->setSpacing(2);
    layout->addWidget(Toolbar1);
    m_stack = new QStackedLayout;
    layout->addLayout(m_stack, 1);
    Grid = makeGrid(QStringLiteral("Grid"), m_table);

    // The least size of the design, or enough for the three columns if the font needs more.
    const int columns = templateWidth(0) + templateWidth(1) + templateWidth(2) +
                        Grid->verticalScrollBar()->sizeHint().width() + 12;
    setMinimumSize(std::max(twipsToPixels(this, minWidthTwips), columns),
                   twipsToPixels(this, minHeightTwips));
    resize(minimumSize());
    sizeColumnsFromTemplates();
}

QTableView* ListWindow::makeGrid(const QString& name, RecordTable* table) {
    auto* grid = new QTableView(this);
    grid->setObjectName(name);
    grid->setAccessibleName(windowTitle());
    grid->setModel(table);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->verticalHeader()->setVisible(false);
    grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 6);
    grid->horizontalHeader()->setHighlightSections(false);
    m_stack->addWidget(grid);
    m_grids.append(grid);
    for (int c = 0; c < 3; ++c)
        grid->setColumnWidth(c, m_grids.size() > 1 ? Grid->columnWidth(c) : templateWidth(c));
    return grid;
}

QTableView* ListWindow::addGrid(const QString& name, RecordTable* table) {
    QTableView* grid = makeGrid(name, table);
    m_stack->setCurrentWidget(Grid);
    return grid;
}

void ListWindow::showGrid(QTableView* grid) {
    m_stack->setCurrentWidget(grid);
}

QToolButton* ListWindow::addToolbarButton(const QString& key, const QString& tip,
                                          const QIcon& icon) {
    auto* button = new QToolButton(Toolbar1);
    button->setObjectName(QStringLiteral("Toolbar1_") + key);
    button->setProperty("key", key);
    button->setText(key);
    button->setIcon(icon);
    button->setToolTip(tip);
    button->setAccessibleName(key);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);
    Toolbar1->addWidget(button);
    connect(button, &QToolButton::clicked, this, [this, key] { emit toolbarClicked(key); });
    // Every button stays in reach, none behind an overflow arrow.
    setMinimumWidth(std::max(minimumWidth(), Toolbar1->sizeHint().width() + 8));
    return button;
}

void ListWindow::enableWithRows(QToolButton* button, const RecordTable* table) {
    const auto update = [button, table] { button->setEnabled(table->rowCount() > 0); };
    connect(table, &QAbstractItemModel::rowsInserted, button, update);
    connect(table, &QAbstractItemModel::rowsRemoved, button, update);
    connect(table, &QAbstractItemModel::modelReset, button, update);
    update();
}

QToolButton* ListWindow::toolbarButton(const QString& key) const {
    return findChild<QToolButton*>(QStringLiteral("Toolbar1_") + key);
}

void ListWindow::placeBeside(const QWidget* main) {
    if (!main)
        return;
    const QRect frame = main->frameGeometry();
    move(frame.left() + frame.width(), frame.top());
}

int ListWindow::templateWidth(int column) const {
    static const char* const templates[] = {" 000000AAA ", " DD-HH:NN:SS ", " AAAAAAA "};
    // The cell's margins come on top of the text.
    return QFontMetrics(font()).horizontalAdvance(QLatin1String(templates[column])) + 8;
}

void ListWindow::sizeColumnsFromTemplates() {
    for (QTableView* grid : std::as_const(m_grids)) {
        for (int c = 0; c < 3; ++c)
            grid->setColumnWidth(c, templateWidth(c));
    }
}

void ListWindow::resizeEvent(QResizeEvent* event) {
    BusyWindow::resizeEvent(event);
    // Three equal columns that follow the window, the first a little wider; never narrower
    // than their templates, so that a time stamp is never cut.
    const int third = pixelsToTwips(this, width()) / 3 - 240;
    for (QTableView* grid : std::as_const(m_grids)) {
        for (int c = 0; c < 3; ++c) {
            const int rule = twipsToPixels(this, third + (c == 0 ? 100 : 0));
            grid->setColumnWidth(c, std::max(rule, templateWidth(c)));
        }
    }
}

} // namespace lumetra
