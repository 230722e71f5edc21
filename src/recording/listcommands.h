#pragma once

#include <QString>

namespace lumetra {

class ListWindow;
class Panel;
class RecordTable;

// "Save" and "Print" of a list window that holds samples (the live list, the data list): the
// save is refused while a recording holds the record-file slot. The window stays open until
// the job is done. Returns true when key was one of the two.
bool runListCommand(ListWindow& window, const RecordTable& table, const QString& key, Panel& panel);

inline QString listSaveWhileRecordingMessage() {
    return QStringLiteral("Aready in recording mode, close it and try again !");
}

} // namespace lumetra
