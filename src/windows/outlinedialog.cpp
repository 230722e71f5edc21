#include "outlinedialog.h"

#include "graph/surveyplanview.h"
#include "model/surveyareas.h"
#include "widgets/named.h"

#include <QAccessible>
#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>

namespace lumetra {

namespace {

std::optional<double> number(const QTableWidgetItem* item) {
    if (!item)
        return std::nullopt;
    const QString t = item->text().trimmed();
    bool ok = false;
    double v = QLocale().toDouble(t, &ok);
    if (!ok)
        v = QLocale::c().toDouble(t, &ok);
    return ok && std::isfinite(v) ? std::optional(v) : std::nullopt;
}

} // namespace

OutlineDialog::OutlineDialog(const QString& title, const QPolygonF& corners,
                             const survey::Survey& room, QWidget* parent)
    : QDialog(parent), m_title(title), m_room(room) {
    setObjectName(QStringLiteral("OutlineDialog"));
    setWindowTitle(title);
    m_room.points.clear();
    auto* top = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    auto* help = new QLabel(QStringLiteral("Type the corners in metres, in order around the "
                                           "outline, or click them on the plan (to 5 cm)."),
                            this);
    help->setWordWrap(true);
    left->addWidget(help);
    TblCorners = named(new QTableWidget(0, 2, this), "TblCorners", QStringLiteral("Corners"));
    TblCorners->setHorizontalHeaderLabels({QStringLiteral("x (m)"), QStringLiteral("y (m)")});
    TblCorners->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    TblCorners->setTabKeyNavigation(true);
    left->addWidget(TblCorners, 1);
    auto* buttons = new QHBoxLayout;
    BtnAddCorner = named(new QPushButton(QStringLiteral("&Add corner"), this), "BtnAddCorner",
                         QStringLiteral("Add corner"));
    BtnRemoveCorner = named(new QPushButton(QStringLiteral("&Remove corner"), this),
                            "BtnRemoveCorner", QStringLiteral("Remove corner"));
    BtnClear = named(new QPushButton(QStringLiteral("&Clear"), this), "BtnClear",
                     QStringLiteral("Clear all corners"));
    for (QPushButton* b : {BtnAddCorner, BtnRemoveCorner, BtnClear}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    left->addLayout(buttons);
    LblProblem = named(new QLabel(this), "LblProblem", QString());
    LblProblem->setWordWrap(true);
    left->addWidget(LblProblem);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    BtnOk = box->button(QDialogButtonBox::Ok);
    left->addWidget(box);
    top->addLayout(left, 2);
    Plan = named(new SurveyPlanView(this), "Plan", QStringLiteral("Plan: click to add a corner"));
    top->addWidget(Plan, 3);

    connect(box, &QDialogButtonBox::accepted, this, &OutlineDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &OutlineDialog::reject);
    // Gone once answered, either way.
    connect(this, &QDialog::finished, this, &QObject::deleteLater);
    connect(BtnAddCorner, &QPushButton::clicked, this, [this] {
        const int n = TblCorners->rowCount();
        addCorner(n > 0 ? QPointF(number(TblCorners->item(n - 1, 0)).value_or(0),
                                  number(TblCorners->item(n - 1, 1)).value_or(0))
                        : QPointF());
        TblCorners->setCurrentCell(TblCorners->rowCount() - 1, 0);
        TblCorners->setFocus(Qt::OtherFocusReason);
    });
    connect(BtnRemoveCorner, &QPushButton::clicked, this, [this] {
        if (TblCorners->currentRow() >= 0)
            TblCorners->removeRow(TblCorners->currentRow());
        showOnPlan();
    });
    connect(BtnClear, &QPushButton::clicked, this, [this] { setCorners({}); });
    connect(Plan, &SurveyPlanView::clickedAt, this, &OutlineDialog::addCorner);
    connect(TblCorners, &QTableWidget::cellChanged, this, &OutlineDialog::showOnPlan);
    setCorners(corners);
    resize(900, 520);
}

std::optional<QPolygonF> OutlineDialog::corners() const {
    QPolygonF out;
    for (int r = 0; r < TblCorners->rowCount(); ++r) {
        const auto x = number(TblCorners->item(r, 0)), y = number(TblCorners->item(r, 1));
        if (!x || !y)
            return std::nullopt;
        out << QPointF(*x, *y);
    }
    return out;
}

void OutlineDialog::setCorners(const QPolygonF& corners) {
    const QSignalBlocker quiet(TblCorners);
    TblCorners->setRowCount(0);
    for (const QPointF& p : corners)
        addCorner(p);
    showOnPlan();
}

void OutlineDialog::addCorner(QPointF at) {
    const int r = TblCorners->rowCount();
    {
        const QSignalBlocker quiet(TblCorners);
        TblCorners->insertRow(r);
        TblCorners->setItem(r, 0, new QTableWidgetItem(QLocale().toString(at.x(), 'f', 2)));
        TblCorners->setItem(r, 1, new QTableWidgetItem(QLocale().toString(at.y(), 'f', 2)));
    }
    showOnPlan();
}

void OutlineDialog::showOnPlan() {
    // The corners so far, drawn as an obstacle over the room.
    survey::Survey shown = m_room;
    const auto c = corners();
    if (c && c->size() >= 2)
        shown.obstacles << *c;
    Plan->setSurvey(shown, {});
    LblProblem->setText(c ? QStringLiteral("%1 corners").arg(c->size())
                          : QStringLiteral("A corner holds no number."));
}

void OutlineDialog::accept() {
    // Enter in a cell being typed in takes the cell first, then the outline.
    if (QWidget* typing = QApplication::focusWidget(); typing && TblCorners->isAncestorOf(typing))
        typing->clearFocus();
    const auto c = corners();
    // No corners at all: the owner decides (a room becomes its rectangle again).
    const QString problem = !c             ? QStringLiteral("Every corner needs x and y in metres.")
                            : c->isEmpty() ? QString()
                                           : survey::outlineProblem(*c, m_title);
    if (!problem.isEmpty()) {
        LblProblem->setText(problem);
        LblProblem->setAccessibleName(problem);
        QAccessibleEvent changed(LblProblem, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&changed);
        return;
    }
    emit taken(*c);
}

} // namespace lumetra
