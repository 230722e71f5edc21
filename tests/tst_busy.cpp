// The busy rule and the windows that wait on the meter: closing a window ends its waits, one
// exchange has the meter at a time, and no window is freed under a job that still reads it.
#include "commands/memorycommands.h"
#include "link/busyrule.h"
#include "link/displaypoll.h"
#include "link/polltimer.h"
#include "link/sampler.h"
#include "link/wait.h"
#include "model/recordtable.h"
#include "model/settingblocks.h"
#include "support/meterfixture.h"
#include "windows/calibration.h"
#include "windows/comparator.h"
#include "windows/datalist.h"
#include "windows/datalogger.h"
#include "windows/filelist.h"
#include "windows/keypad.h"
#include "windows/metersetup.h"
#include "windows/realtimelist.h"
#include "windows/samplingchoice.h"
#include "windows/scf.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>

using namespace lumetra;
using lumetra::test::PanelFixture;
using lumetra::test::waitFor;

namespace {

QWidget* visibleWindow(const QString& name) {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == name && w->isVisible())
            return w;
    }
    return nullptr;
}

BusyRule* ruleOf(QWidget* w) {
    if (auto* d = qobject_cast<BusyDialog*>(w))
        return &d->busy();
    if (auto* b = qobject_cast<BusyWindow*>(w))
        return &b->busy();
    return nullptr;
}

// Should a window keep its wait, this ends it the only other way there is (and any modal
// window with it), so that the test fails instead of hanging.
struct Rescue {
    explicit Rescue(int ms) {
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, [] {
            requestQuit();
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible())
                    d->QDialog::done(QDialog::Rejected);
            }
        });
        timer.start(ms);
    }
    QTimer timer;
};

// A window that waits on the meter, how it is brought to wait, and how the user closes it.
struct WaitCase {
    const char* key;     // the toolbar key that opens the window
    const char* window;  // its object name
    const char* ignored; // letters the meter leaves unanswered from the start
    bool silentOnceOpen; // the meter falls silent once the window is ready
    std::function<bool(QWidget*)> ready;
    std::function<void(QWidget*)> start; // posted: begins the exchange that will wait
    std::function<void(QWidget*)> close;
};

template <typename W> std::function<void(QWidget*)> clickOn(QPushButton* W::*button) {
    return [button](QWidget* w) { (static_cast<W*>(w)->*button)->click(); };
}

const auto always = [](QWidget*) { return true; };
const auto escape = [](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); };
const auto frameClose = [](QWidget* w) { w->close(); };

const QList<WaitCase>& waitCases() {
    static const QList<WaitCase> cases{
        {"cal", "Calibrationfrm", "h", false, always, {}, escape},
        {"cal", "Calibrationfrm", "", true,
         [](QWidget* w) { return static_cast<Calibrationfrm*>(w)->BtnSet->isEnabled(); },
         clickOn(&Calibrationfrm::BtnInitial), frameClose},
        {"scf", "SCF_frm", "a", false, always, {}, clickOn(&SCF_frm::Cancel_btn)},
        {"scf",
         "SCF_frm",
         "",
         true,
         [](QWidget* w) { return static_cast<SCF_frm*>(w)->ready(); },
         {},
         escape},
        {"TimeSet", "Setup", "Y", false, always, [](QWidget*) {}, clickOn(&Setup::CmdExit)},
        {"TimeSet", "Setup", "", true, always, clickOn(&Setup::CmdSetTime), frameClose},
        {"PC", "SamplingChoice", "Y", false, always, clickOn(&SamplingChoice::CmdOK), escape},
        {"Comp", "Comparator", "", true, always, clickOn(&Comparator::CmdUpdate), frameClose},
        {"Buttons", "Btn", "", true, always,
         [](QWidget* w) { static_cast<Btn*>(w)->key(QStringLiteral("CmdH"))->click(); },
         frameClose},
        {"Memory", "Memory", "Q", false, always, {}, frameClose},
    };
    return cases;
}

} // namespace

