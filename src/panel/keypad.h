#pragma once

#include <QWidget>

class QPushButton;

namespace lumetra {

class Panel;

// "Control Panel": the meter's front keys on screen. Each key sends its letter; the LCD shows
// the effect at the next frame. Keys other than Time, Enter and Pwr are refused while the
// meter logs into its own memory.
class Btn : public QWidget {
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

    explicit Btn(Panel& panel, QWidget* parent = nullptr);

    QPushButton* key(const QString& name) const;
    // Directly under the main window, centred on it.
    void placeUnder(const QWidget* main);
    bool busy() const { return m_busy; }

private:
    void press(const Key& key);
    void ordinaryKey(char letter);
    void powerKey();
    void cdKey();

    Panel& m_panel;
    bool m_busy = false;
};

} // namespace lumetra
