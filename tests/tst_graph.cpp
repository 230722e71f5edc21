// The graph view, the live graph and the Plot buttons, driven by their controls.
#include "commands/graphcommands.h"
#include "commands/memorycommands.h"
#include "graph/emergencycurve.h"
#include "graph/heatmapview.h"
#include "graph/surveyplan.h"
#include "graph/surveyplanview.h"
#include "graph/surveyreport.h"
#include "link/wait.h"
#include "model/recordtable.h"
#include "support/meterfixture.h"
#include "windows/datalist.h"
#include "windows/emergencytest.h"
#include "windows/filelist.h"
#include "windows/graphview.h"
#include "windows/outlinedialog.h"
#include "windows/profile.h"
#include "windows/realtimeall.h"
#include "windows/survey.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <cmath>

using namespace lumetra;
using lumetra::test::PanelFixture;
using lumetra::test::waitFor;

namespace {

// 73 readings; reading 37 (the middle) is 12.5.
QVector<float> sampleSeries() {
    QVector<float> v(73);
    for (int k = 0; k < v.size(); ++k)
        v[k] = float(k % 10) + 20.0f;
    v[36] = 12.5f;
    return v;
}

void pick(GraphView& view, const QString& item) {
    view.Combo1->setCurrentText(item);
    emit view.Combo1->activated(view.Combo1->currentIndex());
}

QString pdfText(const QString& path) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {path, QStringLiteral("-")});
    p.waitForFinished(20000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

class TestGraph : public QObject {
    Q_OBJECT
    QTemporaryDir m_settings;
private slots:
    void initTestCase();
    void init();
    void surveyWalkedSavedAndReported();
    void surveyOfAnLShapedOfficeWithADesk();
    void surveyStabilityChecked();
    void surveyTakenWhenSteady();
    void surveyAsEvidenceByKeys();
    void emergencyTestByKeys();
    void emergencyDurationsTyped_data();
    void emergencyDurationsTyped();
    void surveyRoomSizesTypedInFeet_data();
    void surveyRoomSizesTypedInFeet();
    void lightOverTime();
    void modes_data();
    void modes();
    void cursorSitsInTheMiddleOfTheView();
    void flatSeriesStillShows();
    void typedRanges();
    void printAndSave();
    void liveGraphClosesWhenTheMeterLeavesPlainReading_data();
    void liveGraphClosesWhenTheMeterLeavesPlainReading();
    void handOverShowsTheWholeSeries();
    void liveGraphDrawsAnOutageAsAGap();
    void plotButtons();
};

void TestGraph::modes_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("description");
    QTest::addColumn<bool>("cursor");
    QTest::addColumn<bool>("movesX"); // a drag across the plot changes the axis
    QTest::addColumn<bool>("movesY");
    const auto row = [](int i, const char* item, const char* text, bool cursor, bool x, bool y) {
        QTest::newRow(item) << i << item << text << cursor << x << y;
    };
    row(0, "Normal", "Normal mode", false, false, false);
    row(1, "Cursor Coordinates",
        "Drag the cursor with your mouse to get X (Count) and Y (Value) position.", true, false,
        false);
    row(2, "PanXY",
        "Click anywhere on the plot area and drag to pan the graph both horizontally and "
        "vertically.",
        false, true, true);
    row(3, "PanX", "Click anywhere on the plot area and drag to pan the graph horizontally.", false,
        true, false);
    row(4, "PanY", "Click anywhere on the plot area and drag to pan the graph vertically.", false,
        false, true);
    row(5, "ZoomXY", "Select a region on the graph to zoom both horizontally and vertically.",
        false, true, true);
    row(6, "ZoomX", "Select a region on the graph to zoom horizontally.", false, true, false);
    row(7, "ZoomY", "Select a region on the graph to zoom vertically.", false, false, true);
}

void TestGraph::modes() {
    QFETCH(int, index);
    QFETCH(QString, item);
    QFETCH(QString, description);
    QFETCH(bool, cursor);
    QFETCH(bool, movesX);
    QFETCH(bool, movesY);
    ScriptedDialogs dialogs;
    GraphView view(QStringLiteral("Plot"), QStringLiteral("Plot"), dialogs);
    view.resize(900, 600);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.fill(sampleSeries(), QStringLiteral("Lx"), 12.5f, 29);
    QCOMPARE(view.Combo1->itemText(index), item);
    pick(view, QStringLiteral("Cursor Coordinates")); // a cursor left over is hidden again
    pick(view, item);
    QCOMPARE(view.txtDescription->toPlainText(), description);
    QCOMPARE(view.CWGraph1->cursorVisible(), cursor);
    // A drag from one quarter of the plot to its middle: each mode moves its own axes only.
    QWidget* plot = view.CWGraph1->findChild<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    QVERIFY(plot);
    const auto x0 = view.CWGraph1->xRange(), y0 = view.CWGraph1->yRange();
    const QPoint from(plot->width() / 3, plot->height() / 3),
        to(plot->width() / 2, plot->height() / 2);
    QTest::mousePress(plot, Qt::LeftButton, {}, from);
    for (int step = 1; step <= 4; ++step)
        QTest::mouseMove(plot, from + (to - from) * step / 4);
    QTest::mouseRelease(plot, Qt::LeftButton, {}, to);
    QCOMPARE(view.CWGraph1->xRange() != x0, movesX);
    QCOMPARE(view.CWGraph1->yRange() != y0, movesY);
}

void TestGraph::cursorSitsInTheMiddleOfTheView() {
    ScriptedDialogs dialogs;
    GraphView view(QStringLiteral("Plot"), QStringLiteral("Plot"), dialogs);
    view.fill(sampleSeries(), QStringLiteral("Lx"), 12.5f, 29);
    pick(view, QStringLiteral("Cursor Coordinates"));
    QCOMPARE(view.XPosition->text(), QStringLiteral("37"));
    QCOMPARE(view.YPosition->text(), QStringLiteral("12.500"));
    // Zoomed to 20..30: the cursor comes back at 25, a value of that reading.
    view.CWGraph1->setXRange(20, 30);
    pick(view, QStringLiteral("Normal"));
    pick(view, QStringLiteral("Cursor Coordinates"));
    QCOMPARE(view.XPosition->text(), QStringLiteral("25"));
    QCOMPARE(view.YPosition->text(), QStringLiteral("24.000"));
}

