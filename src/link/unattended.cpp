#include "unattended.h"

#include "link/metersession.h"
#include "model/recordfile.h"
#include "platform/clock.h"
#include "platform/recordappender.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumetra {
namespace {

// Lines the disk refused wait for it, up to about a day at four samples a second.
constexpr qsizetype kMostWaiting = 400000;

QString native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// A line that went into the file but could not be synced to the disk is still there, yet a
// power cut may take it: said once per output, counted to the end.
void sayUnsynced(const RecordAppender& file, const QString& path, UnattendedRecorder& owner,
                 bool& said) {
    if (said || file.syncFailures() == 0)
        return;
    said = true;
    emit owner.said(QStringLiteral("%1 could not be synced to the disk (%2): what is written is in "
                                   "the file, but a power cut may take it. Recording goes on.")
                        .arg(native(path), file.syncError()));
}

} // namespace

// The CSV rows: into a file (appended, a header when it is new) or onto standard output.
// Standard output is shared with whoever started us (and often with standard error, as in
// "2>&1 | logger"): its flags are never changed. A reader that stalls must not stop the
// recording, so every write onto it is one that cannot block, and rows wait instead.
class UnattendedRecorder::CsvOutput {
public:
    CsvOutput(QString path, UnattendedRecorder& owner)
        : m_path(std::move(path)), m_toOut(m_path == QLatin1String("-")), m_owner(owner) {
        if (m_toOut) {
            struct stat info {};
            if (::fstat(STDOUT_FILENO, &info) == 0) {
                m_outIsFile = S_ISREG(info.st_mode);
                m_outIsSocket = S_ISSOCK(info.st_mode);
                const int flags = ::fcntl(STDOUT_FILENO, F_GETFL);
                m_outAppends = flags >= 0 && (flags & O_APPEND) != 0;
                m_outStart = m_outIsFile ? info.st_size : 0;
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
        return true; // the header goes out once the meter's port is open too
    }

    void begin() { flush(); }

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
        if (m_toOut || m_closed)
            return;
        m_file.close();
        if (!openFile())
            refused(m_file.errorString());
        flush();
    }

    // The last rows, for at most `ms` when a reader holds them up; what is still waiting then
    // is said and given up. Nothing is written afterwards.
    void close(int ms) {
        if (m_closed)
            return;
        flush();
        QDeadlineTimer until(ms);
        while (m_toOut && !m_waiting.isEmpty() && !m_closed && !until.hasExpired()) {
            pollfd out{STDOUT_FILENO, POLLOUT, 0};
            const int left = int(std::max<qint64>(1, until.remainingTime()));
            if (::poll(&out, 1, left) < 0 && errno != EINTR)
                break;
            flush();
        }
        if (!m_waiting.isEmpty() && !m_closed) {
            const qsizetype header = m_waiting.first().startsWith("time,") ? 1 : 0;
            if (m_waiting.size() > header || m_dropped > 0)
                emit m_owner.said(
                    QStringLiteral("%1 CSV row(s) did not get out to %2 before the end%3.")
                        .arg(m_waiting.size() - header)
                        .arg(m_toOut ? QStringLiteral("standard output") : native(m_path),
                             m_dropped ? QStringLiteral("; %1 older row(s) were dropped while it "
                                                        "took nothing")
                                             .arg(m_dropped)
                                       : QString()));
        }
        m_waiting.clear();
        m_closed = true;
        m_file.close();
    }

    qint64 unsynced() const { return m_file.syncFailures(); }

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
        while (!m_waiting.isEmpty() && !m_closed) {
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
            sayUnsynced(m_file, m_path, m_owner, m_syncSaid);
        }
        if ((m_refused || m_dropped > 0) && m_waiting.isEmpty()) {
            m_refused = false;
            emit m_owner.said(
                QStringLiteral("%1 takes rows again%2.")
                    .arg(m_toOut ? QStringLiteral("Standard output") : native(m_path),
                         m_dropped ? QStringLiteral("; %1 older row(s) were dropped").arg(m_dropped)
                                   : QString()));
            m_dropped = 0;
        }
    }

