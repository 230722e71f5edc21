// The virtual meter's replies, checked byte by byte against the protocol's layouts.
#include "support/meterfixture.h"
#include "virtualmeter/simcommands.h"
#include "virtualmeter/virtualmeter.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using lumetra::sim::VirtualMeter;

namespace {

// Feeds bytes and collects what the meter sends back (unpaced, no line needed).
QByteArray exchange(VirtualMeter& meter, const QByteArray& bytes) {
    QByteArray out;
    auto c = QObject::connect(&meter, &VirtualMeter::transmitted,
                              [&](const QByteArray& b) { out += b; });
    meter.receive(bytes);
    QObject::disconnect(c);
    return out;
}

QByteArray hex(const char* h) {
    return QByteArray::fromHex(h);
}

} // namespace

class TestVirtualMeter : public QObject {
    Q_OBJECT
private slots:
    void acknowledgeCarriesPointer();
    void displayFrameLayout_data();
    void displayFrameLayout();
    void overloadFrame();
    void settingsReplies();
    void settingWrites_data();
    void settingWrites();
    void keysChangeState();
    void memoryDumpLayout();
    void dumpFaults();
    void replyFaults();
    void powerOff();
    void simCommands();
};

void TestVirtualMeter::acknowledgeCarriesPointer() {
    VirtualMeter m;
    QCOMPARE(exchange(m, "A"), hex("02AA0005FF03"));
    m.addSet(QDateTime(QDate(2026, 12, 6), QTime(14, 5, 30)), 2, {1, 2, 3, 4, 5});
    // 10-byte header and 5 records of 3 bytes: 1535 + 25 = 1560 = 0x000618.
    QCOMPARE(exchange(m, "A"), hex("02AA00061803"));
    m.setPointerOverride(131071);
    QCOMPARE(exchange(m, "A"), hex("02AA01FFFF03"));
    m.setAckMarker(0xAB);
    QCOMPARE(exchange(m, "A"), hex("02AB01FFFF03"));
}

void TestVirtualMeter::displayFrameLayout_data() {
    QTest::addColumn<double>("lux");
    QTest::addColumn<bool>("fc");
    QTest::addColumn<QByteArray>("frame");
    // bytes: 02 mem d12 d34 d56 s12 s34 f8 f9 f10 f11 f12 f13 03
    QTest::newRow("12.34 lx") << 12.34 << false << hex("02AAAA1234000000100000080003");
    QTest::newRow("5 lx") << 5.0 << false << hex("02AAAA5000000000100000040003");
    QTest::newRow("0.5 lx") << 0.5 << false << hex("02AAAA0500000000100000040003");
    QTest::newRow("123.4 lx") << 123.4 << false << hex("02AAAA1234000000100000100003");
    QTest::newRow("950 lx") << 950.0 << false << hex("02AAAA9500000000100000100003");
    QTest::newRow("1234 lx") << 1234.0 << false << hex("02AAAA1234000000100000000003");
    QTest::newRow("50000 lx") << 50000.0 << false << hex("02AAA50000000000100100000003");
    QTest::newRow("1000 lx in fc") << 1000.0 << true << hex("02AAAA9290000000080000080003");
}

void TestVirtualMeter::displayFrameLayout() {
    QFETCH(double, lux);
    QFETCH(bool, fc);
    QFETCH(QByteArray, frame);
    VirtualMeter m;
    m.setDrift(false);
    m.setFlag(QStringLiteral("Auto"), false);
    m.setSmallDigits(QStringLiteral("0000"));
    m.setLux(lux);
    m.setUnitFc(fc);
    QCOMPARE(m.displayFrame().toHex(' '), frame.toHex(' '));
}

void TestVirtualMeter::overloadFrame() {
    VirtualMeter m;
    m.setDrift(false);
    m.setFlag(QStringLiteral("Auto"), false);
    m.setSmallDigits(QStringLiteral("AB12"));
    m.setMemoryNumber(7);
    m.setOverload(true);
    m.setFlag(QStringLiteral("Hold"), true);
    m.setFlag(QStringLiteral("SetUp"), true);
    QCOMPARE(m.displayFrame().toHex(' '), hex("02A7AAFFAAAB1220100000000803").toHex(' '));
}

