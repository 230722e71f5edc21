#include "datalist.h"

#include "model/appstate.h"
#include "model/recordtable.h"
#include "widgets/toolbarpictures.h"

#include <QTableView>

namespace lumetra {

DataList::DataList(AppState& state, QWidget* parent)
    : ListWindow(QStringLiteral("DataList"), QStringLiteral("Data List"), 3800, 4560, parent),
      m_state(state) {
    addToolbarButton(QStringLiteral("Save"), QStringLiteral("Save As"), toolbarPicture(1));
    QToolButton* plot =
        addToolbarButton(QStringLiteral("Plot"), QStringLiteral("Plot"), toolbarPicture(5));
    addToolbarButton(QStringLiteral("Print"), QStringLiteral("Print"), toolbarPicture(16));
    addToolbarButton(QStringLiteral("CSV"), QStringLiteral("Export CSV"), toolbarPicture(1));
    addToolbarButton(QStringLiteral("Unit"), QStringLiteral("Unit"), toolbarPicture(17));
    m_lux = table();
    GridM = Grid;
    GridM->setObjectName(QStringLiteral("GridM"));
    GridM->setAccessibleName(QStringLiteral("Readings in lux"));
    m_fc = new RecordTable(this);
    GridI = addGrid(QStringLiteral("GridI"), m_fc);
    GridI->setAccessibleName(QStringLiteral("Readings in foot-candles"));
    enableWithRows(plot, m_lux); // both lists hold the same rows
    m_lux->setHeader(0, QStringLiteral("Lx"));
    m_fc->setHeader(0, QStringLiteral("Fc"));
    for (RecordTable* t : {m_lux, m_fc}) {
        t->setHeader(1, QStringLiteral("Time"));
        t->setHeader(2, QStringLiteral("Value"));
    }
    move(0, 0);
    // The list in the unit the meter shows when the list opens.
    m_state.showLux = !m_state.display.flag(Flag::Fc);
    showChosenUnit();
}

RecordTable* DataList::visibleTable() const {
    return m_state.showLux ? m_lux : m_fc;
}

void DataList::toggleUnit() {
    m_state.showLux = !m_state.showLux;
    showChosenUnit();
}

void DataList::showChosenUnit() {
    showGrid(m_state.showLux ? GridM : GridI);
}

} // namespace lumetra
