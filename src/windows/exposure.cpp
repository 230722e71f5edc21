#include "exposure.h"

#include "link/displaypoll.h"
#include "model/appstate.h"
#include "model/exposure.h"
#include "model/samplerow.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include <cmath>

namespace lumetra {
namespace {

// Shutter times as cameras offer them, in seconds.
const struct {
    const char* text;
    double seconds;
} kShutters[] = {{"1/8000", 1.0 / 8000},
                 {"1/4000", 1.0 / 4000},
                 {"1/2000", 1.0 / 2000},
                 {"1/1000", 1.0 / 1000},
                 {"1/500", 1.0 / 500},
                 {"1/250", 1.0 / 250},
                 {"1/125", 1.0 / 125},
                 {"1/60", 1.0 / 60},
                 {"1/30", 1.0 / 30},
                 {"1/15", 1.0 / 15},
                 {"1/8", 1.0 / 8},
                 {"1/4", 1.0 / 4},
                 {"1/2", 0.5},
                 {"1 s", 1},
                 {"2 s", 2},
                 {"4 s", 4},
                 {"8 s", 8},
                 {"15 s", 15},
                 {"30 s", 30}};

} // namespace

Exposure::Exposure(const AppState& state, DisplayPoll& poll, QWidget* parent)
    : QWidget(parent, Qt::Tool), m_state(state) {
    setObjectName(QStringLiteral("Exposure"));
    setWindowTitle(QStringLiteral("Exposure"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* form = new QFormLayout(this);
    const auto named = [](QWidget* w, const char* name, const QString& accessible) {
        w->setObjectName(QLatin1String(name));
        w->setAccessibleName(accessible);
        return w;
    };
    LblReading = new QLabel(this);
    LblReading->setObjectName(QStringLiteral("LblReading"));
    LblReading->setAccessibleDescription(QStringLiteral("Illuminance"));
    LblEv = new QLabel(this);
    LblEv->setObjectName(QStringLiteral("LblEv"));
    LblEv->setAccessibleDescription(QStringLiteral("Exposure value at ISO 100"));
    CboIso = new QComboBox(this);
    named(CboIso, "CboIso", QStringLiteral("ISO"));
    for (int iso = 50; iso <= 12800; iso *= 2)
        CboIso->addItem(QString::number(iso), iso);
    CboIso->setCurrentText(QStringLiteral("100"));
    OptStill = new QRadioButton(QStringLiteral("Shutter time"), this);
    named(OptStill, "OptStill", OptStill->text());
    OptStill->setChecked(true);
    CboShutter = new QComboBox(this);
    named(CboShutter, "CboShutter", QStringLiteral("Shutter time"));
    for (const auto& s : kShutters)
        CboShutter->addItem(QLatin1String(s.text), s.seconds);
    CboShutter->setCurrentText(QStringLiteral("1/125"));
    OptCine = new QRadioButton(QStringLiteral("Frame rate and shutter angle"), this);
    named(OptCine, "OptCine", OptCine->text());
    SpnFrameRate = new QDoubleSpinBox(this);
    named(SpnFrameRate, "SpnFrameRate", QStringLiteral("Frames per second"));
    SpnFrameRate->setRange(1, 240);
    SpnFrameRate->setValue(24);
    SpnFrameRate->setSuffix(QStringLiteral(" fps"));
    SpnAngle = new QDoubleSpinBox(this);
    named(SpnAngle, "SpnAngle", QStringLiteral("Shutter angle"));
    SpnAngle->setRange(1, 360);
    SpnAngle->setValue(180);
    SpnAngle->setSuffix(QStringLiteral("°"));
    LblFNumber = new QLabel(this);
    LblFNumber->setObjectName(QStringLiteral("LblFNumber"));
    LblFNumber->setAccessibleDescription(QStringLiteral("Aperture"));
    QFont big = LblFNumber->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    LblFNumber->setFont(big);
    LblEv->setFont(big);

    form->addRow(QStringLiteral("Illuminance"), LblReading);
    form->addRow(QStringLiteral("EV at ISO 100"), LblEv);
    form->addRow(QStringLiteral("ISO"), CboIso);
    form->addRow(OptStill, CboShutter);
    form->addRow(OptCine, SpnFrameRate);
    form->addRow(QString(), SpnAngle);
    form->addRow(QStringLiteral("Aperture"), LblFNumber);
    // Two spots compared: the key light kept, the fill light read, the difference in stops.
    BtnReference = new QPushButton(QStringLiteral("&Keep as reference"), this);
    named(BtnReference, "BtnReference", QStringLiteral("Keep the reading as reference"));
    LblStops = new QLabel(QStringLiteral("–"), this);
    LblStops->setObjectName(QStringLiteral("LblStops"));
    LblStops->setAccessibleDescription(QStringLiteral("Difference from the reference, in stops"));
    form->addRow(BtnReference, LblStops);
    connect(BtnReference, &QPushButton::clicked, this, &Exposure::keepReference);

    connect(&poll, &DisplayPoll::frameDecoded, this, &Exposure::refresh);
    // A meter that went quiet or shows a screen without a reading leaves no figure standing.
    connect(&poll, &DisplayPoll::gaveUp, this, &Exposure::refresh);
    connect(&poll, &DisplayPoll::overlayDecoded, this, &Exposure::refresh);
    connect(CboIso, &QComboBox::currentIndexChanged, this, &Exposure::refresh);
    connect(CboShutter, &QComboBox::currentIndexChanged, this, &Exposure::refresh);
    connect(OptStill, &QRadioButton::toggled, this, &Exposure::refresh);
    connect(SpnFrameRate, &QDoubleSpinBox::valueChanged, this, &Exposure::refresh);
    connect(SpnAngle, &QDoubleSpinBox::valueChanged, this, &Exposure::refresh);
    refresh();
}

std::optional<double> Exposure::lux() const {
    if (!m_state.display.linkAlive || !m_state.sinceReading.isValid() ||
        m_state.sinceReading.elapsed() > AppState::kFreshReadingMs)
        return std::nullopt;
    const Sample s = samples::fromDisplay(m_state.display, {});
    const double l = samples::lux(s);
    if (std::isnan(l) || l <= 0)
        return std::nullopt;
    return l;
}

void Exposure::keepReference() {
    m_reference = lux();
    refresh();
}

void Exposure::refresh() {
    const bool still = OptStill->isChecked();
    CboShutter->setEnabled(still);
    SpnFrameRate->setEnabled(!still);
    SpnAngle->setEnabled(!still);
    const auto l = lux();
    if (!l) {
        // An overload, a measuring mode, darkness or no meter: nothing to expose for.
        LblReading->setText(QStringLiteral("no plain reading"));
        LblEv->setText(QStringLiteral("–"));
        LblFNumber->setText(QStringLiteral("–"));
        LblStops->setText(QStringLiteral("–"));
        return;
    }
    if (m_reference) {
        const double d = exposure::stops(*l, *m_reference);
        LblStops->setText(QStringLiteral("%1%2 stops from %3 lx")
                              .arg(d > 0.05 ? QStringLiteral("+") : QString())
                              .arg(std::abs(d) < 0.05 ? 0.0 : d, 0, 'f', 1)
                              .arg(*m_reference, 0, 'f', *m_reference < 100 ? 2 : 0));
    } else {
        LblStops->setText(QStringLiteral("no reference kept"));
    }
    LblReading->setText(QStringLiteral("%1 lx").arg(*l, 0, 'f', *l < 100 ? 2 : 0));
    LblEv->setText(QString::number(exposure::ev100(*l), 'f', 1));
    const double seconds = still ? CboShutter->currentData().toDouble()
                                 : SpnAngle->value() / 360.0 / SpnFrameRate->value();
    const double n = exposure::fNumber(*l, CboIso->currentData().toDouble(), seconds);
    LblFNumber->setText(QStringLiteral("f/%1").arg(n, 0, 'f', n < 10 ? 1 : 0));
}

} // namespace lumetra