class TestBusy : public QObject {
    Q_OBJECT
private slots:
    void init() { resetQuitRequest(); }
    void cleanup() { resetQuitRequest(); }
    void busyRule();
    void closeWhileWaiting_data();
    void closeWhileWaiting();
    void comparatorKeepsItsSequence();
    void clickGoesBeforeAWatcher_data();
    void clickGoesBeforeAWatcher();
    void pollGivesWayToAnExchange();
    void downloadHasTheMeter_data();
    void downloadHasTheMeter();
    void listJobKeepsItsWindow_data();
    void listJobKeepsItsWindow();
    void olderLiveListLeavesTheNewerAlone();
};

void TestBusy::busyRule() {
    MeterLink link;
    QTimer timer;
    PollTimer poll(&timer);
    poll.setEnabled(true);
    poll.start();
    int closes = 0;
    BusyRule window([&] { ++closes; });
    window.setMeter(&link, &poll);
    BusyRule other;
    other.setMeter(&link, nullptr);
    BusyRule listJob([&] { ++closes; });
    listJob.letJobFinishOnClose();

    QVERIFY(!window.postponeClose()); // idle: closes at once
    {
        auto hold = window.tryHold();
        QVERIFY(hold);
        QVERIFY(!window.tryHold());      // no re-entry
        QVERIFY(!other.tryHold());       // the link has one exchange at a time
        QVERIFY(!timer.isActive());      // the poll rests
        QVERIFY(listJob.tryHold());      // no meter: not refused (and released at once)
        QVERIFY(window.postponeClose()); // put off, and the waits inside give up
        QVERIFY(waitsAbandoned());
        QElapsedTimer t;
        t.start();
        pauseSeconds(2);
        QVERIFY(t.elapsed() < 500);
        {
            WaitScope inner; // work that started inside the abandoned wait is its own
            QVERIFY(!waitsAbandoned());
        }
        QCOMPARE(closes, 0);
    }
    QCOMPARE(closes, 1); // carried out at release
    QVERIFY(timer.isActive());
    QVERIFY(!waitsAbandoned());
    QVERIFY(other.tryHold());

    // A bounded job finishes its waits; the close follows.
    {
        auto hold = listJob.tryHold();
        QVERIFY(listJob.postponeClose());
        QVERIFY(!waitsAbandoned());
    }
    QCOMPARE(closes, 2);
}

void TestBusy::closeWhileWaiting_data() {
    QTest::addColumn<int>("row");
    const QList<WaitCase>& cases = waitCases();
    for (int i = 0; i < cases.size(); ++i) {
        const WaitCase& c = cases[i];
        const QString fault =
            *c.ignored ? QStringLiteral("ignores %1").arg(c.ignored) : QStringLiteral("silent");
        QTest::addRow("%s, %s", c.window, qPrintable(fault)) << i;
    }
}

void TestBusy::closeWhileWaiting() {
    QFETCH(int, row);
    const WaitCase& c = waitCases()[row];
    PanelFixture f;
    f.meter.fillMemory(2, 20);
    f.meter.setIgnoredLetters(c.ignored);

    // Driven from a timer: the window's handlers are on the stack beneath these steps.
    enum { Opening, Waiting, Closed } phase = Opening;
    QPointer<QWidget> window;
    QElapsedTimer heldFor, closing;
    QTimer driver;
    connect(&driver, &QTimer::timeout, [&] {
        if (phase == Opening) {
            QWidget* w = visibleWindow(QLatin1String(c.window));
            if (!w || !c.ready(w))
                return;
            window = w;
            if (c.silentOnceOpen)
                f.meter.setSilent(true);
            if (c.start)
                QTimer::singleShot(0, w, [w, &c] { c.start(w); });
            phase = Waiting;
            return;
        }
        if (phase != Waiting || !window)
            return;
        if (!f.panel->link().claimed()) {
            heldFor.invalidate();
            return;
        }
        if (!heldFor.isValid())
            heldFor.start();
        if (heldFor.elapsed() < 400)
            return; // not just passing through: it waits for the meter
        phase = Closed;
        driver.stop();
        closing.start();
        c.close(window);
    });
    driver.start(20);
    Rescue rescue(12000);
    f.click(QLatin1String(c.key));
    QVERIFY(waitFor([&] { return phase == Closed && (!window || !window->isVisible()); }, 12000));
    const qint64 took = closing.elapsed();
    rescue.timer.stop();
    QVERIFY2(!quitRequested(), "only quitting ended the window's wait");
    QVERIFY2(took < 2000, qPrintable(QStringLiteral("closing took %1 ms").arg(took)));

    // Once the meter answers again, so does the live display.
    f.meter.setSilent(false);
    f.meter.setIgnoredLetters({});
    QSignalSpy frames(&f.panel->displayPoll(), &DisplayPoll::frameDecoded);
    QVERIFY(waitFor([&] { return frames.size() >= 2; }, 10000));
    QVERIFY(!f.panel->link().claimed());
}

