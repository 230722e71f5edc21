// The meter link against the virtual meter over a pseudo-terminal.
#include "link/commands.h"
#include "link/emergencyrun.h"
#include "link/meterexchanges.h"
#include "link/meterlink.h"
#include "link/metersession.h"
#include "link/pointtaker.h"
#include "link/polltimer.h"
#include "link/wait.h"
#include "model/appstate.h"
#include "platform/clock.h"
#include "support/linkfixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <map>

using namespace lumetra;
using lumetra::test::MeterFixture;
using lumetra::test::waitFor;

class TestLink : public QObject {
    Q_OBJECT
private slots:
    void emergencyRunKeepsTheSamplesThatCount();
    void handshakeReadsMemoryPointer();
    void wrongMarkerRestartsTheSeriesWithoutGivingUp();
    void silentMeterShowsNoComThenRecovers();
    void commandFollowsTheTable();
    void lettersGoOutWithTheirWaits_data();
    void lettersGoOutWithTheirWaits();
    void longOutageUsesConstantStack();
    void vanishedPortIsReopened();
    void deviceGoneEndsAWaitForInput();
    void sessionRunsWithoutAWindow();
    void repliesAreFoundAmongDisplayFrames_data();
    void repliesAreFoundAmongDisplayFrames();
    void streamWithoutAnswersIsASilentMeter();
    void surveyPointIsTheMeanOfASecond_data();
    void surveyPointIsTheMeanOfASecond();
};

void TestLink::handshakeReadsMemoryPointer() {
    MeterFixture f;
    QVERIFY(f.link->handshake());
    QCOMPARE(f.link->memoryPointer(), quint32(1535));
    f.meter->fillMemory(2, 5);
    QVERIFY(f.link->handshake());
    QCOMPARE(f.link->memoryPointer(), quint32(1535 + 2 * 25));
    QVERIFY(f.received().startsWith('A'));
}

// A wrong acknowledge starts a new series, so the link never declares the meter silent;
// a silent meter is declared after one series.
void TestLink::wrongMarkerRestartsTheSeriesWithoutGivingUp() {
    MeterFixture f;
    f.link->setAttemptsPerSeries(5);
    QSignalSpy status(f.link.get(), &MeterLink::statusChanged);
    f.meter->setAckMarker(0xAB);
    QTimer::singleShot(600, [&] { f.meter->setAckMarker(0xAA); });
    QVERIFY(f.link->handshake());
    QVERIFY(f.received().count('A') > 5);
    QCOMPARE(status.count(), 0);
}

void TestLink::silentMeterShowsNoComThenRecovers() {
    MeterFixture f;
    f.link->setAttemptsPerSeries(10);
    QStringList statuses;
    connect(f.link.get(), &MeterLink::statusChanged, this,
            [&](const QString& s) { statuses << s; });
    f.meter->setSilent(true);
    QTimer::singleShot(800, [&] {
        QCOMPARE(statuses, QStringList{QStringLiteral("No COM")});
        f.meter->clearReceived();
        f.meter->setSilent(false);
    });
    // The interrupted command goes out once the meter is back.
    QVERIFY(f.link->sendCommand('X'));
    QCOMPARE(statuses.last(), f.link->flowingStatus());
    QVERIFY(waitFor([&] { return f.received().endsWith('X'); }));
    const QByteArray after = f.received();
    QVERIFY2(after.contains('M'), after.constData()); // "M" until bytes flowed
    QCOMPARE(after.right(1), QByteArray("X"));
    QVERIFY(after.lastIndexOf('A') < after.lastIndexOf('X'));
}

