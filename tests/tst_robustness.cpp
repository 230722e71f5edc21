// Untrusted input, many times over: random display frames, random line noise into the
// virtual meter, random record-file lines and random typed answers. Nothing may crash or
// read out of bounds (this suite also runs under the address and undefined-behaviour
// sanitizers), and the results must stay within their documented ranges.
#include "link/meterlink.h"
#include "model/displayframe.h"
#include "model/entry.h"
#include "model/numbers.h"
#include "model/recordfile.h"
#include "virtualmeter/virtualmeter.h"

#include <QRandomGenerator>
#include <QTest>

using namespace lumetra;

namespace {

QByteArray randomBytes(QRandomGenerator& rng, int size) {
    QByteArray b(size, '\0');
    for (auto& c : b)
        c = char(rng.bounded(256));
    return b;
}

QString randomText(QRandomGenerator& rng, int size) {
    static const QString alphabet = QStringLiteral("0123456789.:-+eE ,\tabcLxFc\r\n");
    QString t;
    for (int i = 0; i < size; ++i)
        t += alphabet[int(rng.bounded(int(alphabet.size())))];
    return t;
}

} // namespace

class TestRobustness : public QObject {
    Q_OBJECT
private slots:
    void randomFrames();
    void randomAcknowledges();
    void lineNoiseIntoTheMeter();
    void randomRecordLines();
    void randomAnswers();
};

void TestRobustness::randomFrames() {
    QRandomGenerator rng(20261208);
    DisplayState s;
    for (int i = 0; i < 50000; ++i) {
        QByteArray f = randomBytes(rng, kFrameSize);
        f[0] = char(0x02);
        f[kFrameSize - 1] = char(0x03);
        const QString before = s.readingText;
        const FrameKind kind = decodeFrame(f, s);
        QVERIFY(s.unitText.isEmpty() || s.unitText == "Lx" || s.unitText == "Fc");
        QVERIFY(s.mainDecimals >= 0 && s.mainDecimals <= 3);
        QVERIFY(s.mainDigitsText.size() <= 6);
        if (kind == FrameKind::Error)
            QCOMPARE(s.readingText, before);
        if (kind == FrameKind::Normal && s.readingText != QLatin1String("OL"))
            QVERIFY(s.readingText.size() <= 7);
    }
}

void TestRobustness::randomAcknowledges() {
    QRandomGenerator rng(7);
    for (int i = 0; i < 50000; ++i) {
        const QByteArray reply = randomBytes(rng, int(rng.bounded(10)));
        if (const auto p = MeterLink::parseAcknowledge(reply))
            QVERIFY(*p >= 1535 && *p <= 131071); // never a negative or huge length
    }
}

void TestRobustness::lineNoiseIntoTheMeter() {
    QRandomGenerator rng(99);
    sim::VirtualMeter meter;
    meter.setPowerOnDelayMs(0);
    int sent = 0;
    connect(&meter, &sim::VirtualMeter::transmitted, this,
            [&](const QByteArray& b) { sent += int(b.size()); });
    for (int i = 0; i < 20000; ++i) {
        // Anything but the power key: a meter switched off answers nothing at all.
        QByteArray noise = randomBytes(rng, int(rng.bounded(1, 12)));
        noise.replace('O', 'A');
        meter.receive(noise);
    }
    QVERIFY(sent > 0);
    QVERIFY(meter.memoryPointer() >= 1535 && meter.memoryPointer() <= 131071);
    QCOMPARE(meter.displayFrame().size(), kFrameSize);
}

void TestRobustness::randomRecordLines() {
    QRandomGenerator rng(3);
    for (int i = 0; i < 20000; ++i) {
        const QString line = recordfile::decode(randomBytes(rng, int(rng.bounded(60))));
        const QStringList f = recordfile::fields(line);
        QVERIFY(!f.isEmpty());
        for (const QString& field : f)
            QVERIFY(!field.contains(QLatin1Char('\t')));
        const QString unit = recordfile::headerUnit(line);
        QVERIFY(unit.isEmpty() || unit == "Lx" || unit == "Fc");
        QCOMPARE(recordfile::decode(recordfile::encode(line)), line); // 8-bit round trip
    }
}

void TestRobustness::randomAnswers() {
    QRandomGenerator rng(11);
    for (int i = 0; i < 50000; ++i) {
        const QString t = randomText(rng, int(rng.bounded(12)));
        leadingNumber(t);
        // Every answer is a value in range or a refusal that says the form.
        const auto d = entry::distanceHundredths(t);
        QVERIFY(d.value ? *d.value >= 0 && *d.value <= 999 : !d.refusal.isEmpty());
        const auto h = entry::holdTime(t);
        QVERIFY(h.value ? h.value->first >= 0 && h.value->first <= 59 && h.value->second >= 0 &&
                              h.value->second <= 59
                        : !h.refusal.isEmpty());
        const auto m = entry::meterInterval(t);
        QVERIFY(m.value ? m.value->first >= 0 && m.value->second >= 0 && m.value->second < 60 &&
                              m.value->first * 60 + m.value->second <= 180
                        : !m.refusal.isEmpty());
        const auto p = entry::pcInterval(t);
        QVERIFY(p.value ? *p.value >= 1 && *p.value <= 86400 : !p.refusal.isEmpty());
    }
}

QTEST_MAIN(TestRobustness)
#include "tst_robustness.moc"
