// The survey window's evidence: the light checked stable before the walk, the installation new
// or in service, the lights-off pass, the instrument, the earlier survey compared, and taking
// the points by themselves once the meter is held still.
#include "survey.h"

#include "graph/surveyplan.h"
#include "graph/surveyplanview.h"
#include "link/displaypoll.h"
#include "link/pointtaker.h"
#include "model/appstate.h"
#include "model/samplerow.h"
#include "platform/remembered.h"
#include "platform/wholefile.h"
#include "widgets/dialogs.h"
#include "widgets/named.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QShortcut>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>
#include <utility>

namespace lumetra {
namespace {

const QString kInstrumentKey = QStringLiteral("survey/instrument");

QByteArray instrumentJson(const survey::Instrument& i) {
    return QJsonDocument(
               QJsonObject{{QStringLiteral("model"), i.model},
                           {QStringLiteral("serial"), i.serial},
                           {QStringLiteral("class"), i.accuracyClass},
                           {QStringLiteral("calibrated"), i.calibrated.toString(Qt::ISODate)}})
        .toJson(QJsonDocument::Compact);
}

survey::Instrument instrumentOf(const QByteArray& bytes) {
    const QJsonObject o = QJsonDocument::fromJson(bytes).object();
    survey::Instrument i;
    i.model = o.value(QStringLiteral("model")).toString().left(survey::kMostNameChars);
    i.serial = o.value(QStringLiteral("serial")).toString().left(survey::kMostNameChars);
    i.accuracyClass = o.value(QStringLiteral("class")).toString();
    if (!survey::classError(i.accuracyClass))
        i.accuracyClass.clear();
    i.calibrated = QDate::fromString(o.value(QStringLiteral("calibrated")).toString(), Qt::ISODate);
    return i;
}

} // namespace

QWidget* FrmSurvey::buildEvidence(QWidget* parent) {
    auto* box = new QGroupBox(QStringLiteral("Conditions of measurement"), parent);
    auto* form = new QFormLayout(box);
    BtnCheckStability = named(new QPushButton(QStringLiteral("&Check stability"), box),
                              "BtnCheckStability", QStringLiteral("Check stability"));
    BtnCheckStability->setToolTip(
        QStringLiteral("Hold the meter at one point: the light is read now and after each "
                       "interval until three readings in a row agree within 2 %"));
    SpnStabilityInterval =
        named(new QSpinBox(box), "SpnStabilityInterval", QStringLiteral("Interval between checks"));
    SpnStabilityInterval->setRange(survey::kLeastStabilityIntervalS, 3600);
    SpnStabilityInterval->setValue(survey::kDefaultStabilityIntervalS);
    SpnStabilityInterval->setSuffix(QStringLiteral(" s"));
    auto* check = new QHBoxLayout;
    check->addWidget(BtnCheckStability);
    check->addWidget(new QLabel(QStringLiteral("every"), box));
    check->addWidget(SpnStabilityInterval);
    form->addRow(check);
    LblStability = named(new QLabel(box), "LblStability", QString());
    LblStability->setWordWrap(true);
    LblStability->setFocusPolicy(Qt::TabFocus); // read out by a screen reader on the way
    form->addRow(LblStability);
    OptInService = named(new QRadioButton(QStringLiteral("In service"), box), "OptInService",
                         QStringLiteral("Installation in service"));
    OptNewInstallation = named(new QRadioButton(QStringLiteral("New installation"), box),
                               "OptNewInstallation", QStringLiteral("New installation"));
    auto* kinds = new QButtonGroup(box);
    kinds->addButton(OptInService);
    kinds->addButton(OptNewInstallation);
    OptInService->setChecked(true);
    SpnMaintenanceFactor = named(new QDoubleSpinBox(box), "SpnMaintenanceFactor",
                                 QStringLiteral("Maintenance factor"));
    SpnMaintenanceFactor->setRange(survey::kLeastMaintenanceFactor, survey::kMostMaintenanceFactor);
    SpnMaintenanceFactor->setSingleStep(0.05);
    SpnMaintenanceFactor->setDecimals(2);
    SpnMaintenanceFactor->setValue(0.80);
    auto* installation = new QHBoxLayout;
    installation->addWidget(OptInService);
    installation->addWidget(OptNewInstallation);
    form->addRow(QStringLiteral("Installation"), installation);
    form->addRow(QStringLiteral("Maintenance factor"), SpnMaintenanceFactor);
    BtnLightsOff = named(new QPushButton(QStringLiteral("Lights-off pass"), box), "BtnLightsOff",
                         QStringLiteral("Lights-off pass"));
    BtnLightsOff->setCheckable(true);
    BtnLightsOff->setToolTip(QStringLiteral("Walk the points again with the electric light off: "
                                            "daylight is taken out of the figures (F6)"));
    ChkTakeWhenSteady = named(new QCheckBox(QStringLiteral("Take when steady"), box),
                              "ChkTakeWhenSteady", QStringLiteral("Take when steady"));
    ChkTakeWhenSteady->setToolTip(QStringLiteral("Carry the meter to the next point and hold it "
                                                 "still: the point is taken by itself. F8 or "
                                                 "Escape on the plan turns it off"));
    auto* walk = new QHBoxLayout;
    walk->addWidget(BtnLightsOff);
    walk->addWidget(ChkTakeWhenSteady);
    form->addRow(walk);
    form->addRow(buildInstrument(box));
    BtnCompare = named(new QPushButton(QStringLiteral("Compare with…"), box), "BtnCompare",
                       QStringLiteral("Compare with an earlier survey"));
    form->addRow(BtnCompare);
    LblBaseline = named(new QLabel(box), "LblBaseline", QString());
    LblBaseline->setWordWrap(true);
    form->addRow(LblBaseline);
    return box;
}

QWidget* FrmSurvey::buildInstrument(QWidget* parent) {
    auto* box = new QGroupBox(QStringLiteral("Instrument"), parent);
    auto* form = new QFormLayout(box);
    TxtInstrumentModel =
        named(new QLineEdit(box), "TxtInstrumentModel", QStringLiteral("Instrument model"));
    TxtInstrumentSerial =
        named(new QLineEdit(box), "TxtInstrumentSerial", QStringLiteral("Serial number"));
    for (QLineEdit* e : {TxtInstrumentModel, TxtInstrumentSerial})
        e->setMaxLength(survey::kMostNameChars);
    CboInstrumentClass = named(new QComboBox(box), "CboInstrumentClass",
                               QStringLiteral("Class of the instrument, DIN 5032-7"));
    CboInstrumentClass->addItem(QStringLiteral("none stated"), QString());
    for (const QString& c : survey::accuracyClasses())
        CboInstrumentClass->addItem(
            QStringLiteral("%1 (%2 %)").arg(c).arg(std::lround(*survey::classError(c) * 100)), c);
    // Typed as the certificate states it; a date box cannot be left empty for "not stated".
    TxtCalibrated = named(new QLineEdit(box), "TxtCalibrated",
                          QStringLiteral("Date of the last calibration, year-month-day"));
    TxtCalibrated->setPlaceholderText(QStringLiteral("yyyy-mm-dd, or empty: not stated"));
    TxtCalibrated->setMaxLength(10);
    LblCalibration = named(new QLabel(box), "LblCalibration", QString());
    LblCalibration->setWordWrap(true);
    form->addRow(QStringLiteral("Model"), TxtInstrumentModel);
    form->addRow(QStringLiteral("Serial"), TxtInstrumentSerial);
    form->addRow(QStringLiteral("Class"), CboInstrumentClass);
    form->addRow(QStringLiteral("Calibrated"), TxtCalibrated);
    form->addRow(LblCalibration);
    return box;
}

void FrmSurvey::wireEvidence() {
    m_stabilityTaker = new PointTaker(m_state, m_display, this);
    connect(m_stabilityTaker, &PointTaker::taken, this,
            [this](double lux, int) { stabilityReading(lux); });
    connect(m_stabilityTaker, &PointTaker::refused, this, &FrmSurvey::stopStability);
    m_stabilityTimer.setSingleShot(true);
    setStabilityInterval(survey::kDefaultStabilityIntervalS * 1000);
    connect(&m_stabilityTimer, &QTimer::timeout, m_stabilityTaker, &PointTaker::take);
    connect(SpnStabilityInterval, &QSpinBox::valueChanged, this,
            [this](int s) { setStabilityInterval(s * 1000); });
    connect(BtnCheckStability, &QPushButton::clicked, this, &FrmSurvey::checkStability);
    connect(OptNewInstallation, &QRadioButton::toggled, this, [this](bool on) {
        if (m_loading)
            return;
        m_survey.installation.isNew = on;
        m_changed = true;
        refresh();
    });
    connect(SpnMaintenanceFactor, &QDoubleSpinBox::valueChanged, this, [this](double v) {
        if (m_loading)
            return;
        m_survey.installation.maintenanceFactor = v;
        m_changed = true;
        refresh();
    });
    connect(BtnLightsOff, &QPushButton::toggled, this, &FrmSurvey::setLightsOffPass);
    connect(new QShortcut(Qt::Key_F6, this), &QShortcut::activated, BtnLightsOff,
            &QPushButton::toggle);
    connect(CboShown, &QComboBox::currentIndexChanged, this, [this] { refresh(); });
    for (QLineEdit* e : {TxtInstrumentModel, TxtInstrumentSerial})
        connect(e, &QLineEdit::textEdited, this, &FrmSurvey::instrumentEdited);
    connect(CboInstrumentClass, &QComboBox::currentIndexChanged, this,
            &FrmSurvey::instrumentEdited);
    connect(TxtCalibrated, &QLineEdit::editingFinished, this, &FrmSurvey::instrumentEdited);
    connect(BtnCompare, &QPushButton::clicked, this, &FrmSurvey::compareWith);
    connect(ChkTakeWhenSteady, &QCheckBox::toggled, this, &FrmSurvey::setTakeWhenSteady);
    connect(new QShortcut(Qt::Key_F8, this), &QShortcut::activated, ChkTakeWhenSteady,
            &QCheckBox::toggle);
    connect(&m_display, &DisplayPoll::frameDecoded, this, &FrmSurvey::steadyReading);
    // The instrument typed last time: the same meter walks the next survey too.
    m_survey.instrument = instrumentOf(QSettings().value(kInstrumentKey).toByteArray());
    loadEvidenceControls();
}

void FrmSurvey::loadEvidenceControls() {
    const bool was = m_loading;
    m_loading = true;
    OptNewInstallation->setChecked(m_survey.installation.isNew);
    OptInService->setChecked(!m_survey.installation.isNew);
    SpnMaintenanceFactor->setValue(m_survey.installation.maintenanceFactor);
    const survey::Instrument& i = m_survey.instrument;
    TxtInstrumentModel->setText(i.model);
    TxtInstrumentSerial->setText(i.serial);
    CboInstrumentClass->setCurrentIndex(std::max(0, CboInstrumentClass->findData(i.accuracyClass)));
    TxtCalibrated->setText(i.calibrated.toString(Qt::ISODate));
    m_loading = was;
}

void FrmSurvey::instrumentEdited() {
    if (m_loading)
        return;
    survey::Instrument& i = m_survey.instrument;
    const QByteArray before = instrumentJson(i);
    i.model = TxtInstrumentModel->text();
    i.serial = TxtInstrumentSerial->text();
    i.accuracyClass = CboInstrumentClass->currentData().toString();
    const QString typed = TxtCalibrated->text().trimmed();
    const QDate date = QDate::fromString(typed, Qt::ISODate);
    if (!typed.isEmpty() && (!date.isValid() || date > QDate::currentDate())) {
        // Kept as it was: a date that is none, or one still to come, is no calibration.
        TxtCalibrated->setText(i.calibrated.toString(Qt::ISODate));
        announce(QStringLiteral("Type the date of the last calibration as year-month-day, "
                                "e.g. 2025-09-01, no later than today."));
    } else {
        i.calibrated = date;
    }
    if (instrumentJson(i) == before)
        return; // left the box without a change
    m_changed = true;
    refresh();
    if (const QString e = remember(kInstrumentKey, instrumentJson(i)); !e.isEmpty())
        announce(e);
}

// The evidence's labels, after every change of the survey.
void FrmSurvey::showEvidence() {
    QStringList readings;
    for (const survey::StabilityReading& r : m_survey.stability)
        readings << QStringLiteral("%1 %2 %3")
                        .arg(QLocale::c().toString(r.at.toLocalTime(), QStringLiteral("HH:mm:ss")),
                             survey::illuminance(r.lux, unit()), unit().name);
    QString stability = checkingStability()
                            ? QStringLiteral("checking: %1 of at most %2")
                                  .arg(m_freshStability ? 0 : m_survey.stability.size())
                                  .arg(survey::kMostStabilityChecks)
                            : survey::stabilityVerdict(m_survey.stability);
    if (!readings.isEmpty() && !(checkingStability() && m_freshStability))
        stability += QStringLiteral(" (%1)").arg(readings.join(QStringLiteral(", ")));
    LblStability->setText(stability);
    LblStability->setAccessibleName(QStringLiteral("Stability: %1").arg(stability));
    BtnCheckStability->setText(checkingStability() ? QStringLiteral("Stop stability &check")
                                                   : QStringLiteral("&Check stability"));
    const QString age = survey::calibrationAgeNote(m_survey);
    LblCalibration->setText(age.isEmpty() ? QString() : QStringLiteral("Note: %1.").arg(age));
    LblCalibration->setAccessibleName(LblCalibration->text());
    SpnMaintenanceFactor->setEnabled(m_survey.installation.isNew);
    QString baseline;
    if (const auto& b = m_survey.baseline) {
        const auto now = survey::comparedFigures(m_survey);
        baseline =
            QStringLiteral("Compared with %1 (%2): Ē %3 lx, U0 %4; now Ē %5, U0 %6. %7 "
                           "points matched, %8 fell by more than 20 %.")
                .arg(b->file,
                     b->date.isValid() ? b->date.toString(Qt::ISODate) : QStringLiteral("no date"),
                     survey::illuminance(b->average, survey::lux()), QString::number(b->u0, 'f', 2),
                     now ? survey::illuminance(now->average, survey::lux()) + QStringLiteral(" lx")
                         : QStringLiteral("–"),
                     now ? QString::number(now->u0, 'f', 2) : QStringLiteral("–"))
                .arg(survey::matchedPoints(m_survey))
                .arg(survey::fallenPoints(m_survey).size());
        if (b->electric && !survey::usesElectric(m_survey))
            baseline += QStringLiteral(" The earlier survey is of the electric light alone: the "
                                       "change shows once the lights-off pass is complete.");
    }
    LblBaseline->setText(baseline);
    LblBaseline->setAccessibleName(baseline);
}

// --- Stability ------------------------------------------------------------------------------

bool FrmSurvey::checkingStability() const {
    return m_stabilityTimer.isActive() || (m_stabilityTaker && m_stabilityTaker->taking());
}

void FrmSurvey::setStabilityInterval(int ms) {
    m_stabilityTimer.setInterval(ms);
}

void FrmSurvey::checkStability() {
    if (checkingStability()) {
        stopStability(QStringLiteral("Stability check stopped"));
        return;
    }
    if (busy().held())
        return;
    // The last check stands until the new one has a reading of its own.
    m_freshStability = true;
    announce(QStringLiteral("Checking stability: hold the meter still at this point"));
    m_stabilityTaker->take();
    showEvidence();
}

void FrmSurvey::stabilityReading(double lux) {
    if (std::exchange(m_freshStability, false))
        m_survey.stability.clear();
    m_survey.stability << survey::StabilityReading{QDateTime::currentDateTime(), lux};
    m_changed = true;
    const QString reading = QStringLiteral("stability check %1: %2 %3")
                                .arg(m_survey.stability.size())
                                .arg(survey::illuminance(lux, unit()), spokenUnit());
    if (survey::stabilityDone(m_survey.stability)) {
        announce(
            QStringLiteral("%1; %2").arg(reading, survey::stabilityVerdict(m_survey.stability)));
    } else {
        m_stabilityTimer.start();
        announce(QStringLiteral("%1; next in %2 s")
                     .arg(reading)
                     .arg(m_stabilityTimer.interval() / 1000));
    }
    showEvidence();
}

void FrmSurvey::stopStability(const QString& why) {
    m_stabilityTimer.stop();
    m_stabilityTaker->cancel();
    m_freshStability = false;
    announce(QStringLiteral("%1: %2").arg(why, survey::stabilityVerdict(m_survey.stability)));
    showEvidence();
}

// --- The lights-off pass --------------------------------------------------------------------

bool FrmSurvey::pending(const survey::Point& p) const {
    return !p.obstructed && !(m_offPass ? p.luxOff : p.lux);
}

void FrmSurvey::setLightsOffPass(bool on) {
    if (on == m_offPass)
        return;
    if (taking()) {
        // The reading belongs to the pass it was started in.
        m_taker->cancel();
        m_takingAt = -1;
    }
    m_offPass = on;
    {
        const QSignalBlocker quiet(BtnLightsOff);
        BtnLightsOff->setChecked(on);
    }
    CboShown->setCurrentIndex(int(on ? surveyplan::Shown::LightsOff
                                  : survey::usesElectric(m_survey)
                                      ? surveyplan::Shown::Electric
                                      : surveyplan::Shown::WithLights));
    m_steady.restart(std::nullopt);
    const int next = nextToTake(-1);
    if (!on) {
        announce(QStringLiteral("Lights-off pass ended. %1").arg(survey::lightNote(m_survey)));
        refresh();
        return;
    }
    goOnTo(next, QStringLiteral("Lights-off pass: switch the electric light off; "));
}

// --- The earlier survey ---------------------------------------------------------------------

void FrmSurvey::compareWith() {
    if (busy().held())
        return;
    const QPointer<FrmSurvey> alive(this);
    const QString path = m_dialogs.openFile(this, filter());
    if (!alive || path.isEmpty())
        return;
    compareWithFile(path);
}

bool FrmSurvey::compareWithFile(const QString& path) {
    QString error;
    const auto bytes = readSmallFile(path, survey::kMostFileBytes, error);
    const auto earlier = bytes ? survey::fromJson(*bytes, error) : std::nullopt;
    if (!earlier) {
        m_dialogs.message(
            this, QStringLiteral("%1 could not be compared.").arg(QDir::toNativeSeparators(path)),
            MessageIcon::Error, MessageButtons::Ok, {}, error);
        return false;
    }
    survey::Survey candidate = m_survey;
    candidate.baseline = survey::baselineOf(*earlier, QFileInfo(path).fileName());
    if (survey::matchedPoints(candidate) == 0) {
        m_dialogs.message(this,
                          QStringLiteral("No point of %1 lies where a point of this survey does: "
                                         "it is no survey of the same room and grid.")
                              .arg(QFileInfo(path).fileName()),
                          MessageIcon::Warning);
        return false;
    }
    m_survey.baseline = candidate.baseline;
    m_changed = true;
    CboShown->setCurrentIndex(int(surveyplan::Shown::Change));
    announce(QStringLiteral("Compared with %1: %2 points matched, %3 fell by more than 20 %")
                 .arg(m_survey.baseline->file)
                 .arg(survey::matchedPoints(m_survey))
                 .arg(survey::fallenPoints(m_survey).size()));
    refresh();
    return true;
}

// --- Taking when steady ---------------------------------------------------------------------

void FrmSurvey::setTakeWhenSteady(bool on) {
    {
        const QSignalBlocker quiet(ChkTakeWhenSteady);
        ChkTakeWhenSteady->setChecked(on);
    }
    m_steady.restart(std::nullopt);
    m_steadyClock.start();
    announce(on ? QStringLiteral("Take when steady on: carry the meter to %1 and hold it still")
                      .arg(nameOf(m_current))
                : QStringLiteral("Take when steady off"));
}

void FrmSurvey::steadyReading() {
    if (!ChkTakeWhenSteady->isChecked())
        return;
    // The meter held at one place for the stability check, or a question open: no walk.
    if (checkingStability() || QApplication::activeModalWidget()) {
        m_steady.interrupt();
        return;
    }
    const Sample s = samples::fromDisplay(m_state.display, {});
    const double lux = samples::lux(s);
    if (s.status != Sample::Ok || std::isnan(lux)) {
        m_steady.interrupt();
        return;
    }
    const auto value = m_steady.feed(m_steadyClock.elapsed(), lux);
    // Never over a value already taken, nor while a take or an exchange is under way.
    if (!value || m_survey.points.isEmpty() || taking() || busy().held() ||
        !pending(m_survey.points[m_current]))
        return;
    QApplication::beep();
    m_takingAt = m_current;
    taken(*value, false);
    announce(QStringLiteral("Taken when steady: %1").arg(LblPoint->text()));
}

} // namespace lumetra
