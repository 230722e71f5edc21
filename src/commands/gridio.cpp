#include "gridio.h"

#include "link/polltimer.h"
#include "link/wait.h"
#include "model/appstate.h"
#include "model/exposure.h"
#include "model/recordfile.h"
#include "model/recordtable.h"
#include "model/samplerow.h"
#include "platform/wholefile.h"
#include "widgets/dialogs.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPointer>
#include <QPrinter>
#include <QSaveFile>
#include <QScopeGuard>
#include <QWidget>

#include <cstring>

namespace lumetra {
namespace {

// Progress is shown and events run at most this often, so a big list neither freezes the
// window nor spends its time repainting the caption.
constexpr qint64 kProgressEveryMs = 50;

// For the length of a long job on a list: the busy cursor, the caller's window disabled (no
// second job meanwhile) and its caption given back at the end, if the window is still there.
class CallerBusy {
public:
    explicit CallerBusy(QWidget* caller)
        : m_window(caller), m_caption(caller ? caller->windowTitle() : QString()) {
        m_progress.start();
        QApplication::setOverrideCursor(Qt::WaitCursor);
        if (caller)
            caller->setEnabled(false);
    }
    ~CallerBusy() {
        if (m_window) {
            m_window->setWindowTitle(m_caption);
            m_window->setEnabled(true);
        }
        QApplication::restoreOverrideCursor();
    }
    CallerBusy(const CallerBusy&) = delete;
    CallerBusy& operator=(const CallerBusy&) = delete;

