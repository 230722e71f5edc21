#include "listcommands.h"

#include "panel/panel.h"
#include "panel/polltimer.h"
#include "platform/dialogs.h"
#include "recording/gridio.h"
#include "views/listwindow.h"

#include <QPointer>
#include <QScopeGuard>

namespace lumetra {

bool runListCommand(ListWindow& window, const RecordTable& table, const QString& key,
                    Panel& panel) {
    const bool save = key == QLatin1String("Save");
    if (!save && key != QLatin1String("Print"))
        return false;
    AppState& s = panel.state();
    window.setBusy(true);
    const auto done = qScopeGuard([w = QPointer<ListWindow>(&window)] {
        if (w)
            w->setBusy(false);
    });
    if (save) {
        if (s.recordingToFile) {
            // The one record-file slot is taken by the recording.
            panel.dialogs().message(&window, listSaveWhileRecordingMessage(), MessageIcon::Error);
            return true;
        }
        chooseSaveFile(&window, panel.dialogs(), s);
        if (s.fileChosen)
            saveGrid(&window, table, panel.dialogs(), s);
    } else {
        printGrid(&window, table, panel.dialogs(), &panel.poll());
    }
    return true;
}

} // namespace lumetra
