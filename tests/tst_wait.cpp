// The one waiting primitive: events always run, time passes on a monotonic clock, the
// processor sleeps, and shutting down ends every wait.
#include "link/wait.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <ctime>

using namespace lumetra;

namespace {
double processCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}
} // namespace

class TestWait : public QObject {
    Q_OBJECT
private slots:
    void zeroWaitRunsPendingEventsOnce();
    void waitLastsAtLeastItsTime_data();
    void waitLastsAtLeastItsTime();
    void timersRunDuringAWait();
    void oneSecondCostsNextToNoCpu();
    void quitEndsEveryWait();
};

void TestWait::zeroWaitRunsPendingEventsOnce() {
    int ran = 0;
    QMetaObject::invokeMethod(
        this, [&] { ++ran; }, Qt::QueuedConnection);
    pauseSeconds(0);
    QCOMPARE(ran, 1);
    pauseSeconds(-1); // a negative wait is a zero wait
    QCOMPARE(ran, 1);
}

void TestWait::waitLastsAtLeastItsTime_data() {
    QTest::addColumn<double>("seconds");
    QTest::newRow("0.02 s") << 0.02;
    QTest::newRow("0.05 s") << 0.05;
    QTest::newRow("0.2 s") << 0.2;
}

void TestWait::waitLastsAtLeastItsTime() {
    QFETCH(double, seconds);
    QElapsedTimer t;
    t.start();
    pauseSeconds(seconds);
    QVERIFY(t.elapsed() >= qint64(seconds * 1000) - 1);
}

void TestWait::timersRunDuringAWait() {
    int ticks = 0;
    QTimer timer;
    timer.setInterval(10);
    connect(&timer, &QTimer::timeout, this, [&] { ++ticks; });
    timer.start();
    pauseSeconds(0.2);
    QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
}

void TestWait::oneSecondCostsNextToNoCpu() {
    const double before = processCpuSeconds();
    pauseSeconds(1.0);
    const double used = processCpuSeconds() - before;
    QVERIFY2(used < 0.05, qPrintable(QStringLiteral("%1 s of CPU").arg(used)));
}

void TestWait::quitEndsEveryWait() {
    QElapsedTimer t;
    t.start();
    QTimer::singleShot(50, [] { requestQuit(); });
    bool innerReturned = false;
    QTimer::singleShot(10, [&] {
        pauseSeconds(30); // a nested wait, as a click inside an exchange makes
        innerReturned = true;
    });
    pauseSeconds(30);
    QVERIFY(innerReturned);
    QVERIFY(quitRequested());
    pauseSeconds(30); // later waits return at once too
    QVERIFY(t.elapsed() < 5000);
    resetQuitRequest();
}

QTEST_GUILESS_MAIN(TestWait)
#include "tst_wait.moc"
