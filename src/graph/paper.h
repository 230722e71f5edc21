#pragma once

#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QWidget>

namespace lumetra {

// A drawing widget on white paper with black ink, whatever the desktop's colours: a plan
// reads the same on screen, on paper and in a PDF.
inline void onPaper(QWidget* w) {
    w->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    w->setAutoFillBackground(true);
    QPalette p = w->palette();
    p.setColor(QPalette::Window, Qt::white);
    p.setColor(QPalette::WindowText, Qt::black);
    w->setPalette(p);
}

// How long `draw` takes to paint the widget's size onto an image (ms): for the benchmarks.
template <typename Draw> double timedDrawing(const QWidget* w, Draw draw) {
    QImage image(w->size() * w->devicePixelRatioF(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(w->devicePixelRatioF());
    image.fill(Qt::white);
    QElapsedTimer t;
    t.start();
    QPainter painter(&image);
    draw(painter);
    painter.end();
    return double(t.nsecsElapsed()) / 1e6;
}

} // namespace lumetra
