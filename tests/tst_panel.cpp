// The Port window and the main window: start-up online and offline, the toolbar's
// availability, the version caption, the live poll against the virtual meter and the LCD.
#include "commands/toolbarhub.h"
#include "link/displaypoll.h"
#include "link/meterlink.h"
#include "link/polltimer.h"
#include "link/wait.h"
#include "model/displayframe.h"
#include "platform/clock.h"
#include "support/meterfixture.h"
#include "widgets/busy.h"
#include "widgets/dialogs.h"
#include "widgets/virtuallcd.h"
#include "widgets/waitingbar.h"
#include "windows/exposure.h"
#include "windows/panel.h"
#include "windows/portwindow.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <cstring>

using namespace lumetra;
using lumetra::test::waitFor;

namespace {

QStringList items(const QComboBox* box) {
    QStringList list;
    for (int i = 0; i < box->count(); ++i)
        list << box->itemText(i);
    return list;
}

using OnlinePanel = test::PanelFixture;

} // namespace

class TestPanel : public QObject {
    Q_OBJECT
private slots:
    void exposureFollowsTheReading();
    void portWindowLoadsAllNames();
    void autoScanListsPresentPortsThenResetRestores();
    void closingThePortWindowWithoutOkEndsTheProgram();
    void okFollowsTheExactTextRule_data();
    void okFollowsTheExactTextRule();
    void startOnline();
    void startOffline_data();
    void startOffline();
    void versionCaptionToggles();
    void everyControlHasAnAccessibleName();
    void pollShowsTheMetersReading();
    void pollAssemblesSplitFramesAndDropsGarbage();
    void handshakeAndMOnEvery15thFrame();
    void silentMeterGivesUpAfterSixWaits();
    void pollHoldNests();
    void toolbarWaitsCanBeCancelled_data();
    void toolbarWaitsCanBeCancelled();
    void lcdShowsEachFlagsElement();
    void lcdUnitLabels_data();
    void lcdUnitLabels();
    void lcdOverlayKeepsDigits();
    void changingThePortDuringARecording_data();
    void changingThePortDuringARecording();
    void windowsOpenWhollyOnTheScreen_data();
    void windowsOpenWhollyOnTheScreen();
};

void TestPanel::portWindowLoadsAllNames() {
    Port port;
    QCOMPARE(port.windowTitle(), QStringLiteral("COM Port"));
    QCOMPARE(items(port.TxtCOM), portnames::allListNames());
    QCOMPARE(port.TxtCOM->currentText(), QStringLiteral("COM  1"));
    QCOMPARE(port.BtnDeviceManager->text(), QStringLiteral("Device Manager"));
}

void TestPanel::autoScanListsPresentPortsThenResetRestores() {
    sim::VirtualMeter three, five;
    QVERIFY(three.start());
    QVERIFY(five.start());
    const auto devices = [&](int n) -> QString {
        if (n == 3)
            return three.devicePath();
        if (n == 5)
            return five.devicePath();
        return QStringLiteral("/nonexistent/ttyS%1").arg(n - 1);
    };
    // Port 5 is held by another program: it is present all the same.
    SerialPort holder;
    holder.setDevice(five.devicePath());
    QCOMPARE(holder.open(), int(SerialPort::NoError));

    Port port({}, {}, devices);
    port.autoScan();
    const QStringList found = items(port.TxtCOM);
    QVERIFY2(found.size() >= 2, qPrintable(found.join(',')));
    QCOMPARE(found.mid(0, 2), (QStringList{"COM  3", "COM  5"}));
    QCOMPARE(port.TxtCOM->currentText(), QStringLiteral("COM  3"));
    QCOMPARE(port.ProgressBar1->value(), 16);

    port.reset();
    QCOMPARE(items(port.TxtCOM), portnames::allListNames());
    QCOMPARE(port.TxtCOM->currentText(), QStringLiteral("COM  3")); // selection kept

    QSignalSpy chosen(&port, &Port::chosen);
    port.CmdOK->click();
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(int(port.choice().number), 3);
    QCOMPARE(port.choice().device, three.devicePath());

    // Shown again later: a scan keeps the port chosen when it finds it, and closing the
    // window without OK changes nothing.
    port.reopen();
    port.TxtCOM->setCurrentText(QStringLiteral("COM  5"));
    port.autoScan();
    QCOMPARE(port.TxtCOM->currentText(), QStringLiteral("COM  5"));
    QSignalSpy abandoned(&port, &Port::abandoned);
    port.close();
    QCOMPARE(abandoned.count(), 1);
    port.reopen();
    port.CmdOK->click();
    QCOMPARE(chosen.count(), 2);
    QCOMPARE(port.choice().device, five.devicePath());
}

