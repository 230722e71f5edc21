#include "emergencyrun.h"

#include "platform/clock.h"

#include <QDir>
#include <QJsonDocument>
#include <QTimer>

namespace lumetra {

EmergencyRun::EmergencyRun(Options options, Clock& clock, QObject* parent)
    : QObject(parent), m_options(std::move(options)), m_clock(clock), m_endCheck(new QTimer(this)) {
    m_input.rule = m_options.rule;
    m_input.ratedS = m_options.ratedS;
    m_assessment = emergency::assess(m_input);
    // The samples stop while the meter is away: the end is looked for on the clock too.
    m_endCheck->setInterval(500);
    connect(m_endCheck, &QTimer::timeout, this, &EmergencyRun::checkTheEnd);
}

bool EmergencyRun::open(QString& error) {
    if (m_options.csvPath.isEmpty())
        return true;
    if (!m_csv.openToAppend(m_options.csvPath) ||
        (m_csv.size() == 0 && !m_csv.append(samples::csvHeader().toUtf8()))) {
        error = QStringLiteral("%1 cannot be written: %2")
                    .arg(QDir::toNativeSeparators(m_options.csvPath), m_csv.errorString());
        return false;
    }
    return true;
}

bool EmergencyRun::keep(const Sample& s) const {
    if (s.status == Sample::Gap || s.status == Sample::Away || m_lastKeptMs < 0)
        return true;
    const emergency::Assessment& a = m_assessment;
    const qint64 ms = s.time.toMSecsSinceEpoch();
    if (!a.failureFound || double(ms - a.failureMs) / 1000.0 <= a.responseEndS)
        return true;
    // Below the minimum, every sample: the 10 s rule is measured to the display period.
    if (a.belowSinceS || samples::lux(s) < a.requiredLux)
        return true;
    // A quarter of the display period early still counts as the next second.
    return ms - m_lastKeptMs >= kSlowStepMs - 125;
}

void EmergencyRun::take(const Sample& sample) {
    if (m_over || !keep(sample))
        return;
    m_lastKeptMs = sample.time.toMSecsSinceEpoch();
    ++m_kept;
    if (m_csv.isOpen() && !m_csv.append(samples::csvRow(sample, true).toUtf8())) {
        if (m_refused++ == 0)
            emit said(QStringLiteral("%1: the samples are no longer written (%2); the test goes "
                                     "on.")
                          .arg(QDir::toNativeSeparators(m_options.csvPath), m_csv.errorString()));
    }
    emergency::appendSample(m_input.readings, sample);
    reassess();
}

void EmergencyRun::addWalkPoint(const QString& name, double lux) {
    m_input.walk << emergency::WalkPoint{name, std::max(secondsNow(), 0.0), lux};
    reassess();
}

void EmergencyRun::stop() {
    if (m_over)
        return;
    m_input.ended = true;
    m_input.stoppedByUser = true;
    reassess();
    if (!m_over) { // stopped before the mains failure: nothing to judge
        m_over = true;
        m_endCheck->stop();
        m_csv.close();
        emit finished();
    }
}

double EmergencyRun::secondsNow() const {
    if (!m_assessment.failureFound)
        return -1;
    return double(m_clock.now().toMSecsSinceEpoch() - m_assessment.failureMs) / 1000.0;
}

double EmergencyRun::secondsLeft() const {
    if (!m_assessment.failureFound)
        return m_options.ratedS;
    return std::max(0.0, m_options.ratedS - std::max(secondsNow(), m_assessment.lastS));
}

void EmergencyRun::reassess() {
    m_assessment = emergency::assess(m_input);
    if (m_assessment.failureFound && !m_endCheck->isActive() && !m_over)
        m_endCheck->start();
    const bool final = m_assessment.verdict == emergency::Verdict::Pass ||
                       m_assessment.verdict == emergency::Verdict::Fail ||
                       m_assessment.verdict == emergency::Verdict::Incomplete;
    emit changed();
    if (final && !m_over) {
        m_over = true;
        m_endCheck->stop();
        m_csv.close();
        if (m_refused > 0)
            emit said(QStringLiteral("%1 sample(s) are not in %2.")
                          .arg(m_refused)
                          .arg(QDir::toNativeSeparators(m_options.csvPath)));
        emit finished();
    }
}

void EmergencyRun::checkTheEnd() {
    // Samples stopped coming (the meter away) and the rated end has passed: the test is over,
    // the time without readings a gap to its end.
    if (!m_over && secondsNow() >= m_options.ratedS + emergency::kLongestStepS) {
        m_input.ended = true;
        reassess();
    }
}

QString appendToLogBook(const QString& path, const QJsonObject& entry) {
    RecordAppender book;
    if (!book.openToAppend(path) ||
        !book.append(QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n'))
        return book.errorString();
    return {};
}

} // namespace lumetra
