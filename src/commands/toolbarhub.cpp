#include "toolbarhub.h"

#include "commands/graphcommands.h"
#include "commands/gridio.h"
#include "commands/listcommands.h"
#include "commands/memorycommands.h"
#include "graph/heatmapview.h"
#include "graph/surveyplanview.h"
#include "link/meterexchanges.h"
#include "link/meterlink.h"
#include "link/polltimer.h"
#include "link/recorder.h"
#include "link/sampler.h"
#include "link/wait.h"
#include "model/numbers.h"
#include "model/recordtable.h"
#include "model/settingblocks.h"
#include "platform/clock.h"
#include "widgets/dialogs.h"
#include "widgets/twopartentry.h"
#include "widgets/virtuallcd.h"
#include "widgets/waitingbar.h"
#include "windows/calibration.h"
#include "windows/comparator.h"
#include "windows/emergencytest.h"
#include "windows/filelist.h"
#include "windows/keypad.h"
#include "windows/metersetup.h"
#include "windows/panel.h"
#include "windows/realtimelist.h"
#include "windows/samplingchoice.h"
#include "windows/scf.h"
#include "windows/survey.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

namespace lumetra {

ToolbarHub::ToolbarHub(Panel& panel, QObject* parent) : QObject(parent), m_panel(panel) {
    AppState& state = panel.state();
    m_recorder = new Recorder(state, this);
    connect(m_recorder, &Recorder::startRefused, this,
            [this](const QString& text, const QString& detail) {
                m_panel.dialogs().message(&m_panel, text, MessageIcon::Error, MessageButtons::Ok,
                                          {}, detail);
            });
    m_sampler = new Sampler(state, panel.clock(), *m_recorder, this);
    m_graphs = new GraphCommands(state, panel.dialogs(), &panel, this);
    m_memory = new MemoryCommands(panel.link(), panel.poll(), panel.displayPoll(), state,
                                  panel.dialogs(), panel.clock(), &panel, *m_graphs, this);
    m_exchange.setMeter(&panel.link(), &panel.poll());
    m_exchange.setPurpose(QStringLiteral("a setting exchange with the meter"));
    m_memory->setWaitingBar(panel.FrmWaiting);
    for (const Command& c : commands())
        panel.addToolbarButton(c.button);
    connect(&panel, &Panel::toolbarClicked, this, &ToolbarHub::click);
    connect(panel.Timer2, &QTimer::timeout, m_sampler, &Sampler::tick);
    connect(m_recorder, &Recorder::statusChanged, &panel, &Panel::showRecording);
    connect(m_sampler, &Sampler::writeErrorChanged, &panel, &Panel::showWriteError);
    connect(m_sampler, &Sampler::endedByItself, &panel, &Panel::addNote);
    connect(m_sampler, &Sampler::pausedChanged, &panel, &Panel::showPaused);
    m_sampler->setPoll(&panel.poll());
    connect(m_graphs, &GraphCommands::liveGraphEnded, &panel, &Panel::addNote);
    // Whatever state the program is in when it ends, the record file is complete on disk:
    // records the disk refused so far get a last try, and any still refused are said.
    // A survey with changes not saved is the user's to keep: the program stays when they say so.
    // So is a running emergency test, and a finished one not yet in the log book.
    panel.setQuitCheck([this] {
        return (!m_survey || m_survey->mayClose()) && (!m_emergency || m_emergency->mayClose());
    });
    panel.setShutdownHook([this] {
        if (!m_panel.state().recordingToFile) {
            m_recorder->closeFile();
            return;
        }
        if (const QString dropped = m_sampler->stopRecording(); !dropped.isEmpty())
            m_panel.dialogs().message(&m_panel, dropped, MessageIcon::Error);
    });
}

ToolbarHub::~ToolbarHub() {
    // The windows delete themselves as they close; the program deletes what is left when it
    // ends.
    for (QWidget* w :
         {static_cast<QWidget*>(m_fileList.data()), static_cast<QWidget*>(m_liveList.data()),
          static_cast<QWidget*>(m_keypad.data()), static_cast<QWidget*>(m_comparator.data()),
          static_cast<QWidget*>(m_survey.data())}) {
        if (w)
            w->close();
    }
}

template <typename W> void ToolbarHub::track(QPointer<W>& slot, W* window) {
    slot = window;
    connect(window, &BusyWindow::closed, this, [&slot, window] {
        if (slot == window)
            slot = nullptr;
    });
}

RealTimeList* ToolbarHub::realTimeList() const {
    // The list that is counting samples; one that stopped and is still saving is not.
    return m_liveList && m_sampler->list() == m_liveList.data() ? m_liveList.data() : nullptr;
}

Btn* ToolbarHub::keypad() const {
    return m_keypad.data();
}

Comparator* ToolbarHub::comparatorWindowOpen() const {
    return m_comparator.data();
}

FrmSurvey* ToolbarHub::surveyWindow() const {
    return m_survey.data();
}

FrmEmergency* ToolbarHub::emergencyWindow() const {
    return m_emergency.data();
}

FileList* ToolbarHub::fileList() const {
    return m_fileList.data();
}

// The toolbar, left to right: one row per command. A command's row says everything about it;
// its handler checks the command's own precondition against the meter's display.
const QList<ToolbarHub::Command>& ToolbarHub::commands() {
    static const QList<Command> table{
        {{"Save", "Save As", "Ctrl+S", 1, false, "Record readings into a file"},
         &ToolbarHub::saveKey},
        {{"Open", "Open File to Read", "Ctrl+O", 2, true,
          "Open a record file, or a recorder's CSV, as a list"},
         &ToolbarHub::open},
        {{"PC", "PC Sampling Rate", "Ctrl+R", 3, false,
          "Choose how often the PC or the meter takes a reading"},
         &ToolbarHub::samplingRateKey},
        {{"List", "List Display", "Ctrl+L", 4, false, "List the readings as they come"},
         &ToolbarHub::listKey},
        {{"Graph", "Graphic Display", "Ctrl+G", 5, false, "Draw the readings as they come"},
         &ToolbarHub::graphKey},
        {{"TimeSet", "Set Meter Time to PC System Time", "Ctrl+T", 6, false,
          "Show the meter's clock beside the PC's and set it to the PC's time"},
         &ToolbarHub::timeSetKey},
        {{"Memory", "Data Logger", "Ctrl+M", 7, false, "Download the meter's data logger"},
         &ToolbarHub::memoryKey},
        {{"CD", "Luminous Intensity", "Ctrl+D", 8, false,
          "Enter the distance to the light source, for luminous intensity (cd)"},
         &ToolbarHub::distanceKey},
        {{"Comp", "Comparator", "Ctrl+K", 9, false, "Read and set the meter's high and low limits"},
         &ToolbarHub::comparatorKey},
        {{"Hold", "Set Time to Hold", "Ctrl+H", 10, false,
          "Set how long the meter's timed hold lasts"},
         &ToolbarHub::holdKey},
        {{"Buttons", "Control Panel", "Ctrl+B", 12, false, "Press the meter's keys from here"},
         &ToolbarHub::buttons},
        {{"ESC", "Back to Normal Mode", "Ctrl+Shift+E", 13, false,
          "Return the meter to normal measuring"},
         &ToolbarHub::escapeKey},
        {{"scf", "Set SCF", "Ctrl+Shift+F", 14, false,
          "Set the spectral correction factor for a kind of light source"},
         &ToolbarHub::scfKey},
        {{"cal", "Set Cal", "Ctrl+Shift+C", 15, false, "Set the meter's calibration factor"},
         &ToolbarHub::calibrationKey},
        {{"Survey", "Lighting Survey", "Ctrl+U", 18, true,
          "Measure a room's lighting on a grid of points"},
         &ToolbarHub::survey},
        {{"Emergency", "Emergency Test", "Ctrl+Shift+M", 19, true,
          "Test emergency lighting through its rated duration after a mains failure"},
         &ToolbarHub::emergencyTest},
    };
    return table;
}

void ToolbarHub::click(const QString& key) {
    for (const Command& c : commands()) {
        if (key == QLatin1String(c.button.key)) {
            m_panel.clearNotes(); // said until the next command
            (this->*c.run)();
            return;
        }
    }
}

bool ToolbarHub::changePort(const PortChoice& choice) {
    if (choice.device == m_panel.state().port.device && m_panel.link().isOpen())
        return true; // the port in use: nothing changes, a recording goes on
    const auto hold = m_exchange.tryHold();
    if (!hold) {
        m_panel.dialogs().message(&m_panel,
                                  QStringLiteral("The meter is busy with another exchange. Choose "
                                                 "the port again once it has ended."),
                                  MessageIcon::Warning);
        return false;
    }
    m_panel.clearNotes();
    if (m_panel.state().recordingToFile)
        m_sampler->stopBecause(QStringLiteral("another port was chosen"));
    return m_panel.changePort(choice);
}

bool ToolbarHub::meterFree() const {
    return m_panel.state().display.free();
}

bool ToolbarHub::meterLogging() const {
    return m_panel.state().display.flag(Flag::Intv);
}

void ToolbarHub::saveKey() {
    if (meterFree())
        save();
}

void ToolbarHub::escapeKey() {
    guarded([this] { escape(); });
}

void ToolbarHub::timeSetKey() {
    if (meterLogging())
        m_panel.dialogs().message(&m_panel, loggingMessage(), MessageIcon::Error);
    else if (!m_panel.link().claimed())
        timeSet();
}

void ToolbarHub::memoryKey() {
    if (!meterLogging() && !m_panel.state().memoryOpen && !m_panel.state().display.flag(Flag::Hold))
        m_memory->download();
}

void ToolbarHub::comparatorKey() {
    guarded([this] { comparatorWindow(); });
}

void ToolbarHub::calibrationKey() {
    if (meterFree() && !m_panel.link().claimed())
        calibration();
}

void ToolbarHub::scfKey() {
    if (meterFree() && !m_panel.link().claimed())
        scf();
}

void ToolbarHub::graphKey() {
    if (!m_panel.state().graphOpen && meterFree())
        m_graphs->openLiveGraph();
}

void ToolbarHub::samplingRateKey() {
    if (!m_panel.link().claimed())
        samplingRate();
}

void ToolbarHub::listKey() {
    if (!m_panel.state().listOpen && meterFree())
        openList();
}

void ToolbarHub::distanceKey() {
    guarded([this] { distance(); });
}

void ToolbarHub::holdKey() {
    guarded([this] { holdTime(); });
}

void ToolbarHub::survey() {
    // One survey at a time: the command brings the open one forward.
    if (!m_survey) {
        auto* window = new FrmSurvey(m_panel.state(), m_panel.displayPoll(), m_panel.link(),
                                     m_panel.poll(), m_panel.dialogs()); // deletes itself on close
        track(m_survey, window);
        window->show();
    }
    m_survey->raise();
    m_survey->activateWindow();
    m_survey->Plan->setFocus(Qt::OtherFocusReason);
}

void ToolbarHub::emergencyTest() {
    // One test at a time: the command brings the open window forward.
    if (!m_emergency) {
        auto* window = new FrmEmergency(m_panel.state(), m_panel.displayPoll(), m_panel.clock(),
                                        m_panel.dialogs()); // deletes itself on close
        track(m_emergency, window);
        window->show();
    }
    m_emergency->raise();
    m_emergency->activateWindow();
}

void ToolbarHub::guarded(const std::function<void()>& exchange) {
    const auto hold = m_exchange.tryHold();
    if (!hold)
        return; // another exchange is still talking to the meter
    exchange();
}

void ToolbarHub::save() {
    AppState& s = m_panel.state();
    if (s.recordingToFile) {
        m_sampler->stopRecording();
        return;
    }
    chooseSaveFile(&m_panel, m_panel.dialogs(), s, m_panel.clock().now());
    if (!s.fileChosen)
        return;
    if (s.filesBeingSaved.contains(sameFileKey(s.recordFileName))) {
        // The save would replace the file under the recording, and every record with it.
        m_panel.dialogs().message(&m_panel, fileBeingSavedMessage(s.recordFileName),
                                  MessageIcon::Error);
        s.fileChosen = false;
        return;
    }
    if (m_recorder->start())
        m_panel.showWriteError({}); // the last recording's trouble is over
}

void ToolbarHub::open() {
    AppState& s = m_panel.state();
    if (s.recordingToFile) {
        m_panel.dialogs().message(&m_panel, recordingOpenMessage(), MessageIcon::Error);
        return;
    }
    const auto opening = m_opening.tryHold();
    if (!opening)
        return; // one file at a time

    const QString path = m_panel.dialogs().openFile(&m_panel, kOpenFilter);
    if (path.isEmpty())
        return;
    if (m_fileList)
        m_fileList->close();     // after its print, if one is running
    auto* list = new FileList(); // deletes itself on close
    track(m_fileList, list);
    connect(list, &ListWindow::toolbarClicked, this, [this, list, path](const QString& key) {
        if (key == QLatin1String("CSV")) {
            // The file keeps days only: the month and year of its last change are assumed.
            if (const auto busy = list->busy().tryHold())
                exportCsv(list, *list->table(), m_panel.dialogs(), QFileInfo(path).lastModified(),
                          true);
        } else if (key == QLatin1String("Plot")) {
            // Both ends start at the first value (an overload at 1000000); the column plot
            // widens the range to all values.
            const RecordTable& table = *list->table();
            const float first = firstValueRange(table, 2);
            m_graphs->plotColumn(table, 2, table.header(0), first, first,
                                 QFileInfo(path).lastModified());
        } else if (key == QLatin1String("Print")) {
            // The list stays until its print is done; a second print waits its turn.
            if (const auto busy = list->busy().tryHold())
                printGrid(list, *list->table(), m_panel.dialogs(), &m_panel.poll());
        }
    });
    list->placeBeside(&m_panel);
    list->show();
    const ReadReport report = readRecordFile(path, *list->table(), list, &m_panel.poll());
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
    } else if (report.otherUnitRows > 0 && m_fileList) {
        m_panel.dialogs().message(list,
                                  QStringLiteral("%1 row(s) of %2 are in no unit the lists know "
                                                 "and were left out.")
                                      .arg(report.otherUnitRows)
                                      .arg(QDir::toNativeSeparators(path)),
                                  MessageIcon::Warning);
    } else if (report.convertedRows > 0 && m_fileList) {
        m_panel.dialogs().message(
            list,
            QStringLiteral("%1 row(s) of %2 are in another unit than the "
                           "first and were converted to %3.")
                .arg(report.convertedRows)
                .arg(QDir::toNativeSeparators(path), list->table()->header(0)),
            MessageIcon::Warning);
    }
}