void TestPanel::closingThePortWindowWithoutOkEndsTheProgram() {
    Port port;
    port.show();
    QSignalSpy abandoned(&port, &Port::abandoned);
    QSignalSpy chosen(&port, &Port::chosen);
    port.close();
    QCOMPARE(abandoned.count(), 1);
    QCOMPARE(chosen.count(), 0);
}

void TestPanel::okFollowsTheExactTextRule_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("number");
    QTest::addColumn<bool>("byEnter"); // Enter in the port box instead of a click on OK
    QTest::newRow("Auto") << "Auto" << 1 << false;
    QTest::newRow("COM  7, Enter") << "COM  7" << 7 << true;
    QTest::newRow("one blank") << "COM 1" << 0 << false;
    QTest::newRow("garbage, Enter") << "hello" << 0 << true;
}

void TestPanel::okFollowsTheExactTextRule() {
    QFETCH(QString, text);
    QFETCH(int, number);
    QFETCH(bool, byEnter);
    Port port;
    port.show();
    QVERIFY(QTest::qWaitForWindowActive(&port));
    QSignalSpy abandoned(&port, &Port::abandoned);
    QSignalSpy chosen(&port, &Port::chosen);
    port.TxtCOM->setCurrentText(text);
    if (byEnter) {
        port.TxtCOM->setFocus();
        QTest::keyClick(port.TxtCOM->lineEdit(), Qt::Key_Return);
    } else {
        port.CmdOK->click();
    }
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(int(port.choice().number), number);
    QVERIFY(!port.isVisible());
    QCOMPARE(abandoned.count(), 0);
}

void TestPanel::startOnline() {
    OnlinePanel p(true, false);
    Panel& w = *p.panel;
    QCOMPARE(w.windowTitle(), QStringLiteral("Panel  V10.06"));
    QCOMPARE(w.LblCOM->text(), QStringLiteral("COM3"));
    QVERIFY(w.state().meterOnline);
    QVERIFY(w.Timer1->isActive());
    QCOMPARE(w.Timer1->interval(), 250);
    QCOMPARE(w.Timer2->interval(), 1000);
    QCOMPARE(w.state().sampleInterval, 2.0);
    for (const auto& c : ToolbarHub::commands())
        QVERIFY2(w.toolbarButton(QLatin1String(c.button.key))->isEnabled(), c.button.key);
    QVERIFY(p.dialogs.shown.isEmpty());
    // The start-up itself sends nothing; the first poll tick talks to the meter.
    QVERIFY(p.meter.receivedBytes().isEmpty());
}

void TestPanel::startOffline_data() {
    QTest::addColumn<QString>("device");
    QTest::newRow("no such port") << "/dev/ttyNOSUCH9";
    QTest::newRow("nothing chosen") << "";
}

