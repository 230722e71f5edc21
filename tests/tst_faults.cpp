// Every operation against every way a meter, its cable or the line can misbehave, end to end
// against the virtual meter. In every cell: no crash; the window closes within about a second
// of the user closing it; the program's waits all end within 2 s of quitting; nothing reaches
// the meter that the operation did not mean; no record is lost; and the live display runs
// again once the meter answers.
//
// LUMETRA_STREAM_ENDS_AT_A=1 runs the matrix against a meter that ends its display stream at
// every "A" until the next "M", which the protocol allows.
#include "commands/memorycommands.h"
#include "link/displaypoll.h"
#include "link/meterlink.h"
#include "link/polltimer.h"
#include "link/recorder.h"
#include "link/sampler.h"
#include "link/wait.h"
#include "model/recordtable.h"
#include "support/meterfixture.h"
#include "support/recordlines.h"
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
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>
#include <map>

using namespace lumetra;
using lumetra::test::PanelFixture;
using lumetra::test::waitFor;
using lumetra::test::wellFormedRecords;

namespace {

enum Fault : unsigned {
    SilentFromStart = 1u << 0,
    SilentMidway = 1u << 1,
    PowerOffAndOn = 1u << 2,
    Garbage = 1u << 3,
    SplitFrames = 1u << 4,
    ShortReply = 1u << 5,
    MalformedReply = 1u << 6,
    PointerTooLow = 1u << 7,
    PointerTooHigh = 1u << 8,
    BrokenChain = 1u << 9,
    NoLeadingMarker = 1u << 10,
    Vanishes = 1u << 11,
};

const std::map<Fault, const char*> kFaultNames{
    {SilentFromStart, "silent from the start"},
    {SilentMidway, "silent midway"},
    {PowerOffAndOn, "power off and on"},
    {Garbage, "garbage burst"},
    {SplitFrames, "split frames"},
    {ShortReply, "short reply"},
    {MalformedReply, "malformed reply"},
    {PointerTooLow, "pointer too low"},
    {PointerTooHigh, "pointer too high"},
    {BrokenChain, "broken set chain"},
    {NoLeadingMarker, "no leading marker"},
    {Vanishes, "device vanishes and returns"},
};

// Faults of the meter and the line: every operation that talks to the meter meets them.
constexpr unsigned kLineFaults =
    SilentFromStart | SilentMidway | PowerOffAndOn | Garbage | Vanishes;
// Operations that read a reply of their own meet it cut short or spoiled as well.
constexpr unsigned kReplyFaults = kLineFaults | ShortReply | MalformedReply;
// Readers of the display stream meet frames in pieces.
constexpr unsigned kStreamFaults = kLineFaults | SplitFrames;
// Whoever uses the memory pointer meets it out of bounds.
constexpr unsigned kPointerFaults = PointerTooLow | PointerTooHigh;
// Work that does not talk to the meter must not be disturbed by a poll in trouble.
constexpr unsigned kBesideFaults = SilentFromStart | PowerOffAndOn | Garbage | Vanishes;

struct Cell;

// Long enough that saving or reading it lets events run part way, whatever the machine.
constexpr int kLongList = 150000;

struct Operation {
    const char* name;
    QByteArray letters; // what it may send besides the handshake "A" and the stream's "M"
    const char* window; // the window the user closes, by object name; nullptr: none
    unsigned faults;
    std::function<void(Cell&)> prepare; // before the fault, with a healthy meter
    std::function<void(Cell&)> begin;   // the user's action (it may run a modal window)
    std::function<bool(QWidget*)> ready = [](QWidget*) { return true; };
    std::function<void(Cell&, QWidget*)> act = {}; // posted: the click inside the window
    std::function<void(Cell&)> verify = {};        // records and files, after the meter healed
};

struct Cell {
    PanelFixture& f;
    QTemporaryDir& dir;
    std::map<char, QByteArray> payloads; // the blocks the operation means to send
    QString file;
    int counted = 0; // records the main window counted
};

QWidget* visibleWindow(const char* name) {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QLatin1String(name) && w->isVisible())
            return w;
    }
    return nullptr;
}