void ToolbarHub::escape() {
    const WaitingBar::Watch watch(m_panel.FrmWaiting, m_exchange);
    exchange::escape(m_panel.link());
}

void ToolbarHub::runSettingsWindow(QDialog& window, bool restRecordingTick) {
    if (restRecordingTick) {
        m_panel.Timer2->stop();
        m_sampler->tickRests(QStringLiteral("the SCF window"));
    }
    window.exec();
    if (restRecordingTick && m_panel.state().meterOnline && !quitRequested()) {
        m_sampler->tickResumes();
        m_panel.Timer2->start();
    }
}

void ToolbarHub::timeSet() {
    Setup window(m_panel.link(), m_panel.poll(), m_panel.state(), m_panel.clock(), &m_panel);
    runSettingsWindow(window, false);
}

void ToolbarHub::comparatorWindow() {
    const QByteArray reply = readStoredParameters();
    if (reply.isEmpty())
        return;
    if (m_comparator)
        m_comparator->close(); // reloaded every time
    auto* window = new Comparator(m_panel.link(), m_panel.poll(), &m_panel);
    track(m_comparator, window);
    window->show();
    window->fill(comparator::decode(reply));
}

void ToolbarHub::calibration() {
    {
        const auto hold = m_exchange.tryHold();
        if (!hold)
            return;
        const WaitingBar::Watch watch(m_panel.FrmWaiting, m_exchange);
        if (!m_panel.link().handshake())
            return;
    }
    Calibrationfrm window(m_panel.link(), m_panel.poll(), m_panel.dialogs(), &m_panel);
    QTimer::singleShot(0, &window, &Calibrationfrm::load);
    runSettingsWindow(window, false);
}