void TestGraph::flatSeriesStillShows() {
    ScriptedDialogs dialogs;
    GraphView view(QStringLiteral("Plot"), QStringLiteral("Plot"), dialogs);
    view.fill(sampleSeries(), QStringLiteral("Lx"), 12.5f, 29);
    pick(view, QStringLiteral("Cursor Coordinates"));
    // A steady light of one reading: a range around it, and the cursor on the new series.
    view.fill({500.0f}, QStringLiteral("Lx"), 500, 500);
    const auto [y0, y1] = view.CWGraph1->yRange();
    QVERIFY(y0 < 500 && y1 > 500);
    QVERIFY(view.CWGraph1->xRange().second > 1);
    QCOMPARE(view.XPosition->text(), QStringLiteral("1"));
    QCOMPARE(view.YPosition->text(), QStringLiteral("500.000"));
    view.AxisMax[1]->setValue(5); // a typed range still applies
    QCOMPARE(view.CWGraph1->xRange().second, 5.0);
}

void TestGraph::typedRanges() {
    ScriptedDialogs dialogs;
    GraphView view(QStringLiteral("Plot"), QStringLiteral("Plot"), dialogs);
    const QVector<float> series = sampleSeries();
    view.fill(series, QStringLiteral("Fc"), 12.5f, 29);
    QCOMPARE(view.LblUnit->text(), QStringLiteral("Fc"));
    QCOMPARE(view.AxisMax[2]->text(), QStringLiteral("29"));
    QCOMPARE(view.AxisMin[2]->text(), QStringLiteral("12.5"));
    QCOMPARE(view.AxisMax[2]->singleStep(), 0.001);

    // A mouse zoom, then a typed vertical maximum: both axes follow the edits again.
    view.CWGraph1->setXRange(10, 20);
    view.AxisMax[2]->setValue(40);
    QCOMPARE(view.CWGraph1->xRange(), (std::pair<double, double>(1, 73)));
    QCOMPARE(view.CWGraph1->yRange(), (std::pair<double, double>(12.5, 40)));

    // A minimum that is not below its maximum is refused; the range stays.
    view.AxisMin[2]->setValue(50);
    QCOMPARE(view.CWGraph1->yRange(), (std::pair<double, double>(12.5, 40)));
    QCOMPARE(view.AxisMin[2]->value(), 12.5);
    view.AxisMin[1]->setValue(73);
    QCOMPARE(view.CWGraph1->xRange(), (std::pair<double, double>(1, 73)));

    // Reset Scale after a zoom: both axes and all four edits.
    view.CWGraph1->setXRange(5, 6);
    view.CWGraph1->setYRange(20, 21);
    view.CmdReset->click();
    QCOMPARE(view.CWGraph1->xRange(), (std::pair<double, double>(1, 73)));
    QCOMPARE(view.CWGraph1->yRange(), (std::pair<double, double>(12.5, 29)));
    QCOMPARE(view.AxisMax[1]->value(), 73.0);
    QCOMPARE(view.AxisMin[1]->value(), 1.0);
    QCOMPARE(view.AxisMax[2]->value(), 29.0);
    QCOMPARE(view.AxisMin[2]->value(), 12.5);
    // The statistics follow the view: uniformity for illuminance.
    QTRY_VERIFY(view.LblStatistics->text().startsWith(QLatin1String("In view: 73 values")));
    QVERIFY(view.LblStatistics->text().contains(QLatin1String("Uniformity")));
}

void TestGraph::printAndSave() {
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    GraphView view(QStringLiteral("Plot"), QStringLiteral("Plot"), dialogs);
    view.show();
    view.fill(sampleSeries(), QStringLiteral("Lx"), 12.5f, 29);
    view.CWGraph1->setBackground(QColor(0xEE, 0xEE, 0xFF));
    const QString pdf = dir.filePath("graph.pdf");
    dialogs.printerOutputFile = pdf;
    dialogs.printerAnswers = {false, true};
    view.CmdPrint->click(); // cancelled: nothing printed
    QVERIFY(!QFile::exists(pdf));
    view.CmdPrint->click();
    const QString text = pdfText(pdf);
    QVERIFY2(text.contains(QLatin1String("No.s")), qPrintable(text)); // the graph is printed
    QVERIFY(!text.contains(QLatin1String("Graphic Plot")));           // the panel is not
    QVERIFY(view.FrmGraphic->isVisible());
    QCOMPARE(view.CWGraph1->background(), QColor(0xEE, 0xEE, 0xFF));

    const QString png = dir.filePath("graph.png");
    dialogs.saveAnswers = {png, dir.filePath("no/such/folder/graph.png")};
    view.CmdSave->click();
    QImage image(png);
    QVERIFY(!image.isNull());
    QVERIFY(image.width() >= 800);
    view.CmdSave->click(); // a file that cannot be written is said
    QVERIFY(dialogs.shown.last().text.startsWith(QLatin1String("The graph could not be saved")));
}

void TestGraph::liveGraphClosesWhenTheMeterLeavesPlainReading_data() {
    QTest::addColumn<QString>("flag"); // empty: the unit changes
    for (const char* flag : {"Rel", "Ref", "UpperPercent", "Cd", "Fch", "Lxh", "SetUp", ""})
        QTest::newRow(*flag ? flag : "unit") << QString::fromLatin1(flag);
}

void TestGraph::liveGraphClosesWhenTheMeterLeavesPlainReading() {
    QFETCH(QString, flag);
    PanelFixture f;
    f.click("Graph");
    QPointer<RealTimeAll> live = f.hub->graphs().liveGraph();
    QVERIFY(live);
    QVERIFY(f.panel->state().graphOpen);
    QVERIFY(waitFor([&] { return f.panel->state().graphPoints.size() >= 2; }));
    f.click("Graph"); // already open: nothing
    QCOMPARE(f.hub->graphs().liveGraph(), live.data());
    if (flag.isEmpty())
        f.meter.setUnitFc(true);
    else
        f.meter.setFlag(flag, true);
    QVERIFY(waitFor([&] { return !live || !live->isVisible(); }, 5000));
    QVERIFY(!f.panel->state().graphOpen);
}