int payloadSize(char letter) {
    static const std::map<char, int> sizes{{'I', 2}, {'S', 2}, {'T', 4}, {'W', 2},
                                           {'V', 5}, {'i', 2}, {'c', 3}};
    const auto it = sizes.find(letter);
    return it == sizes.end() ? 0 : it->second;
}

void download(Cell& c) {
    c.f.meter.fillMemory(3, 20);
    c.f.click(QStringLiteral("Memory"));
}

template <typename W> W* as(QWidget* w) {
    return static_cast<W*>(w);
}

const QList<Operation>& operations() {
    static const QList<Operation> ops{
        {"start-up handshake", "", nullptr, kReplyFaults | SplitFrames | kPointerFaults, {}, {}},
        {"live poll", "", nullptr, kStreamFaults, {}, {}},
        {"keypad key",
         "C",
         "Btn",
         kLineFaults,
         {},
         [](Cell& c) { c.f.click(QStringLiteral("Buttons")); },
         [](QWidget*) { return true; },
         [](Cell&, QWidget* w) { as<Btn>(w)->key(QStringLiteral("CmdH"))->click(); }},
        {"sampling rate, PC", "", "SamplingChoice", kBesideFaults,
         [](Cell& c) { c.f.dialogs.inputAnswers = {QStringLiteral("3")}; },
         [](Cell& c) { c.f.click(QStringLiteral("PC")); }, [](QWidget*) { return true; },
         [](Cell&, QWidget* w) {
             as<SamplingChoice>(w)->OptPC->click();
             as<SamplingChoice>(w)->CmdOK->click();
         }},
        {"sampling rate, meter", "YHW", "SamplingChoice", kReplyFaults,
         [](Cell& c) {
             c.f.dialogs.inputAnswers = {QStringLiteral("00:05")};
             c.payloads['W'] = QByteArray::fromHex("0005");
         },
         [](Cell& c) { c.f.click(QStringLiteral("PC")); }, [](QWidget*) { return true; },
         [](Cell&, QWidget* w) {
             as<SamplingChoice>(w)->OptMeter->click();
             as<SamplingChoice>(w)->CmdOK->click();
         }},
        {"distance entry", "HZI", nullptr, kReplyFaults,
         [](Cell& c) {
             c.f.dialogs.inputAnswers = {QStringLiteral("2.50")};
             c.payloads['I'] = QByteArray::fromHex("00FA");
         },
         [](Cell& c) { c.f.click(QStringLiteral("CD")); }},
        {"hold entry", "HS", nullptr, kLineFaults,
         [](Cell& c) {
             c.f.dialogs.inputAnswers = {QStringLiteral("01:30")};
             c.payloads['S'] = QByteArray::fromHex("0130");
         },
         [](Cell& c) { c.f.click(QStringLiteral("Hold")); }},
        {"memory download",
         "HQ",
         "Memory",
         kReplyFaults | kPointerFaults | BrokenChain | NoLeadingMarker,
         [](Cell& c) { c.f.meter.fillMemory(3, 20); },
         download,
         [](QWidget*) { return true; },
         {},
         [](Cell& c) {
             // Whatever was listed is a whole set of the meter's, never a part of one.
             Memory* w = c.f.hub->memory().memoryWindow();
             for (int r = 0; w && r < w->sets()->rowCount(); ++r)
                 QCOMPARE(w->sets()->cell(r, 3), QStringLiteral("20"));
         }},
        {"set expansion",
         "",
         "DataList",
         kBesideFaults,
         download,
         [](Cell& c) { c.f.hub->memory().expand(0); },
         [](QWidget*) { return true; },
         {},
         [](Cell& c) {
             if (auto* list = c.f.hub->memory().dataList())
                 QCOMPARE(list->table()->rowCount(), 20);
         }},
        {"memory erase", "E", "Memory", kLineFaults | kPointerFaults,
         [](Cell& c) {
             download(c);
             c.f.dialogs.messageAnswers = {MessageResult::Ok};
         },
         [](Cell& c) { c.f.hub->memory().erase(); }},
        {"meter clock",
         "YHT",
         "Setup",
         kReplyFaults,
         {},
         [](Cell& c) { c.f.click(QStringLiteral("TimeSet")); },
         [](QWidget*) { return true; },
         [](Cell&, QWidget* w) { as<Setup>(w)->CmdSetTime->click(); }},
        {"comparator read",
         "HZ",
         "Comparator",
         kReplyFaults,
         {},
         [](Cell& c) { c.f.click(QStringLiteral("Comp")); }},
        {"comparator write",
         "HZVX",
         "Comparator",
         kLineFaults,
         {},
         [](Cell& c) { c.f.click(QStringLiteral("Comp")); },
         [](QWidget*) { return true; },
         [](Cell& c, QWidget* w) {
             auto* comp = as<Comparator>(w);
             QString high, low;
             for (int i = 1; i <= 4; ++i) {
                 high += comp->HighO[size_t(i)]->currentText();
                 low += comp->LowO[size_t(i)]->currentText();
             }
             c.payloads['V'] =
                 comparator::block(comp->TxtUnit->currentText(), comp->position(), high, low);
             comp->CmdUpdate->click();
         }},
        {"calibration read",
         "h",
         "Calibrationfrm",
         kReplyFaults,
         {},
         [](Cell& c) { c.f.click(QStringLiteral("cal")); }},
        {"calibration set", "hi", "Calibrationfrm", kLineFaults,
         [](Cell& c) { c.payloads['i'] = QByteArray::fromHex("04B0"); },
         [](Cell& c) { c.f.click(QStringLiteral("cal")); },
         [](QWidget* w) { return as<Calibrationfrm>(w)->BtnSet->isEnabled(); },
         [](Cell&, QWidget* w) {
             as<Calibrationfrm>(w)->TxtCalValue->setText(QStringLiteral("1.2"));
             as<Calibrationfrm>(w)->BtnSet->click();
         }},
        {"calibration initial",
         "hj",
         "Calibrationfrm",
         kLineFaults,
         {},
         [](Cell& c) { c.f.click(QStringLiteral("cal")); },
         [](QWidget* w) { return as<Calibrationfrm>(w)->BtnSet->isEnabled(); },
         [](Cell&, QWidget* w) { as<Calibrationfrm>(w)->BtnInitial->click(); }},
        {"SCF read",
         "a",
         "SCF_frm",
         kReplyFaults | SplitFrames,
         {},
         [](Cell& c) { c.f.click(QStringLiteral("scf")); }},
        {"SCF set", "ac", "SCF_frm", kLineFaults,
         [](Cell& c) { c.payloads['c'] = QByteArray::fromHex("0004B0"); },
         [](Cell& c) { c.f.click(QStringLiteral("scf")); },
         [](QWidget* w) { return as<SCF_frm>(w)->ready(); },
         [](Cell&, QWidget* w) {
             as<SCF_frm>(w)->SCFRange_Edit->setText(QStringLiteral("1.2"));
             as<SCF_frm>(w)->SetSCF_btn->click();
         }},
        {"SCF initial",
         "ae",
         "SCF_frm",
         kLineFaults,
         {},
         [](Cell& c) { c.f.click(QStringLiteral("scf")); },
         [](QWidget* w) { return as<SCF_frm>(w)->ready(); },
         [](Cell&, QWidget* w) { as<SCF_frm>(w)->SCF_init_btn->click(); }},
        {"PC recording with the live list",
         "",
         "RealTimeList",
         kStreamFaults,
         [](Cell& c) {
             c.f.panel->state().sampleInterval = 1;
             c.file = c.dir.filePath(QStringLiteral("recording.txt"));
             c.f.dialogs.saveAnswers = {c.file};
             QObject::connect(&c.f.hub->recorder(), &Recorder::statusChanged, &c.f.meter,
                              [&c](bool recording, const QString&, int records) {
                                  if (recording)
                                      c.counted = std::max(c.counted, records);
                              });
         },
         [](Cell& c) {
             c.f.click(QStringLiteral("Save"));
             c.f.click(QStringLiteral("List"));
         },
         [](QWidget*) { return true; },
         {},
         [](Cell& c) {
             if (c.f.panel->state().recordingToFile)
                 c.f.click(QStringLiteral("Save")); // stop
             QFile file(c.file);
             QVERIFY(file.open(QIODevice::ReadOnly));
             int records = -1;
             QVERIFY2(wellFormedRecords(file.readAll(), &records), qPrintable(c.file));
             // Every record the window counted is in the file, once.
             QCOMPARE(records, c.counted);
         }},
        {"list save",
         "",
         "RealTimeList",
         kBesideFaults,
         [](Cell& c) {
             c.f.panel->Timer2->stop(); // no live sample among the rows laid out here
             c.f.click(QStringLiteral("List"));
             QVector<QStringList> rows;
             for (int i = 1; i <= kLongList; ++i)
                 rows.append(
                     {QString::number(i), QStringLiteral("06-14:05:31"), QStringLiteral("12.34")});
             c.f.hub->realTimeList()->table()->appendRows(rows);
             c.file = c.dir.filePath(QStringLiteral("list.txt"));
             c.f.dialogs.saveAnswers = {c.file};
         },
         [](Cell& c) { c.f.hub->realTimeList()->toolbarButton(QStringLiteral("Save"))->click(); },
         [](QWidget*) { return true; },
         {},
         [](Cell& c) {
             // Saved whole, or (quit while saving) not at all: never a part.
             QFile file(c.file);
             if (!file.exists())
                 return;
             QVERIFY(file.open(QIODevice::ReadOnly));
             int rows = 0;
             QVERIFY(wellFormedRecords(file.readAll(), &rows));
             QVERIFY(rows >= kLongList);
         }},
        {"file open",
         "",
         "FileList",
         kBesideFaults,
         [](Cell& c) {
             c.file = c.dir.filePath(QStringLiteral("records.txt"));
             QFile file(c.file);
             QVERIFY(file.open(QIODevice::WriteOnly));
             file.write("Lx\tTime\tValue\r\n");
             for (int i = 1; i <= kLongList; ++i)
                 file.write(QByteArray::number(i) + "\t06-14:05:31\t12.34\r\n");
             c.f.dialogs.openAnswers = {c.file};
         },
         [](Cell& c) { c.f.click(QStringLiteral("Open")); },
         [](QWidget*) { return true; },
         {},
         [](Cell& c) {
             // All of it, or (closed while reading) the list is gone.
             if (auto* list = c.f.hub->fileList(); list && list->isVisible())
                 QCOMPARE(list->table()->rowCount(), kLongList);
         }},
        {"list print", "", "RealTimeList", kBesideFaults,
         [](Cell& c) {
             c.f.click(QStringLiteral("List"));
             QVector<QStringList> rows(3000, {QStringLiteral("1"), QStringLiteral("06-14:05:31"),
                                              QStringLiteral("12.34")});
             c.f.hub->realTimeList()->table()->appendRows(rows);
             c.file = c.dir.filePath(QStringLiteral("list.pdf"));
             c.f.dialogs.printerAnswers = {true};
             c.f.dialogs.printerOutputFile = c.file;
         },
         [](Cell& c) { c.f.hub->realTimeList()->toolbarButton(QStringLiteral("Print"))->click(); }},
    };
    return ops;
}

