#include "survey.h"

#include "graph/heatmapview.h"
#include "link/displaypoll.h"
#include "link/meterexchanges.h"
#include "link/meterlink.h"
#include "link/pointtaker.h"
#include "model/appstate.h"
#include "platform/remembered.h"
#include "platform/wholefile.h"
#include "widgets/dialogs.h"

#include <QAccessible>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QShortcut>
#include <QSpinBox>
#include <QSplitter>
#include <QTableWidget>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace lumetra {
namespace {

const QString kRequirementsKey = QStringLiteral("survey/requirements");
const QString kUnitKey = QStringLiteral("survey/unit");
// The meter gets this long to give its calibration factor and SCF for a report.
constexpr int kMeterReadMs = 8000;

template <typename W> W* named(W* w, const char* name, const QString& accessible) {
    w->setObjectName(QLatin1String(name));
    w->setAccessibleName(accessible);
    return w;
}

// Metres, or feet typed as such ("16 ft", "16'"): a room measured in feet is not converted by
// hand first.
class MetresBox : public QDoubleSpinBox {
public:
    using QDoubleSpinBox::QDoubleSpinBox;

protected:
    QValidator::State validate(QString& input, int& pos) const override {
        if (feet(input))
            return QValidator::Acceptable;
        const QValidator::State state = QDoubleSpinBox::validate(input, pos);
        return state == QValidator::Invalid && feetUnderWay(input) ? QValidator::Intermediate
                                                                   : state;
    }
    double valueFromText(const QString& text) const override {
        if (const auto f = feet(text))
            return inMetres(*f);
        return QDoubleSpinBox::valueFromText(text);
    }
    void fixup(QString& input) const override {
        // Shown in metres once typed in feet.
        if (const auto f = feet(input))
            input = textFromValue(inMetres(*f)) + suffix();
        else
            QDoubleSpinBox::fixup(input);
    }

private:
    // To the centimetre the box shows.
    double inMetres(double feet) const {
        const double scale = std::pow(10.0, decimals());
        return std::round(feet * 0.3048 * scale) / scale;
    }
    // The suffix " m" stays in the box while a length is typed before it.
    QString withoutSuffix(QString text) const {
        if (text.endsWith(suffix()))
            text.chop(suffix().size());
        return text;
    }
    std::optional<double> feet(const QString& typed) const {
        const QString text = withoutSuffix(typed);
        static const QRegularExpression form(
            QStringLiteral("^\\s*(\\d+(?:[.,]\\d*)?)\\s*(?:ft|feet|')\\s*$"));
        const QRegularExpressionMatch m = form.match(text);
        if (!m.hasMatch())
            return std::nullopt;
        bool ok = false;
        const double v =
            QString(m.captured(1)).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
        return ok ? std::optional(v) : std::nullopt;
    }
    bool feetUnderWay(const QString& typed) const {
        static const QRegularExpression form(
            QStringLiteral("^\\s*\\d+(?:[.,]\\d*)?\\s*(?:f|fe|fee|ft|feet|')?\\s*$"));
        return form.match(withoutSuffix(typed)).hasMatch();
    }
};

QDoubleSpinBox* metres(QWidget* parent, const char* name, const QString& accessible, double minimum,
                       double value) {
    auto* s = named(new MetresBox(parent), name, accessible);
    s->setToolTip(QObject::tr("In metres; a length typed in feet (\"16 ft\") is converted"));
    s->setRange(minimum, 1000);
    s->setDecimals(2);
    s->setSingleStep(0.1);
    s->setSuffix(QStringLiteral(" m"));
    s->setValue(value);
    return s;
}

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

} // namespace

