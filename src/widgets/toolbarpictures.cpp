#include "toolbarpictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace lumetra {
namespace {

const QColor kInk(0x2B, 0x3A, 0x4A);
const QColor kAccent(0x2E, 0x7D, 0xC4);
const QColor kWarm(0xE0, 0x8A, 0x1E);

void drawText(QPainter& p, const QRectF& r, const QString& text, qreal size, bool bold = true) {
    QFont f(QStringLiteral("Liberation Sans"));
    f.setPixelSize(int(size));
    f.setBold(bold);
    p.setFont(f);
    p.drawText(r, Qt::AlignCenter, text);
}

// Draws picture n on a 32 x 32 canvas.
void draw(QPainter& p, int n) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(kInk, 2));
    p.setBrush(Qt::NoBrush);
    switch (n) {
    case 1: // save: a floppy disk
        p.setBrush(kAccent);
        p.drawRoundedRect(QRectF(5, 5, 22, 22), 2, 2);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(9, 5, 14, 8));
        p.drawRect(QRectF(9, 17, 14, 10));
        break;
    case 2: // open: a folder
        p.setBrush(QColor(0xF2, 0xC1, 0x4E));
        p.drawPolygon(QPolygonF({{4, 9}, {12, 9}, {15, 12}, {28, 12}, {28, 26}, {4, 26}}));
        break;
    case 3: // PC sampling rate: a monitor with a clock hand
        p.drawRect(QRectF(4, 6, 24, 16));
        p.drawLine(QPointF(16, 22), QPointF(16, 26));
        p.drawLine(QPointF(10, 26), QPointF(22, 26));
        p.setPen(QPen(kAccent, 2));
        p.drawLine(QPointF(16, 14), QPointF(16, 9));
        p.drawLine(QPointF(16, 14), QPointF(20, 14));
        break;
    case 4: // list: lines
        for (int y = 8; y <= 24; y += 5) {
            p.drawLine(QPointF(6, y), QPointF(9, y));
            p.drawLine(QPointF(12, y), QPointF(27, y));
        }
        break;
    case 5: { // graph: a trace over axes
        p.drawLine(QPointF(5, 5), QPointF(5, 27));
        p.drawLine(QPointF(5, 27), QPointF(28, 27));
        p.setPen(QPen(kAccent, 2.5));
        QPainterPath path(QPointF(6, 22));
        path.cubicTo(QPointF(11, 6), QPointF(15, 24), QPointF(20, 12));
        path.lineTo(QPointF(27, 8));
        p.drawPath(path);
        break;
    }
    case 6: // meter time: a clock
        p.drawEllipse(QRectF(5, 5, 22, 22));
        p.drawLine(QPointF(16, 16), QPointF(16, 9));
        p.drawLine(QPointF(16, 16), QPointF(21, 19));
        break;
    case 7: // data logger: a memory chip
        p.setBrush(QColor(0x44, 0x4C, 0x56));
        p.drawRect(QRectF(9, 6, 14, 20));
        for (int y = 9; y <= 23; y += 4) {
            p.drawLine(QPointF(5, y), QPointF(9, y));
            p.drawLine(QPointF(23, y), QPointF(27, y));
        }
        break;
    case 8: // luminous intensity
        p.setPen(kInk);
        drawText(p, QRectF(0, 0, 32, 32), QStringLiteral("cd"), 17);
        break;
    case 9: // comparator: upper and lower limits
        p.drawLine(QPointF(5, 9), QPointF(27, 9));
        p.drawLine(QPointF(5, 23), QPointF(27, 23));
        p.setPen(QPen(kAccent, 2.5));
        p.drawLine(QPointF(6, 18), QPointF(12, 13));
        p.drawLine(QPointF(12, 13), QPointF(19, 17));
        p.drawLine(QPointF(19, 17), QPointF(26, 14));
        break;
    case 10: // hold time: an hourglass
        p.drawPolygon(QPolygonF({{8, 5}, {24, 5}, {16, 16}, {24, 27}, {8, 27}, {16, 16}}));
        break;
    case 11: // recording: stop square in a red disc
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xD0, 0x24, 0x24));
        p.drawEllipse(QRectF(4, 4, 24, 24));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(11, 11, 10, 10));
        break;
    case 12: // control panel: keypad
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c)
                p.drawRoundedRect(QRectF(5 + c * 8, 5 + r * 8, 6, 6), 1, 1);
        }
        break;
    case 13: // back to normal mode
        p.setPen(kInk);
        drawText(p, QRectF(0, 0, 32, 32), QStringLiteral("ESC"), 11);
        break;
    case 14: // SCF
        p.setPen(kWarm);
        drawText(p, QRectF(0, 0, 32, 32), QStringLiteral("SCF"), 11);
        break;
    case 15: // calibration
        p.setPen(kWarm);
        drawText(p, QRectF(0, 0, 32, 32), QStringLiteral("CAL"), 11);
        break;
    case 17: // unit switch
        p.setPen(kInk);
        drawText(p, QRectF(0, 0, 32, 16), QStringLiteral("lx"), 12);
        p.setPen(kAccent);
        drawText(p, QRectF(0, 16, 32, 16), QStringLiteral("fc"), 12);
        break;
    case 16: // print: a printer with a sheet
        p.setBrush(Qt::white);
        p.drawRect(QRectF(10, 4, 12, 9));
        p.setBrush(QColor(0x8A, 0x96, 0xA3));
        p.drawRoundedRect(QRectF(4, 12, 24, 11), 2, 2);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(9, 19, 14, 9));
        break;
    case 18: { // lighting survey: a plan of cells, shaded, with a mark on one
        const QColor shades[] = {QColor(0x3E, 0x4A, 0x89), QColor(0x26, 0x82, 0x8E),
                                 QColor(0x35, 0xB7, 0x79), QColor(0xB4, 0xDE, 0x2C)};
        p.setPen(QPen(kInk, 1));
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) {
                p.setBrush(shades[(r + c) % 4]);
                p.drawRect(QRectF(5 + c * 8, 5 + r * 8, 8, 8));
            }
        }
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(kWarm, 2.5));
        p.drawRect(QRectF(13, 13, 8, 8));
        break;
    }
    case 19: { // emergency test: an exit sign (green, an arrow to a door) with a battery mark
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x1B, 0x8A, 0x3A));
        p.drawRoundedRect(QRectF(3, 7, 26, 18), 2, 2);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(21, 10, 5, 12));
        p.setPen(QPen(Qt::white, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawLine(QPointF(7, 16), QPointF(17, 16));
        p.drawPolyline(QPolygonF{QPointF(13, 12), QPointF(17, 16), QPointF(13, 20)});
        break;
    }
    default:
        break;
    }
}

} // namespace

QIcon toolbarPicture(int index) {
    QIcon icon;
    for (int scale : {1, 2, 3}) {
        QPixmap pm(32 * scale, 32 * scale);
        pm.fill(Qt::transparent);
        {
            QPainter p(&pm);
            p.scale(scale, scale);
            draw(p, index);
        }
        pm.setDevicePixelRatio(scale);
        icon.addPixmap(pm);
    }
    return icon;
}

} // namespace lumetra
