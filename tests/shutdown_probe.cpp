// Runs the real main window against a virtual meter in one of two ways:
//   shutdown_probe quit JOB MARKER   starts a long job and closes the main window in the
//                                    middle of it; prints "closing" just before. The record
//                                    file hook writes "closed" into MARKER, and the end of
//                                    main() (the program's own teardown) "torn down".
//   shutdown_probe record FILE       records once a second into FILE and prints "recorded N"
//                                    after each record, until it is killed.
// JOB: handshake (a silent meter), download, expansion, save, print, open, keypad, comparator.
#include "commands/memorycommands.h"
#include "commands/toolbarhub.h"
#include "model/recordtable.h"
#include "platform/clock.h"
#include "virtualmeter/virtualmeter.h"
#include "widgets/dialogs.h"
#include "windows/keypad.h"
#include "windows/panel.h"
#include "windows/realtimelist.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QToolButton>

namespace {

void append(const QString& path, const QByteArray& line) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Append))
        f.write(line);
}

// A list of rows long enough that saving or printing it lets events run part way.
void fillList(lumetra::RecordTable& table, int rows) {
    QVector<QStringList> all(
        rows, {QStringLiteral("1"), QStringLiteral("06-14:05:31"), QStringLiteral("12.34")});
    table.appendRows(all);
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const QString job = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    const QString path = argc > 3 ? QString::fromLocal8Bit(argv[3]) : job;
    QTemporaryDir scratch;

    lumetra::sim::VirtualMeter meter;
    const bool silent = job == QLatin1String("handshake");
    meter.setSilent(silent);
    meter.setPaced(job == QLatin1String("download"));
    if (job == QLatin1String("download"))
        meter.fillMemoryBytes(60000); // half a minute on the line
    else if (job == QLatin1String("expansion"))
        meter.fillMemory(1, 40000);
    if (!meter.start())
        return 2;
    lumetra::ScriptedDialogs dialogs;
    lumetra::SystemClock clock;
    auto panel = std::make_unique<lumetra::Panel>(dialogs, clock);
    auto hub = std::make_unique<lumetra::ToolbarHub>(*panel);
    panel->show();
    panel->start(lumetra::PortChoice{1, meter.devicePath()});
    QTextStream out(stdout);

    if (mode == QLatin1String("quit")) {
        panel->setShutdownHook([path] { append(path, "closed\n"); });
        const auto closeNow = [&] {
            out << "closing" << Qt::endl;
            panel->close();
        };
        // A job that runs in slices is closed at its first pause; one that waits on the
        // meter, once it has waited a while.
        const auto closeWithin = [&] { QTimer::singleShot(0, panel.get(), closeNow); };
        const auto closeLater = [&] { QTimer::singleShot(800, panel.get(), closeNow); };
        const auto begin = [&] {
            if (job == QLatin1String("handshake")) {
                closeLater();
            } else if (job == QLatin1String("download")) {
                closeLater();
                hub->click(QStringLiteral("Memory"));
            } else if (job == QLatin1String("expansion")) {
                hub->click(QStringLiteral("Memory"));
                closeWithin();
                hub->memory().expand(0);
            } else if (job == QLatin1String("save") || job == QLatin1String("print")) {
                hub->click(QStringLiteral("List"));
                lumetra::RealTimeList* list = hub->realTimeList();
                fillList(*list->table(), job == QLatin1String("save") ? 150000 : 3000);
                dialogs.saveAnswers = {scratch.filePath(QStringLiteral("list.txt"))};
                dialogs.printerAnswers = {true};
                dialogs.printerOutputFile = scratch.filePath(QStringLiteral("list.pdf"));
                closeWithin();
                list->toolbarButton(job == QLatin1String("save") ? QStringLiteral("Save")
                                                                 : QStringLiteral("Print"))
                    ->click();
            } else if (job == QLatin1String("open")) {
                const QString file = scratch.filePath(QStringLiteral("records.txt"));
                QFile f(file);
                if (f.open(QIODevice::WriteOnly)) {
                    f.write("Lx\tTime\tValue\r\n");
                    for (int i = 1; i <= 150000; ++i)
                        f.write(QByteArray::number(i) + "\t06-14:05:31\t12.34\r\n");
                }
                f.close();
                dialogs.openAnswers = {file};
                closeWithin();
                hub->click(QStringLiteral("Open"));
            } else if (job == QLatin1String("keypad") || job == QLatin1String("comparator")) {
                meter.setSilent(true); // the key's exchange waits for an answer
                closeLater();
                if (job == QLatin1String("keypad")) {
                    hub->click(QStringLiteral("Buttons"));
                    hub->keypad()->key(QStringLiteral("CmdH"))->click();
                } else {
                    hub->click(QStringLiteral("Comp"));
                }
            }
        };
        // Jobs start once the display shows the meter (a silent meter: at once).
        QTimer start;
        QObject::connect(&start, &QTimer::timeout, [&] {
            if (!silent && !panel->state().display.linkAlive)
                return;
            start.stop();
            begin();
        });
        start.start(20);
        const int rc = QApplication::exec();
        hub.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        panel.reset();
        append(path, "torn down\n");
        return rc;
    }

    panel->state().sampleInterval = 1;
    // Recording starts once the display shows the meter's unit.
    QTimer start;
    QObject::connect(&start, &QTimer::timeout, [&] {
        if (!panel->state().display.linkAlive)
            return;
        start.stop();
        dialogs.saveAnswers = {path};
        hub->click(QStringLiteral("Save"));
    });
    start.start(50);
    QTimer watch;
    QString last;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (panel->LblCount->text() != last && !panel->LblCount->text().isEmpty()) {
            last = panel->LblCount->text();
            out << "recorded " << last << Qt::endl;
        }
    });
    watch.start(20);
    const int rc = QApplication::exec();
    hub.reset();
    panel.reset();
    return rc;
}