void TestBusy::comparatorKeepsItsSequence() {
    PanelFixture f;
    f.click("Comp");
    QPointer<Comparator> w = f.hub->comparatorWindowOpen();
    QVERIFY(w);
    QString high, low;
    for (int i = 1; i <= 4; ++i) {
        high += w->HighO[size_t(i)]->currentText();
        low += w->LowO[size_t(i)]->currentText();
    }
    const QByteArray block = comparator::block(w->TxtUnit->currentText(), w->position(), high, low);
    f.meter.setSilent(true);
    f.meter.clearReceived();
    Comparator* duringUpdate = nullptr;
    QTimer::singleShot(0, w, [&] { w->CmdUpdate->click(); });
    // Inside Update's wait: "Comp" again must not read "H"/"Z" into the middle of it.
    QTimer::singleShot(600, f.panel.get(), [&] {
        f.meter.setSilent(false);
        f.click("Comp");
        duringUpdate = f.hub->comparatorWindowOpen();
    });
    Rescue rescue(12000);
    QVERIFY(waitFor([&] { return f.meter.receivedBytes().contains('X'); }, 10000));
    rescue.timer.stop();
    QCOMPARE(duringUpdate, w.data());
    QVERIFY(w && w->isVisible());
    const QByteArray sent = f.meter.receivedBytes();
    QVERIFY(!sent.contains('Z'));
    const qsizetype v = sent.indexOf('V');
    QVERIFY(v >= 0);
    QCOMPARE(sent.mid(v + 1, 5), block);
}

void TestBusy::clickGoesBeforeAWatcher_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<char>("letter"); // what the click sends
    QTest::newRow("SCF Set while the watcher waits for a frame") << "scf" << 'c';
    QTest::newRow("Set Meter Time while the clock refresh waits") << "TimeSet" << 'T';
}

void TestBusy::clickGoesBeforeAWatcher() {
    QFETCH(QString, key);
    QFETCH(char, letter);
    PanelFixture f;
    if (key == QLatin1String("scf"))
        f.meter.setFramePeriodMs(1500); // the watcher waits long for each frame
    else
        f.meter.setIgnoredLetters("Y"); // the clock's first read waits for good
    // Driven from a timer, never waiting inside it: the watcher's wait is beneath these steps
    // and can only give way once each step has returned.
    bool clicked = false, sent = false;
    QElapsedTimer sinceClick;
    QTimer driver;
    connect(&driver, &QTimer::timeout, f.panel.get(), [&] {
        auto* scf = f.panel->findChild<SCF_frm*>();
        auto* clock = f.panel->findChild<Setup*>();
        QDialog* window = scf ? static_cast<QDialog*>(scf) : clock;
        if (!window || !window->isVisible())
            return;
        if (clicked) {
            sent = f.meter.receivedBytes().contains(letter);
            if (sent || sinceClick.elapsed() > 3000) {
                driver.stop();
                window->reject();
            }
            return;
        }
        if ((scf && !scf->ready()) || !f.panel->link().claimed())
            return; // not yet in the watcher's wait
        f.meter.clearReceived();
        clicked = true;
        sinceClick.start();
        (scf ? scf->SetSCF_btn : clock->CmdSetTime)->click();
    });
    driver.start(20);
    Rescue rescue(15000);
    f.click(key);
    rescue.timer.stop();
    QVERIFY(!quitRequested());
    QVERIFY(clicked);
    QVERIFY(sent);
}

