#include "graphview.h"

#include "model/columnplot.h"
#include "model/exposure.h"
#include "model/samplerow.h"
#include "platform/remembered.h"
#include "widgets/dialogs.h"
#include "widgets/twips.h"
#include "windows/profile.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QSettings>
#include <QShortcut>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>
#include <functional>
#include <tuple>

namespace lumetra {
namespace {

// A range edit: three decimals, stepping by 0.001, shown as "0.###" (no trailing zeros). A
// typed value counts when Enter is pressed or the edit is left.
class RangeEdit : public QDoubleSpinBox {
public:
    explicit RangeEdit(QWidget* parent) : QDoubleSpinBox(parent) {
        setDecimals(3);
        setSingleStep(0.001);
        setRange(-1e9, 1e9);
        setKeyboardTracking(false);
        setAlignment(Qt::AlignRight);
    }
    QString textFromValue(double value) const override {
        QString text = QString::number(value, 'f', 3);
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
        return text == QLatin1String("-0") ? QStringLiteral("0") : text;
    }
};

QString numberText(double v) {
    return QString::number(v, 'g', 10);
}

const QString kAxisKey = QStringLiteral("graph/axis");
const QString kThresholdKey = QStringLiteral("graph/threshold");
const QString kTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

QString duration(qint64 ms) {
    const double s = double(ms) / 1000;
    if (s < 120)
        return QStringLiteral("%1 s").arg(s, 0, 'f', 0);
    if (s < 7200)
        return QStringLiteral("%1 min").arg(s / 60, 0, 'f', 1);
    return QStringLiteral("%1 h").arg(s / 3600, 0, 'f', 2);
}

// A range of no width cannot be shown (one reading, or a steady light): it is opened a
// little around its value.
std::pair<float, float> showable(float lower, float upper) {
    if (upper > lower)
        return {lower, upper};
    const float half = std::max(std::abs(lower) * 0.05f, 0.5f);
    return {lower - half, lower + half};
}

} // namespace

const std::array<GraphView::Mode, 8> GraphView::kModes{{
    {"Normal", MouseMode::Normal, "Normal mode"},
    {"Cursor Coordinates", MouseMode::Cursor,
     "Drag the cursor with your mouse to get X (Count) and Y (Value) position."},
    {"PanXY", MouseMode::PanXY,
     "Click anywhere on the plot area and drag to pan the graph both horizontally and "
     "vertically."},
    {"PanX", MouseMode::PanX,
     "Click anywhere on the plot area and drag to pan the graph horizontally."},
    {"PanY", MouseMode::PanY,
     "Click anywhere on the plot area and drag to pan the graph vertically."},
    {"ZoomXY", MouseMode::ZoomXY,
     "Select a region on the graph to zoom both horizontally and vertically."},
    {"ZoomX", MouseMode::ZoomX, "Select a region on the graph to zoom horizontally."},
    {"ZoomY", MouseMode::ZoomY, "Select a region on the graph to zoom vertically."},
}};

GraphView::GraphView(const QString& objectName, const QString& caption, Dialogs& dialogs,
                     QWidget* parent)
    : QWidget(parent, Qt::Window), m_dialogs(dialogs) {
    setObjectName(objectName);
    setWindowTitle(caption);
    setAttribute(Qt::WA_DeleteOnClose);

    CWGraph1 = new SeriesPlot(this);
    CWGraph1->setObjectName(QStringLiteral("CWGraph1"));
    CWGraph1->setAccessibleName(tr("Graph"));
    CWGraph1->setAxisCaptions(QStringLiteral("No.s"), QString());

    FrmGraphic = new QGroupBox(QStringLiteral("Graphic Plot"), this);
    FrmGraphic->setObjectName(QStringLiteral("FrmGraphic"));

    setUpRange();
    setUpTrackMode();
    setUpCursorInformation();
    setUpButtons();
    layOut();
    followThePlot();

    // Escape closes the view, as it does the other windows that send nothing to the meter.
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            &QWidget::close);
    // At least the window's own size, and never less than its controls need: a larger font
    // or a high-DPI screen would otherwise cut the buttons' captions short.
    setMinimumSize(QSize(twipsToPixels(this, 11360), twipsToPixels(this, 8960))
                       .expandedTo(layout()->minimumSize()));
    resize(minimumSize());
    move(0, 0); // the top-left corner of the screen
    Combo1->setCurrentIndex(0);
    chooseMode(0);
}

