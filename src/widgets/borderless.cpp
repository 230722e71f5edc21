#include "borderless.h"

#include <QDialog>
#include <QFrame>
#include <QVBoxLayout>

namespace lumetra {

QFrame* borderlessPanel(QDialog* dialog) {
    dialog->setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    dialog->setModal(true);
    auto* frame = new QFrame(dialog);
    frame->setFrameShape(QFrame::Panel);
    frame->setFrameShadow(QFrame::Raised);
    auto* outer = new QVBoxLayout(dialog);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(frame);
    return frame;
}

} // namespace lumetra
