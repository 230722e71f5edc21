#pragma once

#include "widgets/listwindow.h"

namespace lumetra {

struct AppState;

// "Data List": one data-logger set as timed readings, held twice (lux and foot-candles);
// one of the two lists shows at a time.
class DataList : public ListWindow {
    Q_OBJECT
public:
    explicit DataList(AppState& state, QWidget* parent = nullptr);

    QTableView* GridM = nullptr; // lux
    QTableView* GridI = nullptr; // foot-candles
    RecordTable* luxTable() const { return m_lux; }
    RecordTable* fcTable() const { return m_fc; }
    // The list that shows, which Save and Print act on.
    RecordTable* visibleTable() const;
    void toggleUnit();

private:
    void showChosenUnit();

    AppState& m_state;
    RecordTable* m_lux = nullptr;
    RecordTable* m_fc = nullptr;
};

} // namespace lumetra
