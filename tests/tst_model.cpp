// The setting blocks, as bytes read from and written to the meter. Links the model library
// alone: pure logic needs no widget, no port and no meter.
#include "model/settingblocks.h"

#include <QTest>

using namespace lumetra;

class TestModel : public QObject {
    Q_OBJECT
private slots:
    void clockBytes_data();
    void clockBytes();
    void meterTimeText();
    void calibrationReply_data();
    void calibrationReply();
    void comparatorBlock_data();
    void comparatorBlock();
    void scfBlock();
    void scfReply_data();
    void scfReply();
};

void TestModel::clockBytes_data() {
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("before midnight")
        << QDateTime(QDate(2026, 12, 6), QTime(23, 59, 58)) << QByteArray::fromHex("06235958");
    QTest::newRow("the 1st") << QDateTime(QDate(2026, 12, 1), QTime(9, 5, 7))
                             << QByteArray::fromHex("01090507");
}

void TestModel::clockBytes() {
    QFETCH(QDateTime, when);
    QFETCH(QByteArray, bytes);
    QCOMPARE(meterclock::clockBytes(when), bytes);
}

void TestModel::meterTimeText() {
    QCOMPARE(meterclock::meterTimeText(QByteArray::fromHex("023112000900 0003")),
             QStringLiteral("31 12:00:09"));
}

void TestModel::calibrationReply_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("text"); // empty: not a reply
    QTest::newRow("1.000") << QByteArray::fromHex("0203E803") << "1.000";
    QTest::newRow("1.100") << QByteArray::fromHex("02044C03") << "1.100";
    QTest::newRow("short") << QByteArray::fromHex("02044C") << "";
    QTest::newRow("bad end") << QByteArray::fromHex("02044C02") << "";
}

void TestModel::calibrationReply() {
    QFETCH(QByteArray, reply);
    QFETCH(QString, text);
    const auto t = calibration::factorText(reply);
    QCOMPARE(t.value_or(QString()), text);
}

void TestModel::comparatorBlock_data() {
    QTest::addColumn<QString>("unit");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("high");
    QTest::addColumn<QString>("low");
    QTest::addColumn<QByteArray>("block");
    QTest::newRow("Lx, option 3") << "Lx" << 3 << "0125"
                                  << "0050" << QByteArray::fromHex("42007D0032");
    QTest::newRow("Fc, option 5") << "Fc" << 5 << "0000"
                                  << "0000" << QByteArray::fromHex("3000000000");
    QTest::newRow("Lx, option 6") << "Lx" << 6 << "9999"
                                  << "0001" << QByteArray::fromHex("50270F0001");
    QTest::newRow("empty unit is Fc") << "" << 2 << "0001"
                                      << "0000" << QByteArray::fromHex("2200010000");
    QTest::newRow("none selected") << "Lx" << 0 << "0000"
                                   << "0000" << QByteArray::fromHex("5000000000");
    QTest::newRow("typed too much") << "Lx" << 2 << "99999999"
                                    << "x" << QByteArray::fromHex("41FFFF0000");
}

void TestModel::comparatorBlock() {
    QFETCH(QString, unit);
    QFETCH(int, position);
    QFETCH(QString, high);
    QFETCH(QString, low);
    QFETCH(QByteArray, block);
    QCOMPARE(comparator::block(unit, position, high, low).toHex(), block.toHex());
}

void TestModel::scfBlock() {
    QCOMPARE(scf::block(13, 1.2), QByteArray::fromHex("0D04B0"));
    QCOMPARE(scf::block(0, 0.2), QByteArray::fromHex("0000C8"));
    QCOMPARE(scf::block(19, 5.0), QByteArray::fromHex("131388"));
}

void TestModel::scfReply_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("entry"); // -1: not a reply
    QTest::addColumn<QString>("factor");
    QTest::newRow("four bytes") << QByteArray::fromHex("020A05DC") << 10 << "1.500";
    QTest::newRow("framed") << QByteArray::fromHex("021303E803") << 19 << "1.000";
    QTest::newRow("display bytes behind") << QByteArray::fromHex("020A05DC0302") << 10 << "1.500";
    QTest::newRow("no end byte") << QByteArray::fromHex("020A05DC02") << -1 << "";
    QTest::newRow("entry 20") << QByteArray::fromHex("021403E8") << -1 << "";
    QTest::newRow("no start byte") << QByteArray::fromHex("030A05DC") << -1 << "";
    QTest::newRow("short") << QByteArray::fromHex("020A05") << -1 << "";
}

void TestModel::scfReply() {
    QFETCH(QByteArray, reply);
    QFETCH(int, entry);
    QFETCH(QString, factor);
    const auto r = scf::decode(reply);
    QCOMPARE(r.has_value(), entry >= 0);
    if (r) {
        QCOMPARE(r->entry, entry);
        QCOMPARE(r->factor, factor);
    }
}

QTEST_APPLESS_MAIN(TestModel)
#include "tst_model.moc"