void ToolbarHub::scf() {
    {
        const auto hold = m_exchange.tryHold();
        if (!hold)
            return;
        const WaitingBar::Watch watch(m_panel.FrmWaiting, m_exchange);
        if (!m_panel.link().handshake())
            return;
    }
    SCF_frm window(m_panel.link(), m_panel.poll(), m_panel.state(), m_panel.dialogs(), &m_panel);
    connect(&window, &SCF_frm::overlayShown, m_panel.lcd(), &VirtualLcd::showOverlay);
    QTimer::singleShot(0, &window, &SCF_frm::load);
    runSettingsWindow(window, true);
}

void ToolbarHub::samplingRate() {
    SamplingChoice window(m_panel.link(), m_panel.poll(), m_panel.state(), m_panel.dialogs(),
                          &m_panel);
    runSettingsWindow(window, false);
}

void ToolbarHub::openList() {
    auto* list = new RealTimeList(m_panel.state().display.unitText); // deletes itself on close
    m_sampler->startList(list);
    m_liveList = list;
    connect(list, &BusyWindow::closed, this, [this, list] { m_sampler->sinkGone(list); });
    connect(list, &ListWindow::toolbarClicked, this, [this, list](const QString& key) {
        runListCommand(*list, *list->table(), key, m_panel.state(), m_panel.dialogs(),
                       &m_panel.poll());
    });
    list->placeBeside(&m_panel);
    list->show();
}