void TestVirtualMeter::settingsReplies() {
    VirtualMeter m;
    m.distance = 150;
    m.compFlags = 0x42;
    m.compHigh = 125;
    m.compLow = 50;
    QCOMPARE(exchange(m, "Z"), hex("02009642007D003203"));
    m.calibration = 1100;
    QCOMPARE(exchange(m, "h"), hex("02044C03"));
    m.scfEntry = 10;
    m.scfFactor = 1200;
    QCOMPARE(exchange(m, "a"), hex("020A04B0")); // start, entry, factor: nothing more
    // Clock: whatever "T" set comes back in bytes 2-5 (BCD), interval in bytes 6-7.
    exchange(m, hex("5406235958"));
    m.intervalMinutes = 1;
    m.intervalSeconds = 30;
    const QByteArray y = exchange(m, "Y");
    QCOMPARE(y.size(), 8);
    QCOMPARE(quint8(y[0]), quint8(0x02));
    QCOMPARE(quint8(y[1]), quint8(0x06));
    QCOMPARE(quint8(y[2]), quint8(0x23));
    QVERIFY(quint8(y[3]) == 0x59 || quint8(y[3]) == 0x00); // a second may pass
    QCOMPARE(y.mid(5, 3), hex("013003"));
}

void TestVirtualMeter::settingWrites_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("value");
    QTest::newRow("distance 9.34") << hex("4903A6") << "distance" << 934;
    QTest::newRow("distance 1.50") << hex("490096") << "distance" << 150;
    QTest::newRow("hold 59:59") << hex("535959") << "hold" << 59 * 60 + 59;
    QTest::newRow("hold 1:05") << hex("530105") << "hold" << 65;
    QTest::newRow("interval 3:00") << hex("570300") << "interval" << 180;
    QTest::newRow("comparator") << hex("5642007D0032") << "compHigh" << 125;
    QTest::newRow("calibration 1.2") << hex("6904B0") << "calibration" << 1200;
    QTest::newRow("scf U3 1.2") << hex("630D04B0") << "scf" << 13 * 10000 + 1200;
    QTest::newRow("payload split over reads") << hex("49") + hex("03") << "distance" << 150;
}

void TestVirtualMeter::settingWrites() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, field);
    QFETCH(int, value);
    VirtualMeter m;
    exchange(m, bytes);
    int actual = -1;
    if (field == QLatin1String("distance"))
        actual = m.distance;
    else if (field == QLatin1String("hold"))
        actual = m.holdMinutes * 60 + m.holdSeconds;
    else if (field == QLatin1String("interval"))
        actual = m.intervalMinutes * 60 + m.intervalSeconds;
    else if (field == QLatin1String("compHigh"))
        actual = m.compFlags == 0x42 && m.compLow == 50 ? m.compHigh : -1;
    else if (field == QLatin1String("calibration"))
        actual = m.calibration;
    else if (field == QLatin1String("scf"))
        actual = m.scfEntry * 10000 + m.scfFactor;
    QCOMPARE(actual, value);
    if (field == QLatin1String("scf"))
        QVERIFY(m.flag(QStringLiteral("SetUp"))); // the meter confirms on its display
}

void TestVirtualMeter::keysChangeState() {
    VirtualMeter m;
    exchange(m, "F");
    QVERIFY(m.unitFc());
    exchange(m, "F");
    QVERIFY(!m.unitFc());
    exchange(m, "G");
    QVERIFY(m.flag(QStringLiteral("UpperPercent")));
    exchange(m, "H"); // Enter: back to normal measuring
    QVERIFY(!m.flag(QStringLiteral("UpperPercent")));
    exchange(m, "X");
    QVERIFY(m.flag(QStringLiteral("Comp")));
    exchange(m, "C");
    QVERIFY(m.flag(QStringLiteral("Hold")));
    exchange(m, "P");
    QVERIFY(m.flag(QStringLiteral("Intv")));
    QCOMPARE(m.memory().left(4), hex("0055AA00"));
    exchange(m, "P");
    QVERIFY(!m.flag(QStringLiteral("Intv")));
    exchange(m, "E");
    QCOMPARE(m.memoryPointer(), quint32(1535));
    exchange(m, "i");
    exchange(m, hex("04B0"));
    exchange(m, "j");
    QCOMPARE(m.calibration, 1000);
}

void TestVirtualMeter::memoryDumpLayout() {
    VirtualMeter m;
    m.addSet(QDateTime(QDate(2026, 12, 6), QTime(14, 5, 30)), 90,
             {1234.0, 123.4, 0.0, 70000.0, 5.0});
    const QByteArray dump = exchange(m, "Q");
    // L = pointer - 1519 = 1560 - 1519 = 41: 15 preamble, 25 stored, 1 trailing byte.
    QCOMPARE(dump.size(), 41);
    QCOMPARE(dump.mid(15, 10), hex("0055AA00061405300130"));
    // 1234 lx: 1234.0 / 0.1 = 12340 with bit 3; 123.4 lx: 12340 hundredths with bit 2;
    // 0 lx in thousandths (bit 1); 70000 lx in tens (bit 5); 5 lx in thousandths (bit 1).
    QCOMPARE(dump.mid(25, 15), hex("303408"
                                   "303404"
                                   "000002"
                                   "1B5820"
                                   "138802"));
    QVERIFY(!m.streaming()); // the dump ends the display stream
    // A meter may also end its stream at every "A", until the next "M".
    for (const bool endsAtA : {false, true}) {
        m.setStreamEndsAtHandshake(endsAtA);
        exchange(m, "M");
        exchange(m, "A");
        QCOMPARE(m.streaming(), !endsAtA);
    }
}

