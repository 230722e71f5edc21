#include "virtuallcd.h"

#include "link/meterlink.h"
#include "model/spokenreading.h"
#include "widgets/twips.h"

#include <QAccessible>
#include <QAccessibleWidget>

#include <algorithm>
#include <chrono>

#include <QFontDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QTime>

namespace lumetra {
namespace {

const QColor kFace(0xC9, 0xD1, 0xB6);        // unlit liquid crystal
const QColor kSegment(0x1C, 0x22, 0x18);     // lit segment
const QColor kGhost(0x1C, 0x22, 0x18, 22);   // unlit segment, barely visible
const QColor kStale(0x1C, 0x22, 0x18, 80);   // a reading from before the link was lost
const QColor kInverseText(0xFF, 0xFF, 0xC0); // light yellow on black

QString segmentFamily() {
    static const QString family = [] {
        const QStringList families = QFontDatabase::families();
        for (const char* name : {"DSEG7 Classic", "DSEG7 Modern"}) {
            if (families.contains(QLatin1String(name)))
                return QString::fromLatin1(name);
        }
        return QStringLiteral("Monospace");
    }();
    return family;
}

QString legendFamily() {
    return QStringLiteral("Liberation Sans");
}

// Fourteen-segment characters for the words the meter spells on its digits.
QString overlayFamily() {
    static const QString family = [] {
        if (QFontDatabase::families().contains(QLatin1String("DSEG14 Classic")))
            return QStringLiteral("DSEG14 Classic");
        return legendFamily();
    }();
    return family;
}

// Legend rows as the meter's face has them: element, caption, position (twips), the flag
// that lights it and whether it is printed inverse (light on dark).
struct Legend {
    const char* name;
    const char* caption;
    int left, top, width, height;
    Flag flag;
    bool inverse;
};

constexpr Legend kLegends[] = {
    {"LblBP1", ".", 3180, 1080, 435, 1665, Flag::MainPoint1, false},
    {"LblBP2", ".", 4140, 1080, 435, 1665, Flag::MainPoint2, false},
    {"LblBP3", ".", 5100, 1080, 435, 1665, Flag::MainPoint3, false},
    {"LblComma", ",", 3180, 1080, 435, 1665, Flag::Comma, false},
    {"LblNeg", "-", 120, 1320, 345, 1125, Flag::Minus, false},
    {"LblBigPlus", "+", 120, 1320, 435, 840, Flag::BigPlus, false},
    {"LblComp", "COMP", 1200, 720, 0, 0, Flag::Comp, false},
    {"LblCal", "CAL", 2400, 720, 0, 0, Flag::Cal, false},
    {"LblZero", "ZERO", 3360, 720, 0, 0, Flag::Zero, false},
    {"LblUAvg", "AVG", 4560, 720, 0, 0, Flag::UpperAvg, false},
    {"LblHold", "D-H", 5520, 720, 0, 0, Flag::Hold, true},
    {"LblRef", "REF", 6360, 720, 0, 0, Flag::Ref, true},
    {"LblCD", "cd", 6300, 1440, 0, 0, Flag::Cd, false},
    {"LblUpPercent", "%", 6720, 1440, 0, 0, Flag::UpperPercent, false},
    {"LblStray", "STRAY", 3600, 2640, 0, 0, Flag::Stray, false},
    {"LblSmallPlus", "+", 4800, 2640, 0, 0, Flag::SmallPlus, false},
    {"LblLight", "LIGHT", 5160, 2640, 0, 0, Flag::Light, false},
    {"LblSCF", "SCF", 2910, 3120, 0, 0, Flag::Scf, false},
    {"LblDH", "D-H", 3720, 3120, 0, 0, Flag::DayHour, false},
    {"Lblms", "m-s", 4320, 3120, 0, 0, Flag::MinSec, false},
    {"LblTH", "TIME - HOLD", 5040, 3120, 0, 0, Flag::TimeHold, false},
    {"LblCycle", "CYCLE", 240, 3360, 0, 0, Flag::Cycle, false},
    {"LblMem", "M", 1440, 3360, 0, 0, Flag::Mem, true},
    {"LblRead", "R", 1800, 3360, 0, 0, Flag::Read, true},
    {"LblSP1", ".", 3960, 3480, 345, 1395, Flag::SubPoint1, false},
    {"LblSP2", ".", 4800, 3480, 345, 1395, Flag::SubPoint2, false},
    {"LblSP3", ".", 5640, 3480, 345, 1395, Flag::SubPoint3, false},
    {"LblDateDot", ".", 4800, 3000, 0, 0, Flag::DateDot, false},
    {"LblTimeDot", ".", 4800, 3240, 0, 0, Flag::TimeDot, false},
    {"LblDAvg", "AVG", 360, 3840, 0, 0, Flag::LowerAvg, false},
    {"LblNo", "NO.", 480, 4200, 0, 0, Flag::No, false},
    {"LblStart", "START", 2640, 3720, 0, 0, Flag::Start, false},
    {"LblIntv", "INTV", 2640, 4080, 0, 0, Flag::Intv, false},
    {"LblStop", "STOP", 2640, 4440, 0, 0, Flag::Stop, false},
    {"LblDownPercent", "%", 6600, 3720, 0, 0, Flag::LowerPercent, false},
    {"Lblft", "ft", 6600, 4080, 0, 0, Flag::Feet, false},
    {"Lblm", "m", 6600, 4320, 0, 0, Flag::Metre, false},
};

// Pictures drawn for the three image elements; they scale with the element.
class LcdPicture : public QWidget {
public:
    enum Kind { Rel, Auto, Battery };
    LcdPicture(Kind kind, QWidget* parent) : QWidget(parent), m_kind(kind) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF r = QRectF(rect()).adjusted(1, 1, -1, -1);
        p.setPen(QPen(kSegment, std::max(1.5, r.height() / 10)));
        switch (m_kind) {
        case Rel: { // the relative-mode delta
            QPainterPath tri;
            tri.moveTo(r.center().x(), r.top());
            tri.lineTo(r.right(), r.bottom());
            tri.lineTo(r.left(), r.bottom());
            tri.closeSubpath();
            p.drawPath(tri);
            break;
        }
        case Auto: {
            QFont f(legendFamily());
            f.setBold(true);
            f.setPixelSize(std::max(6, int(r.height() * 0.8)));
            p.setFont(f);
            p.setPen(kSegment);
            p.drawText(r, Qt::AlignCenter, QStringLiteral("AUTO"));
            break;
        }
        case Battery: {
            const QRectF body(r.left(), r.top() + r.height() * 0.15, r.width() * 0.88,
                              r.height() * 0.7);
            p.drawRect(body);
            p.fillRect(QRectF(body.right(), r.center().y() - r.height() * 0.15, r.width() * 0.1,
                              r.height() * 0.3),
                       kSegment);
            p.fillRect(body.adjusted(body.width() * 0.1, body.height() * 0.2, -body.width() * 0.65,
                                     -body.height() * 0.2),
                       kSegment);
            break;
        }
        }
    }

private:
    Kind m_kind;
};

} // namespace