bool streamEndsAtA() {
    return qEnvironmentVariableIntValue("LUMETRA_STREAM_ENDS_AT_A") != 0;
}

// A meter that keeps streaming while it answers meets only the rows that read or write its
// settings: the rest of the matrix does not depend on it.
bool streamThrough() {
    return qEnvironmentVariableIntValue("LUMETRA_STREAM_THROUGH") != 0;
}

bool readsOrWritesSettings(const QByteArray& letters) {
    return !letters.isEmpty() && !letters.contains('Q') && !letters.contains('E') &&
           !letters.contains('C');
}

} // namespace

class TestFaults : public QObject {
    Q_OBJECT
private slots:
    void init() { resetQuitRequest(); }
    void cleanup() { resetQuitRequest(); }
    void matrix_data();
    void matrix();
};

void TestFaults::matrix_data() {
    QTest::addColumn<int>("operation");
    QTest::addColumn<unsigned>("fault");
    const QList<Operation>& ops = operations();
    for (int i = 0; i < ops.size(); ++i) {
        if (streamThrough() && !readsOrWritesSettings(ops[i].letters))
            continue;
        for (const auto& [fault, name] : kFaultNames) {
            if (ops[i].faults & fault)
                QTest::addRow("%s, %s", ops[i].name, name) << i << unsigned(fault);
        }
    }
}

