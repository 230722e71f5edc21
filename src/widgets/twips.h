#pragma once

class QWidget;

namespace lumetra {

// Window geometry is designed in twips (1/1440 inch); on screen it follows the logical DPI,
// so layouts keep their proportions on a high-DPI display.
int twipsToPixels(const QWidget* widget, int twips);
int pixelsToTwips(const QWidget* widget, int pixels);

} // namespace lumetra