void TestGraph::handOverShowsTheWholeSeries() {
    PanelFixture f;
    f.meter.setDrift(true); // the reading wanders, so the range has a width
    AppState& s = f.panel->state();
    f.click("Graph");
    RealTimeAll* live = f.hub->graphs().liveGraph();
    QVERIFY(live);
    emit live->handOverAsked(); // nothing sampled yet: nothing opens
    QVERIFY(!f.hub->graphs().realTimeGraph());
    QVERIFY(waitFor([&] { return s.graphPoints.size() >= 3; }));
    live->resize(live->width() + 50, live->height() + 50); // changes nothing in the range
    emit live->handOverAsked();
    GraphView* view = f.hub->graphs().realTimeGraph();
    QVERIFY(view);
    QCOMPARE(view->windowTitle(), QStringLiteral("Real Time Graph"));
    QVERIFY(waitFor([&] { return !view->values().isEmpty(); })); // filled once it shows
    const QVector<float> series = view->values();
    QVERIFY(series.size() >= 3);
    const auto [lo, hi] = std::minmax_element(series.cbegin(), series.cend());
    // The edits hold three decimals.
    QVERIFY(std::abs(view->AxisMin[2]->value() - double(*lo)) < 1e-3);
    QVERIFY(std::abs(view->AxisMax[2]->value() - double(*hi)) < 1e-3);
    if (*hi > *lo)
        QCOMPARE(view->CWGraph1->yRange(), (std::pair<double, double>(*lo, *hi)));
    QCOMPARE(view->AxisMax[1]->value(), double(series.size()));
    QCOMPARE(view->LblUnit->text(), QStringLiteral("Lx"));
    // A second hand-over replaces the view.
    QPointer<GraphView> first = view;
    emit live->handOverAsked();
    QVERIFY(waitFor([&] { return !first || !first->isVisible(); }));
    QVERIFY(f.hub->graphs().realTimeGraph() != first.data());
}

void TestGraph::liveGraphDrawsAnOutageAsAGap() {
    PanelFixture f;
    AppState& s = f.panel->state();
    f.click("Graph");
    QVERIFY(waitFor([&] { return s.graphPoints.size() >= 2; }));
    // No reading comes (the poll rests, as it does for a download or when the link is down):
    // the last reading stays on the display, but the graph draws a gap.
    const auto rest = f.panel->poll().hold();
    const auto last = [&] { return s.graphPoints.series().last(); };
    QVERIFY(waitFor([&] { return std::isnan(last()); }, 5000));
    QCOMPARE(s.graphPoints.maximum(), s.graphPoints.series().first()); // gaps are no values
}

void TestGraph::plotButtons() {
    QTemporaryDir dir;
    PanelFixture f;
    // A file whose first record is an overload: the range starts at 1000000 and the other
    // values lower its minimum.
    const QString path = dir.filePath("records.txt");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("Fc\tTime\tValue\t\r\n1\t06-14:05:31\tOL\t\r\n2\t06-14:05:32\t12.5\t\r\n"
               "3\t06-14:05:33\t7\t\r\n");
    file.close();
    f.dialogs.openAnswers = {path};
    f.click("Open");
    FileList* list = f.hub->fileList();
    QVERIFY(list);
    QVERIFY(list->toolbarButton("Plot")->isEnabled());
    list->toolbarButton("Plot")->click();
    GraphView* plot = f.hub->graphs().plot();
    QVERIFY(plot);
    QCOMPARE(plot->windowTitle(), QStringLiteral("Plot"));
    QCOMPARE(plot->values(), (QVector<float>{1000000, 12.5f, 7}));
    QCOMPARE(plot->AxisMax[2]->value(), 1000000.0);
    QCOMPARE(plot->AxisMin[2]->value(), 7.0);
    QCOMPARE(plot->AxisMax[1]->value(), 3.0);
    QCOMPARE(plot->LblUnit->text(), QStringLiteral("Fc"));

    // The Data List plots in its own unit, from 0, into the same window.
    f.meter.clearMemory();
    f.meter.addSet(QDateTime(QDate(2026, 12, 6), QTime(8, 0)), 1, {30.0, 45.0, 20.0});
    f.click("Memory");
    f.hub->memory().expand(0);
    DataList* data = f.hub->memory().dataList();
    QVERIFY(data);
    data->toolbarButton("Plot")->click();
    QCOMPARE(f.hub->graphs().plot(), plot);
    QCOMPARE(plot->LblUnit->text(), QStringLiteral("Lx"));
    QCOMPARE(plot->AxisMin[2]->value(), 0.0);
    QCOMPARE(plot->AxisMax[2]->value(), 45.0);
    QCOMPARE(plot->values().size(), 3);

    // A list without data rows cannot be plotted.
    const QString empty = dir.filePath("empty.txt");
    QFile e(empty);
    QVERIFY(e.open(QIODevice::WriteOnly));
    e.write("Lx\tTime\tValue\t\r\n");
    e.close();
    f.dialogs.openAnswers = {empty};
    f.click("Open");
    QVERIFY(waitFor([&] { return f.hub->fileList() && f.hub->fileList() != list; }));
    QVERIFY(!f.hub->fileList()->toolbarButton("Plot")->isEnabled());
}

