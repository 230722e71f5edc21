// The meter settings windows: clock, calibration and SCF, against the virtual meter.
#include "link/displaypoll.h"
#include "link/wait.h"
#include "model/recordtable.h"
#include "support/meterfixture.h"
#include "widgets/virtuallcd.h"
#include "windows/calibration.h"
#include "windows/comparator.h"
#include "windows/keypad.h"
#include "windows/metersetup.h"
#include "windows/realtimelist.h"
#include "windows/samplingchoice.h"
#include "windows/scf.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace lumetra;
using lumetra::test::PanelFixture;
using lumetra::test::waitFor;

namespace {

// Runs action once the modal window of type W is up and ready (the click that opened it is
// waiting). The action must not run inside the window's own loading, so it waits for ready.
template <typename W, typename F, typename R> void whenOpen(Panel& panel, R ready, F action) {
    auto* timer = new QTimer(&panel);
    QObject::connect(timer, &QTimer::timeout, &panel, [timer, &panel, ready, action] {
        if (auto* w = panel.findChild<W*>(); w && w->isVisible() && ready(w)) {
            timer->stop();
            timer->deleteLater();
            // A failed check closes the window, so that the click returns.
            const auto close = qScopeGuard([w = QPointer<W>(w)] {
                if (QTest::currentTestFailed() && w && w->isVisible())
                    w->close();
            });
            action(w);
        }
    });
    timer->start(20);
}

} // namespace

class TestSettings : public QObject {
    Q_OBJECT
private slots:
    void clockWindow();
    void calibrationWindow();
    void comparatorReplyFillsTheWindow_data();
    void comparatorReplyFillsTheWindow();
    void comparatorReadAndUpdate();
    void scfWindow();
    void readingsMissedWhileAWindowHasTheMeterAreSaid_data();
    void readingsMissedWhileAWindowHasTheMeterAreSaid();
    void enterActsOnce_data();
    void enterActsOnce();
    void scfSetWaitsForAReading();
    void metersThatStreamDifferently_data();
    void metersThatStreamDifferently();
};

void TestSettings::clockWindow() {
    PanelFixture f;
    f.meter.clearReceived();
    bool checked = false;
    // Both clocks show as it opens, and tick; the meter's is read every few seconds and runs
    // on between reads, while the display goes on.
    whenOpen<Setup>(
        *f.panel, [](Setup* w) { return w->LblMeterTime->text().contains(':'); },
        [&](Setup* w) {
            QVERIFY(w->LblPCTime->text().contains(':'));
            const QString first = w->LblMeterTime->text();
            const quint64 readings = f.panel->state().readingsDecoded;
            QVERIFY(waitFor([&] { return w->LblMeterTime->text() != first; }, 1500));
            pauseSeconds(2);
            QCOMPARE(f.meter.receivedBytes().count('Y'), 1);
            QVERIFY(f.panel->state().readingsDecoded >= readings + 4);
            // A click hides either clock, as before.
            QTest::mouseClick(w->LblMeterTime, Qt::LeftButton);
            QTest::mouseClick(w->LblPCTime, Qt::LeftButton);
            QVERIFY(
                waitFor([&] { return w->LblMeterTime->text() == QLatin1String("Meter Time"); }));
            QCOMPARE(w->LblPCTime->text(), QStringLiteral("PC System Time"));
            f.meter.clearReceived();
            const QByteArray expected = meterclock::clockBytes(f.panel->clock().now());
            w->CmdSetTime->click();
            QVERIFY(waitFor([&] {
                return f.meter.receivedBytes().size() >= 5 &&
                       f.meter.receivedBytes().right(5).startsWith('T');
            }));
            const QByteArray sent = f.meter.receivedBytes();
            QVERIFY(sent.indexOf('H') >= 0 && sent.indexOf('H') < sent.indexOf('T'));
            QCOMPARE(sent.right(4), expected);
            checked = true;
            w->CmdExit->click();
        });
    f.click("TimeSet");
    QVERIFY(checked);
    QVERIFY(f.panel->Timer1->isActive()); // closing the window restarts the poll
}

