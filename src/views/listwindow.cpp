#include "listwindow.h"

#include "link/twips.h"
#include "recording/recordtable.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace lumetra {

ListWindow::ListWindow(const QString& objectName, const QString& caption, int minWidthTwips,
                       int minHeightTwips, QWidget* parent)
    : QWidget(parent, Qt::Window) {
    setObjectName(objectName);
    setWindowTitle(caption);
    setAttribute(Qt::WA_DeleteOnClose);

    m_table = new RecordTable(this);
    Toolbar1 = new QToolBar(this);
    Toolbar1->setObjectName(QStringLiteral("Toolbar1"));
    Toolbar1->setIconSize(QSize(22, 22));
    Grid = new QTableView(this);
    Grid->setObjectName(QStringLiteral("Grid"));
    Grid->setAccessibleName(QStringLiteral("Grid"));
    Grid->setModel(m_table);
    Grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    Grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Grid->verticalHeader()->setVisible(false);
    Grid->verticalHeader()->setDefaultSectionSize(Grid->fontMetrics().height() + 6);
    Grid->horizontalHeader()->setHighlightSections(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 0, 2, 2);
    layout->setSpacing(2);
    layout->addWidget(Toolbar1);
    layout->addWidget(Grid, 1);

    // The least size of the design, or enough for the three columns if the font needs more.
    const int columns = templateWidth(0) + templateWidth(1) + templateWidth(2) +
                        Grid->verticalScrollBar()->sizeHint().width() + 12;
    setMinimumSize(std::max(twipsToPixels(this, minWidthTwips), columns),
                   twipsToPixels(this, minHeightTwips));
    resize(minimumSize());
    sizeColumnsFromTemplates();
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
    return button;
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

void ListWindow::setBusy(bool busy) {
    m_busy = busy;
    if (!busy && m_closePending) {
        m_closePending = false;
        close();
    }
}

void ListWindow::closeEvent(QCloseEvent* event) {
    if (m_busy) {
        m_closePending = true;
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

int ListWindow::templateWidth(int column) const {
    static const char* const templates[] = {" 000000AAA ", " DD-HH:NN:SS ", " AAAAAAA "};
    // The cell's margins come on top of the text.
    return QFontMetrics(Grid->font()).horizontalAdvance(QLatin1String(templates[column])) + 8;
}

void ListWindow::sizeColumnsFromTemplates() {
    for (int c = 0; c < 3; ++c)
        Grid->setColumnWidth(c, templateWidth(c));
}

void ListWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // Three equal columns that follow the window, the first a little wider; never narrower
    // than their templates, so that a time stamp is never cut.
    const int third = pixelsToTwips(this, width()) / 3 - 240;
    for (int c = 0; c < 3; ++c) {
        const int rule = twipsToPixels(this, third + (c == 0 ? 100 : 0));
        Grid->setColumnWidth(c, std::max(rule, templateWidth(c)));
    }
}

} // namespace lumetra