void TestBusy::pollGivesWayToAnExchange() {
    QTemporaryDir dir;
    PanelFixture f;
    f.meter.fillMemory(2, 200);
    f.dialogs.saveAnswers = {dir.filePath("rec.txt")};
    f.click("Save"); // a recording runs throughout
    QVERIFY(f.panel->state().recordingToFile);
    QSignalSpy gaveUp(&f.panel->displayPoll(), &DisplayPoll::gaveUp);
    bool insideTick = false;
    QTimer driver;
    connect(&driver, &QTimer::timeout, f.panel.get(), [&] {
        if (!f.panel->displayPoll().running())
            return;
        // This runs inside the tick's wait for its frame: the download ends the stream the
        // tick is reading.
        driver.stop();
        insideTick = true;
        f.click("Memory");
    });
    driver.start(1);
    QVERIFY(waitFor([&] { return insideTick && f.hub->memory().memoryWindow(); }));
    QVERIFY(waitFor([&] { return !f.panel->link().claimed(); }));
    QSignalSpy frames(&f.panel->displayPoll(), &DisplayPoll::frameDecoded);
    QVERIFY(waitFor([&] { return frames.size() >= 2; }, 4000)); // live again at once
    QCOMPARE(gaveUp.size(), 0);
    QVERIFY(f.panel->state().recordingToFile);
}

void TestBusy::downloadHasTheMeter_data() {
    QTest::addColumn<QString>("key");
    for (const char* key : {"ESC", "TimeSet", "cal", "scf", "CD", "Hold", "Comp", "CmdH"})
        QTest::newRow(key) << QString::fromLatin1(key);
}

void TestBusy::downloadHasTheMeter() {
    QFETCH(QString, key);
    PanelFixture f;
    f.meter.fillMemory(2, 300);
    f.click("Buttons");
    Btn* keypad = f.hub->keypad();
    QVERIFY(keypad);
    f.meter.setPaced(true); // the dump takes about a second at the line's rate
    f.meter.clearReceived();
    bool duringDump = false;
    // A moment after the dump began, the key.
    connect(&f.meter, &sim::VirtualMeter::letterReceived, f.panel.get(), [&](char letter) {
        if (letter != 'Q')
            return;
        QTimer::singleShot(100, f.panel.get(), [&] {
            duringDump = f.panel->link().claimed();
            if (key == QLatin1String("CmdH"))
                keypad->key(key)->click();
            else
                f.click(key);
        });
    });
    Rescue rescue(15000);
    f.click("Memory");
    const QByteArray sent = f.meter.receivedBytes();
    rescue.timer.stop();
    QVERIFY(!quitRequested());
    QVERIFY(duringDump);
    QCOMPARE(sent.count('Q'), 1);
    QCOMPARE(sent.mid(sent.indexOf('Q') + 1), QByteArray()); // nothing while the dump ran
    QCOMPARE(f.hub->memory().memoryWindow()->sets()->rowCount(), 2);
}

void TestBusy::listJobKeepsItsWindow_data() {
    QTest::addColumn<QString>("during");
    QTest::newRow("set clicked while the Data List prints") << "expand";
    QTest::newRow("Open while the File List prints") << "open";
    QTest::newRow("File List closed while it prints") << "close";
}