FrmSurvey::FrmSurvey(AppState& state, DisplayPoll& display, MeterLink& link, PollTimer& poll,
                     Dialogs& dialogs, QWidget* parent)
    : BusyWindow(parent), m_state(state), m_link(link), m_dialogs(dialogs) {
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
    for (const survey::Requirement& r : m_requirements)
        CboRequirement->addItem(r.name);
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

    // Left: the area, the requirement, the notes.
    auto* left = new QWidget(splitter);
    auto* leftLayout = new QVBoxLayout(left);
    auto* area = new QGroupBox(QStringLiteral("Area"), left);
    auto* areaForm = new QFormLayout(area);
    TxtName = named(new QLineEdit(area), "TxtName", QStringLiteral("Name of the area"));
    TxtName->setMaxLength(survey::kMostNameChars);
    SpnLength = metres(area, "SpnLength", QStringLiteral("Length"), 0.1, 5);
    SpnWidth = metres(area, "SpnWidth", QStringLiteral("Width"), 0.1, 4);
    SpnBand = metres(area, "SpnBand", QStringLiteral("Band along the walls"), 0, 0.5);
    SpnHeight = metres(area, "SpnHeight", QStringLiteral("Measuring height"), 0, 0.85);
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
    areaForm->addRow(QStringLiteral("&Band along the walls"), SpnBand);
    areaForm->addRow(QStringLiteral("Measuring h&eight"), SpnHeight);
    areaForm->addRow(ChkByHand);
    auto* grid = new QHBoxLayout;
    grid->addWidget(SpnColumns);
    grid->addWidget(new QLabel(QStringLiteral("columns ×"), area));
    grid->addWidget(SpnRows);
    grid->addWidget(new QLabel(QStringLiteral("rows"), area));
    areaForm->addRow(QStringLiteral("Points"), grid);
    areaForm->addRow(BtnLayOut);
    leftLayout->addWidget(area);

    auto* need = new QGroupBox(QStringLiteral("Requirement"), left);
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
    leftLayout->addWidget(need);

    auto* notesLabel = new QLabel(QStringLiteral("N&otes for the report"), left);
    TxtNotes = named(new QPlainTextEdit(left), "TxtNotes", QStringLiteral("Notes for the report"));
    TxtNotes->setTabChangesFocus(true);
    notesLabel->setBuddy(TxtNotes);
    leftLayout->addWidget(notesLabel);
    leftLayout->addWidget(TxtNotes, 1);

    // Right: the plan, the point's controls, the results, the file commands.
    auto* right = new QWidget(splitter);
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
    unitRow->addStretch(1);
    rightLayout->addLayout(unitRow);
    Plan = named(new HeatMapView(right), "Plan", QStringLiteral("Measuring plan"));
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
    for (QPushButton* b : {BtnOpen, BtnSave, BtnExportCsv, BtnReport, BtnPrint}) {
        b->setAutoDefault(false);
        files->addWidget(b);
    }
    for (QPushButton* b :
         {BtnLayOut, BtnKeepRequirement, BtnForgetRequirement, BtnTake, BtnObstructed, BtnSetValue})
        b->setAutoDefault(false);
    rightLayout->addLayout(files);
    splitter->setStretchFactor(1, 1);
    BtnOpen->setToolTip(QStringLiteral("Open a survey (Ctrl+O)"));
    BtnSave->setToolTip(QStringLiteral("Save the survey (Ctrl+S)"));
    BtnPrint->setToolTip(QStringLiteral("Print the report (Ctrl+P)"));
    for (const auto& [keys, slot] : {std::pair{QKeySequence::Open, &FrmSurvey::open},
                                     std::pair{QKeySequence::Save, &FrmSurvey::save},
                                     std::pair{QKeySequence::Print, &FrmSurvey::print}})
        connect(new QShortcut(keys, this), &QShortcut::activated, this, slot);

    connect(BtnTake, &QPushButton::clicked, this, &FrmSurvey::take);
    connect(BtnObstructed, &QPushButton::clicked, this, &FrmSurvey::toggleObstructed);
    connect(BtnSetValue, &QPushButton::clicked, this, &FrmSurvey::setTypedValue);
    connect(TxtValue, &QLineEdit::returnPressed, this, &FrmSurvey::setTypedValue);
    connect(Plan, &HeatMapView::cellClicked, this, &FrmSurvey::select);
    connect(BtnLayOut, &QPushButton::clicked, this, &FrmSurvey::layOutGrid);
    connect(BtnOpen, &QPushButton::clicked, this, &FrmSurvey::open);
    connect(BtnSave, &QPushButton::clicked, this, &FrmSurvey::save);
    connect(BtnExportCsv, &QPushButton::clicked, this, &FrmSurvey::exportCsv);
    connect(BtnReport, &QPushButton::clicked, this, &FrmSurvey::makeReport);
    connect(BtnPrint, &QPushButton::clicked, this, &FrmSurvey::print);
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
        if (!m_loading) {
            // As much as a report lays out at once, and as the file's reader takes.
            if (TxtNotes->document()->characterCount() - 1 > survey::kMostNotesChars) {
                const QSignalBlocker quiet(TxtNotes);
                TxtNotes->setPlainText(TxtNotes->toPlainText().left(survey::kMostNotesChars));
                TxtNotes->moveCursor(QTextCursor::End);
                announce(QStringLiteral("The notes hold at most %1 characters; the rest was left "
                                        "out.")
                             .arg(survey::kMostNotesChars));
            }
            m_survey.notes = TxtNotes->toPlainText();
            m_changed = true;
        }
    });
    connect(CboRequirement, &QComboBox::currentIndexChanged, this, &FrmSurvey::requirementChosen);
    connect(CboRequirement, &QComboBox::editTextChanged, this, &FrmSurvey::requirementEdited);
    for (QLineEdit* e : {TxtAverage, TxtUniformity, TxtMinimum, TxtMaxRatio})
        connect(e, &QLineEdit::textEdited, this, &FrmSurvey::requirementEdited);
    connect(BtnKeepRequirement, &QPushButton::clicked, this, &FrmSurvey::keepRequirement);
    connect(BtnForgetRequirement, &QPushButton::clicked, this, &FrmSurvey::forgetRequirement);
    connect(CboUnit, &QComboBox::currentIndexChanged, this, [this] {
        if (const QString e = remember(kUnitKey, CboUnit->currentText()); !e.isEmpty())
            LblPoint->setText(e);
        refresh();
    });
    resize(1100, 720);
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

