#pragma once

#include <QByteArray>
#include <QString>

#include <array>

namespace lumetra {

// The 46 annunciators of the meter's display frame, in frame order: byte 8 bit 0 first.
// Positions 44 and 47 (byte 13 bits 4 and 7) are unused.
// clang-format off
enum class Flag : int {
    Rel, Comp, Cal, Zero, UpperAvg, Hold, Ref, UpperPercent,      // byte 8
    Fch, Lxh, Cd, Fc, Lx, Light, SmallPlus, Stray,                // byte 9
    Comma, Battery, BigPlus, Minus, Auto, Cycle, Read, LowerAvg,  // byte 10
    No, Start, Intv, Stop, DayHour, MinSec, TimeHold, LowerPercent, // byte 11
    Feet, Metre, MainPoint1, MainPoint2, MainPoint3, SubPoint1, SubPoint2, SubPoint3, // byte 12
    DateDot, TimeDot, Mem, SetUp, Unused13_4, Clear, Scf, Unused13_7, // byte 13
};
// clang-format on

inline constexpr int kFlagBytes = 6; // frame bytes 8..13
inline constexpr int kFlagSlots = 8 * kFlagBytes;

// Names of the flags in frame order; empty for the two unused bits.
extern const std::array<const char*, kFlagSlots> kFlagNames;
// The flag with this name, or -1.
int flagIndex(const QString& name);

// The decoded meter display, shared by every window.
struct DisplayState {
    std::array<bool, kFlagSlots> flags{};
    QString unitText; // "Lx", "Fc" or empty
    float mainScale = 1.0f;
    int mainDecimals = 0;
    QString memoryDigits = QStringLiteral("  ");   // two characters, blank for 0xA
    QString mainDigits = QStringLiteral("      "); // six characters, blank for 0xA
    QString smallDigits = QStringLiteral("    ");
    QString mainDigitsText; // the main digits, blanks left out
    float readingValue = 0.0f;
    QString readingText;
    bool linkAlive = false;

    bool flag(Flag f) const { return flags[size_t(f)]; }
    void setFlag(Flag f, bool on) { flags[size_t(f)] = on; }

    // Rel, Ref, upper %, cd, fc-h, lx-h or SET UP lit.
    bool measuringModeActive() const;
    // No measuring mode and no comparator.
    bool free() const { return !measuringModeActive() && !flag(Flag::Comp); }
    // Why a series of plain readings in unit ends here, in words ("the meter changed to
    // foot-candles", "the meter went to relative (REL) mode", "the link to the meter was
    // lost"); empty while it may go on.
    QString leftPlainReading(const QString& unit) const;
};

} // namespace lumetra