void TestGraph::initTestCase() {
    // Choices the views remember (the axis, the threshold) are kept away from the user's.
    QVERIFY(m_settings.isValid());
    QCoreApplication::setOrganizationName(QStringLiteral("Lumetra"));
    QCoreApplication::setApplicationName(QStringLiteral("Lumetra"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
}

void TestGraph::init() {
    QSettings().clear(); // each test starts from the defaults
}

// The live graph of the meter handed over and read on the Time axis: the cursor shows the
// clock time, the statistics the dose and the time above a threshold. A series of more than
// a day has its daily profile, which saves as a picture.
void TestGraph::lightOverTime() {
    PanelFixture f;
    f.click(QStringLiteral("Graph"));
    QVERIFY(waitFor([&] { return f.panel->state().graphPoints.size() >= 6; }, 8000));
    f.hub->graphs().handOver();
    GraphView* view = f.hub->graphs().realTimeGraph();
    QVERIFY(waitFor([&] { return view && view->hasTimes(); }));
    QVERIFY(!view->CmdProfile->isEnabled()); // a few seconds: no profile
    view->CboAxis->setCurrentIndex(1);
    emit view->CboAxis->activated(1);
    QVERIFY(view->CWGraph1->timeAxis());
    QCOMPARE(QSettings().value(QStringLiteral("graph/axis")).toString(), QStringLiteral("Time"));
    pick(*view, QStringLiteral("Cursor Coordinates"));
    QVERIFY2(view->XPosition->text().startsWith(QDate::currentDate().toString(Qt::ISODate)),
             qPrintable(view->XPosition->text()));
    // A steady 12.34 lx: never above 500 lx, always above 10.
    QVERIFY2(view->LblStatistics->text().contains(QStringLiteral("≥ 500 lx: 0 s (0 %)")),
             qPrintable(view->LblStatistics->text()));
    view->SpnThreshold->setValue(10);
    QVERIFY2(view->LblStatistics->text().contains(QStringLiteral("(100 %), below: 0 s")),
             qPrintable(view->LblStatistics->text()));
    QVERIFY(view->LblStatistics->text().contains(QStringLiteral("lx·h")));

    // Three days at ten-minute steps: 600 lx from 8:00 to 18:00, 5 lx at night.
    GraphView plot(QStringLiteral("Plot"), QStringLiteral("Plot"), f.dialogs);
    QVector<float> values;
    SeriesTimes times{{}, 600000, false};
    const QDateTime start(QDate(2026, 3, 27), QTime(0, 0));
    for (int k = 0; k < 3 * 144; ++k) {
        const QDateTime t = start.addSecs(600LL * k);
        values << (t.time().hour() >= 8 && t.time().hour() < 18 ? 600.0f : 5.0f);
        times.ms << t.toMSecsSinceEpoch();
    }
    values[145] = 1000000.0f; // an overload at 00:10 of the second day: no amount of light
    plot.fill(values, QStringLiteral("Lx"), 5, 600, times);
    QVERIFY(plot.CmdProfile->isEnabled());
    plot.CmdProfile->click();
    auto* profile = plot.findChild<ProfileWindow*>();
    QVERIFY(profile);
    const heatmap::Map& map = profile->Map->map();
    QCOMPARE(map.rows, 3);
    QCOMPARE(map.cells[1 * 24 + 9].value, std::optional(600.0));
    QCOMPARE(map.cells[2 * 24 + 3].value, std::optional(5.0));
    QCOMPARE(map.cells[1 * 24 + 0].value, std::optional(5.0));
    QTemporaryDir dir;
    f.dialogs.saveAnswers = {dir.filePath(QStringLiteral("profile.png"))};
    profile->CmdSave->click();
    QVERIFY(!QImage(dir.filePath(QStringLiteral("profile.png"))).isNull());

    // A clock set back while recording: times out of order are no times.
    plot.fill({1, 2, 3, 4}, QStringLiteral("Lx"), 1, 4, {{0, 1000, 500, 1500}, 500, false});
    QVERIFY(!plot.hasTimes());

    // A record file through the night the clock goes back: the hour shown twice is settled,
    // the Time axis stays and says so, and the dose covers every step.
    const QByteArray zone = qgetenv("TZ");
    const auto restoreZone = qScopeGuard([&zone] {
        if (zone.isNull())
            qunsetenv("TZ");
        else
            qputenv("TZ", zone);
    });
    qputenv("TZ", "Europe/Berlin");
    RecordTable night;
    QTime wall(1, 40);
    for (int k = 0; k < 16; ++k, wall = wall.addSecs(k == 8 ? -3000 : 600))
        night.appendRow({QString::number(k + 1),
                         QStringLiteral("25-") + wall.toString(QStringLiteral("HH:mm:ss")),
                         QStringLiteral("300")});
    f.hub->graphs().plotColumn(night, 2, QStringLiteral("Lx"), 300, 300,
                               QDateTime(QDate(2026, 10, 25), QTime(12, 0)));
    GraphView* settled = f.hub->graphs().plot();
    QVERIFY(settled && settled->hasTimes());
    settled->CboAxis->setCurrentIndex(1);
    emit settled->CboAxis->activated(1);
    QCOMPARE(settled->CWGraph1->xCaption(),
             QStringLiteral("Time (dates assumed, clock change settled)"));
    QVERIFY2(settled->LblStatistics->text().contains(QStringLiteral("Dose 750 lx·h over 2.50 h")),
             qPrintable(settled->LblStatistics->text()));
}

// A 20 s emergency test by keys only, against a light that drops at the mains failure and holds
// at 1.5 lx: the failure found, two walk points, the verdict, the log-book line and the report
// read back, and the samples it wrote assessed again by lumetra-cli to the same figures.
void TestGraph::emergencyTestByKeys() {
    QTemporaryDir dir;
    PanelFixture f;
    f.meter.setLux(420);
    f.click(QStringLiteral("Emergency"));
    FrmEmergency* w = f.hub->emergencyWindow();
    QVERIFY(w);
    const QString book = dir.filePath("log.jsonl");
    f.dialogs.saveAnswers = {book};
    QTest::keyClick(w->BtnLogBook, Qt::Key_Space);
    QCOMPARE(w->logBookPath(), book);
    QTest::keyClick(w->CboDuration, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(w->CboDuration, "20 s");
    w->TxtLocation->clear();
    QTest::keyClicks(w->TxtLocation, "Stair B");
    QTest::keyClick(w->BtnStart, Qt::Key_Space);
    QVERIFY(w->run());
    QVERIFY2(waitFor([&] { return w->LblState->text().contains("normal level 420 lx"); }, 5000),
             qPrintable(w->LblState->text()));
    f.meter.setProfile({{0, 420}, {0, 0.3}, {1, 1.5}}); // the mains cut
    QVERIFY(waitFor([&] { return w->LblState->text() == QLatin1String("holding"); }, 5000));
    for (int point = 1; point <= 2; ++point) {
        QTest::keyClick(w->Curve, Qt::Key_Space);
        QVERIFY(waitFor([&] { return w->LstWalk->count() == point; }, 3000));
    }
    QVERIFY(waitFor([&] { return w->LblState->text() == QLatin1String("PASSED"); }, 25000));
    QCOMPARE(w->Curve->accessibleDescription(), QStringLiteral("PASSED"));
    QTest::keyClicks(w->TxtRemarks, "Battery replaced 2026-11");
    QTest::keyClick(w->BtnSave, Qt::Key_Space);

    // Once in the log book the test is closed: Space takes no more points, no second entry.
    QTest::keyClick(w->Curve, Qt::Key_Space);
    QTest::qWait(1500);
    QCOMPARE(w->LstWalk->count(), 2);
    QFile logged(book);
    QVERIFY(logged.open(QIODevice::ReadOnly));
    const QByteArray lines = logged.readAll();
    QCOMPARE(lines.count('\n'), 1);
    const QJsonObject entry = QJsonDocument::fromJson(lines).object();
    QCOMPARE(entry.value("verdict").toString(), QStringLiteral("pass"));
    QCOMPARE(entry.value("location").toString(), QStringLiteral("Stair B"));
    QCOMPARE(entry.value("remarks").toString(), QStringLiteral("Battery replaced 2026-11"));
    QCOMPARE(entry.value("normal_lx").toDouble(), 420.0);
    QCOMPARE(entry.value("end_lx").toDouble(), 1.5);
    QCOMPARE(entry.value("walk").toArray().size(), 2);
    QCOMPARE(w->LstHistory->count(), 1);

    const QString csv = entry.value("samples_file").toString();
    const QString text =
        pdfText(QString(csv).replace(QStringLiteral(".csv"), QStringLiteral(".pdf")));
    for (const char* expected : {"Verdict: PASS", "Stair B", "P2", "1.5 lx", "Signed:"})
        QVERIFY2(text.contains(QString::fromUtf8(expected)), qPrintable(text));

    QProcess cli;
    cli.start(QStringLiteral(LUMETRA_BIN_DIR "/lumetra-cli"),
              {"emergency-test", "--assess", csv, "--rule", "en1838-route", "--duration", "20",
               "--json"});
    QVERIFY(cli.waitForFinished(30000));
    QCOMPARE(cli.exitCode(), 0);
    const QJsonObject again = QJsonDocument::fromJson(cli.readAllStandardOutput()).object();
    for (const char* key : {"failure_at", "normal_lx", "t50_s", "t100_s", "minimum_lx", "end_lx",
                            "gaps_s", "time_to_failure_s"})
        QVERIFY2(again.value(QLatin1String(key)) == entry.value(QLatin1String(key)), key);
}

void TestGraph::emergencyDurationsTyped_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("seconds"); // 0: refused
    QTest::newRow("an hour") << "1 h" << 3600.0;
    QTest::newRow("an hour and a half") << "1.5 h" << 5400.0;
    QTest::newRow("a comma") << "1,5 h" << 5400.0;
    QTest::newRow("minutes") << "90 min" << 5400.0;
    QTest::newRow("seconds") << "20 s" << 20.0;
    QTest::newRow("a bare number is seconds") << "3600" << 3600.0;
    QTest::newRow("under 10 s") << "5 s" << 0.0;
    QTest::newRow("over a day") << "25 h" << 0.0;
    QTest::newRow("words") << "an hour" << 0.0;
}

void TestGraph::emergencyDurationsTyped() {
    QFETCH(QString, typed);
    QFETCH(double, seconds);
    QCOMPARE(FrmEmergency::durationOf(typed).value_or(0), seconds);
}

void TestGraph::surveyRoomSizesTypedInFeet_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("metres");
    QTest::newRow("feet") << "16 ft" << 4.88;
    QTest::newRow("a foot mark") << "10'" << 3.05;
    QTest::newRow("a comma") << "12,5 feet" << 3.81;
    QTest::newRow("metres") << "7.5" << 7.5;
}

void TestGraph::surveyRoomSizesTypedInFeet() {
    QFETCH(QString, typed);
    QFETCH(double, metres);
    PanelFixture f;
    f.click(QStringLiteral("Survey"));
    FrmSurvey* w = f.hub->surveyWindow();
    QVERIFY(w);
    w->SpnLength->selectAll();
    QTest::keyClicks(w->SpnLength, typed);
    QTest::keyClick(w->SpnLength, Qt::Key_Return);
    QCOMPARE(w->SpnLength->value(), metres);
    QCOMPARE(w->survey().length, metres);
    w->close();
}

// A 3 x 4 survey walked with the keyboard against the meter, saved, opened, and reported by
// the window and by lumetra-cli: the PDFs, read back, hold the same figures.
void TestGraph::surveyWalkedSavedAndReported() {
    QTemporaryDir dir;
    PanelFixture f;
    f.click(QStringLiteral("Survey"));
    FrmSurvey* w = f.hub->surveyWindow();
    QVERIFY(w);
    w->ChkByHand->setChecked(true);
    w->SpnColumns->setValue(4);
    w->SpnRows->setValue(3);
    QCOMPARE(w->survey().points.size(), 12);
    // Row by row; the darkest point, A3 = 380 lx, gives U0 = 380 / 500.5.
    const double lux[12] = {520, 540, 560, 500, 480, 610, 590, 470, 380, 450, 495, 411};
    for (int k : survey::walkOrder(3, 4)) {
        f.meter.setLux(lux[k]);
        QVERIFY(waitFor([&] { return f.panel->state().display.readingValue == float(lux[k]); }));
        QTest::keyClick(w->Plan, Qt::Key_Space);
        QVERIFY(waitFor([&] { return w->survey().points[k].lux.has_value(); }, 4000));
        QCOMPARE(*w->survey().points[k].lux, lux[k]);
    }
    QCOMPARE(w->LblVerdict->text(), QStringLiteral("Office work, reading and writing: PASS"));

    const QString json = dir.filePath("office.json");
    f.dialogs.saveAnswers = {json};
    w->BtnSave->click();
    w->ChkByHand->setChecked(false); // a new grid, the old one saved
    f.dialogs.openAnswers = {json};
    w->BtnOpen->click();
    QCOMPARE(w->survey().points.size(), 12);
    QCOMPARE(w->survey().points[8].lux, std::optional(380.0));

    // The report is read back as text: scripts/install-deps.sh installs poppler-utils.
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty(),
             "pdftotext (poppler-utils) is missing");
    const QString pdf = dir.filePath("window.pdf");
    f.dialogs.saveAnswers = {pdf};
    w->BtnReport->click();
    const QString text = pdfText(pdf);
    // Average 500.5 lx shown as 501, U0 = 380 / 500.5; the meter's factors read for it.
    // The grid was set by hand, coarser than the rule's, and the report says so.
    for (const char* expected :
         {"Results: PASS", "501 lx", "380 lx", "0.76", "≥ 0.6", "Calibration factor", "L0 1.000",
          "D3", "departing from the rule", "coarser than the rule's"})
        QVERIFY2(text.contains(QString::fromUtf8(expected)), qPrintable(text));

    QProcess cli;
    const QString cliPdf = dir.filePath("cli.pdf");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("DISPLAY"));
    cli.setProcessEnvironment(env);
    cli.start(QStringLiteral(LUMETRA_BIN_DIR "/lumetra-cli"),
              {QStringLiteral("report"), json, QStringLiteral("-o"), cliPdf});
    QVERIFY(cli.waitForFinished(30000));
    QCOMPARE(cli.exitCode(), 0);
    QCOMPARE(cli.readAllStandardOutput(), QByteArray("PASS\n"));
    const auto results = [](const QString& t) {
        return t.section(QStringLiteral("Results"), 1).section(QStringLiteral("Plan"), 0, 0);
    };
    QCOMPARE(results(pdfText(cliPdf)), results(text));

    // Notes of several pages run on to the next pages, to their last word.
    survey::Survey noted = w->survey();
    noted.notes = QStringLiteral("measured ").repeated(2000) + QStringLiteral("lastword");
    QFile long_(dir.filePath(QStringLiteral("noted.pdf")));
    QVERIFY(long_.open(QIODevice::WriteOnly));
    long_.write(*surveyreport::pdf(noted, {}));
    long_.close();
    QVERIFY(pdfText(long_.fileName()).contains(QStringLiteral("lastword")));

    // Quitting with changes not saved asks first: Cancel keeps the program and the survey,
    // Save with the file dialog cancelled too, Discard lets it go.
    QTest::keyClick(w->Plan, Qt::Key_X);
    f.dialogs.messageAnswers = {MessageResult::Cancel};
    QVERIFY(!f.panel->close());
    QVERIFY(w->isVisible());
    f.dialogs.messageAnswers = {MessageResult::Save};
    QVERIFY(!w->close());
    f.dialogs.messageAnswers = {MessageResult::Discard};
    QVERIFY(w->close());
}

