#include "twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace lumetra {
namespace {

double logicalDpi(const QWidget* widget) {
    if (widget && widget->screen())
        return widget->screen()->logicalDotsPerInchY();
    if (const QScreen* s = QGuiApplication::primaryScreen())
        return s->logicalDotsPerInchY();
    return 96.0;
}

} // namespace

int twipsToPixels(const QWidget* widget, int twips) {
    return int(std::lround(twips * logicalDpi(widget) / 1440.0));
}

int pixelsToTwips(const QWidget* widget, int pixels) {
    return int(std::lround(pixels * 1440.0 / logicalDpi(widget)));
}

} // namespace lumetra
