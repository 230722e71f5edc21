#pragma once

#include "widgets/busy.h"

class QLineEdit;
class QPushButton;

namespace lumetra {

class Dialogs;
class MeterLink;
class PollTimer;

// "Calibration": reads the meter's calibration factor, writes a new one (0.800 to 1.500),
// or returns it to the meter's initial value. Closing it ends any wait for the meter.
class Calibrationfrm : public BusyDialog {
    Q_OBJECT
public:
    // Centred on parent (the main window).
    Calibrationfrm(MeterLink& link, PollTimer& poll, Dialogs& dialogs, QWidget* parent);

    QLineEdit* TxtCalValue = nullptr;
    QPushButton* BtnSet = nullptr;
    QPushButton* BtnInitial = nullptr;
    QPushButton* BtnCancel = nullptr;

    // The window's load: discard what is waiting, read the factor and show it.
    void load();
    void set();
    void initial();

    static QString rangeMessage() {
        return QStringLiteral("Calibration Range: 0.800 ~ 1.500 !!!!");
    }

private:
    bool readFactor();
    void setButtonsEnabled(bool enabled);

    MeterLink& m_link;
    Dialogs& m_dialogs;
};

} // namespace lumetra