LcdDigit::LcdDigit(QWidget* parent) : QLabel(parent) {
    // The digit paints its whole cell, so a new reading repaints the digit alone, not the
    // display face behind it.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void LcdDigit::setDigits(const QString& text) {
    if (text != this->text())
        setText(text);
}

void LcdDigit::paintEvent(QPaintEvent*) {
    // The font and the size of its "8" glyphs are worked out once, not at every reading.
    struct Glyphs {
        QFont font;
        QString ghost;
        QRectF bounds;
    };
    static const auto glyphsFor = [](int cells) {
        Glyphs g{QFont(segmentFamily()), QString(cells, QLatin1Char('8')), {}};
        g.font.setPixelSize(100);
        g.bounds = QFontMetricsF(g.font).tightBoundingRect(g.ghost);
        return g;
    };
    static const Glyphs one = glyphsFor(1);
    static const Glyphs two = glyphsFor(2);
    const int cells = property("cells").toInt() > 1 ? 2 : 1;
    const Glyphs& glyphs = cells == 2 ? two : one;

    QPainter p(this);
    p.fillRect(rect(), kFace);
    if (glyphs.bounds.isEmpty())
        return;
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    // Stretch the seven-segment glyphs to fill the cell, as the meter's digits do.
    const QRectF target =
        QRectF(rect()).adjusted(width() * 0.04, height() * 0.08, -width() * 0.04, -height() * 0.08);
    p.translate(target.left(), target.top());
    p.scale(target.width() / glyphs.bounds.width(), target.height() / glyphs.bounds.height());
    p.translate(-glyphs.bounds.left(), -glyphs.bounds.top());
    p.setFont(glyphs.font);
    p.setPen(kGhost);
    p.drawText(QPointF(0, 0), glyphs.ghost);
    const QString shown = text().rightJustified(cells, QLatin1Char('!'));
    p.setPen(property("stale").toBool() ? kStale : kSegment);
    // "!" is the font's blank cell of the same width as a digit.
    p.drawText(QPointF(0, 0), shown);
}

