// The meter's data-logger memory: reading formatting, splitting a dump into sets, record
// times, and the download, expansion and erase against the virtual meter.
#include "commands/graphcommands.h"
#include "commands/memorycommands.h"
#include "link/wait.h"
#include "model/columnplot.h"
#include "model/memorysets.h"
#include "model/readingformat.h"
#include "model/recordtable.h"
#include "support/meterfixture.h"
#include "windows/datalist.h"
#include "windows/datalogger.h"

#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QScopeGuard>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <cmath>
#include <ctime>

using namespace lumetra;
using lumetra::test::PanelFixture;
using lumetra::test::waitFor;

class TestMemory : public QObject {
    Q_OBJECT
private slots:
    void formatReading_data();
    void formatReading();
    void formatIgnoresTheLocale();
    void freeMemory_data();
    void freeMemory();
    void splitDumps();
    void recordTimes_data();
    void recordTimes();
    void recordTimesIgnoreDaylightSaving();
    void downloadListsTheSets();
    void expandASet();
    void largestSetFillsWholeWhileEventsRun();
    void eraseAsksFirst();
    void emptyMemory();
    void dumpWithoutLeadingMarker();
    void brokenChainIsRequestedAgain_data();
    void brokenChainIsRequestedAgain();
    void unansweredDumpsEndTheDownload_data();
    void unansweredDumpsEndTheDownload();
    void unreadableRecordsStayUnreadable();
    void refusedWhileLoggingOrHolding();
};

void TestMemory::formatReading_data() {
    QTest::addColumn<int>("high");
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("range");
    QTest::addColumn<QString>("lux"); // "-": no reading
    QTest::addColumn<QString>("fc");
    QTest::newRow("worked example") << 0x04 << 0xD2 << 0x08 << "123.4"
                                    << "11.46";
    QTest::newRow("zero, bit 1") << 0 << 0 << 0x02 << "0.000"
                                 << "0.0000";
    QTest::newRow("65535, bit 6") << 0xFF << 0xFF << 0x40 << "6553500"
                                  << "608820.15";
    QTest::newRow("bits 6 and 1: 6 wins") << 0 << 10 << 0x42 << "1000"
                                          << "92.9";
    QTest::newRow("bit 5") << 0x04 << 0xD2 << 0x20 << "12340"
                           << "1146";
    QTest::newRow("bit 4") << 0x04 << 0xD2 << 0x10 << "1234"
                           << "114.6";
    QTest::newRow("bit 2") << 0x04 << 0xD2 << 0x04 << "12.34"
                           << "1.146";
    QTest::newRow("bit 0 and 7 only") << 0x04 << 0xD2 << 0x81 << "-"
                                      << "-";
}

void TestMemory::formatReading() {
    QFETCH(int, high);
    QFETCH(int, low);
    QFETCH(int, range);
    QFETCH(QString, lux);
    QFETCH(QString, fc);
    const auto r = lumetra::formatReading(quint8(high), quint8(low), quint8(range));
    QCOMPARE(r ? r->lux : QStringLiteral("-"), lux);
    QCOMPARE(r ? r->footCandles : QStringLiteral("-"), fc);
}

void TestMemory::formatIgnoresTheLocale() {
    QLocale::setDefault(QLocale(QLocale::German));
    const auto r = lumetra::formatReading(0x04, 0xD2, 0x08);
    QLocale::setDefault(QLocale::c());
    QCOMPARE(r->lux, QStringLiteral("123.4"));
}

void TestMemory::freeMemory_data() {
    QTest::addColumn<uint>("pointer");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << 1535u << " 126.5 K";
    QTest::newRow("two KB left") << 131071u - 2048u << " 2 K";
    QTest::newRow("a little") << 130968u << " 0.1 K";
    QTest::newRow("too little to show") << 131058u << " 0 K";
    QTest::newRow("131059") << 131059u << " 0 K";
    QTest::newRow("full") << 131071u << " 0 K";
}

void TestMemory::freeMemory() {
    QFETCH(uint, pointer);
    QFETCH(QString, text);
    QCOMPARE(memorysets::freeMemoryText(pointer), text);
}

