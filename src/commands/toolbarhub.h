#pragma once

#include "widgets/busy.h"
#include "windows/panel.h"

#include <QDir>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

namespace lumetra {

class Btn;
class Comparator;
class FileList;
class FrmEmergency;
class FrmSurvey;
class GraphCommands;
class MemoryCommands;
class RealTimeList;
class Recorder;
class Sampler;

// The main toolbar's commands: checks each one's precondition against the meter's display
// and the recording state, sends the short meter commands itself and opens the windows.
class ToolbarHub : public QObject {
    Q_OBJECT
public:
    explicit ToolbarHub(Panel& panel, QObject* parent = nullptr);
    ~ToolbarHub() override;

    // A toolbar command: its button and what it does.
    struct Command {
        Panel::ToolbarButton button;
        void (ToolbarHub::*run)();
    };
    // The toolbar, left to right: adding a command is adding its row.
    static const QList<Command>& commands();

    // Runs the command of this key (nothing for an unknown key).
    void click(const QString& key);
    // Another port chosen from the main window: a recording stops (and says why), the old
    // port closes and the new one opens. Refused, and said, while an exchange has the meter.
    // True when the new port is open.
    bool changePort(const PortChoice& choice);

    Recorder& recorder() { return *m_recorder; }
    Sampler& sampler() { return *m_sampler; }
    MemoryCommands& memory() { return *m_memory; }
    GraphCommands& graphs() { return *m_graphs; }
    FileList* fileList() const;
    RealTimeList* realTimeList() const;
    Btn* keypad() const;
    Comparator* comparatorWindowOpen() const;
    FrmSurvey* surveyWindow() const;
    FrmEmergency* emergencyWindow() const;

    static QString recordingOpenMessage() {
        return QStringLiteral("Recording Mode!\n\rPlease stop recording!");
    }
    static QString fileBeingSavedMessage(const QString& path) {
        return QStringLiteral("Recording could not start: a list is being saved to %1 and "
                              "would replace it. Choose another file, or wait for the save.")
            .arg(QDir::toNativeSeparators(path));
    }
    static QString loggingMessage() {
        return QStringLiteral("Recording mode, stop record then try again !");
    }

private:
    // The commands as the toolbar runs them: each checks its precondition first.
    bool meterFree() const;
    bool meterLogging() const;
    void saveKey();
    void escapeKey();
    void timeSetKey();
    void memoryKey();
    void comparatorKey();
    void calibrationKey();
    void scfKey();
    void graphKey();
    void samplingRateKey();
    void listKey();
    void distanceKey();
    void holdKey();
    // Runs a meter exchange unless another exchange has the meter.
    void guarded(const std::function<void()>& exchange);
    void save();
    void open();
    void escape();
    void timeSet();
    void calibration();
    void comparatorWindow();
    void scf();
    void samplingRate();
    void openList();
    // "H", then the 9-byte reply to "Z" (distance and comparator); empty when given up.
    QByteArray readStoredParameters();
    // A modal settings window, with the recording tick resting while it is open (the SCF
    // window, which watches the stream itself).
    void runSettingsWindow(QDialog& window, bool restRecordingTick);
    void distance();
    void holdTime();
    void buttons();
    void survey();
    void emergencyTest();

    // Remembers a window of its kind until it closes.
    template <typename W> void track(QPointer<W>& slot, W* window);

    Panel& m_panel;
    Recorder* m_recorder = nullptr;
    Sampler* m_sampler = nullptr;
    MemoryCommands* m_memory = nullptr;
    GraphCommands* m_graphs = nullptr;
    BusyRule m_exchange; // the toolbar's own short exchanges with the meter
    BusyRule m_opening;  // reading a record file into the file list
    QPointer<FileList> m_fileList;
    QPointer<RealTimeList> m_liveList; // the newest live list
    QPointer<Btn> m_keypad;
    QPointer<Comparator> m_comparator;
    QPointer<FrmSurvey> m_survey;
    QPointer<FrmEmergency> m_emergency;
};

} // namespace lumetra