QByteArray ToolbarHub::readStoredParameters() {
    const WaitingBar::Watch watch(m_panel.FrmWaiting, m_exchange);
    if (!m_panel.state().meterOnline)
        return {};
    return exchange::readStoredParameters(m_panel.link());
}

void ToolbarHub::distance() {
    MeterLink& link = m_panel.link();
    const QByteArray reply = readStoredParameters();
    if (reply.isEmpty())
        return;
    const int stored = quint8(reply[1]) * 256 + quint8(reply[2]);
    // The meter is not needed while a person types: the display and a recording go on.
    auto typing = m_exchange.lendMeter();
    const auto v = entry::askValue(
        m_panel.dialogs(), &m_panel, entry::distancePrompt(m_panel.state().display.unitText),
        entry::kDistanceTitle, entry::distanceDefault(stored), &entry::distanceHundredths, &typing);
    if (!v || waitsAbandoned())
        return;
    if (typing.lost()) {
        m_panel.dialogs().message(&m_panel, entry::meterTakenMessage(), MessageIcon::Warning);
        return;
    }
    const WaitingBar::Watch watch(m_panel.FrmWaiting, m_exchange);
    // The display poll ran meanwhile: the setting is introduced by "H" again, as every
    // setting sequence is.
    if (link.enterSettings())
        exchange::setDistance(link, bytes({quint8(*v / 256), quint8(*v % 256)}));
}

void ToolbarHub::holdTime() {
    MeterLink& link = m_panel.link();
    {
        const WaitingBar::Watch watch(m_panel.FrmWaiting, m_exchange);
        if (!m_panel.state().meterOnline || !link.enterSettings())
            return;
    }
    auto typing = m_exchange.lendMeter();
    const auto t =
        entry::askValue(m_panel.dialogs(), &m_panel, entry::kHoldPrompt, entry::kHoldTitle,
                        QStringLiteral("00:00"), &entry::holdTime, &typing);
    if (!t || waitsAbandoned())
        return;
    if (typing.lost()) {
        m_panel.dialogs().message(&m_panel, entry::meterTakenMessage(), MessageIcon::Warning);
        return;
    }
    const WaitingBar::Watch watch(m_panel.FrmWaiting, m_exchange);
    if (link.enterSettings()) // again: the display poll ran while the time was typed
        exchange::setHoldTime(link, t->first, t->second);
}

void ToolbarHub::buttons() {
    if (!m_keypad)
        track(m_keypad, new Btn(m_panel.link(), m_panel.poll(), m_panel.state()));
    m_keypad->placeUnder(&m_panel);
    m_keypad->show();
    m_keypad->raise();
}

} // namespace lumetra