void TestVirtualMeter::dumpFaults() {
    VirtualMeter m;
    m.fillMemory(3, 4);
    m.dropNextDumpMarker();
    QByteArray dump = exchange(m, "Q");
    QVERIFY(dump.mid(15, 4) != hex("0055AA00"));
    dump = exchange(m, "Q");
    QCOMPARE(dump.mid(15, 4), hex("0055AA00")); // only the next dump is spoiled
    m.breakDumpChains(2);
    for (int i = 0; i < 3; ++i) {
        dump = exchange(m, "Q");
        QCOMPARE(dump.mid(15, 4), hex("0055AA00"));
        QCOMPARE(dump.mid(15 + 22, 4), hex("0055AA00")); // second set: 10 + 3*4 in
        // The marker in front of the last set, in the next two dumps only.
        QCOMPARE(dump.mid(15 + 44, 4) == hex("0055AA00"), i == 2);
    }
}

void TestVirtualMeter::replyFaults() {
    VirtualMeter m;
    m.shortNextReply();
    QVERIFY(exchange(m, "Z").size() < 9);
    QCOMPARE(exchange(m, "Z").size(), 9);
    m.malformNextReply();
    QVERIFY(quint8(exchange(m, "Z").at(8)) != 0x03);
    m.setSilent(true);
    QVERIFY(exchange(m, "A").isEmpty());
}

void TestVirtualMeter::powerOff() {
    VirtualMeter m;
    m.setPowerOnDelayMs(100);
    exchange(m, "O");
    QVERIFY(!m.powered());
    QVERIFY(exchange(m, "A").isEmpty());
    QVERIFY(lumetra::test::waitFor([&] { return m.powered(); }, 2000));
    QCOMPARE(exchange(m, "A"), hex("02AA0005FF03"));
}

void TestVirtualMeter::simCommands() {
    VirtualMeter m;
    using lumetra::sim::applySimCommand;
    QCOMPARE(applySimCommand(m, QStringLiteral("unit fc")), QStringLiteral("ok"));
    QVERIFY(m.unitFc());
    QCOMPARE(applySimCommand(m, QStringLiteral("flag Rel on")), QStringLiteral("ok"));
    QVERIFY(m.flag(QStringLiteral("Rel")));
    QCOMPARE(applySimCommand(m, QStringLiteral("sets 2 5")), QStringLiteral("ok"));
    QCOMPARE(m.memoryPointer(), quint32(1535 + 2 * 25));
    QCOMPARE(applySimCommand(m, QStringLiteral("fill full")), QStringLiteral("ok"));
    QVERIFY(m.memoryPointer() <= 131071);
    QVERIFY(m.memoryPointer() > 131071 - 2010 * 3);
    QVERIFY(applySimCommand(m, QStringLiteral("flag Nothing on")).startsWith("error:"));
    QVERIFY(applySimCommand(m, QStringLiteral("lux many")).startsWith("error:"));
    QVERIFY(applySimCommand(m, QStringLiteral("launch")).startsWith("error:"));

    // A scripted light: a step, then a slow line; from a file the same.
    applySimCommand(m, QStringLiteral("unit lx"));
    QTemporaryDir dir;
    QFile script(dir.filePath("light.txt"));
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("# seconds lux\n0 420\n0 4, 1000 1004\n");
    script.close();
    for (const QString& command : {QStringLiteral("profile 0 420 0 4 1000 1004"),
                                   QStringLiteral("profile ") + script.fileName()}) {
        QCOMPARE(applySimCommand(m, command), QStringLiteral("ok"));
        QVERIFY2(m.displayedValue() >= 4 && m.displayedValue() < 4.5,
                 qPrintable(QString::number(m.displayedValue())));
    }
    QCOMPARE(applySimCommand(m, QStringLiteral("profile 0 7")), QStringLiteral("ok"));
    QCOMPARE(m.displayedValue(), 7.0); // one point holds
    for (const char* wrong : {"profile 0 1 2", "profile 5 1 2 1", "profile /no/such/file",
                              "profile 0 nan", "profile 0 inf", "profile /dev/zero"})
        QVERIFY2(applySimCommand(m, QString::fromLatin1(wrong)).startsWith("error:"), wrong);
    QCOMPARE(applySimCommand(m, QStringLiteral("profile off")), QStringLiteral("ok"));
    QVERIFY(!m.hasProfile());
}

QTEST_MAIN(TestVirtualMeter)
#include "tst_virtualmeter.moc"
