// Every writer of the program against a disk that misbehaves: a write taken only in part (at
// every byte across the last lines, and across a block edge), no space left, a file-size limit,
// a folder that turns read-only, a record file removed or replaced under a recording. In every
// cell a saved file is the old one byte for byte or the whole new one, a record file holds only
// whole lines numbered 1…n, the user is told what failed and where, and nothing is said to be
// saved that is not. The faults come from support/diskfaults, beneath the program's own calls.
#include "commands/gridio.h"
#include "commands/listcommands.h"
#include "link/recorder.h"
#include "link/sampler.h"
#include "model/appstate.h"
#include "model/recordtable.h"
#include "platform/clock.h"
#include "platform/recordappender.h"
#include "platform/remembered.h"
#include "support/diskfaults.h"
#include "support/recordlines.h"
#include "widgets/dialogs.h"
#include "windows/datalist.h"
#include "windows/filelist.h"
#include "windows/graphview.h"
#include "windows/realtimelist.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <functional>
#include <sys/resource.h>

using namespace lumetra;
namespace faults = lumetra::test::diskfaults;

namespace {

enum Writer {
    Recording,
    RealTimeListSave,
    DataListSave,
    FileListSave,
    GraphPng,
    GraphPdf,
    Settings
};
enum Fault { NoSpace, SizeLimit, ReadOnly, Removed, Replaced };

const char* const kWriterNames[] = {"record file", "Real Time List", "Data List", "File List",
                                    "graph PNG",   "graph PDF",      "settings"};
const char* const kFaultNames[] = {"no space", "size limit", "read-only folder", "removed",
                                   "replaced"};

constexpr int kRecordsBeforeHealing = 10;
constexpr int kListRows = 12000; // past the save's 256 KB block
constexpr qint64 kBlock = 256 * 1024;

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

// A recording on a steady meter, its sampling tick driven by hand.
struct RecordingRig {
    AppState state;
    ScriptedDialogs dialogs;
    ManualClock clock{QDateTime(QDate(2026, 12, 6), QTime(14, 5, 30))};
    Recorder recorder{state};
    Sampler sampler{state, clock, recorder};
    QString lastError;

    explicit RecordingRig(const QString& path) {
        state.meterOnline = true;
        state.sampleInterval = 1;
        state.display.unitText = QStringLiteral("Lx");
        state.display.readingText = QStringLiteral("12.34");
        state.display.linkAlive = true;
        state.recordFileName = path;
        QObject::connect(&sampler, &Sampler::writeErrorChanged,
                         [this](const QString& text) { lastError = text; });
    }
    void tick() {
        ++state.readingsDecoded; // a fresh reading every second
        clock.advance(1);
        sampler.tick();
    }
};

// The list every list window saves: header and kListRows records.
void fillList(RecordTable& table) {
    QVector<QStringList> rows;
    rows.reserve(kListRows);
    for (int i = 1; i <= kListRows; ++i)
        rows.append({QString::number(i), QStringLiteral("06-14:05:31"), QStringLiteral("12.34")});
    table.appendRows(rows);
}

// Runs one save writer into path; the dialogs record what the user was told.
void save(Writer writer, const QString& path, ScriptedDialogs& dialogs) {
    dialogs.saveAnswers = {path};
    AppState state;
    switch (writer) {
    case RealTimeListSave: {
        RealTimeList list(QStringLiteral("Lx"));
        fillList(*list.table());
        runListCommand(list, *list.table(), QStringLiteral("Save"), state, dialogs, nullptr);
        break;
    }
    case DataListSave: {
        DataList list(state);
        fillList(*list.visibleTable());
        runListCommand(list, *list.visibleTable(), QStringLiteral("Save"), state, dialogs, nullptr);
        break;
    }
    case FileListSave: {
        FileList list;
        fillList(*list.table());
        runListCommand(list, *list.table(), QStringLiteral("Save"), state, dialogs, nullptr);
        break;
    }
    case GraphPng:
    case GraphPdf: {
        GraphView view(QStringLiteral("Plot"), QStringLiteral("Plot"), dialogs);
        view.resize(900, 600);
        view.fill({1, 4, 2, 8, 5, 7}, QStringLiteral("Lx"), 0, 10);
        view.CmdSave->click();
        break;
    }
    case Settings:
        if (const QString error = remember(QStringLiteral("files/lastFolder"),
                                           QStringLiteral("/a/new/folder/remembered"));
            !error.isEmpty())
            dialogs.message(nullptr, error, MessageIcon::Error, MessageButtons::Ok, {}, {});
        break;
    case Recording:
        break;
    }
}

QString targetIn(const QDir& dir, Writer writer) {
    if (writer == Settings)
        return dir.filePath(QStringLiteral("Lumetra/Lumetra.conf"));
    return dir.filePath(writer == GraphPng   ? QStringLiteral("graph.png")
                        : writer == GraphPdf ? QStringLiteral("graph.pdf")
                                             : QStringLiteral("list.txt"));
}

// Settings of the run live in dir.
void settingsIn(const QString& dir) {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir);
}

