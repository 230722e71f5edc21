// PC live recording, the live list, the sampling-rate window, the keypad and the distance
// and hold-time entries, against the virtual meter.
#include "commands/toolbarhub.h"
#include "link/meterlink.h"
#include "link/polltimer.h"
#include "link/recorder.h"
#include "link/sampler.h"
#include "link/wait.h"
#include "model/entry.h"
#include "model/recordtable.h"
#include "support/meterfixture.h"
#include "windows/filelist.h"
#include "windows/keypad.h"
#include "windows/panel.h"
#include "windows/realtimelist.h"
#include "windows/samplingchoice.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <csignal>
#include <sys/resource.h>

using namespace lumetra;
using lumetra::test::waitFor;

namespace {

// The main window on a virtual meter with a clock that moves only when told; the sampling
// tick is driven by hand.
struct LiveFixture : test::PanelFixture {
    static inline ManualClock manualClock{QDateTime(QDate(2026, 12, 6), QTime(14, 5, 30))};
    LiveFixture() : PanelFixture(true, true, &manualClock) { panel->Timer2->stop(); }
    // One sampling tick one second later.
    void tick() {
        manualClock.advance(1);
        hub->sampler().tick();
    }
    QByteArray fileBytes(const QString& path) const {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QByteArray sentSince(qsizetype from) const { return meter.receivedBytes().mid(from); }
};

} // namespace

class TestLive : public QObject {
    Q_OBJECT
private slots:
    void init();
    void answers_data();
    void answers();
    void distanceGoesToTheMeter();
    void holdTimeGoesToTheMeter_data();
    void holdTimeGoesToTheMeter();
    void keypadKeysSendTheirLetters_data();
    void keypadKeysSendTheirLetters();
    void keypadPowerLeavesThePollStopped();
    void keypadCdWritesBackTheDistance();
    void samplingMomentsAreIntervalApart();
    void recordingWritesNumberedLines();
    void aRestingPollGivesNoSamples();
    void automaticStops_data();
    void automaticStops();
    void stopsAtOneHundredThousand();
    void refusedWritesAreShownAndCaughtUp();
    void liveListOpensBesideAndCloses();
    void liveListSaveAndPrint();
    void recordingNeverStartsOnAFileBeingSaved();
    void pcSamplingRate();
    void meterSamplingRate();
};

void TestLive::init() {
    resetQuitRequest(); // a test may end the program
    LiveFixture::manualClock.set(QDateTime(QDate(2026, 12, 6), QTime(14, 5, 30)));
}

void TestLive::answers_data() {
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("value"); // what is sent; empty: refused with the form said
    QTest::addColumn<bool>("noted");    // how the text was brought to the value is said
    const auto row = [](const char* entry, const char* text, const char* value, bool noted) {
        QTest::addRow("%s %s", entry, text) << entry << text << value << noted;
    };
    for (const char* text : {"12.34", "10", "-1.5", "1.2.3", "a.b", ".", "1,5"})
        row("distance", text, "", false);
    row("distance", "2", "200", false);
    row("distance", "2.5", "250", false);
    row("distance", " 2.5 ", "250", false);
    row("distance", ".5", "50", false);
    row("distance", "5.", "500", false);
    row("distance", "01.50", "150", false);
    row("distance", "1.05", "105", false);
    row("distance", "1.123", "112", true);
    row("distance", "1.120", "112", false);
    row("distance", "0.00", "0", false);
    row("distance", "9.99", "999", false);
    for (const char* text : {"75:80", "-1:10", "1:-5", "1.5:10", "130", "1:100"})
        row("hold", text, "", false);
    row("hold", "1:5", "1:5", false);
    row("hold", "01:30", "1:30", false);
    row("hold", "59:59", "59:59", false);
    for (const char* text : {"3:30", "99:99", "2:75", "4:00", "-1:30", "1:-30"})
        row("meter", text, "", false);
    row("meter", "3:00", "3:0", false);
    row("meter", "2:59", "2:59", false);
    row("meter", "0:00", "0:0", false);
    for (const char* text : {"0", "-3", "100000", "0.4", "abc", "5s"})
        row("pc", text, "", false);
    row("pc", "86400", "86400", false);
    row("pc", " 10 ", "10", false);
    row("pc", "2.5", "2", true);
    row("pc", "3.5", "4", true);
}

void TestLive::answers() {
    QFETCH(QString, entry);
    QFETCH(QString, text);
    QFETCH(QString, value);
    QFETCH(bool, noted);
    const auto pair = [](const entry::Reading<std::pair<int, int>>& r) {
        return entry::Reading<QString>{
            r.value
                ? std::optional(QStringLiteral("%1:%2").arg(r.value->first).arg(r.value->second))
                : std::nullopt,
            r.refusal, r.note};
    };
    const auto number = [](const entry::Reading<int>& r) {
        return entry::Reading<QString>{
            r.value ? std::optional(QString::number(*r.value)) : std::nullopt, r.refusal, r.note};
    };
    const entry::Reading<QString> r = entry == "distance" ? number(entry::distanceHundredths(text))
                                      : entry == "hold"   ? pair(entry::holdTime(text))
                                      : entry == "meter"  ? pair(entry::meterInterval(text))
                                                          : number(entry::pcInterval(text));
    QCOMPARE(r.value.value_or(QString()), value);
    QCOMPARE(r.refusal.isEmpty(), !value.isEmpty()); // a refusal always says the form
    QCOMPARE(!r.note.isEmpty(), noted);
}

void TestLive::distanceGoesToTheMeter() {
    LiveFixture f;
    f.meter.distance = 150;
    f.dialogs.inputAnswers = {QStringLiteral("12.34"), QStringLiteral("2")};
    const qsizetype from = f.meter.receivedBytes().size();
    f.click("CD");
    QCOMPARE(f.dialogs.asked.size(), 2); // asked again after the refused answer
    QCOMPARE(f.dialogs.asked[0].title, QStringLiteral("Input the distance"));
    QCOMPARE(f.dialogs.asked[0].prompt,
             QStringLiteral("Enter the distance from the Light Source (0.01~9.99)\r\nm ( Lx )"));
    QCOMPARE(f.dialogs.asked[0].defaultText, QStringLiteral("01.50"));
    QCOMPARE(f.dialogs.shown.size(), 1);
    QCOMPARE(f.dialogs.shown[0].text,
             QStringLiteral("Invalid, comply with the data format properly\r\n"));
    QVERIFY(f.dialogs.shown[0].detail.contains("0.00 to 9.99"));
    QVERIFY(waitFor([&] { return f.meter.distance == 200; }));
    const QByteArray sent = f.sentSince(from);
    QVERIFY(sent.contains('H'));
    QVERIFY(sent.contains('Z'));
    QVERIFY(sent.endsWith(QByteArray("I\x00\xC8", 3)));
}

void TestLive::holdTimeGoesToTheMeter_data() {
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QByteArray>("tail"); // empty: no "S" sent
    QTest::newRow("1:5") << "1:5" << QByteArray("S\x01\x05", 3);
    QTest::newRow("59:59") << "59:59" << QByteArray("S\x59\x59", 3);
    QTest::newRow("75:80 refused") << "75:80" << QByteArray();
    QTest::newRow("-1:10 refused") << "-1:10" << QByteArray();
    QTest::newRow("cancel") << "" << QByteArray();
}

void TestLive::holdTimeGoesToTheMeter() {
    QFETCH(QString, answer);
    QFETCH(QByteArray, tail);
    LiveFixture f;
    f.dialogs.inputAnswers = {answer}; // then cancelled
    const qsizetype from = f.meter.receivedBytes().size();
    f.click("Hold");
    QCOMPARE(f.dialogs.asked[0].prompt, QStringLiteral("Enter the TIME to Hold\r\n (MM:SS) "));
    QCOMPARE(f.dialogs.asked[0].defaultText, QStringLiteral("00:00"));
    pauseSeconds(0.1);
    const QByteArray sent = f.sentSince(from);
    QVERIFY(sent.contains('H'));
    if (tail.isEmpty())
        QVERIFY(!sent.contains('S'));
    else
        QVERIFY2(sent.endsWith(tail), sent.toHex().constData());
}

void TestLive::keypadKeysSendTheirLetters_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("logging");
    QTest::addColumn<QString>("letter"); // empty: nothing sent
    for (const Btn::Key& k : Btn::kKeys) {
        const QString name = QLatin1String(k.name);
        if (name == QLatin1String("CmdPower") || name == QLatin1String("CmdCD"))
            continue;
        const QString letter = k.letter ? QString(QLatin1Char(k.letter)) : QString();
        QTest::addRow("%s", k.name) << name << false << letter;
        QTest::addRow("%s while logging", k.name)
            << name << true << (k.refusedWhileLogging ? QString() : letter);
    }
}