// The SCF window watches the stream itself, a list job rests the poll: a recording and the
// live list miss their moments, and say so while it lasts and after.
void TestSettings::readingsMissedWhileAWindowHasTheMeterAreSaid_data() {
    QTest::addColumn<QString>("what");
    QTest::newRow("SCF window") << "the SCF window";
    QTest::newRow("a list job") << "a list being saved";
}

void TestSettings::readingsMissedWhileAWindowHasTheMeterAreSaid() {
    QFETCH(QString, what);
    QTemporaryDir dir;
    PanelFixture f;
    f.panel->state().sampleInterval = 1;
    f.click("List");
    f.dialogs.saveAnswers = {dir.filePath("paused.txt")};
    f.click("Save");
    QVERIFY(waitFor([&] { return f.panel->state().fileRecordCount >= 2; }));
    QString whilePaused;
    const auto meanwhile = [&] {
        QVERIFY(waitFor([&] { return !f.panel->LblPaused->isHidden(); }, 3000));
        whilePaused = f.panel->LblPaused->text();
        pauseSeconds(2);
    };
    if (what == QLatin1String("the SCF window")) {
        whenOpen<SCF_frm>(
            *f.panel, [](SCF_frm* w) { return w->ready(); },
            [&](SCF_frm* w) {
                meanwhile();
                w->reject();
            });
        f.click("scf");
    } else {
        const auto rest = f.panel->poll().hold(what);
        meanwhile();
    }
    QCOMPARE(whilePaused, QStringLiteral("Recording paused: %1 has the meter").arg(what));
    QVERIFY(waitFor([&] { return f.panel->LblPaused->isHidden(); }, 3000));
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d+ readings missed, "
                                               "\\d\\d:\\d\\d:\\d\\d–\\d\\d:\\d\\d:\\d\\d$"))
                 .match(f.panel->LblNote->text())
                 .hasMatch(),
             qPrintable(f.panel->LblNote->text()));
    const RecordTable& list = *f.hub->realTimeList()->table();
    int gaps = 0;
    for (int r = 0; r < list.rowCount(); ++r)
        gaps += list.cell(r, 0) == QStringLiteral("-") && list.cell(r, 2) == QStringLiteral("----");
    QCOMPARE(gaps, 1);
    f.click("Save");
}

void TestSettings::calibrationWindow() {
    PanelFixture f;
    f.meter.calibration = 1100;
    bool checked = false;
    whenOpen<Calibrationfrm>(
        *f.panel, [](Calibrationfrm* w) { return w->BtnSet->isEnabled(); },
        [&](Calibrationfrm* w) {
            QCOMPARE(w->windowTitle(), QStringLiteral("Calibration"));
            QCOMPARE(w->TxtCalValue->text(), QStringLiteral("1.100"));
            w->TxtCalValue->clear();
            QTest::keyClicks(w->TxtCalValue, "0.7a99"); // the letter is refused
            QCOMPARE(w->TxtCalValue->text(), QStringLiteral("0.799"));
            w->BtnSet->click();
            QCOMPARE(f.dialogs.shown.last().text,
                     QStringLiteral("Calibration Range: 0.800 ~ 1.500 !!!!"));
            w->BtnInitial->click();
            QCOMPARE(w->TxtCalValue->text(), QStringLiteral("1.000"));
            w->TxtCalValue->setText(QStringLiteral("1.2"));
            checked = true;
            QTest::keyClick(w->TxtCalValue, Qt::Key_Return); // Enter acts as Set
        });
    f.click("cal");
    QVERIFY(checked);
    QVERIFY(waitFor([&] { return f.meter.calibration == 1200; }));
    QVERIFY(f.meter.receivedBytes().endsWith(QByteArray("i\x04\xB0", 3)));
    QVERIFY(f.panel->Timer1->isActive());
}

void TestSettings::comparatorReplyFillsTheWindow_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("high"); // digits 1..6 as shown
    QTest::newRow("Lx, option 4") << QByteArray::fromHex("0200004400 7D003203") << "Lx" << 4
                                  << "0125||";
    QTest::newRow("Fc, option 5") << QByteArray::fromHex("020000100000000003") << "Fc" << 5
                                  << "00000|";
    QTest::newRow("above 9999") << QByteArray::fromHex("0200004827100000 03") << "Lx" << 5
                                << "00000|";
}

