#pragma once

class QWidget;

namespace lumetra {

// Moves a top-level window (and shrinks it, down to its minimum size) so that it lies wholly
// on the available area of the screen its parent window is on, or its own: a window placed
// beside the main window must not open partly off a small screen.
void keepOnScreen(QWidget* window);

} // namespace lumetra
