// Pure logic: settings text, port names, numbers, acknowledge and display-frame decoding.
#include "link/commands.h"
#include "link/meterlink.h"
#include "model/displayframe.h"
#include "model/numbers.h"
#include "model/portnames.h"
#include "platform/serialport.h"
#include "support/meterfixture.h"
#include "virtualmeter/virtualmeter.h"
#include "widgets/dialogs.h"

#include <QTest>

using namespace lumetra;
using lumetra::test::frame;

class TestLogic : public QObject {
    Q_OBJECT
private slots:
    void lineSettings_data();
    void lineSettings();
    void portChoice_data();
    void portChoice();
    void portLabels();
    void leadingNumber_data();
    void leadingNumber();
    void bcd();
    void acknowledge_data();
    void acknowledge();
    void commandTable();
    void qtFilter();
    void decodeFrame_data();
    void decodeFrame();
    void decodeErrorKeepsReading();
    void overlayFrameKeepsDigits();
    void everyFlagAgainstTheMetersLayout();
};

void TestLogic::lineSettings_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stop");
    QTest::newRow("meter") << "19200,n,8,1" << true << 19200 << int(QSerialPort::NoParity)
                           << int(QSerialPort::OneStop);
    QTest::newRow("scan") << "9600,n,8,1" << true << 9600 << int(QSerialPort::NoParity)
                          << int(QSerialPort::OneStop);
    QTest::newRow("even, two stop") << "4800,E,7,2" << true << 4800 << int(QSerialPort::EvenParity)
                                    << int(QSerialPort::TwoStop);
    QTest::newRow("blanks") << " 19200 , n , 8 , 1 " << true << 19200 << int(QSerialPort::NoParity)
                            << int(QSerialPort::OneStop);
    QTest::newRow("missing field") << "19200,n,8" << false << 0 << 0 << 0;
    QTest::newRow("bad parity") << "19200,x,8,1" << false << 0 << 0 << 0;
    QTest::newRow("bad bits") << "19200,n,9,1" << false << 0 << 0 << 0;
    QTest::newRow("bad baud") << "fast,n,8,1" << false << 0 << 0 << 0;
    QTest::newRow("bad stop") << "19200,n,8,3" << false << 0 << 0 << 0;
}

void TestLogic::lineSettings() {
    QFETCH(QString, text);
    QFETCH(bool, valid);
    const auto s = LineSettings::parse(text);
    QCOMPARE(s.has_value(), valid);
    if (!valid)
        return;
    QFETCH(int, baud);
    QFETCH(int, parity);
    QFETCH(int, stop);
    QCOMPARE(s->baud, baud);
    QCOMPARE(int(s->parity), parity);
    QCOMPARE(int(s->stopBits), stop);
}

void TestLogic::portChoice_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("device");
    QTest::newRow("Auto") << "Auto" << 1 << "/dev/ttyS0";
    QTest::newRow("COM  1") << "COM  1" << 1 << "/dev/ttyS0";
    QTest::newRow("COM  3") << "COM  3" << 3 << "/dev/ttyS2";
    QTest::newRow("COM  16") << "COM  16" << 16 << "/dev/ttyS15";
    QTest::newRow("one blank") << "COM 1" << 0 << "";
    QTest::newRow("COM  17") << "COM  17" << 0 << "";
    QTest::newRow("lower case") << "com  1" << 0 << "";
    QTest::newRow("trailing blank") << "COM  1 " << 0 << "";
    QTest::newRow("empty") << "" << 0 << "";
    QTest::newRow("garbage") << "x; rm -rf /" << 0 << "";
    QTest::newRow("usb path") << "/dev/ttyUSB0" << 0 << "/dev/ttyUSB0";
    QTest::newRow("pty path") << "/dev/pts/4" << 0 << "/dev/pts/4";
    QTest::newRow("parent step") << "/dev/../etc/passwd" << 0 << "";
    QTest::newRow("blank in path") << "/dev/tty USB0" << 0 << "";
}

void TestLogic::portChoice() {
    QFETCH(QString, text);
    QFETCH(int, number);
    QFETCH(QString, device);
    const PortChoice c = portnames::choose(text);
    QCOMPARE(int(c.number), number);
    QCOMPARE(c.device, device);
    // Text that names no port keeps what was chosen before.
    const PortChoice previous{5, QStringLiteral("/dev/ttyS4")};
    const PortChoice kept = portnames::choose(text, previous);
    if (device.isEmpty())
        QCOMPARE(kept.number, previous.number);
}

void TestLogic::portLabels() {
    QCOMPARE(portnames::listName(3), QStringLiteral("COM  3"));
    QCOMPARE(portnames::allListNames().size(), 16);
    QCOMPARE(portnames::allListNames().last(), QStringLiteral("COM  16"));
    QCOMPARE((PortChoice{3, "/dev/ttyS2"}.label()), QStringLiteral("COM3"));
    QCOMPARE((PortChoice{0, "/dev/ttyUSB0"}.label()), QStringLiteral("ttyUSB0"));
    QCOMPARE((PortChoice{0, "/dev/pts/7"}.label()), QStringLiteral("pts/7"));
}

