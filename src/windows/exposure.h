#pragma once

#include <QWidget>

#include <optional>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace lumetra {

class DisplayPoll;
struct AppState;

// The exposure readout for photographers and camera crews: it follows the live reading and
// shows the exposure value at ISO 100 and the f-number for an ISO and a shutter time (or a
// frame rate and shutter angle). Foot-candles are converted to lux first.
class Exposure : public QWidget {
    Q_OBJECT
public:
    Exposure(const AppState& state, DisplayPoll& poll, QWidget* parent);

    QLabel* LblReading = nullptr;
    QLabel* LblEv = nullptr;
    QComboBox* CboIso = nullptr;
    QRadioButton* OptStill = nullptr;
    QComboBox* CboShutter = nullptr;
    QRadioButton* OptCine = nullptr;
    QDoubleSpinBox* SpnFrameRate = nullptr;
    QDoubleSpinBox* SpnAngle = nullptr;
    QLabel* LblFNumber = nullptr;
    QPushButton* BtnReference = nullptr;
    QLabel* LblStops = nullptr;

    // The reading now becomes the one the next readings are compared with, in stops.
    void keepReference();

    // The reading in lux, when the meter shows a plain one.
    std::optional<double> lux() const;

private:
    void refresh();

    const AppState& m_state;
    std::optional<double> m_reference; // lux
};

} // namespace lumetra