void TestLink::commandFollowsTheTable() {
    MeterFixture f;
    QVERIFY(f.link->sendCommand('I', QByteArray::fromHex("03A6")));
    QVERIFY(waitFor([&] { return f.meter->distance == 934; }));
    QVERIFY(f.link->sendCommand('S', QByteArray::fromHex("0105")));
    QVERIFY(waitFor([&] { return f.meter->holdSeconds == 5; }));
    QCOMPARE(f.meter->holdMinutes, 1);
    // "Z" replies after its wait; the reply is read by the caller.
    QVERIFY(f.link->sendCommand('Z'));
    QByteArray reply;
    QVERIFY(waitFor([&] {
        reply += f.link->readAll();
        return reply.size() >= 9;
    }));
    QCOMPARE(reply.left(9).toHex(), QByteArray("0203a64804b0012c03"));
}

// Many series in a row without an answer: the link keeps waiting in a loop, not by
// recursion, and still ends at once when the program quits.
void TestLink::longOutageUsesConstantStack() {
    MeterFixture f;
    f.link->setAttemptsPerSeries(1);
    f.meter->setSilent(true);
    QTimer::singleShot(1500, [] { requestQuit(); });
    QElapsedTimer t;
    t.start();
    QVERIFY(!f.link->handshake()); // false: given up because the program quits
    QVERIFY(t.elapsed() < 4000);
    QVERIFY(f.received().count('A') > 30); // dozens of series, each one attempt
    resetQuitRequest();
}

// The device goes away (adapter pulled) and comes back under the same name.
void TestLink::vanishedPortIsReopened() {
    QTemporaryDir dir;
    const QString alias = dir.filePath(QStringLiteral("meter"));
    auto first = std::make_unique<sim::VirtualMeter>();
    first->setPaced(false);
    QVERIFY(first->start());
    QVERIFY(QFile::link(first->devicePath(), alias));

    MeterLink link;
    link.setAttemptsPerSeries(20);
    QVERIFY(link.open(PortChoice{0, alias}));
    QVERIFY(link.handshake());
    QSignalSpy lost(&link, &MeterLink::portLost);
    QStringList statuses;
    connect(&link, &MeterLink::statusChanged, this, [&](const QString& s) { statuses << s; });

    first.reset(); // the device vanishes
    QFile::remove(alias);
    // Writing to, or reading from, the dead device makes the port report the loss.
    link.writeLetter('A');
    QVERIFY(waitFor([&] { return lost.count() > 0 || !link.isOpen(); }, 3000));

    sim::VirtualMeter second;
    second.setPaced(false);
    QVERIFY(second.start());
    QTimer::singleShot(300, [&] { QFile::link(second.devicePath(), alias); });
    QVERIFY(link.handshake());
    QVERIFY(link.isOpen());
    QVERIFY(statuses.contains(QStringLiteral("No COM")));
    QCOMPARE(statuses.last(), link.flowingStatus());
}

// A device that goes away under a read that is waiting for bytes ends that wait and is lost
// at once, rather than when the wait's time is up.
void TestLink::deviceGoneEndsAWaitForInput() {
    auto meter = std::make_unique<sim::VirtualMeter>();
    QVERIFY(meter->start()); // no "M": the line stays quiet
    MeterLink link;
    QVERIFY(link.open(PortChoice{0, meter->devicePath()}));
    QSignalSpy lost(&link, &MeterLink::portLost);
    QTimer::singleShot(100, this, [&] { meter.reset(); });
    QVERIFY(link.waitForInput(10.0));
    QVERIFY(!link.isOpen()); // woken by the loss, not by the end of the time
    QCOMPARE(lost.count(), 1);
}

void TestLink::lettersGoOutWithTheirWaits_data() {
    QTest::addColumn<char>("letter");
    for (const MeterCommand& c : kMeterCommands) {
        if (c.payloadSize > 0 || c.waitBefore > 0)
            QTest::addRow("%c", c.letter) << c.letter;
    }
}

