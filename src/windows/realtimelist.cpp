#include "realtimelist.h"

#include "model/readingformat.h"
#include "model/recordtable.h"
#include "widgets/toolbarpictures.h"

#include <QTableView>

namespace lumetra {

RealTimeList::RealTimeList(const QString& unitText, QWidget* parent)
    : ListWindow(QStringLiteral("RealTimeList"), QStringLiteral("Real Time List"), 4000, 4560,
                 parent) {
    addToolbarButton(QStringLiteral("Save"), QStringLiteral("Save As"), toolbarPicture(1));
    addToolbarButton(QStringLiteral("Print"), QStringLiteral("Print"), toolbarPicture(16));
    addToolbarButton(QStringLiteral("CSV"), QStringLiteral("Export CSV"), toolbarPicture(1));
    table()->setHeader(0, QStringLiteral("No.s"));
    table()->setHeader(0, unitText);
    table()->setHeader(1, QStringLiteral("Time"));
    table()->setHeader(2, QStringLiteral("Value"));
}

void RealTimeList::appendSample(int number, const QString& timeStamp, const QString& reading) {
    table()->appendRow({QString::number(number), timeStamp, reading});
    const int last = table()->rowCount() - 1;
    Grid->selectRow(last);
    Grid->scrollTo(table()->index(last, 0));
}

void RealTimeList::appendGap(const QString& timeStamp, int missed) {
    // ASCII: a saved list keeps every character of it.
    table()->appendRow({QStringLiteral("-"), timeStamp, kUnreadableReading});
    Q_UNUSED(missed); // said in the main window's status row
    Grid->scrollTo(table()->index(table()->rowCount() - 1, 0));
}

} // namespace lumetra