void TestMemory::splitDumps() {
    sim::VirtualMeter meter;
    meter.addSet(QDateTime(QDate(2026, 12, 6), QTime(14, 5, 30)), 90, {1, 2, 3, 4, 5});
    QByteArray dump = meter.memoryDump();
    int length = memorysets::replyLength(meter.memoryPointer());
    QCOMPARE(length, 15 + 25 + 1);
    QByteArray stored = memorysets::storedMemory(dump, length);
    QCOMPARE(stored.size(), 25 + 4);
    auto split = memorysets::split(stored, 10004);
    QCOMPARE(split.status, memorysets::Split::Complete);
    QCOMPARE(split.sets.size(), 1);
    QCOMPARE(memorysets::tableRow(1, split.sets[0]), (QStringList{"1", "06-14:05:30", "90", "5"}));

    meter.fillMemory(3, 7);
    dump = meter.memoryDump();
    length = memorysets::replyLength(meter.memoryPointer());
    split = memorysets::split(memorysets::storedMemory(dump, length), 10004);
    QCOMPARE(split.sets.size(), 3);
    QCOMPARE(memorysets::recordCount(split.sets[2]), 7);
    QCOMPARE(memorysets::split(memorysets::storedMemory(dump, length), 2).sets.size(), 2);

    QByteArray noMarker = memorysets::storedMemory(dump, length);
    noMarker[1] = 0x54;
    QCOMPARE(memorysets::split(noMarker, 10004).status, memorysets::Split::NoLeadingMarker);
    QByteArray broken = memorysets::storedMemory(dump, length);
    broken[10 + 21 + 1] = 0x11; // the second set's marker
    auto brokenSplit = memorysets::split(broken, 10004);
    QCOMPARE(brokenSplit.status, memorysets::Split::BrokenChain);
    QCOMPARE(brokenSplit.sets.size(), 0); // set 1 has lost its end
    // With five sets, a spoiled marker in the middle must not merge the sets around it.
    meter.fillMemory(5, 5);
    dump = meter.memoryDump();
    length = memorysets::replyLength(meter.memoryPointer());
    QByteArray middle = memorysets::storedMemory(dump, length);
    const qsizetype third = 2 * (10 + 15);
    QCOMPARE(middle.mid(third, 4), memorysets::kMarker);
    middle[third + 1] = 0x11;
    brokenSplit = memorysets::split(middle, 10004);
    QCOMPARE(brokenSplit.status, memorysets::Split::BrokenChain);
    QCOMPARE(brokenSplit.sets.size(), 1);
    QCOMPARE(memorysets::recordCount(brokenSplit.sets[0]), 5);
}

void TestMemory::recordTimes_data() {
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("interval");
    QTest::addColumn<QDate>("today");
    QTest::addColumn<int>("record");
    QTest::addColumn<QString>("label");
    const QDate dec(2026, 12, 8);
    QTest::newRow("first") << "05-10:00:00" << 2 << dec << 1 << "05-10:00:00";
    QTest::newRow("later") << "05-10:00:00" << 2 << dec << 31 << "05-10:01:00";
    QTest::newRow("interval 0") << "05-10:00:00" << 0 << dec << 500 << "05-10:00:00";
    QTest::newRow("past midnight") << "06-23:59:58" << 3 << dec << 2 << "07-00:00:01";
    QTest::newRow("day 00") << "00-23:59:58" << 3 << dec << 1 << "00-23:59:58";
    QTest::newRow("day 00, next day") << "00-23:59:58" << 3 << dec << 2 << "01-00:00:01";
    QTest::newRow("day 31 in November")
        << "31-08:00:00" << 60 << QDate(2026, 11, 3) << 1 << "01-08:00:00";
}

void TestMemory::recordTimes() {
    QFETCH(QString, start);
    QFETCH(int, interval);
    QFETCH(QDate, today);
    QFETCH(int, record);
    QFETCH(QString, label);
    const memorysets::Timeline t(start, interval, today);
    QCOMPARE(t.label(record), label);
    if (start == QLatin1String("05-10:00:00"))
        QCOMPARE(t.start, QDateTime(QDate(2026, 12, 5), QTime(10, 0, 0), Qt::UTC));
}

// The PC's clock changes to summer time in the night of the 29th of March; the meter's does not.
void TestMemory::recordTimesIgnoreDaylightSaving() {
    const QByteArray saved = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    tzset();
    const auto restore = qScopeGuard([saved] {
        if (saved.isEmpty())
            qunsetenv("TZ");
        else
            qputenv("TZ", saved);
        tzset();
    });
    const memorysets::Timeline t(QStringLiteral("29-01:59:59"), 1, QDate(2026, 3, 30));
    QCOMPARE(t.label(2), QStringLiteral("29-02:00:00"));
    QCOMPARE(t.label(3601), QStringLiteral("29-02:59:59"));
}

