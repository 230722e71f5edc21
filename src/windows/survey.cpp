#include "survey.h"

#include "graph/surveyplan.h"
#include "graph/surveyplanview.h"
#include "link/displaypoll.h"
#include "link/meterlink.h"
#include "link/pointtaker.h"
#include "model/appstate.h"
#include "model/surveyareas.h"
#include "platform/remembered.h"
#include "widgets/dialogs.h"
#include "widgets/metresbox.h"
#include "widgets/named.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QShortcut>
#include <QSpinBox>
#include <QSplitter>
#include <QTableWidget>
#include <QTextCursor>
#include <QVBoxLayout>

namespace lumetra {
namespace {

const QString kRequirementsKey = QStringLiteral("survey/requirements");
const QString kUnitKey = QStringLiteral("survey/unit");

} // namespace

FrmSurvey::FrmSurvey(AppState& state, DisplayPoll& display, MeterLink& link, PollTimer& poll,
                     Dialogs& dialogs, QWidget* parent)
    : BusyWindow(parent), m_state(state), m_link(link), m_dialogs(dialogs), m_display(display) {
    setObjectName(QStringLiteral("Survey"));
    setWindowTitle(QStringLiteral("Lighting Survey"));
    setAttribute(Qt::WA_DeleteOnClose);
    busy().setMeter(&link, &poll);
    m_taker = new PointTaker(state, display, this);
    connect(m_taker, &PointTaker::taken, this, [this](double lux, int) { taken(lux, false); });
    connect(m_taker, &PointTaker::refused, this, &FrmSurvey::refused);
    build();
    m_requirements =
        survey::requirementsFromJson(QSettings().value(kRequirementsKey).toByteArray());
    if (m_requirements.isEmpty())
        m_requirements = survey::builtInRequirements();
    m_loading = true;
    for (const survey::Requirement& r : m_requirements) {
        CboRequirement->addItem(r.name);
        CboTaskRequirement->addItem(r.name);
    }
    m_loading = false;
    requirementChosen(0);
    areaChanged();
    m_changed = false;
}

FrmSurvey::~FrmSurvey() = default;

void FrmSurvey::build() {
    auto* top = new QHBoxLayout(this);
    auto* splitter = new QSplitter(Qt::Horizontal, this);
    top->addWidget(splitter);
    // Left, scrolled on a small screen: the room, its areas, the requirement, the notes.
    auto* scroll = new QScrollArea(splitter);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* left = new QWidget(scroll);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->addWidget(buildRoom(left));
    leftLayout->addWidget(buildAreas(left));
    leftLayout->addWidget(buildRequirement(left));
    leftLayout->addWidget(buildEvidence(left));
    auto* notesLabel = new QLabel(QStringLiteral("N&otes for the report"), left);
    TxtNotes = named(new QPlainTextEdit(left), "TxtNotes", QStringLiteral("Notes for the report"));
    TxtNotes->setTabChangesFocus(true);
    TxtNotes->setMinimumHeight(80);
    notesLabel->setBuddy(TxtNotes);
    leftLayout->addWidget(notesLabel);
    leftLayout->addWidget(TxtNotes, 1);
    scroll->setWidget(left);
    buildWalk(splitter);
    splitter->setStretchFactor(1, 1);
    wire();
    wireEvidence();
    resize(1180, 760);
}

QWidget* FrmSurvey::buildRoom(QWidget* parent) {
    auto* area = new QGroupBox(QStringLiteral("Room"), parent);
    auto* areaForm = new QFormLayout(area);
    TxtName = named(new QLineEdit(area), "TxtName", QStringLiteral("Name of the area"));
    TxtName->setMaxLength(survey::kMostNameChars);
    SpnLength = metresBox(area, "SpnLength", QStringLiteral("Length"), 0.1, 5);
    SpnWidth = metresBox(area, "SpnWidth", QStringLiteral("Width"), 0.1, 4);
    SpnBand = metresBox(area, "SpnBand", QStringLiteral("Band along the walls"), 0, 0.5);
    SpnHeight = metresBox(area, "SpnHeight", QStringLiteral("Measuring height"), 0, 0.85);
    BtnOutline = named(new QPushButton(QStringLiteral("Outl&ine…"), area), "BtnOutline",
                       QStringLiteral("Outline of the room"));
    BtnOutline->setToolTip(QStringLiteral("Type or click the room's corners: an L-shaped room "
                                          "has six"));
    ChkByHand = named(new QCheckBox(QStringLiteral("Set rows and columns by &hand"), area),
                      "ChkByHand", QStringLiteral("Set rows and columns by hand"));
    SpnColumns = named(new QSpinBox(area), "SpnColumns", QStringLiteral("Columns"));
    SpnRows = named(new QSpinBox(area), "SpnRows", QStringLiteral("Rows"));
    for (QSpinBox* s : {SpnColumns, SpnRows})
        s->setRange(1, 1000);
    BtnLayOut = named(new QPushButton(QStringLiteral("&Lay out grid"), area), "BtnLayOut",
                      QStringLiteral("Lay out grid"));
    areaForm->addRow(QStringLiteral("&Name"), TxtName);
    areaForm->addRow(QStringLiteral("Len&gth"), SpnLength);
    areaForm->addRow(QStringLiteral("&Width"), SpnWidth);
    areaForm->addRow(BtnOutline);
    areaForm->addRow(QStringLiteral("&Band along the walls"), SpnBand);
    areaForm->addRow(QStringLiteral("Measuring h&eight"), SpnHeight);
    LstObstacles =
        named(new QListWidget(area), "LstObstacles", QStringLiteral("Obstacles in the room"));
    LstObstacles->setMaximumHeight(70);
    BtnAddObstacle = named(new QPushButton(QStringLiteral("A&dd obstacle…"), area),
                           "BtnAddObstacle", QStringLiteral("Add obstacle"));
    BtnRemoveObstacle = named(new QPushButton(QStringLiteral("Remove obstacle"), area),
                              "BtnRemoveObstacle", QStringLiteral("Remove obstacle"));
    auto* obstacleButtons = new QHBoxLayout;
    obstacleButtons->addWidget(BtnAddObstacle);
    obstacleButtons->addWidget(BtnRemoveObstacle);
    areaForm->addRow(QStringLiteral("Obstacles"), LstObstacles);
    areaForm->addRow(obstacleButtons);
    areaForm->addRow(ChkByHand);
    auto* grid = new QHBoxLayout;
    grid->addWidget(SpnColumns);
    grid->addWidget(new QLabel(QStringLiteral("columns ×"), area));
    grid->addWidget(SpnRows);
    grid->addWidget(new QLabel(QStringLiteral("rows"), area));
    areaForm->addRow(QStringLiteral("Points"), grid);
    areaForm->addRow(BtnLayOut);
    return area;
}

QWidget* FrmSurvey::buildAreas(QWidget* parent) {
    auto* box = new QGroupBox(QStringLiteral("Task areas (EN 12464-1)"), parent);
    auto* form = new QFormLayout(box);
    LstAreas = named(new QListWidget(box), "LstAreas", QStringLiteral("Areas"));
    LstAreas->setMaximumHeight(110);
    form->addRow(LstAreas);
    SpnTaskX = metresBox(box, "SpnTaskX", QStringLiteral("Task area from x"), 0, 0);
    SpnTaskY = metresBox(box, "SpnTaskY", QStringLiteral("Task area from y"), 0, 0);
    SpnTaskWidth =
        metresBox(box, "SpnTaskWidth", QStringLiteral("Task area width"), 0.05, survey::kTaskSide);
    SpnTaskDepth =
        metresBox(box, "SpnTaskDepth", QStringLiteral("Task area depth"), 0.05, survey::kTaskSide);
    auto* at = new QHBoxLayout;
    at->addWidget(SpnTaskX);
    at->addWidget(SpnTaskY);
    auto* size = new QHBoxLayout;
    size->addWidget(SpnTaskWidth);
    size->addWidget(new QLabel(QStringLiteral("×"), box));
    size->addWidget(SpnTaskDepth);
    auto* atLabel = new QLabel(QStringLiteral("Corner x, &y"), box);
    atLabel->setBuddy(SpnTaskX);
    form->addRow(atLabel, at);
    form->addRow(QStringLiteral("Size"), size);
    CboTaskRequirement = named(new QComboBox(box), "CboTaskRequirement",
                               QStringLiteral("Requirement of the task area"));
    form->addRow(QStringLiteral("Tas&k"), CboTaskRequirement);
    BtnAddTask = named(new QPushButton(QStringLiteral("&Add task area"), box), "BtnAddTask",
                       QStringLiteral("Add task area"));
    BtnAddTask->setToolTip(QStringLiteral("Or drag a rectangle on the plan"));
    BtnRemoveTask = named(new QPushButton(QStringLiteral("Remove task area"), box), "BtnRemoveTask",
                          QStringLiteral("Remove task area"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BtnAddTask);
    buttons->addWidget(BtnRemoveTask);
    form->addRow(buttons);
    SpnSurroundingBand =
        metresBox(box, "SpnSurroundingBand", QStringLiteral("Immediate surrounding band"),
                  survey::kLeastSurroundingBand, survey::kLeastSurroundingBand);
    SpnBackgroundBand = metresBox(box, "SpnBackgroundBand", QStringLiteral("Background band"),
                                  survey::kLeastBackgroundBand, survey::kLeastBackgroundBand);
    form->addRow(QStringLiteral("Surrounding band"), SpnSurroundingBand);
    form->addRow(QStringLiteral("Background band"), SpnBackgroundBand);
    return box;
}

QWidget* FrmSurvey::buildRequirement(QWidget* parent) {
    auto* need = new QGroupBox(QStringLiteral("Requirement"), parent);
    auto* needForm = new QFormLayout(need);
    CboRequirement = named(new QComboBox(need), "CboRequirement", QStringLiteral("Requirement"));
    CboRequirement->setEditable(true);
    CboRequirement->setInsertPolicy(QComboBox::NoInsert);
    TxtAverage = named(new QLineEdit(need), "TxtAverage", QStringLiteral("Required average, lux"));
    TxtUniformity =
        named(new QLineEdit(need), "TxtUniformity", QStringLiteral("Least uniformity U0"));
    TxtMinimum = named(new QLineEdit(need), "TxtMinimum", QStringLiteral("Least Emin, lux"));
    TxtMaxRatio = named(new QLineEdit(need), "TxtMaxRatio", QStringLiteral("Largest Emax/Emin"));
    for (QLineEdit* e : {TxtAverage, TxtUniformity, TxtMinimum, TxtMaxRatio})
        e->setPlaceholderText(QStringLiteral("not required"));
    BtnKeepRequirement = named(new QPushButton(QStringLiteral("Re&member"), need),
                               "BtnKeepRequirement", QStringLiteral("Remember requirement"));
    BtnForgetRequirement = named(new QPushButton(QStringLiteral("&Forget"), need),
                                 "BtnForgetRequirement", QStringLiteral("Forget requirement"));
    needForm->addRow(QStringLiteral("Ta&sk"), CboRequirement);
    needForm->addRow(QStringLiteral("Average Ē ≥ (lx)"), TxtAverage);
    needForm->addRow(QStringLiteral("U0 ≥"), TxtUniformity);
    needForm->addRow(QStringLiteral("Emin ≥ (lx)"), TxtMinimum);
    needForm->addRow(QStringLiteral("Emax/Emin ≤"), TxtMaxRatio);
    auto* keep = new QHBoxLayout;
    keep->addWidget(BtnKeepRequirement);
    keep->addWidget(BtnForgetRequirement);
    needForm->addRow(keep);
    return need;
}

QWidget* FrmSurvey::buildWalk(QWidget* parent) {
    // The plan, the point's controls, the results, the file commands.
    auto* right = new QWidget(parent);
    auto* rightLayout = new QVBoxLayout(right);
    auto* unitRow = new QHBoxLayout;
    CboUnit = named(new QComboBox(right), "CboUnit", QStringLiteral("Unit shown"));
    CboUnit->addItem(QStringLiteral("lx"));
    CboUnit->addItem(QStringLiteral("fc"));
    CboUnit->setCurrentText(QSettings().value(kUnitKey, QStringLiteral("lx")).toString());
    auto* unitLabel = new QLabel(QStringLiteral("&Unit"), right);
    unitLabel->setBuddy(CboUnit);
    unitRow->addWidget(unitLabel);
    unitRow->addWidget(CboUnit);
    // In the order of surveyplan::Shown.
    CboShown = named(new QComboBox(right), "CboShown", QStringLiteral("The plan shows"));
    CboShown->addItems({QStringLiteral("With lights"), QStringLiteral("Lights off"),
                        QStringLiteral("Electric light (with less off)"),
                        QStringLiteral("Change since the earlier survey")});
    auto* shownLabel = new QLabel(QStringLiteral("Plan shows"), right);
    shownLabel->setBuddy(CboShown);
    unitRow->addSpacing(12);
    unitRow->addWidget(shownLabel);
    unitRow->addWidget(CboShown);
    unitRow->addStretch(1);
    rightLayout->addLayout(unitRow);
    Plan = named(new SurveyPlanView(right), "Plan", QStringLiteral("Measuring plan"));
    Plan->setFocusPolicy(Qt::StrongFocus);
    Plan->installEventFilter(this);
    rightLayout->addWidget(Plan, 3);
    LblPoint = named(new QLabel(right), "LblPoint", QString());
    LblPoint->setWordWrap(true);
    QFont big = LblPoint->font();
    big.setPointSizeF(big.pointSizeF() * 1.25);
    big.setBold(true);
    LblPoint->setFont(big);
    rightLayout->addWidget(LblPoint);
    auto* pointRow = new QHBoxLayout;
    BtnTake = named(new QPushButton(QStringLiteral("&Take"), right), "BtnTake",
                    QStringLiteral("Take the point"));
    BtnObstructed = named(new QPushButton(QStringLiteral("Obstructed (&X)"), right),
                          "BtnObstructed", QStringLiteral("Mark the point obstructed"));
    TxtValue = named(new QLineEdit(right), "TxtValue", QStringLiteral("Value for the point"));
    TxtValue->setPlaceholderText(QStringLiteral("type a value"));
    BtnSetValue = named(new QPushButton(QStringLiteral("Set &value"), right), "BtnSetValue",
                        QStringLiteral("Set the typed value"));
    pointRow->addWidget(BtnTake);
    pointRow->addWidget(BtnObstructed);
    pointRow->addWidget(TxtValue, 1);
    pointRow->addWidget(BtnSetValue);
    rightLayout->addLayout(pointRow);
    LblVerdict = named(new QLabel(right), "LblVerdict", QString());
    LblVerdict->setFont(big);
    LblVerdict->setWordWrap(true);
    rightLayout->addWidget(LblVerdict);
    TblResults = named(new QTableWidget(0, 4, right), "TblResults", QStringLiteral("Results"));
    TblResults->setHorizontalHeaderLabels({QStringLiteral("Figure"), QStringLiteral("Measured"),
                                           QStringLiteral("Required"), QStringLiteral("Verdict")});
    TblResults->verticalHeader()->hide();
    TblResults->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    TblResults->horizontalHeader()->setStretchLastSection(true);
    TblResults->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TblResults->setTabKeyNavigation(false);
    rightLayout->addWidget(TblResults, 2);
    auto* files = new QHBoxLayout;
    BtnOpen = named(new QPushButton(QStringLiteral("Open…"), right), "BtnOpen",
                    QStringLiteral("Open survey"));
    BtnSave = named(new QPushButton(QStringLiteral("Save…"), right), "BtnSave",
                    QStringLiteral("Save survey"));
    BtnExportCsv = named(new QPushButton(QStringLiteral("Export CSV…"), right), "BtnExportCsv",
                         QStringLiteral("Export points as CSV"));
    BtnReport = named(new QPushButton(QStringLiteral("&Report PDF…"), right), "BtnReport",
                      QStringLiteral("Make the report as PDF"));
    BtnPrint = named(new QPushButton(QStringLiteral("&Print…"), right), "BtnPrint",
                     QStringLiteral("Print the report"));
    for (QPushButton* b : {BtnOpen, BtnSave, BtnExportCsv, BtnReport, BtnPrint})
        files->addWidget(b);
    rightLayout->addLayout(files);
    BtnOpen->setToolTip(QStringLiteral("Open a survey (Ctrl+O)"));
    BtnSave->setToolTip(QStringLiteral("Save the survey (Ctrl+S)"));
    BtnPrint->setToolTip(QStringLiteral("Print the report (Ctrl+P)"));
    return right;
}

void FrmSurvey::wire() {
    for (QPushButton* b : findChildren<QPushButton*>())
        b->setAutoDefault(false);
    for (const auto& [keys, slot] : {std::pair{QKeySequence::Open, &FrmSurvey::open},
                                     std::pair{QKeySequence::Save, &FrmSurvey::save},
                                     std::pair{QKeySequence::Print, &FrmSurvey::print}})
        connect(new QShortcut(keys, this), &QShortcut::activated, this, slot);
    const auto click = [this](QPushButton* b, void (FrmSurvey::*slot)()) {
        connect(b, &QPushButton::clicked, this, slot);
    };
    click(BtnTake, &FrmSurvey::take);
    click(BtnObstructed, &FrmSurvey::toggleObstructed);
    click(BtnSetValue, &FrmSurvey::setTypedValue);
    click(BtnLayOut, &FrmSurvey::layOutGrid);
    click(BtnOutline, &FrmSurvey::editOutline);
    click(BtnAddObstacle, &FrmSurvey::addObstacle);
    click(BtnRemoveObstacle, &FrmSurvey::removeObstacle);
    click(BtnAddTask, &FrmSurvey::addTask);
    click(BtnRemoveTask, &FrmSurvey::removeTask);
    click(BtnOpen, &FrmSurvey::open);
    click(BtnSave, &FrmSurvey::save);
    click(BtnExportCsv, &FrmSurvey::exportCsv);
    click(BtnReport, &FrmSurvey::makeReport);
    click(BtnPrint, &FrmSurvey::print);
    click(BtnKeepRequirement, &FrmSurvey::keepRequirement);
    click(BtnForgetRequirement, &FrmSurvey::forgetRequirement);
    connect(TxtValue, &QLineEdit::returnPressed, this, &FrmSurvey::setTypedValue);
    connect(Plan, &SurveyPlanView::pointClicked, this, &FrmSurvey::select);
    connect(Plan, &SurveyPlanView::rectangleDrawn, this, &FrmSurvey::placeTask);
    for (QDoubleSpinBox* s : {SpnLength, SpnWidth, SpnBand})
        connect(s, &QDoubleSpinBox::valueChanged, this, &FrmSurvey::areaChanged);
    for (QSpinBox* s : {SpnColumns, SpnRows})
        connect(s, &QSpinBox::valueChanged, this, &FrmSurvey::areaChanged);
    connect(ChkByHand, &QCheckBox::toggled, this, &FrmSurvey::areaChanged);
    connect(TxtName, &QLineEdit::textEdited, this, [this](const QString& t) {
        m_survey.name = t;
        m_changed = true;
    });
    connect(SpnHeight, &QDoubleSpinBox::valueChanged, this, [this](double v) {
        if (!m_loading) {
            m_survey.height = v;
            m_changed = true;
        }
    });
    connect(TxtNotes, &QPlainTextEdit::textChanged, this, [this] {
        if (m_loading)
            return;
        // As much as a report lays out at once, and as the file's reader takes.
        if (TxtNotes->document()->characterCount() - 1 > survey::kMostNotesChars) {
            const QSignalBlocker quiet(TxtNotes);
            TxtNotes->setPlainText(TxtNotes->toPlainText().left(survey::kMostNotesChars));
            TxtNotes->moveCursor(QTextCursor::End);
            announce(QStringLiteral("The notes hold at most %1 characters; the rest was left out.")
                         .arg(survey::kMostNotesChars));
        }
        m_survey.notes = TxtNotes->toPlainText();
        m_changed = true;
    });
    connect(CboRequirement, &QComboBox::currentIndexChanged, this, &FrmSurvey::requirementChosen);
    connect(CboRequirement, &QComboBox::editTextChanged, this, &FrmSurvey::requirementEdited);
    for (QLineEdit* e : {TxtAverage, TxtUniformity, TxtMinimum, TxtMaxRatio})
        connect(e, &QLineEdit::textEdited, this, &FrmSurvey::requirementEdited);
    for (QDoubleSpinBox* s : {SpnSurroundingBand, SpnBackgroundBand})
        connect(s, &QDoubleSpinBox::editingFinished, this, &FrmSurvey::areaChanged);
    connect(CboUnit, &QComboBox::currentIndexChanged, this, [this] {
        if (const QString e = remember(kUnitKey, CboUnit->currentText()); !e.isEmpty())
            LblPoint->setText(e);
        refresh();
    });
}

bool FrmSurvey::taking() const {
    return m_taker->taking();
}

survey::Unit FrmSurvey::unit() const {
    return CboUnit->currentText() == QLatin1String("fc") ? survey::footCandles() : survey::lux();
}

QString FrmSurvey::spokenUnit() const {
    return CboUnit->currentText() == QLatin1String("fc") ? QStringLiteral("foot-candles")
                                                         : QStringLiteral("lux");
}

QString FrmSurvey::nameOf(int index) const {
    return index >= 0 && index < m_survey.points.size()
               ? survey::pointName(m_survey, m_survey.points[index])
               : QString();
}

void FrmSurvey::announce(const QString& text) {
    LblPoint->setText(text);
    LblPoint->setAccessibleName(text);
    // The plan has the focus while the user walks: it says the news too.
    Plan->setAccessibleDescription(text);
    // Screen readers say the new text without the user moving to it.
    QAccessibleEvent changed(LblPoint, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&changed);
}

void FrmSurvey::refresh() {
    Plan->setSurvey(m_survey,
                    {unit(), m_current, surveyplan::Shown(std::max(0, CboShown->currentIndex()))});
    fillResults();
    showEvidence();
    const QString verdict = survey::verdict(m_survey);
    const QString missing = survey::missingEvidence(m_survey);
    const QString what =
        m_survey.areas.isEmpty() ? m_survey.requirement.name : QStringLiteral("Every area");
    QString said = verdict.isEmpty()   ? QString()
                   : missing.isEmpty() ? QStringLiteral("%1: %2").arg(what, verdict)
                                       : QStringLiteral("%1: %2 (%3)").arg(what, verdict, missing);
    // What the figures are of, once a lights-off pass has begun.
    if (const QString light = survey::lightNote(m_survey); !light.isEmpty() && !said.isEmpty())
        said += QStringLiteral(". ") + light;
    if (const QString m = survey::maintenanceSentence(m_survey, unit()); !m.isEmpty())
        said += QStringLiteral(". New installation: ") + m;
    LblVerdict->setText(said);
    LblVerdict->setAccessibleName(LblVerdict->text());
    const bool points = !m_survey.points.isEmpty();
    for (QWidget* w : {static_cast<QWidget*>(BtnTake), static_cast<QWidget*>(BtnObstructed),
                       static_cast<QWidget*>(BtnSetValue)})
        w->setEnabled(points);
}

// The results table: the room's figures, or each area's under its name and verdict.
void FrmSurvey::fillResults() {
    const survey::Unit u = unit();
    QList<std::pair<QString, QList<survey::Result>>> parts;
    if (m_survey.areas.isEmpty())
        parts.append({QString(), survey::results(m_survey, u)});
    for (int i = 0; i < m_survey.areas.size(); ++i)
        parts.append({m_survey.areas[i].name, survey::results(m_survey, u, i)});
    int rowCount = 0;
    for (const auto& part : parts)
        rowCount += int(part.second.size()) + (part.first.isEmpty() ? 0 : 1);
    TblResults->setRowCount(rowCount);
    int row = 0;
    for (int p = 0; p < parts.size(); ++p) {
        if (!parts[p].first.isEmpty()) {
            const QString v = survey::verdict(m_survey, p);
            auto* heading = new QTableWidgetItem(parts[p].first);
            QFont bold = heading->font();
            bold.setBold(true);
            heading->setFont(bold);
            TblResults->setItem(row, 0, heading);
            for (int c = 1; c < 4; ++c)
                TblResults->setItem(row, c, new QTableWidgetItem(c == 3 ? v : QString()));
            ++row;
        }
        for (const survey::Result& r : parts[p].second) {
            const QStringList cells{r.what, r.value, r.required, r.verdict};
            for (int c = 0; c < cells.size(); ++c) {
                auto* item = new QTableWidgetItem(cells[c]);
                if (c == 3 && r.verdict.startsWith(QLatin1String("fail"), Qt::CaseInsensitive))
                    item->setForeground(QColor(0xB0, 0x20, 0x20));
                TblResults->setItem(row, c, item);
            }
            ++row;
        }
    }
}

} // namespace lumetra