// The whole new file of each writer, written once on a healthy disk.
QByteArray reference(Writer writer) {
    static QMap<int, QByteArray> made;
    if (!made.contains(writer)) {
        QTemporaryDir dir;
        ScriptedDialogs dialogs;
        settingsIn(dir.path());
        save(writer, targetIn(QDir(dir.path()), writer), dialogs);
        made[writer] = readAll(targetIn(QDir(dir.path()), writer));
    }
    return made[writer];
}

// The recording's file after kRecordsBeforeHealing records, for the offsets of its last lines.
qint64 recordingSize() {
    return QByteArray("Lx\tTime\tValue\r\n").size() + 9 * 21 + 22;
}

// A whole new file of the writer: byte for byte, or (pictures carry the moment they were
// made) one that opens whole.
bool wholeNew(Writer writer, const QByteArray& bytes) {
    if (writer == GraphPng)
        return !QImage::fromData(bytes, "PNG").isNull() && bytes.size() == reference(writer).size();
    if (writer == GraphPdf)
        return bytes.startsWith("%PDF") && bytes.trimmed().endsWith("%%EOF") &&
               bytes.size() == reference(writer).size();
    return bytes == reference(writer);
}

struct FileSizeLimit {
    rlimit before{};
    explicit FileSizeLimit(qint64 bytes) {
        getrlimit(RLIMIT_FSIZE, &before);
        rlimit limit = before;
        limit.rlim_cur = rlim_t(bytes);
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &before); }
};

} // namespace

class TestWriteFaults : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup() { faults::disarm(); }
    void matrix_data();
    void matrix();
};

void TestWriteFaults::initTestCase() {
    // As the program does: a size limit is a write error, not the end of the process.
    std::signal(SIGXFSZ, SIG_IGN);
    QCoreApplication::setOrganizationName(QStringLiteral("Lumetra"));
    QCoreApplication::setApplicationName(QStringLiteral("Lumetra"));
}

void TestWriteFaults::matrix_data() {
    QTest::addColumn<int>("writer");
    QTest::addColumn<int>("fault");
    QTest::addColumn<qint64>("offset"); // where the disk stops taking bytes
    const auto add = [](Writer w, Fault f, qint64 at) {
        QTest::addRow("%s, %s at %lld", kWriterNames[w], kFaultNames[f], at)
            << int(w) << int(f) << at;
    };
    // Every byte across the last three lines of a recording.
    const qint64 recorded = recordingSize();
    for (qint64 at = recorded - 3 * 21 - 1; at < recorded; ++at)
        add(Recording, NoSpace, at);
    for (qint64 at : {recorded - 40, recorded - 1})
        add(Recording, SizeLimit, at);
    for (Fault f : {ReadOnly, Removed, Replaced})
        add(Recording, f, -1);

    for (Writer w : {RealTimeListSave, DataListSave, FileListSave}) {
        const qint64 size = reference(w).size();
        // The last three lines for one list, the block edge for the others.
        const qint64 from = w == RealTimeListSave ? size - 3 * 25 : kBlock - 30;
        const qint64 to = w == RealTimeListSave ? size : kBlock + 30;
        for (qint64 at = from; at < to; ++at)
            add(w, NoSpace, at);
        add(w, SizeLimit, size - 1);
        add(w, SizeLimit, kBlock);
        add(w, ReadOnly, -1);
    }
    for (Writer w : {GraphPng, GraphPdf, Settings}) {
        const qint64 size = reference(w).size();
        for (qint64 at : {qint64(0), qint64(1), size / 2, qint64(16383), qint64(16384), size - 1}) {
            if (at < size)
                add(w, NoSpace, at);
        }
        add(w, SizeLimit, size - 1);
        add(w, ReadOnly, -1);
    }
}