void TestLive::keypadKeysSendTheirLetters() {
    QFETCH(QString, key);
    QFETCH(bool, logging);
    QFETCH(QString, letter);
    LiveFixture f;
    if (logging)
        QVERIFY(f.light("Intv"));
    f.click("Buttons");
    Btn* pad = f.hub->keypad();
    QVERIFY(pad && pad->isVisible());
    QCOMPARE(pad->windowTitle(), QStringLiteral("Control Panel"));
    f.meter.clearReceived();
    pad->key(key)->click();
    pauseSeconds(0.05);
    const QByteArray sent = f.meter.receivedBytes();
    if (letter.isEmpty()) {
        QVERIFY2(!sent.contains('A') || sent.count('A') == sent.size() - sent.count('M'),
                 sent.constData()); // only the poll's own traffic
        for (char c : QByteArray("BCDFGHJKLNOPXZI"))
            QVERIFY(!sent.contains(c));
    } else {
        QVERIFY2(sent.contains(letter.toLatin1()), sent.constData());
    }
    QVERIFY(f.panel->Timer1->isActive()); // the poll runs again
}

void TestLive::keypadPowerLeavesThePollStopped() {
    LiveFixture f;
    f.meter.setPowerOnDelayMs(300);
    f.click("Buttons");
    f.hub->keypad()->key("CmdPower")->click();
    QVERIFY(f.meter.receivedBytes().contains('O'));
    QVERIFY(f.meter.powered()); // back on, and the link waited for it
    QVERIFY(!f.panel->Timer1->isActive());
    QCOMPARE(f.panel->LblCOM->text(), QStringLiteral("COM3"));
}