// Each letter reaches the meter after its handshake and its wait before, its payload follows
// whole after its wait, and nothing else goes out until the wait after the payload is over.
void TestLink::lettersGoOutWithTheirWaits() {
    QFETCH(char, letter);
    const MeterCommand& c = *findMeterCommand(letter);
    MeterFixture f;
    f.meter->clearReceived();
    const QByteArray payload(c.payloadSize, '\x01');
    QElapsedTimer took;
    took.start();
    QVERIFY(c.payloadSize > 0 ? f.link->sendCommand(letter, payload) : f.link->sendLetter(letter));
    // Every wait of the letter was spent (a slow machine only adds to it).
    const double waits = c.waitBefore + c.waitAfter + (c.payloadSize > 0 ? c.waitPayload : 0);
    QVERIFY2(took.elapsed() >= qint64(waits * 1000) - 1,
             qPrintable(QString::number(took.elapsed())));
    // The letter, then its payload whole, and nothing else.
    QVERIFY(waitFor([&] { return f.received().endsWith(letter + payload); }));
    const QByteArray sent = f.received();
    QCOMPARE(sent.count(letter), c.letter == 'A' ? sent.size() : qsizetype(1));
    QVERIFY(sent.left(sent.size() - 1 - c.payloadSize).count('A') ==
            sent.size() - 1 - c.payloadSize);
}

// The whole session (port, poll, sampling tick) in a program with no window at all.
void TestLink::sessionRunsWithoutAWindow() {
    sim::VirtualMeter meter;
    meter.setPaced(false);
    QVERIFY(meter.start());
    AppState state;
    MeterSession session(state);
    QVERIFY(!session.start(PortChoice{0, QStringLiteral("/dev/ttyNOSUCH")}));
    QVERIFY(!session.errorText().isEmpty());
    QVERIFY(!state.meterOnline);
    QVERIFY(!session.pollTimer()->isActive());
    QVERIFY(session.start(PortChoice{0, meter.devicePath()}));
    QVERIFY(session.sampleTimer()->isActive());
    QVERIFY(waitFor([&] { return state.display.linkAlive && state.readingsDecoded >= 2; }));
    session.shutdown();
    QVERIFY(!session.link().isOpen());
    QVERIFY(quitRequested());
    resetQuitRequest();
}

void TestLink::repliesAreFoundAmongDisplayFrames_data() {
    QTest::addColumn<char>("letter");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("lookalike"); // a display frame that starts like a reply
    // The bytes of the first answer: R the reply, r and s its two halves, F a display frame,
    // T the tail of one, L the lookalike (the reply in its place when asked again); | a pause.
    QTest::addColumn<QString>("layout");
    const struct {
        char letter;
        const char* reply;
        const char* lookalike;
    } readers[] = {
        {'h', "02051403", "03E803A00000001000000000"},
        {'a', "02070514", "0503E8A00000001000000000"},
        {'Y', "0209123456000503", "AA0112345600030000100000"},
    };
    for (const auto& r : readers) {
        for (const char* layout : {"R", "RFF", "FRF", "FFR", "TRF", "Fr|sF", "LF"}) {
            QTest::addRow("%c %s", r.letter, layout)
                << r.letter << QByteArray::fromHex(r.reply) << test::frame(r.lookalike)
                << QString::fromLatin1(layout);
        }
    }
}

