#pragma once

#include "widgets/listwindow.h"

namespace lumetra {

// "File List": the records of a record file opened from disk, printable.
class FileList : public ListWindow {
    Q_OBJECT
public:
    explicit FileList(QWidget* parent = nullptr);
};

} // namespace lumetra
