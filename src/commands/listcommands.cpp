#include "listcommands.h"

#include "commands/gridio.h"
#include "model/appstate.h"
#include "widgets/dialogs.h"
#include "widgets/listwindow.h"

namespace lumetra {

bool runListCommand(ListWindow& window, const RecordTable& table, const QString& key,
                    AppState& state, Dialogs& dialogs, PollTimer* poll) {
    const bool csv = key == QLatin1String("CSV");
    const bool save = key == QLatin1String("Save");
    if (!csv && !save && key != QLatin1String("Print"))
        return false;
    // Held for the job, the file dialog included: a list that closes meanwhile (the unit
    // changed) waits for its end.
    auto busy = window.busy().tryHold();
    if (!busy)
        return true; // the list is still busy with its previous job
    if (csv) {
        // The live list's days are this run's; the meter keeps only the day of a set.
        exportCsv(&window, table, dialogs, QDateTime::currentDateTime(), !window.datesKnown());
        return true;
    }
    if (save) {
        if (state.recordingToFile) {
            // The one record-file slot is taken by the recording.
            dialogs.message(&window, listSaveWhileRecordingMessage(), MessageIcon::Error);
            return true;
        }
        chooseSaveFile(&window, dialogs, state, QDateTime::currentDateTime());
        if (state.fileChosen)
            saveGrid(&window, table, dialogs, state, poll);
    } else {
        printGrid(&window, table, dialogs, poll);
    }
    return true;
}

} // namespace lumetra