void TestWriteFaults::matrix() {
    QFETCH(int, writer);
    QFETCH(int, fault);
    QFETCH(qint64, offset);
    QTemporaryDir dir;
    const QString folder =
        writer == Settings ? dir.filePath(QStringLiteral("Lumetra")) : dir.path();
    QDir().mkpath(folder);
    const QString path = targetIn(QDir(dir.path()), Writer(writer));
    const QString native = QDir::toNativeSeparators(path);
    faults::Plan plan{QFile::encodeName(folder), -1, ENOSPC, false};
    if (fault == NoSpace)
        plan.acceptBytes = offset;
    plan.readOnly = fault == ReadOnly;
    std::optional<FileSizeLimit> limit;

    if (writer == Recording) {
        RecordingRig r(path);
        if (fault == NoSpace || fault == SizeLimit) {
            if (fault == NoSpace)
                faults::arm(plan);
            else
                limit.emplace(offset);
        }
        QVERIFY(r.recorder.start());
        const QString other = dir.filePath(QStringLiteral("other.txt"));
        for (int i = 1; i <= kRecordsBeforeHealing; ++i) {
            if (i == 4 && fault == ReadOnly)
                faults::arm(plan);
            if (i == 4 && fault == Removed)
                QVERIFY(QFile::remove(path));
            if (i == 4 && fault == Replaced) {
                writeFile(other, "someone else's file\r\n");
                QVERIFY(QFile::copy(other, path + QStringLiteral(".new")));
                QVERIFY(::rename(QFile::encodeName(path + QStringLiteral(".new")).constData(),
                                 QFile::encodeName(path).constData()) == 0);
            }
            r.tick();
            // Whatever the disk did, the file holds whole lines only.
            int records = 0;
            if (fault != Removed && fault != Replaced)
                QVERIFY2(test::wellFormedRecords(readAll(path), &records),
                         readAll(path).right(80).constData());
        }
        if (fault == ReadOnly) {
            QVERIFY2(r.lastError.isEmpty(), qPrintable(r.lastError)); // an open file goes on
        } else {
            // The user is told what failed and where.
            QVERIFY2(r.lastError.contains(native), qPrintable(r.lastError));
            QVERIFY(r.sampler.pendingLines() > 0 || !r.state.recordingToFile);
        }
        if (fault == Removed || fault == Replaced) {
            // Nothing goes into a file that took the name, nor into the removed one; the
            // recording stops at once and says what is in no file.
            if (fault == Replaced)
                QCOMPARE(readAll(path), QByteArray("someone else's file\r\n"));
            else
                QVERIFY(!QFile::exists(path));
            QVERIFY(!r.state.recordingToFile);
            QVERIFY(r.lastError.contains(RecordAppender::removedMessage()));
            QVERIFY2(r.lastError.contains(QLatin1String("stopped with 1 record(s)")),
                     qPrintable(r.lastError));
            return;
        }
        // The disk heals: the records it refused are caught up, in order, none lost.
        faults::disarm();
        limit.reset();
        r.tick();
        r.tick();
        QVERIFY(r.lastError.isEmpty());
        r.sampler.stopRecording();
        int records = 0;
        QVERIFY(test::wellFormedRecords(readAll(path), &records));
        QCOMPARE(records, kRecordsBeforeHealing + 2);
        return;
    }

    if (writer == Settings) {
        settingsIn(dir.path());
        QVERIFY(remember(QStringLiteral("files/lastFolder"), QStringLiteral("/old")).isEmpty());
    } else {
        writeFile(path, "the old file\r\n");
    }
    const QByteArray old = readAll(path);
    ScriptedDialogs dialogs;
    if (fault == SizeLimit)
        limit.emplace(offset);
    else
        faults::arm(plan);
    save(Writer(writer), path, dialogs);
    faults::disarm();
    limit.reset();

    // Every fault of these rows comes before the last byte: the old file stays, byte for
    // byte, and the user is told, with the file's name.
    const QByteArray now = readAll(path);
    QVERIFY2(now == old, qPrintable(QStringLiteral("%1 bytes, not the old file%2")
                                        .arg(now.size())
                                        .arg(wholeNew(Writer(writer), now) ? " (whole)" : "")));
    QCOMPARE(dialogs.shown.size(), 1);
    QVERIFY2(dialogs.shown[0].text.contains(
                 QDir::toNativeSeparators(writer == Settings ? QSettings().fileName() : path)),
             qPrintable(dialogs.shown[0].text));
    if (fault == NoSpace)
        QCOMPARE(faults::written(), offset); // the disk took what it could, then refused
    // No half-written temporary is left behind.
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{QFileInfo(path).fileName()});
}

QTEST_MAIN(TestWriteFaults)
#include "tst_writefaults.moc"
