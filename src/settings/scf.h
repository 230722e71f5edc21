#pragma once

#include <QDialog>

#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace lumetra {

class Panel;

// The SCF window (borderless): the meter's SCF factor (0.200 to 5.000) and its entry L0..U9.
// While it is open the main poll and recording tick are stopped and the window watches the
// display stream itself; it closes when the meter shows SET UP or CLEAR.
class SCF_frm : public QDialog {
    Q_OBJECT
public:
    explicit SCF_frm(Panel& panel, QWidget* parent = nullptr);

    QLineEdit* SCFRange_Edit = nullptr;
    QComboBox* SCFCNT_Cbx = nullptr;
    QPushButton* SetSCF_btn = nullptr;
    QPushButton* SCF_init_btn = nullptr;
    QPushButton* Cancel_btn = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QTimer* Timer1 = nullptr;

    void load();
    void set();
    void initial();
    void watch();
    bool ready() const { return m_ready; }

    static QString rangeMessage() { return QStringLiteral("SCF Range Error : 0.200 ~ 5.000"); }
    // The 3-byte block for an entry and a factor.
    static QByteArray block(int entry, double factor);

protected:
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Panel& m_panel;
    bool m_ready = false;
    bool m_busy = false;
    bool m_inWatch = false;
};

} // namespace lumetra