// The grid the area asks for (by the rule, or by hand), shown in the row and column boxes.
void FrmSurvey::showGridOfArea() {
    const bool byHand = ChkByHand->isChecked();
    SpnColumns->setEnabled(byHand);
    SpnRows->setEnabled(byHand);
    if (byHand)
        return;
    if (const auto g = survey::gridFor(SpnLength->value(), SpnWidth->value(), SpnBand->value())) {
        const QSignalBlocker a(SpnColumns), b(SpnRows);
        SpnColumns->setValue(g->columns);
        SpnRows->setValue(g->rows);
    }
}

void FrmSurvey::areaChanged() {
    if (m_loading)
        return;
    showGridOfArea();
    const bool any = std::any_of(m_survey.points.begin(), m_survey.points.end(),
                                 [](const survey::Point& p) { return p.lux || p.obstructed; });
    if (!any) {
        layOutGrid(); // nothing taken yet: the plan follows the area at once
        return;
    }
    LblPoint->setText(QStringLiteral("The area changed: press Lay out grid to use it. The "
                                     "points taken are then emptied."));
}

void FrmSurvey::layOutGrid() {
    if (busy().held())
        return; // the report being made is of the survey as it stands
    const double length = SpnLength->value(), width = SpnWidth->value(), band = SpnBand->value();
    if (!survey::gridFor(length, width, band)) {
        m_dialogs.message(this,
                          QStringLiteral("The band along the walls leaves no area to measure: "
                                         "make it narrower than half the width."),
                          MessageIcon::Warning);
        return;
    }
    if (qint64(SpnRows->value()) * SpnColumns->value() > survey::kMostPoints) {
        m_dialogs.message(this,
                          QStringLiteral("A grid of %1 points is more than a survey takes (at most "
                                         "%2): choose fewer rows or columns.")
                              .arg(qint64(SpnRows->value()) * SpnColumns->value())
                              .arg(survey::kMostPoints),
                          MessageIcon::Warning);
        return;
    }
    const int taken = int(std::count_if(m_survey.points.begin(), m_survey.points.end(),
                                        [](const survey::Point& p) { return p.lux.has_value(); }));
    if (taken > 0 &&
        m_dialogs.message(this,
                          QStringLiteral("Laying out the grid again empties the %1 points "
                                         "taken. Go on?")
                              .arg(taken),
                          MessageIcon::Question, MessageButtons::YesNo) != MessageResult::Yes)
        return;
    m_taker->cancel();
    m_takingAt = -1;
    m_survey.length = length;
    m_survey.width = width;
    m_survey.band = band;
    m_survey.height = SpnHeight->value();
    showGridOfArea();
    survey::layOut(m_survey, SpnRows->value(), SpnColumns->value());
    m_current = 0;
    m_changed = m_changed || taken > 0;
    announce(QStringLiteral("%1 points, %2 columns by %3 rows; first %4")
                 .arg(m_survey.points.size())
                 .arg(m_survey.columns)
                 .arg(m_survey.rows)
                 .arg(survey::pointName(0, 0)));
    refresh();
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
    m_loading = false;
    if (m_requirements.isEmpty()) {
        // The list never ends empty: the common tasks come back.
        m_requirements = survey::builtInRequirements();
        m_loading = true;
        for (const survey::Requirement& r : m_requirements)
            CboRequirement->addItem(r.name);
        m_loading = false;
    }
    storeRequirements();
    requirementChosen(CboRequirement->currentIndex());
}

