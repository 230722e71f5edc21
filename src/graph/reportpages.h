#pragma once

#include <QBuffer>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QRectF>
#include <QStringList>
#include <QTextLayout>
#include <QTextOption>

#include <algorithm>
#include <functional>
#include <optional>

namespace lumetra {

// Draws the pages in device units, laid out in millimetres.
class ReportPages {
public:
    ReportPages(QPainter& painter, QPagedPaintDevice& device)
        : m_painter(painter), m_device(device), m_mm(device.logicalDpiY() / 25.4),
          m_page(0, 0, device.width(), device.height()) {}
    double mm(double v) const { return v * m_mm; }
    double width() const { return m_page.width(); }
    double left() const { return 0; }
    double y() const { return m_y; }
    double room() const { return m_page.height() - m_y; }
    void skip(double millimetres) { m_y += mm(millimetres); }
    void advance(double height) { m_y += height; }
    // A new page when fewer than `millimetres` are left on this one.
    void need(double height) {
        if (room() < height)
            newPage();
    }
    void newPage() {
        m_device.newPage();
        m_y = 0;
    }
    void font(double points, bool bold = false) {
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPointSizeF(points);
        f.setBold(bold);
        m_painter.setFont(f);
    }
    double lineHeight() const { return QFontMetricsF(m_painter.font(), &m_device).height(); }
    // One line of text at the left (or at column x); moves down.
    void line(const QString& text, double x = 0) {
        const double h = lineHeight();
        need(h);
        m_painter.drawText(QRectF(x, m_y, width() - x, h), Qt::AlignLeft | Qt::AlignVCenter, text);
        m_y += h;
    }
    // A paragraph that wraps, anywhere in a word too long for the line, and runs on to the
    // next page line by line; moves down by its height.
    void paragraph(const QString& text) {
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        for (const QString& part : text.split(QLatin1Char('\n'))) {
            QTextLayout layout(part, m_painter.font(), &m_device);
            layout.setTextOption(option);
            layout.beginLayout();
            for (QTextLine l = layout.createLine(); l.isValid(); l = layout.createLine())
                l.setLineWidth(width());
            layout.endLayout();
            if (layout.lineCount() == 0) {
                m_y += lineHeight();
                continue;
            }
            for (int i = 0; i < layout.lineCount(); ++i) {
                const QTextLine l = layout.lineAt(i);
                need(l.height());
                l.draw(&m_painter, QPointF(0, m_y - l.y()));
                m_y += l.height();
            }
        }
    }
    // A row of cells at the given column starts (fractions of the width); a cell too long
    // for its column wraps, and the row is as tall as its tallest cell.
    void row(const QStringList& cells, const QList<double>& starts, bool rule = false) {
        const double line = lineHeight() * 1.15;
        QTextOption wrap(Qt::AlignLeft | Qt::AlignTop);
        wrap.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        QList<QRectF> rects;
        double h = line;
        for (qsizetype i = 0; i < cells.size() && i < starts.size(); ++i) {
            const double x = starts[i] * width();
            const double end = i + 1 < starts.size() ? starts[i + 1] * width() : width();
            const QRectF bounds =
                m_painter.boundingRect(QRectF(x, 0, end - x - mm(1), 1e6), cells[i], wrap);
            rects << QRectF(x, 0, end - x - mm(1), bounds.height());
            h = std::max(h, bounds.height() + line - lineHeight());
        }
        need(h);
        for (qsizetype i = 0; i < rects.size(); ++i) {
            m_painter.drawText(rects[i].translated(0, m_y + (line - lineHeight()) / 2), cells[i],
                               wrap);
        }
        m_y += h;
        if (rule) {
            m_painter.drawLine(QPointF(0, m_y), QPointF(width(), m_y));
            m_y += mm(0.8);
        }
    }

private:
    QPainter& m_painter;
    QPagedPaintDevice& m_device;
    double m_mm;
    QRectF m_page;
    double m_y = 0;
};

// A report drawn by `paint` onto A4 pages of a PDF in memory, with its title; nothing when it
// could not be drawn.
inline std::optional<QByteArray> reportPdf(const QString& title,
                                           const std::function<bool(QPagedPaintDevice&)>& paint) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(300);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(18, 15, 18, 15), QPageLayout::Millimeter);
        writer.setTitle(title);
        writer.setCreator(QStringLiteral("Lumetra"));
        if (!paint(writer))
            return std::nullopt;
    }
    return bytes;
}

} // namespace lumetra
