#pragma once

#include "model/displaystate.h"

#include <QElapsedTimer>
#include <QHash>
#include <QLabel>
#include <QTime>
#include <QTimer>
#include <QWidget>

#include <array>

namespace lumetra {

// One seven-segment character cell of the LCD: the unlit "8" shows faintly behind the
// character, as on a real liquid-crystal display.
class LcdDigit : public QLabel {
    Q_OBJECT
public:
    explicit LcdDigit(QWidget* parent = nullptr);
    // Sets the characters shown; the same characters again cost nothing.
    void setDigits(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The meter's LCD: every digit, point, unit and legend at its place, shown or hidden from
// the decoded display. Positions are the design positions in twips.
class VirtualLcd : public QWidget {
    Q_OBJECT
public:
    explicit VirtualLcd(QWidget* parent = nullptr);

    // A normal frame: digits, legends and units.
    void showFrame(const DisplayState& state);
    // The SET UP / CLEAR screen over the digits; everything else keeps its state.
    void showOverlay(const QString& caption);
    // The link's status: while it is "No COM", that is what the display says to a screen reader.
    void showLinkStatus(const QString& status);
    // What a screen reader hears: the reading as a person would say it.
    QString spokenReading() const { return m_spoken; }

    // The element driven by a flag (nullptr for flags without one of their own).
    QWidget* elementForFlag(Flag flag) const;
    QWidget* element(const QString& name) const { return m_elements.value(name); }

    std::array<LcdDigit*, 6> MainDigit{};
    std::array<LcdDigit*, 4> TimeDigit{};
    LcdDigit* MemoryDigit = nullptr;
    QWidget* ShapeSetUp = nullptr;
    QLabel* LblSetUp = nullptr;
    QLabel* LblNoLink = nullptr; // "no link since 07:41:12" over a reading that is old

signals:
    // The reading a screen reader hears changed and was announced (at most 4 times a second).
    void readingAnnounced(const QString& text);

public:
    static constexpr int kOriginLeft = 60; // twips of the form that the LCD face starts at
    static constexpr int kOriginTop = 600;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Placed {
        QWidget* widget;
        int left, top, width, height; // twips; width 0: sized to its text
    };
    QLabel* addLegend(const QString& name, const QString& caption, int left, int top, int width = 0,
                      int height = 0, bool inverse = false);
    void place(const Placed& p);
    void layoutElements();

    void setSpoken(const QString& text);
    // The reading on show is old (the link is lost), or live again.
    void showStale(bool stale);
    void announce();

    QHash<QString, QWidget*> m_elements;
    DisplayState m_display;
    QString m_linkStatus = QStringLiteral("No COM");
    bool m_framesShown = false; // a reading was ever shown
    QTime m_lastFrameAt;        // when the last frame came, for "no link since"
    QString m_spoken = QStringLiteral("No COM");
    QTimer m_announce;
    QElapsedTimer m_sinceAnnounce;
    QList<Placed> m_placed;
    std::array<QWidget*, kFlagSlots> m_byFlag{};
};

} // namespace lumetra