// "Graph Range": two rows of edits, "No.s" and the unit, under "Max" and "Min", and the
// horizontal axis's choice.
void GraphView::setUpRange() {
    SSFrame4 = new QGroupBox(QStringLiteral("Graph Range"), FrmGraphic);
    SSFrame4->setObjectName(QStringLiteral("SSFrame4"));
    auto* range = new QGridLayout(SSFrame4);
    Label5 = new QLabel(QStringLiteral("Max"), SSFrame4);
    Label5->setObjectName(QStringLiteral("Label5"));
    Label6 = new QLabel(QStringLiteral("Min"), SSFrame4);
    Label6->setObjectName(QStringLiteral("Label6"));
    Label3 = new QLabel(QStringLiteral("No.s"), SSFrame4);
    Label3->setObjectName(QStringLiteral("Label3"));
    LblUnit = new QLabel(QStringLiteral("KW1"), SSFrame4);
    LblUnit->setObjectName(QStringLiteral("LblUnit"));
    range->setRowStretch(4, 1); // the rows sit at the top of their frame
    range->addWidget(Label5, 0, 1, Qt::AlignCenter);
    range->addWidget(Label6, 0, 2, Qt::AlignCenter);
    range->addWidget(Label3, 1, 0);
    range->addWidget(LblUnit, 2, 0);
    for (int axis = 1; axis <= 2; ++axis) {
        auto* max = new RangeEdit(SSFrame4);
        auto* min = new RangeEdit(SSFrame4);
        max->setObjectName(QStringLiteral("AxisMax(%1)").arg(axis));
        min->setObjectName(QStringLiteral("AxisMin(%1)").arg(axis));
        const QString what = axis == 1 ? tr("readings") : tr("values");
        max->setAccessibleName(tr("Maximum of the %1").arg(what));
        min->setAccessibleName(tr("Minimum of the %1").arg(what));
        if (axis == 1) {
            max->setDecimals(0);
            min->setDecimals(0);
            max->setSingleStep(1);
            min->setSingleStep(1);
        }
        AxisMax[size_t(axis)] = max;
        AxisMin[size_t(axis)] = min;
        if (axis == 2) {
            range->addWidget(max, axis, 1);
            range->addWidget(min, axis, 2);
        }
        connect(max, &QDoubleSpinBox::valueChanged, this, &GraphView::applyEdits);
        connect(min, &QDoubleSpinBox::valueChanged, this, &GraphView::applyEdits);
    }

    setUpAxisChoice(*range);
}

