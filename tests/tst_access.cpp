// What a screen reader hears: the accessibility tree of every window, and the display's
// reading as a sentence.
#include "commands/graphcommands.h"
#include "commands/memorycommands.h"
#include "link/displaypoll.h"
#include "link/wait.h"
#include "model/recordtable.h"
#include "model/spokenreading.h"
#include "support/meterfixture.h"
#include "widgets/virtuallcd.h"
#include "windows/calibration.h"
#include "windows/comparator.h"
#include "windows/datalist.h"
#include "windows/datalogger.h"
#include "windows/emergencytest.h"
#include "windows/filelist.h"
#include "windows/graphview.h"
#include "windows/keypad.h"
#include "windows/metersetup.h"
#include "windows/outlinedialog.h"
#include "windows/portwindow.h"
#include "windows/realtimelist.h"
#include "windows/samplingchoice.h"
#include "windows/scf.h"
#include "windows/serialdevices.h"
#include "windows/survey.h"

#include <QAccessible>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>

using namespace lumetra;
using lumetra::test::PanelFixture;
using lumetra::test::waitFor;

namespace {

// Names a person should never hear: our control identifiers.
const QRegularExpression kIdentifier(QStringLiteral(
    R"(^(Lbl|Cmd|Txt|Btn|Img|Grid|Frm|Opt|SS|Axis|Combo|CW|Label|HighO|LowO|HODec|LODec|Shape)\w*|Digit\(\d+\)|^\w+_\w+$)"));

// Every problem in the tree under iface, one line each.
void walk(QAccessibleInterface* iface, QStringList& problems, int depth = 0) {
    if (!iface || depth > 40)
        return;
    const QString name = iface->text(QAccessible::Name);
    const QObject* object = iface->object();
    const QString id = object ? object->objectName() : QString();
    const QString where =
        id.isEmpty() ? QString::fromLatin1(object ? object->metaObject()->className() : "?") : id;
    // A window's name is its caption, which may be a word like "Comparator".
    const bool window =
        object && object->isWidgetType() && static_cast<const QWidget*>(object)->isWindow();
    if (kIdentifier.match(name).hasMatch() || (!window && !id.isEmpty() && name == id))
        problems << QStringLiteral("%1: its name is an identifier (\"%2\")").arg(where, name);
    // The text field inside a combo or spin box is part of that named control.
    const QObject* owner = object ? object->parent() : nullptr;
    if (owner && (owner->inherits("QComboBox") || owner->inherits("QAbstractSpinBox"))) {
        for (int i = 0; i < iface->childCount(); ++i)
            walk(iface->child(i), problems, depth + 1);
        return;
    }
    switch (iface->role()) {
    case QAccessible::Button:
    case QAccessible::EditableText:
    case QAccessible::ComboBox:
    case QAccessible::Table:
    case QAccessible::SpinBox:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
        if (name.trimmed().isEmpty() && !iface->state().invisible)
            problems
                << QStringLiteral("%1: a %2 without a name").arg(where).arg(int(iface->role()));
        break;
    default:
        break;
    }
    for (int i = 0; i < iface->childCount(); ++i)
        walk(iface->child(i), problems, depth + 1);
}

QStringList problemsOf(QWidget* window) {
    QStringList problems;
    window->show();
    walk(QAccessible::queryAccessibleInterface(window), problems);
    return problems;
}

} // namespace

class TestAccess : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QAccessible::setActive(true); }
    void spokenReading_data();
    void spokenReading();
    void everyWindowSpeaksInWords();
    void theDisplaySaysWhatTheMeterSends();
    void theWholeJobWithoutAMouse();
};

void TestAccess::spokenReading_data() {
    QTest::addColumn<QString>("reading");
    QTest::addColumn<QStringList>("flags");
    QTest::addColumn<QString>("memory");
    QTest::addColumn<QString>("small");
    QTest::addColumn<QString>("overlay");
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("said");
    QTest::newRow("reading with time") << "12.34" << QStringList{"Lx", "Auto", "TimeDot"} << " 1"
                                       << "2004"
                                       << ""
                                       << ""
                                       << "12.34 lx, AUTO, memory 1, 20:04";
    QTest::newRow("overload") << "OL" << QStringList{"Fc"} << "  "
                              << "    "
                              << ""
                              << ""
                              << "OL fc";
    QTest::newRow("negative, relative, hold")
        << "5.0" << QStringList{"Lx", "Minus", "Rel", "Hold"} << "  "
        << "    "
        << ""
        << ""
        << "-5.0 lx, REL, HOLD";
    QTest::newRow("luminous intensity") << "250" << QStringList{"Lx", "Cd"} << "  "
                                        << "    "
                                        << ""
                                        << ""
                                        << "250 cd";
    QTest::newRow("integrated") << "88" << QStringList{"Fc", "Fch", "Battery"} << ""
                                << ""
                                << ""
                                << ""
                                << "88 fc-h, low battery";
    QTest::newRow("set up") << "12.34" << QStringList{"Lx"} << ""
                            << ""
                            << "SET UP"
                            << ""
                            << "SET UP";
    QTest::newRow("no meter") << "12.34" << QStringList{"Lx"} << ""
                              << ""
                              << ""
                              << "No COM"
                              << "No COM";
}