void TestSettings::comparatorReplyFillsTheWindow() {
    QFETCH(QByteArray, reply);
    QFETCH(QString, unit);
    QFETCH(int, position);
    QFETCH(QString, high);
    PanelFixture f(false);
    Comparator w(f.panel->link(), f.panel->poll(), f.panel.get());
    w.fill(comparator::decode(reply));
    QCOMPARE(w.TxtUnit->currentText(), unit);
    QCOMPARE(w.position(), position);
    QVERIFY(w.LODec[size_t(position)]->isChecked()); // both groups agree
    QString shown;
    for (int i = 1; i <= 6; ++i)
        shown += w.HighO[size_t(i)]->currentText().isEmpty() ? QStringLiteral("|")
                                                             : w.HighO[size_t(i)]->currentText();
    QCOMPARE(shown, high);
    QCOMPARE(w.HODec[1]->isEnabled(), unit == QLatin1String("Fc"));
    QCOMPARE(w.HODec[6]->isEnabled(), unit == QLatin1String("Lx"));
}

void TestSettings::comparatorReadAndUpdate() {
    PanelFixture f;
    f.meter.compFlags = 0x42;
    f.meter.compHigh = 125;
    f.meter.compLow = 50;
    f.click("Comp");
    Comparator* w = f.hub->comparatorWindowOpen();
    QVERIFY(w);
    QCOMPARE(w->windowTitle(), QStringLiteral("Comparator"));
    QCOMPARE(w->HighO[4]->currentText(), QStringLiteral("5"));
    QCOMPARE(w->position(), 3);
    QCOMPARE(w->LblLimits->text(), QStringLiteral("High limit 12.5 lx, low limit 5 lx"));
    w->HighO[1]->setCurrentText(QStringLiteral("1"));
    // One digit per box, typed or not; an emptied box is a 0 in its place: 1905.
    w->HighO[2]->lineEdit()->clear();
    QTest::keyClicks(w->HighO[2], "x93");
    QCOMPARE(w->HighO[2]->currentText(), QStringLiteral("9"));
    w->HighO[3]->lineEdit()->clear();
    w->LODec[5]->click(); // the HIGH group follows
    QCOMPARE(w->position(), 5);
    QCOMPARE(w->HighO[5]->currentText(), QStringLiteral("0"));
    QCOMPARE(w->LblLimits->text(), QStringLiteral("High limit 19050 lx, low limit 500 lx"));
    f.meter.clearReceived();
    w->CmdUpdate->click();
    QVERIFY(waitFor([&] { return f.meter.receivedBytes().endsWith('X'); }));
    QCOMPARE(f.meter.compFlags, quint8(0x48));
    QCOMPARE(f.meter.compHigh, 1905);
    QCOMPARE(f.meter.compLow, 50);
    const QByteArray sent = f.meter.receivedBytes();
    QVERIFY(sent.indexOf('H') < sent.indexOf('V'));
    // A point after the first digit exists in foot-candles only: back in lux it goes, and the
    // limits shown are those Update would set.
    w->TxtUnit->setCurrentText(QStringLiteral("Fc"));
    w->unitChosen(QStringLiteral("Fc"));
    w->HODec[1]->click();
    QVERIFY2(w->LblLimits->text().startsWith("High limit 1.905 fc"),
             qPrintable(w->LblLimits->text()));
    w->TxtUnit->setCurrentText(QStringLiteral("Lx"));
    w->unitChosen(QStringLiteral("Lx"));
    QVERIFY(!w->HODec[1]->isChecked());
    QVERIFY2(!w->LblLimits->text().startsWith("High limit 1."), qPrintable(w->LblLimits->text()));
}