// The horizontal axis: reading numbers, or clock time where the times are known; on the Time
// axis time edits stand where the reading numbers' edits were.
void GraphView::setUpAxisChoice(QGridLayout& range) {
    CboAxis = new QComboBox(SSFrame4);
    CboAxis->setObjectName(QStringLiteral("CboAxis"));
    CboAxis->setAccessibleName(tr("Horizontal axis"));
    CboAxis->addItems({QStringLiteral("No.s"), QStringLiteral("Time")});
    CboAxis->setEnabled(false);
    auto* axisLabel = new QLabel(tr("&X axis"), SSFrame4);
    axisLabel->setBuddy(CboAxis);
    range.addWidget(axisLabel, 3, 0);
    range.addWidget(CboAxis, 3, 1, 1, 2);
    DtTo = new QDateTimeEdit(SSFrame4);
    DtTo->setObjectName(QStringLiteral("DtTo"));
    DtTo->setAccessibleName(tr("End of the time range"));
    DtFrom = new QDateTimeEdit(SSFrame4);
    DtFrom->setObjectName(QStringLiteral("DtFrom"));
    DtFrom->setAccessibleName(tr("Start of the time range"));
    for (QDateTimeEdit* e : {DtFrom, DtTo}) {
        e->setDisplayFormat(kTimeFormat);
        // Readings of this century: the edit's default range reaches back to the year 100,
        // and sizing it converts those dates to local time, which is slow.
        e->setDateTimeRange(QDateTime(QDate(1990, 1, 1), QTime(0, 0)),
                            QDateTime(QDate(2100, 1, 1), QTime(0, 0)));
        e->setKeyboardTracking(false);
        connect(e, &QDateTimeEdit::dateTimeChanged, this, &GraphView::applyEdits);
    }
    // Numbers or times in the same place: the window keeps its layout when the axis changes.
    m_toStack = new QStackedWidget(SSFrame4);
    m_toStack->addWidget(AxisMax[1]);
    m_toStack->addWidget(DtTo);
    m_fromStack = new QStackedWidget(SSFrame4);
    m_fromStack->addWidget(AxisMin[1]);
    m_fromStack->addWidget(DtFrom);
    range.addWidget(m_toStack, 1, 1);
    range.addWidget(m_fromStack, 1, 2);
    connect(CboAxis, &QComboBox::activated, this, [this](int index) {
        chooseAxis(index);
        if (const QString e = remember(kAxisKey, CboAxis->currentText()); !e.isEmpty())
            LblStatistics->setText(e);
    });
}

// "Track Mode": the mouse modes and what each does.
void GraphView::setUpTrackMode() {
    SSFrame3 = new QGroupBox(QStringLiteral("Track Mode"), FrmGraphic);
    SSFrame3->setObjectName(QStringLiteral("SSFrame3"));
    auto* track = new QVBoxLayout(SSFrame3);
    Combo1 = new QComboBox(SSFrame3);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setAccessibleName(tr("Track mode"));
    for (const Mode& m : kModes)
        Combo1->addItem(QLatin1String(m.item));
    txtDescription = new QPlainTextEdit(SSFrame3);
    txtDescription->setObjectName(QStringLiteral("txtDescription"));
    txtDescription->setAccessibleName(tr("Track mode description"));
    txtDescription->setReadOnly(true);
    txtDescription->setMaximumHeight(txtDescription->fontMetrics().lineSpacing() * 4 + 12);
    track->addWidget(Combo1);
    track->addWidget(txtDescription);
    connect(Combo1, &QComboBox::activated, this, &GraphView::chooseMode);
}

// "Cursor Information": where the cursor is, the statistics of the view and the threshold.
void GraphView::setUpCursorInformation() {
    SSFrame2 = new QGroupBox(QStringLiteral("Cursor Information"), FrmGraphic);
    SSFrame2->setObjectName(QStringLiteral("SSFrame2"));
    auto* cursor = new QGridLayout(SSFrame2);
    Label1 = new QLabel(QStringLiteral("No.s ( X ) :"), SSFrame2);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label2 = new QLabel(QStringLiteral("Value ( Y ) :"), SSFrame2);
    Label2->setObjectName(QStringLiteral("Label2"));
    XPosition = new QLabel(SSFrame2);
    XPosition->setObjectName(QStringLiteral("XPosition"));
    YPosition = new QLabel(SSFrame2);
    YPosition->setObjectName(QStringLiteral("YPosition"));
    LblStatistics = new QLabel(SSFrame2);
    LblStatistics->setObjectName(QStringLiteral("LblStatistics"));
    LblStatistics->setWordWrap(true);
    LblStatistics->setTextInteractionFlags(Qt::TextSelectableByMouse);
    cursor->addWidget(Label1, 0, 0);
    cursor->addWidget(XPosition, 0, 1);
    cursor->addWidget(Label2, 1, 0);
    cursor->addWidget(YPosition, 1, 1);
    cursor->addWidget(LblStatistics, 2, 0, 1, 2);
    SpnThreshold = new QDoubleSpinBox(SSFrame2);
    SpnThreshold->setObjectName(QStringLiteral("SpnThreshold"));
    SpnThreshold->setAccessibleName(tr("Threshold for the time above, lux"));
    SpnThreshold->setRange(0, 400000);
    SpnThreshold->setDecimals(1);
    SpnThreshold->setSuffix(QStringLiteral(" lx"));
    SpnThreshold->setKeyboardTracking(false);
    SpnThreshold->setValue(QSettings().value(kThresholdKey, 500.0).toDouble());
    auto* thresholdLabel = new QLabel(tr("&Threshold"), SSFrame2);
    thresholdLabel->setBuddy(SpnThreshold);
    cursor->addWidget(thresholdLabel, 3, 0);
    cursor->addWidget(SpnThreshold, 3, 1);
    connect(SpnThreshold, &QDoubleSpinBox::valueChanged, this, [this](double v) {
        updateStatistics();
        if (const QString e = remember(kThresholdKey, v); !e.isEmpty())
            LblStatistics->setText(e);
    });
}