namespace {

// Keys to whichever control has the focus (a table cell's editor once typing starts).
void typeKeys(const QString& text) {
    for (const QChar c : text)
        QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
}

} // namespace

// An L-shaped office (8 x 6 m less a 3 x 3 m corner) with one desk as a task area, all made
// and walked by keys: the corners typed, the desk placed, three points taken from the meter
// and the rest typed on the plan; saved, opened again, and reported.
void TestGraph::surveyOfAnLShapedOfficeWithADesk() {
    QTemporaryDir dir;
    PanelFixture f;
    f.click(QStringLiteral("Survey"));
    FrmSurvey* w = f.hub->surveyWindow();
    QVERIFY(w);
    w->BtnOutline->click();
    auto* outline = w->findChild<OutlineDialog*>();
    QVERIFY(outline && outline->isVisible());
    QApplication::setActiveWindow(outline);
    QVERIFY(QTest::qWaitForWindowActive(outline));
    outline->BtnClear->click();
    const QList<QPointF> corners{{0, 0}, {8, 0}, {8, 3}, {5, 3}, {5, 6}, {0, 6}};
    for (const QPointF& c : corners) {
        outline->BtnAddCorner->click();
        typeKeys(QString::number(c.x()));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        typeKeys(QString::number(c.y()));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    // A corner typed across another edge is refused and named.
    outline->TblCorners->item(3, 0)->setText(QStringLiteral("9"));
    outline->TblCorners->item(3, 1)->setText(QStringLiteral("-1"));
    outline->BtnOk->click();
    QVERIFY2(outline->LblProblem->text().contains(QStringLiteral("crosses itself: edges")),
             qPrintable(outline->LblProblem->text()));
    outline->TblCorners->item(3, 0)->setText(QStringLiteral("5"));
    outline->TblCorners->item(3, 1)->setText(QStringLiteral("3"));
    // OK while a corner is still being typed takes that corner too.
    outline->TblCorners->setFocus();
    outline->TblCorners->setCurrentCell(5, 1);
    typeKeys(QStringLiteral("6"));
    outline->BtnOk->click();
    QVERIFY2(waitFor([&] { return !w->findChild<OutlineDialog*>(); }),
             qPrintable(w->LblPoint->text()));
    QCOMPARE(w->survey().outline, QPolygonF(corners));

    // A desk dragged on the plan (to 5 cm), then taken away again.
    {
        const surveyplan::Layout l =
            surveyplan::layout(w->survey(), QRectF(w->Plan->rect()).adjusted(6, 6, -6, -6),
                               QFontMetricsF(w->Plan->font(), w->Plan));
        const QPoint from = l.toDevice.map(QPointF(2.02, 3.51)).toPoint();
        const QPoint to = l.toDevice.map(QPointF(3.21, 4.49)).toPoint();
        QTest::mousePress(w->Plan, Qt::LeftButton, {}, from);
        QTest::mouseMove(w->Plan, to);
        QTest::mouseRelease(w->Plan, Qt::LeftButton, {}, to);
        QCOMPARE(w->survey().areas.size(), 3);
        const QRectF desk = w->survey().areas[0].outline.boundingRect();
        QVERIFY2(std::abs(desk.left() - 2) < 0.06 && std::abs(desk.width() - 1.2) < 0.11,
                 qPrintable(QStringLiteral("%1 %2").arg(desk.left()).arg(desk.width())));
        w->LstAreas->setCurrentRow(0);
        w->BtnRemoveTask->click();
        QVERIFY(w->survey().areas.isEmpty());
    }
    // The room's new shape is work not saved yet: closing asks, and Cancel keeps it.
    f.dialogs.messageAnswers = {MessageResult::Cancel};
    QVERIFY(!w->close());
    w->SpnTaskX->setValue(1);
    w->SpnTaskY->setValue(1);
    w->CboTaskRequirement->setCurrentIndex(0); // office work: 500 lx, U0 0.6
    w->BtnAddTask->setFocus();
    QTest::keyClick(w->BtnAddTask, Qt::Key_Space);
    QCOMPARE(w->survey().areas.size(), 3);
    const survey::Survey& s = w->survey();
    QCOMPARE(survey::pointName(s, s.points[w->current()]), QStringLiteral("T1-A1"));

    // Task 520 lx, surrounding 320 (needs 300), background 120 (needs 100).
    const auto luxOf = [&](int i) { return QList<double>{520, 320, 120}[s.points[i].area]; };
    for (int k = 0; k < s.points.size(); ++k) {
        const int at = w->current();
        if (k < 3) {
            f.meter.setLux(float(luxOf(at)));
            QVERIFY(
                waitFor([&] { return f.panel->state().display.readingValue == float(luxOf(at)); }));
            QTest::keyClick(w->Plan, Qt::Key_Space);
        } else {
            QTest::keyClicks(w->Plan, QString::number(luxOf(at)).left(1));
            QTest::keyClicks(w->TxtValue, QString::number(luxOf(at)).mid(1));
            QTest::keyClick(w->TxtValue, Qt::Key_Return);
        }
        QVERIFY(waitFor([&] { return s.points[at].lux.has_value(); }, 4000));
        QCOMPARE(*s.points[at].lux, luxOf(at));
    }
    QVERIFY(survey::missingEvidence(s).isEmpty());
    QCOMPARE(w->LblVerdict->text(), QStringLiteral("Every area: PASS"));

    const QString json = dir.filePath("office.json");
    f.dialogs.saveAnswers = {json};
    w->BtnSave->click();
    f.dialogs.openAnswers = {json};
    w->BtnOpen->click();
    QCOMPARE(w->survey().areas.size(), 3);
    QCOMPARE(w->survey().outline, QPolygonF(corners));
    QCOMPARE(survey::verdict(w->survey()), QStringLiteral("PASS"));
    const QString pdf = dir.filePath("office.pdf");
    f.dialogs.saveAnswers = {pdf};
    w->BtnReport->click();
    const QString text = pdfText(pdf);
    for (const char* expected :
         {"Results: PASS", "Task 1: PASS", "Surrounding 1: PASS", "Background: PASS", "Outline (m)",
          "(5.00, 3.00)", "≥ 300 lx", "≥ 100 lx", "T1-A1", "S1-", "BG-", "8.00 m", "6.00 m"})
        QVERIFY2(text.contains(QString::fromUtf8(expected)), qPrintable(expected + text));

    // The command line reads the same file: its verdict, and each point with its area.
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    cli.setProcessEnvironment(env);
    const QString csv = dir.filePath("office.csv");
    cli.start(QStringLiteral(LUMETRA_BIN_DIR "/lumetra-cli"),
              {QStringLiteral("report"), json, QStringLiteral("--csv"), csv});
    QVERIFY(cli.waitForFinished(30000));
    QCOMPARE(cli.readAllStandardOutput(), QByteArray("PASS\n"));
    QFile points(csv);
    QVERIFY(points.open(QIODevice::ReadOnly));
    const QByteArray rows = points.readAll();
    QVERIFY(rows.startsWith(
        "point,row,column,x_m,y_m,lux,obstructed,taken,typed,area,lux_off,taken_off\n"));
    QVERIFY2(rows.contains("\nT1-A1,1,1,") && rows.contains(",Surrounding 1,,\n") &&
                 rows.contains(",Background,,\n"),
             rows.constData());
    w->close();
}

namespace {

// A survey window with a hand-set grid of columns x rows, over a running virtual meter.
FrmSurvey* smallSurvey(PanelFixture& f, int columns, int rows) {
    f.click(QStringLiteral("Survey"));
    FrmSurvey* w = f.hub->surveyWindow();
    if (w) {
        w->ChkByHand->setChecked(true);
        w->SpnColumns->setValue(columns);
        w->SpnRows->setValue(rows);
    }
    return w;
}

} // namespace

// The light checked before the walk against the meter: stable on the third check, and, with
// the light rising 10 % between checks, not stable after six. The interval is cut to 100 ms
// to keep the test short; the window's box takes no less than 10 s.
void TestGraph::surveyStabilityChecked() {
    PanelFixture f;
    FrmSurvey* w = smallSurvey(f, 2, 1);
    QVERIFY(w);
    QCOMPARE(w->LblStability->text(), QStringLiteral("stability not checked"));
    w->setStabilityInterval(100);
    f.meter.setLux(500);
    w->BtnCheckStability->click();
    QVERIFY(w->checkingStability());
    QVERIFY(waitFor([&] { return !w->checkingStability(); }, 15000));
    QCOMPARE(w->survey().stability.size(), 3);
    QVERIFY2(w->LblStability->text().startsWith(QLatin1String("stable at ")),
             qPrintable(w->LblStability->text()));

    double lux = 300;
    f.meter.setLux(lux);
    w->BtnCheckStability->click();
    // The last check's three readings stand until the new one's first.
    for (int taken = -1; w->checkingStability();) {
        QVERIFY(waitFor(
            [&] { return w->survey().stability.size() != taken || !w->checkingStability(); },
            15000));
        if (w->survey().stability.size() != taken) {
            taken = int(w->survey().stability.size());
            f.meter.setLux(lux *= 1.1); // warming up: never three alike
        }
    }
    QCOMPARE(w->survey().stability.size(), 6);
    QVERIFY2(w->LblStability->text().startsWith(QLatin1String("not stable after 6 checks")),
             qPrintable(w->LblStability->text()));
    w->close();
}

// Hands-free against the meter: a point is taken by itself once the reading moved more than
// 10 % and held for 2 s, none while it keeps moving, and Escape turns it off at once.
void TestGraph::surveyTakenWhenSteady() {
    PanelFixture f;
    FrmSurvey* w = smallSurvey(f, 3, 1);
    QVERIFY(w);
    f.meter.setLux(500);
    QVERIFY(waitFor([&] { return f.panel->state().display.readingValue == 500.0f; }));
    w->Plan->setFocus();
    QTest::keyClick(w->Plan, Qt::Key_Space); // the first point by hand
    QVERIFY(waitFor([&] { return w->survey().points[0].lux.has_value(); }, 4000));
    QTest::keyClick(w, Qt::Key_F8);
    QVERIFY(w->ChkTakeWhenSteady->isChecked());
    // Carried on: the reading keeps climbing for 3 s, then holds.
    QElapsedTimer walk;
    walk.start();
    for (double lux = 200; walk.elapsed() < 3000; lux *= 1.08) {
        f.meter.setLux(lux);
        QTest::qWait(150);
        QVERIFY(!w->survey().points[1].lux);
    }
    f.meter.setLux(320);
    QVERIFY(waitFor([&] { return w->survey().points[1].lux.has_value(); }, 6000));
    QCOMPARE(*w->survey().points[1].lux, 320.0);
    QVERIFY2(w->LblPoint->text().startsWith(QLatin1String("Taken when steady: B1, 320 lux")),
             qPrintable(w->LblPoint->text()));
    QCOMPARE(w->current(), 2);
    // Off at once: carried and held, nothing is taken.
    QTest::keyClick(w->Plan, Qt::Key_Escape);
    QVERIFY(!w->ChkTakeWhenSteady->isChecked());
    f.meter.setLux(800);
    QTest::qWait(2600);
    QVERIFY(!w->survey().points[2].lux);
    w->close();
}

// A survey by keys as evidence: a new installation, walked with the lights on and then off,
// the instrument typed, compared with last year's survey, saved, opened again and reported.
void TestGraph::surveyAsEvidenceByKeys() {
    QTemporaryDir dir;
    PanelFixture f;
    FrmSurvey* w = smallSurvey(f, 3, 2);
    QVERIFY(w);
    // Last year's survey of the same grid, of the electric light: B1 has fallen 25 % since.
    survey::Survey last = w->survey();
    for (int i = 0; i < last.points.size(); ++i) {
        last.points[i].lux = i == 1 ? 750.0 : 700.0; // 650 and 600 of electric light
        last.points[i].luxOff = 100.0;
        last.points[i].taken = QDateTime(QDate(2025, 11, 3), QTime(9, 0));
    }
    const QString lastPath = dir.filePath("last-year.json");
    QFile lastFile(lastPath);
    QVERIFY(lastFile.open(QIODevice::WriteOnly));
    lastFile.write(survey::toJson(last));
    lastFile.close();

    w->OptNewInstallation->click();
    w->SpnMaintenanceFactor->setValue(0.8);
    QTest::keyClicks(w->TxtInstrumentModel, QStringLiteral("LX-9"));
    QTest::keyClicks(w->TxtInstrumentSerial, QStringLiteral("0042"));
    w->CboInstrumentClass->setCurrentIndex(3); // B
    w->TxtCalibrated->setText(QDate::currentDate().addMonths(-14).toString(Qt::ISODate));
    QTest::keyClick(w->TxtCalibrated, Qt::Key_Return);
    // With lights, then off: the electric light is 600 everywhere but at B1 (490).
    const double on[6] = {700, 590, 700, 700, 700, 700};
    const double off[6] = {100, 100, 100, 100, 100, 100};
    w->Plan->setFocus();
    for (bool lightsOff : {false, true}) {
        if (lightsOff) {
            QTest::keyClick(w, Qt::Key_F6);
            QVERIFY(w->lightsOffPass());
        }
        for (int k : survey::walkOrder(2, 3)) {
            const double lux = lightsOff ? off[k] : on[k];
            f.meter.setLux(lux);
            QVERIFY(waitFor([&] { return f.panel->state().display.readingValue == float(lux); }));
            QCOMPARE(w->current(), k);
            QTest::keyClick(w->Plan, Qt::Key_Space);
            QVERIFY2(waitFor(
                         [&] {
                             const survey::Point& p = w->survey().points[k];
                             return (lightsOff ? p.luxOff : p.lux).has_value();
                         },
                         4000),
                     qPrintable(w->LblPoint->text()));
        }
    }
    QVERIFY2(w->LblVerdict->text().contains(QLatin1String("electric light alone")),
             qPrintable(w->LblVerdict->text()));
    // 581.7 lx x 0.80 = 465 lx < 500 lx.
    QVERIFY2(w->LblVerdict->text().contains(
                 QString::fromUtf8("measured 582 lx × MF 0.80 = 465 lx < 500 lx")),
             qPrintable(w->LblVerdict->text()));
    QCOMPARE(w->LblCalibration->text(),
             QStringLiteral("Note: calibrated 14 months before this survey."));

    f.dialogs.openAnswers = {lastPath};
    w->BtnCompare->click();
    QVERIFY2(w->LblBaseline->text().contains(QLatin1String("6 points matched, 1 fell")),
             qPrintable(w->LblBaseline->text()));
    QCOMPARE(w->CboShown->currentIndex(), 3);

    const QString json = dir.filePath("office.json");
    f.dialogs.saveAnswers = {json};
    w->BtnSave->click();
    f.dialogs.openAnswers = {json};
    w->BtnOpen->click();
    QCOMPARE(w->survey().points[4].luxOff, std::optional(100.0));
    QVERIFY(w->survey().baseline && w->survey().installation.isNew);
    QCOMPARE(w->TxtInstrumentSerial->text(), QStringLiteral("0042"));

    const QString pdf = dir.filePath("evidence.pdf");
    f.dialogs.saveAnswers = {pdf};
    w->BtnReport->click();
    const QString text = pdfText(pdf);
    for (const char* expected :
         {"model LX-9, serial 0042, class B (DIN 5032-7, 10 %)",
          "calibrated 14 months before this survey", "Stability not checked",
          "measured 582 lx × MF 0.80 = 465 lx < 500 lx", "Figures of the electric light alone",
          "Lights-on pass", "Change since the earlier survey",
          "last-year.json, measured 2025-11-03", "Points that fell by more than 20 %: 1", "B1",
          "−25 %"})
        QVERIFY2(text.contains(QString::fromUtf8(expected)), expected);
    w->close();
}

QTEST_MAIN(TestGraph)
#include "tst_graph.moc"
