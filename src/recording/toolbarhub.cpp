#include "toolbarhub.h"

#include "link/meterlink.h"
#include "panel/panel.h"
#include "panel/polltimer.h"
#include "platform/dialogs.h"
#include "recording/gridio.h"
#include "recording/recorder.h"
#include "recording/recordtable.h"
#include "views/filelist.h"

#include <QDir>
#include <QScopeGuard>

namespace lumetra {

ToolbarHub::ToolbarHub(Panel& panel, QObject* parent) : QObject(parent), m_panel(panel) {
    m_recorder = new Recorder(panel, this);
    connect(&panel, &Panel::toolbarClicked, this, &ToolbarHub::click);
    // Whatever state the program is in when it ends, the record file is complete on disk.
    panel.setShutdownHook([this] { m_recorder->closeFile(); });
}

ToolbarHub::~ToolbarHub() {
    if (m_fileList)
        delete m_fileList.data();
}

FileList* ToolbarHub::fileList() const {
    return m_fileList.data();
}

void ToolbarHub::click(const QString& key) {
    const DisplayState& d = m_panel.state().display;
    const bool free = d.free();
    const bool logging = d.flag(Flag::Intv);
    if (key == QLatin1String("Save")) {
        if (free)
            save();
    } else if (key == QLatin1String("Open")) {
        open();
    } else if (key == QLatin1String("ESC")) {
        escape();
    } else if (key == QLatin1String("TimeSet")) {
        if (logging)
            m_panel.dialogs().message(&m_panel, loggingMessage(), MessageIcon::Error);
        else
            timeSet();
    }
    // The other keys reach their commands as their windows are built; until then a click
    // does nothing, as a refused command does.
}

void ToolbarHub::save() {
    AppState& s = m_panel.state();
    if (s.recordingToFile) {
        m_recorder->stop();
        return;
    }
    chooseSaveFile(&m_panel, m_panel.dialogs(), s);
    if (!s.fileChosen)
        return;
    m_recorder->start();
}

void ToolbarHub::open() {
    AppState& s = m_panel.state();
    if (s.recordingToFile) {
        m_panel.dialogs().message(&m_panel, recordingOpenMessage(), MessageIcon::Error);
        return;
    }
    if (m_opening)
        return; // one file at a time
    m_opening = true;
    const auto done = qScopeGuard([this] { m_opening = false; });

    const QString path = m_panel.dialogs().openFile(&m_panel, QString());
    if (path.isEmpty())
        return;
    if (m_fileList)
        m_fileList->close();
    auto* list = new FileList(); // deletes itself on close
    m_fileList = list;
    connect(list, &ListWindow::toolbarClicked, this, [this, list](const QString& key) {
        if (key == QLatin1String("Print"))
            printGrid(list, *list->table(), m_panel.dialogs(), &m_panel.poll());
    });
    list->placeBeside(&m_panel);
    list->show();
    const ReadReport report = readRecordFile(path, *list->table(), list);
    if (!report.opened) {
        m_panel.dialogs().message(
            list, QStringLiteral("%1 cannot be opened.").arg(QDir::toNativeSeparators(path)),
            MessageIcon::Error, MessageButtons::Ok, {}, report.error);
        if (m_fileList)
            m_fileList->close();
        return;
    }
    if (!report.error.isEmpty() && m_fileList) {
        m_panel.dialogs().message(list,
                                  QStringLiteral("Reading %1 stopped after %2 records.")
                                      .arg(QDir::toNativeSeparators(path))
                                      .arg(report.records),
                                  MessageIcon::Error, MessageButtons::Ok, {}, report.error);
    } else if (report.skippedLines > 0 && m_fileList) {
        m_panel.dialogs().message(
            list,
            QStringLiteral("%1 line(s) of %2 were too long to be records and were skipped.")
                .arg(report.skippedLines)
                .arg(QDir::toNativeSeparators(path)),
            MessageIcon::Warning);
    }
}

void ToolbarHub::escape() {
    auto hold = m_panel.poll().hold();
    if (!m_panel.link().handshake())
        return;
    m_panel.link().writeLetter('H');
}

void ToolbarHub::timeSet() {
    // The meter clock window is not built yet; its opener stops the poll only once it can
    // open the window, so nothing happens here.
}

} // namespace lumetra