void TestLive::keypadCdWritesBackTheDistance() {
    LiveFixture f;
    f.meter.distance = 0x0203;
    f.click("Buttons");
    f.meter.clearReceived();
    f.hub->keypad()->key("CmdCD")->click();
    QVERIFY(waitFor([&] { return f.meter.receivedBytes().endsWith(QByteArray("I\x02\x03", 3)); }));
    const QByteArray sent = f.meter.receivedBytes();
    QVERIFY(sent.indexOf('H') < sent.indexOf('Z'));
    QVERIFY(sent.endsWith(QByteArray("I\x02\x03", 3)));
    QCOMPARE(f.meter.distance, 0x0203);
}

void TestLive::samplingMomentsAreIntervalApart() {
    LiveFixture f;
    f.panel->state().sampleInterval = 3;
    f.click("List");
    RealTimeList* list = f.hub->realTimeList();
    QVERIFY(list);
    for (int i = 0; i < 7; ++i)
        f.tick();
    // Moments at the 1st, 4th and 7th tick: three rows, three seconds apart.
    QCOMPARE(list->table()->rowCount(), 3);
    QCOMPARE(list->table()->cell(0, 1), QStringLiteral("06-14:05:31"));
    QCOMPARE(list->table()->cell(1, 1), QStringLiteral("06-14:05:34"));
    QCOMPARE(list->table()->cell(2, 1), QStringLiteral("06-14:05:37"));
    QCOMPARE(list->table()->cell(2, 2), QStringLiteral("12.34"));
}