void TestSettings::scfWindow() {
    PanelFixture f;
    f.meter.scfEntry = 10;
    f.meter.scfFactor = 1500;
    bool checked = false;
    whenOpen<SCF_frm>(
        *f.panel, [](SCF_frm* w) { return w->ready(); },
        [&](SCF_frm* w) {
            QVERIFY(w->windowFlags() & Qt::FramelessWindowHint);
            QVERIFY(!f.panel->Timer1->isActive());
            QVERIFY(!f.panel->Timer2->isActive());
            QCOMPARE(w->SCFCNT_Cbx->currentText(), QStringLiteral("U0"));
            QCOMPARE(w->SCFRange_Edit->text(), QStringLiteral("1.500"));
            QTest::keyClick(w->SCFCNT_Cbx, Qt::Key_Down); // keys change nothing
            QCOMPARE(w->SCFCNT_Cbx->currentText(), QStringLiteral("U0"));
            w->SCFRange_Edit->setText(QStringLiteral("0.199"));
            w->SetSCF_btn->click();
            QCOMPARE(f.dialogs.shown.last().text,
                     QStringLiteral("SCF Range Error : 0.200 ~ 5.000"));
            w->SCFCNT_Cbx->setCurrentIndex(13);
            w->SCFRange_Edit->setText(QStringLiteral("1.2"));
            checked = true;
            w->SetSCF_btn->click();
        });
    f.click("scf");
    QVERIFY(checked);
    // The meter shows SET UP after the new SCF; the watcher closed the window on it.
    QCOMPARE(f.meter.scfEntry, 13);
    QCOMPARE(f.meter.scfFactor, 1200);
    QVERIFY(!f.panel->lcd()->LblSetUp->isHidden());
    QCOMPARE(f.panel->lcd()->LblSetUp->text(), QStringLiteral("SET UP"));
    QVERIFY(f.panel->Timer1->isActive());
    QVERIFY(f.panel->Timer2->isActive());
}

// Enter in the value box is one "Set": one block sent, or one message.
void TestSettings::enterActsOnce_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<char>("letter"); // sent once when the value is in range
    QTest::newRow("calibration, in range") << "cal"
                                           << "1.2" << 'i';
    QTest::newRow("calibration, out of range") << "cal"
                                               << "1.6" << 'i';
    QTest::newRow("SCF, in range") << "scf"
                                   << "1.2" << 'c';
    QTest::newRow("SCF, out of range") << "scf"
                                       << "5.1" << 'c';
}

void TestSettings::enterActsOnce() {
    QFETCH(QString, key);
    QFETCH(QString, typed);
    QFETCH(char, letter);
    PanelFixture f;
    const bool inRange = !typed.startsWith(QLatin1String("1.6")) && typed != QLatin1String("5.1");
    bool typedIt = false;
    QTimer driver;
    connect(&driver, &QTimer::timeout, f.panel.get(), [&] {
        QDialog* w = f.panel->findChild<Calibrationfrm*>();
        QLineEdit* edit = nullptr;
        if (auto* cal = qobject_cast<Calibrationfrm*>(w); cal && cal->BtnSet->isEnabled())
            edit = cal->TxtCalValue;
        if (auto* scf = f.panel->findChild<SCF_frm*>(); scf && scf->ready()) {
            w = scf;
            edit = scf->SCFRange_Edit;
        }
        if (!edit || !w->isVisible())
            return;
        if (typedIt) {
            // Out of range, or the SCF window before the meter confirms: the user leaves.
            driver.stop();
            w->reject();
            return;
        }
        typedIt = true;
        f.meter.clearReceived();
        edit->setText(typed);
        QTest::keyClick(edit, Qt::Key_Return);
    });
    driver.start(50);
    const qsizetype messagesBefore = f.dialogs.shown.size();
    f.click(key);
    QVERIFY(typedIt);
    QCOMPARE(f.dialogs.shown.size() - messagesBefore, inRange ? 0 : 1);
    QCOMPARE(f.meter.receivedBytes().count(letter), inRange ? 1 : 0);
}

// A meter that does not answer "a": "Set" has no SCF to start from and writes nothing.
void TestSettings::scfSetWaitsForAReading() {
    PanelFixture f;
    f.meter.setIgnoredLetters("a");
    bool tried = false;
    whenOpen<SCF_frm>(
        *f.panel, [](SCF_frm*) { return true; },
        [&](SCF_frm* w) {
            QVERIFY(!w->SetSCF_btn->isEnabled());
            w->SCFRange_Edit->setText(QStringLiteral("1.2"));
            QTest::keyClick(w->SCFRange_Edit, Qt::Key_Return);
            w->SetSCF_btn->click();
            tried = true;
            w->reject();
        });
    f.click("scf");
    QVERIFY(tried);
    QVERIFY(!f.meter.receivedBytes().contains('c'));
}

