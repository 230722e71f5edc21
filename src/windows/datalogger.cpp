#include "datalogger.h"

#include "model/appstate.h"
#include "model/recordtable.h"
#include "widgets/twips.h"

#include <QAction>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>

namespace lumetra {
namespace {

QLabel* panelLabel(const QString& name, const QString& caption, QWidget* parent, bool heading) {
    auto* l = new QLabel(caption, parent);
    l->setObjectName(name);
    l->setAlignment(Qt::AlignCenter);
    l->setFrameShape(QFrame::Panel);
    l->setFrameShadow(heading ? QFrame::Raised : QFrame::Sunken);
    if (heading) {
        QFont f = l->font();
        f.setBold(true);
        l->setFont(f);
    }
    return l;
}

} // namespace

Memory::Memory(AppState& state, QWidget* parent) : BusyWindow(parent), m_state(state) {
    setObjectName(QStringLiteral("Memory"));
    setWindowTitle(QStringLiteral("Data Logger"));
    setAttribute(Qt::WA_DeleteOnClose);
    SSPanel1 = panelLabel(QStringLiteral("SSPanel1"), QStringLiteral("Total Memory"), this, true);
    LblSize = panelLabel(QStringLiteral("LblSize"), QStringLiteral("64 K"), this, false);
    SSPanel2 = panelLabel(QStringLiteral("SSPanel2"), QStringLiteral("Free Memory"), this, true);
    LblRemain = panelLabel(QStringLiteral("LblRemain"), QString(), this, false);
    LblRemain->setCursor(Qt::PointingHandCursor);
    LblRemain->setToolTip(tr("Click (or press Delete) to erase the meter's memory"));
    LblRemain->installEventFilter(this);
    // The headings are captions, not buttons.
    for (QLabel* heading : {SSPanel1, SSPanel2})
        heading->setFrameShape(QFrame::NoFrame);
    SSPanel1->setToolTip(tr("The size of the meter's memory"));
    SSPanel2->setToolTip(tr("Memory still free in the meter"));
    LblSize->setAccessibleDescription(QStringLiteral("Total Memory"));
    LblRemain->setAccessibleDescription(QStringLiteral("Free Memory"));
    LblMessage = new QLabel(this);
    LblMessage->setObjectName(QStringLiteral("LblMessage"));
    LblMessage->setAccessibleDescription(QStringLiteral("Download progress"));

    m_sets = new RecordTable(4, this);
    const char* headers[] = {"Set", "Time", "Sampling", "Records"};
    for (int c = 0; c < 4; ++c)
        m_sets->setHeader(c, QLatin1String(headers[c]));
    m_sets->setHeaderTip(1,
                         tr("When the set began, by the meter's clock (day-hour:minute:second)"));
    m_sets->setHeaderTip(2, tr("Sampling interval of the set, in seconds"));
    m_sets->setHeaderTip(3, tr("Readings in the set"));
    GridSet = new QTableView(this);
    GridSet->setObjectName(QStringLiteral("GridSet"));
    GridSet->setAccessibleName(QStringLiteral("Recorded sets"));
    GridSet->setModel(m_sets);
    GridSet->setSelectionBehavior(QAbstractItemView::SelectRows);
    GridSet->setSelectionMode(QAbstractItemView::SingleSelection);
    GridSet->setEditTriggers(QAbstractItemView::NoEditTriggers);
    GridSet->verticalHeader()->setVisible(false);
    GridSet->verticalHeader()->setDefaultSectionSize(GridSet->fontMetrics().height() + 6);
    // From the keyboard: Enter on a set expands it, Delete erases the meter's memory.
    const auto expandCurrent = [this] {
        if (GridSet->currentIndex().isValid())
            emit setClicked(GridSet->currentIndex().row());
    };
    for (const auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* enter = new QShortcut(QKeySequence(key), GridSet);
        enter->setContext(Qt::WidgetShortcut);
        connect(enter, &QShortcut::activated, this, expandCurrent);
    }
    connect(new QShortcut(QKeySequence(QKeySequence::Delete), this), &QShortcut::activated, this,
            &Memory::eraseClicked);
    // The same as buttons and on the sets' context menu, with their keys shown.
    CmdExpand = new QPushButton(tr("Expand Set (Enter)"), this);
    CmdExpand->setObjectName(QStringLiteral("CmdExpand"));
    CmdExpand->setToolTip(tr("List the readings of the chosen set"));
    CmdErase = new QPushButton(tr("Erase Memory… (Del)"), this);
    CmdErase->setObjectName(QStringLiteral("CmdErase"));
    CmdErase->setToolTip(tr("Erase every set in the meter's memory (asks first)"));
    for (QPushButton* b : {CmdExpand, CmdErase}) {
        b->setAccessibleName(b->text());
        b->setAutoDefault(false);
    }
    connect(CmdExpand, &QPushButton::clicked, this, expandCurrent);
    connect(CmdErase, &QPushButton::clicked, this, &Memory::eraseClicked);
    // The keys are only shown on the menu ("\t"): the shortcuts above do the work.
    auto* expand = new QAction(tr("Expand Set\tEnter"), GridSet);
    connect(expand, &QAction::triggered, this, expandCurrent);
    auto* erase = new QAction(tr("Erase Memory…\tDel"), GridSet);
    connect(erase, &QAction::triggered, this, &Memory::eraseClicked);
    GridSet->addAction(expand);
    GridSet->addAction(erase);
    GridSet->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(GridSet, &QTableView::clicked, this,
            [this](const QModelIndex& index) { emit setClicked(index.row()); });

    setMinimumSize(std::max(twipsToPixels(this, 4500), 2 * std::max(CmdExpand->sizeHint().width(),
                                                                    CmdErase->sizeHint().width()) +
                                                           twipsToPixels(this, 600)),
                   twipsToPixels(this, 4035));
    resize(twipsToPixels(this, 5200), twipsToPixels(this, 5200));
    m_state.memoryOpen = true;
}

Memory::~Memory() = default;

void Memory::placeBeside(const QWidget* main) {
    const QRect frame = main->frameGeometry();
    move(frame.left() + frame.width(), frame.top());
}

void Memory::closeEvent(QCloseEvent* event) {
    BusyWindow::closeEvent(event);
    if (event->isAccepted())
        m_state.memoryOpen = false;
}

bool Memory::eventFilter(QObject* watched, QEvent* event) {
    if (watched == LblRemain && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        emit eraseClicked();
        return true;
    }
    return BusyWindow::eventFilter(watched, event);
}

void Memory::resizeEvent(QResizeEvent* event) {
    BusyWindow::resizeEvent(event);
    const auto px = [this](int twips) { return twipsToPixels(this, twips); };
    const int w = pixelsToTwips(this, width());
    const int h = pixelsToTwips(this, height());
    const int half = (w - 380) / 2;
    SSPanel1->setGeometry(px(120), px(120), px(half - 100), px(375));
    LblSize->setGeometry(px(120), px(495), px(half - 100), px(375));
    SSPanel2->setGeometry(px(half + 100), px(120), px(half - 100), px(375));
    LblRemain->setGeometry(px(half + 100), px(495), px(half - 100), px(375));
    LblMessage->setGeometry(px(240), px(960), px(w - 480), px(195));
    GridSet->setGeometry(px(120), px(1155), px(w - 480), px(h - 1815));
    const int buttonWidth =
        std::max({px((w - 600) / 2), CmdExpand->sizeHint().width(), CmdErase->sizeHint().width()});
    const int buttonTop = px(1155 + h - 1815 + 60);
    CmdExpand->setGeometry(px(120), buttonTop, buttonWidth, CmdExpand->sizeHint().height());
    CmdErase->setGeometry(px(120) + buttonWidth + px(120), buttonTop, buttonWidth,
                          CmdErase->sizeHint().height());
    const QFontMetrics fm(GridSet->font());
    const char* templates[] = {" No.S ", "AA-AA:AA:AA", " Sampling ", " Records "};
    for (int c = 0; c < 4; ++c) {
        const int rule = px(w / 4 - 230 + (c == 1 ? 60 : 0));
        GridSet->setColumnWidth(
            c, std::max(rule, fm.horizontalAdvance(QLatin1String(templates[c])) + 8));
    }
}

} // namespace lumetra
