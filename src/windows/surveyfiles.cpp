// The survey window's files: the survey file, the points as CSV, the report as PDF and on
// paper, and what is asked before changes not saved are let go.
#include "survey.h"

#include "graph/surveyplanview.h"
#include "link/meterexchanges.h"
#include "link/meterlink.h"
#include "link/pointtaker.h"
#include "model/appstate.h"
#include "model/surveyareas.h"
#include "platform/wholefile.h"
#include "widgets/dialogs.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QTimer>

namespace lumetra {
namespace {

// The meter gets this long to give its calibration factor and SCF for a report.
constexpr int kMeterReadMs = 8000;

} // namespace

void FrmSurvey::loadIntoControls() {
    m_loading = true;
    TxtName->setText(m_survey.name);
    SpnBand->setValue(m_survey.band);
    SpnHeight->setValue(m_survey.height);
    SpnSurroundingBand->setValue(m_survey.surroundingBand);
    SpnBackgroundBand->setValue(m_survey.backgroundBand);
    const auto g = survey::roomGrid(m_survey);
    ChkByHand->setChecked(m_survey.areas.isEmpty() &&
                          (!g || g->rows != m_survey.rows || g->columns != m_survey.columns));
    loadRequirementControls();
    TxtNotes->setPlainText(m_survey.notes);
    loadEvidenceControls();
    m_loading = false;
    laidOut(QString());
    const int next = nextToTake(-1);
    m_current = next >= 0 ? next : m_current;
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
    // The check and the pass belong to the survey that was open.
    m_stabilityTimer.stop();
    m_stabilityTaker->cancel();
    m_freshStability = false;
    setLightsOffPass(false);
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
