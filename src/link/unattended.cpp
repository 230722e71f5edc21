#include "unattended.h"

#include "link/metersession.h"
#include "model/recordfile.h"
#include "platform/clock.h"
#include "platform/recordappender.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace lumetra {
namespace {

// Lines the disk refused wait for it, up to about a day at four samples a second.
constexpr qsizetype kMostWaiting = 400000;

QString native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

} // namespace

// The CSV rows: into a file (appended, a header when it is new) or onto standard output.
class UnattendedRecorder::CsvOutput {
public:
    CsvOutput(QString path, UnattendedRecorder& owner)
        : m_path(std::move(path)), m_toOut(m_path == QLatin1String("-")), m_owner(owner) {
        if (m_toOut) {
            struct stat info {};
            if (::fstat(STDOUT_FILENO, &info) == 0) {
                m_outIsFile = S_ISREG(info.st_mode);
                // A reader that stalls must not stop the recording: rows wait instead.
                const int flags = ::fcntl(STDOUT_FILENO, F_GETFL);
                m_outAppends = (flags & O_APPEND) != 0;
                m_outStart = m_outIsFile ? info.st_size : 0;
                if ((S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode)) && !(flags & O_NONBLOCK) &&
                    ::fcntl(STDOUT_FILENO, F_SETFL, flags | O_NONBLOCK) == 0)
                    m_madeNonBlocking = true;
            }
        }
    }

    bool open(QString& error) {
        if (!m_toOut && !openFile()) {
            error = QStringLiteral("%1 cannot be written: %2")
                        .arg(native(m_path), m_file.errorString());
            return false;
        }
        // A file that standard output adds to (>>) and that holds rows has its header.
        if (m_toOut && !(m_outIsFile && m_outStart > 0))
            m_waiting << samples::csvHeader().toUtf8();
        flush();
        return true;
    }

    void write(const QString& row) {
        if (m_closed)
            return;
        m_waiting << row.toUtf8();
        if (m_waiting.size() > kMostWaiting) {
            // The oldest goes, unless part of it is already out: then the one after it.
            m_waiting.removeAt(m_partSent ? 1 : 0);
            ++m_dropped;
        }
        flush();
    }

    void reopen() {
        if (m_toOut)
            return;
        m_file.close();
        if (!openFile())
            refused(m_file.errorString());
        flush();
    }

    void close() {
        flush();
        m_file.close();
        // Standard output is shared with whoever started us: left as it was found.
        if (m_madeNonBlocking)
            ::fcntl(STDOUT_FILENO, F_SETFL, ::fcntl(STDOUT_FILENO, F_GETFL) & ~O_NONBLOCK);
        m_madeNonBlocking = false;
    }