// A meter that keeps streaming while it answers: the reply is found before, between or after
// display frames, after the tail of a frame that was under way, and when it comes in pieces.
// A frame that merely starts like a reply is never taken.
void TestLink::repliesAreFoundAmongDisplayFrames() {
    QFETCH(char, letter);
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, lookalike);
    QFETCH(QString, layout);
    MeterFixture f;
    f.meter->setIgnoredLetters(QByteArray(1, letter)); // the test answers instead
    const QByteArray frame = test::frame("AA0123A00000100000000000");
    const std::map<QChar, QByteArray> pieces{
        {u'R', reply},        {u'r', reply.left(2)}, {u's', reply.mid(2)}, {u'F', frame},
        {u'T', frame.mid(5)}, {u'L', lookalike},     {u'|', QByteArray()}};
    bool first = true;
    connect(f.meter.get(), &sim::VirtualMeter::letterReceived, this, [&](char got) {
        if (got != letter)
            return;
        int pause = 0;
        // A copy of its own: replace() returns a reference into the temporary it changed.
        const QString answer = first ? layout : QString(layout).replace(u'L', u'R');
        for (const QChar c : answer) {
            pause += c == u'|' ? 30 : 0;
            QTimer::singleShot(pause, f.meter.get(),
                               [&f, bytes = pieces.at(c)] { f.meter->sendRaw(bytes); });
        }
        first = false;
    });
    WaitScope scope;
    QTimer giveUp;
    giveUp.callOnTimeout([&scope] { scope.abandon(); });
    giveUp.start(5000);
    switch (letter) {
    case 'h':
        QCOMPARE(exchange::readCalibrationFactor(*f.link), std::optional(QStringLiteral("1.300")));
        break;
    case 'a': {
        const auto read = exchange::readScf(*f.link);
        QVERIFY(read);
        QCOMPARE(read->entry, 7);
        QCOMPARE(read->factor, QStringLiteral("1.300"));
        break;
    }
    default:
        QCOMPARE(exchange::readClockAndInterval(*f.link), reply);
    }
}

// Display frames are no answer to "A": a meter that streams on but never acknowledges is
// waited for ("No COM") like a silent one, instead of being asked forever.
void TestLink::streamWithoutAnswersIsASilentMeter() {
    MeterFixture f;
    f.link->setAttemptsPerSeries(5);
    f.meter->setStreamThrough(true);
    f.meter->setFramePeriodMs(10);
    f.link->writeLetter('M');
    QVERIFY(waitFor([&] { return f.meter->streaming(); }));
    f.meter->setIgnoredLetters("A");
    QSignalSpy status(f.link.get(), &MeterLink::statusChanged);
    WaitScope scope;
    QTimer giveUp;
    giveUp.callOnTimeout([&] {
        if (!status.isEmpty())
            scope.abandon();
    });
    giveUp.start(100);
    QVERIFY(!f.link->handshake());
    QCOMPARE(status.first().first().toString(), MeterLink::waitingStatus());
}

void TestLink::surveyPointIsTheMeanOfASecond_data() {
    QTest::addColumn<QString>("meter"); // what the meter shows
    QTest::addColumn<double>("lux");    // the point taken; NaN: refused
    QTest::newRow("lux") << "lx" << 512.3;
    QTest::newRow("foot-candles, stored in lux") << "fc" << 512.3;
    QTest::newRow("an overload") << "over" << qQNaN();
    QTest::newRow("a measuring mode") << "rel" << qQNaN();
    QTest::newRow("a silent meter") << "silent" << qQNaN();
    QTest::newRow("another exchange holds the link") << "busy" << qQNaN();
}

