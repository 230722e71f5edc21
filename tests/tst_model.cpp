// The setting blocks, as bytes read from and written to the meter. Links the model library
// alone: pure logic needs no widget, no port and no meter.
#include "model/columnplot.h"
#include "model/emergency.h"
#include "model/exposure.h"
#include "model/liveseries.h"
#include "model/numbers.h"
#include "model/replyfinder.h"
#include "model/samplerow.h"
#include "model/settingblocks.h"
#include "model/survey.h"
#include "model/surveyareas.h"
#include "model/surveyevidence.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTest>

#include <algorithm>
#include <cmath>

using namespace lumetra;

class TestModel : public QObject {
    Q_OBJECT
private slots:
    void clockBytes_data();
    void clockBytes();
    void meterTimeText();
    void readingInTheOtherUnit_data();
    void readingInTheOtherUnit();
    void legendEnds_data();
    void legendEnds();
    void readingDecimals_data();
    void readingDecimals();
    void calibrationReply_data();
    void calibrationReply();
    void comparatorBlock_data();
    void comparatorBlock();
    void scfBlock();
    void scfReply_data();
    void scfReply();
    void plotValues_data();
    void plotValues();
    void ringKeepsTheLastSamples();
    void statisticsAgainstBruteForce();
    void replyAmongFrames_data();
    void replyAmongFrames();
    void samplesAsRows_data();
    void samplesAsRows();
    void recorderNames_data();
    void recorderNames();
    void exposureAgainstBruteForce_data();
    void exposureAgainstBruteForce();
    void exposureReadout();
    void recordFileTimes();
    void recordFileTimesAcrossClockChanges_data();
    void recordFileTimesAcrossClockChanges();
    void surveyGrid_data();
    void surveyGrid();
    void surveyChecks();
    void surveyFile();
    void surveyAreasLaidOut_data();
    void surveyAreasLaidOut();
    void surveyAreaVerdicts_data();
    void surveyAreaVerdicts();
    void surveyOutlines_data();
    void surveyOutlines();
    void surveyTaskPlaces_data();
    void surveyTaskPlaces();
    void surveyFileVersion2_data();
    void surveyFileVersion2();
    void surveyFiguresByHand();
    void surveyAsEvidence_data();
    void surveyAsEvidence();
    void surveyStability_data();
    void surveyStability();
    void surveyTakenWhenSteady_data();
    void surveyTakenWhenSteady();
    void surveyEvidence_data();
    void surveyEvidence();
    void emergencyAssessment_data();
    void emergencyAssessment();
    void emergencyRecordingsRefused_data();
    void emergencyRecordingsRefused();
    void emergencyLogBookSurvivesACutOffLine();
    void emergencyDurationsAsRead_data();
    void emergencyDurationsAsRead();
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
    const QByteArray reply = QByteArray::fromHex("023112000900 0003");
    QCOMPARE(meterclock::meterTimeText(reply), QStringLiteral("31 12:00:09"));
    // Between reads the meter's clock runs on by the PC's, over the hour and the day.
    QCOMPARE(meterclock::meterTimeText(reply, 4), QStringLiteral("31 12:00:13"));
    QCOMPARE(meterclock::meterTimeText(reply, 3600 + 51), QStringLiteral("31 13:01:00"));
    QCOMPARE(meterclock::meterTimeText(reply, 12 * 3600), QStringLiteral("01 00:00:09"));
}

void TestModel::readingInTheOtherUnit_data() {
    QTest::addColumn<QString>("reading");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("shown");
    QTest::newRow("fc to lux") << "1.2"
                               << "Fc"
                               << "Lx"
                               << "13";
    QTest::newRow("fc hundredths to lux") << "46.45"
                                          << "Fc"
                                          << "Lx"
                                          << "500.0";
    QTest::newRow("lux to fc") << "500"
                               << "Lx"
                               << "Fc"
                               << "46.5";
    QTest::newRow("same unit") << "12.34"
                               << "Lx"
                               << "Lx"
                               << "12.34";
    QTest::newRow("overload stays") << "OL"
                                    << "Fc"
                                    << "Lx"
                                    << "OL";
    // No unit, or one the lists do not know: not converted, left out ("").
    QTest::newRow("no unit") << "123"
                             << ""
                             << "Lx"
                             << "";
    QTest::newRow("lower case") << "5"
                                << "lx"
                                << "Lx"
                                << "";
}

void TestModel::readingInTheOtherUnit() {
    QFETCH(QString, reading);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, shown);
    QCOMPARE(samples::readingIn(reading, from, to).value_or(QString()), shown);
}

// A survey plan's colours run from 0 to a round number at or above the highest value.
void TestModel::legendEnds_data() {
    QTest::addColumn<double>("highest");
    QTest::addColumn<double>("end");
    QTest::newRow("1207 lx") << 1207.0 << 2000.0;
    QTest::newRow("exactly round") << 500.0 << 500.0;
    QTest::newRow("just above") << 501.0 << 1000.0;
    QTest::newRow("a quarter") << 230.0 << 250.0;
    QTest::newRow("foot-candles") << 46.5 << 50.0;
    QTest::newRow("below one") << 0.3 << 0.5;
    QTest::newRow("nothing") << 0.0 << 0.0;
}

void TestModel::legendEnds() {
    QFETCH(double, highest);
    QFETCH(double, end);
    QCOMPARE(roundUp(highest), end);
}

// Statistics show readings at their own resolution.
void TestModel::readingDecimals_data() {
    QTest::addColumn<QVector<float>>("values");
    QTest::addColumn<int>("decimals");
    QTest::newRow("whole lux") << QVector<float>{1214, 1244, 1273} << 0;
    QTest::newRow("hundredths") << QVector<float>{12.34f, 12.3f, 12} << 2;
    QTest::newRow("thousandths") << QVector<float>{5.001f} << 3;
    QTest::newRow("a gap and an overload") << QVector<float>{float(qQNaN()), 1000000, 1.5f} << 1;
    QTest::newRow("no more than three") << QVector<float>{0.12345f} << 3;
    QTest::newRow("none") << QVector<float>{} << 0;
}

