#include "heatmap.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>

namespace lumetra::heatmap {

QColor colour(double t) {
    // Viridis, sampled at ten even steps.
    static constexpr std::array<QRgb, 10> kStops{0x440154, 0x482878, 0x3E4A89, 0x31688E, 0x26828E,
                                                 0x1F9E89, 0x35B779, 0x6DCD59, 0xB4DE2C, 0xFDE725};
    if (!std::isfinite(t))
        t = 0;
    t = std::clamp(t, 0.0, 1.0) * (kStops.size() - 1);
    const auto i = std::min<size_t>(size_t(t), kStops.size() - 2);
    const double f = t - double(i);
    const QColor a(kStops[i]), b(kStops[i + 1]);
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * f),
                            float(a.greenF() + (b.greenF() - a.greenF()) * f),
                            float(a.blueF() + (b.blueF() - a.blueF()) * f));
}

QColor inkOn(const QColor& background) {
    const double y =
        0.2126 * background.redF() + 0.7152 * background.greenF() + 0.0722 * background.blueF();
    return y > 0.45 ? Qt::black : Qt::white;
}

Layout layout(const Map& map, const QRectF& area, const QFontMetricsF& labels) {
    Layout l;
    const double fontHeight = labels.height();
    double widest = 0;
    for (const QString& t : map.rowLabels)
        widest = std::max(widest, labels.horizontalAdvance(t));
    const double left = std::max(fontHeight * 2.6, widest + fontHeight * 0.6);
    const double top = fontHeight * 1.5;
    const double legendWidth = fontHeight * 5.5;
    QRectF cells(area.left() + left, area.top() + top,
                 std::max(1.0, area.width() - left - legendWidth - fontHeight),
                 std::max(1.0, area.height() - top));
    const int columns = std::max(1, map.columns), rows = std::max(1, map.rows);
    l.cellWidth = cells.width() / columns;
    l.cellHeight = cells.height() / rows;
    if (map.cellAspect > 0) {
        // Keep the room's shape: shrink whichever side is too long.
        if (l.cellWidth / l.cellHeight > map.cellAspect)
            l.cellWidth = l.cellHeight * map.cellAspect;
        else
            l.cellHeight = l.cellWidth / map.cellAspect;
        cells.setSize({l.cellWidth * columns, l.cellHeight * rows});
    }
    l.cells = cells;
    l.legend = QRectF(cells.right() + fontHeight, cells.top(), fontHeight * 1.2,
                      std::min(cells.height(), std::max(fontHeight * 6, area.height() * 0.6)));
    return l;
}

namespace {

double fraction(const Map& map, double v) {
    return map.high > map.low ? (v - map.low) / (map.high - map.low) : 0.5;
}

} // namespace