void TestPanel::startOffline() {
    QFETCH(QString, device);
    ScriptedDialogs dialogs;
    SystemClock clock;
    Panel w(dialogs, clock);
    ToolbarHub hub(w);
    w.start(PortChoice{0, device});
    QCOMPARE(dialogs.shown.size(), 1);
    QCOMPARE(dialogs.shown[0].text, QStringLiteral("No device found, try again!"));
    QCOMPARE(dialogs.shown[0].icon, MessageIcon::Error);
    QCOMPARE(dialogs.shown[0].title, QStringLiteral("Lumetra"));
    QCOMPARE(w.LblCOM->text(), QStringLiteral("Offline Mode"));
    const QColor red(0xD0, 0x00, 0x00);
    QCOMPARE(w.LblCOM->palette().color(QPalette::WindowText), red); // trouble shows red
    QVERIFY(!w.state().meterOnline);
    QVERIFY(!w.Timer1->isActive());
    // Offline, the commands that need no meter work (opening a record file among them).
    for (const auto& c : ToolbarHub::commands())
        QCOMPARE(w.toolbarButton(QLatin1String(c.button.key))->isEnabled(), c.button.offline);
    QVERIFY(w.toolbarButton(QStringLiteral("Open"))->isEnabled());
    // A poll tick does nothing offline, and the poll cannot be restarted by an exchange.
    w.displayPoll().tick();
    { auto hold = w.poll().hold(); }
    QVERIFY(!w.Timer1->isActive());
    if (!device.isEmpty())
        QVERIFY(dialogs.shown[0].detail.startsWith(device + ": ")); // names what failed

    // The port can be chosen again from the main window: the meter is found, no restart.
    QSignalSpy asked(&w, &Panel::portWindowAsked);
    w.findChild<QAction*>("ActChoosePort")->trigger();
    QCOMPARE(asked.count(), 1);
    sim::VirtualMeter meter;
    QVERIFY(meter.start());
    hub.changePort(PortChoice{0, meter.devicePath()});
    QVERIFY(w.state().meterOnline);
    QVERIFY(w.toolbarButton(QStringLiteral("Save"))->isEnabled());
    QVERIFY(waitFor([&] { return w.state().readingsDecoded > 0; }));
    QCOMPARE(w.LblCOM->text(), PortChoice({0, meter.devicePath()}).label());
    QVERIFY(w.LblCOM->palette().color(QPalette::WindowText) != red); // a working port does not
    QCOMPARE(dialogs.shown.size(), 1);
}

void TestPanel::versionCaptionToggles() {
    ScriptedDialogs dialogs;
    SystemClock clock;
    Panel w(dialogs, clock);
    w.show();
    QTest::mouseClick(w.LblCOM, Qt::LeftButton);
    QCOMPARE(w.windowTitle(), QStringLiteral("Panel  V10.06   20190801.2"));
    QTest::mouseClick(w.LblCOM, Qt::LeftButton);
    QCOMPARE(w.windowTitle(), QStringLiteral("Panel  V10.06"));
}

void TestPanel::everyControlHasAnAccessibleName() {
    ScriptedDialogs dialogs;
    SystemClock clock;
    Panel w(dialogs, clock);
    for (const auto& c : ToolbarHub::commands())
        w.addToolbarButton(c.button);
    // Each button reports its own command, and each has a key of its own and a picture.
    QSignalSpy clicked(&w, &Panel::toolbarClicked);
    QSet<QString> shortcuts;
    for (const auto& c : ToolbarHub::commands()) {
        QToolButton* b = w.findChild<QToolButton*>(QStringLiteral("Toolbar1_") + c.button.key);
        QVERIFY2(b, c.button.key);
        QVERIFY(!b->icon().isNull());
        // What it does in a sentence, on the tip's second line and for a screen reader.
        QVERIFY(!b->accessibleDescription().isEmpty());
        QCOMPARE(b->toolTip().section(QLatin1Char('\n'), 1), b->accessibleDescription());
        shortcuts.insert(b->shortcut().toString());
        b->click();
        QCOMPARE(clicked.takeLast().at(0).toString(), QLatin1String(c.button.key));
    }
    QCOMPARE(shortcuts.size(), qsizetype(ToolbarHub::commands().size()));
    QVERIFY(!shortcuts.contains(QString()));
    QCOMPARE(w.toolbarButton("Save")->toolTip().section(QLatin1Char('\n'), 0, 0),
             QStringLiteral("Save As (Ctrl+S)"));
    QCOMPARE(w.toolbarButton("TimeSet")->toolTip().section(QLatin1Char('\n'), 0, 0),
             QStringLiteral("Set Meter Time to PC System Time (Ctrl+T)"));
    Port port;
    for (QWidget* c : port.findChildren<QWidget*>()) {
        if (!c->objectName().isEmpty() && !c->objectName().startsWith("qt_"))
            QVERIFY2(!c->accessibleName().isEmpty(), qPrintable(c->objectName()));
    }
}