private:
    // Opens the file to add rows; one that is new (or emptied) gets the header first.
    bool openFile() {
        if (!m_file.openToAppend(m_path))
            return false;
        if (m_file.size() == 0 && !(m_waiting.value(0).startsWith("time,")))
            m_waiting.prepend(samples::csvHeader().toUtf8());
        return true;
    }

    void flush() {
        bool reopened = false;
        while (!m_waiting.isEmpty()) {
            // A file that could not be opened again (after rotation) is tried at every row.
            if (!m_toOut && !m_file.isOpen() && !openFile()) {
                refused(m_file.errorString());
                return;
            }
            // Emptied by log rotation (copied, then truncated): the header first again.
            if (!m_toOut && m_file.emptiedMeanwhile() && !m_waiting.first().startsWith("time,")) {
                m_file.close();
                if (openFile())
                    continue;
            }
            if (!(m_toOut ? toStdout() : m_file.append(m_waiting.first()))) {
                // Moved away (rotated without a signal): a new file under the name.
                if (!m_toOut && m_file.gone() && !reopened) {
                    reopened = true;
                    m_file.close();
                    continue;
                }
                if (!m_toOut)
                    refused(m_file.errorString());
                return;
            }
            m_waiting.removeFirst();
        }
        if (m_refused) {
            m_refused = false;
            emit m_owner.said(
                QStringLiteral("%1 takes rows again%2.")
                    .arg(m_toOut ? QStringLiteral("Standard output") : native(m_path),
                         m_dropped ? QStringLiteral("; %1 older row(s) were dropped").arg(m_dropped)
                                   : QString()));
            m_dropped = 0;
        }
    }

    // The first waiting row onto standard output. What a pipe took of a row before it filled
    // up stays taken: the rest of that row goes first next time.
    bool toStdout() {
        QByteArray& bytes = m_waiting.first();
        // Where this row begins in a redirected file (its end, when it is appended to).
        off_t start = -1;
        if (m_outIsFile) {
            struct stat info {};
            start = m_outAppends ? (::fstat(STDOUT_FILENO, &info) == 0 ? info.st_size : -1)
                                 : ::lseek(STDOUT_FILENO, 0, SEEK_CUR);
        }
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n =
                ::write(STDOUT_FILENO, bytes.constData() + done, size_t(bytes.size() - done));
            if (n > 0) {
                done += n;
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            const int error = n < 0 ? errno : EIO;
            if (error == EPIPE) {
                // Nobody reads any more (the pipe's reader ended): rows would only pile up.
                m_closed = true;
                m_waiting.clear();
                emit m_owner.said(QStringLiteral("Standard output was closed: no more CSV rows "
                                                 "are written there."));
                return false;
            }
            if (m_outIsFile && start >= m_outStart && done > 0) {
                // A file redirected onto standard output holds whole rows only (and never
                // loses what it held before).
                if (::ftruncate(STDOUT_FILENO, start) == 0 && !m_outAppends)
                    ::lseek(STDOUT_FILENO, start, SEEK_SET);
            } else if (done > 0) {
                bytes.remove(0, done);
                m_partSent = true;
            }
            if (error != EAGAIN && error != EWOULDBLOCK)
                refused(QString::fromLocal8Bit(std::strerror(error)));
            return false;
        }
        m_partSent = false;
        return true;
    }

    void refused(const QString& why) {
        if (m_refused)
            return;
        m_refused = true;
        emit m_owner.said(
            QStringLiteral("Rows cannot be written to %1 (%2); they are kept and "
                           "written as soon as it takes them.")
                .arg(m_toOut ? QStringLiteral("standard output") : native(m_path), why));
    }

    QString m_path;
    bool m_toOut = false;
    bool m_outIsFile = false;
    UnattendedRecorder& m_owner;
    RecordAppender m_file;
    QList<QByteArray> m_waiting;
    qint64 m_dropped = 0;
    bool m_refused = false;
    bool m_closed = false;          // standard output has no reader any more
    bool m_outAppends = false;      // standard output was opened to append (>>)
    off_t m_outStart = 0;           // what a redirected file held before us
    bool m_madeNonBlocking = false; // a pipe we set not to block
    bool m_partSent = false;        // the first waiting row is partly out already
};

// The desktop program's record files, byte for byte. Where the desktop recording would stop
// (a unit change, a measuring mode, 100 000 records), this file ends and the next plain
// reading starts NAME-2.txt, NAME-3.txt, … An existing file is never written over.
class UnattendedRecorder::RecordOutput {
public:
    RecordOutput(QString path, UnattendedRecorder& owner)
        : m_path(std::move(path)), m_owner(owner) {}

    bool open(QString& error) {
        if (openFree())
            return true;
        error = QStringLiteral("%1 cannot be written: %2")
                    .arg(native(nameFor(m_index)), m_file.errorString());
        return false;
    }

    void take(const Sample& s) {
        if (s.status == Sample::Gap)
            return; // the same file goes on; the time stamps show the gap
        if (s.status == Sample::Mode) {
            end(QStringLiteral("the meter shows a measuring mode"));
            return;
        }
        if (m_file.isOpen() && m_headed && s.unit != m_unit)
            end(QStringLiteral("the unit changed to %1").arg(s.unit));
        else if (m_file.isOpen() && m_records == recordfile::kMaxRecords)
            end(QStringLiteral("it holds %1 records").arg(recordfile::kMaxRecords));
        if (!m_file.isOpen() && !openFree()) {
            refused(m_file.errorString());
            return;
        }
        if (!m_headed) {
            m_headed = true;
            m_unit = s.unit;
            m_waiting << recordfile::headerLine(m_unit);
        }
        ++m_records;
        m_waiting << recordfile::recordLine(
            m_records,
            recordfile::sampleText(s.time, s.status == Sample::Over ? QStringLiteral("OL")
                                                                    : s.readingText));
        flush();
    }