// A survey point: the mean of the readings of the next second, from the display poll alone.
void TestLink::surveyPointIsTheMeanOfASecond() {
    QFETCH(QString, meter);
    QFETCH(double, lux);
    sim::VirtualMeter m;
    m.setPaced(false);
    m.setDrift(false);
    m.setLux(512.3);
    m.setUnitFc(meter == QLatin1String("fc"));
    m.setOverload(meter == QLatin1String("over"));
    m.setFlag(QStringLiteral("Rel"), meter == QLatin1String("rel"));
    QVERIFY(m.start());
    AppState state;
    MeterSession session(state);
    QVERIFY(session.start(PortChoice{0, m.devicePath()}));
    QVERIFY(waitFor([&] { return state.display.linkAlive; }));
    if (meter == QLatin1String("silent")) {
        // Silent for longer than the take; back later, so that the poll's wait for it ends.
        m.setSilent(true);
        QTimer::singleShot(2500, &m, [&m] { m.setSilent(false); });
    }
    // The meter is fine; the display rests while another exchange has the link.
    const bool busy = meter == QLatin1String("busy");
    auto claim = busy ? session.link().claim() : std::nullopt;
    QCOMPARE(claim.has_value(), busy);
    auto rest = busy ? std::optional(session.poll().hold()) : std::nullopt;
    QTimer::singleShot(2500, this, [&claim, &rest] {
        rest.reset();
        claim.reset();
    });
    PointTaker taker(state, session.displayPoll());
    std::optional<double> taken;
    QString refusal;
    connect(&taker, &PointTaker::taken, this, [&](double l, int) { taken = l; });
    connect(&taker, &PointTaker::refused, this, [&](const QString& why) { refusal = why; });
    const QByteArray before = m.receivedBytes();
    // A moment later, so that no frame sent before a silence is still on its way.
    QTimer::singleShot(300, &taker, [&taker] { taker.take(); });
    QVERIFY(waitFor([&] { return taken || !refusal.isEmpty(); }, 6000));
    if (std::isnan(lux)) {
        QVERIFY(!taken);
        QVERIFY(refusal.contains(QStringLiteral("stays empty")));
        // "No COM" only when the meter is silent, never when the display merely rested.
        QCOMPARE(refusal.contains(QStringLiteral("No COM")), meter == QLatin1String("silent"));
        QCOMPARE(refusal.contains(QStringLiteral("another exchange")),
                 meter == QLatin1String("busy"));
    } else {
        QVERIFY2(taken && std::abs(*taken - lux) < 0.5, qPrintable(refusal));
    }
    QVERIFY(!m.receivedBytes().mid(before.size()).contains('h')); // nothing but the poll
    session.shutdown();
    resetQuitRequest();
}

// Four samples a second come in; the samples file keeps all of them until the response is over
// and while the light is below the minimum, one a second otherwise, and the run ends itself at
// the rated end.
void TestLink::emergencyRunKeepsTheSamplesThatCount() {
    QTemporaryDir dir;
    const QDateTime t0 = QDateTime::fromString(QStringLiteral("2026-12-10T08:00:00Z"), Qt::ISODate);
    ManualClock clock(t0);
    const QString csv = dir.filePath(QStringLiteral("samples.csv"));
    EmergencyRun run({*emergency::ruleById(QStringLiteral("en1838-route")), 20, csv}, clock);
    QString error;
    QVERIFY2(run.open(error), qPrintable(error));
    QSignalSpy finished(&run, &EmergencyRun::finished);
    // 420 lx, the mains cut at 5 s, 1.5 lx from 7 s, a dip to 0.5 lx from 15 s to 18 s.
    const auto lux = [](double t) {
        return t < 5 ? 420.0 : t < 7 ? 0.3 : t >= 15 && t < 18 ? 0.5 : 1.5;
    };
    for (double t = 0; t <= 27 && finished.isEmpty(); t += 0.25) {
        Sample s;
        s.time = t0.addMSecs(qint64(t * 1000));
        s.value = lux(t);
        s.readingText = QString::number(s.value);
        s.unit = QStringLiteral("Lx");
        clock.set(s.time);
        run.take(s);
    }
    QCOMPARE(finished.size(), 1);
    QCOMPARE(emergency::verdictName(run.assessment().verdict), QStringLiteral("pass"));
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QMap<double, double> steps; // the longest step to each kept row, by the time of that row
    double previous = -1;
    for (const QByteArray& row : file.readAll().split('\n').mid(1)) {
        if (row.isEmpty())
            continue;
        const double t = t0.msecsTo(QDateTime::fromString(QString::fromLatin1(row.split(',')[0]),
                                                          Qt::ISODateWithMs)) /
                         1000.0;
        if (previous >= 0)
            steps[t] = t - previous;
        previous = t;
    }
    for (auto [t, step] : steps.asKeyValueRange()) {
        const bool everySample = t <= 7 || (t > 15 && t <= 18);
        const bool oneASecond = (t > 9 && t < 15) || (t > 19.5);
        QVERIFY2(!everySample || step == 0.25, qPrintable(QString::number(t)));
        QVERIFY2(!oneASecond || step == 1, qPrintable(QString::number(t)));
    }
    QCOMPARE(steps.lastKey(), 25.0); // the rated end, 20 s after the cut
}

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