namespace {

// A screen reader hears the display as one object, "Meter display", whose description is
// the reading as a person would say it; the segments and pictures inside are not offered.
class LcdAccessible : public QAccessibleWidget {
public:
    explicit LcdAccessible(VirtualLcd* lcd) : QAccessibleWidget(lcd, QAccessible::StaticText) {}
    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override {
        if (!isValid())
            return {};
        const auto* lcd = static_cast<const VirtualLcd*>(widget());
        switch (t) {
        case QAccessible::Name:
            return QStringLiteral("Meter display");
        case QAccessible::Description:
        case QAccessible::Value:
            return lcd->spokenReading();
        default:
            return QAccessibleWidget::text(t);
        }
    }
};

QAccessibleInterface* lcdAccessibleFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("lumetra::VirtualLcd") && object && object->isWidgetType())
        return new LcdAccessible(static_cast<VirtualLcd*>(object));
    return nullptr;
}

} // namespace

VirtualLcd::VirtualLcd(QWidget* parent) : QWidget(parent) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(lcdAccessibleFactory);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    setObjectName(QStringLiteral("VirtualLcd"));
    setAccessibleName(QStringLiteral("Meter display"));
    m_announce.setSingleShot(true);
    m_sinceAnnounce.start();
    connect(&m_announce, &QTimer::timeout, this, &VirtualLcd::announce);
    setAutoFillBackground(false);

    static constexpr int kMainLefts[] = {795, 1755, 2715, 3675, 4635, 5595};
    for (int i = 0; i < 6; ++i) {
        auto* d = new LcdDigit(this);
        d->setObjectName(QStringLiteral("MainDigit%1").arg(i));
        d->hide();
        MainDigit[size_t(i)] = d;
        m_elements.insert(d->objectName(), d);
        m_placed.append({d, kMainLefts[i], 1080, 435, 1665});
    }
    static constexpr int kTimeLefts[] = {3525, 4365, 5205, 6045};
    for (int i = 0; i < 4; ++i) {
        auto* d = new LcdDigit(this);
        d->setObjectName(QStringLiteral("TimeDigit%1").arg(i));
        d->setToolTip(tr("The meter's clock: minutes and seconds"));
        TimeDigit[size_t(i)] = d;
        m_elements.insert(d->objectName(), d);
        m_placed.append({d, kTimeLefts[i], 3480, 345, 1395});
    }
    MemoryDigit = new LcdDigit(this);
    MemoryDigit->setObjectName(QStringLiteral("MemoryDigit"));
    MemoryDigit->setProperty("cells", 2);
    m_elements.insert(MemoryDigit->objectName(), MemoryDigit);
    // Two characters share this element, so it is two cells wide.
    m_placed.append({MemoryDigit, 1485 - 285, 3600, 570, 1125});

    for (const Legend& l : kLegends) {
        QLabel* label = addLegend(QLatin1String(l.name), QLatin1String(l.caption), l.left, l.top,
                                  l.width, l.height, l.inverse);
        m_byFlag[size_t(l.flag)] = label;
    }
    // Unit labels follow their own rule, not a single flag.
    addLegend(QStringLiteral("LblFc"), QStringLiteral("fc"), 6360, 1800);
    addLegend(QStringLiteral("LblFch"), QStringLiteral("-h"), 6720, 1800);
    addLegend(QStringLiteral("LblLx"), QStringLiteral("lx"), 6360, 2160);
    addLegend(QStringLiteral("LblLxh"), QStringLiteral("-h"), 6720, 2160);
    // Over a reading that is no longer live: since when the meter has not answered.
    LblNoLink = addLegend(QStringLiteral("LblNoLink"), QString(), 2400, 700);
    LblNoLink->hide();

    const struct {
        const char* name;
        LcdPicture::Kind kind;
        Flag flag;
        int left, top, width, height;
    } pictures[] = {
        {"ImgRel", LcdPicture::Rel, Flag::Rel, 240, 720, 360, 300},
        {"ImgAuto", LcdPicture::Auto, Flag::Auto, 150, 2880, 600, 240},
        {"ImgBt", LcdPicture::Battery, Flag::Battery, 6300, 2640, 480, 240},
    };
    for (const auto& pic : pictures) {
        auto* w = new LcdPicture(pic.kind, this);
        w->setObjectName(QLatin1String(pic.name));
        w->hide();
        m_elements.insert(w->objectName(), w);
        m_byFlag[size_t(pic.flag)] = w;
        m_placed.append({w, pic.left, pic.top, pic.width, pic.height});
    }

    ShapeSetUp = new QWidget(this);
    ShapeSetUp->setObjectName(QStringLiteral("ShapeSetUp"));
    ShapeSetUp->setAutoFillBackground(true);
    QPalette shapePalette = ShapeSetUp->palette();
    shapePalette.setColor(QPalette::Window, kFace);
    ShapeSetUp->setPalette(shapePalette);
    ShapeSetUp->hide();
    m_elements.insert(ShapeSetUp->objectName(), ShapeSetUp);
    // Covers the main digits and signs, not the legends around them.
    m_placed.append({ShapeSetUp, 100, 1040, 6120, 1660});

    LblSetUp = new QLabel(QStringLiteral("SET UP"), this);
    LblSetUp->setObjectName(QStringLiteral("LblSetUp"));
    LblSetUp->setAlignment(Qt::AlignCenter);
    QPalette setUpPalette = LblSetUp->palette();
    setUpPalette.setColor(QPalette::WindowText, kSegment);
    LblSetUp->setPalette(setUpPalette);
    LblSetUp->hide();
    m_elements.insert(LblSetUp->objectName(), LblSetUp);
    m_placed.append({LblSetUp, 1080, 1040, 5175, 1665});

    // Every legend starts dark; the first frame decides what shows.
    for (QWidget* w : std::as_const(m_byFlag)) {
        if (w)
            w->hide();
    }
    for (const char* unit : {"LblFc", "LblFch", "LblLx", "LblLxh"})
        m_elements.value(QLatin1String(unit))->hide();

    setMinimumSize(twipsToPixels(this, 7260 - kOriginLeft), twipsToPixels(this, 5040 - kOriginTop));
    layoutElements();
}

