#pragma once

#include "widgets/busy.h"

class QPushButton;

namespace lumetra {

class MeterLink;
class PollTimer;
struct AppState;

// "Control Panel": the meter's front keys on screen. Each key sends its letter; the LCD shows
// the effect at the next frame. Keys other than Time, Enter and Pwr are refused while the
// meter logs into its own memory.
class Btn : public BusyWindow {
    Q_OBJECT
public:
    struct Key {
        const char* name;    // control name
        const char* caption; // empty: a picture
        const char* tip;
        char letter; // 0: no letter of its own
        bool refusedWhileLogging;
    };
    static const Key kKeys[15];

    Btn(MeterLink& link, PollTimer& poll, const AppState& state);

    QPushButton* key(const QString& name) const;
    // Directly under the main window, centred on it.
    void placeUnder(const QWidget* main);

private:
    void press(const Key& key);
    void ordinaryKey(char letter);
    void powerKey(BusyRule::Hold& hold);
    void cdKey();

    MeterLink& m_link;
    const AppState& m_state;
};

} // namespace lumetra