    void reopen() {
        if (!m_file.isOpen())
            return;
        flush();
        m_file.close();
        const QString name = nameFor(m_index);
        if (QFileInfo(name).size() > 0 &&
            m_file.openToAppend(name, QByteArray(recordfile::kLineEnd))) {
            flush();
            return; // still there: it goes on
        }
        dropWaiting();
        m_headed = false;
        m_records = 0;
        if (!m_file.open(name))
            refused(m_file.errorString());
    }

    void close() {
        flush();
        m_file.close();
    }

private:
    QString nameFor(int index) const {
        if (index == 1)
            return m_path;
        const QFileInfo info(m_path);
        const QString suffix =
            info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
        return info.dir().filePath(info.completeBaseName() + QLatin1Char('-') +
                                   QString::number(index) + suffix);
    }

    // The first name from the current one on that holds nothing yet.
    bool openFree() {
        while (QFileInfo(nameFor(m_index)).size() > 0)
            ++m_index;
        dropWaiting();
        m_headed = false;
        m_records = 0;
        if (!m_file.open(nameFor(m_index)))
            return false;
        if (m_index > 1 || m_ended)
            emit m_owner.said(QStringLiteral("Records go on in %1.").arg(native(nameFor(m_index))));
        return true;
    }

    void end(const QString& why) {
        if (!m_file.isOpen())
            return;
        close();
        emit m_owner.said(QStringLiteral("%1 is complete: %2.").arg(native(nameFor(m_index)), why));
        m_ended = true;
        if (m_records > 0)
            ++m_index;
    }

    void flush() {
        // Emptied by log rotation (copied, then truncated): a record file starts with its
        // header, so it gets it again.
        if (m_headed && m_file.emptiedMeanwhile())
            m_waiting.prepend(recordfile::headerLine(m_unit));
        while (!m_waiting.isEmpty()) {
            if (!m_file.append(
                    recordfile::encode(m_waiting.first() + QLatin1String(recordfile::kLineEnd)))) {
                refused(m_file.errorString());
                return;
            }
            m_waiting.removeFirst();
        }
        m_refused = false;
    }

    // Lines the disk refused belong to the file that ends: they cannot go into another.
    void dropWaiting() {
        if (m_file.isOpen())
            flush();
        if (!m_waiting.isEmpty())
            emit m_owner.said(QStringLiteral("%1 record line(s) could not be written to %2 (%3) "
                                             "and are not in it; the CSV rows keep them.")
                                  .arg(m_waiting.size())
                                  .arg(native(nameFor(m_index)), m_file.errorString()));
        m_waiting.clear();
        m_refused = false;
    }

    void refused(const QString& why) {
        if (m_refused)
            return;
        m_refused = true;
        emit m_owner.said(QStringLiteral("Records cannot be written to %1 (%2); they are kept and "
                                         "written as soon as the disk takes them.")
                              .arg(native(nameFor(m_index)), why));
    }

    QString m_path;
    UnattendedRecorder& m_owner;
    RecordAppender m_file;
    int m_index = 1;
    QString m_unit;
    bool m_headed = false; // the header line is in the file (or waiting for it)
    int m_records = 0;
    QStringList m_waiting;
    bool m_refused = false;
    bool m_ended = false;
};

UnattendedRecorder::UnattendedRecorder(Options options, Clock& clock, QObject* parent)
    : QObject(parent), m_options(std::move(options)), m_clock(clock),
      m_session(std::make_unique<MeterSession>(m_state)), m_timer(new QTimer(this)) {
    m_timer->setInterval(m_options.intervalMs);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &UnattendedRecorder::tick);
}