void TestLive::aRestingPollGivesNoSamples() {
    QTemporaryDir dir;
    LiveFixture f;
    f.panel->state().sampleInterval = 1;
    f.click("List");
    const QString path = dir.filePath("rec.txt");
    f.dialogs.saveAnswers = {path};
    f.click("Save");
    f.tick();
    {
        // A download or a settings window rests the poll: the last reading stays on show
        // but is no new sample once it is older than 2 s.
        const auto rest = f.panel->poll().hold();
        QTest::qWait(2100);
        f.tick();
        f.tick();
    }
    QVERIFY(waitFor([&] { return f.panel->state().sinceReading.elapsed() < 100; }));
    f.tick();
    QCOMPARE(f.fileBytes(path), QByteArray("Lx\tTime\tValue\r\n1\t06-14:05:31\t12.34\r\n"
                                           "2\t06-14:05:34\t12.34\r\n"));
    // The list marks the moments missed with one row; the status row says them.
    const RecordTable& list = *f.hub->realTimeList()->table();
    QCOMPARE(list.rowCount(), 3);
    QCOMPARE(list.listRow(2), (QStringList{"-", "06-14:05:32", "----"}));
    QCOMPARE(f.panel->LblNote->text(), QStringLiteral("2 readings missed, 14:05:32–14:05:33"));
}

void TestLive::recordingWritesNumberedLines() {
    QTemporaryDir dir;
    LiveFixture f;
    f.panel->state().sampleInterval = 1;
    f.click("List");
    f.tick();
    f.tick(); // the list is at 2 when recording starts
    const QString path = dir.filePath("rec.txt");
    f.dialogs.saveAnswers = {path};
    f.click("Save");
    f.tick();
    f.tick();
    QCOMPARE(f.fileBytes(path), QByteArray("Lx\tTime\tValue\r\n1\t06-14:05:33\t12.34\r\n"
                                           "2\t06-14:05:34\t12.34\r\n"));
    QCOMPARE(f.panel->LblCount->text(), QStringLiteral("2"));
    QCOMPARE(f.panel->LblRec->text(), QStringLiteral("Rec"));
    QCOMPARE(f.hub->realTimeList()->table()->cell(3, 0), QStringLiteral("4"));
}

void TestLive::automaticStops_data() {
    QTest::addColumn<QString>("cause");
    QTest::addColumn<bool>("fileStops");
    QTest::addColumn<bool>("listCloses");
    QTest::addColumn<QString>("note"); // what the status row says, until the next command
    QTest::newRow("unit change")
        << "unit" << true << true
        << "Recording stopped: the meter changed to foot-candles; 1 record in auto.txt.\n"
           "The Real Time List stopped: the meter changed to foot-candles; 2 rows.";
    QTest::newRow("Rel") << "Rel" << true << true
                         << "Recording stopped: the meter went to relative (REL) mode; 1 record in "
                            "auto.txt.\nThe Real Time List stopped: the meter went to relative "
                            "(REL) mode; 2 rows.";
    QTest::newRow("SetUp") << "SetUp" << true << true
                           << "Recording stopped: the meter went to its SET UP menu; 1 record in "
                              "auto.txt.\nThe Real Time List stopped: the meter went to its SET "
                              "UP menu; 2 rows.";
    QTest::newRow("lost link")
        << "link" << true << false
        << "Recording stopped: the link to the meter was lost; 1 record in auto.txt.";
    QTest::newRow("Comp alone") << "Comp" << false << false << "";
    QTest::newRow("Hold alone") << "Hold" << false << false << "";
}

void TestLive::automaticStops() {
    QFETCH(QString, cause);
    QFETCH(bool, fileStops);
    QFETCH(bool, listCloses);
    QFETCH(QString, note);
    QTemporaryDir dir;
    LiveFixture f;
    AppState& s = f.panel->state();
    s.sampleInterval = 1;
    f.click("List");
    const QString path = dir.filePath("auto.txt");
    f.dialogs.saveAnswers = {path};
    f.click("Save");
    f.tick();
    if (cause == QLatin1String("unit")) {
        f.meter.setUnitFc(true);
        QVERIFY(waitFor([&] { return s.display.unitText == QLatin1String("Fc"); }));
    } else if (cause == QLatin1String("link")) {
        f.panel->Timer1->stop();
        s.display.linkAlive = false;
    } else {
        QVERIFY(f.light(cause));
    }
    QPointer<RealTimeList> list = f.hub->realTimeList();
    f.tick();
    QCOMPARE(!s.recordingToFile, fileStops);
    const QByteArray file = f.fileBytes(path);
    QCOMPARE(file.count('\n'), fileStops ? 2 : 3); // no record at the stopping moment
    if (fileStops) {
        QCOMPARE(f.panel->toolbarButton("Save")->toolTip().section(QLatin1Char('\n'), 0, 0),
                 QStringLiteral("Save As (Ctrl+S)"));
        QVERIFY(f.panel->LblCount->text().isEmpty());
        QVERIFY(!f.hub->recorder().isOpen());
    }
    // The list takes the row of this moment, then closes when it must.
    QCOMPARE(!s.listOpen, listCloses);
    if (listCloses) {
        QVERIFY(list.isNull() || !list->isVisible());
        QCOMPARE(s.listRecordCount, 0);
    } else {
        QCOMPARE(list->table()->rowCount(), 2);
    }
    QCOMPARE(f.panel->LblNote->text(), note);
    QCOMPARE(f.panel->LblNote->isHidden(), note.isEmpty());
    f.click("Graph"); // the next command: said enough
    QVERIFY(f.panel->LblNote->isHidden());
}

