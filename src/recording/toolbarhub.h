#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

namespace lumetra {

class FileList;
class Panel;
class Recorder;

// The main toolbar's commands: checks each one's precondition against the meter's display
// and the recording state, sends the short meter commands itself and opens the windows.
class ToolbarHub : public QObject {
    Q_OBJECT
public:
    explicit ToolbarHub(Panel& panel, QObject* parent = nullptr);
    ~ToolbarHub() override;

    void click(const QString& key);

    Recorder& recorder() { return *m_recorder; }
    FileList* fileList() const;

    static QString recordingOpenMessage() {
        return QStringLiteral("Recording Mode!\n\rPlease stop recording!");
    }
    static QString loggingMessage() {
        return QStringLiteral("Recording mode, stop record then try again !");
    }

private:
    void save();
    void open();
    void escape();
    void timeSet();

    Panel& m_panel;
    Recorder* m_recorder = nullptr;
    QPointer<FileList> m_fileList;
    bool m_opening = false;
};

} // namespace lumetra
