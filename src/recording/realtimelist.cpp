#include "realtimelist.h"

#include "panel/toolbarpictures.h"
#include "recording/appstate.h"
#include "recording/recordtable.h"

#include <QCloseEvent>
#include <QTableView>

namespace lumetra {

RealTimeList::RealTimeList(AppState& state, QWidget* parent)
    : ListWindow(QStringLiteral("RealTimeList"), QStringLiteral("Real Time List"), 4000, 4560,
                 parent),
      m_state(state) {
    addToolbarButton(QStringLiteral("Save"), QStringLiteral("Save As"), toolbarPicture(1));
    addToolbarButton(QStringLiteral("Print"), QStringLiteral("Print"), toolbarPicture(16));
    m_state.listUnit = m_state.display.unitText;
    table()->setHeader(0, QStringLiteral("No.s"));
    table()->setHeader(0, m_state.listUnit);
    table()->setHeader(1, QStringLiteral("Time"));
    table()->setHeader(2, QStringLiteral("Value"));
}

RealTimeList::~RealTimeList() {
    unload();
}

void RealTimeList::closeEvent(QCloseEvent* event) {
    ListWindow::closeEvent(event);
    if (event->isAccepted())
        unload();
}

void RealTimeList::unload() {
    // However the window goes, the list is closed and its count starts again next time.
    m_state.listOpen = false;
    m_state.listRecordCount = 0;
}

void RealTimeList::appendSample(int number, const QString& timeStamp, const QString& reading) {
    table()->appendRow({QString::number(number), timeStamp, reading});
    const int last = table()->rowCount() - 1;
    Grid->selectRow(last);
    Grid->scrollTo(table()->index(last, 0));
}

} // namespace lumetra