void TestPanel::pollShowsTheMetersReading() {
    OnlinePanel p;
    Panel& w = *p.panel;
    QVERIFY(waitFor([&] { return w.state().display.readingText == QLatin1String("12.34"); }));
    QCOMPARE(w.state().display.unitText, QStringLiteral("Lx"));
    QVERIFY(w.state().display.linkAlive);
    VirtualLcd* lcd = w.lcd();
    QCOMPARE(lcd->MainDigit[2]->text(), QStringLiteral("1"));
    QCOMPARE(lcd->MainDigit[5]->text(), QStringLiteral("4"));
    QVERIFY(lcd->MainDigit[0]->isHidden());
    QVERIFY(!lcd->element("LblBP2")->isHidden());
    QVERIFY(!lcd->element("LblLx")->isHidden());

    // The meter changes: the display follows within a second.
    p.meter.setUnitFc(true);
    p.meter.setOverload(true);
    QVERIFY(waitFor([&] { return w.state().display.readingText == QLatin1String("OL"); }, 1000));
    QCOMPARE(w.state().display.readingValue, 100000.0f);
    QCOMPARE(lcd->MainDigit[2]->text(), QStringLiteral("O"));
    QCOMPARE(lcd->MainDigit[3]->text(), QStringLiteral("L"));
    QVERIFY(!lcd->element("LblFc")->isHidden());
    QVERIFY(lcd->element("LblLx")->isHidden());

    p.meter.setFlag(QStringLiteral("SetUp"), true);
    QVERIFY(waitFor([&] { return !lcd->LblSetUp->isHidden(); }, 1000));
    QCOMPARE(lcd->LblSetUp->text(), QStringLiteral("SET UP"));
    QCOMPARE(lcd->MainDigit[2]->text(), QStringLiteral("O")); // digits stay under it
}

void TestPanel::pollAssemblesSplitFramesAndDropsGarbage() {
    OnlinePanel p;
    Panel& w = *p.panel;
    p.meter.setSplitFrames(true); // every frame arrives in two reads 30 ms apart
    p.meter.setLux(5.0);
    QVERIFY(waitFor([&] { return w.state().display.readingText == QLatin1String("5.000"); }));
    p.meter.setSplitFrames(false);
    p.meter.setLux(777.0);
    QTimer garbage;
    connect(&garbage, &QTimer::timeout, this, [&] { p.meter.sendGarbage(5); });
    garbage.start(37);
    QVERIFY(waitFor([&] { return w.state().display.readingText == QLatin1String("777.0"); }));
    garbage.stop();
}

void TestPanel::handshakeAndMOnEvery15thFrame() {
    OnlinePanel p(true, false);
    Panel& w = *p.panel;
    int frames = 0;
    connect(&w.displayPoll(), &DisplayPoll::frameDecoded, this, [&] {
        if (++frames == 31)
            w.Timer1->stop();
    });
    QVERIFY(waitFor([&] { return frames >= 31; }, 20000));
    QCOMPARE(frames, 31);
    // Frames 1, 16 and 31 were each preceded by a handshake and "M".
    const QByteArray log = p.meter.receivedBytes();
    QCOMPARE(log.count('M'), 3);
    QVERIFY(log.startsWith('A'));
    QCOMPARE(w.state().pollCounter, 1);
}