// A meter may end its display stream at every "A" until the next "M"; another keeps it
// running while it answers, so replies come among display frames. Each window still gets
// the meter's own values at once, and afterwards the display runs on.
void TestSettings::metersThatStreamDifferently_data() {
    QTest::addColumn<bool>("through");
    QTest::addColumn<QString>("key");
    QTest::newRow("ends at A, calibration") << false << "cal";
    QTest::newRow("ends at A, keypad key") << false << "Buttons";
    for (const char* key : {"cal", "scf", "TimeSet", "PC"})
        QTest::addRow("streams through, %s", key) << true << key;
}

void TestSettings::metersThatStreamDifferently() {
    QFETCH(bool, through);
    QFETCH(QString, key);
    PanelFixture f;
    f.meter.setStreamEndsAtHandshake(!through);
    f.meter.setStreamThrough(through);
    f.meter.setFramePeriodMs(20); // frames before, around and after every reply
    f.meter.calibration = 1300;
    f.meter.scfEntry = 12;
    f.meter.scfFactor = 1300;
    f.meter.intervalSeconds = 7;
    QElapsedTimer loading;
    loading.start();
    qint64 took = -1;
    if (key == QLatin1String("cal")) {
        whenOpen<Calibrationfrm>(
            *f.panel, [](Calibrationfrm* w) { return w->BtnSet->isEnabled(); },
            [&](Calibrationfrm* w) {
                took = loading.elapsed();
                QCOMPARE(w->TxtCalValue->text(), QStringLiteral("1.300"));
                w->reject();
            });
    } else if (key == QLatin1String("scf")) {
        whenOpen<SCF_frm>(
            *f.panel, [](SCF_frm* w) { return w->ready(); },
            [&](SCF_frm* w) {
                took = loading.elapsed();
                QCOMPARE(w->SCFCNT_Cbx->currentText(), QStringLiteral("U2"));
                QCOMPARE(w->SCFRange_Edit->text(), QStringLiteral("1.300"));
                w->reject();
            });
    } else if (key == QLatin1String("TimeSet")) {
        whenOpen<Setup>(
            *f.panel, [](Setup*) { return true; },
            [&](Setup* w) {
                QVERIFY(waitFor([&] { return w->LblMeterTime->text().contains(':'); }));
                took = loading.elapsed();
                const QString day = f.meter.meterClock().toString(QStringLiteral("dd "));
                QVERIFY2(QRegularExpression(QStringLiteral("^%1\\d\\d:\\d\\d:\\d\\d$").arg(day))
                             .match(w->LblMeterTime->text())
                             .hasMatch(),
                         qPrintable(w->LblMeterTime->text()));
                w->CmdExit->click();
            });
    } else if (key == QLatin1String("PC")) {
        whenOpen<SamplingChoice>(
            *f.panel, [](SamplingChoice*) { return true; },
            [&](SamplingChoice* w) {
                w->OptMeter->click();
                w->CmdOK->click(); // the interval is asked and left unanswered
            });
    }
    f.click(key);
    if (key == QLatin1String("PC")) {
        took = loading.elapsed();
        QVERIFY(!f.dialogs.asked.isEmpty());
        QCOMPARE(f.dialogs.asked.last().defaultText, QStringLiteral("00:07"));
    } else if (key == QLatin1String("Buttons")) {
        Btn* pad = f.hub->keypad();
        QVERIFY(pad);
        pad->key(QStringLiteral("CmdH"))->click();
    } else {
        // Seconds, not the 13 s or more of a poll that eats the reply, nor a reply that
        // never comes.
        QVERIFY2(took >= 0 && took < 3000, qPrintable(QString::number(took)));
    }
    QSignalSpy frames(&f.panel->displayPoll(), &DisplayPoll::frameDecoded);
    QVERIFY(waitFor([&] { return frames.size() >= 2; }, 3000));
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