void TestLive::stopsAtOneHundredThousand() {
    QTemporaryDir dir;
    LiveFixture f;
    AppState& s = f.panel->state();
    s.sampleInterval = 1;
    const QString path = dir.filePath("full.txt");
    f.dialogs.saveAnswers = {path};
    f.click("Save");
    f.click("List");
    s.fileRecordCount = 99999; // as after 99 999 samples
    s.listRecordCount = 99999;
    QPointer<RealTimeList> list = f.hub->realTimeList();
    f.tick();
    QVERIFY(f.fileBytes(path).endsWith("100000\t06-14:05:31\t12.34\r\n"));
    QVERIFY(s.recordingToFile);
    QVERIFY(!s.listOpen); // the list closes right after its 100 000th row
    f.tick();
    QVERIFY(!s.recordingToFile); // the file stops before its 100 001st record
    QVERIFY(f.fileBytes(path).endsWith("100000\t06-14:05:31\t12.34\r\n"));
    QVERIFY(f.panel->LblNote->text().contains(
        "Recording stopped: the file holds 100000 records, as many as a record file may; 100000 "
        "records in full.txt."));
    QVERIFY(list.isNull() || !list->isVisible());
}

// The disk refuses the record file for a while (here: a file-size limit, as a full disk
// would): the main window says so, nothing is dropped, and the records follow in order as
// soon as the disk takes them again.
void TestLive::refusedWritesAreShownAndCaughtUp() {
    QTemporaryDir dir;
    LiveFixture f;
    f.panel->state().sampleInterval = 1;
    const QString path = dir.filePath("limited.txt");
    f.dialogs.saveAnswers = {path};
    f.click("Save");
    f.tick();
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = rlim_t(QFileInfo(path).size());
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    f.tick();
    f.tick();
    QVERIFY(!f.panel->LblWriteError->isHidden());
    QCOMPARE(f.hub->sampler().pendingLines(), 2);
    QCOMPARE(f.panel->LblCount->text(), QStringLiteral("3"));
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &saved), 0);
    f.tick();
    QVERIFY(f.panel->LblWriteError->isHidden());
    QCOMPARE(f.fileBytes(path), QByteArray("Lx\tTime\tValue\r\n1\t06-14:05:31\t12.34\r\n"
                                           "2\t06-14:05:32\t12.34\r\n3\t06-14:05:33\t12.34\r\n"
                                           "4\t06-14:05:34\t12.34\r\n"));

    // Stopped while the disk still refuses: what it refused is said to be lost, and never
    // written into the next recording's file.
    limited.rlim_cur = rlim_t(QFileInfo(path).size());
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    f.tick();
    QCOMPARE(f.hub->sampler().pendingLines(), 1);
    f.click("Save"); // stop
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &saved), 0);
    // The stop says how many and which file, and promises nothing any more.
    const QString said = f.panel->LblWriteError->text();
    QVERIFY2(said.contains(QLatin1String("1 record(s)")) &&
                 said.contains(QDir::toNativeSeparators(path)) && !said.contains("kept"),
             qPrintable(said));
    const QString next = dir.filePath("next.txt");
    f.dialogs.saveAnswers = {next};
    f.click("Save");
    QVERIFY(f.panel->LblWriteError->isHidden()); // a new recording starts with a clean slate
    f.tick();
    QCOMPARE(f.fileBytes(next), QByteArray("Lx\tTime\tValue\r\n1\t06-14:05:36\t12.34\r\n"));

    // The program ends while the disk refuses: a last try, and what is still refused is said.
    limited.rlim_cur = rlim_t(QFileInfo(next).size());
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    f.tick();
    f.dialogs.shown.clear();
    f.panel->close();
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &saved), 0);
    // The close ended the event loop for good; the tests that follow need it again.
    QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
    QCOMPARE(f.dialogs.shown.size(), 1);
    QVERIFY2(f.dialogs.shown[0].text.contains(QLatin1String("1 record(s)")),
             qPrintable(f.dialogs.shown[0].text));
}