void TestMemory::downloadListsTheSets() {
    PanelFixture f;
    f.meter.fillMemory(3, 40);
    f.meter.clearReceived();
    // A set stopped before its first record sits among the others and after the last.
    const QByteArray full = f.meter.memory();
    f.meter.setMemoryImage(full.left(10 + 3 * 40));
    f.meter.addEmptySet();
    f.meter.setMemoryImage(f.meter.memory() + full.mid(10 + 3 * 40));
    f.meter.addEmptySet();
    const int wakeAsOpened = f.panel->link().port().wakeThreshold();
    QVERIFY(wakeAsOpened >= 0);
    f.click("Memory");
    // The dump was read in pieces; afterwards the port reports input as it did before.
    QCOMPARE(f.panel->link().port().wakeThreshold(), wakeAsOpened);
    Memory* w = f.hub->memory().memoryWindow();
    QVERIFY(w);
    QCOMPARE(w->windowTitle(), QStringLiteral("Data Logger"));
    QCOMPARE(w->sets()->rowCount(), 5);
    for (int row = 0; row < 5; ++row)
        QCOMPARE(w->sets()->cell(row, 3),
                 row == 1 || row == 4 ? QStringLiteral("0") : QStringLiteral("40"));
    QCOMPARE(w->LblSize->text(), QStringLiteral("128 K"));
    QCOMPARE(w->LblRemain->text(), memorysets::freeMemoryText(f.meter.memoryPointer()));
    QCOMPARE(w->LblMessage->text(), QStringLiteral("100.0% Completed"));
    QVERIFY(f.panel->state().memoryOpen);
    QCOMPARE(f.panel->state().memorySets[1], f.meter.memory().left(10 + 3 * 40));
    const QByteArray sent = f.meter.receivedBytes();
    QVERIFY(sent.indexOf('H') < sent.indexOf('Q'));
    QCOMPARE(sent.count('Q'), 1);
    QVERIFY(waitFor([&] { return f.panel->Timer1->isActive(); }));
    QVERIFY(waitFor([&] { return f.panel->state().display.linkAlive && f.meter.streaming(); }));
    f.click("Memory"); // already open: nothing
    QCOMPARE(f.meter.receivedBytes().count('Q'), 1);
}

void TestMemory::expandASet() {
    PanelFixture f;
    f.meter.clearMemory();
    f.meter.addSet(QDateTime(QDate(2026, 12, 6), QTime(23, 59, 58)), 3, {1234.0, 5.0, 70000.0});
    f.click("Memory");
    f.hub->memory().expand(0);
    DataList* list = f.hub->memory().dataList();
    QVERIFY(list);
    QCOMPARE(list->windowTitle(), QStringLiteral("Data List"));
    QCOMPARE(list->luxTable()->listRow(1), (QStringList{"1", "06-23:59:58", "1234.0"}));
    QCOMPARE(list->luxTable()->listRow(2), (QStringList{"2", "07-00:00:01", "5.000"}));
    QCOMPARE(list->fcTable()->listRow(3), (QStringList{"3", "07-00:00:04", "6503"}));
    QCOMPARE(list->fcTable()->header(0), QStringLiteral("Fc"));
    QVERIFY(!list->GridM->isHidden()); // the meter shows lux
    list->toolbarButton("Unit")->click();
    QVERIFY(list->GridM->isHidden());
    QCOMPARE(list->visibleTable(), list->fcTable());
    list->toolbarButton("Unit")->click();
    QCOMPARE(list->visibleTable(), list->luxTable());
    // A second expansion replaces the list.
    f.hub->memory().expand(0);
    QCOMPARE(f.hub->memory().dataList()->luxTable()->rowCount(), 3);
}