void TestLogic::leadingNumber_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("plain") << "1234" << 1234.0;
    QTest::newRow("decimal") << "12.5" << 12.5;
    QTest::newRow("leading blanks") << "  7" << 7.0;
    QTest::newRow("trailing text") << "12.5abc" << 12.5;
    QTest::newRow("negative") << "-3" << -3.0;
    QTest::newRow("no number") << "abc" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("point first") << ".5" << 0.5;
    QTest::newRow("exponent") << "1e3" << 1000.0;
    QTest::newRow("dangling exponent") << "1E" << 1.0;
    QTest::newRow("hex digits") << "1F" << 1.0;
    QTest::newRow("lone point") << "." << 0.0;
    QTest::newRow("overflow") << "1e999" << 0.0;
}

void TestLogic::leadingNumber() {
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(lumetra::leadingNumber(text), value);
}

void TestLogic::bcd() {
    const struct {
        int value;
        quint8 byte;
    } rows[] = {{0, 0x00}, {5, 0x05}, {23, 0x23}, {59, 0x59}, {99, 0x99}};
    for (const auto& r : rows) {
        QCOMPARE(toBcd(r.value), r.byte);
        QCOMPARE(fromBcd(r.byte), r.value);
    }
    QCOMPARE(hex2(0x05), QStringLiteral("05"));
    QCOMPARE(hex2(0xA7), QStringLiteral("A7"));
}

void TestLogic::acknowledge_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("pointer"); // -1: rejected
    QTest::newRow("empty memory") << QByteArray::fromHex("02AA0005FF03") << 1535;
    QTest::newRow("full memory") << QByteArray::fromHex("02AA01FFFF03") << 131071;
    QTest::newRow("seven bytes") << QByteArray::fromHex("02AA0005FF0302") << 1535;
    QTest::newRow("marker AB") << QByteArray::fromHex("02AB0005FF03") << -1;
    QTest::newRow("bad start") << QByteArray::fromHex("03AA0005FF03") << -1;
    QTest::newRow("bad end") << QByteArray::fromHex("02AA0005FF02") << -1;
    QTest::newRow("short") << QByteArray::fromHex("02AA0005FF") << -1;
    QTest::newRow("display frame") << frame("A1AA12340000001000000800") << -1;
    QTest::newRow("pointer below the memory") << QByteArray::fromHex("02AA0005EF03") << -1;
    QTest::newRow("pointer past the memory") << QByteArray::fromHex("02AA02000003") << -1;
}

void TestLogic::acknowledge() {
    QFETCH(QByteArray, reply);
    QFETCH(int, pointer);
    const auto parsed = MeterLink::parseAcknowledge(reply);
    QCOMPARE(parsed.has_value(), pointer >= 0);
    if (parsed)
        QCOMPARE(int(*parsed), pointer);
}

void TestLogic::commandTable() {
    // Each letter once.
    QSet<char> seen;
    for (const auto& c : kMeterCommands) {
        QVERIFY2(!seen.contains(c.letter), "letter listed twice");
        seen.insert(c.letter);
    }
    // A letter the program never sends is not found (how each letter goes out with its waits
    // is checked against the meter in tst_link).
    QVERIFY(findMeterCommand('R') == nullptr);
}

void TestLogic::qtFilter() {
    QCOMPARE(Dialogs::toQtFilter(QStringLiteral("Text Files (*.txt)|*.txt|All Files (*.*)|*.*|")),
             QStringLiteral("Text Files (*.txt);;All Files (*.*)"));
}