void TestPanel::silentMeterGivesUpAfterSixWaits() {
    OnlinePanel p;
    Panel& w = *p.panel;
    w.displayPoll().setWaitCycleSeconds(0.05);
    w.link().setAttemptsPerSeries(10);
    QVERIFY(waitFor([&] { return w.state().display.linkAlive; }));
    QSignalSpy gaveUp(&w.displayPoll(), &DisplayPoll::gaveUp);
    // The poll waits for the meter inside its tick, so the meter comes back on a timer.
    bool wasAliveAtGiveUp = true;
    connect(&w.displayPoll(), &DisplayPoll::gaveUp, this,
            [&] { wasAliveAtGiveUp = w.state().display.linkAlive; });
    QStringList statuses;
    connect(&w.link(), &MeterLink::statusChanged, this, [&](const QString& text) {
        statuses << text;
        if (text == QLatin1String("No COM"))
            QTimer::singleShot(300, [&] { p.meter.setSilent(false); });
    });
    p.meter.setSilent(true);
    QVERIFY(waitFor([&] { return statuses.size() >= 2 && w.state().display.linkAlive; }));
    QCOMPARE(gaveUp.count(), 1);
    QVERIFY(!wasAliveAtGiveUp);
    QCOMPARE(statuses, (QStringList{"No COM", "COM3"}));
    QCOMPARE(w.LblCOM->text(), QStringLiteral("COM3"));
}

void TestPanel::toolbarWaitsCanBeCancelled_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("escape"); // else the Cancel button
    for (const char* key : {"ESC", "CD", "Hold", "Comp", "cal", "scf", "Memory"})
        QTest::newRow(key) << QString::fromLatin1(key) << (std::strlen(key) % 2 == 0);
}

// A meter that is switched off: a toolbar command without a window of its own shows that it
// waits, gives up when the user cancels, and everything works again afterwards.
void TestPanel::toolbarWaitsCanBeCancelled() {
    QFETCH(QString, key);
    QFETCH(bool, escape);
    OnlinePanel p;
    Panel& w = *p.panel;
    w.show();
    QApplication::setActiveWindow(&w); // Escape reaches the window that has the focus
    p.meter.setPowered(false);
    // The command waits beneath this driver, as beneath a user.
    QElapsedTimer sinceCancel;
    QString shown;
    QTimer driver;
    connect(&driver, &QTimer::timeout, this, [&] {
        if (sinceCancel.isValid() || !w.FrmWaiting->isVisible())
            return;
        shown = w.FrmWaiting->LblWaiting->text();
        sinceCancel.start();
        if (escape)
            QTest::keyClick(&w, Qt::Key_Escape);
        else
            w.FrmWaiting->CmdCancelWait->click();
    });
    driver.start(20);
    // Should the strip never come, quitting ends the wait and the row fails, not hangs.
    QTimer rescue;
    rescue.setSingleShot(true);
    connect(&rescue, &QTimer::timeout, this, [] { requestQuit(); });
    rescue.start(10000);
    p.click(key); // returns once the wait is given up
    driver.stop();
    const bool rescued = quitRequested();
    resetQuitRequest();
    QVERIFY(!rescued);
    QVERIFY(sinceCancel.isValid());
    QVERIFY2(sinceCancel.elapsed() < 1000, qPrintable(QString::number(sinceCancel.elapsed())));
    QCOMPARE(shown, QStringLiteral("Waiting for the meter…"));
    QVERIFY(!w.link().claimed());
    QVERIFY(!w.FrmWaiting->isVisible());
    // The meter comes back: the display runs, and a command gets the meter again.
    p.meter.setPowered(true);
    QSignalSpy frames(&w.displayPoll(), &DisplayPoll::frameDecoded);
    QVERIFY(waitFor([&] { return frames.size() >= 2; }, 8000));
    const auto again = w.link().claim();
    QVERIFY(again.has_value());
}

void TestPanel::pollHoldNests() {
    OnlinePanel p;
    Panel& w = *p.panel;
    {
        auto outer = w.poll().hold();
        QVERIFY(!w.Timer1->isActive());
        { auto inner = w.poll().hold(); }
        QVERIFY(!w.Timer1->isActive()); // still held by the outer exchange
    }
    QVERIFY(w.Timer1->isActive());
    {
        auto power = w.poll().hold();
        power.keepStopped();
    }
    QVERIFY(!w.Timer1->isActive());
}