// The largest set fills the lists in slices with events between them: what a person does
// meanwhile neither cuts the lists short nor starts work on a half-filled list or the meter.
void TestMemory::largestSetFillsWholeWhileEventsRun() {
    PanelFixture f;
    f.meter.fillMemory(1, 50000); // filled to the last byte: about 43 000 records
    f.click("Memory");
    Memory* logger = f.hub->memory().memoryWindow();
    QVERIFY(logger);
    const int records = logger->sets()->cell(0, 3).toInt();
    QVERIFY(records > 40000);
    int eventsRan = 0;
    bool plotRefused = false, meterRefused = false;
    const QByteArray before = f.meter.receivedBytes();
    QTimer::singleShot(0, f.panel.get(), [&] {
        ++eventsRan;
        DataList* list = f.hub->memory().dataList();
        QVERIFY(list && list->luxTable()->rowCount() < records); // still filling
        list->toolbarButton("Plot")->click();
        plotRefused = !f.hub->graphs().plot();
        f.click("cal"); // an exchange with the meter waits for the filling
        meterRefused = f.meter.receivedBytes() == before;
        logger->close(); // closes once the lists are whole
    });
    f.hub->memory().expand(0);
    QCOMPARE(eventsRan, 1);
    QVERIFY(plotRefused);
    QVERIFY(meterRefused);
    DataList* list = f.hub->memory().dataList();
    QVERIFY(list);
    QCOMPARE(list->luxTable()->rowCount(), records);
    QCOMPARE(list->fcTable()->rowCount(), records);
    QCOMPARE(list->luxTable()->cell(records - 1, 0), QString::number(records));
    QCOMPARE(f.meter.receivedBytes(), before); // nothing went to the meter meanwhile
    QVERIFY(waitFor([&] { return !f.hub->memory().memoryWindow(); }));
}

void TestMemory::eraseAsksFirst() {
    PanelFixture f;
    f.meter.fillMemory(1, 5);
    f.click("Memory");
    Memory* w = f.hub->memory().memoryWindow();
    f.meter.clearReceived();
    f.dialogs.messageAnswers = {MessageResult::Cancel};
    f.hub->memory().erase();
    QCOMPARE(f.dialogs.shown.last().text,
             QStringLiteral("All the data in memory will be deleted!"));
    QCOMPARE(f.dialogs.shown.last().title, QStringLiteral("Warning"));
    QCOMPARE(f.dialogs.shown.last().icon, MessageIcon::Warning);
    QVERIFY(!f.meter.receivedBytes().contains('E'));
    QVERIFY(w->isVisible());
    f.dialogs.messageAnswers = {MessageResult::Ok};
    f.hub->memory().erase();
    QVERIFY(waitFor([&] { return f.meter.memoryPointer() == 1535; }));
    QCOMPARE(f.meter.receivedBytes().count('E'), 1);
    QVERIFY(!f.panel->state().memoryOpen);
    QVERIFY(!f.panel->state().memoryBusy);
}

void TestMemory::emptyMemory() {
    PanelFixture f;
    f.meter.clearMemory();
    f.click("Memory");
    QCOMPARE(f.dialogs.shown.size(), 1);
    QCOMPARE(f.dialogs.shown[0].text, QStringLiteral("No Data in Memory"));
    QVERIFY(!f.hub->memory().memoryWindow());
    QVERIFY(!f.meter.receivedBytes().contains('Q'));
    QVERIFY(f.panel->Timer1->isActive());
}

void TestMemory::dumpWithoutLeadingMarker() {
    PanelFixture f;
    f.meter.fillMemory(2, 5);
    f.meter.dropNextDumpMarker();
    f.click("Memory");
    QCOMPARE(f.dialogs.shown.last().text, QStringLiteral("Load Data Error counter :10"));
    QCOMPARE(f.panel->state().downloadErrorCount, 10);
}

void TestMemory::brokenChainIsRequestedAgain_data() {
    QTest::addColumn<int>("brokenDumps");
    QTest::addColumn<int>("requests");
    QTest::addColumn<int>("listed"); // sets in the table afterwards
    QTest::newRow("once: asked again, all listed") << 1 << 2 << 3;
    QTest::newRow("every time: the whole sets before the break") << 99 << 10 << 1;
}

void TestMemory::brokenChainIsRequestedAgain() {
    QFETCH(int, brokenDumps);
    QFETCH(int, requests);
    QFETCH(int, listed);
    PanelFixture f;
    f.meter.fillMemory(3, 5);
    f.meter.breakDumpChains(brokenDumps); // the chain breaks in front of set 3
    f.meter.clearReceived();
    f.click("Memory");
    QCOMPARE(f.meter.receivedBytes().count('Q'), requests);
    QCOMPARE(f.hub->memory().memoryWindow()->sets()->rowCount(), listed);
    QCOMPARE(f.hub->memory().memoryWindow()->sets()->cell(0, 3), QStringLiteral("5"));
    if (listed < 3)
        QCOMPARE(f.dialogs.shown.last().text, MemoryCommands::brokenChainMessage(10, 1));
    else
        QVERIFY(f.dialogs.shown.isEmpty());
}