    QWidget* window() const { return m_window; }
    // Row r is next: now and then (or now, if asked) its number goes to the caption and
    // events run. false when the program is shutting down.
    bool step(int r, const QString& suffix, bool now = false) {
        if (now || m_progress.elapsed() >= kProgressEveryMs) {
            m_progress.restart();
            if (m_window)
                m_window->setWindowTitle(QString::number(r) + suffix);
            pauseSeconds(0);
        }
        return !quitRequested();
    }

private:
    QPointer<QWidget> m_window;
    QString m_caption;
    QElapsedTimer m_progress;
};

} // namespace

QString sameFileKey(const QString& path) {
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath(); // empty while the file does not exist
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

void chooseSaveFile(QWidget* parent, Dialogs& dialogs, AppState& state, const QDateTime& now) {
    // A dated name, so that one day's recordings do not overwrite another's by default.
    const QString path = dialogs.saveFile(
        parent, kSaveFilter,
        QStringLiteral("readings-%1.txt").arg(now.toString(QStringLiteral("yyyy-MM-dd-HHmm"))));
    if (path.isEmpty()) {
        state.fileChosen = false;
        return;
    }
    state.recordFileName = path;
    state.fileChosen = !QFileInfo(path).fileName().isEmpty();
}

bool saveGrid(QWidget* caller, const RecordTable& table, Dialogs& dialogs, AppState& state,
              PollTimer* poll) {
    std::optional<PollTimer::Hold> rest;
    if (poll)
        rest.emplace(poll->hold(QStringLiteral("a list being saved")));
    CallerBusy busy(caller);
    // The name is taken now: the shared one may change while the save runs.
    const QString path = state.recordFileName;
    const QString target = sameFileKey(path);
    state.filesBeingSaved.append(target);
    const auto unchoose = qScopeGuard([&] {
        state.fileChosen = false;
        state.filesBeingSaved.removeOne(target);
    });

    QSaveFile file(path);
    QString error;
    if (file.open(QIODevice::WriteOnly)) {
        // Lines are encoded straight into a large block, written a block at a time.
        constexpr qsizetype kBlock = 256 * 1024;
        QByteArray block;
        block.reserve(kBlock + 4096);
        const auto writeBlock = [&] {
            const bool whole = writeAll(file, block, error);
            block.truncate(0);
            return whole;
        };
        const int rows = table.listRowCount();
        const int columns = table.columnCount();
        bool written = true;
        for (int r = 0; r < rows && written; ++r) {
            if (r % 256 == 0 && !busy.step(r, QStringLiteral(" Records Completed")))
                break;
            const QString* cells = r == 0 ? nullptr : table.rowCells(r - 1);
            for (int c = 0; c < columns; ++c)
                recordfile::appendGridCell(block, cells ? cells[c] : table.header(c));
            block.append(recordfile::kLineEnd);
            // Events run after every block written, however fast the disk.
            if (block.size() >= kBlock && (written = writeBlock()) &&
                !busy.step(r + 1, QStringLiteral(" Records Completed"), true))
                break;
        }
        if (written && !block.isEmpty())
            written = writeBlock();
        if (written && !quitRequested())
            written = syncToDisk(file, error);
        // The old file is replaced only by the whole list: anything short of it is thrown
        // away and the old file stays as it was.
        if (written && !quitRequested() && file.error() == QFileDevice::NoError && file.commit())
            return true;
        if (error.isEmpty())
            error = file.errorString();
        file.cancelWriting();
    } else {
        error = file.errorString();
    }
    if (!quitRequested())
        dialogs.message(busy.window(),
                        QStringLiteral("The list could not be saved to %1.")
                            .arg(QDir::toNativeSeparators(path)),
                        MessageIcon::Error, MessageButtons::Ok, {}, error);
    return false;
}

bool exportCsv(QWidget* caller, const RecordTable& table, Dialogs& dialogs,
               const QDateTime& reference, bool datesAssumed) {
    const QString path = dialogs.saveFile(caller, kCsvFilter);
    if (path.isEmpty())
        return false;
    const QString error = saveWholeFile(path, exposure::listCsv(table, reference, datesAssumed));
    if (error.isEmpty())
        return true;
    dialogs.message(
        caller,
        QStringLiteral("The list could not be exported to %1.").arg(QDir::toNativeSeparators(path)),
        MessageIcon::Error, MessageButtons::Ok, {}, error);
    return false;
}

bool printGrid(QWidget* caller, const RecordTable& table, Dialogs& dialogs, PollTimer* poll) {
    std::optional<PollTimer::Hold> hold;
    if (poll)
        hold.emplace(poll->hold(QStringLiteral("a list being printed")));
    CallerBusy busy(caller);
    QWidget* window = busy.window();

    QPrinter printer(QPrinter::HighResolution);
    if (!dialogs.printerSetup(window, printer))
        return false;
    QPainter painter;
    if (!painter.begin(&printer)) {
        dialogs.message(window, QStringLiteral("The printer could not be started."),
                        MessageIcon::Error);
        return false;
    }
    QFont font(QStringLiteral("Liberation Mono"));
    font.setStyleHint(QFont::Monospace);
    font.setPointSizeF(10);
    painter.setFont(font);
    const QFontMetricsF fm(font, &printer);
    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    const double lineHeight = fm.lineSpacing();
    double y = fm.ascent();
    const int rows = table.listRowCount();
    for (int r = 0; r < rows; ++r) {
        if (!busy.step(r, QStringLiteral(" record(s) completed"))) {
            printer.abort();
            return false;
        }
        if (y + fm.descent() > page.height()) {
            printer.newPage();
            y = fm.ascent();
        }
        painter.drawText(QPointF(0, y), recordfile::printedLine(table.listRow(r)));
        y += lineHeight;
    }
    return painter.end();
}

ReadReport readRecordFile(const QString& path, RecordTable& table, QWidget* caller,
                          PollTimer* poll) {
    std::optional<PollTimer::Hold> pollRest;
    if (poll)
        pollRest.emplace(poll->hold(QStringLiteral("a file being opened")));
    ReadReport report;
    QPointer<QWidget> window(caller);
    const QFileInfo info(path);
    if (info.isDir()) {
        report.error = QStringLiteral("It is a folder, not a file.");
        return report;
    }
    // A pipe or a device would hold the program in open() or read() for as long as nobody
    // writes to it.
    if (info.exists() && !info.isFile()) {
        report.error = QStringLiteral("It is not a regular file (a pipe, a socket or a device).");
        return report;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        report.error = file.errorString();
        return report;
    }
    report.opened = true;

    constexpr qint64 kMaxLine = 64 * 1024 - 1; // a longer "line" is no record
    constexpr qint64 kChunk = 512 * 1024;
    const int columns = table.columnCount();
    QVector<QString> cells; // rows read since the last insert, cell after cell
    QList<qint64> moments;  // their moments, for a recorder's CSV
    int k = 0;
    const auto flush = [&] {
        table.appendRowCells(cells);
        table.appendExactTimes(moments);
        cells.clear();
        moments.clear();
    };
    // A CSV of the recorder without a display reads as the record file it stands for: the
    // rows with a reading, in the unit of the first (rows in another unit converted to it).
    bool csv = false;
    QString csvUnit;
    bool anyRecordLine = false; // a text with none is no record file
    const auto takeLine = [&](const char* line, qsizetype size) {
        if (k == 0) {
            const QString first = recordfile::decode(QByteArray(line, size));
            csv = samples::isCsvHeader(first);
            if (!csv)
                table.setHeader(0, recordfile::headerUnit(first));
        } else if (csv) {
            const auto r = samples::recordOfCsvRow(QString::fromUtf8(line, size));
            // The file's unit is that of its first row with a unit the lists know.
            if (r && csvUnit.isNull() &&
                (r->unit == QLatin1String("Lx") || r->unit == QLatin1String("Fc"))) {
                csvUnit = r->unit;
                table.setHeader(0, csvUnit);
            }
            // A unit changed on the keypad midway: the rest is converted, not cut off. A row
            // in no unit the lists know is left out (and counted).
            const auto reading = r && !csvUnit.isNull()
                                     ? samples::readingIn(r->reading, r->unit, csvUnit)
                                     : std::nullopt;
            if (r && !reading) {
                ++report.otherUnitRows;
            } else if (r) {
                if (r->unit != csvUnit)
                    ++report.convertedRows;
                cells << QString::number(++report.records) << r->stamp << *reading;
                moments << r->ms; // the stamp alone would lose the row's UTC offset
                for (int c = 3; c < columns; ++c)
                    cells << QString();
            }
        } else {
            recordfile::appendFields(line, size, columns, cells);
            ++report.records;
            if (!anyRecordLine)
                anyRecordLine = recordfile::isRecordLine(QByteArrayView(line, size));
        }
        ++k;
    };
    // The rows read so far go to the list in one insert, the count to the caption, and
    // events run: after every block, and inside one that holds very many short lines.
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    const auto letEventsIn = [&] {
        flush();
        if (window)
            window->setWindowTitle(QString::number(std::max(k - 1, 0)) +
                                   QStringLiteral(" Records Completed"));
        pauseSeconds(0);
        sinceEvents.restart();
        return !((caller && !window) || quitRequested());
    };
    // Large blocks, lines found with memchr; only the fields become strings.
    // Any text would read as a list of lines: a file is taken as records when it has a record
    // file's header, is a recorder's CSV or has a record line among its first lines.
    constexpr int kLinesToRecognise = 1000;
    const auto notRecords = [&] {
        return k > 0 && !csv && !anyRecordLine && table.header(0).isEmpty();
    };
    const auto refuse = [&] {
        table.clear();
        report.opened = false;
        report.records = 0;
        report.error = QStringLiteral(
            "It holds no records: a record file of Lumetra starts with a line that names its unit "
            "(Lx or Fc), and each record is a number, a time and a reading, separated by tabs.");
        return report;
    };
    QByteArray pending; // the start of a line that runs on into the next block
    bool overLong = false;
    for (;;) {
        const QByteArray chunk = file.read(kChunk);
        if (chunk.isEmpty()) {
            if (file.error() != QFileDevice::NoError) {
                report.error = file.errorString();
                pending.clear(); // a line cut off by the error is no record
                overLong = false;
            }
            break;
        }
        const char* data = chunk.constData();
        qsizetype at = 0;
        while (at < chunk.size()) {
            const void* nl = std::memchr(data + at, '\n', size_t(chunk.size() - at));
            const qsizetype end = nl ? static_cast<const char*>(nl) - data : chunk.size();
            if (!overLong && pending.size() + (end - at) > kMaxLine)
                overLong = true; // skipped up to its line end, never kept
            if (!nl) {
                if (!overLong)
                    pending.append(data + at, end - at);
                break;
            }
            if (overLong) {
                ++report.skippedLines;
                overLong = false;
            } else if (pending.isEmpty()) {
                takeLine(data + at, end - at + 1);
            } else {
                pending.append(data + at, end - at + 1);
                takeLine(pending.constData(), pending.size());
            }
            pending.clear();
            at = end + 1;
            if (k == kLinesToRecognise && notRecords())
                return refuse();
            if (k % 4096 == 0 && sinceEvents.elapsed() >= kProgressEveryMs && !letEventsIn()) {
                report.interrupted = true;
                return report;
            }
        }
        if (!letEventsIn()) {
            report.interrupted = true;
            return report;
        }
    }
    // The last line may have no line end.
    if (overLong)
        ++report.skippedLines;
    else if (!pending.isEmpty())
        takeLine(pending.constData(), pending.size());
    if (notRecords())
        return refuse();
    flush();
    if (window)
        window->setWindowTitle(QFileInfo(path).fileName());
    return report;
}

} // namespace lumetra