void TestPanel::lcdShowsEachFlagsElement() {
    VirtualLcd lcd;
    for (int i = 0; i < kFlagSlots; ++i) {
        QWidget* element = lcd.elementForFlag(Flag(i));
        if (!element)
            continue;
        DisplayState s;
        s.flags[size_t(i)] = true;
        lcd.showFrame(s);
        for (int j = 0; j < kFlagSlots; ++j) {
            if (QWidget* other = lcd.elementForFlag(Flag(j)); other && other != element)
                QVERIFY2(other->isHidden(), kFlagNames[size_t(j)]);
        }
        QVERIFY2(!element->isHidden(), kFlagNames[size_t(i)]);
    }
    // Every flag but the unit flags, fc-h, lx-h, SET UP and CLEAR has an element of its own.
    int own = 0;
    for (int i = 0; i < kFlagSlots; ++i)
        own += lcd.elementForFlag(Flag(i)) ? 1 : 0;
    QCOMPARE(own, 46 - 6);
}

void TestPanel::lcdUnitLabels_data() {
    QTest::addColumn<QStringList>("flags");
    QTest::addColumn<QString>("before"); // unit labels visible before the frame
    QTest::addColumn<QString>("after");
    QTest::newRow("lx") << QStringList{"Lx"} << ""
                        << "LblLx";
    QTest::newRow("fc") << QStringList{"Fc"} << "LblLx"
                        << "LblFc";
    QTest::newRow("lx-h keeps fc") << QStringList{"Lxh"} << "LblFc"
                                   << "LblFc LblLx LblLxh";
    QTest::newRow("fc-h") << QStringList{"Fch"} << "LblLxh"
                          << "LblFc LblFch";
    QTest::newRow("none") << QStringList{} << "LblFc LblFch"
                          << "";
}

void TestPanel::lcdUnitLabels() {
    QFETCH(QStringList, flags);
    QFETCH(QString, before);
    QFETCH(QString, after);
    VirtualLcd lcd;
    const QStringList units{"LblFc", "LblFch", "LblLx", "LblLxh"};
    for (const QString& u : units)
        lcd.element(u)->setVisible(before.split(' ').contains(u));
    DisplayState s;
    for (const QString& f : flags)
        s.flags[size_t(flagIndex(f))] = true;
    lcd.showFrame(s);
    QStringList shown;
    for (const QString& u : units) {
        if (!lcd.element(u)->isHidden())
            shown << u;
    }
    QCOMPARE(shown.join(' '), after);
}

void TestPanel::lcdOverlayKeepsDigits() {
    VirtualLcd lcd;
    DisplayState s;
    decodeFrame(test::frame("A1AA12340000001000000800"), s);
    lcd.showFrame(s);
    QCOMPARE(lcd.MemoryDigit->text(), QStringLiteral("1"));
    lcd.showOverlay(QStringLiteral("CLEAR"));
    QVERIFY(!lcd.ShapeSetUp->isHidden());
    QCOMPARE(lcd.LblSetUp->text(), QStringLiteral("CLEAR"));
    QCOMPARE(lcd.MainDigit[4]->text(), QStringLiteral("3"));
    QVERIFY(!lcd.MainDigit[4]->isHidden());
    lcd.showFrame(s);
    QVERIFY(lcd.ShapeSetUp->isHidden());
    QVERIFY(lcd.LblSetUp->isHidden());
}

void TestPanel::changingThePortDuringARecording_data() {
    QTest::addColumn<QString>("port"); // "same", "another" (a second meter) or "missing"
    QTest::addColumn<bool>("recordingGoesOn");
    QTest::addColumn<bool>("online");
    QTest::newRow("the same port") << "same" << true << true;
    QTest::newRow("another meter") << "another" << false << true;
    QTest::newRow("a missing port") << "missing" << false << false;
}

