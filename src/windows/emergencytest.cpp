#include "emergencytest.h"

#include "graph/emergencycurve.h"
#include "graph/emergencyreport.h"
#include "link/emergencyrun.h"
#include "link/pointtaker.h"
#include "model/appstate.h"
#include "platform/clock.h"
#include "platform/remembered.h"
#include "platform/wholefile.h"
#include "widgets/dialogs.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QShortcut>
#include <QStandardPaths>
#include <QVBoxLayout>

#include <cmath>

namespace lumetra {
namespace {

const QString kKeys = QStringLiteral("emergency/");
constexpr qint64 kMostLogBookBytes = 64LL << 20;

QString remembered(const QString& key, const QString& otherwise = {}) {
    return QSettings().value(kKeys + key, otherwise).toString();
}

QLabel* named(QLabel* label, const QString& description) {
    label->setAccessibleDescription(description);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    return label;
}

} // namespace

FrmEmergency::FrmEmergency(AppState& state, DisplayPoll& display, Clock& clock, Dialogs& dialogs,
                           QWidget* parent)
    : BusyWindow(parent), m_state(state), m_clock(clock), m_dialogs(dialogs), m_samples(state) {
    setWindowTitle(QStringLiteral("Emergency Test"));
    setAttribute(Qt::WA_DeleteOnClose);
    m_taker = new PointTaker(state, display, this);
    build();
    m_tick.setInterval(int(emergency::kResolutionS * 1000));
    m_tick.setTimerType(Qt::PreciseTimer);
    connect(&m_tick, &QTimer::timeout, this, &FrmEmergency::sample);
    connect(m_taker, &PointTaker::taken, this, [this](double lux, int) {
        if (!walking())
            return;
        const QString name = QStringLiteral("P%1").arg(m_run->input().walk.size() + 1);
        m_run->addWalkPoint(name, lux);
        const emergency::WalkPoint& p = m_run->input().walk.last();
        LstWalk->addItem(QStringLiteral("%1 at %2: %3")
                             .arg(p.name, emergency::durationText(p.tS), emergency::luxText(lux)));
        LstWalk->setAccessibleDescription(LstWalk->item(LstWalk->count() - 1)->text());
        showRun();
    });
    connect(m_taker, &PointTaker::refused, this,
            [this](const QString& why) { m_dialogs.message(this, why, MessageIcon::Warning); });
    m_logBook = remembered(QStringLiteral("logbook"));
    if (m_logBook.isEmpty())
        m_logBook = QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
                        .filePath(QStringLiteral("emergency-log.jsonl"));
    LblLogBook->setText(QDir::toNativeSeparators(m_logBook));
    showHistory();
    showRun();
}

FrmEmergency::~FrmEmergency() = default;

QLayout* FrmEmergency::buildForm() {
    CboRule = new QComboBox(this);
    for (const emergency::Rule& r : emergency::rules())
        CboRule->addItem(r.name, r.id);
    CboRule->addItem(QStringLiteral("Typed rule"), emergency::kTypedRuleId);
    CboRule->setCurrentIndex(std::max(0, CboRule->findData(remembered(QStringLiteral("rule")))));
    CboRule->setAccessibleName(QStringLiteral("Rule"));
    auto* typed = buildTypedRule();
    CboDuration = new QComboBox(this);
    CboDuration->setEditable(true);
    CboDuration->addItems({QStringLiteral("1 h"), QStringLiteral("1.5 h"), QStringLiteral("3 h")});
    CboDuration->setCurrentText(remembered(QStringLiteral("duration"), QStringLiteral("1 h")));
    CboDuration->setAccessibleName(QStringLiteral("Rated duration"));
    CboDuration->setToolTip(QStringLiteral("1 h, 1.5 h, 3 h, or any duration typed (\"90 min\", "
                                           "\"20 s\"), down to 10 s for a demonstration"));
    TxtLocation = new QLineEdit(remembered(QStringLiteral("location")), this);
    TxtLuminaire = new QLineEdit(remembered(QStringLiteral("luminaire")), this);
    TxtTester = new QLineEdit(remembered(QStringLiteral("tester")), this);
    TxtLocation->setAccessibleName(QStringLiteral("Location"));
    TxtLuminaire->setAccessibleName(QStringLiteral("Luminaire"));
    TxtTester->setAccessibleName(QStringLiteral("Tester"));
    connect(TxtLocation, &QLineEdit::editingFinished, this, &FrmEmergency::showHistory);
    LblLogBook = named(new QLabel(this), QStringLiteral("Log book"));
    BtnLogBook = new QPushButton(QStringLiteral("&Log Book…"), this);
    connect(BtnLogBook, &QPushButton::clicked, this, &FrmEmergency::chooseLogBook);
    auto* book = new QHBoxLayout;
    book->addWidget(LblLogBook, 1);
    book->addWidget(BtnLogBook);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Rule:"), CboRule);
    form->addRow(typed);
    form->addRow(QStringLiteral("Rated &duration:"), CboDuration);
    form->addRow(QStringLiteral("L&ocation:"), TxtLocation);
    form->addRow(QStringLiteral("Lumi&naire:"), TxtLuminaire);
    form->addRow(QStringLiteral("T&ester:"), TxtTester);
    form->addRow(QStringLiteral("Log book:"), book);
    return form;
}

void FrmEmergency::build() {
    QLayout* form = buildForm();
    BtnStart = new QPushButton(QStringLiteral("&Start"), this);
    BtnStop = new QPushButton(QStringLiteral("S&top"), this);
    BtnStart->setToolTip(
        QStringLiteral("Start, then cut the mains: the failure is found by itself"));
    connect(BtnStart, &QPushButton::clicked, this, &FrmEmergency::start);
    connect(BtnStop, &QPushButton::clicked, this, &FrmEmergency::stop);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BtnStart);
    buttons->addWidget(BtnStop);
    buttons->addStretch(1);