void TestModel::readingDecimals() {
    QFETCH(QVector<float>, values);
    QFETCH(int, decimals);
    QCOMPARE(lumetra::readingDecimals(values, 0, values.size()), decimals);
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
    QTest::newRow("anything behind") << QByteArray::fromHex("020A05DC7E") << 10 << "1.500";
    QTest::newRow("entry 19") << QByteArray::fromHex("02131388") << 19 << "5.000";
    QTest::newRow("entry 20") << QByteArray::fromHex("021403E8") << -1 << "";
    QTest::newRow("no start byte") << QByteArray::fromHex("030A05DC") << -1 << "";
    QTest::newRow("short") << QByteArray::fromHex("020A05") << -1 << "";
    QTest::newRow("a display frame, memory 13")
        << QByteArray::fromHex("0213012300000000100000000003") << -1 << "";
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

void TestModel::plotValues_data() {
    QTest::addColumn<QStringList>("cells");
    QTest::addColumn<float>("start"); // both ends of the starting range
    QTest::addColumn<QList<float>>("values");
    QTest::addColumn<float>("maximum");
    QTest::addColumn<float>("minimum");
    QTest::newRow("numbers") << QStringList{"12.5", "3", "7.25"} << 12.5f
                             << QList<float>{12.5f, 3, 7.25f} << 12.5f << 3.0f;
    QTest::newRow("overload anywhere") << QStringList{"OL", "1L2", "5"} << 1000000.0f
                                       << QList<float>{1e6f, 1e6f, 5} << 1e6f << 5.0f;
    QTest::newRow("empty and text")
        << QStringList{"", "abc", "2"} << 0.0f << QList<float>{0, 0, 2} << 2.0f << 0.0f;
    QTest::newRow("start outside the values")
        << QStringList{"4", "6"} << 100.0f << QList<float>{4, 6} << 100.0f << 4.0f;
    QTest::newRow("no rows") << QStringList{} << 9.0f << QList<float>{} << 9.0f << 9.0f;
    QTest::newRow("beyond a float")
        << QStringList{"1e39", "3"} << 3.0f << QList<float>{1e6f, 3} << 1e6f << 3.0f;
}

void TestModel::plotValues() {
    QFETCH(QStringList, cells);
    QFETCH(float, start);
    QFETCH(QList<float>, values);
    QFETCH(float, maximum);
    QFETCH(float, minimum);
    const ColumnPlot plot = columnPlot(cells, start, start);
    QCOMPARE(plot.values, values);
    QCOMPARE(plot.maximum, maximum);
    QCOMPARE(plot.minimum, minimum);
}

void TestModel::ringKeepsTheLastSamples() {
    LiveSeries ring;
    QCOMPARE(ring.size(), 0);
    QCOMPARE(ring.minimum(), 0.0f);
    // The extremes come first and are overwritten once the ring has gone round.
    ring.append(-50);
    ring.append(900);
    for (int i = 2; i < LiveSeries::kCapacity; ++i)
        ring.append(float(i % 100));
    QCOMPARE(ring.size(), LiveSeries::kCapacity);
    QCOMPARE(ring.minimum(), -50.0f);
    QCOMPARE(ring.maximum(), 900.0f);
    ring.append(1000); // overwrites -50
    ring.append(1001); // overwrites 900
    ring.append(7);
    QCOMPARE(ring.size(), LiveSeries::kCapacity);
    QCOMPARE(ring.taken(), qint64(LiveSeries::kCapacity) + 3);
    QCOMPARE(ring.minimum(), 0.0f);
    QCOMPARE(ring.maximum(), 1001.0f);
    const QVector<float> series = ring.series();
    QCOMPARE(series.size(), LiveSeries::kCapacity);
    QCOMPARE(series.first(), 3.0f); // the oldest sample still held: the fourth taken
    QCOMPARE(series.mid(series.size() - 3), (QVector<float>{1000, 1001, 7}));
    // Copies of an extreme: it stays until the last copy is overwritten.
    LiveSeries flat;
    for (int i = 0; i < LiveSeries::kCapacity + 6; ++i)
        flat.append((i == 5 || i == 7) && i < LiveSeries::kCapacity ? 2.0f : 1.0f);
    QCOMPARE(flat.maximum(), 2.0f); // only the copy at 5 was overwritten, 7 is still held
    for (int i = 0; i < 5; ++i)
        flat.append(1.0f);
    QCOMPARE(flat.maximum(), 1.0f);
    QCOMPARE(flat.minimum(), 1.0f);

    // Gaps are held but are never an extreme, also when the ring searches again.
    LiveSeries gaps;
    gaps.append(qQNaN());
    QCOMPARE(gaps.maximum(), 0.0f);
    for (int i = 1; i < LiveSeries::kCapacity; ++i)
        gaps.append(i == 9 ? 5.0f : i == 10 ? -5.0f : qQNaN());
    gaps.append(qQNaN());
    QCOMPARE(gaps.maximum(), 5.0f);
    QCOMPARE(gaps.minimum(), -5.0f);
    for (int i = 0; i < 12; ++i)
        gaps.append(i == 11 ? 3.0f : qQNaN()); // the 5 and the -5 are overwritten
    QCOMPARE(gaps.maximum(), 3.0f);
    QCOMPARE(gaps.minimum(), 3.0f);

    ring.clear();
    QCOMPARE(ring.size(), 0);
    ring.append(4);
    QCOMPARE(ring.series(), QVector<float>{4});
    QCOMPARE(ring.minimum(), 4.0f);
}

void TestModel::statisticsAgainstBruteForce() {
    QRandomGenerator random(7);
    for (int round = 0; round < 300; ++round) {
        const int n = random.bounded(0, 60);
        QVector<float> values(n);
        for (float& v : values)
            v = float(random.bounded(0, 5000)) / 10.0f;
        const double a = random.bounded(-100, 800) / 10.0;
        const double b = random.bounded(-100, 800) / 10.0;
        int count = 0;
        double lo = 1e30, hi = -1e30, sum = 0;
        for (int k = 0; k < n; ++k) {
            const double x = k + 1;
            if (x < std::min(a, b) || x > std::max(a, b))
                continue;
            ++count;
            lo = std::min(lo, double(values[k]));
            hi = std::max(hi, double(values[k]));
            sum += values[k];
        }
        const auto s = rangeStatistics(values, a, b);
        QCOMPARE(s.has_value(), count > 0);
        if (!s)
            continue;
        QCOMPARE(s->count, count);
        QCOMPARE(s->minimum, lo);
        QCOMPARE(s->maximum, hi);
        QVERIFY(std::abs(s->average - sum / count) < 1e-9);
        QCOMPARE(s->uniformity.has_value(), sum > 0);
    }
    QVERIFY(!rangeStatistics({1, 2}, qQNaN(), 5));
}

namespace {
QByteArray hex(const char* h) {
    return QByteArray::fromHex(h);
}
// A display frame: start byte, twelve inner bytes, end byte.
QByteArray frameOf(const char* inner) {
    return hex("02") + hex(inner) + hex("03");
}
} // namespace

// Replies read from among display frames: whichever way the bytes can be read, the reply is
// taken only when it is the same in each and the bytes are not merely frames.
void TestModel::replyAmongFrames_data() {
    QTest::addColumn<int>("shape"); // 0 acknowledge, 4 "h", 9 "Z", 1 "a"
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("state");
    QTest::addColumn<QByteArray>("reply");
    const QByteArray rel = frameOf("AA0123A0000003000000000C"); // flag byte 8: Rel and Comp
    const QByteArray plain = frameOf("AA0123A00000100000000000");
    const QByteArray ack = hex("02AA00123403");
    QTest::newRow("ack between frames whose flag byte is 03")
        << 0 << rel + ack + rel << int(ReplySearch::Found) << ack;
    QTest::newRow("settings reply, then a frame reading x.x03")
        << 9 << hex("020100FA4000000003") + frameOf("AA01203A000010000000000F")
        << int(ReplySearch::Found) << hex("020100FA4000000003");
    QTest::newRow("a frame's tail that starts with 02, no reply")
        << 4 << hex("020053031000000400") + hex("03") << int(ReplySearch::None) << QByteArray();
    QTest::newRow("half a frame that starts like an SCF reply")
        << 1 << frameOf("0503E8A00000001000000000").left(7) << int(ReplySearch::None)
        << QByteArray();
    QTest::newRow("a whole frame that starts like a calibration reply")
        << 4 << frameOf("03E80302000000100000000A") << int(ReplySearch::None) << QByteArray();
    QTest::newRow("a reply alone could still grow into a frame")
        << 4 << hex("02051403") << int(ReplySearch::Pending) << hex("02051403");
    QTest::newRow("an acknowledge that is the start of a frame still arriving")
        << 0 << frameOf("AA0012340302000010000000").left(9) << int(ReplySearch::Pending) << ack;
    QTest::newRow("a reply, then the start of the next frame")
        << 0 << ack + plain + plain.left(5) << int(ReplySearch::Found) << ack;
    QTest::newRow("two different replies")
        << 4 << hex("02051403") + plain + hex("0203E803") << int(ReplySearch::None) << QByteArray();
}

void TestModel::replyAmongFrames() {
    QFETCH(int, shape);
    QFETCH(QByteArray, bytes);
    QFETCH(int, state);
    QFETCH(QByteArray, reply);
    const ReplyShape s = shape == 0   ? replyshape::acknowledge()
                         : shape == 1 ? replyshape::scf()
                                      : replyshape::framed(shape);
    const ReplySearch found = findReply(bytes, s);
    QCOMPARE(int(found.state), state);
    QCOMPARE(found.reply, reply);
}

// A sample as a CSV row and as the published message: local time with its offset, no number
// for an overload, illuminance in lux whatever the unit shown.
void TestModel::samplesAsRows_data() {
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("row");
    QTest::addColumn<double>("lux"); // NaN: null
    const QString t = QStringLiteral("2026-07-01T14:03:07+02:00");
    QTest::newRow("lux") << int(Sample::Ok) << "Lx" << t + ",12.34,Lx,ok,\n" << 12.34;
    // Lux as lux, to the reading's resolution: no float noise, no foot-candle unit beside it.
    QTest::newRow("foot-candles") << int(Sample::Ok) << "Fc" << t + ",12.34,Fc,ok,\n" << 132.8;
    QTest::newRow("overload") << int(Sample::Over) << "Lx" << t + ",,Lx,over,\n" << qQNaN();
}

void TestModel::samplesAsRows() {
    QFETCH(int, status);
    QFETCH(QString, unit);
    QFETCH(QString, row);
    QFETCH(double, lux);
    qputenv("TZ", "Europe/Berlin");
    Sample s;
    s.time = QDateTime(QDate(2026, 7, 1), QTime(14, 3, 7, 250));
    s.status = Sample::Status(status);
    s.unit = unit;
    if (s.status == Sample::Ok) {
        s.readingText = QStringLiteral("12.34");
        s.value = 12.34;
    }
    QCOMPARE(samples::csvRow(s, false), row);
    const QJsonObject o = QJsonDocument::fromJson(samples::stateJson(s, false)).object();
    QCOMPARE(o.value(QStringLiteral("time")).toString(), row.section(QLatin1Char(','), 0, 0));
    QVERIFY(!o.contains(QStringLiteral("unit")));
    QCOMPARE(o.value(QStringLiteral("reading_unit")).toString(), unit);
    if (s.status == Sample::Ok)
        QCOMPARE(o.value(QStringLiteral("reading")).toDouble(), 12.34);
    else
        QVERIFY(o.value(QStringLiteral("reading")).isNull());
    QCOMPARE(o.value(QStringLiteral("status")).toString(), row.section(QLatin1Char(','), 3, 3));
    if (std::isnan(lux))
        QVERIFY(o.value(QStringLiteral("illuminance")).isNull());
    else
        QCOMPARE(o.value(QStringLiteral("illuminance")).toDouble(), lux);
}

// Two recorders on one broker, on two hosts or on two ports of one, never share a topic or a
// Home Assistant id.
void TestModel::recorderNames_data() {
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("topic");
    QTest::addColumn<QString>("uniqueId");
    QTest::newRow("USB adapter") << "lab-a"
                                 << "/dev/ttyUSB0"
                                 << "lumetra/lab-a/ttyUSB0"
                                 << "lumetra_lab-a_ttyUSB0_illuminance";
    QTest::newRow("pseudo-terminal keeps its folder") << "lab-a"
                                                      << "/dev/pts/0"
                                                      << "lumetra/lab-a/pts-0"
                                                      << "lumetra_lab-a_pts-0_illuminance";
    QTest::newRow("stable by-id name")
        << "lab-b"
        << "/dev/serial/by-id/usb-FTDI_FT232R_A9X-if00-port0"
        << "lumetra/lab-b/usb-FTDI_FT232R_A9X-if00-port0"
        << "lumetra_lab-b_usb-FTDI_FT232R_A9X-if00-port0_illuminance";
    QTest::newRow("a link outside /dev") << "lab-b"
                                         << "/srv/meters/../meters/hall"
                                         << "lumetra/lab-b/hall"
                                         << "lumetra_lab-b_hall_illuminance";
    QTest::newRow("wildcards in a host name") << "a+b#c/d"
                                              << "/dev/ttyS0"
                                              << "lumetra/a_b_c_d/ttyS0"
                                              << "lumetra_a_b_c_d_ttyS0_illuminance";
}

void TestModel::recorderNames() {
    QFETCH(QString, host);
    QFETCH(QString, device);
    QFETCH(QString, topic);
    QFETCH(QString, uniqueId);
    const QString label = samples::deviceLabel(device);
    QCOMPARE(samples::defaultTopic(host, label), topic);
    const auto d = samples::discovery(topic, host, label);
    const QJsonObject o = QJsonDocument::fromJson(d.payload).object();
    QCOMPARE(o.value(QStringLiteral("unique_id")).toString(), uniqueId);
    QCOMPARE(o.value(QStringLiteral("state_topic")).toString(), topic + QStringLiteral("/state"));
    QVERIFY(!d.topic.contains('+') && !d.topic.contains('#'));
}

// Dose, time above a threshold and the daylight bands against a plain sum over a hundred
// slices of every step; and the daily profile's hours on days of 23 and 25 hours.
void TestModel::exposureAgainstBruteForce_data() {
    QTest::addColumn<QDateTime>("start");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<int>("interval");
    // 0 constant, 1 step, 2 ramp with a gap, 3 steady on the limits, 4 samples absent
    QTest::addColumn<int>("shape");
    QTest::addColumn<int>("hoursOnSecondDay");
    qputenv("TZ", "Europe/Berlin"); // the local times below are Berlin's
    const QDateTime plain(QDate(2026, 6, 10), QTime(8, 0));
    QTest::newRow("constant") << plain << 3600 << 1 << 0 << 0;
    QTest::newRow("a step") << plain << 3600 << 10 << 1 << 0;
    QTest::newRow("a ramp and a gap") << plain << 7200 << 5 << 2 << 0;
    QTest::newRow("steady on a band limit, then on the threshold") << plain << 3600 << 10 << 3 << 0;
    QTest::newRow("samples absent for ten minutes") << plain << 7200 << 5 << 4 << 0;
    // Two whole local days from midnight before each change of the clock in Berlin.
    QTest::newRow("a day of 23 hours")
        << QDateTime(QDate(2026, 3, 28), QTime(0, 0)) << 47 * 3600 - 60 << 60 << 0 << 23;
    QTest::newRow("a day of 25 hours")
        << QDateTime(QDate(2026, 10, 24), QTime(0, 0)) << 49 * 3600 - 60 << 60 << 1 << 24;
}

void TestModel::exposureAgainstBruteForce() {
    QFETCH(QDateTime, start);
    QFETCH(int, seconds);
    QFETCH(int, interval);
    QFETCH(int, shape);
    QFETCH(int, hoursOnSecondDay);
    qputenv("TZ", "Europe/Berlin");
    const auto light = [&](double t) {
        switch (shape) {
        case 1:
            return t < seconds / 2.0 ? 200.0 : 800.0;
        case 2:
            return t > 3000 && t < 3600 ? std::nan("") : 3000.0 * t / seconds;
        case 3:
            return t < seconds / 2.0 ? 100.0 : 500.0;
        case 4:
            return 3000.0 * t / seconds;
        default:
            return 300.0;
        }
    };
    exposure::Series series;
    series.intervalMs = interval * 1000;
    const qint64 t0 = start.toMSecsSinceEpoch();
    for (int t = 0; t <= seconds; t += interval) {
        if (shape == 4 && t > 3000 && t < 3600)
            continue; // no sample at all, not a NaN one
        series.timesMs << t0 + qint64(t) * 1000;
        series.lux << light(t);
    }
    const double threshold = 500;
    const auto f = exposure::figures(series, 0, series.timesMs.size() - 1, threshold);
    // The plain sum: every step cut into a hundred slices.
    double dose = 0, above = 0, gap = 0;
    std::array<double, 4> bands{};
    for (qsizetype i = 0; i + 1 < series.lux.size(); ++i) {
        const double a = series.lux[i], b = series.lux[i + 1];
        const double step = double(series.timesMs[i + 1] - series.timesMs[i]) / 1000.0;
        if (std::isnan(a) || std::isnan(b) || step > 2.0 * interval) {
            gap += step;
            continue;
        }
        for (int k = 0; k < 100; ++k) {
            // A reading on a limit belongs to the band above it.
            const double v = a + (b - a) * (k + 0.5) / 100.0, slice = step / 100.0;
            dose += v * slice / 3600.0;
            above += v >= threshold ? slice : 0;
            bands[v < 100 ? 0 : v < 500 ? 1 : v < 2000 ? 2 : 3] += slice;
        }
    }
    QVERIFY2(std::abs(f.luxHours - dose) <= 1e-6 * std::max(1.0, dose),
             qPrintable(QString::number(f.luxHours)));
    QCOMPARE(double(f.gapMs) / 1000.0, gap);
    QVERIFY(std::abs(double(f.aboveMs) / 1000.0 - above) <= interval / 100.0);
    QCOMPARE(f.aboveMs + f.belowMs, f.coveredMs);
    for (int k = 0; k < 4; ++k)
        QVERIFY2(std::abs(double(f.bandMs[size_t(k)]) / 1000.0 - bands[size_t(k)]) <=
                     interval / 50.0,
                 qPrintable(QString::number(k)));
    if (hoursOnSecondDay > 0) {
        const exposure::Profile p = exposure::dailyProfile(series);
        QCOMPARE(p.days, 2);
        int filled = 0;
        for (int h = 0; h < 24; ++h)
            filled += std::isnan(p.at(1, h)) ? 0 : 1;
        QCOMPARE(filled, hoursOnSecondDay);
    }
}

void TestModel::exposureReadout() {
    QCOMPARE(exposure::ev100(2.5), 0.0);
    QCOMPARE(exposure::ev100(10240), 12.0);
    QCOMPARE(exposure::stops(400, 100), 2.0);
    QCOMPARE(exposure::fNumber(2.5, 100, 1), 1.0);           // EV 0: f/1 at one second
    QCOMPARE(exposure::fNumber(10240, 400, 1.0 / 256), 8.0); // EV 14 at ISO 400: f/8
}

// A record file keeps day and time only: the month is the file's, and a day that goes down
// starts a new one.
void TestModel::recordFileTimes() {
    const QStringList stamps{"30-23:59:58", "31-00:00:00", "01-00:00:02", "xx", "01-00:00:04"};
    const auto times = exposure::recordFileTimes(stamps, QDateTime(QDate(2026, 2, 1), QTime(1, 0)));
    QCOMPARE(times[0], QDateTime(QDate(2026, 1, 30), QTime(23, 59, 58)));
    QCOMPARE(times[1], QDateTime(QDate(2026, 1, 31), QTime(0, 0, 0)));
    QCOMPARE(times[2], QDateTime(QDate(2026, 2, 1), QTime(0, 0, 2)));
    QVERIFY(!times[3].isValid());
    QCOMPARE(times[4], QDateTime(QDate(2026, 2, 1), QTime(0, 0, 4)));
    // A last stamp later in the month than the file's change: the month before.
    QCOMPARE(
        exposure::recordFileTimes({"30-23:59:58"}, QDateTime(QDate(2026, 5, 1), QTime(0, 0, 5)))
            .value(0),
        QDateTime(QDate(2026, 4, 30), QTime(23, 59, 58)));
}

// Stamps every ten minutes through a change of the clock in Berlin: in order, ten minutes
// apart, and said to be settled where the wall clock alone cannot tell the moment.
void TestModel::recordFileTimesAcrossClockChanges_data() {
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QStringList>("stamps");
    QTest::addColumn<QDateTime>("modified");
    QTest::addColumn<bool>("settled");
    const auto every10 = [](int day, QTime from, int count, int repeatAt = -1) {
        QStringList out;
        QTime t = from;
        for (int k = 0; k < count; ++k, t = t.addSecs(600)) {
            if (k == repeatAt)
                t = t.addSecs(-3600); // the PC's clock went back an hour
            out << QStringLiteral("%1-%2")
                       .arg(day, 2, 10, QLatin1Char('0'))
                       .arg(t.toString(QStringLiteral("HH:mm:ss")));
        }
        return out;
    };
    const auto noon = [](int y, int m, int d) { return QDateTime(QDate(y, m, d), QTime(12, 0)); };
    QTest::newRow("Berlin: PC stamps through the hour shown twice")
        << QByteArray("Europe/Berlin") << every10(25, QTime(1, 40), 16, 8) << noon(2026, 10, 25)
        << true;
    QTest::newRow("Berlin: a meter's clock through the skipped hour")
        << QByteArray("Europe/Berlin") << every10(29, QTime(1, 30), 12) << noon(2026, 3, 29)
        << true;
    QTest::newRow("Berlin: starting in the skipped hour")
        << QByteArray("Europe/Berlin") << every10(29, QTime(2, 0), 10) << noon(2026, 3, 29) << true;
    QTest::newRow("Berlin: an ordinary night")
        << QByteArray("Europe/Berlin") << every10(10, QTime(1, 30), 12) << noon(2026, 6, 10)
        << false;
    // West and east of Berlin by more than the hours between the wall clock and UTC.
    QTest::newRow("Los Angeles: the hour shown twice")
        << QByteArray("America/Los_Angeles") << every10(1, QTime(0, 40), 16, 8) << noon(2026, 11, 1)
        << true;
    QTest::newRow("Sydney: the hour shown twice")
        << QByteArray("Australia/Sydney") << every10(5, QTime(1, 40), 16, 8) << noon(2026, 4, 5)
        << true;
    QTest::newRow("Sydney: a meter's clock through the skipped hour")
        << QByteArray("Australia/Sydney") << every10(4, QTime(1, 30), 12) << noon(2026, 10, 4)
        << true;
}

void TestModel::recordFileTimesAcrossClockChanges() {
    QFETCH(QByteArray, zone);
    QFETCH(QStringList, stamps);
    QFETCH(QDateTime, modified);
    QFETCH(bool, settled);
    const QByteArray before = qgetenv("TZ");
    qputenv("TZ", zone);
    const auto restore = qScopeGuard([&before] {
        if (before.isNull())
            qunsetenv("TZ");
        else
            qputenv("TZ", before);
    });
    bool said = false;
    const QList<QDateTime> times = exposure::recordFileTimes(stamps, modified, &said);
    QCOMPARE(said, settled);
    // A stamp before the change is the moment the wall clock showed, to the second.
    const QDateTime first(
        QDate(modified.date().year(), modified.date().month(), stamps[0].left(2).toInt()),
        QTime::fromString(stamps[0].mid(3), QStringLiteral("HH:mm:ss")));
    if (first.isValid())
        QCOMPARE(times[0].toMSecsSinceEpoch(), first.toMSecsSinceEpoch());
    for (qsizetype i = 0; i < times.size(); ++i) {
        QVERIFY2(times[i].isValid(), qPrintable(stamps[i]));
        if (i > 0)
            QVERIFY2(times[i - 1].msecsTo(times[i]) == 600000,
                     qPrintable(stamps[i] + QLatin1Char(' ') + times[i].toString(Qt::ISODate)));
    }
}

// The measuring grid: the worked example, a strip spaced by its width, the band along the
// walls, the spacing's cap of 10 m, and a band that leaves nothing.
void TestModel::surveyGrid_data() {
    QTest::addColumn<double>("length");
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("band");
    QTest::addColumn<int>("columns"); // 0: no grid
    QTest::addColumn<int>("rows");
    QTest::addColumn<double>("spacingLength");
    QTest::addColumn<double>("spacingWidth");
    QTest::newRow("5 x 4 m") << 5.0 << 4.0 << 0.0 << 8 << 6 << 0.625 << 4.0 / 6;
    QTest::newRow("4 x 5 m, sides swapped") << 4.0 << 5.0 << 0.0 << 6 << 8 << 4.0 / 6 << 0.625;
    QTest::newRow("6 x 5 m less a 0.5 m band") << 6.0 << 5.0 << 0.5 << 8 << 6 << 0.625 << 4.0 / 6;
    QTest::newRow("a corridor 20 x 2 m") << 20.0 << 2.0 << 0.0 << 60 << 6 << 1.0 / 3 << 1.0 / 3;
    QTest::newRow("a hall 1000 x 800 m: 10 m at most")
        << 1000.0 << 800.0 << 0.0 << 100 << 80 << 10.0 << 10.0;
    QTest::newRow("a band wider than the room") << 2.0 << 1.0 << 0.5 << 0 << 0 << 0.0 << 0.0;
}

void TestModel::surveyGrid() {
    QFETCH(double, length);
    QFETCH(double, width);
    QFETCH(double, band);
    QFETCH(int, columns);
    QFETCH(int, rows);
    QFETCH(double, spacingLength);
    QFETCH(double, spacingWidth);
    const auto g = survey::gridFor(length, width, band);
    QCOMPARE(g.has_value(), columns > 0);
    if (!g)
        return;
    QCOMPARE(g->columns, columns);
    QCOMPARE(g->rows, rows);
    QCOMPARE(g->spacingAlongLength, spacingLength);
    QCOMPARE(g->spacingAcrossWidth, spacingWidth);
}

// Figures over the points with a reading; each criterion compared unrounded, so a U0 of
// 0.59988 fails 0.60 although it shows as 0.60.
void TestModel::surveyChecks() {
    const auto f = survey::figures({700.0, std::nullopt, 300.0, 500.3});
    QVERIFY(f);
    QCOMPARE(f->points, 3);
    QCOMPARE(f->minimum, 300.0);
    QCOMPARE(f->maximum, 700.0);
    const auto office = survey::builtInRequirements().first();
    const auto checks = survey::check(*f, office);
    const auto escape = survey::builtInRequirements().last();
    QCOMPARE(checks.size(), 2);
    QVERIFY(checks[0].passed);  // average 500.1 lx
    QVERIFY(!checks[1].passed); // U0 0.59988, shown as 0.60
    const auto dark = survey::figures({0.0, 30.0});
    const auto ratio = survey::check(*dark, escape);
    QCOMPARE(ratio.size(), 2);
    QVERIFY(!ratio[0].passed); // Emin 0 < 1
    QVERIFY(!ratio[1].passed); // no light at the darkest point: no bound
    QVERIFY(!survey::figures({std::nullopt}));

    // As shown: a failing U0 gets the decimals that show it failing.
    survey::Survey shown;
    shown.requirement = office;
    shown.points << survey::Point{0, 0, 0, 0, 700.0, false, {}}
                 << survey::Point{0, 1, 0, 0, 300.0, false, {}}
                 << survey::Point{0, 2, 0, 0, 500.3, false, {}}
                 << survey::Point{0, 3, 0, 0, 1.0, true, {}};
    const auto rows = survey::results(shown, survey::lux());
    const auto u0 = std::find_if(rows.begin(), rows.end(), [](const survey::Result& r) {
        return r.what.startsWith(QLatin1String("U0"));
    });
    QCOMPARE(u0->value, QStringLiteral("0.5999"));
    QCOMPARE(u0->verdict, QStringLiteral("FAIL"));
    // Nor does a failing average, Emin, or a U0 that only the seventh decimal tells apart.
    const auto shownAs = [](QList<double> lux, survey::Requirement r, const char* what) {
        survey::Survey t;
        t.requirement = r;
        for (int i = 0; i < lux.size(); ++i)
            t.points << survey::Point{0, i, 0, 0, lux[i], false, {}};
        for (const survey::Result& row : survey::results(t, survey::lux())) {
            if (row.what.startsWith(QLatin1String(what)))
                return row.value;
        }
        return QString();
    };
    QCOMPARE(shownAs({499.6, 499.8}, office, "Average"), QStringLiteral("499.7 lx"));
    QCOMPARE(shownAs({0.996, 30}, escape, "Emin"), QStringLiteral("0.996 lx"));
    QCOMPARE(shownAs({300, 700.0001}, {QStringLiteral("U0"), {}, 0.6, {}, {}}, "U0"),
             QStringLiteral("< 0.6"));
    QCOMPARE(rows.first().value, QStringLiteral("3 (1 obstructed, 0 not taken)"));
    QCOMPARE(survey::verdict(shown), QStringLiteral("FAIL"));
}

// The figures of a walked grid against a count by hand: obstructed and empty points are out.
void TestModel::surveyFiguresByHand() {
    survey::Survey s;
    s.length = 9;
    s.width = 6;
    s.band = 0;
    survey::layOut(s, 5, 7);
    QCOMPARE(s.points[8].x, 1.5 * 9 / 7); // B2 at the centre of its cell
    QCOMPARE(survey::pointName(1, 27), QStringLiteral("AB2"));
    QCOMPARE(survey::walkOrder(2, 3), (QList<int>{0, 1, 2, 5, 4, 3}));
    double sum = 0, lo = 1e9, hi = 0;
    int n = 0;
    for (int i = 0; i < s.points.size(); ++i) {
        const double v = 100 + (i * 37) % 211;
        if (i % 5 == 1)
            continue; // never taken
        s.points[i].lux = v;
        s.points[i].obstructed = i % 7 == 3;
        if (s.points[i].obstructed)
            continue;
        sum += v, lo = std::min(lo, v), hi = std::max(hi, v), ++n;
    }
    const auto f = survey::figures(survey::counted(s));
    QCOMPARE(f->points, n);
    QCOMPARE(f->average, sum / n);
    QCOMPARE(f->minimum, lo);
    QCOMPARE(f->maximum, hi);
    QCOMPARE(f->u0, lo / (sum / n));
    QCOMPARE(f->ud, lo / hi);
}

// No verdict but "incomplete" on evidence missing, and a hand-set grid named as departing from
// the rule where it is coarser. The office requirement (500 lx, U0 0.6) on a 5 x 4 m room.
void TestModel::surveyEvidence_data() {
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("columns"); // 0: the rule's grid
    QTest::addColumn<int>("measured");
    QTest::addColumn<int>("obstructed");
    QTest::addColumn<QString>("verdict");
    QTest::addColumn<QString>("missing");
    QTest::addColumn<QString>("departure");
    QTest::newRow("every point") << 0 << 0 << 48 << 0 << "PASS"
                                 << ""
                                 << "";
    QTest::newRow("one of 48 measured") << 0 << 0 << 1 << 0 << "INCOMPLETE"
                                        << "47 of 48 points not taken"
                                        << "";
    QTest::newRow("47 of 48 obstructed") << 0 << 0 << 1 << 47 << "INCOMPLETE"
                                         << "47 of 48 points obstructed: fewer than half measured"
                                         << "";
    QTest::newRow("half obstructed") << 0 << 0 << 24 << 24 << "PASS"
                                     << ""
                                     << "";
    QTest::newRow("two points by hand")
        << 1 << 2 << 2 << 0 << "PASS"
        << ""
        << "coarser than the rule's: spaced 2.00 × 3.00 m where the rule asks for 0.50 × 0.50 m";
    QTest::newRow("finer by hand") << 10 << 10 << 100 << 0 << "PASS"
                                   << ""
                                   << "finer than the rule's: spaced 0.40 × 0.30 m where the rule "
                                      "asks for 0.50 × 0.50 m";
}

void TestModel::surveyEvidence() {
    QFETCH(int, rows);
    QFETCH(int, columns);
    QFETCH(int, measured);
    QFETCH(int, obstructed);
    QFETCH(QString, verdict);
    QFETCH(QString, missing);
    QFETCH(QString, departure);
    survey::Survey s;
    s.length = 5;
    s.width = 4;
    s.requirement = survey::builtInRequirements().first();
    const auto rule = survey::gridFor(s.length, s.width, s.band);
    survey::layOut(s, rows ? rows : rule->rows, columns ? columns : rule->columns);
    for (int i = 0; i < measured + obstructed; ++i) {
        s.points[i].lux = 500.0;
        s.points[i].obstructed = i >= measured;
    }
    QCOMPARE(survey::verdict(s), verdict);
    QCOMPARE(survey::missingEvidence(s), missing);
    QCOMPARE(survey::gridDeparture(s), departure);
    for (const survey::Result& r : survey::results(s, survey::lux())) {
        if (!r.verdict.isEmpty())
            QCOMPARE(r.verdict,
                     missing.isEmpty() ? QStringLiteral("pass") : QStringLiteral("incomplete"));
    }
}

// The survey file keeps what it was given; a newer or broken file is refused with a reason.
void TestModel::surveyFile() {
    survey::Survey s;
    s.name = QStringLiteral("Office 2.14");
    s.length = 5;
    s.width = 4;
    s.requirement = survey::builtInRequirements().first();
    s.notes = QStringLiteral("Blinds down");
    s.rows = 6;
    s.columns = 8;
    s.points << survey::Point{0,
                              0,
                              0.3125,
                              0.333,
                              512.5,
                              false,
                              QDateTime(QDate(2026, 12, 9), QTime(10, 4, 5))}
             << survey::Point{5, 7, 4.6875, 3.667, std::nullopt, true, {}}
             << survey::Point{1, 0, 0.3125, 1.0, 480.0, false, {}, true};
    QString error;
    const auto back = survey::fromJson(survey::toJson(s), error);
    QVERIFY2(back, qPrintable(error));
    QCOMPARE(back->name, s.name);
    QCOMPARE(back->requirement.uniformity, std::optional(0.60));
    QVERIFY(!back->requirement.minimum);
    QCOMPARE(back->notes, s.notes);
    QCOMPARE(back->points.size(), 48); // every cell; those the file leaves out are empty
    QCOMPARE(back->points[0].lux, std::optional(512.5));
    QCOMPARE(back->points[0].taken, s.points[0].taken);
    QVERIFY(!back->points[47].lux && back->points[47].obstructed);
    QVERIFY(!back->points[20].lux && !back->points[20].taken.isValid());
    // A value typed by hand stays marked, in the file and in the points' CSV.
    QVERIFY(back->points[8].typed && !back->points[0].typed);
    QVERIFY(survey::pointsCsv(*back).contains("A2,2,1,0.313,1.000,480.00,false,,true,,,\n"));

    QByteArray newer = survey::toJson(s);
    newer.replace("\"version\": 3", "\"version\": 4");
    QVERIFY(!survey::fromJson(newer, error));
    QVERIFY(error.contains(QStringLiteral("newer")));
    QByteArray outside = survey::toJson(s);
    outside.replace("\"row\": 5", "\"row\": 6");
    QVERIFY(!survey::fromJson(outside, error));
    QVERIFY(!survey::fromJson("{\"format\":", error));
    QVERIFY(!error.contains("damaged"));
    // One of ours cut off is damaged, not some other file; a record file is named as such.
    QVERIFY(!survey::fromJson(survey::toJson(s).chopped(40), error));
    QVERIFY2(error.startsWith("This survey file is damaged"), qPrintable(error));
    QVERIFY(!survey::fromJson("Lx\tTime\tValue\r\n1\t06-14:05:31\t12.34\r\n", error));
    QVERIFY2(error.startsWith("This is no survey file of Lumetra. It is a record file"),
             qPrintable(error));
    QByteArray dark = survey::toJson(s);
    dark.replace("512.5", "-3");
    QVERIFY(!survey::fromJson(dark, error));
    for (const double band : {3.0, -1.0}) { // no area left; outside the room
        survey::Survey odd = s;
        odd.band = band;
        QVERIFY(!survey::fromJson(survey::toJson(odd), error));
    }
    survey::Survey twice = s;
    twice.points << s.points[0];
    QVERIFY(!survey::fromJson(survey::toJson(twice), error));
    QVERIFY(error.contains(QStringLiteral("A1")));
    // The window's own limits, and the real reason past them.
    survey::Survey huge = s;
    huge.rows = 1000;
    huge.columns = 101;
    huge.points.clear();
    QVERIFY(!survey::fromJson(survey::toJson(huge), error));
    QCOMPARE(error,
             QStringLiteral("The survey's grid has 101000 points; Lumetra takes at most 100000."));
    huge.rows = 1000;
    huge.columns = 100;
    QVERIFY2(survey::fromJson(survey::toJson(huge), error), qPrintable(error));
    // Notes longer than a report lays out at once are cut, and said to be; the points stay.
    survey::Survey wordy = s;
    wordy.notes = QString(survey::kMostNotesChars + 1, QLatin1Char('n'));
    QString shortened;
    const auto cut = survey::fromJson(survey::toJson(wordy), error, &shortened);
    QVERIFY(cut);
    QCOMPARE(cut->notes.size(), survey::kMostNotesChars);
    QCOMPARE(cut->points[0].lux, std::optional(512.5));
    QVERIFY(shortened.contains(QStringLiteral("notes")));
}

namespace {

using Rects = QList<QRectF>;
using Counts = QList<int>;

QPolygonF circle(QPointF centre, double radius, int corners = 32) {
    QPolygonF out;
    for (int k = 0; k < corners; ++k)
        out << centre + radius * QPointF(std::cos(k * 2 * M_PI / corners),
                                         std::sin(k * 2 * M_PI / corners));
    return out;
}

// An 8 x 6 m room less a 3 x 3 m corner.
const QPolygonF kL{{0, 0}, {8, 0}, {8, 3}, {5, 3}, {5, 6}, {0, 6}};

survey::Survey roomWith(const QPolygonF& outline, double length, double width, double band,
                        const QList<QPolygonF>& obstacles, const Rects& tasks,
                        const survey::Requirement& need) {
    survey::Survey s;
    s.outline = outline;
    s.length = length;
    s.width = width;
    s.band = band;
    s.obstacles = obstacles;
    for (const QRectF& t : tasks)
        s.areas << survey::Area{{}, survey::AreaKind::Task, survey::rectangle(t), need, 0, 0, {},
                                {}};
    survey::formAreas(s);
    if (s.areas.isEmpty()) {
        const auto g = survey::roomGrid(s);
        s.rows = g->rows;
        s.columns = g->columns;
    }
    survey::layOutAll(s);
    return s;
}

} // namespace

// The grids clipped to the room: counted by hand from the cell centres (see each row).
void TestModel::surveyAreasLaidOut_data() {
    QTest::addColumn<QPolygonF>("outline"); // empty: the rectangle
    QTest::addColumn<double>("length");
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("band");
    QTest::addColumn<QList<QPolygonF>>("obstacles");
    QTest::addColumn<Rects>("tasks");
    QTest::addColumn<Counts>("counts");    // points of the room's grid, or of each area
    QTest::addColumn<QRectF>("nothingIn"); // no point lies here
    QTest::addColumn<QRectF>("surroundingBounds");
    // The band leaves 7 x 5 m from (0.5, 0.5): 9 columns at 0.78 m, 6 rows at 0.83 m, 54
    // cells; the inset corner (x > 4.5, y > 2.5) takes 4 columns x 4 rows.
    QTest::newRow("L-shaped, band 0.5 m insets the inner corner")
        << kL << 8.0 << 6.0 << 0.5 << QList<QPolygonF>{} << Rects{} << Counts{38}
        << QRectF(4.5, 2.5, 4, 4) << QRectF();
    // 8 x 6 cells of 0.625 x 0.667 m; the four centres 0.46 m from (2.5, 2) are inside.
    QTest::newRow("a round column")
        << QPolygonF() << 5.0 << 4.0 << 0.0 << QList<QPolygonF>{circle({2.5, 2}, 0.6)} << Rects{}
        << Counts{44} << QRectF(2.2, 1.7, 0.6, 0.6) << QRectF();
    // Task 0.6 m: 4 x 4; its band clipped to 1.1 x 1.1 m: 5 x 5 at 0.22 m less 3 x 3 on the
    // task; the background fills the rest up to 4.6 m, clipped to the room.
    QTest::newRow("a task in the corner at the walls")
        << QPolygonF() << 5.0 << 4.0 << 0.0 << QList<QPolygonF>{} << Rects{{0, 0, 0.6, 0.6}}
        << Counts{16, 16, -1} << QRectF() << QRectF(0, 0, 1.1, 1.1);
    QTest::newRow("an L-shaped room with a task and a column")
        << kL << 8.0 << 6.0 << 0.5 << QList<QPolygonF>{circle({6.5, 1.5}, 0.3)}
        << Rects{{1, 1, 0.6, 0.6}} << Counts{16, -1, -1} << QRectF(5.05, 3.05, 3, 3)
        << QRectF(0.5, 0.5, 1.6, 1.6);
}

void TestModel::surveyAreasLaidOut() {
    QFETCH(QPolygonF, outline);
    QFETCH(double, length);
    QFETCH(double, width);
    QFETCH(double, band);
    QFETCH(QList<QPolygonF>, obstacles);
    QFETCH(Rects, tasks);
    QFETCH(Counts, counts);
    QFETCH(QRectF, nothingIn);
    QFETCH(QRectF, surroundingBounds);
    const survey::Survey s = roomWith(outline, length, width, band, obstacles, tasks, {});
    QCOMPARE(s.areas.size(), tasks.isEmpty() ? 0 : 3);
    for (int a = 0; a < counts.size(); ++a) {
        const auto n = std::count_if(s.points.begin(), s.points.end(), [&](const auto& p) {
            return p.area == (tasks.isEmpty() ? -1 : a);
        });
        if (counts[a] >= 0)
            QCOMPARE(int(n), counts[a]);
        QVERIFY(n > 0);
    }
    QPainterPath room;
    room.addPolygon(survey::roomOutline(s));
    for (const survey::Point& p : s.points) {
        const QPointF at(p.x, p.y);
        QVERIFY2(room.contains(at) && !nothingIn.contains(at), qPrintable(survey::pointName(s, p)));
        for (const QPolygonF& o : obstacles)
            QVERIFY(!o.containsPoint(at, Qt::OddEvenFill));
    }
    // Named by area; walked area by area, every point once.
    QList<int> walk = survey::walkOrder(s);
    QCOMPARE(walk.size(), s.points.size());
    // Area after area, tasks first; row after row in each, every other one walked back.
    for (qsizetype k = 1; k < walk.size(); ++k) {
        const survey::Point &a = s.points[walk[k - 1]], &b = s.points[walk[k]];
        QVERIFY(b.area > a.area ||
                (b.area == a.area &&
                 (b.row > a.row || (b.row == a.row && (a.row % 2 == 0 ? b.column > a.column
                                                                      : b.column < a.column)))));
    }
    std::sort(walk.begin(), walk.end());
    QCOMPARE(std::adjacent_find(walk.begin(), walk.end()), walk.end());
    if (!tasks.isEmpty()) {
        QCOMPARE(survey::pointName(s, s.points[survey::walkOrder(s).first()]),
                 QStringLiteral("T1-A1"));
        QVERIFY(survey::pointName(s, s.points.last()).startsWith(QLatin1String("BG-")));
        QVERIFY(std::abs(s.areas[1].region.boundingRect().left() - surroundingBounds.left()) <
                1e-6);
        QVERIFY(std::abs(s.areas[1].region.boundingRect().width() - surroundingBounds.width()) <
                1e-6);
    }
}

// The verdicts of the three areas against hand calculations. A 10 x 10 m room with one 0.6 m
// task at (4, 4): its surrounding band holds 6 x 6 cells less the 2 x 2 on the task.
void TestModel::surveyAreaVerdicts_data() {
    QTest::addColumn<double>("taskNeed");
    QTest::addColumn<double>("taskLux");
    QTest::addColumn<double>("around");    // at every surrounding point but one
    QTest::addColumn<double>("aroundLow"); // at the first
    QTest::addColumn<double>("background");
    QTest::addColumn<double>("aroundNeed");
    QTest::addColumn<double>("backgroundNeed");
    QTest::addColumn<QString>("verdicts"); // task, surrounding, background, overall
    QTest::newRow("750 lx: 500 around, 166.7 behind, at their limits")
        << 750.0 << 800.0 << 500.0 << 500.0 << 166.7 << 500.0 << 500.0 / 3 << "PASS PASS PASS PASS";
    QTest::newRow("500 lx: 300 around, a hair short")
        << 500.0 << 520.0 << 299.9 << 299.9 << 120.0 << 300.0 << 100.0 << "PASS FAIL PASS FAIL";
    QTest::newRow("300 lx: 200 around, 66.6 behind is short of 66.67")
        << 300.0 << 310.0 << 210.0 << 210.0 << 66.6 << 200.0 << 200.0 / 3 << "PASS PASS FAIL FAIL";
    QTest::newRow("200 lx: the task's own around")
        << 200.0 << 200.0 << 200.0 << 200.0 << 70.0 << 200.0 << 200.0 / 3 << "PASS PASS PASS PASS";
    QTest::newRow("1000 lx: 500 around") << 1000.0 << 1000.0 << 480.0 << 480.0 << 170.0 << 500.0
                                         << 500.0 / 3 << "PASS FAIL PASS FAIL";
    // (120 + 31 x 320) / 32 = 313.75 lx passes 300; U0 = 120 / 313.75 = 0.382 fails 0.40.
    QTest::newRow("around fails U0 0.40 while the task passes")
        << 500.0 << 550.0 << 320.0 << 120.0 << 150.0 << 300.0 << 100.0 << "PASS FAIL PASS FAIL";
}

void TestModel::surveyAreaVerdicts() {
    QFETCH(double, taskNeed);
    QFETCH(double, taskLux);
    QFETCH(double, around);
    QFETCH(double, aroundLow);
    QFETCH(double, background);
    QFETCH(double, aroundNeed);
    QFETCH(double, backgroundNeed);
    QFETCH(QString, verdicts);
    survey::Survey s = roomWith({}, 10, 10, 0, {}, Rects{{4, 4, 0.6, 0.6}},
                                {QStringLiteral("Task"), taskNeed, 0.6, {}, {}});
    QCOMPARE(s.areas.size(), 3);
    bool first = true;
    int around_ = 0;
    for (survey::Point& p : s.points) {
        p.lux = p.area == 0 ? taskLux : p.area == 2 ? background : first ? aroundLow : around;
        if (p.area == 1) {
            first = false;
            ++around_;
        }
    }
    QCOMPARE(around_, 32);
    QCOMPARE(*s.areas[1].requirement.average, aroundNeed);
    QCOMPARE(*s.areas[1].requirement.uniformity, 0.40);
    QVERIFY(std::abs(*s.areas[2].requirement.average - backgroundNeed) < 1e-9);
    QCOMPARE(*s.areas[2].requirement.uniformity, 0.10);
    const QStringList want = verdicts.split(QLatin1Char(' '));
    for (int a = 0; a < 3; ++a)
        QCOMPARE(survey::verdict(s, a), want[a]);
    QCOMPARE(survey::verdict(s), want[3]);
    // The surrounding area's Ē to 0.1 lx as shown.
    const double mean = (aroundLow + 31 * around) / 32;
    for (const survey::Result& r : survey::results(s, survey::lux(), 1)) {
        if (r.what.startsWith(QLatin1String("Average")))
            QVERIFY2(std::abs(r.value.section(QLatin1Char(' '), 0, 0).toDouble() - mean) < 0.51,
                     qPrintable(r.value));
    }
}

// Outlines typed by a person: a simple polygon is taken; a crossing, a corner twice, an edge
// turning back on itself or a corner on another edge is refused with the edges named.
void TestModel::surveyOutlines_data() {
    QTest::addColumn<QPolygonF>("outline");
    QTest::addColumn<QString>("problem"); // empty: taken
    QTest::newRow("a rectangle") << QPolygonF{{0, 0}, {5, 0}, {5, 4}, {0, 4}} << QString();
    QTest::newRow("an L, six corners") << kL << QString();
    QTest::newRow("a bow tie") << QPolygonF{{0, 0}, {4, 0}, {0, 3}, {4, 3}}
                               << "crosses itself: edges 2–3 and 4–1 cross";
    QTest::newRow("an L with a corner typed wrong")
        << QPolygonF{{0, 0}, {8, 0}, {8, 3}, {5, -1}, {5, 6}, {0, 6}}
        << "crosses itself: edges 1–2 and 3–4 cross";
    QTest::newRow("a corner on another edge")
        << QPolygonF{{0, 0}, {4, 0}, {4, 4}, {2, 0}, {0, 4}} << "crosses itself";
    QTest::newRow("an edge turning back")
        << QPolygonF{{0, 0}, {4, 0}, {2, 0}, {2, 3}} << "crosses itself: edges 1–2 and 3–4 cross";
    QTest::newRow("a corner twice")
        << QPolygonF{{0, 0}, {4, 0}, {4, 0}, {0, 3}} << "corners 2 and 3 are the same";
    QTest::newRow("two corners") << QPolygonF{{0, 0}, {4, 0}} << "at least three corners";
    QTest::newRow("no place") << QPolygonF{{0, 0}, {qQNaN(), 0}, {0, 3}} << "corner 2 lies at";
    QTest::newRow("a round column of 200 corners") << circle({0, 0}, 1, 200) << QString();
    QTest::newRow("201 corners") << circle({0, 0}, 1, 201) << "Lumetra takes at most 200";
}

void TestModel::surveyOutlines() {
    QFETCH(QPolygonF, outline);
    QFETCH(QString, problem);
    const QString why = survey::outlineProblem(outline, QStringLiteral("The outline"));
    QVERIFY2(problem.isEmpty() ? why.isEmpty() : why.contains(problem), qPrintable(why));
}

// Where a desk may stand: against a wall, a column, another desk or the inner corner of an L,
// but not through them. A 5 x 4 m room with a round column at (2.5, 2) and a desk at (3, 0).
void TestModel::surveyTaskPlaces_data() {
    QTest::addColumn<bool>("lShaped");
    QTest::addColumn<QRectF>("task");
    QTest::addColumn<QString>("problem");
    QTest::newRow("in the corner") << false << QRectF(0, 0, 0.6, 0.6) << QString();
    QTest::newRow("against the far walls") << false << QRectF(4.4, 3.4, 0.6, 0.6) << QString();
    QTest::newRow("against the desk") << false << QRectF(2, 0, 1, 0.6) << QString();
    QTest::newRow("against the column") << false << QRectF(1.6, 1.7, 0.6, 0.6) << QString();
    QTest::newRow("over the desk") << false << QRectF(2.5, 0.2, 1, 0.6) << "overlaps Task 1";
    QTest::newRow("on the column") << false << QRectF(2, 1.5, 0.6, 0.6) << "on obstacle 1";
    QTest::newRow("through the wall") << false << QRectF(4.6, 1, 0.6, 0.6) << "outside the room";
    QTest::newRow("in the inner corner of an L") << true << QRectF(4.4, 2.4, 0.6, 0.6) << QString();
    QTest::newRow("across the inner corner")
        << true << QRectF(4.5, 2.5, 1, 1) << "outside the room";
}

void TestModel::surveyTaskPlaces() {
    QFETCH(bool, lShaped);
    QFETCH(QRectF, task);
    QFETCH(QString, problem);
    const survey::Survey s = roomWith(lShaped ? kL : QPolygonF(), lShaped ? 8 : 5, lShaped ? 6 : 4,
                                      0.5, {circle({2.5, 2}, 0.3)}, Rects{{3, 0, 1, 0.6}}, {});
    const QString why = survey::taskProblem(s, task);
    QVERIFY2(problem.isEmpty() ? why.isEmpty() : why.contains(problem), qPrintable(why));
}

// The second version of the file: an L-shaped room with a column and a task kept whole; the
// first version read as a rectangle with the same figures; what makes no sense refused.
void TestModel::surveyFileVersion2_data() {
    QTest::addColumn<QByteArray>("from");
    QTest::addColumn<QByteArray>("to");
    QTest::addColumn<QString>("error"); // empty: read
    QTest::newRow("as written") << QByteArray() << QByteArray() << QString();
    QTest::newRow("version 4") << QByteArray("\"version\": 3") << QByteArray("\"version\": 4")
                               << "newer Lumetra";
    QTest::newRow("an outline that crosses itself")
        << QByteArray("[\n            5,\n            3\n        ]")
        << QByteArray("[\n            5,\n            -1\n        ]")
        << "The outline crosses itself: edges";
    QTest::newRow("a point outside its area")
        << QByteArray("\"area\": \"Task 1\",\n            \"column\": 0")
        << QByteArray("\"area\": \"Task 1\",\n            \"column\": 9")
        << "point T1-J1 lies outside its area";
    QTest::newRow("an area outside the room")
        << QByteArray("[\n                    1,\n                    1\n                ]")
        << QByteArray("[\n                    7,\n                    5\n                ]")
        << "outside the room";
    QTest::newRow("an area of no kind")
        << QByteArray("\"kind\": \"task\"") << QByteArray("\"kind\": \"desk\"") << "no kind";
    QTest::newRow("version 2, without evidence")
        << QByteArray("\"version\": 3") << QByteArray("\"version\": 2") << QString();
    QTest::newRow("a maintenance factor above 1")
        << QByteArray("\"maintenance_factor\": 0.8") << QByteArray("\"maintenance_factor\": 1.5")
        << "maintenance factor makes no sense";
    QTest::newRow("a class of no standard")
        << QByteArray("\"class\": \"\"") << QByteArray("\"class\": \"Z\"")
        << "instrument makes no sense";
    QTest::newRow("a maintenance factor as text")
        << QByteArray("\"maintenance_factor\": 0.8")
        << QByteArray("\"maintenance_factor\": \"0.05\"") << "installation makes no sense";
    QTest::newRow("new as text") << QByteArray("\"new\": false") << QByteArray("\"new\": \"yes\"")
                                 << "installation makes no sense";
    QTest::newRow("a calibration date as a number")
        << QByteArray("\"calibrated\": null") << QByteArray("\"calibrated\": 20230115")
        << "instrument makes no sense";
    QTest::newRow("stability as text")
        << QByteArray("\"stability\": {") << QByteArray("\"stability\": \"x\", \"s\": {")
        << "stability check makes no sense";
    QTest::newRow("a lights-off reading below 0")
        << QByteArray("\"lux_off\": null") << QByteArray("\"lux_off\": -5")
        << "holds no illuminance";
}

void TestModel::surveyFileVersion2() {
    QFETCH(QByteArray, from);
    QFETCH(QByteArray, to);
    QFETCH(QString, error);
    survey::Survey s = roomWith(kL, 8, 6, 0.5, {circle({6.5, 1.5}, 0.3)}, Rects{{1, 1, 0.6, 0.6}},
                                survey::builtInRequirements().first());
    for (int i = 0; i < s.points.size(); ++i)
        s.points[i].lux = 300 + i;
    QByteArray bytes = survey::toJson(s);
    if (!from.isEmpty()) {
        QVERIFY2(bytes.contains(from), bytes.constData());
        bytes.replace(bytes.indexOf(from), from.size(), to);
    }
    QString why;
    const auto back = survey::fromJson(bytes, why);
    QCOMPARE(back.has_value(), error.isEmpty());
    if (!back) {
        QVERIFY2(why.contains(error), qPrintable(why));
        return;
    }
    QCOMPARE(back->outline, kL);
    QCOMPARE(back->obstacles.size(), 1);
    QCOMPARE(back->areas.size(), 3);
    QCOMPARE(back->points.size(), s.points.size());
    for (int i = 0; i < s.points.size(); ++i) {
        QCOMPARE(back->points[i].lux, s.points[i].lux);
        QCOMPARE(survey::pointName(*back, back->points[i]), survey::pointName(s, s.points[i]));
    }
    QCOMPARE(survey::verdict(*back), survey::verdict(s));
    QVERIFY(survey::pointsCsv(*back).contains(",Surrounding 1,,\n"));

    // Two desks side by side filling a narrow room's end: the first has no band of its own
    // left, and the second's points still carry its number.
    const survey::Survey pair =
        roomWith({}, 3, 0.6, 0, {}, Rects{{0, 0, 0.6, 0.6}, {0.6, 0, 0.6, 0.6}}, {});
    QCOMPARE(pair.areas[2].name, QStringLiteral("Surrounding 2"));
    const auto second = std::find_if(pair.points.begin(), pair.points.end(),
                                     [](const survey::Point& p) { return p.area == 2; });
    QVERIFY(survey::pointName(pair, *second).startsWith(QLatin1String("S2-")));

    // A counter along a whole wall of a plain room: read back point for point.
    survey::Survey counter = roomWith({}, 5, 4, 0.5, {survey::rectangle({0, 0, 5, 0.7})}, {}, {});
    for (int i = 0; i < counter.points.size(); ++i)
        counter.points[i].lux = 200 + i;
    const auto again = survey::fromJson(survey::toJson(counter), why);
    QVERIFY2(again && again->points.size() == counter.points.size(), qPrintable(why));
    QCOMPARE(again->points.last().lux, counter.points.last().lux);

    // A rectangle room of the first version, as the window wrote it before areas came.
    survey::Survey plain;
    plain.length = 5;
    plain.width = 4;
    plain.requirement = survey::builtInRequirements().first();
    survey::layOut(plain, 6, 8);
    for (int i = 0; i < plain.points.size(); ++i)
        plain.points[i].lux = 450 + 3 * i;
    QJsonObject v1 = QJsonDocument::fromJson(survey::toJson(plain)).object();
    for (const char* key : {"outline", "obstacles", "areas"})
        v1.remove(QLatin1String(key));
    v1.insert(QStringLiteral("version"), 1);
    const auto old = survey::fromJson(QJsonDocument(v1).toJson(), why);
    QVERIFY2(old, qPrintable(why));
    QVERIFY(old->outline.isEmpty() && old->areas.isEmpty());
    QCOMPARE(survey::results(*old, survey::lux()).size(),
             survey::results(plain, survey::lux()).size());
    for (int i = 0; i < survey::results(plain, survey::lux()).size(); ++i)
        QCOMPARE(survey::results(*old, survey::lux())[i].value,
                 survey::results(plain, survey::lux())[i].value);
    QCOMPARE(survey::verdict(*old), survey::verdict(plain));
}

namespace {

// A light that steps: each knot's lux holds until the next; sampled every quarter second
// from 0 to `end`, with no readings inside the gaps (as a pulled cable leaves).
using Knots = QList<QPair<double, double>>;
constexpr qint64 kT0 = 1'780'000'000'000;

QList<emergency::Reading> steppedLight(const Knots& knots, double end, const Knots& gaps) {
    QList<emergency::Reading> out;
    for (double t = 0; t <= end + 1e-9; t += 0.25) {
        const bool away = std::any_of(gaps.begin(), gaps.end(),
                                      [t](const auto& g) { return t > g.first && t < g.second; });
        if (away)
            continue;
        double lux = knots.first().second;
        for (const auto& k : knots) {
            if (k.first <= t + 1e-9)
                lux = k.second;
        }
        out << emergency::Reading{kT0 + qint64(std::llround(t * 1000)), lux};
    }
    return out;
}

} // namespace

// Each series cuts the mains at 10 s (the light drops from 420 lx); times are checked to the
// sample, from that moment.
void TestModel::emergencyAssessment_data() {
    QTest::addColumn<QString>("rule");
    QTest::addColumn<double>("rated");
    QTest::addColumn<Knots>("light");
    QTest::addColumn<Knots>("gaps");
    QTest::addColumn<QList<double>>("walk"); // lux at 12 s, 13 s, … (the start), then at the end
    QTest::addColumn<QString>("verdict");
    QTest::addColumn<double>("t50");     // -1: none
    QTest::addColumn<double>("t100");    // -1: none
    QTest::addColumn<double>("failure"); // -1: held
    const Knots rise{{0, 420}, {10, 0.3}, {11, 0.6}, {13, 1.2}};
    const QList<double> none;
    QTest::newRow("a clean pass") << "en1838-route" << 60.0 << rise << Knots{} << none << "pass"
                                  << 1.0 << 3.0 << -1.0;
    QTest::newRow("a dip of 8 s is shown, not failed")
        << "en1838-route" << 60.0 << (rise + Knots{{40, 0.8}, {48, 1.2}}) << Knots{} << none
        << "pass" << 1.0 << 3.0 << -1.0;
    QTest::newRow("a dip of 12 s fails at its start")
        << "en1838-route" << 60.0 << (rise + Knots{{40, 0.8}, {52, 1.2}}) << Knots{} << none
        << "fail" << 1.0 << 3.0 << 30.0;
    QTest::newRow("a slow response")
        << "en1838-route" << 120.0 << Knots{{0, 420}, {10, 0.3}, {11, 0.6}, {80, 1.2}} << Knots{}
        << none << "fail" << 1.0 << 70.0 << 60.0;
    QTest::newRow("a rise within the limit is no dip")
        << "en1838-route" << 120.0 << Knots{{0, 420}, {10, 0.3}, {11, 0.6}, {60, 1.2}} << Knots{}
        << none << "pass" << 1.0 << 50.0 << -1.0;
    QTest::newRow("a collapse before the end")
        << "en1838-route" << 60.0 << (rise + Knots{{55, 0.1}}) << Knots{} << none << "fail" << 1.0
        << 3.0 << 45.0;
    QTest::newRow("a collapse in the last seconds fails at the end")
        << "en1838-route" << 60.0 << (rise + Knots{{66, 0.1}}) << Knots{} << none << "fail" << 1.0
        << 3.0 << -1.0;
    QTest::newRow("a collapse, then the meter away to the end")
        << "en1838-route" << 60.0 << (rise + Knots{{62, 0.1}}) << Knots{{67, 80}} << none << "fail"
        << 1.0 << 3.0 << -1.0;
    QTest::newRow("a dip split by a short gap still fails")
        << "en1838-route" << 60.0 << (rise + Knots{{40, 0.5}, {52, 1.2}}) << Knots{{45, 48}} << none
        << "fail" << 1.0 << 3.0 << 30.0;
    QTest::newRow("a gap of 15 s is incomplete")
        << "en1838-route" << 60.0 << rise << Knots{{30, 45}} << none << "incomplete" << 1.0 << 3.0
        << -1.0;
    QTest::newRow("a gap of 8 s is not") << "en1838-route" << 60.0 << rise << Knots{{30, 38}}
                                         << none << "pass" << 1.0 << 3.0 << -1.0;
    QTest::newRow("no failure edge") << "en1838-route" << 60.0 << Knots{{0, 420}} << Knots{} << none
                                     << "" << -1.0 << -1.0 << -1.0;
    QTest::newRow("open area at 0.5 lx")
        << "en1838-open" << 60.0 << Knots{{0, 300}, {10, 0.2}, {10.5, 0.25}, {12, 0.55}} << Knots{}
        << none << "pass" << 0.5 << 2.0 << -1.0;
    QTest::newRow("high-risk area: 10 % of 420 lx is 42 lx")
        << "en1838-task" << 30.0 << Knots{{0, 420}, {10, 45}} << Knots{} << none << "pass" << -1.0
        << 0.0 << -1.0;
    QTest::newRow("high-risk area: 30 lx is not enough")
        << "en1838-task" << 30.0 << Knots{{0, 420}, {10, 30}} << Knots{} << none << "fail" << -1.0
        << -1.0 << 0.5;
    // Typed: 2 lx, 100 % within 5 s, no 50 % limit.
    QTest::newRow("a typed rule met") << "typed" << 30.0 << Knots{{0, 420}, {10, 0.3}, {13, 2.5}}
                                      << Knots{} << none << "pass" << -1.0 << 3.0 << -1.0;
    QTest::newRow("a typed rule missed") << "typed" << 30.0 << Knots{{0, 420}, {10, 0.3}, {16, 2.5}}
                                         << Knots{} << none << "fail" << -1.0 << 6.0 << -1.0;
    QTest::newRow("NFPA: walks at the start and the end pass")
        << "nfpa101" << 60.0 << Knots{{0, 420}, {10, 0.3}, {12, 2}} << Knots{}
        << QList<double>{12, 11, 10.4, -1, 7, 6, 6.5} << "pass" << -1.0 << 2.0 << -1.0;
    QTest::newRow("NFPA: the end average under 6.5 lx fails")
        << "nfpa101" << 60.0 << Knots{{0, 420}, {10, 0.3}, {12, 2}} << Knots{}
        << QList<double>{12, 11, 10.4, -1, 6, 6, 6.5} << "fail" << -1.0 << 2.0 << -1.0;
    QTest::newRow("NFPA: a ratio over 40 fails")
        << "nfpa101" << 60.0 << Knots{{0, 420}, {10, 0.3}, {12, 2}} << Knots{}
        << QList<double>{-1, 60, 1.2, 7} << "fail" << -1.0 << 2.0 << -1.0;
}

void TestModel::emergencyAssessment() {
    QFETCH(QString, rule);
    QFETCH(double, rated);
    QFETCH(Knots, light);
    QFETCH(Knots, gaps);
    QFETCH(QList<double>, walk);
    QFETCH(QString, verdict);
    QFETCH(double, t50);
    QFETCH(double, t100);
    QFETCH(double, failure);
    // A typed rule goes through the JSON it is remembered as.
    const auto typed =
        emergency::ruleOfJson(emergency::ruleJson(emergency::typedRule(2, -1, 5, 40)));
    emergency::Input in{rule == "typed" ? *typed : *emergency::ruleById(rule),
                        rated,
                        steppedLight(light, 10 + rated + 1, gaps),
                        {},
                        true};
    bool late = false;
    for (const double lux : walk) {
        if (lux < 0)
            late = true;
        else
            in.walk << emergency::WalkPoint{QStringLiteral("P%1").arg(in.walk.size() + 1),
                                            late ? rated - 5 : 2.0, lux};
    }
    const emergency::Assessment a = emergency::assess(in);
    QCOMPARE(a.failureFound, !verdict.isEmpty());
    if (verdict.isEmpty())
        return;
    QCOMPARE(a.failureMs, kT0 + 10'000);
    QCOMPARE(emergency::verdictName(a.verdict), verdict);
    QCOMPARE(a.t50S.value_or(-1), t50);
    QCOMPARE(a.t100S.value_or(-1), t100);
    QCOMPARE(a.timeToFailureS.value_or(-1), failure);
    QCOMPARE(a.reasons.isEmpty(), verdict == QLatin1String("pass"));
    // The log book's entry carries the same figures.
    const QJsonObject e = emergency::entryJson(in, a, {});
    QCOMPARE(e.value("verdict").toString(), verdict);
    QCOMPARE(e.value("time_to_failure_s").toDouble(-1), failure);
}

void TestModel::emergencyRecordingsRefused_data() {
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QString>("error");
    const QByteArray head = "time,reading,unit,status,until\n";
    QTest::newRow("no recording") << QByteArray("hello\n") << "no recording";
    QTest::newRow("no readings") << head + "2026-12-10T10:00:00+00:00,,,mode,\n"
                                 << "no readings";
    QTest::newRow("times go back") << head + "2026-12-10T10:00:01+00:00,5,Lx,ok,\n"
                                             "2026-12-10T10:00:00+00:00,5,Lx,ok,\n"
                                   << "go back at line 3";
    QTest::newRow("a row of something else") << head + "yesterday,5,Lx,ok,\n"
                                             << "line 2";
    QTest::newRow("a gap that ends before it starts")
        << head + "2026-12-10T10:00:05+00:00,,,gap,2026-12-10T10:00:01+00:00\n"
        << "line 2";
}

void TestModel::emergencyRecordingsRefused() {
    QFETCH(QByteArray, csv);
    QFETCH(QString, error);
    QString why;
    QVERIFY(!emergency::readingsOfCsv(csv, why));
    QVERIFY2(why.contains(error), qPrintable(why));
}

void TestModel::emergencyLogBookSurvivesACutOffLine() {
    emergency::Input in{*emergency::ruleById("en1838-route"),
                        60,
                        steppedLight({{0, 420}, {10, 0.3}, {13, 1.2}}, 71, {}),
                        {},
                        true};
    const QByteArray line = QJsonDocument(emergency::entryJson(in, emergency::assess(in), {}))
                                .toJson(QJsonDocument::Compact);
    // A power cut while the third entry was appended.
    const emergency::LogBook book =
        emergency::readLogBook(line + '\n' + line + '\n' + line.left(line.size() / 2));
    QCOMPARE(book.entries.size(), 2);
    QCOMPARE(book.damaged, QStringList{"line 3 is cut off; it is left out."});
    QCOMPARE(book.entries.first().value("t100_s").toDouble(), 3.0);
}

void TestModel::emergencyDurationsAsRead_data() {
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("response") << 6.249 << "6.25 s";
    QTest::newRow("a minute") << 60.0 << "1 min";
    QTest::newRow("minutes and seconds") << 3130.0 << "52 min 10 s";
    QTest::newRow("1.5 h") << 5400.0 << "1 h 30 min";
    QTest::newRow("3 h") << 10800.0 << "3 h";
    QTest::newRow("an hour and a few seconds") << 3605.0 << "1 h 0 min 5 s";
}

void TestModel::emergencyDurationsAsRead() {
    QFETCH(double, seconds);
    QFETCH(QString, text);
    QCOMPARE(emergency::durationText(seconds), text);
}

QTEST_APPLESS_MAIN(TestModel)
// The evidence's figures against hand calculations, and kept by the file: three points of a
// room asking for 500 lx and U0 0.60, measured on 2026-06-15. `off`, `earlier`: -1 for none.
void TestModel::surveyAsEvidence_data() {
    QTest::addColumn<QList<double>>("on");
    QTest::addColumn<QList<double>>("off");
    QTest::addColumn<double>("mf"); // 0: in service
    QTest::addColumn<QString>("accuracyClass");
    QTest::addColumn<int>("calibratedMonthsAgo"); // -1: not stated
    QTest::addColumn<QList<double>>("earlier");   // with 100 lx of daylight where negative
    QTest::addColumn<QString>("said");
    using L = QList<double>;
    QTest::newRow("new, passing: 640 x 0.80 = 512")
        << L{650, 640, 630} << L{} << 0.8 << "" << -1 << L{}
        << "Average: pass | U0: pass | measured 640 lx × MF 0.80 = 512 lx ≥ 500 lx";
    QTest::newRow("new, failing: 612 x 0.80 = 490")
        << L{612, 612, 612} << L{} << 0.8 << "" << -1 << L{}
        << "Average: FAIL | U0: pass | measured 612 lx × MF 0.80 = 490 lx < 500 lx";
    QTest::newRow("in service: 612 itself")
        << L{612, 612, 612} << L{} << 0.0 << "" << -1 << L{} << "Average: pass | U0: pass";
    // Electric: 500, 500 and 0 (the off reading exceeds the on one): 333.3 lx, U0 0.
    QTest::newRow("daylight taken out, off above on")
        << L{700, 600, 300} << L{200, 100, 350} << 0.0 << "" << -1 << L{}
        << "Average: FAIL | U0: FAIL | Figures of the electric light alone: with lights less "
           "lights off | off above on: C1";
    QTest::newRow("lights-off pass not complete")
        << L{700, 600, 300} << L{200, -1, -1} << 0.0 << "" << -1 << L{}
        << "Average: pass | U0: FAIL | Figures of the lights-on pass, daylight included: the "
           "lights-off pass has 1 of 3 points";
    QTest::newRow("class B, 8 % below")
        << L{460, 460, 460} << L{} << 0.0 << "B" << -1 << L{}
        << "Average: fail, within the instrument's uncertainty | U0: pass";
    QTest::newRow("class B, 9 % above")
        << L{545, 545, 545} << L{} << 0.0 << "B" << -1 << L{}
        << "Average: pass, within the instrument's uncertainty | U0: pass";
    QTest::newRow("class B, 12 % above")
        << L{560, 560, 560} << L{} << 0.0 << "B" << -1 << L{} << "Average: pass | U0: pass";
    QTest::newRow("class L, 2 % below")
        << L{490, 490, 490} << L{} << 0.0 << "L" << -1 << L{}
        << "Average: fail, within the instrument's uncertainty | U0: pass";
    QTest::newRow("class L, 4 % below")
        << L{480, 480, 480} << L{} << 0.0 << "L" << -1 << L{} << "Average: FAIL | U0: pass";
    QTest::newRow("calibrated 11 months before")
        << L{500, 500, 500} << L{} << 0.0 << "A" << 11 << L{}
        << "Average: pass, within the instrument's uncertainty | U0: pass";
    QTest::newRow("calibrated 13 months before")
        << L{500, 500, 500} << L{} << 0.0 << "" << 13 << L{}
        << "Average: pass | U0: pass | calibrated 13 months before this survey";
    QTest::newRow("B1 fell 24 %") << L{520, 380, 500} << L{} << 0.0 << "" << -1 << L{500, 500, 500}
                                  << "Average: FAIL | U0: pass | change: +4 -24 +0 | fallen: B1";
    // Like with like: an earlier survey of the electric light alone (500 lx) against today's
    // lights-on pass is no change at all, against today's electric light it is.
    QTest::newRow("earlier electric, now daylight included")
        << L{600, 600, 600} << L{} << 0.0 << "" << -1 << L{-600, -600, -600}
        << "Average: pass | U0: pass";
    QTest::newRow("earlier electric, now electric")
        << L{600, 600, 600} << L{150, 150, 150} << 0.0 << "" << -1 << L{-600, -600, -600}
        << "Average: FAIL | U0: pass | Figures of the electric light alone: with lights less "
           "lights off | change: -10 -10 -10";
    QTest::newRow("a point new since")
        << L{520, 380, 500} << L{} << 0.0 << "" << -1 << L{500, std::nan(""), 0}
        << "Average: FAIL | U0: pass | change: +4";
}

namespace {

// The survey's evidence in one line, each part where it has something to say.
QString evidenceSaid(const survey::Survey& s) {
    QStringList said;
    for (const survey::Result& r : survey::results(s, survey::lux())) {
        const QString what = r.what.startsWith(QLatin1String("U0")) ? QStringLiteral("U0")
                             : r.what.contains(QStringLiteral("Ē")) ? QStringLiteral("Average")
                                                                    : QString();
        if (!what.isEmpty() && !r.verdict.isEmpty())
            said << what + QStringLiteral(": ") + r.verdict;
    }
    for (const QString& line : {survey::maintenanceSentence(s, survey::lux()), survey::lightNote(s),
                                survey::calibrationAgeNote(s)}) {
        if (!line.isEmpty())
            said << line;
    }
    QStringList flagged, changes, fallen;
    for (int i = 0; i < s.points.size(); ++i) {
        if (survey::offExceedsOn(s.points[i]))
            flagged << survey::pointName(s, s.points[i]);
        if (const auto c = survey::changeAt(s, i))
            changes << QString::asprintf("%+.0f", *c);
    }
    for (int i : survey::fallenPoints(s))
        fallen << survey::pointName(s, s.points[i]);
    if (!flagged.isEmpty())
        said << QStringLiteral("off above on: ") + flagged.join(QLatin1Char(' '));
    if (!changes.isEmpty())
        said << QStringLiteral("change: ") + changes.join(QLatin1Char(' '));
    if (!fallen.isEmpty())
        said << QStringLiteral("fallen: ") + fallen.join(QLatin1Char(' '));
    return said.join(QStringLiteral(" | "));
}

survey::Survey threePoints(const QList<double>& lux, const QDateTime& at) {
    survey::Survey s;
    s.length = 3;
    s.width = 1;
    s.band = 0;
    s.requirement = survey::builtInRequirements().first();
    survey::layOut(s, 1, 3);
    for (int i = 0; i < lux.size(); ++i) {
        if (lux[i] >= 0) {
            s.points[i].lux = lux[i];
            s.points[i].taken = at.addSecs(60 * i);
        }
    }
    return s;
}

} // namespace

void TestModel::surveyAsEvidence() {
    QFETCH(QList<double>, on);
    QFETCH(QList<double>, off);
    QFETCH(double, mf);
    QFETCH(QString, accuracyClass);
    QFETCH(int, calibratedMonthsAgo);
    QFETCH(QList<double>, earlier);
    QFETCH(QString, said);
    const QDateTime at(QDate(2026, 6, 15), QTime(10, 0));
    survey::Survey s = threePoints(on, at);
    for (int i = 0; i < off.size(); ++i) {
        if (off[i] >= 0) {
            s.points[i].luxOff = off[i];
            s.points[i].takenOff = at.addSecs(3600 + 60 * i); // daylight moved meanwhile
        }
    }
    s.installation = {mf > 0, mf > 0 ? mf : 0.8};
    s.instrument.accuracyClass = accuracyClass;
    if (calibratedMonthsAgo >= 0)
        s.instrument.calibrated = at.date().addMonths(-calibratedMonthsAgo);
    if (!earlier.isEmpty()) {
        QList<double> earlierOn;
        for (double v : earlier)
            earlierOn << std::abs(v);
        survey::Survey before = threePoints(earlierOn, at.addYears(-1));
        for (int i = 0; i < earlier.size(); ++i) {
            if (earlier[i] < 0)
                before.points[i].luxOff = 100.0;
        }
        s.baseline = survey::baselineOf(before, QStringLiteral("last-year.json"));
        QCOMPARE(s.baseline->date, QDate(2025, 6, 15));
    }
    QCOMPARE(evidenceSaid(s), said);
    if (!off.isEmpty())
        QVERIFY(survey::passesApart(s.points[0]));
    // Kept whole by the file: the same evidence read back.
    QString error;
    const auto back = survey::fromJson(survey::toJson(s), error);
    QVERIFY2(back, qPrintable(error));
    QCOMPARE(evidenceSaid(*back), said);
    QCOMPARE(back->instrument.calibrated, s.instrument.calibrated);
}

// Readings a minute apart from 10:00: stable once three in a row lie within 2 % of their mean.
void TestModel::surveyStability_data() {
    QTest::addColumn<QList<double>>("lux");
    QTest::addColumn<QString>("verdict");
    QTest::addColumn<bool>("done");
    using L = QList<double>;
    QTest::newRow("not checked") << L{} << "stability not checked" << false;
    QTest::newRow("stable on the third") << L{500, 505, 498} << "stable at 10:02" << true;
    QTest::newRow("warming up, then stable")
        << L{400, 450, 480, 490, 492} << "stable at 10:04" << true;
    QTest::newRow("2 % exactly") << L{490, 500, 510} << "stable at 10:02" << true;
    QTest::newRow("2.2 %, then stopped")
        << L{489, 500, 511} << "stability check stopped after 3 checks" << false;
    QTest::newRow("never stable") << L{400, 430, 460, 490, 520, 550} << "not stable after 6 checks"
                                  << true;
    QTest::newRow("dark") << L{0, 0, 0} << "stability check stopped after 3 checks" << false;
}

void TestModel::surveyStability() {
    QFETCH(QList<double>, lux);
    QFETCH(QString, verdict);
    QFETCH(bool, done);
    QList<survey::StabilityReading> readings;
    for (int i = 0; i < lux.size(); ++i)
        readings << survey::StabilityReading{QDateTime(QDate(2026, 6, 15), QTime(10, i)), lux[i]};
    QCOMPARE(survey::stabilityVerdict(readings), verdict);
    QCOMPARE(survey::stabilityDone(readings), done);
}

// Readings every 250 ms after the last point's 500 lx; NaN: an overload. The points taken by
// themselves, as "at ms: lux".
void TestModel::surveyTakenWhenSteady_data() {
    QTest::addColumn<QList<double>>("lux");
    QTest::addColumn<QString>("taken");
    const double over = std::nan("");
    QList<double> carried{500, 500, 420, 300};
    QList<double> twice = carried;
    for (int i = 0; i < 8; ++i)
        carried << 300 + (i % 2) * 5; // within 2 % of their mean for 2 s
    twice = carried;
    for (int i = 0; i < 10; ++i)
        twice << 700;
    QList<double> moving{500};
    for (int i = 0; i < 20; ++i)
        moving << 300 + 8 * i; // 2.6 % more each time: never held
    QList<double> wobble;
    for (int i = 0; i < 20; ++i)
        wobble << 500 + (i % 2 ? 40 : -40); // 8 %: no move
    QList<double> interrupted{500, 300, 300, 300, 300, 300, over, 300,
                              300, 300, 300, 300, 300, 300, 300,  300};
    // The hold from 750 ms: five readings of 300 and four of 305, 302.2 on average.
    QTest::newRow("carried and held") << carried << "2750: 302.222";
    QTest::newRow("two points in a row") << twice << "2750: 302.222, 5000: 700";
    QTest::newRow("keeps moving") << moving << "";
    QTest::newRow("a wobble is no move") << wobble << "";
    QTest::newRow("an overload starts the hold over") << interrupted << "3750: 300";
}

void TestModel::surveyTakenWhenSteady() {
    QFETCH(QList<double>, lux);
    QFETCH(QString, taken);
    survey::SteadyWatch watch;
    watch.restart(500.0);
    QStringList out;
    for (int i = 0; i < lux.size(); ++i) {
        if (const auto v = watch.feed(i * 250, lux[i]))
            out << QStringLiteral("%1: %2").arg(i * 250).arg(*v);
    }
    QCOMPARE(out.join(QStringLiteral(", ")), taken);
}

#include "tst_model.moc"
