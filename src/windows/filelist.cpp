#include "filelist.h"

#include "model/recordtable.h"
#include "widgets/toolbarpictures.h"

namespace lumetra {

FileList::FileList(QWidget* parent)
    : ListWindow(QStringLiteral("FileList"), QStringLiteral("File List"), 3800, 4560, parent) {
    enableWithRows(
        addToolbarButton(QStringLiteral("Plot"), QStringLiteral("Plot"), toolbarPicture(5)),
        table());
    addToolbarButton(QStringLiteral("Print"), QStringLiteral("Print"), toolbarPicture(16));
    addToolbarButton(QStringLiteral("CSV"), QStringLiteral("Export CSV"), toolbarPicture(1));
    table()->setHeader(0, QStringLiteral("No.s"));
    table()->setHeader(1, QStringLiteral("Time"));
    table()->setHeader(2, QStringLiteral("Value"));
}

} // namespace lumetra
