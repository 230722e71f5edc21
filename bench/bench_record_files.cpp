// Big lists: opening a 100 000-record file into the file list, saving a 100 000-row list
// and printing it to PDF, each beside a plain read or write of the same bytes, with the
// longest stall of the event loop while it runs; and the cost of syncing each record.
//
// Usage: bench_record_files [records]   (default 100000)
#include "commands/gridio.h"
#include "commands/toolbarhub.h"
#include "model/appstate.h"
#include "model/recordtable.h"
#include "platform/clock.h"
#include "platform/recordappender.h"
#include "widgets/dialogs.h"
#include "windows/filelist.h"
#include "windows/panel.h"

#include "measure.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <functional>

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int records = argc > 1 ? std::max(10, atoi(argv[1])) : 100000;
    QTextStream out(stdout);
    QTemporaryDir dir;
    const QString input = dir.filePath("records.txt");
    QByteArray bytes = "Lx\tTime\tValue\r\n";
    for (int i = 1; i <= records; ++i)
        bytes += QByteArray::number(i) + "\t06-14:05:30\t" + QByteArray::number(i % 977) + ".5\r\n";
    {
        QFile f(input);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
    }

    lumetra::ScriptedDialogs dialogs;
    lumetra::SystemClock clock;
    lumetra::Panel panel(dialogs, clock);
    lumetra::ToolbarHub hub(panel);
    panel.start(lumetra::PortChoice{}); // offline: "Open" is what works
    dialogs.shown.clear();

    // Each figure is the median of a few runs; the plain ones run beside them.
    const auto median = [](QList<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    constexpr int kRuns = 5;
    const auto timed = [](const std::function<void()>& work) {
        QElapsedTimer t;
        t.start();
        work();
        return t.nsecsElapsed() / 1e6;
    };

    // Open: beside reading the same file line by line, the least any reader of it does.
    QList<double> plainReads, opens, openStalls;
    dialogs.openAnswers.clear();
    for (int run = 0; run < kRuns; ++run) {
        plainReads << timed([&] {
            QFile f(input);
            f.open(QIODevice::ReadOnly);
            qint64 lines = 0;
            while (!f.atEnd())
                lines += f.readLine().isEmpty() ? 0 : 1;
            Q_UNUSED(lines);
        });
        dialogs.openAnswers = {input};
        const Measure open = measure([&] { hub.click(QStringLiteral("Open")); });
        opens << open.ms;
        openStalls << open.longestStallMs;
    }
    lumetra::FileList* list = hub.fileList();
    if (!list || list->table()->rowCount() != records) {
        out << "the file list does not hold every record\n";
        return 1;
    }
    const double open = median(opens), plainRead = median(plainReads);
    reportRow(QStringLiteral("open %1 records into the File List").arg(records), ms(open),
              QStringLiteral("read line by line %1 (%2x)")
                  .arg(ms(plainRead))
                  .arg(open / plainRead, 0, 'f', 1),
              QStringLiteral("<= 5x plain"), open <= 5 * plainRead);
    reportRow(QStringLiteral("open %1 records: longest stall").arg(records), ms(median(openStalls)),
              QStringLiteral("-"), QStringLiteral("-"), true);

    // Save: beside writing the same bytes the same safe way (a temporary file, synced to
    // disk and renamed), and beside a bare write.
    lumetra::AppState& state = panel.state();
    QList<double> saves, saveStalls, plainSafe, plainBare;
    QByteArray saved;
    for (int run = 0; run < kRuns; ++run) {
        state.recordFileName = dir.filePath("saved.txt");
        state.fileChosen = true;
        const Measure save =
            measure([&] { lumetra::saveGrid(list, *list->table(), dialogs, state, nullptr); });
        saves << save.ms;
        saveStalls << save.longestStallMs;
        if (saved.isEmpty()) {
            QFile f(dir.filePath("saved.txt"));
            f.open(QIODevice::ReadOnly);
            saved = f.readAll();
        }
        plainSafe << timed([&] {
            QSaveFile f(dir.filePath("plain-safe.txt"));
            f.open(QIODevice::WriteOnly);
            f.write(saved);
            f.commit();
        });
        plainBare << timed([&] {
            QFile f(dir.filePath("plain.txt"));
            f.open(QIODevice::WriteOnly);
            f.write(saved);
        });
    }
    const double save = median(saves), safe = median(plainSafe);
    reportRow(QStringLiteral("save %1 rows").arg(records), ms(save),
              QStringLiteral("safe write %1 (%2x); bare write %3")
                  .arg(ms(safe))
                  .arg(save / safe, 0, 'f', 1)
                  .arg(ms(median(plainBare))),
              QStringLiteral("<= 5x plain"), save <= 5 * safe);
    const double saveStall = *std::max_element(saveStalls.begin(), saveStalls.end());
    reportRow(QStringLiteral("save %1 rows: longest stall (worst run)").arg(records), ms(saveStall),
              QStringLiteral("-"), QStringLiteral("<= 50 ms"), saveStall <= 50);

    dialogs.printerAnswers = {true};
    dialogs.printerOutputFile = dir.filePath("printed.pdf");
    const Measure print =
        measure([&] { lumetra::printGrid(list, *list->table(), dialogs, &panel.poll()); });
    reportRow(QStringLiteral("print %1 rows to PDF (%2 KB)")
                  .arg(records)
                  .arg(QFile(dialogs.printerOutputFile).size() / 1024),
              ms(print.ms), QStringLiteral("longest stall %1").arg(ms(print.longestStallMs)),
              QStringLiteral("-"), true);

    // A record as a recording writes it (synced to the disk), beside one only handed to the
    // system: the price of keeping every record through a power cut.
    constexpr int kRecords = 200;
    const QByteArray line = "12345\t06-14:05:30\t1234.5\r\n";
    const auto perRecordUs = [&](bool sync) {
        lumetra::RecordAppender file;
        file.setSyncEachLine(sync);
        file.open(dir.filePath(sync ? "synced.txt" : "handed.txt"));
        const double total = timed([&] {
            for (int i = 0; i < kRecords; ++i)
                file.append(line);
        });
        return total * 1000.0 / kRecords;
    };
    const double handed = perRecordUs(false), synced = perRecordUs(true);
    reportRow(QStringLiteral("record appended and synced (fdatasync), per record"),
              QStringLiteral("%1 us").arg(synced, 0, 'f', 0),
              QStringLiteral("handed to the system only %1 us").arg(handed, 0, 'f', 1),
              QStringLiteral("<= 100 ms (one record a second)"), synced <= 100000);
    return 0;
}