void TestLogic::decodeFrame_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("digits");
    QTest::addColumn<float>("value");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("memory");
    QTest::addColumn<QString>("small");
    QTest::newRow("worked example") << frame("A1AA12340000001000000800") << "Lx"
                                    << "1234" << 12.34f << "12.34"
                                    << " 1"
                                    << "0000";
    QTest::newRow("overload Lx") << frame("AAAAFFAA0000001000000000") << "Lx"
                                 << "OL" << 1000000.0f << "OL"
                                 << "  "
                                 << "0000";
    QTest::newRow("overload Fc") << frame("AAAAFFAA0000000800000000") << "Fc"
                                 << "OL" << 100000.0f << "OL"
                                 << "  "
                                 << "0000";
    QTest::newRow("overload no unit") << frame("AAAAFFAA0000000000000000") << ""
                                      << "OL" << 100000.0f << "OL"
                                      << "  "
                                      << "0000";
    QTest::newRow("comma wins over point") << frame("AAA123450000001001000800") << "Lx"
                                           << "12345" << 12345.0f << "12345"
                                           << "  "
                                           << "0000";
    QTest::newRow("blank digits") << frame("AAAAAA5A0000001000000000") << "Lx"
                                  << "5" << 5.0f << "5"
                                  << "  "
                                  << "0000";
    QTest::newRow("no digits") << frame("AAAAAAAA0000001000000000") << "Lx"
                               << "" << 0.0f << ""
                               << "  "
                               << "0000";
    QTest::newRow("three decimals") << frame("AAAA05000000001000000400") << "Lx"
                                    << "0500" << 0.5f << "0.500"
                                    << "  "
                                    << "0000";
    QTest::newRow("one decimal, Fc") << frame("23AA12340000000800001000") << "Fc"
                                     << "1234" << 123.4f << "123.4"
                                     << "23"
                                     << "0000";
    QTest::newRow("small digits A-F") << frame("AAAA1234ABCD001000000000") << "Lx"
                                      << "1234" << 1234.0f << "1234"
                                      << "  "
                                      << "ABCD";
    QTest::newRow("Fc wins over Lx") << frame("AAAA12340000001800000000") << "Fc"
                                     << "1234" << 1234.0f << "1234"
                                     << "  "
                                     << "0000";
}

void TestLogic::decodeFrame() {
    QFETCH(QByteArray, frame);
    QFETCH(QString, unit);
    QFETCH(QString, digits);
    QFETCH(float, value);
    QFETCH(QString, text);
    QFETCH(QString, memory);
    QFETCH(QString, small);
    DisplayState s;
    QCOMPARE(lumetra::decodeFrame(frame, s), FrameKind::Normal);
    QCOMPARE(s.unitText, unit);
    QCOMPARE(s.mainDigitsText, digits);
    QCOMPARE(s.readingValue, value);
    QCOMPARE(s.readingText, text);
    QCOMPARE(s.memoryDigits, memory);
    QCOMPARE(s.smallDigits, small);
}

void TestLogic::decodeErrorKeepsReading() {
    DisplayState s;
    QCOMPARE(lumetra::decodeFrame(frame("AAAA12340000001000000800"), s), FrameKind::Normal);
    QCOMPARE(s.readingText, QStringLiteral("12.34"));
    // Three decimals but a single digit: the point cannot be placed.
    QCOMPARE(lumetra::decodeFrame(frame("AAAAAA5A0000001000000400"), s), FrameKind::Error);
    QCOMPARE(s.readingText, QStringLiteral("12.34"));
    QCOMPARE(s.readingValue, 12.34f);
    QVERIFY(s.flag(Flag::MainPoint1)); // the flags of the frame were taken
}

void TestLogic::overlayFrameKeepsDigits() {
    DisplayState s;
    lumetra::decodeFrame(frame("AAAA12340000001000000800"), s);
    QCOMPARE(lumetra::decodeFrame(frame("AAAA99990000001000000008"), s), FrameKind::SetUp);
    QVERIFY(s.flag(Flag::SetUp));
    QCOMPARE(s.mainDigitsText, QStringLiteral("1234"));
    QCOMPARE(lumetra::decodeFrame(frame("AAAA99990000001000000020"), s), FrameKind::Clear);
    QCOMPARE(s.readingText, QStringLiteral("12.34"));
    QVERIFY(s.measuringModeActive() == false || s.flag(Flag::SetUp));
}

// The virtual meter lays out its annunciators from its own table; each one must come back
// as exactly the flag of the same name.
void TestLogic::everyFlagAgainstTheMetersLayout() {
    sim::VirtualMeter meter;
    meter.setDrift(false);
    meter.setRawMainDigits(QStringLiteral("AA1234"));
    meter.setSmallDigits(QStringLiteral("0000"));
    meter.setFlag(QStringLiteral("Auto"), false);
    // The unit is always lit on the meter; everything else starts dark.
    for (const QString& name : sim::VirtualMeter::flagNames()) {
        meter.setFlag(name, true);
        DisplayState s;
        lumetra::decodeFrame(meter.displayFrame(), s);
        for (int i = 0; i < kFlagSlots; ++i) {
            const QString flagName = QLatin1String(kFlagNames[size_t(i)]);
            if (name == QLatin1String("Fc") || name == QLatin1String("Lx"))
                continue; // the unit follows the unit key, not the flag
            const bool expected = flagName == name || flagName == QLatin1String("Lx");
            QVERIFY2(s.flags[size_t(i)] == expected,
                     qPrintable(QStringLiteral("%1 lit, %2 read as %3")
                                    .arg(name, flagName)
                                    .arg(s.flags[size_t(i)])));
        }
        meter.setFlag(name, false);
    }
    QCOMPARE(sim::VirtualMeter::flagNames().size(), 46);
}

QTEST_MAIN(TestLogic)
#include "tst_logic.moc"