void FrmSurvey::storeRequirements() {
    if (const QString e = remember(kRequirementsKey, survey::requirementsJson(m_requirements));
        !e.isEmpty())
        m_dialogs.message(this, e, MessageIcon::Warning);
}

int FrmSurvey::nextToTake(int index) const {
    const QList<int> order = survey::walkOrder(m_survey.rows, m_survey.columns);
    const qsizetype at = order.indexOf(index);
    if (at >= 0 && at + 1 < order.size())
        return order[at + 1];
    for (int i : order) {
        const survey::Point& p = m_survey.points[i];
        if (!p.lux && !p.obstructed)
            return i;
    }
    return -1;
}

void FrmSurvey::take() {
    if (m_survey.points.isEmpty() || taking() || busy().held())
        return;
    m_takingAt = m_current;
    const survey::Point& p = m_survey.points[m_current];
    announce(QStringLiteral("Taking %1…").arg(survey::pointName(p.row, p.column)));
    m_taker->take();
}

void FrmSurvey::taken(double lux, bool typed) {
    if (m_takingAt < 0 || m_takingAt >= m_survey.points.size())
        return;
    survey::Point& p = m_survey.points[m_takingAt];
    p.lux = lux;
    p.typed = typed;
    p.obstructed = false;
    p.taken = QDateTime::currentDateTime();
    m_changed = true;
    const QString name = survey::pointName(p.row, p.column);
    const int next = nextToTake(m_takingAt);
    m_takingAt = -1;
    QString text =
        QStringLiteral("%1, %2 %3; ").arg(name, survey::illuminance(lux, unit()), spokenUnit());
    if (next >= 0) {
        m_current = next;
        const survey::Point& n = m_survey.points[next];
        text += QStringLiteral("next %1").arg(survey::pointName(n.row, n.column));
    } else {
        text += QStringLiteral("every point is taken");
    }
    announce(text);
    refresh();
}

void FrmSurvey::refused(const QString& text) {
    m_takingAt = -1;
    announce(text);
    m_dialogs.message(this, text, MessageIcon::Warning);
}

void FrmSurvey::retakePrevious() {
    if (m_survey.points.isEmpty() || busy().held())
        return;
    const QList<int> order = survey::walkOrder(m_survey.rows, m_survey.columns);
    const qsizetype at = order.indexOf(m_current);
    if (at > 0)
        select(order[at - 1]);
    take();
}

void FrmSurvey::toggleObstructed() {
    if (m_survey.points.isEmpty() || taking() || busy().held())
        return;
    survey::Point& p = m_survey.points[m_current];
    p.obstructed = !p.obstructed;
    m_changed = true;
    const QString name = survey::pointName(p.row, p.column);
    if (!p.obstructed) {
        announce(QStringLiteral("%1 is no longer obstructed").arg(name));
        refresh();
        return;
    }
    QString text = QStringLiteral("%1 obstructed, left out; ").arg(name);
    const int next = nextToTake(m_current);
    if (next >= 0) {
        m_current = next;
        text += QStringLiteral("next %1").arg(
            survey::pointName(m_survey.points[next].row, m_survey.points[next].column));
    } else {
        text += QStringLiteral("every point is taken");
    }
    announce(text);
    refresh();
}

void FrmSurvey::clearPoint() {
    if (m_survey.points.isEmpty() || taking() || busy().held())
        return;
    survey::Point& p = m_survey.points[m_current];
    p.lux.reset();
    p.obstructed = false;
    p.taken = {};
    m_changed = true;
    announce(QStringLiteral("%1 emptied").arg(survey::pointName(p.row, p.column)));
    refresh();
}

