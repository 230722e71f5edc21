#include "gridio.h"

#include "link/polltimer.h"
#include "link/wait.h"
#include "model/appstate.h"
#include "model/recordfile.h"
#include "model/recordtable.h"
#include "platform/dialogs.h"

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
    // Row r is next: now and then its number goes to the caption and events run. false when
    // the program is shutting down.
    bool step(int r, const QString& suffix) {
        if (m_progress.elapsed() >= kProgressEveryMs) {
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

void chooseSaveFile(QWidget* parent, Dialogs& dialogs, AppState& state) {
    const QString path = dialogs.saveFile(parent, kSaveFilter);
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
        rest.emplace(poll->hold());
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
        const int rows = table.listRowCount();
        for (int r = 0; r < rows; ++r) {
            if (!busy.step(r, QStringLiteral(" Records Completed")))
                break;
            const QByteArray line = recordfile::encode(recordfile::gridLine(table.listRow(r)) +
                                                       QLatin1String(recordfile::kLineEnd));
            if (file.write(line) != line.size())
                break;
        }
        if (!quitRequested() && file.error() == QFileDevice::NoError && file.commit())
            return true;
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

bool printGrid(QWidget* caller, const RecordTable& table, Dialogs& dialogs, PollTimer* poll) {
    std::optional<PollTimer::Hold> hold;
    if (poll)
        hold.emplace(poll->hold());
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
        pollRest.emplace(poll->hold());
    ReadReport report;
    QPointer<QWidget> window(caller);
    if (QFileInfo(path).isDir()) {
        report.error = QStringLiteral("It is a folder, not a file.");
        return report;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        report.error = file.errorString();
        return report;
    }
    report.opened = true;

    constexpr qint64 kMaxLine = 64 * 1024; // a longer "line" is no record
    constexpr int kBlock = 2000;
    QVector<QStringList> block;
    block.reserve(kBlock);
    QElapsedTimer progress;
    progress.start();
    int k = 0;
    const auto flush = [&] {
        table.appendRows(block);
        block.clear();
    };
    while (!file.atEnd()) {
        QByteArray raw = file.readLine(kMaxLine);
        if (raw.isEmpty() && file.error() != QFileDevice::NoError) {
            report.error = file.errorString();
            break;
        }
        if (!raw.endsWith('\n') && !file.atEnd()) {
            // Over-long: skip to the end of this line without keeping it.
            while (!file.atEnd()) {
                const QByteArray rest = file.readLine(kMaxLine);
                if (rest.isEmpty() || rest.endsWith('\n'))
                    break;
            }
            ++report.skippedLines;
            continue;
        }
        const QString line = recordfile::decode(raw);
        if (k == 0) {
            table.setHeader(0, recordfile::headerUnit(line));
        } else {
            block.append(recordfile::fields(line));
            ++report.records;
        }
        ++k;
        if (block.size() >= kBlock || progress.elapsed() >= kProgressEveryMs) {
            flush();
            progress.restart();
            if (window)
                window->setWindowTitle(QString::number(k - 1) +
                                       QStringLiteral(" Records Completed"));
            pauseSeconds(0);
            if ((caller && !window) || quitRequested()) {
                report.interrupted = true;
                return report;
            }
        }
    }
    flush();
    if (window)
        window->setWindowTitle(QFileInfo(path).fileName());
    return report;
}

} // namespace lumetra
