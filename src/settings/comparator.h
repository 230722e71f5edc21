#pragma once

#include <QWidget>

#include <array>

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QPushButton;
class QRadioButton;

namespace lumetra {

class Panel;

namespace comparator {

// The comparator as the meter holds it: unit, decimal position flags and two limits.
struct Setting {
    bool lux = true;
    std::array<bool, 5> decimalFlags{}; // decimal code bits 0..4 (codes 1, 2, 4, 8, 16)
    QString high;                       // four digits, leading zeros kept
    QString low;
};

// From the 9-byte reply to "Z" (02 .. flags high high low low 03).
Setting decode(const QByteArray& reply);
// The 5-byte block for "V". unitText other than exactly "Lx" counts as "Fc"; position is the
// selected decimal option (1..6, 0 for none); the limits are the joined digit texts.
QByteArray block(const QString& unitText, int position, const QString& high, const QString& low);

} // namespace comparator

// "Comparator": the meter's HIGH and LOW limits with their decimal point and unit.
class Comparator : public QWidget {
    Q_OBJECT
public:
    explicit Comparator(Panel& panel, QWidget* parent = nullptr);

    QComboBox* TxtUnit = nullptr;
    QPushButton* CmdUpdate = nullptr;
    QGroupBox* SSFrame1 = nullptr;
    QGroupBox* SSFrame2 = nullptr;
    std::array<QComboBox*, 7> HighO{}; // 1..6 used
    std::array<QComboBox*, 7> LowO{};
    std::array<QRadioButton*, 7> HODec{};
    std::array<QRadioButton*, 7> LODec{};

    // Shows a setting read from the meter.
    void fill(const comparator::Setting& setting);
    // The selected decimal position (1..6), 0 for none.
    int position() const;
    void update();
    void decimalClicked(int k, bool high);
    void unitChosen(const QString& unit);

private:
    void setOption(int k, bool on);

    Panel& m_panel;
    QButtonGroup* m_highGroup = nullptr;
    QButtonGroup* m_lowGroup = nullptr;
    bool m_busy = false;
};

} // namespace lumetra
