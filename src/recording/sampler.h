#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>

namespace lumetra {

class Panel;
class RealTimeList;
class Recorder;

// The PC recording tick (once a second): at each sampling moment the displayed reading goes
// to the record file and to the live list, each with its own record number. Recording stops
// by itself at 100 000 records, on a unit change, a measuring mode or a lost link; the list
// closes at 100 000 rows, on a unit change or a measuring mode.
class Sampler : public QObject {
    Q_OBJECT
public:
    Sampler(Panel& panel, Recorder& recorder, QObject* parent = nullptr);

    void tick();
    void setList(RealTimeList* list) { m_list = list; }
    // Records written to the file but not yet accepted by the disk.
    int pendingLines() const { return int(m_pending.size()); }
    // Writes what the disk refused so far; true when nothing is left waiting.
    bool flushPending();

private:
    void autoStop();

    Panel& m_panel;
    Recorder& m_recorder;
    QPointer<RealTimeList> m_list;
    QStringList m_pending;
};

} // namespace lumetra