void TestFaults::matrix() {
    QFETCH(int, operation);
    QFETCH(unsigned, fault);
    const Operation& op = operations()[operation];
    const bool startUp = operation == 0;
    QTemporaryDir dir;
    bool triggered = false;
    QElapsedTimer triggeredAt;
    std::function<void()> fire; // the midway faults, armed below

    PanelFixture f(
        [&](sim::VirtualMeter& meter) {
            meter.setStreamEndsAtHandshake(streamEndsAtA());
            meter.setStreamThrough(streamThrough());
            // The start-up handshake meets its fault before the window opens the port.
            if (startUp && fault == SilentFromStart)
                meter.setSilent(true);
        },
        !startUp);
    Cell cell{f, dir, {}, {}};
    sim::VirtualMeter& meter = f.meter;
    // Silence is noticed after six waits of a cycle; shorter cycles keep the matrix quick.
    f.panel->displayPoll().setWaitCycleSeconds(0.4);
    QElapsedTimer cellTime;
    cellTime.start();
    const auto timeCell = qScopeGuard([&] { qInfo("cell took %lld ms", cellTime.elapsed()); });

    const auto applyAtOnce = [&] {
        switch (fault) {
        case SilentFromStart:
            meter.setSilent(true);
            break;
        case SplitFrames:
            meter.setSplitFrames(true);
            break;
        case PointerTooLow:
            meter.setPointerOverride(1519);
            break;
        case PointerTooHigh:
            meter.setPointerOverride(131072);
            break;
        case BrokenChain:
            meter.breakDumpChains(1000);
            break;
        case NoLeadingMarker:
            meter.dropNextDumpMarker();
            break;
        default:
            break;
        }
    };
    const bool midway =
        fault & (SilentMidway | PowerOffAndOn | Garbage | ShortReply | MalformedReply | Vanishes);
    fire = [&] {
        if (triggered || !midway)
            return;
        triggered = true;
        triggeredAt.start();
        switch (fault) {
        case SilentMidway:
            meter.setSilent(true);
            break;
        case PowerOffAndOn:
            meter.setPowerOnDelayMs(800);
            meter.setPowered(false);
            break;
        case Garbage:
            meter.sendGarbage(300);
            break;
        case ShortReply:
            meter.shortNextReply();
            break;
        case MalformedReply:
            meter.malformNextReply();
            break;
        case Vanishes:
            QTimer::singleShot(0, &meter, [&] {
                f.unplug();
                QTimer::singleShot(500, &meter, [&] { f.replug(); });
            });
            break;
        default:
            break;
        }
    };
    // Midway: at the operation's first own letter; work without letters meets it a moment
    // after it began.
    const QByteArray trigger = startUp ? QByteArray("A") : op.letters;
    connect(&meter, &sim::VirtualMeter::letterReceived, this, [&](char letter) {
        if (!trigger.isEmpty() && trigger.contains(letter))
            fire();
    });

    if (!startUp) {
        QVERIFY(f.panel->state().display.linkAlive);
        if (op.prepare)
            op.prepare(cell);
        QVERIFY(!QTest::currentTestFailed());
    }
    meter.clearReceived();
    applyAtOnce();

    enum class Phase { Acting, Exposed, Closing, Quitting, Done };
    Phase phase = Phase::Acting;
    bool begun = false, beginReturned = false;
    QPointer<QWidget> window;
    QElapsedTimer inPhase, exposedAt;
    inPhase.start();
    qint64 closeTook = -1, quitTook = -1;

    const auto enter = [&](Phase p) {
        phase = p;
        inPhase.restart();
    };
    const auto finished = [&] { return beginReturned && (!window || !window->isVisible()); };

    QTimer driver;
    connect(&driver, &QTimer::timeout, this, [&] {
        switch (phase) {
        case Phase::Acting:
            if (!begun) {
                begun = true;
                QTimer::singleShot(0, this, [&] {
                    if (op.begin)
                        op.begin(cell);
                    beginReturned = true;
                });
                if (trigger.isEmpty())
                    QTimer::singleShot(300, this, [&] { fire(); });
                if (!op.window) {
                    exposedAt.start();
                    enter(Phase::Exposed);
                }
                return;
            }
            if (QWidget* w = visibleWindow(op.window); w && op.ready(w)) {
                window = w;
                if (op.act)
                    QTimer::singleShot(0, w, [&cell, &op, w] { op.act(cell, w); });
                exposedAt.start();
                enter(Phase::Exposed);
            } else if (inPhase.elapsed() > 2500 || (beginReturned && !visibleWindow(op.window))) {
                window = visibleWindow(op.window);
                exposedAt.start();
                enter(Phase::Exposed); // it never got ready: the user gives up on it
            }
            return;
        case Phase::Exposed: {
            // The fault has had its moment; the user then closes the window.
            if (midway && !triggered && exposedAt.elapsed() < 1000)
                return; // the operation has not reached its exchange yet
            const qint64 since = triggered ? triggeredAt.elapsed() : exposedAt.elapsed();
            if (since < 500 && !(finished() && since > 100))
                return;
            if (op.window && !window)
                window = visibleWindow(op.window);
            if (window && window->isVisible())
                window->close();
            enter(Phase::Closing);
            return;
        }
        case Phase::Closing:
            if (window && window->isVisible() && inPhase.elapsed() < 5000)
                return;
            closeTook = inPhase.elapsed();
            // Quitting now: every wait on the stack must end.
            requestQuit();
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (w != f.panel.get() && w->isVisible())
                    w->close();
            }
            enter(Phase::Quitting);
            return;
        case Phase::Quitting:
            if ((!beginReturned || f.panel->displayPoll().running() || f.panel->link().claimed()) &&
                inPhase.elapsed() < 6000)
                return;
            quitTook = inPhase.elapsed();
            enter(Phase::Done);
            return;
        case Phase::Done:
            return;
        }
    });
    driver.start(20);
    // Should a wait never end, this ends it the only other way there is (and any modal
    // window with it), so that the cell fails instead of hanging.
    QTimer rescue;
    rescue.setSingleShot(true);
    connect(&rescue, &QTimer::timeout, this, [] {
        requestQuit();
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible())
                d->QDialog::done(QDialog::Rejected);
        }
    });
    rescue.start(25000);
    QVERIFY(waitFor([&] { return phase == Phase::Done; }, 30000));
    rescue.stop();
    triggered = true; // a fault that never met its moment stays away now
    driver.stop();
    QVERIFY2(closeTook < 1500, qPrintable(QStringLiteral("closing took %1 ms").arg(closeTook)));
    QVERIFY2(quitTook < 2000, qPrintable(QStringLiteral("quitting took %1 ms").arg(quitTook)));

    // The meter answers again; so does the live display.
    resetQuitRequest();
    meter.setSilent(false);
    meter.setSplitFrames(false);
    meter.setPointerOverride(std::nullopt);
    meter.breakDumpChains(0);
    meter.setPowered(true);
    QVERIFY(f.replug());
    f.panel->poll().start();
    QSignalSpy frames(&f.panel->displayPoll(), &DisplayPoll::frameDecoded);
    QVERIFY2(waitFor([&] { return frames.size() >= 2; }, 8000), "the live display stays dark");
    QVERIFY(!f.panel->link().claimed());

    // Only the operation's letters, each block as it was meant.
    const QByteArray sent = meter.receivedBytes();
    for (qsizetype i = 0; i < sent.size(); ++i) {
        const char letter = sent[i];
        QVERIFY2(letter == 'A' || letter == 'M' || op.letters.contains(letter),
                 qPrintable(QStringLiteral("sent %1 (0x%2) at %3")
                                .arg(QLatin1Char(letter))
                                .arg(quint8(letter), 2, 16, QLatin1Char('0'))
                                .arg(i)));
        if (const int n = payloadSize(letter); n > 0) {
            const QByteArray block = sent.mid(i + 1, n);
            if (cell.payloads.count(letter) && block.size() == n)
                QCOMPARE(block.toHex(), cell.payloads[letter].toHex());
            i += n;
        }
    }
    if (op.verify)
        op.verify(cell);
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