void TestLive::liveListOpensBesideAndCloses() {
    LiveFixture f;
    AppState& s = f.panel->state();
    f.meter.setUnitFc(true);
    QVERIFY(waitFor([&] { return s.display.unitText == QLatin1String("Fc"); }));
    f.click("List");
    RealTimeList* list = f.hub->realTimeList();
    QVERIFY(list);
    QCOMPARE(list->windowTitle(), QStringLiteral("Real Time List"));
    QCOMPARE(list->table()->header(0), QStringLiteral("Fc"));
    // Beside the main window, as far as the screen allows.
    const QRect area = f.panel->screen()->availableGeometry();
    QCOMPARE(list->pos().x(), std::min(f.panel->frameGeometry().right() + 1,
                                       area.right() + 1 - list->frameGeometry().width()));
    QVERIFY(s.listOpen);
    f.click("List"); // already open: nothing
    QCOMPARE(f.hub->realTimeList(), list);
    // Smaller than the least size is set back.
    list->resize(10, 10);
    QVERIFY(list->width() >= list->minimumWidth());
    QPointer<RealTimeList> watch(list);
    list->close();
    QVERIFY(watch.isNull() || !watch->isVisible());
    QVERIFY(!s.listOpen);
    QVERIFY(f.light("Rel"));
    f.click("List"); // a measuring mode: refused
    QVERIFY(!s.listOpen);
    QVERIFY(f.hub->realTimeList() == nullptr || f.hub->realTimeList() == watch.data());
}

void TestLive::liveListSaveAndPrint() {
    QTemporaryDir dir;
    LiveFixture f;
    f.panel->state().sampleInterval = 1;
    f.click("List");
    RealTimeList* list = f.hub->realTimeList();
    for (int i = 0; i < 16; ++i)
        f.tick();
    const QString saved = dir.filePath("list.txt");
    f.dialogs.saveAnswers = {saved};
    list->toolbarButton("Save")->click();
    const QByteArray bytes = f.fileBytes(saved);
    QCOMPARE(bytes.count("\r\n"), 17);
    QVERIFY(bytes.startsWith("Lx\tTime\tValue\t\r\n1\t06-14:05:31\t12.34\t\r\n"));
    // Saved lists open again with "Open".
    f.dialogs.openAnswers = {saved};
    f.click("Open");
    QCOMPARE(f.hub->fileList()->table()->rowCount(), 16);
    QCOMPARE(f.hub->fileList()->table()->cell(15, 0), QStringLiteral("16"));

    // While recording, the list cannot be saved: the file slot is taken.
    f.dialogs.saveAnswers = {dir.filePath("rec.txt")};
    f.click("Save");
    f.dialogs.shown.clear();
    list->toolbarButton("Save")->click();
    QCOMPARE(f.dialogs.shown.size(), 1);
    QCOMPARE(f.dialogs.shown[0].text,
             QStringLiteral("Aready in recording mode, close it and try again !"));

    f.dialogs.printerAnswers = {true};
    f.dialogs.printerOutputFile = dir.filePath("list.pdf");
    list->toolbarButton("Print")->click();
    QVERIFY(QFile(dir.filePath("list.pdf")).size() > 0);
    QCOMPARE(list->windowTitle(), QStringLiteral("Real Time List"));
}

