#include "memorycommands.h"

#include "commands/graphcommands.h"
#include "commands/listcommands.h"
#include "link/displaypoll.h"
#include "link/meterexchanges.h"
#include "link/meterlink.h"
#include "link/wait.h"
#include "model/appstate.h"
#include "model/memorysets.h"
#include "model/readingformat.h"
#include "model/recordtable.h"
#include "platform/clock.h"
#include "widgets/dialogs.h"
#include "widgets/waitingbar.h"
#include "windows/datalist.h"
#include "windows/datalogger.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QLabel>
#include <QScopeGuard>

namespace lumetra {

MemoryCommands::MemoryCommands(MeterLink& link, PollTimer& poll, DisplayPoll& displayPoll,
                               AppState& state, Dialogs& dialogs, Clock& clock, QWidget* mainWindow,
                               GraphCommands& graphs, QObject* parent)
    : QObject(parent), m_link(link), m_state(state), m_dialogs(dialogs), m_clock(clock),
      m_mainWindow(mainWindow), m_poll(poll), m_displayPoll(displayPoll), m_graphs(graphs) {
    m_exchange.setMeter(&link, &poll);
    m_exchange.setPurpose(QStringLiteral("the data logger"));
}

MemoryCommands::~MemoryCommands() {
    // Deleted as they close; the program deletes what is left when it ends.
    for (QWidget* w :
         {static_cast<QWidget*>(m_dataList.data()), static_cast<QWidget*>(m_memory.data())}) {
        if (w)
            w->close();
    }
}

void MemoryCommands::setWaitingBar(WaitingBar* bar) {
    m_waitingBar = bar;
}

Memory* MemoryCommands::memoryWindow() const {
    return m_memory.data();
}
DataList* MemoryCommands::dataList() const {
    return m_dataList.data();
}

MemoryCommands::Transfer MemoryCommands::receive(int length, QByteArray& reply) {
    reply.reserve(length); // the dump lands in one buffer, never copied as it grows
    QElapsedTimer quiet;   // since the last byte came
    quiet.start();
    QElapsedTimer shown; // since the progress text last changed
    const auto showProgress = [&] {
        shown.start();
        const int received = int(std::min<qsizetype>(reply.size(), length));
        if (m_memory)
            m_memory->LblMessage->setText(QString::number(100.0 * received / length, 'f', 1) +
                                          QStringLiteral("% Completed"));
    };
    showProgress();
    // The dump is a steady stream: the port reports it in pieces of up to 64 bytes (30 a
    // second on the line), byte by byte once the stream falters, and as it was afterwards.
    SerialPort& port = m_link.port();
    int threshold = 0; // as the port was opened
    const auto wakeAt = [&](int bytes) {
        if (bytes != threshold && port.setWakeThreshold(bytes))
            threshold = bytes;
    };
    const auto asOpened = qScopeGuard([&] { wakeAt(0); });
    for (;;) {
        if (m_link.readAllInto(reply) > 0)
            quiet.restart();
        if (reply.size() >= length) {
            showProgress();
            return Transfer::Done;
        }
        const qint64 left = kStallMs - quiet.elapsed();
        if (left < 0) {
            // Nothing at all, or the meter stopped in the middle of its memory: the caller
            // starts the transfer again.
            return reply.isEmpty() ? Transfer::Done : Transfer::Stalled;
        }
        // A person reads ten changes a second at most; more only costs repaints.
        if (shown.elapsed() >= 100)
            showProgress();
        // Sleeps until the next bytes come (or the quiet time is up). A piece that does not
        // fill within a quarter second is taken as it is.
        const bool flowing = quiet.elapsed() < 250;
        wakeAt(flowing ? int(std::min<qsizetype>(64, length - reply.size())) : 1);
        const double wait =
            flowing ? std::min<qint64>(left + 1, 250 - quiet.elapsed() + 1) : double(left + 1);
        if (!m_link.waitForInput(wait / 1000.0))
            return Transfer::Abandoned;
    }
}

Memory* MemoryCommands::openMemoryWindow() {
    if (m_memory)
        return m_memory;
    auto* window = new Memory(m_state); // deletes itself on close
    m_memory = window;
    connect(window, &Memory::setClicked, this, &MemoryCommands::expand);
    connect(window, &Memory::eraseClicked, this, &MemoryCommands::erase);
    connect(window, &BusyWindow::closed, this, [this, window] {
        if (m_memory == window)
            m_memory = nullptr;
    });
    window->placeBeside(m_mainWindow);
    window->show();
    return window;
}

void MemoryCommands::download() {
    AppState& s = m_state;
    MeterLink& link = m_link;
    const auto exchange = m_exchange.tryHold();
    if (!exchange)
        return; // a download or another exchange has the meter
    s.downloadErrorCount = 0;
    {
        // The Data Logger window is not open yet: the main window offers to give up.
        const WaitingBar::Watch watch(m_waitingBar, m_exchange);
        if (!link.handshake())
            return;
    }
    if (link.memoryPointer() <= memorysets::kEmptyPointer) {
        m_dialogs.message(m_mainWindow, noDataMessage(), MessageIcon::Error);
        m_displayPoll.restartStream();
        s.memoryBusy = false;
        return;
    }

    int brokenDumps = 0;
    int emptyRestarts = 0;
    QByteArray stored;
    for (bool restart = true; restart;) {
        restart = false;
        // From here on closing "Data Logger" ends the download.
        Memory* window = openMemoryWindow();
        const auto windowHold = window->busy().tryHold();
        if (!windowHold)
            return;
        // Whatever is left of a dump that was given up must not reach the display poll.
        const auto abandoned = [&] {
            link.flush();
            m_displayPoll.restartStream();
        };
        // Start of transfer: back to normal mode, then a fresh acknowledge for the pointer.
        if (!link.enterSettings() || !link.handshake())
            return abandoned();
        const quint32 pointer = std::min(link.memoryPointer(), memorysets::kLastAddress);
        window->LblSize->setText(QStringLiteral("128 K"));
        window->LblRemain->setText(memorysets::freeMemoryText(pointer));
        const int length = memorysets::replyLength(pointer);
        for (;;) {
            QByteArray reply;
            const Transfer transfer =
                !exchange::askForMemoryDump(link) ? Transfer::Abandoned : receive(length, reply);
            if (transfer == Transfer::Abandoned)
                return abandoned();
            if (reply.isEmpty() || transfer == Transfer::Stalled) {
                // No answer to "Q", or only part of one: start again, but not for ever.
                if (++emptyRestarts > kMaxEmptyRestarts) {
                    abandoned();
                    m_dialogs.message(window, noDumpMessage(emptyRestarts), MessageIcon::Error);
                    return;
                }
                restart = true;
                break;
            }
            link.flush();
            m_displayPoll.restartStream(); // the dump ended the display stream
            s.memoryBusy = false;
            stored = memorysets::storedMemory(reply, length);
            const memorysets::Split split = memorysets::split(stored, AppState::kMaxSets);
            if (split.status == memorysets::Split::NoLeadingMarker) {
                s.downloadErrorCount = 10;
                m_dialogs.message(window,
                                  QStringLiteral("Load Data Error counter :") +
                                      QString::number(s.downloadErrorCount),
                                  MessageIcon::Error);
                return;
            }
            if (split.status == memorysets::Split::BrokenChain) {
                if (++brokenDumps < kMaxRequests)
                    continue; // request the memory again
                // The sets before the break are whole: they are listed, the rest is not.
                listSets(*window, split.sets);
                m_dialogs.message(window, brokenChainMessage(brokenDumps, int(split.sets.size())),
                                  MessageIcon::Error);
                return;
            }
            listSets(*window, split.sets);
            return;
        }
    }
}

void MemoryCommands::listSets(Memory& window, const QVector<QByteArray>& sets) {
    QVector<QStringList> rows;
    for (int i = 0; i < sets.size(); ++i) {
        m_state.memorySets[i + 1] = sets[i];
        rows.append(memorysets::tableRow(i + 1, sets[i]));
    }
    window.sets()->clear();
    window.sets()->appendRows(rows);
}

QString MemoryCommands::noDumpMessage(int tries) {
    return QStringLiteral("The meter did not send its whole memory (%1 tries). Check that it is "
                          "switched on and connected, then press \"Memory\" again.")
        .arg(tries);
}

QString MemoryCommands::brokenChainMessage(int tries, int completeSets) {
    const QString listed =
        completeSets == 0
            ? QStringLiteral("No set arrived whole.")
            : QStringLiteral("Sets 1 to %1 arrived whole and are listed.").arg(completeSets);
    return QStringLiteral("The meter's memory arrived broken %1 times; the chain of sets broke "
                          "after set %2. ")
               .arg(tries)
               .arg(completeSets) +
           listed;
}

void MemoryCommands::expand(int dataRow) {
    Memory* window = m_memory;
    if (!window)
        return;
    if (m_dataList && m_dataList->busy().held())
        return; // the list is still saving or printing: it is not replaced under its job
    const auto hold = window->busy().tryHold();
    if (!hold)
        return;
    AppState& s = m_state;
    RecordTable* sets = window->sets();
    const int n = sets->cell(dataRow, 0).toInt();
    if (n < 1 || n > AppState::kMaxSets)
        return;
    const QByteArray set = s.memorySets[n];
    const int records = memorysets::recordCount(set);
    const memorysets::Timeline timeline(sets->cell(dataRow, 1), sets->cell(dataRow, 2).toInt(),
                                        m_clock.now().date());
    if (m_dataList)
        m_dataList->close(); // a new expansion starts from empty lists
    auto* list = new DataList(s);
    m_dataList = list;
    connect(list, &ListWindow::toolbarClicked, this,
            [this, list](const QString& key) { dataListCommand(list, key); });
    list->show();
    // The lists fill in slices with events between them, so the windows keep answering on
    // the largest set. Meanwhile neither window goes away (a close waits for the end; closing
    // the list ends the filling), the list's own commands wait, and the meter is held: the
    // poll rests, and no exchange starts inside a slice to hold the filling beneath its
    // waits. Without the meter (another window has it) the lists fill in one go.
    const auto listHold = list->busy().tryHold();
    const auto exchange = m_exchange.tryHold();
    constexpr qint64 kSliceMs = 25;
    QElapsedTimer slice;
    slice.start();
    QVector<QStringList> lux, fc;
    for (int i = 1; i <= records; ++i) {
        const int at = memorysets::kHeaderSize + (i - 1) * memorysets::kRecordSize;
        // A record without a range is shown as unreadable, never as its neighbour's value.
        const auto r = formatReading(quint8(set[at]), quint8(set[at + 1]), quint8(set[at + 2]));
        s.valueLx = r ? r->lux : kUnreadableReading;
        s.valueFc = r ? r->footCandles : kUnreadableReading;
        const QString label = timeline.label(i);
        const QString number = QString::number(i);
        lux.append({number, label, s.valueLx});
        fc.append({number, label, s.valueFc});
        if (i < records && (!exchange || slice.elapsed() < kSliceMs))
            continue;
        list->luxTable()->appendRows(lux);
        list->fcTable()->appendRows(fc);
        lux.clear();
        fc.clear();
        if (i == records)
            break;
        pauseSeconds(0);
        if (list->busy().closePending() || quitRequested())
            return; // the list closes: what it holds goes with it
        slice.restart();
    }
    list->setWindowTitle(QStringLiteral("Data List"));
}

void MemoryCommands::erase() {
    QPointer<Memory> window = m_memory;
    if (!window)
        return;
    bool erased = false;
    {
        const auto exchange = m_exchange.tryHold();
        if (!exchange)
            return;
        const auto windowHold = window->busy().tryHold();
        if (!windowHold)
            return;
        const MessageResult answer =
            m_dialogs.message(window, eraseQuestion(), MessageIcon::Warning,
                              MessageButtons::OkCancel, QStringLiteral("Warning"));
        if (answer != MessageResult::Ok || waitsAbandoned())
            return;
        erased = exchange::eraseMemory(m_link);
    }
    if (erased && window)
        window->close();
}

void MemoryCommands::dataListCommand(DataList* list, const QString& key) {
    if (key == QLatin1String("Unit")) {
        list->toggleUnit();
    } else if (key == QLatin1String("Plot")) {
        if (list->busy().held())
            return; // the set is still filling the list
        // The list's own unit; the range starts at 0 and the first value, and widens to all.
        const RecordTable& table = *list->visibleTable();
        m_graphs.plotColumn(table, 2, table.header(0), firstValueRange(table, 2), 0.0f,
                            QDateTime::currentDateTime());
    } else {
        runListCommand(*list, *list->visibleTable(), key, m_state, m_dialogs, &m_poll);
    }
}

} // namespace lumetra