void FrmSurvey::select(int index) {
    if (index < 0 || index >= m_survey.points.size() || busy().held())
        return;
    if (taking()) {
        // The reading belongs to the point the user stood at.
        m_taker->cancel();
        m_takingAt = -1;
    }
    m_current = index;
    const survey::Point& p = m_survey.points[index];
    QString text = survey::pointName(p.row, p.column);
    if (p.obstructed)
        text += QStringLiteral(", obstructed");
    else if (p.lux)
        text += QStringLiteral(", %1 %2").arg(survey::illuminance(*p.lux, unit()), spokenUnit());
    else
        text += QStringLiteral(", not taken");
    announce(text);
    refresh();
}

void FrmSurvey::moveBy(int rows, int columns) {
    if (m_survey.points.isEmpty())
        return;
    const int r = std::clamp(m_current / m_survey.columns + rows, 0, m_survey.rows - 1);
    const int c = std::clamp(m_current % m_survey.columns + columns, 0, m_survey.columns - 1);
    select(r * m_survey.columns + c);
}

void FrmSurvey::setTypedValue() {
    if (m_survey.points.isEmpty() || busy().held())
        return;
    bool ok = false;
    const QString t = TxtValue->text().trimmed();
    double v = QLocale().toDouble(t, &ok);
    if (!ok)
        v = QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(v) || v < 0) {
        m_dialogs.message(this,
                          QStringLiteral("Type the illuminance at the point as a number of %1.")
                              .arg(spokenUnit()),
                          MessageIcon::Warning);
        return;
    }
    m_taker->cancel();
    m_takingAt = m_current;
    TxtValue->clear();
    taken(v / unit().perLux, true);
    Plan->setFocus(Qt::OtherFocusReason);
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
    const survey::Unit u = unit();
    Plan->setMap(surveyreport::planOf(m_survey, u, m_current));
    const QList<survey::Result> rows = survey::results(m_survey, u);
    TblResults->setRowCount(int(rows.size()));
    for (int i = 0; i < rows.size(); ++i) {
        const survey::Result& r = rows[i];
        const QStringList cells{r.what, r.value, r.required, r.verdict};
        for (int c = 0; c < cells.size(); ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            if (c == 3 && r.verdict == QLatin1String("FAIL"))
                item->setForeground(QColor(0xB0, 0x20, 0x20));
            TblResults->setItem(i, c, item);
        }
    }
    const QString verdict = survey::verdict(m_survey);
    const QString missing = survey::missingEvidence(m_survey);
    LblVerdict->setText(
        verdict.isEmpty() ? QString()
        : missing.isEmpty()
            ? QStringLiteral("%1: %2").arg(m_survey.requirement.name, verdict)
            : QStringLiteral("%1: %2 (%3)").arg(m_survey.requirement.name, verdict, missing));
    LblVerdict->setAccessibleName(LblVerdict->text());
    const bool points = !m_survey.points.isEmpty();
    for (QWidget* w : {static_cast<QWidget*>(BtnTake), static_cast<QWidget*>(BtnObstructed),
                       static_cast<QWidget*>(BtnSetValue)})
        w->setEnabled(points);
}

void FrmSurvey::loadIntoControls() {
    m_loading = true;
    TxtName->setText(m_survey.name);
    SpnLength->setValue(m_survey.length);
    SpnWidth->setValue(m_survey.width);
    SpnBand->setValue(m_survey.band);
    SpnHeight->setValue(m_survey.height);
    const auto g = survey::gridFor(m_survey.length, m_survey.width, m_survey.band);
    ChkByHand->setChecked(!g || g->rows != m_survey.rows || g->columns != m_survey.columns);
    SpnColumns->setValue(m_survey.columns);
    SpnRows->setValue(m_survey.rows);
    SpnColumns->setEnabled(ChkByHand->isChecked());
    SpnRows->setEnabled(ChkByHand->isChecked());
    const int known = CboRequirement->findText(m_survey.requirement.name);
    if (known >= 0)
        CboRequirement->setCurrentIndex(known);
    CboRequirement->setEditText(m_survey.requirement.name);
    TxtAverage->setText(criterionText(m_survey.requirement.average));
    TxtUniformity->setText(criterionText(m_survey.requirement.uniformity));
    TxtMinimum->setText(criterionText(m_survey.requirement.minimum));
    TxtMaxRatio->setText(criterionText(m_survey.requirement.maxOverMin));
    TxtNotes->setPlainText(m_survey.notes);
    m_loading = false;
    const int next = nextToTake(-1);
    m_current = next >= 0 ? next : 0;
    refresh();
}

