#pragma once

#include "widgets/busy.h"

#include <QObject>
#include <QPointer>

namespace lumetra {

class Clock;
class DataList;
class DisplayPoll;
class Dialogs;
class GraphCommands;
class Memory;
class MeterLink;
class PollTimer;
class WaitingBar;
struct AppState;

// The meter's data-logger memory: download it into the set store and the "Data Logger"
// window, expand a set into the "Data List", erase the meter's memory. The download has the
// meter to itself; closing "Data Logger" ends it.
class MemoryCommands : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxRequests = 10;     // a dump that keeps arriving broken is given up
    static constexpr int kMaxEmptyRestarts = 3; // "Q" answered by nothing this often ends it
    static QString noDumpMessage(int tries);
    static QString brokenChainMessage(int tries, int completeSets);

    // Windows open beside mainWindow, and messages show over it.
    MemoryCommands(MeterLink& link, PollTimer& poll, DisplayPoll& displayPoll, AppState& state,
                   Dialogs& dialogs, Clock& clock, QWidget* mainWindow, GraphCommands& graphs,
                   QObject* parent = nullptr);
    ~MemoryCommands() override;

    // Where the main window offers to give up the download's first handshake.
    void setWaitingBar(WaitingBar* bar);

    void download();
    void expand(int dataRow);
    void erase();

    Memory* memoryWindow() const;
    DataList* dataList() const;

    static QString noDataMessage() { return QStringLiteral("No Data in Memory"); }
    static QString eraseQuestion() {
        return QStringLiteral("All the data in memory will be deleted!");
    }

private:
    enum class Transfer { Done, Stalled, Abandoned };
    static constexpr int kStallMs = 3000; // no byte for this long: the dump has stopped
    Transfer receive(int length, QByteArray& reply);
    Memory* openMemoryWindow();
    void listSets(Memory& window, const QVector<QByteArray>& sets);
    void dataListCommand(DataList* list, const QString& key);

    MeterLink& m_link;
    AppState& m_state;
    Dialogs& m_dialogs;
    Clock& m_clock;
    QWidget* m_mainWindow;
    PollTimer& m_poll;
    DisplayPoll& m_displayPoll;
    GraphCommands& m_graphs;
    BusyRule m_exchange; // the meter, for a download or an erase
    QPointer<Memory> m_memory;
    QPointer<DataList> m_dataList;
    QPointer<WaitingBar> m_waitingBar;
};

} // namespace lumetra