void TestBusy::listJobKeepsItsWindow() {
    QFETCH(QString, during);
    QTemporaryDir dir;
    PanelFixture f;
    const QString pdf = dir.filePath("list.pdf");
    f.dialogs.printerAnswers = {true};
    f.dialogs.printerOutputFile = pdf;
    constexpr int kRows = 20000; // long enough for events to run during the print

    QPointer<ListWindow> list;
    std::function<void()> interfere;
    if (during == QLatin1String("expand")) {
        QList<double> readings;
        for (int i = 0; i < kRows; ++i)
            readings << 100.0 + i % 50;
        f.meter.clearMemory();
        f.meter.addSet(QDateTime(QDate(2026, 12, 6), QTime(8, 0)), 1, readings);
        f.click("Memory");
        f.hub->memory().expand(0);
        list = f.hub->memory().dataList();
        interfere = [&] { emit f.hub->memory().memoryWindow()->setClicked(0); };
    } else {
        const QString path = dir.filePath("records.txt");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("Lx\tTime\tValue\t\r\n");
        for (int i = 1; i <= kRows; ++i)
            file.write(QByteArray::number(i) + "\t06-14:05:31\t12.34\t\r\n");
        file.close();
        f.dialogs.openAnswers = {path, path};
        f.click("Open");
        list = f.hub->fileList();
        interfere = during == QLatin1String("open")
                        ? std::function<void()>([&] { f.click("Open"); })
                        : std::function<void()>([&] { list->close(); });
    }
    QVERIFY(list);
    QCOMPARE(list->table()->rowCount(), kRows);
    bool interfered = false;
    bool printHeldTheList = false;
    QTimer::singleShot(0, f.panel.get(), [&] {
        printHeldTheList = ruleOf(list)->held();
        interfere();
        interfered = true;
    });
    list->toolbarButton(QStringLiteral("Print"))->click();
    QVERIFY(interfered);
    QVERIFY(printHeldTheList);
    QVERIFY(QFile(pdf).size() > 0); // the print ran to its end
    if (during == QLatin1String("expand")) {
        QCOMPARE(f.hub->memory().dataList(), list.data()); // refused while the list printed
        QVERIFY(list->isVisible());
    } else {
        QVERIFY(waitFor([&] { return !list || !list->isVisible(); })); // closed after it
        if (during == QLatin1String("open")) {
            QVERIFY(f.hub->fileList() && f.hub->fileList() != list.data());
            QCOMPARE(f.hub->fileList()->table()->rowCount(), kRows);
        } else {
            QVERIFY(!f.hub->fileList());
        }
    }
}

void TestBusy::olderLiveListLeavesTheNewerAlone() {
    QTemporaryDir dir;
    PanelFixture f;
    f.panel->Timer2->stop();
    AppState& s = f.panel->state();
    s.sampleInterval = 1;
    f.click("List");
    QPointer<RealTimeList> older = f.hub->realTimeList();
    QVERIFY(older);
    QVector<QStringList> rows(20000, QStringList{"1", "06-14:05:31", "12.34"});
    older->table()->appendRows(rows);
    f.dialogs.printerAnswers = {true};
    f.dialogs.printerOutputFile = dir.filePath("list.pdf");
    RealTimeList* newer = nullptr;
    QTimer::singleShot(0, f.panel.get(), [&] {
        // A unit change closes the printing list (after its print); a new list opens.
        f.meter.setUnitFc(true); // the meter goes on showing it
        s.display.unitText = QStringLiteral("Fc");
        s.sampleTick = 0;
        f.hub->sampler().tick();
        QVERIFY(!s.listOpen);
        QVERIFY(older->isVisible());
        f.click("List");
        newer = f.hub->realTimeList();
    });
    older->toolbarButton(QStringLiteral("Print"))->click();
    QVERIFY(newer && newer != older.data());
    QVERIFY(waitFor([&] { return !older || !older->isVisible(); }));
    QVERIFY(s.listOpen);
    QCOMPARE(f.hub->realTimeList(), newer);
    // A sample needs a reading the meter sent since the last one (the print rested the poll).
    const quint64 seen = s.readingsDecoded;
    QVERIFY(waitFor([&] { return s.readingsDecoded != seen; }));
    s.sampleTick = 0;
    f.hub->sampler().tick();
    QCOMPARE(newer->table()->rowCount(), 1);
    QCOMPARE(s.listRecordCount, 1);
}

QTEST_MAIN(TestBusy)
#include "tst_busy.moc"
