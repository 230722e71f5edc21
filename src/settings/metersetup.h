#pragma once

#include <QDialog>

class QGroupBox;
class QLabel;
class QPushButton;
class QTimer;

namespace lumetra {

class Panel;

// The meter clock window (borderless): shows the meter's and the PC's clock on request and
// sets the meter's clock to the PC's time. The display poll stays stopped while it is open.
class Setup : public QDialog {
    Q_OBJECT
public:
    explicit Setup(Panel& panel, QWidget* parent = nullptr);

    QGroupBox* FrameTime = nullptr;
    QLabel* LblMeterTime = nullptr;
    QLabel* LblPCTime = nullptr;
    QPushButton* CmdSetTime = nullptr;
    QPushButton* CmdExit = nullptr;
    QTimer* Timer1 = nullptr;

    void tick();
    void setTime();
    bool showMeterTime() const { return m_showMeterTime; }
    bool showPcTime() const { return m_showPcTime; }

    // The four clock bytes for a PC time: day, hour, minute, second in packed BCD.
    static QByteArray clockBytes(const QDateTime& when);
    // "DD hh:mm:ss" from a "Y" reply (bytes 2 to 5).
    static QString meterTimeText(const QByteArray& reply);

protected:
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Panel& m_panel;
    bool m_showMeterTime = false;
    bool m_showPcTime = false;
    bool m_inTick = false;
    bool m_busy = false;
};

} // namespace lumetra