void TestAccess::spokenReading() {
    QFETCH(QString, reading);
    QFETCH(QStringList, flags);
    QFETCH(QString, memory);
    QFETCH(QString, small);
    QFETCH(QString, overlay);
    QFETCH(QString, link);
    QFETCH(QString, said);
    DisplayState d;
    d.readingText = reading;
    for (const QString& f : flags)
        d.flags[size_t(flagIndex(f))] = true;
    d.unitText = d.flag(Flag::Fc) ? QStringLiteral("Fc") : QStringLiteral("Lx");
    d.memoryDigits = memory;
    d.smallDigits = small;
    QCOMPARE(lumetra::spokenReading(d, overlay, link), said);
}

void TestAccess::everyWindowSpeaksInWords() {
    PanelFixture f;
    Panel& panel = *f.panel;
    MeterLink& link = panel.link();
    PollTimer& poll = panel.poll();
    AppState& state = panel.state();
    ScriptedDialogs& dialogs = f.dialogs;
    f.meter.fillMemory(1, 3);
    f.click("Memory");
    f.hub->memory().expand(0);
    f.click("List");
    f.click("Buttons");
    f.click("Comp");
    f.click("Graph");
    QVERIFY(waitFor([&] { return state.graphPoints.size() >= 1; }));
    f.hub->graphs().handOver();
    f.click("Survey");
    f.click("Emergency");

    QList<QWidget*> windows{&panel,
                            f.hub->memory().memoryWindow(),
                            f.hub->memory().dataList(),
                            f.hub->realTimeList(),
                            f.hub->keypad(),
                            f.hub->comparatorWindowOpen(),
                            f.hub->graphs().liveGraph(),
                            f.hub->graphs().realTimeGraph(),
                            f.hub->surveyWindow(),
                            f.hub->emergencyWindow()};
    Port port;
    FileList files;
    SerialDevicesWindow devices;
    Calibrationfrm calibration(link, poll, dialogs, &panel);
    SCF_frm scf(link, poll, state, dialogs, &panel);
    Setup clock(link, poll, state, f.clock, &panel);
    SamplingChoice sampling(link, poll, state, dialogs, &panel);
    windows << &port << &files << &devices << &calibration << &scf << &clock << &sampling;
    f.hub->surveyWindow()->BtnOutline->click();
    windows << f.hub->surveyWindow()->findChild<OutlineDialog*>();
    QStringList problems;
    for (QWidget* w : std::as_const(windows)) {
        QVERIFY(w);
        problems << problemsOf(w);
    }
    for (QDialog* d : {static_cast<QDialog*>(&calibration), static_cast<QDialog*>(&scf),
                       static_cast<QDialog*>(&clock), static_cast<QDialog*>(&sampling)})
        d->reject();
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));

    // The display is one object for a screen reader: its parts are not offered one by one.
    QAccessibleInterface* lcd = QAccessible::queryAccessibleInterface(panel.lcd());
    QCOMPARE(lcd->text(QAccessible::Name), QStringLiteral("Meter display"));
    QCOMPARE(lcd->childCount(), 0);
}

void TestAccess::theDisplaySaysWhatTheMeterSends() {
    PanelFixture f;
    QAccessibleInterface* lcd = QAccessible::queryAccessibleInterface(f.panel->lcd());
    const auto said = [&] { return lcd->text(QAccessible::Description); };
    // What a screen reader is told (the platform bridge gets the same, when there is one).
    int announcements = 0;
    connect(f.panel->lcd(), &VirtualLcd::readingAnnounced, [&] { ++announcements; });
    f.meter.setSmallDigits(QStringLiteral("1234")); // not the meter's running clock
    QVERIFY(waitFor([&] { return said().startsWith(QLatin1String("12.34 lx")); }));
    pauseSeconds(0.5);
    announcements = 0;
    pauseSeconds(1); // steady frames say nothing new
    QCOMPARE(announcements, 0);
    f.meter.setOverload(true);
    QVERIFY(waitFor([&] { return said().startsWith(QLatin1String("OL lx")); }));
    // The change is announced within a moment, once rather than once per frame.
    QVERIFY(waitFor([&] { return announcements >= 1; }, 1000));
    pauseSeconds(1);
    QCOMPARE(announcements, 1);
    f.meter.setOverload(false);
    f.meter.setFlag(QStringLiteral("SetUp"), true);
    QVERIFY(waitFor([&] { return said() == QLatin1String("SET UP"); }));
    f.meter.setFlag(QStringLiteral("SetUp"), false);
    // Silent: six empty waits, then "No COM" while the link waits for the meter. That wait
    // runs beneath this test, so a timer hears it and lets the meter speak again.
    bool heardNoCom = false;
    bool shownOld = false;
    QTimer listen;
    connect(&listen, &QTimer::timeout, [&] {
        if (said() == QLatin1String("No COM")) {
            heardNoCom = true;
            listen.stop();
            // The last reading stays in sight, faded and dated, never as if live.
            shownOld =
                !f.panel->lcd()->LblNoLink->isHidden() &&
                f.panel->lcd()->LblNoLink->text().startsWith(QLatin1String("no link since ")) &&
                f.panel->lcd()->MainDigit[0]->property("stale").toBool();
            f.meter.setSilent(false);
        }
    });
    listen.start(20);
    f.panel->displayPoll().setWaitCycleSeconds(0.1);
    f.meter.setSilent(true);
    QVERIFY(
        waitFor([&] { return heardNoCom && said().startsWith(QLatin1String("12.34 lx")); }, 15000));
    QVERIFY(shownOld);
    QVERIFY(f.panel->lcd()->LblNoLink->isHidden());
    QVERIFY(!f.panel->lcd()->MainDigit[0]->property("stale").toBool());
}

