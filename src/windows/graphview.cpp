#include "graphview.h"

#include "model/columnplot.h"
#include "widgets/dialogs.h"
#include "widgets/twips.h"

#include <QComboBox>
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
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>
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

    // Graph range: two rows of edits, "No.s" and the unit, under "Max" and "Min".
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
    range->setRowStretch(3, 1); // the rows sit at the top of their frame
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
        range->addWidget(max, axis, 1);
        range->addWidget(min, axis, 2);
        connect(max, &QDoubleSpinBox::valueChanged, this, &GraphView::applyEdits);
        connect(min, &QDoubleSpinBox::valueChanged, this, &GraphView::applyEdits);
    }

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
    CmdReset = new QPushButton(QStringLiteral("Reset Scale"), FrmGraphic);
    CmdReset->setObjectName(QStringLiteral("CmdReset"));
    CmdPrint = new QPushButton(QStringLiteral("Print Graph"), FrmGraphic);
    CmdPrint->setObjectName(QStringLiteral("CmdPrint"));
    CmdSave = new QPushButton(QStringLiteral("Save Graph"), FrmGraphic);
    CmdSave->setObjectName(QStringLiteral("CmdSave"));
    CmdSave->setToolTip(tr("Save the graph as a PNG picture or a PDF document"));
    for (QPushButton* b : {CmdReset, CmdPrint, CmdSave})
        b->setAccessibleName(b->text());
    connect(CmdReset, &QPushButton::clicked, this, &GraphView::resetScale);
    connect(CmdPrint, &QPushButton::clicked, this, &GraphView::print);
    connect(CmdSave, &QPushButton::clicked, this, &GraphView::saveGraph);

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
    right->addLayout(buttons);
    columns->addLayout(right, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(twipsToPixels(this, 100), twipsToPixels(this, 100),
                               twipsToPixels(this, 100), twipsToPixels(this, 100));
    layout->addWidget(CWGraph1, 1);
    layout->addWidget(FrmGraphic);

    connect(CWGraph1, &SeriesPlot::cursorMoved, this, [this](double x, double y) {
        XPosition->setText(numberText(x));
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

    // Escape closes the view, as it does the other windows that send nothing to the meter.
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            &QWidget::close);
    setMinimumSize(twipsToPixels(this, 11360), twipsToPixels(this, 8960));
    resize(minimumSize());
    move(0, 0); // the top-left corner of the screen
    Combo1->setCurrentIndex(0);
    chooseMode(0);
}

void GraphView::setEdits(double xMin, double xMax, double yMin, double yMax) {
    const std::array<std::pair<QDoubleSpinBox*, double>, 4> edits{
        {{AxisMin[1], xMin}, {AxisMax[1], xMax}, {AxisMin[2], yMin}, {AxisMax[2], yMax}}};
    for (const auto& [edit, value] : edits) {
        const QSignalBlocker quiet(edit);
        edit->setValue(value);
    }
}

void GraphView::fill(const QVector<float>& values, const QString& unit, float lower, float upper) {
    m_values = values;
    m_unit = unit;
    std::tie(m_resetLower, m_resetUpper) = showable(lower, upper);
    CWGraph1->setSeries(values);
    CWGraph1->setAxisCaptions(QStringLiteral("No.s"), unit);
    LblUnit->setText(unit);
    resetScale();
    updateStatistics();
    if (CWGraph1->mouseMode() == MouseMode::Cursor)
        chooseMode(Combo1->currentIndex()); // the cursor moves to the new series
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
    const double x0 = AxisMin[1]->value(), x1 = AxisMax[1]->value();
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
    const double n = std::max<double>(2, m_values.size()); // one reading still gets a width
    setEdits(1, n, m_resetLower, m_resetUpper);
    CWGraph1->setYRange(m_resetLower, m_resetUpper);
    CWGraph1->setXRange(1, n);
}

void GraphView::updateStatistics() {
    const auto [x0, x1] = CWGraph1->xRange();
    const auto s = rangeStatistics(m_values, x0, x1);
    if (!s) {
        LblStatistics->clear();
        return;
    }
    QString text = tr("In view: %1 values\nMin %2  Avg %3  Max %4")
                       .arg(s->count)
                       .arg(s->minimum, 0, 'f', 3)
                       .arg(s->average, 0, 'f', 3)
                       .arg(s->maximum, 0, 'f', 3);
    // Illuminance (lux or foot-candles): the uniformity lighting people check.
    const bool illuminance = m_unit.compare(QLatin1String("Lx"), Qt::CaseInsensitive) == 0 ||
                             m_unit.compare(QLatin1String("Fc"), Qt::CaseInsensitive) == 0;
    if (s->uniformity && illuminance)
        text += tr("\nUniformity (Min/Avg) %1").arg(*s->uniformity, 0, 'f', 3);
    LblStatistics->setText(text);
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
    QString path = m_dialogs.saveFile(this, saveFilter());
    if (path.isEmpty())
        return;
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != QLatin1String("png") && suffix != QLatin1String("pdf")) {
        // A name without a picture's suffix is saved as PNG; the dialog asked about the name
        // without it, so a picture of that name is not replaced unasked.
        path += QStringLiteral(".png");
        if (QFileInfo::exists(path) &&
            m_dialogs.message(this,
                              QStringLiteral("%1 already exists. Replace it?")
                                  .arg(QDir::toNativeSeparators(path)),
                              MessageIcon::Question, MessageButtons::YesNo) != MessageResult::Yes)
            return;
    }
    const int w = std::max(CWGraph1->width(), 800);
    const int h = std::max(CWGraph1->height(), 500);
    if (const QString error = CWGraph1->saveImage(path, w, h); !error.isEmpty())
        m_dialogs.message(this,
                          QStringLiteral("The graph could not be saved to %1.")
                              .arg(QDir::toNativeSeparators(path)),
                          MessageIcon::Error, MessageButtons::Ok, {}, error);
}

} // namespace lumetra