void GraphView::setUpButtons() {
    CmdReset = new QPushButton(QStringLiteral("Reset Scale"), FrmGraphic);
    CmdReset->setObjectName(QStringLiteral("CmdReset"));
    CmdPrint = new QPushButton(QStringLiteral("Print Graph"), FrmGraphic);
    CmdPrint->setObjectName(QStringLiteral("CmdPrint"));
    CmdSave = new QPushButton(QStringLiteral("Save Graph"), FrmGraphic);
    CmdSave->setObjectName(QStringLiteral("CmdSave"));
    CmdSave->setToolTip(tr("Save the graph as a PNG picture or a PDF document"));
    CmdProfile = new QPushButton(QStringLiteral("Profile"), FrmGraphic);
    CmdProfile->setObjectName(QStringLiteral("CmdProfile"));
    CmdProfile->setToolTip(tr("The mean light of every hour of every day (a series longer than "
                              "a day)"));
    CmdProfile->setEnabled(false);
    connect(CmdProfile, &QPushButton::clicked, this, &GraphView::showProfile);
    for (QPushButton* b : {CmdReset, CmdPrint, CmdSave, CmdProfile})
        b->setAccessibleName(b->text());
    connect(CmdReset, &QPushButton::clicked, this, &GraphView::resetScale);
    connect(CmdPrint, &QPushButton::clicked, this, &GraphView::print);
    connect(CmdSave, &QPushButton::clicked, this, &GraphView::saveGraph);
}

