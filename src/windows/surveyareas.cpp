// The survey window's room: its size, outline, obstacles, band, task areas and the
// requirements they are judged by. Every change of shape goes through applyShape().
#include "survey.h"

#include "link/pointtaker.h"
#include "model/surveyareas.h"
#include "platform/remembered.h"
#include "widgets/dialogs.h"
#include "windows/outlinedialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSettings>
#include <QSpinBox>

#include <cmath>

namespace lumetra {
namespace {

const QString kRequirementsKey = QStringLiteral("survey/requirements");

// A criterion as typed: empty for none; nothing and `ok` false for text that is no number.
std::optional<double> criterion(const QLineEdit* e, bool& ok) {
    const QString t = e->text().trimmed();
    if (t.isEmpty())
        return std::nullopt;
    bool number = false;
    const double v = QLocale().toDouble(t, &number);
    const double c = number ? v : QLocale::c().toDouble(t, &number);
    if (!number || !(c > 0) || !std::isfinite(c)) {
        ok = false;
        return std::nullopt;
    }
    return c;
}

QString criterionText(const std::optional<double>& v) {
    return v ? QLocale().toString(*v, 'g', 6) : QString();
}

QString place(const QRectF& r) {
    return QStringLiteral("%1 × %2 m at (%3, %4)")
        .arg(r.width(), 0, 'f', 2)
        .arg(r.height(), 0, 'f', 2)
        .arg(r.left(), 0, 'f', 2)
        .arg(r.top(), 0, 'f', 2);
}

} // namespace

// The grid the room asks for (by the rule, or by hand), shown in the row and column boxes.
void FrmSurvey::showGridOfArea() {
    const bool areas = !m_survey.areas.isEmpty();
    const bool byHand = ChkByHand->isChecked() && !areas;
    ChkByHand->setEnabled(!areas);
    SpnColumns->setEnabled(byHand);
    SpnRows->setEnabled(byHand);
    const bool rectangle = survey::isRectangleRoom(m_survey);
    SpnLength->setEnabled(rectangle);
    SpnWidth->setEnabled(rectangle);
    SpnLength->setToolTip(rectangle ? QString()
                                    : QStringLiteral("Set by the outline: its bounding rectangle"));
    if (byHand || areas)
        return;
    survey::Survey asked = m_survey;
    asked.length = SpnLength->value();
    asked.width = SpnWidth->value();
    asked.band = SpnBand->value();
    if (const auto g = survey::roomGrid(asked)) {
        const QSignalBlocker a(SpnColumns), b(SpnRows);
        SpnColumns->setValue(g->columns);
        SpnRows->setValue(g->rows);
    }
}

void FrmSurvey::areaChanged() {
    if (m_loading)
        return;
    showGridOfArea();
    const bool any =
        std::any_of(m_survey.points.begin(), m_survey.points.end(),
                    [](const survey::Point& p) { return p.lux || p.luxOff || p.obstructed; });
    if (!any) {
        layOutGrid(); // nothing taken yet: the plan follows the area at once
        return;
    }
    LblPoint->setText(QStringLiteral("The area changed: press Lay out grid to use it. The "
                                     "points taken are then emptied."));
}

bool FrmSurvey::mayLayOutAgain() {
    const int taken = int(
        std::count_if(m_survey.points.begin(), m_survey.points.end(),
                      [](const survey::Point& p) { return p.lux || p.luxOff || p.obstructed; }));
    if (taken == 0)
        return true;
    if (m_dialogs.message(this,
                          QStringLiteral("Laying out the grid again empties the %1 points "
                                         "taken. Go on?")
                              .arg(taken),
                          MessageIcon::Question, MessageButtons::YesNo) != MessageResult::Yes)
        return false;
    m_changed = true;
    return true;
}

// The survey with a new shape, its areas formed and its points laid out again, if it makes
// sense and the user lets the points taken go.
bool FrmSurvey::applyShape(survey::Survey candidate, const QString& what) {
    if (busy().held())
        return false; // the report being made is of the survey as it stands
    const auto refuse = [this](const QString& text) {
        m_dialogs.message(this, text, MessageIcon::Warning);
        return false;
    };
    for (int i = 0; i < candidate.areas.size(); ++i) {
        const survey::Area& a = candidate.areas[i];
        if (a.kind != survey::AreaKind::Task)
            continue;
        // Each task against the room as it would be: a moved wall or a new obstacle.
        if (const QString why = survey::taskProblem(candidate, a.outline.boundingRect(), i);
            !why.isEmpty())
            return refuse(QStringLiteral("Task %1: %2").arg(i + 1).arg(why));
    }
    survey::formAreas(candidate);
    if (candidate.areas.isEmpty()) {
        const auto rule = survey::roomGrid(candidate);
        if (!rule)
            return refuse(QStringLiteral("The band along the walls leaves no area to measure: "
                                         "make it narrower than half the width."));
        candidate.rows = ChkByHand->isChecked() ? SpnRows->value() : rule->rows;
        candidate.columns = ChkByHand->isChecked() ? SpnColumns->value() : rule->columns;
    }
    if (const qint64 n = survey::gridPoints(candidate); n > survey::kMostPoints)
        return refuse(QStringLiteral("A grid of %1 points is more than a survey takes (at most "
                                     "%2): choose fewer rows or columns.")
                          .arg(n)
                          .arg(survey::kMostPoints));
    if (!mayLayOutAgain())
        return false;
    // What came in while the question was open (a stability check's reading) is kept.
    candidate.stability = m_survey.stability;
    candidate.installation = m_survey.installation;
    candidate.instrument = m_survey.instrument;
    candidate.baseline = m_survey.baseline;
    survey::layOutAll(candidate);
    // A new shape is work to keep, even before a point is taken.
    m_changed = m_changed || !survey::sameShape(m_survey, candidate);
    m_survey = candidate;
    laidOut(what);
    return true;
}

void FrmSurvey::layOutGrid() {
    survey::Survey candidate = m_survey;
    if (survey::isRectangleRoom(candidate)) {
        candidate.length = SpnLength->value();
        candidate.width = SpnWidth->value();
    }
    candidate.band = SpnBand->value();
    candidate.height = SpnHeight->value();
    candidate.surroundingBand = SpnSurroundingBand->value();
    candidate.backgroundBand = SpnBackgroundBand->value();
    applyShape(candidate, QString());
}

void FrmSurvey::laidOut(const QString& what) {
    m_taker->cancel();
    m_takingAt = -1;
    m_order = survey::walkOrder(m_survey);
    m_pointAt.clear();
    for (int i = 0; i < m_survey.points.size(); ++i) {
        const survey::Point& p = m_survey.points[i];
        m_pointAt.insert(pointKey(p.area, p.row, p.column), i);
    }
    m_current = m_order.isEmpty() ? 0 : m_order.first();
    {
        const QSignalBlocker a(SpnColumns), b(SpnRows), c(SpnLength), d(SpnWidth);
        for (auto [box, v] : {std::pair{SpnColumns, m_survey.columns}, {SpnRows, m_survey.rows}})
            if (m_survey.areas.isEmpty() && box->value() != v)
                box->setValue(v);
        // Only a changed size is written back: the box may be being typed in.
        for (auto [box, v] : {std::pair{SpnLength, m_survey.length}, {SpnWidth, m_survey.width}})
            if (std::abs(box->value() - v) > 0.004)
                box->setValue(v);
    }
    showGridOfArea();
    showAreas();
    const QString grid =
        m_survey.areas.isEmpty()
            ? QStringLiteral("%1 columns by %2 rows").arg(m_survey.columns).arg(m_survey.rows)
            : QStringLiteral("in %1 areas").arg(m_survey.areas.size());
    announce(
        QStringLiteral("%1%2 points, %3; first %4")
            .arg(what.isEmpty() ? QString() : what + QStringLiteral(": "))
            .arg(m_survey.points.size())
            .arg(grid, m_survey.points.isEmpty() ? QStringLiteral("none") : nameOf(m_current)));
    refresh();
}

void FrmSurvey::showAreas() {
    LstObstacles->clear();
    for (int i = 0; i < m_survey.obstacles.size(); ++i)
        LstObstacles->addItem(QStringLiteral("Obstacle %1: %2 corners, %3")
                                  .arg(i + 1)
                                  .arg(m_survey.obstacles[i].size())
                                  .arg(place(m_survey.obstacles[i].boundingRect())));
    LstAreas->clear();
    for (int i = 0; i < m_survey.areas.size(); ++i) {
        const survey::Area& a = m_survey.areas[i];
        const auto n = std::count_if(m_survey.points.begin(), m_survey.points.end(),
                                     [i](const survey::Point& p) { return p.area == i; });
        LstAreas->addItem(
            QStringLiteral("%1: %2%3, %4 points; %5")
                .arg(a.name,
                     a.kind == survey::AreaKind::Task ? QString() : QStringLiteral("within "),
                     place(a.outline.boundingRect()))
                .arg(n)
                .arg(a.requirement.name));
    }
}

void FrmSurvey::editOutline() {
    if (m_outlineDialog) {
        m_outlineDialog->raise();
        return;
    }
    openOutline(QStringLiteral("The outline"), QStringLiteral("Outline of the Room"),
                survey::roomOutline(m_survey), &FrmSurvey::setOutline);
}

// One outline window at a time; it closes once its corners are taken.
void FrmSurvey::openOutline(const QString& what, const QString& title, const QPolygonF& corners,
                            bool (FrmSurvey::*apply)(const QPolygonF&)) {
    auto* dialog = new OutlineDialog(what, corners, m_survey, this);
    dialog->setWindowTitle(title);
    m_outlineDialog = dialog;
    connect(dialog, &OutlineDialog::taken, this, [this, dialog, apply](const QPolygonF& c) {
        if ((this->*apply)(c))
            dialog->done(QDialog::Accepted);
    });
    dialog->open();
}

bool FrmSurvey::setOutline(const QPolygonF& outline) {
    survey::Survey candidate = m_survey;
    if (outline.isEmpty()) {
        candidate.outline.clear(); // the rectangle of the length and width
    } else {
        if (const QString why = survey::outlineProblem(outline, QStringLiteral("The outline"));
            !why.isEmpty()) {
            m_dialogs.message(this, why, MessageIcon::Warning);
            return false;
        }
        const QRectF box = outline.boundingRect();
        // The plain rectangle from the corner is the room every file knows as such.
        candidate.outline = outline == survey::rectangle(QRectF(0, 0, box.width(), box.height()))
                                ? QPolygonF()
                                : outline;
        candidate.length = box.width();
        candidate.width = box.height();
    }
    return applyShape(candidate,
                      outline.isEmpty()
                          ? QStringLiteral("A rectangle room")
                          : QStringLiteral("An outline of %1 corners").arg(outline.size()));
}

void FrmSurvey::addObstacle() {
    if (m_outlineDialog) {
        m_outlineDialog->raise();
        return;
    }
    // A column's size, in the middle of the room, to be moved where it stands.
    const QPointF mid = survey::roomOutline(m_survey).boundingRect().center();
    const QPolygonF square = survey::rectangle(QRectF(mid - QPointF(0.2, 0.2), QSizeF(0.4, 0.4)));
    openOutline(QStringLiteral("Obstacle %1").arg(m_survey.obstacles.size() + 1),
                QStringLiteral("Obstacle"), square, &FrmSurvey::placeObstacle);
}

bool FrmSurvey::placeObstacle(const QPolygonF& outline) {
    const QString what = QStringLiteral("Obstacle %1").arg(m_survey.obstacles.size() + 1);
    QString why = survey::outlineProblem(outline, what);
    QPainterPath room, shape;
    room.addPolygon(survey::roomOutline(m_survey));
    shape.addPolygon(outline);
    if (why.isEmpty() && !room.intersects(shape))
        why = QStringLiteral("%1 lies outside the room.").arg(what);
    if (why.isEmpty() && m_survey.obstacles.size() >= survey::kMostObstacles)
        why = QStringLiteral("A survey holds at most %1 obstacles.").arg(survey::kMostObstacles);
    if (!why.isEmpty()) {
        m_dialogs.message(this, why, MessageIcon::Warning);
        return false;
    }
    survey::Survey candidate = m_survey;
    candidate.obstacles << outline;
    return applyShape(candidate, QStringLiteral("%1 placed").arg(what));
}

void FrmSurvey::removeObstacle() {
    const int at = LstObstacles->currentRow();
    if (at < 0 || at >= m_survey.obstacles.size())
        return;
    survey::Survey candidate = m_survey;
    candidate.obstacles.removeAt(at);
    applyShape(candidate, QStringLiteral("Obstacle %1 removed").arg(at + 1));
}

void FrmSurvey::addTask() {
    placeTask(
        QRectF(SpnTaskX->value(), SpnTaskY->value(), SpnTaskWidth->value(), SpnTaskDepth->value()));
}

bool FrmSurvey::placeTask(const QRectF& task) {
    QString why = survey::taskProblem(m_survey, task);
    if (why.isEmpty() && survey::taskCount(m_survey) >= survey::kMostTasks)
        why = QStringLiteral("A survey holds at most %1 task areas.").arg(survey::kMostTasks);
    const int need = CboTaskRequirement->currentIndex();
    if (why.isEmpty() && (need < 0 || need >= m_requirements.size()))
        why = QStringLiteral("Choose the task's requirement first.");
    if (!why.isEmpty()) {
        m_dialogs.message(this, why, MessageIcon::Warning);
        return false;
    }
    survey::Survey candidate = m_survey;
    survey::Area a;
    a.outline = survey::rectangle(task);
    a.requirement = m_requirements[need];
    const auto tasks = survey::taskCount(candidate);
    candidate.areas.insert(tasks, a);
    return applyShape(candidate,
                      QStringLiteral("Task %1 placed, %2").arg(tasks + 1).arg(place(task)));
}

void FrmSurvey::removeTask() {
    const int at = LstAreas->currentRow();
    if (at < 0 || at >= m_survey.areas.size())
        return;
    if (m_survey.areas[at].kind != survey::AreaKind::Task) {
        m_dialogs.message(this,
                          QStringLiteral("Choose a task area: its surrounding and background "
                                         "areas go with it."),
                          MessageIcon::Information);
        return;
    }
    survey::Survey candidate = m_survey;
    const QString name = candidate.areas[at].name;
    candidate.areas.removeAt(at);
    if (survey::taskCount(candidate) == 0)
        candidate.areas.clear();
    applyShape(candidate, QStringLiteral("%1 removed").arg(name));
}

void FrmSurvey::requirementChosen(int index) {
    if (m_loading || index < 0 || index >= m_requirements.size())
        return;
    const survey::Requirement& r = m_requirements[index];
    TxtAverage->setText(criterionText(r.average));
    TxtUniformity->setText(criterionText(r.uniformity));
    TxtMinimum->setText(criterionText(r.minimum));
    TxtMaxRatio->setText(criterionText(r.maxOverMin));
    m_survey.requirement = r;
    m_changed = true;
    refresh();
}

bool FrmSurvey::requirementEdited() {
    if (m_loading)
        return true;
    bool ok = true;
    survey::Requirement r{CboRequirement->currentText().trimmed(), criterion(TxtAverage, ok),
                          criterion(TxtUniformity, ok), criterion(TxtMinimum, ok),
                          criterion(TxtMaxRatio, ok)};
    if (!ok) {
        LblPoint->setText(QStringLiteral("A criterion is a number above 0, or empty when it "
                                         "does not apply."));
        return false;
    }
    m_survey.requirement = r;
    m_changed = true;
    refresh();
    return true;
}

void FrmSurvey::keepRequirement() {
    if (!requirementEdited()) {
        m_dialogs.message(this, LblPoint->text(), MessageIcon::Warning);
        return;
    }
    const survey::Requirement& r = m_survey.requirement;
    if (r.name.isEmpty()) {
        m_dialogs.message(this, QStringLiteral("Give the requirement a name first."),
                          MessageIcon::Warning);
        return;
    }
    const int at = CboRequirement->findText(r.name);
    m_loading = true;
    if (at >= 0 && at < m_requirements.size()) {
        m_requirements[at] = r;
        CboRequirement->setCurrentIndex(at);
    } else {
        m_requirements << r;
        CboRequirement->addItem(r.name);
        CboTaskRequirement->addItem(r.name);
        CboRequirement->setCurrentIndex(CboRequirement->count() - 1);
    }
    m_loading = false;
    storeRequirements();
}

void FrmSurvey::forgetRequirement() {
    const int at = CboRequirement->findText(CboRequirement->currentText().trimmed());
    if (at < 0 || at >= m_requirements.size())
        return;
    m_requirements.removeAt(at);
    m_loading = true;
    CboRequirement->removeItem(at);
    CboTaskRequirement->removeItem(at);
    if (m_requirements.isEmpty()) {
        // The list never ends empty: the common tasks come back.
        m_requirements = survey::builtInRequirements();
        for (const survey::Requirement& r : m_requirements) {
            CboRequirement->addItem(r.name);
            CboTaskRequirement->addItem(r.name);
        }
    }
    m_loading = false;
    storeRequirements();
    requirementChosen(CboRequirement->currentIndex());
}

void FrmSurvey::storeRequirements() {
    if (const QString e = remember(kRequirementsKey, survey::requirementsJson(m_requirements));
        !e.isEmpty())
        m_dialogs.message(this, e, MessageIcon::Warning);
}

void FrmSurvey::loadRequirementControls() {
    const int known = CboRequirement->findText(m_survey.requirement.name);
    if (known >= 0)
        CboRequirement->setCurrentIndex(known);
    CboRequirement->setEditText(m_survey.requirement.name);
    TxtAverage->setText(criterionText(m_survey.requirement.average));
    TxtUniformity->setText(criterionText(m_survey.requirement.uniformity));
    TxtMinimum->setText(criterionText(m_survey.requirement.minimum));
    TxtMaxRatio->setText(criterionText(m_survey.requirement.maxOverMin));
}

} // namespace lumetra
