#include "memorycommands.h"

#include "link/meterlink.h"
#include "link/readingformat.h"
#include "link/wait.h"
#include "panel/panel.h"
#include "panel/polltimer.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "recording/gridio.h"
#include "recording/listcommands.h"
#include "recording/memorysets.h"
#include "recording/recordtable.h"
#include "recording/toolbarhub.h"
#include "views/datalist.h"
#include "views/datalogger.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QScopeGuard>
#include <QTableView>

namespace lumetra {

MemoryCommands::MemoryCommands(Panel& panel, QObject* parent) : QObject(parent), m_panel(panel) {}

MemoryCommands::~MemoryCommands() {
    delete m_dataList.data();
    delete m_memory.data();
}

Memory* MemoryCommands::memoryWindow() const {
    return m_memory.data();
}
DataList* MemoryCommands::dataList() const {
    return m_dataList.data();
}

MemoryCommands::Transfer MemoryCommands::receive(int length, QByteArray& reply) {
    MeterLink& link = m_panel.link();
    for (;;) {
        reply += link.readAll();
        if (reply.isEmpty())
            return Transfer::Done; // nothing at all: the caller starts the transfer again
        // Sleep until more bytes can have come: 10 ms is about 19 bytes on the line.
        pauseSeconds(0.01);
        if (quitRequested())
            return Transfer::Quit;
        const int received = int(std::min<qsizetype>(reply.size(), length));
        if (m_memory)
            m_memory->LblMessage->setText(QString::number(100.0 * received / length, 'f', 1) +
                                          QStringLiteral("% Completed"));
        if (!m_panel.state().memoryOpen)
            return Transfer::Closed;
        if (received == length)
            return Transfer::Done;
    }
}

void MemoryCommands::download() {
    AppState& s = m_panel.state();
    MeterLink& link = m_panel.link();
    if (m_downloading)
        return;
    m_downloading = true;
    const auto done = qScopeGuard([this] { m_downloading = false; });
    s.downloadErrorCount = 0;
    {
        auto hold = m_panel.poll().hold();
        if (!link.handshake())
            return;
        if (link.memoryPointer() <= memorysets::kEmptyPointer) {
            m_panel.dialogs().message(&m_panel, noDataMessage(), MessageIcon::Error);
            s.pollCounter = 0;
            s.memoryBusy = false;
            return;
        }
    }

    int requests = 0;
    QByteArray stored;
    for (bool restart = true; restart;) {
        restart = false;
        auto hold = m_panel.poll().hold();
        // Start of transfer: back to normal mode, then a fresh acknowledge for the pointer.
        if (!link.enterSettings() || !link.handshake())
            return;
        const quint32 pointer = std::min(link.memoryPointer(), memorysets::kLastAddress);
        if (!m_memory) {
            auto* window = new Memory(s); // deletes itself on close
            m_memory = window;
            connect(window, &Memory::setClicked, this, &MemoryCommands::expand);
            connect(window, &Memory::eraseClicked, this, &MemoryCommands::erase);
            window->placeBeside(&m_panel);
            window->show();
        }
        m_memory->LblSize->setText(QStringLiteral("128 K"));
        m_memory->LblRemain->setText(memorysets::freeMemoryText(pointer));
        const int length = memorysets::replyLength(pointer);
        for (;;) {
            ++requests;
            QByteArray reply;
            link.flush();
            link.writeLetter('Q');
            pauseSeconds(0.2);
            switch (receive(length, reply)) {
            case Transfer::Quit:
                return;
            case Transfer::Closed:
                return; // the poll runs again as the hold ends
            case Transfer::Done:
                break;
            }
            if (reply.isEmpty()) {
                restart = true; // no answer to "Q": start the transfer again
                break;
            }
            link.flush();
            s.pollCounter = 0; // the dump ended the display stream
            s.memoryBusy = false;
            stored = memorysets::storedMemory(reply, length);
            const memorysets::Split split = memorysets::split(stored, AppState::kMaxSets);
            if (split.status == memorysets::Split::NoLeadingMarker) {
                s.downloadErrorCount = 10;
                m_panel.dialogs().message(m_memory,
                                          QStringLiteral("Load Data Error counter :") +
                                              QString::number(s.downloadErrorCount),
                                          MessageIcon::Error);
                return;
            }
            if (split.status == memorysets::Split::BrokenChain) {
                if (requests >= kMaxRequests) {
                    m_panel.dialogs().message(
                        m_memory,
                        QStringLiteral("The meter's memory arrived broken %1 times; "
                                       "the sets could not be listed.")
                            .arg(requests),
                        MessageIcon::Error);
                    return;
                }
                continue; // request the memory again
            }
            QVector<QStringList> rows;
            for (int i = 0; i < split.sets.size(); ++i) {
                s.memorySets[i + 1] = split.sets[i];
                rows.append(memorysets::tableRow(i + 1, split.sets[i]));
            }
            m_memory->sets()->clear();
            m_memory->sets()->appendRows(rows);
            return;
        }
    }
}

void MemoryCommands::expand(int dataRow) {
    if (!m_memory)
        return;
    AppState& s = m_panel.state();
    auto hold = m_panel.poll().hold();
    m_memory->setBusy(true);
    const auto done = qScopeGuard([window = m_memory] {
        if (window)
            window->setBusy(false);
    });
    RecordTable* sets = m_memory->sets();
    const int n = sets->cell(dataRow, 0).toInt();
    if (n < 1 || n > AppState::kMaxSets)
        return;
    const QByteArray set = s.memorySets[n];
    const int records = memorysets::recordCount(set);
    const memorysets::Timeline timeline(sets->cell(dataRow, 1), sets->cell(dataRow, 2).toInt(),
                                        m_panel.clock().now().date());
    if (m_dataList)
        delete m_dataList.data(); // a new expansion starts from empty lists
    auto* list = new DataList(s);
    m_dataList = list;
    connect(list, &ListWindow::toolbarClicked, this, &MemoryCommands::dataListCommand);
    list->show();
    // Runs to its end without letting other events in; the lists are filled in one go.
    QVector<QStringList> lux, fc;
    lux.reserve(records);
    fc.reserve(records);
    for (int i = 1; i <= records; ++i) {
        const int at = memorysets::kHeaderSize + (i - 1) * memorysets::kRecordSize;
        if (const auto r =
                formatReading(quint8(set[at]), quint8(set[at + 1]), quint8(set[at + 2]))) {
            s.valueLx = r->lux;
            s.valueFc = r->footCandles;
        }
        const QString label = timeline.label(i);
        lux.append({QString::number(i), label, s.valueLx});
        fc.append({QString::number(i), label, s.valueFc});
    }
    list->luxTable()->appendRows(lux);
    list->fcTable()->appendRows(fc);
    list->setWindowTitle(QStringLiteral("Data List"));
}

void MemoryCommands::erase() {
    AppState& s = m_panel.state();
    if (s.memoryBusy || !m_memory)
        return;
    s.memoryBusy = true;
    auto hold = m_panel.poll().hold();
    const auto done = qScopeGuard([&s] { s.memoryBusy = false; });
    m_memory->setBusy(true);
    const MessageResult answer =
        m_panel.dialogs().message(m_memory, eraseQuestion(), MessageIcon::Warning,
                                  MessageButtons::OkCancel, QStringLiteral("Warning"));
    QPointer<Memory> window = m_memory;
    if (window)
        window->setBusy(false);
    if (answer != MessageResult::Ok)
        return;
    MeterLink& link = m_panel.link();
    if (!link.handshake())
        return;
    pauseSeconds(0.02);
    link.writeLetter('E');
    if (window)
        window->close();
}

void MemoryCommands::dataListCommand(const QString& key) {
    DataList* list = m_dataList;
    if (!list)
        return;
    if (key == QLatin1String("Unit"))
        list->toggleUnit();
    else
        runListCommand(*list, *list->visibleTable(), key, m_panel);
    // "Plot" arrives with the graph view.
}

} // namespace lumetra