void GraphView::layOut() {
    // Three equal columns, the buttons under the cursor readout.
    auto* columns = new QHBoxLayout(FrmGraphic);
    columns->addWidget(SSFrame4, 1);
    columns->addWidget(SSFrame3, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(SSFrame2, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(CmdReset);
    buttons->addWidget(CmdPrint);
    buttons->addWidget(CmdSave);
    buttons->addWidget(CmdProfile);
    right->addLayout(buttons);
    columns->addLayout(right, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(twipsToPixels(this, 100), twipsToPixels(this, 100),
                               twipsToPixels(this, 100), twipsToPixels(this, 100));
    layout->addWidget(CWGraph1, 1);
    layout->addWidget(FrmGraphic);
}

// The readout follows the cursor, and the statistics follow the view.
void GraphView::followThePlot() {
    connect(CWGraph1, &SeriesPlot::cursorMoved, this, [this](double x, double y) {
        XPosition->setText(CWGraph1->timeAxis()
                               ? QDateTime::fromMSecsSinceEpoch(qint64(std::llround(x * 1000)))
                                     .toString(kTimeFormat)
                               : numberText(x));
        // Over an unreadable record the trace has a gap, and so has the readout.
        YPosition->setText(std::isnan(y) ? QString() : QString::number(y, 'f', 3));
    });
    // The statistics follow every zoom, pan or typed range, once per burst of changes.
    connect(CWGraph1, &SeriesPlot::rangesChanged, this, [this] {
        if (m_statisticsDue)
            return;
        m_statisticsDue = true;
        QTimer::singleShot(0, this, [this] {
            m_statisticsDue = false;
            updateStatistics();
        });
    });
}

void GraphView::setEdits(double xMin, double xMax, double yMin, double yMax) {
    if (CWGraph1->timeAxis()) {
        // The number edits keep their range; the time edits show the times.
        for (const auto& [edit, value] : {std::pair{DtFrom, xMin}, std::pair{DtTo, xMax}}) {
            const QSignalBlocker quiet(edit);
            edit->setDateTime(QDateTime::fromMSecsSinceEpoch(qint64(std::llround(value * 1000))));
        }
        for (const auto& [edit, value] :
             {std::pair{AxisMin[2], yMin}, std::pair{AxisMax[2], yMax}}) {
            const QSignalBlocker quiet(edit);
            edit->setValue(value);
        }
        return;
    }
    const std::array<std::pair<QDoubleSpinBox*, double>, 4> edits{
        {{AxisMin[1], xMin}, {AxisMax[1], xMax}, {AxisMin[2], yMin}, {AxisMax[2], yMax}}};
    for (const auto& [edit, value] : edits) {
        const QSignalBlocker quiet(edit);
        edit->setValue(value);
    }
}

void GraphView::fill(const QVector<float>& values, const QString& unit, float lower, float upper,
                     Times times) {
    if (m_profile)
        m_profile->close(); // it showed the series this one replaces
    m_values = values;
    m_unit = unit;
    // Times that do not match the values, or that go back (the PC clock was set back), are
    // no times: every search by time needs them in order.
    if (times.ms.size() != values.size() ||
        std::adjacent_find(times.ms.cbegin(), times.ms.cend(), std::greater<>()) != times.ms.cend())
        times = {};
    m_times = std::move(times);
    // The same readings in lux over real time, for the exposure figures and the profile.
    m_lux = {};
    if (hasTimes() && illuminance()) {
        const double perValue = m_unit.compare(QLatin1String("Fc"), Qt::CaseInsensitive) == 0
                                    ? samples::kLuxPerFootCandle
                                    : 1.0;
        m_lux.intervalMs = m_times.intervalMs;
        m_lux.timesMs = m_times.ms; // shared, not copied: a full ring's times are 7 MB
        m_lux.lux.reserve(values.size());
        // An overload is plotted at the top of the scale (1000000, or 100000 foot-candles on
        // the live display): it is no amount of light, and counts as a gap.
        const float overload = perValue > 1 ? 100000.0f : 1000000.0f;
        for (const float v : values)
            m_lux.lux.append(v >= overload ? std::nan("") : double(v) * perValue);
    }
    std::tie(m_resetLower, m_resetUpper) = showable(lower, upper);
    LblUnit->setText(unit);
    CboAxis->setEnabled(hasTimes());
    const bool overADay = hasTimes() && m_times.ms.constLast() - m_times.ms.constFirst() > 86400000;
    CmdProfile->setEnabled(overADay && illuminance());
    const int axis = hasTimes() && QSettings().value(kAxisKey).toString() == QLatin1String("Time");
    CboAxis->setCurrentIndex(axis);
    // The trace is made now; a switch of axis rewrites its keys.
    CWGraph1->setSeries(m_values);
    if (hasTimes())
        CWGraph1->setTimes(m_times.ms, 2 * m_times.intervalMs);
    showSeries();
}

void GraphView::chooseAxis(int index) {
    CboAxis->setCurrentIndex(hasTimes() ? std::clamp(index, 0, 1) : 0);
    showSeries();
}

void GraphView::showSeries() {
    const bool time = CboAxis->currentIndex() == 1 && hasTimes();
    CWGraph1->showTime(time);
    QStringList notes;
    if (m_times.datesAssumed)
        notes << tr("dates assumed");
    if (m_times.clockSettled)
        notes << tr("clock change settled");
    const QString x = !time             ? QStringLiteral("No.s")
                      : notes.isEmpty() ? tr("Time")
                                        : tr("Time (%1)").arg(notes.join(QStringLiteral(", ")));
    CWGraph1->setAxisCaptions(x, m_unit);
    Label3->setText(time ? tr("Time") : QStringLiteral("No.s"));
    Label1->setText(time ? tr("Time ( X ) :") : QStringLiteral("No.s ( X ) :"));
    m_toStack->setCurrentIndex(time ? 1 : 0);
    m_fromStack->setCurrentIndex(time ? 1 : 0);
    resetScale();
    updateStatistics();
    if (CWGraph1->mouseMode() == MouseMode::Cursor) {
        // The cursor moves to the centre of the new series.
        const auto [x0, x1] = CWGraph1->xRange();
        CWGraph1->moveCursor((x0 + x1) / 2);
    }
}

void GraphView::chooseMode(int index) {
    if (index < 0 || index >= int(kModes.size()))
        return;
    const Mode& m = kModes[size_t(index)];
    Combo1->setCurrentIndex(index);
    CWGraph1->setMouseMode(m.mode);
    txtDescription->setPlainText(QLatin1String(m.description));
    const bool cursor = m.mode == MouseMode::Cursor;
    CWGraph1->setCursorVisible(cursor);
    if (cursor) {
        // At the centre of what is in view now, zoomed or not.
        const auto [x0, x1] = CWGraph1->xRange();
        CWGraph1->moveCursor((x0 + x1) / 2);
    }
}

void GraphView::applyEdits() {
    const bool time = CWGraph1->timeAxis();
    const double x0 =
        time ? double(DtFrom->dateTime().toMSecsSinceEpoch()) / 1000 : AxisMin[1]->value();
    const double x1 =
        time ? double(DtTo->dateTime().toMSecsSinceEpoch()) / 1000 : AxisMax[1]->value();
    const double y0 = AxisMin[2]->value(), y1 = AxisMax[2]->value();
    if (!(x0 < x1) || !(y0 < y1)) {
        // A minimum that is not below its maximum is refused: the edits show the range again.
        const auto [cx0, cx1] = CWGraph1->xRange();
        const auto [cy0, cy1] = CWGraph1->yRange();
        setEdits(cx0, cx1, cy0, cy1);
        return;
    }
    CWGraph1->setXRange(x0, x1);
    CWGraph1->setYRange(y0, y1);
}

void GraphView::resetScale() {
    if (CWGraph1->timeAxis()) {
        const double t0 = double(m_times.ms.constFirst()) / 1000;
        const double t1 = std::max(double(m_times.ms.constLast()) / 1000, t0 + 1);
        setEdits(t0, t1, m_resetLower, m_resetUpper);
        CWGraph1->setYRange(m_resetLower, m_resetUpper);
        CWGraph1->setXRange(t0, t1);
        return;
    }
    const double n = std::max<double>(2, m_values.size()); // one reading still gets a width
    setEdits(1, n, m_resetLower, m_resetUpper);
    CWGraph1->setYRange(m_resetLower, m_resetUpper);
    CWGraph1->setXRange(1, n);
}

bool GraphView::illuminance() const {
    return m_unit.compare(QLatin1String("Lx"), Qt::CaseInsensitive) == 0 ||
           m_unit.compare(QLatin1String("Fc"), Qt::CaseInsensitive) == 0;
}

std::pair<qsizetype, qsizetype> GraphView::readingsInView() const {
    const auto [x0, x1] = CWGraph1->xRange();
    if (!CWGraph1->timeAxis()) {
        const auto first = qsizetype(std::max(0.0, std::ceil(x0) - 1));
        const auto last = qsizetype(std::min(double(m_values.size()), std::floor(x1))) - 1;
        return {first, last};
    }
    const QVector<qint64>& t = m_times.ms;
    const auto from = std::lower_bound(t.cbegin(), t.cend(), qint64(std::ceil(x0 * 1000)));
    const auto to = std::upper_bound(t.cbegin(), t.cend(), qint64(std::floor(x1 * 1000)));
    return {from - t.cbegin(), (to - t.cbegin()) - 1};
}

QString GraphView::exposureText(qsizetype first, qsizetype last) const {
    const double threshold = SpnThreshold->value();
    const exposure::Figures f = exposure::figures(m_lux, first, last, threshold);
    const auto share = [&](qint64 ms) {
        return f.coveredMs > 0
                   ? QStringLiteral("%1 %").arg(100.0 * double(ms) / double(f.coveredMs), 0, 'f', 0)
                   : QStringLiteral("–");
    };
    QString text = tr("\nDose %1 lx·h over %2")
                       .arg(f.luxHours, 0, 'f', f.luxHours < 100 ? 2 : 0)
                       .arg(duration(f.coveredMs));
    if (f.gapMs > 0)
        text += tr(" (gaps left out: %1)").arg(duration(f.gapMs));
    // A reading on a limit belongs to the band above it.
    text += tr("\n≥ %1 lx: %2 (%3), below: %4 (%5)")
                .arg(QString::number(threshold, 'g', 7))
                .arg(duration(f.aboveMs), share(f.aboveMs), duration(f.belowMs), share(f.belowMs));
    text += tr("\nBelow 100 lx %1 · 100–500 %2 · 500–2000 %3 · ≥ 2000 %4")
                .arg(duration(f.bandMs[0]), duration(f.bandMs[1]), duration(f.bandMs[2]),
                     duration(f.bandMs[3]));
    return text;
}

void GraphView::updateStatistics() {
    // The same readings on either axis: those inside the range in view.
    const auto [first, last] = readingsInView();
    const auto s = first <= last ? rangeStatistics(m_values, double(first + 1), double(last + 1))
                                 : std::nullopt;
    if (!s) {
        LblStatistics->clear();
        return;
    }
    // The readings' own resolution (an average one decimal more), not three decimals for all.
    const int decimals = readingDecimals(m_values, first, last + 1);
    QString text = tr("In view: %1 values\nMin %2  Avg %3  Max %4")
                       .arg(s->count)
                       .arg(s->minimum, 0, 'f', decimals)
                       .arg(s->average, 0, 'f', std::min(decimals + 1, 3))
                       .arg(s->maximum, 0, 'f', decimals);
    // Illuminance (lux or foot-candles): the uniformity lighting people check.
    if (s->uniformity && illuminance())
        text += tr("\nUniformity (Min/Avg) %1").arg(*s->uniformity, 0, 'f', 3);
    // Over real time: how much light fell, and for how long it was above or below a level.
    if (hasTimes() && illuminance())
        text += exposureText(first, last);
    LblStatistics->setText(text);
}

void GraphView::showProfile() {
    if (!hasTimes() || !illuminance())
        return;
    auto* window = new ProfileWindow(exposure::dailyProfile(m_lux), m_times.datesAssumed, m_dialogs,
                                     this); // deletes itself on close
    window->show();
}

void GraphView::print() {
    QPrinter printer(QPrinter::HighResolution);
    if (!m_dialogs.printerSetup(this, printer))
        return; // cancelled: nothing printed, nothing changed
    // A clean image: white behind the graph, the panel below it hidden.
    const QColor background = CWGraph1->background();
    const bool autoFill = autoFillBackground();
    const QPalette palette = this->palette();
    QPalette white = palette;
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);
    FrmGraphic->hide();
    CWGraph1->setBackground(Qt::white);
    layout()->activate();

    // With the panel hidden the graph is the whole client area; it prints as vectors.
    if (!CWGraph1->print(printer))
        m_dialogs.message(this, QStringLiteral("The printer could not be started."),
                          MessageIcon::Error);

    FrmGraphic->show();
    CWGraph1->setBackground(background);
    setPalette(palette);
    setAutoFillBackground(autoFill);
}

void GraphView::saveGraph() {
    const QString path = askPicturePath(this, m_dialogs, saveFilter());
    if (path.isEmpty())
        return;
    const int w = std::max(CWGraph1->width(), 800);
    const int h = std::max(CWGraph1->height(), 500);
    if (const QString error = CWGraph1->saveImage(path, w, h); !error.isEmpty())
        m_dialogs.message(this,
                          QStringLiteral("The graph could not be saved to %1.")
                              .arg(QDir::toNativeSeparators(path)),
                          MessageIcon::Error, MessageButtons::Ok, {}, error);
}

} // namespace lumetra
