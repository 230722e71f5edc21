#pragma once

class QDialog;
class QFrame;

namespace lumetra {

// Windows without a title bar get a raised panel edge so that they stand out from what lies
// under them. Makes the dialog modal and borderless; returns the panel to fill.
QFrame* borderlessPanel(QDialog* dialog);

} // namespace lumetra