    Curve = new EmergencyCurve(this);
    auto* space =
        new QShortcut(QKeySequence(Qt::Key_Space), Curve, nullptr, nullptr, Qt::WidgetShortcut);
    connect(space, &QShortcut::activated, this, &FrmEmergency::takePoint);
    LblState = named(new QLabel(this), QStringLiteral("State of the test"));
    QFont big = LblState->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    big.setBold(true);
    LblState->setFont(big);
    LblFigures = named(new QLabel(this), QStringLiteral("Figures of the test"));
    LblFigures->setWordWrap(true);

    BtnTakePoint = new QPushButton(QStringLiteral("Take &Point (Space on the curve)"), this);
    connect(BtnTakePoint, &QPushButton::clicked, this, &FrmEmergency::takePoint);
    LstWalk = new QListWidget(this);
    LstWalk->setAccessibleName(QStringLiteral("Walk points"));
    LstWalk->setMaximumHeight(90);
    TxtRemarks = new QPlainTextEdit(this);
    TxtRemarks->setAccessibleName(QStringLiteral("Remarks"));
    TxtRemarks->setTabChangesFocus(true);
    TxtRemarks->setMaximumHeight(70);
    BtnSave = new QPushButton(QStringLiteral("Save to Log &Book"), this);
    connect(BtnSave, &QPushButton::clicked, this, &FrmEmergency::saveEntry);
    LstHistory = new QListWidget(this);
    LstHistory->setAccessibleName(QStringLiteral("Earlier tests here"));
    LstHistory->setMaximumHeight(100);