bool FrmSurvey::askToDropChanges(const QString& question) {
    if (!m_changed)
        return true;
    switch (m_dialogs.message(this, question, MessageIcon::Question,
                              MessageButtons::SaveDiscardCancel)) {
    case MessageResult::Save:
        save();
        return !m_changed; // saved, not cancelled or refused by the disk
    case MessageResult::Discard:
        return true;
    default:
        return false;
    }
}

void FrmSurvey::open() {
    // A point being taken belongs to this survey: it is finished (or refused) first.
    if (busy().held() || taking() ||
        !askToDropChanges(QStringLiteral("The survey has changes not saved. Save them before "
                                         "another is opened?")))
        return;
    const QString path = m_dialogs.openFile(this, filter());
    if (path.isEmpty())
        return;
    QString error;
    const auto bytes = readSmallFile(path, survey::kMostFileBytes, error);
    if (!bytes) {
        m_dialogs.message(
            this, QStringLiteral("%1 could not be read.").arg(QDir::toNativeSeparators(path)),
            MessageIcon::Error, MessageButtons::Ok, {}, error);
        return;
    }
    QString shortened;
    const auto s = survey::fromJson(*bytes, error, &shortened);
    if (!s) {
        m_dialogs.message(
            this, error.isEmpty() ? QStringLiteral("This is no survey file of Lumetra.") : error,
            MessageIcon::Error, MessageButtons::Ok, {}, QDir::toNativeSeparators(path));
        return;
    }
    m_taker->cancel();
    m_takingAt = -1;
    m_survey = *s;
    loadIntoControls();
    m_changed = false;
    m_dropAgreed = false;
    announce(QStringLiteral("%1 opened: %2 points")
                 .arg(QFileInfo(path).fileName())
                 .arg(m_survey.points.size()));
    // Said once the survey is in place: the message box lets events run.
    if (!shortened.isEmpty())
        m_dialogs.message(this, shortened, MessageIcon::Information);
}

void FrmSurvey::save() {
    if (m_survey.points.isEmpty())
        return;
    QString path = m_dialogs.saveFile(this, filter());
    if (path.isEmpty())
        return;
    if (const QString e = saveWholeFile(path, survey::toJson(m_survey)); !e.isEmpty()) {
        m_dialogs.message(this,
                          QStringLiteral("The survey could not be saved to %1.")
                              .arg(QDir::toNativeSeparators(path)),
                          MessageIcon::Error, MessageButtons::Ok, {}, e);
        return;
    }
    m_changed = false;
    m_dropAgreed = false;
    announce(QStringLiteral("Saved to %1").arg(QFileInfo(path).fileName()));
}

void FrmSurvey::exportCsv() {
    if (m_survey.points.isEmpty())
        return;
    const QString path = m_dialogs.saveFile(this, QStringLiteral("CSV Files (*.csv)|*.csv|"));
    if (path.isEmpty())
        return;
    if (const QString e = saveWholeFile(path, survey::pointsCsv(m_survey)); !e.isEmpty())
        m_dialogs.message(this,
                          QStringLiteral("The points could not be saved to %1.")
                              .arg(QDir::toNativeSeparators(path)),
                          MessageIcon::Error, MessageButtons::Ok, {}, e);
}