    // Bytes onto standard output without ever blocking: a socket is told so per call; a pipe
    // or a terminal takes at most PIPE_BUF bytes once poll() says it has room, which it
    // takes at once; a file takes what it is given.
    ssize_t writeSome(const char* bytes, size_t size) {
        if (m_outIsSocket)
            return ::send(STDOUT_FILENO, bytes, size, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (!m_outIsFile) {
            pollfd out{STDOUT_FILENO, POLLOUT, 0};
            const int ready = ::poll(&out, 1, 0);
            if (ready <= 0) {
                if (ready == 0)
                    errno = EAGAIN;
                return -1;
            }
            size = std::min<size_t>(size, PIPE_BUF);
        }
        return ::write(STDOUT_FILENO, bytes, size);
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
            const ssize_t n = writeSome(bytes.constData() + done, size_t(bytes.size() - done));
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
    bool m_outIsSocket = false;
    UnattendedRecorder& m_owner;
    RecordAppender m_file;
    QList<QByteArray> m_waiting;
    qint64 m_dropped = 0;
    bool m_refused = false;
    bool m_closed = false;     // nothing more goes out (the end, or no reader any more)
    bool m_outAppends = false; // standard output was opened to append (>>)
    off_t m_outStart = 0;      // what a redirected file held before us
    bool m_partSent = false;   // the first waiting row is partly out already
    bool m_syncSaid = false;
};

// The desktop program's record files, byte for byte. Where the desktop recording would stop
// (a unit change, a measuring mode, 100 000 records), this file ends and the next plain
// reading starts NAME-2.txt, NAME-3.txt, … An existing file is never written over. Records
// the disk refused wait (numbered only as they go in); a file moved away by log rotation is
// followed by a new one under the name, which gets them.
class UnattendedRecorder::RecordOutput {
public:
    RecordOutput(QString path, bool csvToo, UnattendedRecorder& owner)
        : m_path(std::move(path)), m_csvToo(csvToo), m_owner(owner) {}

    bool open(QString& error) {
        if (openFree())
            return true;
        error = QStringLiteral("%1 cannot be written: %2")
                    .arg(native(nameFor(m_index)), m_file.errorString());
        return false;
    }

    void take(const Sample& s) {
        if (s.status == Sample::Gap || s.status == Sample::Away)
            return; // the same file goes on; the time stamps show the gap
        if (s.status == Sample::Mode) {
            end(QStringLiteral("the meter shows a measuring mode"));
            return;
        }
        // A file moved away and not yet made again keeps its rules all the same.
        const bool current = m_file.isOpen() || m_lost;
        if (current && m_unitSet && s.unit != m_unit)
            end(QStringLiteral("the unit changed to %1").arg(s.unit));
        else if (current && m_records + m_waiting.size() >= recordfile::kMaxRecords)
            end(QStringLiteral("it holds %1 records").arg(recordfile::kMaxRecords));
        if (!m_file.isOpen() && !m_lost && !openFree()) {
            // Not there (its folder gone, say): the records wait for it like any refused.
            m_lost = true;
            refused(m_file.errorString());
        }
        if (!m_unitSet) {
            m_unitSet = true;
            m_unit = s.unit;
        }
        m_waiting << recordfile::sampleText(s.time, s.status == Sample::Over ? QStringLiteral("OL")
                                                                             : s.readingText);
        if (m_waiting.size() > kMostWaiting) {
            m_waiting.removeFirst();
            if (m_dropped++ == 0)
                emit m_owner.said(QStringLiteral("%1 records wait for %2: the oldest are dropped "
                                                 "until it takes them again.")
                                      .arg(kMostWaiting)
                                      .arg(native(nameFor(m_index))));
        }
        flush();
    }

    void reopen() {
        if (!m_file.isOpen()) {
            if (m_lost)
                flush();
            return;
        }
        flush();
        m_file.close();
        const QString name = nameFor(m_index);
        if (QFileInfo(name).size() > 0 &&
            m_file.openToAppend(name, QByteArray(recordfile::kLineEnd))) {
            flush();
            return; // still there: it goes on
        }
        afresh();
    }

    void close() {
        flush();
        dropWaiting();
        m_file.close();
    }

    qint64 unsynced() const { return m_file.syncFailures(); }

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
        m_unitSet = false;
        m_records = 0;
        m_headerDue = true;
        if (!m_file.open(nameFor(m_index)))
            return false;
        if (m_index > 1 || m_ended)
            emit m_owner.said(QStringLiteral("Records go on in %1.").arg(native(nameFor(m_index))));
        return true;
    }

    // The file was moved away (log rotation): a new one under its name, or the next free
    // name when something else is there already, gets what waits, headed and numbered from 1.
    void afresh() {
        m_file.close();
        m_lost = true;
        while (QFileInfo(nameFor(m_index)).size() > 0)
            ++m_index;
        m_records = 0;
        m_headerDue = true;
        if (!m_file.open(nameFor(m_index))) {
            refused(m_file.errorString());
            return;
        }
        m_lost = false;
        emit m_owner.said(
            QStringLiteral("Records go on in a new %1.").arg(native(nameFor(m_index))));
    }

    void end(const QString& why) {
        if (!m_file.isOpen() && !m_lost)
            return;
        flush(); // a file moved away is made again here if it can be
        const bool there = m_file.isOpen();
        close();
        m_lost = false;
        if (there)
            emit m_owner.said(
                QStringLiteral("%1 is complete: %2.").arg(native(nameFor(m_index)), why));
        m_ended = true;
        if (m_records > 0)
            ++m_index;
    }

    bool appendLine(const QString& line) {
        return m_file.append(recordfile::encode(line + QLatin1String(recordfile::kLineEnd)));
    }

    void flush() {
        if (!m_file.isOpen() && m_lost)
            afresh();
        if (!m_file.isOpen())
            return;
        // Emptied by log rotation (copied, then truncated): a record file starts with its
        // header, so it gets it again.
        if (!m_headerDue && m_file.emptiedMeanwhile())
            m_headerDue = true;
        bool movedOn = false;
        while (m_unitSet && (m_headerDue || !m_waiting.isEmpty())) {
            const bool ok =
                m_headerDue ? appendLine(recordfile::headerLine(m_unit))
                            : appendLine(recordfile::recordLine(m_records + 1, m_waiting.first()));
            if (!ok) {
                if (m_file.gone() && !movedOn) {
                    movedOn = true;
                    afresh();
                    if (m_file.isOpen())
                        continue;
                }
                refused(m_file.errorString());
                return;
            }
            if (m_headerDue) {
                m_headerDue = false;
            } else {
                m_waiting.removeFirst();
                ++m_records;
            }
            sayUnsynced(m_file, nameFor(m_index), m_owner, m_syncSaid);
        }
        if (m_refused) {
            m_refused = false;
            emit m_owner.said(
                QStringLiteral("%1 takes records again%2.")
                    .arg(native(nameFor(m_index)),
                         m_dropped
                             ? QStringLiteral("; %1 older record(s) were dropped").arg(m_dropped)
                             : QString()));
            m_dropped = 0;
        }
    }

    // Records the disk refused belong to the file that ends: they cannot go into another.
    void dropWaiting() {
        if (m_file.isOpen())
            flush();
        if (!m_waiting.isEmpty())
            emit m_owner.said(
                QStringLiteral("%1 record line(s) could not be written to %2 (%3) "
                               "and are not in it%4.")
                    .arg(m_waiting.size())
                    .arg(native(nameFor(m_index)), m_file.errorString(),
                         m_csvToo ? QStringLiteral("; the CSV rows keep them") : QString()));
        m_waiting.clear();
        m_refused = false;
        m_dropped = 0;
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
    bool m_csvToo = false;
    UnattendedRecorder& m_owner;
    RecordAppender m_file;
    int m_index = 1;
    QString m_unit;
    bool m_unitSet = false;   // the file's unit is known (its first record came)
    bool m_headerDue = false; // the header line goes in before the next record
    int m_records = 0;        // records in the file
    QStringList m_waiting;    // records' time and value, not yet in the file
    qint64 m_dropped = 0;
    bool m_refused = false;
    bool m_ended = false;
    bool m_lost = false; // moved away, and no new file under the name yet
    bool m_syncSaid = false;
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
        m_records = std::make_unique<RecordOutput>(m_options.recordPath,
                                                   !m_options.csvPath.isEmpty(), *this);
        if (!m_records->open(m_error))
            return StartError::Output;
    }
    if (!m_session->start(m_options.port)) {
        m_error = QStringLiteral("%1 cannot be opened: %2")
                      .arg(m_options.port.device, m_session->errorText());
        return StartError::Port;
    }
    m_session->sampleTimer()->stop(); // the desktop's sampling tick; this one has its own
    if (m_csv)
        m_csv->begin();
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
    if (m_finished)
        return;
    m_finished = true;
    if (m_timer->isActive() && m_away) {
        // Ended while the meter is away: the row says so, to the end.
        m_away = false;
        take(samples::gap(m_awaySince, m_clock.now(), false));
    }
    m_timer->stop();
    if (m_session)
        m_session->shutdown();
    if (m_csv)
        m_csv->close(kLastFlushMs);
    if (m_records)
        m_records->close();
    const qint64 unsynced =
        (m_csv ? m_csv->unsynced() : 0) + (m_records ? m_records->unsynced() : 0);
    if (unsynced > 0)
        emit said(QStringLiteral("%1 line(s) could not be synced to the disk.").arg(unsynced));
}

} // namespace lumetra