QLabel* VirtualLcd::addLegend(const QString& name, const QString& caption, int left, int top,
                              int width, int height, bool inverse) {
    auto* label = new QLabel(caption, this);
    label->setObjectName(name);
    if (inverse) {
        label->setAutoFillBackground(true);
        QPalette pal = label->palette();
        pal.setColor(QPalette::Window, Qt::black);
        pal.setColor(QPalette::WindowText, kInverseText);
        label->setPalette(pal);
        label->setMargin(1);
    } else {
        QPalette pal = label->palette();
        pal.setColor(QPalette::WindowText, kSegment);
        label->setPalette(pal);
    }
    label->setProperty("bigText", height > 0);
    m_elements.insert(name, label);
    m_placed.append({label, left, top, width, height});
    return label;
}

void VirtualLcd::place(const Placed& p) {
    const int x = twipsToPixels(this, p.left - kOriginLeft);
    const int y = twipsToPixels(this, p.top - kOriginTop);
    if (auto* label = qobject_cast<QLabel*>(p.widget); label && !qobject_cast<LcdDigit*>(label)) {
        QFont f(legendFamily());
        f.setBold(true);
        if (label == LblSetUp) {
            f = QFont(overlayFamily());
            f.setPixelSize(twipsToPixels(this, 800));
        } else if (label->property("bigText").toBool()) {
            // Points, comma and signs: as big as the digits they stand beside.
            f.setPixelSize(twipsToPixels(this, p.height * 3 / 4));
            label->setAlignment(label->text() == QLatin1String("-") ||
                                        label->text() == QLatin1String("+")
                                    ? Qt::AlignCenter
                                    : Qt::AlignLeft | Qt::AlignBottom);
        } else {
            f.setPixelSize(twipsToPixels(this, 200));
        }
        label->setFont(f);
    }
    if (p.width > 0)
        p.widget->setGeometry(x, y, twipsToPixels(this, p.width), twipsToPixels(this, p.height));
    else {
        p.widget->adjustSize();
        p.widget->move(x, y);
    }
}

void VirtualLcd::layoutElements() {
    for (const Placed& p : std::as_const(m_placed))
        place(p);
    ShapeSetUp->raise();
    LblSetUp->raise();
}

void VirtualLcd::resizeEvent(QResizeEvent*) {
    layoutElements();
}

void VirtualLcd::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF face = QRectF(rect()).adjusted(2, 2, -2, -2);
    p.setPen(QPen(QColor(0x55, 0x5B, 0x4A), 3));
    p.setBrush(kFace);
    p.drawRoundedRect(face, 10, 10);
}