    BtnPrint = new QPushButton(QStringLiteral("P&rint…"), this);
    connect(BtnPrint, &QPushButton::clicked, this, &FrmEmergency::print);
    auto* saving = new QHBoxLayout;
    saving->addWidget(BtnSave);
    saving->addWidget(BtnPrint);
    saving->addStretch(1);
    auto* walk = new QHBoxLayout;
    walk->addWidget(BtnTakePoint);
    walk->addWidget(LstWalk, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->addWidget(LblState);
    layout->addWidget(Curve, 1);
    layout->addWidget(LblFigures);
    layout->addLayout(walk);
    layout->addWidget(new QLabel(QStringLiteral("Remarks:"), this));
    layout->addWidget(TxtRemarks);
    layout->addLayout(saving);
    layout->addWidget(new QLabel(QStringLiteral("Earlier tests here:"), this));
    layout->addWidget(LstHistory);
}

// A rule the standards' table does not hold: its figures, typed once and remembered.
QLayout* FrmEmergency::buildTypedRule() {
    const auto spin = [this](double low, double high, double step, const QString& suffix,
                             const QString& spoken) {
        auto* box = new QDoubleSpinBox(this);
        box->setRange(low, high);
        box->setDecimals(2);
        box->setSingleStep(step);
        box->setSuffix(suffix);
        box->setAccessibleName(spoken); // the words a screen reader says
        return box;
    };
    SpnMinimum = spin(0.05, 10000, 0.5, QStringLiteral(" lx"), QStringLiteral("Minimum"));
    SpnHalfWithin = spin(0, 600, 1, QStringLiteral(" s"), QStringLiteral("50 % within"));
    SpnHalfWithin->setSpecialValueText(QStringLiteral("no limit"));
    SpnFullWithin = spin(0.25, 600, 1, QStringLiteral(" s"), QStringLiteral("100 % within"));
    SpnRatio = spin(1, 1000, 1, QStringLiteral(" : 1"), QStringLiteral("Emax/Emin at most"));
    const emergency::Rule r = emergency::ruleOfJson(remembered(QStringLiteral("typed")).toUtf8())
                                  .value_or(emergency::typedRule(1, 5, 60, 40));
    SpnMinimum->setValue(r.minimumLux);
    SpnHalfWithin->setValue(std::max(0.0, r.t50LimitS));
    SpnFullWithin->setValue(r.t100LimitS);
    SpnRatio->setValue(r.ratioMax);
    GrpTypedRule = new QGroupBox(QStringLiteral("Typed rule"), this);
    auto* row = new QHBoxLayout(GrpTypedRule);
    for (auto [label, box] : {std::pair{QStringLiteral("&Minimum:"), SpnMinimum},
                              std::pair{QStringLiteral("50 % &within:"), SpnHalfWithin},
                              std::pair{QStringLiteral("100 % w&ithin:"), SpnFullWithin},
                              std::pair{QStringLiteral("Emax/Emin &at most:"), SpnRatio}}) {
        auto* l = new QLabel(label, GrpTypedRule);
        l->setBuddy(box);
        row->addWidget(l);
        row->addWidget(box);
    }
    const auto showTyped = [this] {
        GrpTypedRule->setVisible(CboRule->currentData().toString() == emergency::kTypedRuleId);
    };
    connect(CboRule, &QComboBox::currentIndexChanged, this, showTyped);
    showTyped();
    auto* layout = new QVBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(GrpTypedRule);
    return layout;
}

emergency::Rule FrmEmergency::typedRule() const {
    return emergency::typedRule(SpnMinimum->value(),
                                SpnHalfWithin->value() > 0 ? SpnHalfWithin->value() : -1,
                                SpnFullWithin->value(), SpnRatio->value());
}

emergency::Rule FrmEmergency::chosenRule() const {
    const QString id = CboRule->currentData().toString();
    return id == emergency::kTypedRuleId ? typedRule() : *emergency::ruleById(id);
}

void FrmEmergency::print() {
    if (!m_run || !m_run->assessment().failureFound)
        return;
    QPrinter printer;
    if (!m_dialogs.printerSetup(this, printer))
        return;
    if (!emergencyreport::paint(printer, m_run->input(), m_run->assessment(), m_meta))
        m_dialogs.message(this, QStringLiteral("The report could not be printed."),
                          MessageIcon::Error);
}

std::optional<double> FrmEmergency::durationOf(const QString& text) {
    static const QRegularExpression form(
        QStringLiteral("^\\s*(\\d+(?:[.,]\\d*)?|[.,]\\d+)\\s*(h|min|m|s)?\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const double v = QString(m.captured(1)).replace(QLatin1Char(','), QLatin1Char('.')).toDouble();
    const QString unit = m.captured(2).toLower();
    const double seconds = unit == QLatin1String("h")          ? v * 3600
                           : unit.startsWith(QLatin1Char('m')) ? v * 60
                                                               : v;
    if (!(seconds >= 10 && seconds <= 86400))
        return std::nullopt;
    return std::round(seconds);
}

bool FrmEmergency::running() const {
    return m_run && !m_run->over();
}

void FrmEmergency::rememberFields() {
    const QList<std::pair<QString, QString>> fields{
        {QStringLiteral("rule"), CboRule->currentData().toString()},
        {QStringLiteral("duration"), CboDuration->currentText()},
        {QStringLiteral("location"), TxtLocation->text()},
        {QStringLiteral("luminaire"), TxtLuminaire->text()},
        {QStringLiteral("tester"), TxtTester->text()},
        {QStringLiteral("logbook"), m_logBook},
        {QStringLiteral("typed"), QString::fromUtf8(emergency::ruleJson(typedRule()))}};
    for (const auto& [key, value] : fields) {
        if (const QString e = remember(kKeys + key, value); !e.isEmpty()) {
            m_dialogs.message(this, e, MessageIcon::Warning);
            return;
        }
    }
}

void FrmEmergency::start() {
    if (running())
        return;
    if (!m_saved && !saveEntry())
        return; // the last test stays until it is in the log book
    const auto rated = durationOf(CboDuration->currentText());
    if (!rated) {
        m_dialogs.message(this,
                          QStringLiteral("Type the rated duration as 1 h, 1.5 h, 90 min or "
                                         "20 s, from 10 s to 24 h."),
                          MessageIcon::Error);
        return;
    }
    if (TxtLocation->text().trimmed().isEmpty()) {
        m_dialogs.message(this, QStringLiteral("Type where the test runs (the location)."),
                          MessageIcon::Error);
        return;
    }
    rememberFields();
    m_meta = {};
    m_meta.started = m_clock.now();
    m_meta.location = TxtLocation->text().trimmed();
    m_meta.luminaire = TxtLuminaire->text().trimmed();
    m_meta.tester = TxtTester->text().trimmed();
    m_meta.samplesFile = emergency::samplesBeside(m_logBook, m_meta.location, m_meta.started);
    const emergency::Rule rule = chosenRule();
    auto run = std::make_unique<EmergencyRun>(
        EmergencyRun::Options{rule, *rated, m_meta.samplesFile}, m_clock);
    // The documents folder of a new account may not be there yet.
    QDir().mkpath(QFileInfo(m_logBook).absolutePath());
    QString error;
    if (!run->open(error)) {
        m_dialogs.message(this, error, MessageIcon::Error);
        return;
    }
    connect(run.get(), &EmergencyRun::finished, this, &FrmEmergency::finished);
    connect(run.get(), &EmergencyRun::said, this, [this](const QString& text) {
        m_warning = text;
        showRun();
    });
    m_taker->cancel(); // a point of the last test never lands in this one
    m_warning.clear();
    m_run = std::move(run);
    m_samples.reset();
    LstWalk->clear();
    TxtRemarks->clear();
    m_tick.start();
    showRun();
    Curve->setFocus(Qt::OtherFocusReason);
}

void FrmEmergency::stop() {
    if (running())
        m_run->stop();
}

bool FrmEmergency::walking() const {
    return m_run && m_run->assessment().failureFound && (!m_run->over() || !m_saved);
}

void FrmEmergency::takePoint() {
    if (!walking()) {
        m_dialogs.message(this,
                          QStringLiteral("Walk points are taken once the mains failure has "
                                         "been found, until the test is in the log book."),
                          MessageIcon::Information);
        return;
    }
    m_taker->take();
}

void FrmEmergency::sample() {
    if (!running())
        return;
    for (const Sample& s : m_samples.at(m_clock.now()))
        m_run->take(s);
    showRun();
}

void FrmEmergency::showRun() {
    const bool on = running();
    BtnPrint->setEnabled(m_run && m_run->assessment().failureFound);
    for (QWidget* w :
         std::initializer_list<QWidget*>{CboRule, GrpTypedRule, CboDuration, TxtLocation,
                                         TxtLuminaire, TxtTester, BtnLogBook, BtnStart})
        w->setEnabled(!on);
    BtnStop->setEnabled(on);
    BtnTakePoint->setEnabled(walking());
    BtnSave->setEnabled(m_run && m_run->over() && !m_saved);
    if (!m_run) {
        LblState->setText(QStringLiteral("Lay the meter under the luminaire and press Start."));
        LblFigures->clear();
        return;
    }
    const emergency::Assessment& a = m_run->assessment();
    LblState->setText(m_run->stateText());
    QStringList figures;
    if (!std::isnan(a.normalLux))
        figures << QStringLiteral("Normal level %1").arg(emergency::luxText(a.normalLux));
    figures << QStringLiteral("Left %1").arg(
        emergency::durationText(std::ceil(m_run->secondsLeft())));
    if (!std::isnan(a.lowestLux))
        figures << QStringLiteral("Lowest %1").arg(emergency::luxText(a.lowestLux));
    double longestDip = 0;
    for (const emergency::Stretch& d : a.dips)
        longestDip = std::max(longestDip, d.length());
    if (longestDip > 0)
        figures << QStringLiteral("Longest dip %1").arg(emergency::durationText(longestDip));
    if (a.t100S)
        figures << QStringLiteral("Response %1").arg(emergency::durationText(*a.t100S));
    if (m_run->over())
        figures << a.reasons;
    if (!m_warning.isEmpty())
        figures << m_warning;
    LblFigures->setText(figures.join(QStringLiteral(" · ")));
    Curve->setAccessibleDescription(LblState->text());
    Curve->setTest(m_run->input(), a);
}

void FrmEmergency::finished() {
    m_tick.stop();
    m_meta.ended = m_clock.now();
    m_saved = false;
    showRun();
    BtnSave->setFocus(Qt::OtherFocusReason);
}

bool FrmEmergency::saveEntry() {
    if (!m_run || !m_run->over() || m_saved)
        return true;
    m_meta.remarks = TxtRemarks->toPlainText().trimmed();
    const QJsonObject entry = emergency::entryJson(m_run->input(), m_run->assessment(), m_meta);
    if (const QString e = appendToLogBook(m_logBook, entry); !e.isEmpty()) {
        m_dialogs.message(this, QStringLiteral("The test could not be added to the log book."),
                          MessageIcon::Error, MessageButtons::Ok, {},
                          QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(m_logBook), e));
        return false;
    }
    m_saved = true;
    m_taker->cancel();
    QString pdfPath = m_meta.samplesFile;
    pdfPath.replace(QRegularExpression(QStringLiteral("\\.csv$")), QStringLiteral(".pdf"));
    const auto pdf = emergencyreport::pdf(m_run->input(), m_run->assessment(), m_meta);
    const QString e = pdf ? saveWholeFile(pdfPath, *pdf) : QStringLiteral("it could not be drawn");
    if (!e.isEmpty())
        m_dialogs.message(this, QStringLiteral("The report could not be saved."),
                          MessageIcon::Warning, MessageButtons::Ok, {},
                          QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(pdfPath), e));
    showRun();
    LblFigures->setText(e.isEmpty() ? QStringLiteral("In the log book; the report is %1.")
                                          .arg(QDir::toNativeSeparators(pdfPath))
                                    : QStringLiteral("In the log book; the report could not be "
                                                     "saved."));
    showHistory();
    return true;
}

void FrmEmergency::chooseLogBook() {
    const QString path = m_dialogs.saveFile(this, QStringLiteral("Log Books (*.jsonl)|*.jsonl|"),
                                            QFileInfo(m_logBook).fileName());
    if (path.isEmpty())
        return;
    m_logBook = path;
    LblLogBook->setText(QDir::toNativeSeparators(path));
    showHistory();
}

void FrmEmergency::showHistory() {
    LstHistory->clear();
    if (!QFileInfo::exists(m_logBook))
        return;
    QString error;
    const auto bytes = readSmallFile(m_logBook, kMostLogBookBytes, error);
    if (!bytes) {
        LstHistory->addItem(QStringLiteral("The log book cannot be read: %1").arg(error));
        return;
    }
    const emergency::LogBook book = emergency::readLogBook(*bytes);
    const QString here = TxtLocation->text().trimmed();
    for (const QJsonObject& e : book.entries) {
        if (e.value(QStringLiteral("location")).toString() != here)
            continue;
        const auto rule = emergency::ruleById(e.value(QStringLiteral("rule")).toString());
        LstHistory->addItem(QStringLiteral("%1 · %2 · %3 · %4")
                                .arg(e.value(QStringLiteral("started"))
                                         .toString()
                                         .left(16)
                                         .replace(QLatin1Char('T'), QLatin1Char(' ')),
                                     rule ? rule->name : e.value(QStringLiteral("rule")).toString(),
                                     e.value(QStringLiteral("luminaire")).toString(),
                                     e.value(QStringLiteral("verdict")).toString()));
    }
    for (const QString& damaged : book.damaged)
        LstHistory->addItem(QStringLiteral("Log book: %1").arg(damaged));
}

bool FrmEmergency::mayClose() {
    if (running()) {
        const MessageResult r = m_dialogs.message(
            this,
            QStringLiteral("The test is running. Stop it and keep what it measured in the log "
                           "book?"),
            MessageIcon::Question, MessageButtons::YesNo);
        if (r != MessageResult::Yes || !m_run)
            return false;
        m_run->stop();
    }
    return saveEntry(); // false: the entry would be lost
}

void FrmEmergency::closeEvent(QCloseEvent* event) {
    if (!mayClose()) {
        event->ignore();
        return;
    }
    m_tick.stop();
    m_taker->cancel();
    BusyWindow::closeEvent(event);
}

} // namespace lumetra