// The meter acknowledges but its memory never comes, or stops coming part of the way: the
// download starts again a few times, then gives up with a message, and the display returns.
void TestMemory::unansweredDumpsEndTheDownload_data() {
    QTest::addColumn<bool>("partly");
    QTest::newRow("nothing after Q") << false;
    QTest::newRow("the dump stops half way") << true;
}

void TestMemory::unansweredDumpsEndTheDownload() {
    QFETCH(bool, partly);
    PanelFixture f;
    f.meter.setStreamEndsAtHandshake(true); // nothing else is on the line after "A"
    f.meter.fillMemory(4, 400);
    if (partly) {
        // Switched off while each dump is on its way, and on again a second later.
        f.meter.setPaced(true);
        f.meter.setPowerOnDelayMs(1000);
        connect(&f.meter, &sim::VirtualMeter::letterReceived, &f.meter, [&](char letter) {
            if (letter == 'Q')
                QTimer::singleShot(300, &f.meter, [&] { f.meter.setPowered(false); });
        });
    } else {
        f.meter.setIgnoredLetters("Q");
    }
    f.meter.clearReceived();
    const int wakeAsOpened = f.panel->link().port().wakeThreshold();
    f.click("Memory");
    QCOMPARE(f.panel->link().port().wakeThreshold(), wakeAsOpened); // as before the dump
    const int tries = MemoryCommands::kMaxEmptyRestarts + 1;
    QCOMPARE(f.meter.receivedBytes().count('Q'), tries);
    QCOMPARE(f.dialogs.shown.last().text, MemoryCommands::noDumpMessage(tries));
    f.meter.setSilent(false);
    f.meter.setIgnoredLetters({});
    const int before = f.meter.receivedBytes().count('M');
    QVERIFY(waitFor([&] { return f.meter.receivedBytes().count('M') > before; }));
    QVERIFY(waitFor([&] { return f.panel->state().display.linkAlive; }));
}

// A record whose range byte names no range is shown as unreadable in both lists and in a
// saved file, and is a gap, not a value, in the graph and its statistics.
void TestMemory::unreadableRecordsStayUnreadable() {
    QTemporaryDir dir;
    PanelFixture f;
    // One set of three records: 123.4 lx, one without a range, 12.34 lx.
    f.meter.setMemoryImage(QByteArray::fromHex("0055AA00"
                                               "06080000"
                                               "0001"
                                               "04D208"
                                               "04D280"
                                               "04D204"));
    f.click("Memory");
    f.hub->memory().expand(0);
    DataList* list = f.hub->memory().dataList();
    QVERIFY(list);
    QCOMPARE(list->luxTable()->cell(1, 2), kUnreadableReading);
    QCOMPARE(list->fcTable()->cell(1, 2), kUnreadableReading);
    QCOMPARE(list->luxTable()->cell(2, 2), QStringLiteral("12.34"));
    QVERIFY(std::isnan(plotValue(list->luxTable()->cell(1, 2))));
    const auto stats = rangeStatistics({123.4f, plotValue(kUnreadableReading), 12.34f}, 1, 3);
    QVERIFY(stats);
    QCOMPARE(stats->count, 2);
    QCOMPARE(float(stats->minimum), 12.34f);
    const QString path = dir.filePath("set.txt");
    f.dialogs.saveAnswers = {path};
    list->toolbarButton(QStringLiteral("Save"))->click();
    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QVERIFY(saved.readAll().contains("2\t06-08:00:01\t----\t"));
}

void TestMemory::refusedWhileLoggingOrHolding() {
    for (const char* flag : {"Intv", "Hold"}) {
        PanelFixture f;
        f.meter.fillMemory(1, 5);
        QVERIFY(f.light(QLatin1String(flag)));
        f.meter.clearReceived();
        f.click("Memory");
        QVERIFY(!f.hub->memory().memoryWindow());
        QVERIFY(!f.meter.receivedBytes().contains('Q'));
    }
}

QTEST_MAIN(TestMemory)
#include "tst_memory.moc"
