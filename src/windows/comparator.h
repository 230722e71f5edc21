#pragma once

#include "model/settingblocks.h"
#include "widgets/busy.h"

#include <array>

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace lumetra {

class MeterLink;
class PollTimer;

// "Comparator": the meter's HIGH and LOW limits with their decimal point and unit.
class Comparator : public BusyWindow {
    Q_OBJECT
public:
    // Placed beside anchor (the main window).
    Comparator(MeterLink& link, PollTimer& poll, const QWidget* anchor);

    QComboBox* TxtUnit = nullptr;
    QPushButton* CmdUpdate = nullptr;
    QGroupBox* SSFrame1 = nullptr;
    QGroupBox* SSFrame2 = nullptr;
    std::array<QComboBox*, 7> HighO{}; // 1..6 used
    std::array<QComboBox*, 7> LowO{};
    std::array<QRadioButton*, 7> HODec{};
    std::array<QRadioButton*, 7> LODec{};
    QLabel* LblLimits = nullptr;

    // Shows a setting read from the meter.
    void fill(const comparator::Setting& setting);
    // The selected decimal position (1..6), 0 for none.
    int position() const;
    void update();
    void decimalClicked(int k, bool high);
    void unitChosen(const QString& unit);

private:
    void setOption(int k, bool on);
    // The limits as numbers with their unit, as they stand in the boxes.
    void showLimits();
    QString limitText(const std::array<QComboBox*, 7>& digits, int position) const;

    MeterLink& m_link;
    QButtonGroup* m_highGroup = nullptr;
    QButtonGroup* m_lowGroup = nullptr;
};

} // namespace lumetra