void TestAccess::theWholeJobWithoutAMouse() {
    QTemporaryDir dir;
    PanelFixture f;
    Panel& panel = *f.panel;
    f.meter.clearMemory();
    f.meter.addSet(QDateTime(QDate(2026, 12, 6), QTime(8, 0)), 1, {1, 2, 3});
    f.meter.addSet(QDateTime(QDate(2026, 12, 6), QTime(9, 0)), 1, {4, 5, 6, 7, 8});
    panel.show();
    panel.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&panel));
    // Through the window, as the window system delivers keys, so that shortcuts apply.
    const auto key = [](QWidget* w, Qt::Key k, Qt::KeyboardModifiers m = {}) {
        w->setFocus();
        QTest::keyClick(w->window()->windowHandle(), k, m);
    };

    // Record: Ctrl+S asks for the file and starts; Ctrl+S again stops.
    const QString recording = dir.filePath("rec.txt");
    f.dialogs.saveAnswers = {recording};
    // (A button's key presses it visibly: the click follows a moment later.)
    key(&panel, Qt::Key_S, Qt::ControlModifier);
    QVERIFY(waitFor([&] { return panel.state().recordingToFile; }));
    key(&panel, Qt::Key_S, Qt::ControlModifier);
    QVERIFY(waitFor([&] { return !panel.state().recordingToFile; }));

    // Open a file: Ctrl+O; Escape closes the list again.
    f.dialogs.openAnswers = {recording};
    key(&panel, Qt::Key_O, Qt::ControlModifier);
    QVERIFY(waitFor([&] { return f.hub->fileList() != nullptr; }));
    QPointer<FileList> files = f.hub->fileList();
    files->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(files));
    key(files, Qt::Key_Escape, {});
    QVERIFY(waitFor([&] { return !files || !files->isVisible(); }));

    // Download the logger: Ctrl+M; Enter on a set expands it; Delete asks before erasing.
    panel.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&panel));
    key(&panel, Qt::Key_M, Qt::ControlModifier);
    QVERIFY(waitFor([&] {
        Memory* m = f.hub->memory().memoryWindow();
        return m && m->sets()->rowCount() == 2;
    }));
    Memory* logger = f.hub->memory().memoryWindow();
    logger->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(logger));
    logger->GridSet->setFocus();
    logger->GridSet->setCurrentIndex(logger->sets()->index(1, 0));
    key(logger->GridSet, Qt::Key_Return, {});
    QVERIFY(f.hub->memory().dataList());
    QCOMPARE(f.hub->memory().dataList()->luxTable()->rowCount(), 5);
    logger->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(logger));
    f.dialogs.messageAnswers = {MessageResult::Cancel};
    f.meter.clearReceived();
    key(logger->GridSet, Qt::Key_Delete, {});
    QCOMPARE(f.dialogs.shown.last().text, MemoryCommands::eraseQuestion());
    QVERIFY(!f.meter.receivedBytes().contains('E')); // Cancel: nothing erased
    // The same as visible buttons and on the sets' context menu.
    const qsizetype asked = f.dialogs.shown.size();
    f.dialogs.messageAnswers = {MessageResult::Cancel};
    logger->CmdErase->click();
    QCOMPARE(f.dialogs.shown.size(), asked + 1);
    QCOMPARE(logger->GridSet->actions().size(), 2);
    logger->GridSet->setCurrentIndex(logger->sets()->index(0, 0));
    logger->GridSet->actions().constFirst()->trigger();
    QVERIFY(waitFor([&] {
        return f.hub->memory().dataList() &&
               f.hub->memory().dataList()->luxTable()->rowCount() != 5;
    }));
    QVERIFY(!f.meter.receivedBytes().contains('E'));
}

QTEST_MAIN(TestAccess)
#include "tst_access.moc"
