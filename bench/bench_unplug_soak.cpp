// Unplug soak: the meter's adapter is pulled and plugged in again, over and over, while a PC
// recording runs. The device is a pseudo-terminal behind a symbolic link; a pull closes it,
// a return opens a new one under the same link, as a USB adapter reappears under its name.
//
// Reported: the pulls survived, how often "No COM" showed after a pull and how soon, how soon
// the live display ran again after each return, and whether every record file is
// well-formed with its records numbered 1, 2, 3 … (no gap, no duplicate). A recording stops
// by itself when the link is lost; after each return it is started again into a new file,
// as a user would.
//
// Usage: bench_unplug_soak [cycles]   (default 100)
#include "commands/toolbarhub.h"
#include "link/displaypoll.h"
#include "link/meterlink.h"
#include "model/appstate.h"
#include "platform/clock.h"
#include "support/recordlines.h"
#include "virtualmeter/virtualmeter.h"
#include "widgets/dialogs.h"
#include "windows/panel.h"

#include "measure.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <functional>

namespace {

// Header line, then records numbered from 1 without a gap or a repeat.
bool wellFormed(const QString& path, int* records) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) && lumetra::test::wellFormedRecords(f.readAll(), records);
}

qint64 percentile(QList<qint64> v, double p) {
    if (v.isEmpty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[qsizetype(std::min<double>(double(v.size() - 1), p * double(v.size())))];
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int cycles = argc > 1 ? std::max(1, atoi(argv[1])) : 100;
    QTextStream out(stdout);
    QTemporaryDir dir;
    const QString alias = dir.filePath(QStringLiteral("ttyMETER"));

    lumetra::sim::VirtualMeter meter;
    meter.setPaced(true);
    if (!meter.start() || !QFile::link(meter.devicePath(), alias)) {
        out << "cannot start the virtual meter\n";
        return 1;
    }
    lumetra::ScriptedDialogs dialogs;
    lumetra::SystemClock clock;
    auto panel = std::make_unique<lumetra::Panel>(dialogs, clock);
    auto hub = std::make_unique<lumetra::ToolbarHub>(*panel);
    panel->state().sampleInterval = 1;
    panel->start(lumetra::PortChoice{1, alias});
    int frames = 0;
    QObject::connect(&panel->displayPoll(), &lumetra::DisplayPoll::frameDecoded, [&] { ++frames; });
    if (waitUntil([&] { return frames > 0; }, 10000) < 0) {
        out << "the live display never started\n";
        return 1;
    }

    QStringList files;
    const auto startRecording = [&] {
        const QString file = dir.filePath(QStringLiteral("soak-%1.txt").arg(files.size() + 1));
        dialogs.saveAnswers = {file};
        hub->click(QStringLiteral("Save"));
        if (panel->state().recordingToFile)
            files << file;
    };
    startRecording();

    // Driven from a timer: the poll's waits run beneath it, as they would beneath a user.
    enum class Step { Recording, Pulled, Away, Returned };
    Step step = Step::Recording;
    int cycle = 0, noComSeen = 0, liveAgain = 0, framesBefore = 0;
    QList<qint64> toNoCom, toLive;
    QElapsedTimer since;
    since.start();
    const auto next = [&](Step s) {
        step = s;
        since.restart();
    };
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        switch (step) {
        case Step::Recording:
            if (since.elapsed() < 1200)
                return;   // a record or two
            meter.stop(); // the adapter is pulled
            QFile::remove(alias);
            next(Step::Pulled);
            return;
        case Step::Pulled:
            if (panel->LblCOM->text() == lumetra::MeterLink::waitingStatus()) {
                ++noComSeen;
                toNoCom << since.elapsed();
            } else if (since.elapsed() < 15000) {
                return;
            }
            next(Step::Away);
            return;
        case Step::Away:
            if (since.elapsed() < 300)
                return;
            // It comes back under the same name.
            if (!meter.start() || !QFile::link(meter.devicePath(), alias)) {
                out << "cannot bring the virtual meter back\n";
                QCoreApplication::exit(1);
                return;
            }
            framesBefore = frames;
            next(Step::Returned);
            return;
        case Step::Returned:
            if (frames > framesBefore) {
                ++liveAgain;
                toLive << since.elapsed();
            } else if (since.elapsed() < 15000) {
                return;
            }
            if (!panel->state().recordingToFile)
                QTimer::singleShot(0, startRecording);
            if (++cycle == cycles) {
                driver.stop();
                QCoreApplication::quit();
                return;
            }
            next(Step::Recording);
            return;
        }
    });
    driver.start(5);
    if (QApplication::exec() != 0)
        return 1;
    if (panel->state().recordingToFile)
        hub->click(QStringLiteral("Save")); // stop

    int wellFormedFiles = 0, records = 0;
    for (const QString& f : files) {
        int n = 0;
        if (wellFormed(f, &n)) {
            ++wellFormedFiles;
            records += n;
        }
    }
    out << QStringLiteral("unplug soak, %1 pulls: 0 crashes; \"No COM\" after %2 pulls "
                          "(median %3 ms, longest %4 ms); live again after %5 returns "
                          "(median %6 ms, 90th %7 ms, longest %8 ms); %9 of %10 record files "
                          "well-formed, %11 records, numbered without gap or repeat\n")
               .arg(cycles)
               .arg(noComSeen)
               .arg(percentile(toNoCom, 0.5))
               .arg(percentile(toNoCom, 1.0))
               .arg(liveAgain)
               .arg(percentile(toLive, 0.5))
               .arg(percentile(toLive, 0.9))
               .arg(percentile(toLive, 1.0))
               .arg(wellFormedFiles)
               .arg(files.size())
               .arg(records);
    const bool whole =
        noComSeen == cycles && liveAgain == cycles && wellFormedFiles == files.size();
    reportRow(
        QStringLiteral("unplug soak, %1 pulls: live again after a return, median").arg(cycles),
        QString::number(percentile(toLive, 0.5)) + QStringLiteral(" ms"),
        QStringLiteral("\"No COM\" after a pull: median %1 ms, longest %2 ms; live again: "
                       "longest %3 ms")
            .arg(percentile(toNoCom, 0.5))
            .arg(percentile(toNoCom, 1.0))
            .arg(percentile(toLive, 1.0)),
        QStringLiteral("every pull and return seen, every file whole"), whole);
    hub.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    panel.reset();
    return noComSeen == cycles && liveAgain == cycles && wellFormedFiles == files.size() ? 0 : 1;
}
