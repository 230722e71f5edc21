// Big lists: opening a 100 000-record file into the file list, saving a 100 000-row list
// and printing it to PDF, each beside a plain read or write of the same bytes, with the
// longest stall of the event loop while it runs.
//
// Usage: bench_record_files [records]   (default 100000)
#include "commands/gridio.h"
#include "commands/toolbarhub.h"
#include "model/appstate.h"
#include "model/recordtable.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "windows/filelist.h"
#include "windows/panel.h"

#include "measure.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <functional>

namespace {} // namespace

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

    const auto row = [&](const char* what, const Measure& m, double plainMs) {
        out << QStringLiteral("%1: %2 ms (plain %3 ms), longest event-loop stall %4 ms\n")
                   .arg(QLatin1String(what))
                   .arg(m.ms, 0, 'f', 1)
                   .arg(plainMs, 0, 'f', 1)
                   .arg(m.longestStallMs, 0, 'f', 1);
    };

    QElapsedTimer plain;
    plain.start();
    {
        QFile f(input);
        f.open(QIODevice::ReadOnly);
        qint64 lines = 0;
        while (!f.atEnd())
            lines += f.readLine().isEmpty() ? 0 : 1;
        Q_UNUSED(lines);
    }
    const double plainRead = plain.nsecsElapsed() / 1e6;
    dialogs.openAnswers = {input};
    const Measure open = measure([&] { hub.click(QStringLiteral("Open")); });
    row(qPrintable(QStringLiteral("open %1 records into the file list").arg(records)), open,
        plainRead);

    lumetra::FileList* list = hub.fileList();
    lumetra::AppState& state = panel.state();
    state.recordFileName = dir.filePath("saved.txt");
    state.fileChosen = true;
    plain.restart();
    {
        QFile f(dir.filePath("plain.txt"));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
    }
    const double plainWrite = plain.nsecsElapsed() / 1e6;
    const Measure save =
        measure([&] { lumetra::saveGrid(list, *list->table(), dialogs, state, nullptr); });
    row(qPrintable(QStringLiteral("save %1 rows").arg(records)), save, plainWrite);

    dialogs.printerAnswers = {true};
    dialogs.printerOutputFile = dir.filePath("printed.pdf");
    const Measure print =
        measure([&] { lumetra::printGrid(list, *list->table(), dialogs, &panel.poll()); });
    row(qPrintable(QStringLiteral("print %1 rows to PDF (%2 KB)")
                       .arg(records)
                       .arg(QFile(dialogs.printerOutputFile).size() / 1024)),
        print, plainWrite);
    return 0;
}