QWidget* VirtualLcd::elementForFlag(Flag flag) const {
    return m_byFlag[size_t(flag)];
}

void VirtualLcd::showOverlay(const QString& caption) {
    m_lastFrameAt = QTime::currentTime(); // an overlay is a frame too
    showStale(false);
    ShapeSetUp->show();
    LblSetUp->setText(caption);
    LblSetUp->show();
    m_linkStatus.clear();
    setSpoken(lumetra::spokenReading(m_display, caption, m_linkStatus));
}

void VirtualLcd::showLinkStatus(const QString& status) {
    // Only the waiting status says something about the display; a port name does not.
    m_linkStatus = status == MeterLink::waitingStatus() ? status : QString();
    // A reading shown before the link was lost stays, faded and dated, never as if live; it
    // looks live again only when the next frame comes, not when the port is back.
    if (!m_linkStatus.isEmpty() && m_framesShown)
        showStale(true);
    setSpoken(lumetra::spokenReading(
        m_display, LblSetUp->isVisible() ? LblSetUp->text() : QString(), m_linkStatus));
}

void VirtualLcd::setSpoken(const QString& text) {
    if (text == m_spoken)
        return;
    m_spoken = text;
    // Screen readers hear of a change at most four times a second.
    if (!m_announce.isActive())
        m_announce.start(
            std::chrono::milliseconds(std::clamp<qint64>(250 - m_sinceAnnounce.elapsed(), 0, 250)));
}

void VirtualLcd::announce() {
    m_sinceAnnounce.start();
    // Nothing is built when no screen reader listens: Qt drops the events itself.
    QAccessibleEvent description(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&description);
    QAccessibleValueChangeEvent value(this, m_spoken);
    QAccessible::updateAccessibility(&value);
    emit readingAnnounced(m_spoken);
}

void VirtualLcd::showStale(bool stale) {
    if (stale == !LblNoLink->isHidden())
        return;
    if (stale)
        LblNoLink->setText(
            tr("no link since %1").arg(m_lastFrameAt.toString(QStringLiteral("HH:mm:ss"))));
    LblNoLink->setVisible(stale);
    LblNoLink->adjustSize();
    for (LcdDigit* d : MainDigit) {
        d->setProperty("stale", stale);
        d->update();
    }
    for (LcdDigit* d : TimeDigit) {
        d->setProperty("stale", stale);
        d->update();
    }
}

void VirtualLcd::showFrame(const DisplayState& s) {
    m_framesShown = true;
    m_lastFrameAt = QTime::currentTime();
    showStale(false);
    ShapeSetUp->hide();
    LblSetUp->hide();
    m_display = s;
    m_linkStatus.clear(); // a frame came: the meter answers
    setSpoken(lumetra::spokenReading(s, QString(), m_linkStatus));

    MemoryDigit->setDigits(QString(s.memoryDigits).remove(QLatin1Char(' ')));

    for (int i = 0; i < 6; ++i) {
        const QChar c = i < s.mainDigits.size() ? s.mainDigits[i] : QLatin1Char(' ');
        LcdDigit* d = MainDigit[size_t(i)];
        if (c == QLatin1Char(' ')) {
            d->hide();
            d->setDigits(QString());
        } else {
            d->setDigits(QString(c));
            d->show();
        }
    }
    for (int i = 0; i < 4; ++i)
        TimeDigit[size_t(i)]->setDigits(i < s.smallDigits.size() ? QString(s.smallDigits[i])
                                                                 : QString());

    for (int i = 0; i < kFlagSlots; ++i) {
        if (QWidget* w = m_byFlag[size_t(i)])
            w->setVisible(s.flags[size_t(i)]);
    }

    QWidget* fc = m_elements.value(QStringLiteral("LblFc"));
    QWidget* fch = m_elements.value(QStringLiteral("LblFch"));
    QWidget* lx = m_elements.value(QStringLiteral("LblLx"));
    QWidget* lxh = m_elements.value(QStringLiteral("LblLxh"));
    if (s.flag(Flag::Fch)) {
        // Foot-candle hours: "fc" with its "-h", like lux hours show "lx -h".
        fc->show();
        fch->show();
        lxh->hide();
    } else if (s.flag(Flag::Lxh)) {
        lxh->show();
        lx->show();
    } else {
        fch->hide();
        lxh->hide();
        fc->setVisible(s.flag(Flag::Fc));
        lx->setVisible(s.flag(Flag::Lx));
    }
}

} // namespace lumetra
