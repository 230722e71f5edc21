#pragma once

#include <QObject>
#include <QPointer>

namespace lumetra {

class DataList;
class Memory;
class Panel;

// The meter's data-logger memory: download it into the set store and the "Data Logger"
// window, expand a set into the "Data List", erase the meter's memory.
class MemoryCommands : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxRequests = 10; // a dump that keeps arriving broken is given up

    explicit MemoryCommands(Panel& panel, QObject* parent = nullptr);
    ~MemoryCommands() override;

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
    enum class Transfer { Done, Closed, Quit };
    Transfer receive(int length, QByteArray& reply);
    void listSets(const QByteArray& stored, int& requests);
    void dataListCommand(const QString& key);

    Panel& m_panel;
    QPointer<Memory> m_memory;
    QPointer<DataList> m_dataList;
    bool m_downloading = false;
};

} // namespace lumetra
