#include "profile.h"

#include "graph/heatmapview.h"
#include "platform/wholefile.h"
#include "widgets/dialogs.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace lumetra {
namespace {

// The map under its title, into `area`.
void draw(QPainter& p, const QRectF& area, const QString& title, const heatmap::Map& map) {
    const double h = QFontMetricsF(p.font(), p.device()).height();
    p.setPen(Qt::black);
    p.drawText(QRectF(area.left(), area.top(), area.width(), h * 1.4),
               Qt::AlignLeft | Qt::AlignVCenter, title);
    heatmap::paint(p, area.adjusted(0, h * 1.6, 0, 0), map);
}

} // namespace

heatmap::Map ProfileWindow::mapOf(const exposure::Profile& profile) {
    heatmap::Map map;
    map.rows = profile.days;
    map.columns = 24;
    map.legendTitle = QStringLiteral("lx");
    for (int hour = 0; hour < 24; ++hour)
        map.columnLabels << QString::number(hour);
    bool any = false;
    for (int day = 0; day < profile.days; ++day) {
        map.rowLabels << profile.firstDay.addDays(day).toString(QStringLiteral("ddd d MMM"));
        for (int hour = 0; hour < 24; ++hour) {
            heatmap::Cell cell;
            const double v = profile.at(day, hour);
            if (!std::isnan(v)) {
                cell.value = v;
                cell.text = QString::number(v, 'f', v < 10 ? 1 : 0);
                map.low = any ? std::min(map.low, v) : v;
                map.high = any ? std::max(map.high, v) : v;
                any = true;
            }
            map.cells << cell;
        }
    }
    return map;
}

ProfileWindow::ProfileWindow(const exposure::Profile& profile, bool datesAssumed, Dialogs& dialogs,
                             QWidget* parent)
    : QWidget(parent, Qt::Window), m_dialogs(dialogs) {
    setObjectName(QStringLiteral("Profile"));
    setWindowTitle(QStringLiteral("Daily Profile"));
    setAttribute(Qt::WA_DeleteOnClose);
    m_title = profile.days > 0
                  ? tr("Mean illuminance by hour, %1 to %2%3")
                        .arg(profile.firstDay.toString(Qt::ISODate),
                             profile.firstDay.addDays(profile.days - 1).toString(Qt::ISODate),
                             datesAssumed ? tr(" (dates assumed)") : QString())
                  : tr("No readings");
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(m_title, this);
    layout->addWidget(title);
    Map = new HeatMapView(this);
    Map->setObjectName(QStringLiteral("Map"));
    Map->setAccessibleName(tr("Daily profile"));
    Map->setAccessibleDescription(m_title);
    Map->setMap(mapOf(profile));
    Map->setMinimumHeight(std::min(900, 80 + 22 * profile.days));
    layout->addWidget(Map, 1);
    auto* buttons = new QHBoxLayout;
    CmdSave = new QPushButton(tr("&Save…"), this);
    CmdSave->setObjectName(QStringLiteral("CmdSave"));
    CmdSave->setAccessibleName(tr("Save the profile"));
    CmdPrint = new QPushButton(tr("&Print…"), this);
    CmdPrint->setObjectName(QStringLiteral("CmdPrint"));
    CmdPrint->setAccessibleName(tr("Print the profile"));
    buttons->addStretch(1);
    buttons->addWidget(CmdSave);
    buttons->addWidget(CmdPrint);
    layout->addLayout(buttons);
    connect(CmdSave, &QPushButton::clicked, this, &ProfileWindow::save);
    connect(CmdPrint, &QPushButton::clicked, this, &ProfileWindow::print);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            &QWidget::close);
    resize(1000, 640);
}

void ProfileWindow::save() {
    const QString path = askPicturePath(
        this, m_dialogs, QStringLiteral("PNG Image (*.png)|*.png|PDF Document (*.pdf)|*.pdf|"));
    if (path.isEmpty())
        return;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    bool drawn = false;
    if (path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)) {
        QPdfWriter pdf(&buffer);
        pdf.setCreator(QStringLiteral("Lumetra"));
        pdf.setPageOrientation(QPageLayout::Landscape);
        pdf.setPageMargins(QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter);
        QPainter p;
        if (p.begin(&pdf)) {
            draw(p, QRectF(0, 0, pdf.width(), pdf.height()), m_title, Map->map());
            drawn = p.end();
        }
    } else {
        // A year of days stays a picture a viewer opens: rows shrink rather than the height grow.
        QImage image(QSize(1400, std::clamp(120 + 26 * Map->map().rows, 500, 6000)),
                     QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter p(&image);
        draw(p, QRectF(16, 12, image.width() - 32, image.height() - 24), m_title, Map->map());
        p.end();
        drawn = image.save(&buffer, "PNG");
    }
    const QString error =
        drawn ? saveWholeFile(path, bytes) : tr("The picture could not be drawn.");
    if (!error.isEmpty())
        m_dialogs.message(
            this, tr("The profile could not be saved to %1.").arg(QDir::toNativeSeparators(path)),
            MessageIcon::Error, MessageButtons::Ok, {}, error);
}

void ProfileWindow::print() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    if (!m_dialogs.printerSetup(this, printer))
        return;
    QPainter p;
    if (!p.begin(&printer)) {
        m_dialogs.message(this, tr("The printer could not be started."), MessageIcon::Error);
        return;
    }
    draw(p, QRectF(0, 0, printer.width(), printer.height()), m_title, Map->map());
    if (!p.end())
        m_dialogs.message(this, tr("The profile could not be printed."), MessageIcon::Error);
}

} // namespace lumetra