void paint(QPainter& painter, const QRectF& area, const Map& map) {
    if (map.rows < 1 || map.columns < 1)
        return;
    painter.save();
    const QFont labelFont = painter.font();
    const double fontHeight = QFontMetricsF(labelFont, painter.device()).height();
    const Layout l = layout(map, area, QFontMetricsF(labelFont, painter.device()));
    const double line = std::max(1.0, fontHeight / 14);

    // The cells' own text: one size for all, as large as the longest text allows.
    qsizetype longest = 1;
    for (const Cell& c : map.cells)
        longest = std::max(longest, c.text.size());
    QFont cellFont = labelFont;
    const double byWidth = l.cellWidth * 0.9 / (0.6 * double(longest));
    // Never much larger than the labels: a big cell is no reason to shout.
    cellFont.setPixelSize(
        std::max(1, int(std::min({l.cellHeight * 0.45, byWidth, fontHeight * 1.3}))));
    // A pixel size means device pixels; the painter's transform is ours to honour.
    painter.setFont(cellFont);
    const bool textFits = cellFont.pixelSize() >= 5;

    painter.setPen(QPen(QColor(0x70, 0x70, 0x70), line * 0.5));
    for (int r = 0; r < map.rows; ++r) {
        for (int c = 0; c < map.columns; ++c) {
            const qsizetype i = qsizetype(r) * map.columns + c;
            if (i >= map.cells.size())
                break;
            const Cell& cell = map.cells[i];
            const QRectF rect = l.cellRect(r, c);
            QColor fill = Qt::white;
            if (cell.struckOut) {
                fill = QColor(0xD0, 0xD0, 0xD0);
                painter.setBrush(fill);
                painter.drawRect(rect);
                painter.setBrush(QBrush(QColor(0x80, 0x80, 0x80), Qt::BDiagPattern));
            } else if (cell.value) {
                fill = colour(fraction(map, *cell.value));
                painter.setBrush(fill);
            } else {
                painter.setBrush(fill);
            }
            painter.drawRect(rect);
            if (textFits && !cell.text.isEmpty()) {
                painter.setPen(cell.struckOut ? QColor(Qt::black) : inkOn(fill));
                painter.drawText(rect, Qt::AlignCenter, cell.text);
                painter.setPen(QPen(QColor(0x70, 0x70, 0x70), line * 0.5));
            }
        }
    }
    painter.setBrush(Qt::NoBrush);
    if (map.current >= 0 && map.current < qsizetype(map.rows) * map.columns) {
        const QRectF rect = l.cellRect(map.current / map.columns, map.current % map.columns);
        painter.setPen(QPen(Qt::black, line * 3.5));
        painter.drawRect(rect.adjusted(line, line, -line, -line));
        painter.setPen(QPen(Qt::white, line * 1.2));
        painter.drawRect(rect.adjusted(line * 3, line * 3, -line * 3, -line * 3));
    }

    // Labels: columns above, rows to the left.
    painter.setFont(labelFont);
    painter.setPen(Qt::black);
    // Labels too wide for their cells are drawn every so many cells.
    double widest = 0;
    const QFontMetricsF labels(labelFont, painter.device());
    for (const QString& t : map.columnLabels)
        widest = std::max(widest, labels.horizontalAdvance(t) + fontHeight * 0.3);
    const int every = std::max(1, int(std::ceil(widest / std::max(1.0, l.cellWidth))));
    const int rowEvery = std::max(1, int(std::ceil(fontHeight / std::max(1.0, l.cellHeight))));
    for (int c = 0; c < map.columns && c < map.columnLabels.size(); c += every) {
        const QRectF cell = l.cellRect(0, c);
        painter.drawText(
            QRectF(cell.center().x() - widest / 2, area.top(), widest, l.cells.top() - area.top()),
            Qt::AlignCenter, map.columnLabels[c]);
    }
    for (int r = 0; r < map.rows && r < map.rowLabels.size(); r += rowEvery) {
        const QRectF cell = l.cellRect(r, 0);
        painter.drawText(QRectF(area.left(), cell.center().y() - fontHeight / 2,
                                l.cells.left() - area.left() - line * 3, fontHeight),
                         Qt::AlignRight | Qt::AlignVCenter, map.rowLabels[r]);
    }

    // The legend: a bar from low (bottom) to high (top), its ends and middle labelled.
    const QRectF bar = l.legend;
    const int steps = 64;
    painter.setPen(Qt::NoPen);
    for (int k = 0; k < steps; ++k) {
        const double t = (k + 0.5) / steps;
        painter.setBrush(colour(t));
        painter.drawRect(QRectF(bar.left(), bar.bottom() - (k + 1) * bar.height() / steps,
                                bar.width(), bar.height() / steps + line * 0.5));
    }
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::black, line * 0.5));
    painter.drawRect(bar);
    const auto tick = [&](double t, double value) {
        const double y = bar.bottom() - t * bar.height();
        painter.drawLine(QPointF(bar.right(), y), QPointF(bar.right() + line * 3, y));
        const double a = std::abs(value);
        painter.drawText(
            QRectF(bar.right() + line * 5, y - fontHeight / 2, fontHeight * 4, fontHeight),
            Qt::AlignLeft | Qt::AlignVCenter,
            QString::number(value, 'f',
                            a >= 100  ? 0
                            : a >= 10 ? 1
                                      : 2));
    };
    const bool anyValue = std::any_of(map.cells.begin(), map.cells.end(),
                                      [](const Cell& c) { return c.value.has_value(); });
    if (anyValue && map.high > map.low) {
        tick(0, map.low);
        tick(0.5, (map.low + map.high) / 2);
        tick(1, map.high);
    } else if (anyValue) {
        tick(0.5, map.low);
    }
    painter.drawText(QRectF(bar.left(), bar.bottom() + line * 3, fontHeight * 5, fontHeight * 1.2),
                     Qt::AlignLeft | Qt::AlignTop, map.legendTitle);
    painter.restore();
}

} // namespace lumetra::heatmap