surveyreport::Extras FrmSurvey::reportExtras(bool askMeter) {
    surveyreport::Extras extras;
    extras.unit = unit();
    extras.made = QDateTime::currentDateTime();
    if (!askMeter || !m_state.display.linkAlive) {
        extras.meterNote = surveyreport::noMeterNote();
        return extras;
    }
    const auto hold = busy().tryHold();
    if (!hold) {
        extras.meterNote = QStringLiteral("The meter was busy with another exchange: its "
                                          "calibration factor and SCF are not stated.");
        return extras;
    }
    announce(QStringLiteral("Reading the meter's calibration factor and SCF…"));
    // A meter that stops answering does not keep the report waiting.
    QTimer limit;
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, this, [this] { busy().abandonWaits(); });
    limit.start(kMeterReadMs);
    m_link.flush();
    extras.calibration = exchange::readCalibrationFactor(m_link);
    if (extras.calibration && limit.isActive()) {
        m_link.flush();
        if (const auto r = exchange::readScf(m_link))
            extras.scf = QStringLiteral("%1%2 %3")
                             .arg(r->entry < 10 ? QLatin1Char('L') : QLatin1Char('U'))
                             .arg(r->entry % 10)
                             .arg(r->factor);
    }
    m_link.flush();
    if (!extras.calibration || !extras.scf)
        extras.meterNote = QStringLiteral("The meter did not give its %1 when the report was "
                                          "made.")
                               .arg(extras.calibration ? QStringLiteral("SCF")
                                                       : QStringLiteral("calibration factor and "
                                                                        "SCF"));
    return extras;
}

void FrmSurvey::makeReport() {
    if (m_survey.points.isEmpty() || busy().held())
        return;
    const QString path = m_dialogs.saveFile(this, QStringLiteral("PDF Files (*.pdf)|*.pdf|"));
    if (path.isEmpty())
        return;
    const surveyreport::Extras extras = reportExtras(true);
    if (!isVisible())
        return; // closed while the meter was asked: nothing is written
    const auto bytes = surveyreport::pdf(m_survey, extras);
    const QString e =
        bytes ? saveWholeFile(path, *bytes) : QStringLiteral("The PDF could not be drawn.");
    if (!e.isEmpty()) {
        m_dialogs.message(this,
                          QStringLiteral("The report could not be saved to %1.")
                              .arg(QDir::toNativeSeparators(path)),
                          MessageIcon::Error, MessageButtons::Ok, {}, e);
        return;
    }
    announce(QStringLiteral("Report saved to %1").arg(QFileInfo(path).fileName()));
}

void FrmSurvey::print() {
    if (m_survey.points.isEmpty() || busy().held())
        return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageMargins(QMarginsF(18, 15, 18, 15), QPageLayout::Millimeter);
    if (!m_dialogs.printerSetup(this, printer))
        return;
    const surveyreport::Extras extras = reportExtras(true);
    if (!isVisible())
        return;
    if (!surveyreport::paint(printer, m_survey, extras))
        m_dialogs.message(this, QStringLiteral("The printer could not be started."),
                          MessageIcon::Error);
}

bool FrmSurvey::eventFilter(QObject* watched, QEvent* event) {
    if (watched != Plan || event->type() != QEvent::KeyPress)
        return BusyWindow::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    switch (key->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        take();
        return true;
    case Qt::Key_Backspace:
        retakePrevious();
        return true;
    case Qt::Key_X:
        toggleObstructed();
        return true;
    case Qt::Key_Delete:
        clearPoint();
        return true;
    case Qt::Key_Left:
        moveBy(0, -1);
        return true;
    case Qt::Key_Right:
        moveBy(0, 1);
        return true;
    case Qt::Key_Up:
        moveBy(-1, 0);
        return true;
    case Qt::Key_Down:
        moveBy(1, 0);
        return true;
    default:
        break;
    }
    const QString text = key->text();
    if (text.size() == 1 &&
        (text[0].isDigit() || text[0] == QLatin1Char('.') || text[0] == QLatin1Char(','))) {
        // A value typed on the plan goes into the value box.
        TxtValue->setFocus(Qt::OtherFocusReason);
        TxtValue->setText(text);
        return true;
    }
    return false;
}

bool FrmSurvey::mayClose() {
    if (m_dropAgreed || !m_changed || m_survey.points.isEmpty())
        return true;
    m_dropAgreed = askToDropChanges(QStringLiteral("The survey has changes not saved. Save them "
                                                   "before it closes?"));
    return m_dropAgreed;
}

void FrmSurvey::closeEvent(QCloseEvent* event) {
    if (!busy().held() && !mayClose()) {
        event->ignore();
        return;
    }
    m_taker->cancel();
    BusyWindow::closeEvent(event);
}

} // namespace lumetra