// The save would replace the file under the recording when it ends, and every record with it:
// the recording is refused and says which file.
void TestLive::recordingNeverStartsOnAFileBeingSaved() {
    QTemporaryDir dir;
    LiveFixture f;
    f.click("List");
    RealTimeList* list = f.hub->realTimeList();
    list->table()->appendRows(
        QVector<QStringList>(150000, QStringList{"1", "06-14:05:31", "12.34"}));
    const QString path = dir.filePath("both.txt");
    f.dialogs.saveAnswers = {path, path};
    bool tried = false;
    QTimer::singleShot(0, f.panel.get(), [&] {
        f.click("Save"); // the toolbar's: start recording, into the same file
        tried = true;
    });
    list->toolbarButton("Save")->click();
    QVERIFY(tried);
    QVERIFY(!f.panel->state().recordingToFile);
    QCOMPARE(f.dialogs.shown.last().text, ToolbarHub::fileBeingSavedMessage(path));
    QVERIFY(f.dialogs.shown.last().text.contains(QDir::toNativeSeparators(path)));
    QCOMPARE(f.fileBytes(path).count("\r\n"), 150001); // the list's save is whole
}

void TestLive::pcSamplingRate() {
    LiveFixture f;
    AppState& s = f.panel->state();
    s.sampleTick = 1;
    // The window is modal: answer it from a timer once it is up.
    QTimer::singleShot(50, [&] {
        auto* w = f.panel->findChild<SamplingChoice*>();
        QVERIFY(w);
        QVERIFY(w->OptMeter->isChecked());
        QVERIFY(w->windowFlags() & Qt::FramelessWindowHint);
        w->OptPC->setChecked(true);
        f.dialogs.inputAnswers = {QStringLiteral("abc"), QStringLiteral("2.5")};
        w->CmdOK->click();
    });
    f.click("PC");
    QCOMPARE(s.sampleInterval, 2.0);
    QCOMPARE(s.sampleTick, 0);
    QCOMPARE(f.dialogs.asked.size(), 2);
    QCOMPARE(f.dialogs.asked[0].prompt,
             QStringLiteral("Enter the SAMPLING TIME in seconds\r\n(1 <= t <= 86400 ) "));
    QCOMPARE(f.dialogs.asked[0].defaultText, QStringLiteral("2"));
    QCOMPARE(f.dialogs.shown.size(), 2); // "abc" was refused, the rounding of 2.5 said
    QVERIFY(f.dialogs.shown[0].detail.contains("1 to 86400"));
    QCOMPARE(f.dialogs.shown[1].icon, MessageIcon::Information);
    QVERIFY(f.panel->Timer1->isActive());
}

void TestLive::meterSamplingRate() {
    LiveFixture f;
    f.meter.intervalMinutes = 1;
    f.meter.intervalSeconds = 30;
    QTimer::singleShot(50, [&] {
        auto* w = f.panel->findChild<SamplingChoice*>();
        QVERIFY(w);
        f.dialogs.inputAnswers = {QStringLiteral("-1:30"), QStringLiteral("99:99"),
                                  QStringLiteral("2:45")};
        w->CmdOK->click();
    });
    f.click("PC");
    QCOMPARE(f.dialogs.asked.size(), 3);
    QCOMPARE(f.dialogs.shown.size(), 2); // both refused with the range, nothing sent for them
    QVERIFY(f.dialogs.shown[1].detail.contains("from 00:00 to 03:00"));
    QCOMPARE(f.dialogs.asked[0].defaultText, QStringLiteral("01:30"));
    QCOMPARE(f.dialogs.asked[0].prompt,
             QStringLiteral("Enter the SAMPLING TIME of the Meter\r\n (MM:SS) "));
    QVERIFY(waitFor([&] { return f.meter.intervalMinutes == 2; }));
    QCOMPARE(f.meter.intervalSeconds, 45);
    QCOMPARE(f.meter.receivedBytes().count('W'), 1);
    QVERIFY(f.meter.receivedBytes().endsWith(QByteArray("W\x02\x45", 3)));
    QVERIFY(f.panel->Timer1->isActive()); // closing the window restarted the poll
}

QTEST_MAIN(TestLive)
#include "tst_live.moc"
