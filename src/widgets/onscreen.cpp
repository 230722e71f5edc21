#include "onscreen.h"

#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace lumetra {

void keepOnScreen(QWidget* window) {
    const QWidget* parent = window->parentWidget() ? window->parentWidget()->window() : nullptr;
    const QScreen* screen = parent && parent->screen() ? parent->screen() : window->screen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    // The frame a window manager adds is known only once the window is mapped: until then,
    // room is left for a title bar and a thin border.
    const QRect outer = window->frameGeometry();
    const QRect inner = window->geometry();
    QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(),
                   outer.right() - inner.right(), outer.bottom() - inner.bottom());
    if (frame.isNull() && !(window->windowFlags() & Qt::FramelessWindowHint))
        frame = QMargins(4, 30, 4, 4);
    const QSize room(area.width() - frame.left() - frame.right(),
                     area.height() - frame.top() - frame.bottom());
    const QSize size = window->size().boundedTo(room).expandedTo(window->minimumSize());
    if (size != window->size())
        window->resize(size);
    const int width = size.width() + frame.left() + frame.right();
    const int height = size.height() + frame.top() + frame.bottom();
    const int x =
        std::clamp(outer.left(), area.left(), std::max(area.left(), area.right() + 1 - width));
    const int y =
        std::clamp(outer.top(), area.top(), std::max(area.top(), area.bottom() + 1 - height));
    if (QPoint(x, y) != outer.topLeft())
        window->move(x, y);
}

} // namespace lumetra