UnattendedRecorder::~UnattendedRecorder() {
    finish();
}

UnattendedRecorder::StartError UnattendedRecorder::start() {
    if (!m_options.csvPath.isEmpty()) {
        m_csv = std::make_unique<CsvOutput>(m_options.csvPath, *this);
        if (!m_csv->open(m_error))
            return StartError::Output;
    }
    if (!m_options.recordPath.isEmpty()) {
        m_records = std::make_unique<RecordOutput>(m_options.recordPath, *this);
        if (!m_records->open(m_error))
            return StartError::Output;
    }
    if (!m_session->start(m_options.port)) {
        m_error = QStringLiteral("%1 cannot be opened: %2")
                      .arg(m_options.port.device, m_session->errorText());
        return StartError::Port;
    }
    m_session->sampleTimer()->stop(); // the desktop's sampling tick; this one has its own
    m_running.start();
    m_startedAt = m_clock.now();
    m_timer->start();
    // Longer than a timer can wait (24.8 days): the sampling tick looks at the time.
    if (m_options.durationMs >= 0 && m_options.durationMs <= std::numeric_limits<int>::max())
        QTimer::singleShot(int(m_options.durationMs), this, &UnattendedRecorder::done);
    return StartError::None;
}

void UnattendedRecorder::tick() {
    if (m_options.durationMs >= 0 && m_running.elapsed() >= m_options.durationMs) {
        emit done();
        return;
    }
    const QDateTime now = m_clock.now();
    const auto recent = [](const QElapsedTimer& t) {
        return t.isValid() && t.elapsed() <= kFreshMs;
    };
    // Any frame shows the meter is there, a SET UP or CLEAR screen as well.
    const bool fresh = m_state.display.linkAlive && recent(m_state.sinceFrame);
    if (!fresh) {
        // The first frame takes a moment after the port opens: no absence to report yet.
        if (!m_lastHeard.isValid() && m_running.elapsed() < kStartGraceMs)
            return;
        if (!m_away) {
            m_away = true;
            m_awaySince = m_lastHeard.isValid() ? m_lastHeard : m_startedAt;
            emit said(QStringLiteral("The meter does not answer on %1; recording goes on when "
                                     "it is back.")
                          .arg(m_options.port.device));
            emit progressed();
        }
        return;
    }
    if (m_away) {
        m_away = false;
        emit said(QStringLiteral("The meter is back after %1 s.")
                      .arg(QString::number(m_awaySince.msecsTo(now) / 1000.0, 'f', 1)));
        take(samples::gap(m_awaySince, now));
    }
    m_lastHeard = now;
    Sample sample = samples::fromDisplay(m_state.display, now);
    if ((sample.status == Sample::Ok || sample.status == Sample::Over) &&
        !recent(m_state.sinceReading)) {
        // Frames come, but no reading in them (a screen without one): no plain reading.
        sample.status = Sample::Mode;
        sample.readingText.clear();
    }
    take(sample);
    ++m_taken;
    emit progressed();
    if (m_options.count >= 0 && m_taken >= m_options.count)
        emit done();
}

void UnattendedRecorder::take(const Sample& sample) {
    m_lastReading = sample.status == Sample::Ok
                        ? sample.readingText + QLatin1Char(' ') + sample.unit
                        : samples::statusName(sample.status);
    const bool ms = m_options.intervalMs % 1000 != 0;
    if (m_csv)
        m_csv->write(samples::csvRow(sample, ms));
    if (m_records)
        m_records->take(sample);
    if (m_listener)
        m_listener(sample);
}

void UnattendedRecorder::reopenFiles() {
    if (m_csv)
        m_csv->reopen();
    if (m_records)
        m_records->reopen();
}

void UnattendedRecorder::finish() {
    if (m_timer->isActive() && m_away) {
        // Ended while the meter is away: the row says so, to the end.
        m_away = false;
        take(samples::gap(m_awaySince, m_clock.now()));
    }
    m_timer->stop();
    if (m_session)
        m_session->shutdown();
    if (m_csv)
        m_csv->close();
    if (m_records)
        m_records->close();
}

} // namespace lumetra
