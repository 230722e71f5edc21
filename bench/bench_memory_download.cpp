// The whole data logger over the line: a full 128 KB memory, all one set (the largest set
// the meter can hold), downloaded from the virtual meter paced at 19200 baud in a process of
// its own, into the real main window (offscreen). Timed from the "Memory" press to the set
// table; against it, the time the dump itself needs on the line. Then the one set is
// expanded into both lists.
//
// Usage: bench_memory_download   (LUMETRA_BENCH_UNPACED=1: an unpaced meter, for profiling)
#include "commands/memorycommands.h"
#include "commands/toolbarhub.h"
#include "model/appstate.h"
#include "model/memorysets.h"
#include "model/readingformat.h"
#include "model/recordtable.h"
#include "platform/clock.h"
#include "widgets/dialogs.h"
#include "windows/datalist.h"
#include "windows/datalogger.h"
#include "windows/panel.h"

#include "measure.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QStringList>

namespace {

void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

constexpr double kLineBytesPerSecond = 1920.0; // 19200 baud, 10 bits a byte

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTextStream out(stdout);

    QProcess sim;
    sim.start(QStringLiteral(LUMETRA_BIN_DIR "/lumetra-meter-sim"),
              QStringList{QStringLiteral("--steady")});
    if (!sim.waitForStarted() || !sim.waitForReadyRead(5000)) {
        out << "cannot start lumetra-meter-sim\n";
        return 1;
    }
    const QString device = QString::fromLocal8Bit(sim.readLine()).trimmed();
    sim.write("sets 1 50000\n"); // filled to the last byte
    // For profiling the program's side quickly; the figures need the paced line.
    if (qEnvironmentVariableIsSet("LUMETRA_BENCH_UNPACED"))
        sim.write("paced off\n");
    sim.waitForBytesWritten(1000);

    lumetra::ScriptedDialogs dialogs;
    lumetra::SystemClock clock;
    lumetra::Panel panel(dialogs, clock);
    lumetra::ToolbarHub hub(panel);
    panel.show();
    panel.start(lumetra::PortChoice{1, device});
    runFor(1500); // the live display runs, as when a person reaches for "Memory"

    // The download runs inside the click, as it does for a person.
    const double cpu0 = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    double longest = 0;
    qint64 firstByteNs = -1, lastByteNs = -1;
    QObject::connect(&panel.link().port(), &lumetra::SerialPort::readyRead, [&] {
        if (firstByteNs < 0)
            firstByteNs = wall.nsecsElapsed();
        lastByteNs = wall.nsecsElapsed();
    });
    {
        BusyWatch busy;
        hub.click(QStringLiteral("Memory"));
        longest = busy.longestMs();
    }
    const double totalS = wall.nsecsElapsed() / 1e9;
    const double cpuShare = (cpuSeconds() - cpu0) / totalS;
    lumetra::Memory* window = hub.memory().memoryWindow();
    const int sets = window ? window->sets()->rowCount() : 0;
    const int length = lumetra::memorysets::replyLength(panel.link().memoryPointer());
    const double lineS = length / kLineBytesPerSecond;
    if (sets != 1 || !dialogs.shown.isEmpty()) {
        out << "the download did not list the one set (" << sets << " sets listed)\n";
        return 1;
    }
    out << QStringLiteral("first byte after %1 s, last byte at %2 s\n")
               .arg(firstByteNs / 1e9, 0, 'f', 3)
               .arg(lastByteNs / 1e9, 0, 'f', 3);
    out << QStringLiteral("download of %1 bytes: %2 s, of which %3 s on the line\n")
               .arg(length)
               .arg(totalS, 0, 'f', 2)
               .arg(lineS, 0, 'f', 2);
    reportRow(QStringLiteral("logger download, 128 KB at 19200 baud: line time / total"),
              QString::number(lineS / totalS, 'f', 3),
              QStringLiteral("%1 s on the line, %2 s in all")
                  .arg(lineS, 0, 'f', 1)
                  .arg(totalS, 0, 'f', 1),
              QStringLiteral(">= 0.99"), lineS / totalS >= 0.99);
    reportRow(QStringLiteral("logger download: CPU, share of one core"), percent(cpuShare),
              QStringLiteral("-"), QStringLiteral("<= 1 %"), cpuShare <= 0.01);
    reportRow(QStringLiteral("logger download: longest stretch without sleeping"), ms(longest),
              QStringLiteral("-"), QStringLiteral("<= 50 ms"), longest <= 50);

    // Expansion of the set into both lists, beside decoding its records alone.
    const QByteArray set = panel.state().memorySets[1];
    const int records = lumetra::memorysets::recordCount(set);
    QElapsedTimer plain;
    plain.start();
    QStringList texts;
    texts.reserve(records);
    for (int i = 0; i < records; ++i) {
        const int at = lumetra::memorysets::kHeaderSize + i * lumetra::memorysets::kRecordSize;
        const auto r =
            lumetra::formatReading(quint8(set[at]), quint8(set[at + 1]), quint8(set[at + 2]));
        texts << (r ? r->lux : QString());
    }
    const double plainMs = plain.nsecsElapsed() / 1e6;
    // The filling lets events run between slices without sleeping, so the watch timer, not
    // the sleep watch, tells how long the window could not react.
    const Measure expand = measure([&] {
        hub.memory().expand(0);
        runFor(50); // the lists show their first rows
    });
    const double expandStall = expand.longestStallMs;
    lumetra::DataList* list = hub.memory().dataList();
    if (!list || list->luxTable()->rowCount() != records ||
        list->fcTable()->rowCount() != records) {
        out << "the expansion did not list every record\n";
        return 1;
    }
    reportRow(QStringLiteral("expand the largest set (%1 records) into both lists: longest stall")
                  .arg(records),
              ms(expandStall),
              QStringLiteral("all rows in %1; decoding alone %2").arg(ms(expand.ms), ms(plainMs)),
              QStringLiteral("<= 50 ms"), expandStall <= 50);

    sim.write("quit\n");
    sim.waitForFinished(3000);
    return 0;
}
