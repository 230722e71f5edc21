#include "toolbarhub.h"

#include "link/meterlink.h"
#include "link/numbers.h"
#include "link/wait.h"
#include "panel/keypad.h"
#include "panel/panel.h"
#include "panel/polltimer.h"
#include "platform/dialogs.h"
#include "recording/entry.h"
#include "recording/gridio.h"
#include "recording/listcommands.h"
#include "recording/memorycommands.h"
#include "recording/realtimelist.h"
#include "recording/recorder.h"
#include "recording/recordtable.h"
#include "recording/sampler.h"
#include "recording/samplingchoice.h"
#include "settings/calibration.h"
#include "settings/comparator.h"
#include "settings/metersetup.h"
#include "settings/scf.h"
#include "views/filelist.h"

#include <QTimer>

#include <QDir>
#include <QScopeGuard>

namespace lumetra {

ToolbarHub::ToolbarHub(Panel& panel, QObject* parent) : QObject(parent), m_panel(panel) {
    m_recorder = new Recorder(panel, this);
    m_sampler = new Sampler(panel, *m_recorder, this);
    m_memory = new MemoryCommands(panel, this);
    connect(&panel, &Panel::toolbarClicked, this, &ToolbarHub::click);
    connect(panel.Timer2, &QTimer::timeout, m_sampler, &Sampler::tick);
    // Whatever state the program is in when it ends, the record file is complete on disk.
    panel.setShutdownHook([this] { m_recorder->closeFile(); });
}

ToolbarHub::~ToolbarHub() {
    delete m_fileList.data();
    delete m_list.data();
    delete m_keypad.data();
    delete m_comparator.data();
}

RealTimeList* ToolbarHub::realTimeList() const {
    return m_list.data();
}

Btn* ToolbarHub::keypad() const {
    return m_keypad.data();
}

Comparator* ToolbarHub::comparatorWindowOpen() const {
    return m_comparator.data();
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
        guarded([this] { escape(); });
    } else if (key == QLatin1String("TimeSet")) {
        if (logging)
            m_panel.dialogs().message(&m_panel, loggingMessage(), MessageIcon::Error);
        else
            timeSet();
    } else if (key == QLatin1String("Memory")) {
        if (!logging && !m_panel.state().memoryOpen && !d.flag(Flag::Hold))
            m_memory->download();
    } else if (key == QLatin1String("Comp")) {
        guarded([this] { comparatorWindow(); });
    } else if (key == QLatin1String("cal")) {
        if (free)
            guarded([this] { calibration(); });
    } else if (key == QLatin1String("scf")) {
        if (free)
            guarded([this] { scf(); });
    } else if (key == QLatin1String("PC")) {
        samplingRate();
    } else if (key == QLatin1String("List")) {
        if (!m_panel.state().listOpen && free)
            openList();
    } else if (key == QLatin1String("CD")) {
        guarded([this] { distance(); });
    } else if (key == QLatin1String("Hold")) {
        guarded([this] { holdTime(); });
    } else if (key == QLatin1String("Buttons")) {
        buttons();
    }
    // The other keys reach their commands as their windows are built; until then a click
    // does nothing, as a refused command does.
}

void ToolbarHub::guarded(const std::function<void()>& exchange) {
    if (m_exchanging)
        return; // the previous command is still talking to the meter
    m_exchanging = true;
    const auto done = qScopeGuard([this] { m_exchanging = false; });
    exchange();
}

void ToolbarHub::save() {
    AppState& s = m_panel.state();
    if (s.recordingToFile) {
        m_sampler->flushPending(); // what the disk refused earlier, if it takes it now
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
    auto hold = m_panel.poll().hold(); // restarted when the clock window closes
    Setup window(m_panel, &m_panel);
    window.exec();
}

void ToolbarHub::comparatorWindow() {
    const QByteArray reply = readStoredParameters();
    if (reply.isEmpty())
        return;
    if (m_comparator)
        delete m_comparator.data(); // reloaded every time
    auto* window = new Comparator(m_panel);
    m_comparator = window;
    window->show();
    window->fill(comparator::decode(reply));
}

void ToolbarHub::calibration() {
    if (!m_panel.link().handshake())
        return;
    Calibrationfrm window(m_panel, &m_panel);
    QTimer::singleShot(0, &window, &Calibrationfrm::load);
    window.exec();
}

void ToolbarHub::scf() {
    if (!m_panel.link().handshake())
        return;
    SCF_frm window(m_panel, &m_panel);
    QTimer::singleShot(0, &window, &SCF_frm::load);
    window.exec();
}

} // namespace lumetra

namespace lumetra {

void ToolbarHub::samplingRate() {
    SamplingChoice window(m_panel, &m_panel);
    window.exec();
}

void ToolbarHub::openList() {
    AppState& s = m_panel.state();
    auto* list = new RealTimeList(s); // deletes itself on close
    m_list = list;
    m_sampler->setList(list);
    connect(list, &ListWindow::toolbarClicked, this,
            [this](const QString& key) { listCommand(key); });
    list->placeBeside(&m_panel);
    list->show();
    s.listOpen = true;
}

void ToolbarHub::listCommand(const QString& key) {
    if (RealTimeList* list = m_list)
        runListCommand(*list, *list->table(), key, m_panel);
}

QByteArray ToolbarHub::readStoredParameters() {
    MeterLink& link = m_panel.link();
    if (!m_panel.state().meterOnline || !link.enterSettings())
        return {};
    return link.request('Z', 9, true);
}

void ToolbarHub::distance() {
    MeterLink& link = m_panel.link();
    const QByteArray reply = readStoredParameters();
    if (reply.isEmpty())
        return;
    const int stored = quint8(reply[1]) * 256 + quint8(reply[2]);
    // A negative part ends the entry without sending anything.
    const auto v = entry::askTwoPart(m_panel.dialogs(), &m_panel,
                                     entry::distancePrompt(m_panel.state().display.unitText),
                                     entry::kDistanceTitle, entry::distanceDefault(stored),
                                     QLatin1Char('.'), false, entry::distanceHundredths);
    if (v)
        link.sendCommand('I', bytes({quint8(*v / 256), quint8(*v % 256)}));
}

void ToolbarHub::holdTime() {
    MeterLink& link = m_panel.link();
    if (!m_panel.state().meterOnline || !link.enterSettings())
        return;
    const auto t =
        entry::askTwoPart(m_panel.dialogs(), &m_panel, entry::kHoldPrompt, entry::kHoldTitle,
                          QStringLiteral("00:00"), QLatin1Char(':'), false, entry::holdTime);
    if (t)
        link.sendCommand('S', bytes({toBcd(t->first), toBcd(t->second)}));
}

void ToolbarHub::buttons() {
    if (!m_keypad)
        m_keypad = new Btn(m_panel);
    m_keypad->placeUnder(&m_panel);
    m_keypad->show();
    m_keypad->raise();
}

} // namespace lumetra