void TestPanel::changingThePortDuringARecording() {
    QFETCH(QString, port);
    QFETCH(bool, recordingGoesOn);
    QFETCH(bool, online);
    QTemporaryDir dir;
    OnlinePanel p;
    Panel& w = *p.panel;
    p.dialogs.saveAnswers = {dir.filePath("rec.txt")};
    p.click("Save");
    QVERIFY(w.state().recordingToFile);
    sim::VirtualMeter other;
    QVERIFY(other.start());
    const QString device = port == "same"      ? w.state().port.device
                           : port == "another" ? other.devicePath()
                                               : QStringLiteral("/dev/ttyNOSUCH7");
    QCOMPARE(p.hub->changePort(PortChoice{0, device}), online);
    QCOMPARE(w.state().recordingToFile, recordingGoesOn);
    QCOMPARE(w.state().meterOnline, online);
    if (!recordingGoesOn)
        QVERIFY2(w.LblNote->text().startsWith("Recording stopped: another port was chosen"),
                 qPrintable(w.LblNote->text()));
    if (!online)
        QVERIFY(p.dialogs.shown.last().detail.startsWith("/dev/ttyNOSUCH7: "));
    if (port == "another")
        QVERIFY(waitFor([&] { return other.receivedBytes().contains('M'); }));
}

void TestPanel::windowsOpenWhollyOnTheScreen_data() {
    QTest::addColumn<QPoint>("place"); // as a fraction of the screen, in hundredths
    QTest::addColumn<QSize>("size");   // the same
    QTest::newRow("off the right") << QPoint(90, 10) << QSize(30, 30);
    QTest::newRow("off the bottom") << QPoint(10, 95) << QSize(30, 30);
    QTest::newRow("above and left") << QPoint(-20, -20) << QSize(30, 30);
    QTest::newRow("larger than the screen") << QPoint(0, 0) << QSize(150, 130);
}

void TestPanel::windowsOpenWhollyOnTheScreen() {
    QFETCH(QPoint, place);
    QFETCH(QSize, size);
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    BusyWindow w;
    w.setMinimumSize(50, 40);
    w.resize(area.width() * size.width() / 100, area.height() * size.height() / 100);
    w.move(area.left() + area.width() * place.x() / 100,
           area.top() + area.height() * place.y() / 100);
    w.show();
    QVERIFY2(area.contains(w.frameGeometry()), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                              .arg(w.frameGeometry().x())
                                                              .arg(w.frameGeometry().y())
                                                              .arg(w.frameGeometry().width())
                                                              .arg(w.frameGeometry().height())));
}

QTEST_MAIN(TestPanel)
// The exposure readout follows the reading, in lux whatever the unit shown: 10 240 lx is EV
// 12, f/5.7 at ISO 100 and 1/125 s; an overload gives no figure.
void TestPanel::exposureFollowsTheReading() {
    lumetra::test::PanelFixture f;
    f.meter.setLux(10240);
    f.panel->show();
    f.panel->findChild<QAction*>(QStringLiteral("ActExposure"))->trigger();
    Exposure* w = f.panel->exposure();
    QVERIFY(w && w->isVisible());
    QVERIFY(waitFor([&] { return w->LblEv->text() == QLatin1String("12.0"); }));
    QCOMPARE(w->LblFNumber->text(), QStringLiteral("f/5.7"));
    w->OptCine->setChecked(true); // 24 fps at 180°: 1/48 s
    QCOMPARE(w->LblFNumber->text(), QStringLiteral("f/9.2"));
    w->BtnReference->click(); // two spots: a quarter of the light is two stops less
    f.meter.setLux(2560);
    QVERIFY(
        waitFor([&] { return w->LblStops->text() == QLatin1String("-2.0 stops from 10240 lx"); }));
    f.meter.setLux(10240);
    QVERIFY(waitFor([&] { return w->LblEv->text() == QLatin1String("12.0"); }));
    f.meter.setUnitFc(true);
    QVERIFY(waitFor([&] { return f.panel->state().display.unitText == QLatin1String("Fc"); }));
    QCOMPARE(w->LblEv->text(), QStringLiteral("12.0"));
    f.meter.setOverload(true);
    QVERIFY(waitFor([&] { return w->LblFNumber->text() == QStringLiteral("–"); }));
}

#include "tst_panel.moc"
