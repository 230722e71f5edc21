#pragma once

#include <QString>

namespace lumetra {

class Dialogs;
class ListWindow;
class PollTimer;
class RecordTable;
struct AppState;

// "Export CSV" of the live list and the data list, and "Save" and "Print" of a list window that
// holds samples (the live list, the data list): the save is refused while a recording holds the
// record-file slot. The window stays open until the job is done, and a second job is refused
// meanwhile. The display poll rests while it prints. Returns true when key was one of the two.
bool runListCommand(ListWindow& window, const RecordTable& table, const QString& key,
                    AppState& state, Dialogs& dialogs, PollTimer* poll);

inline QString listSaveWhileRecordingMessage() {
    return QStringLiteral("Aready in recording mode, close it and try again !");
}

} // namespace lumetra
