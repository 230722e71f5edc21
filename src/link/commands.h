#pragma once

#include <QtGlobal>

#include <array>

namespace lumetra {

// Every letter the program sends to the meter, with its timing and sizes. Senders look
// their letter up here instead of repeating the numbers.
struct MeterCommand {
    char letter;
    double waitBefore;  // pause before the letter (s)
    double waitAfter;   // pause after the letter (s)
    int payloadSize;    // raw bytes that follow the letter
    double waitPayload; // pause after the payload (s)
    int replySize;      // bytes of a full reply; 0 for none, -1 for a variable reply
};

inline constexpr std::array<MeterCommand, 30> kMeterCommands{{
    {'A', 0, 0.02, 0, 0, 6},   // acknowledge with memory pointer
    {'M', 0, 0, 0, 0, 14},     // start the display stream (14-byte frames, repeated)
    {'B', 0, 0, 0, 0, 0},      // key Time
    {'C', 0, 0, 0, 0, 0},      // key H
    {'D', 0, 0, 0, 0, 0},      // key AVG
    {'F', 0, 0, 0, 0, 0},      // key Lx/Fc
    {'G', 0, 0, 0, 0, 0},      // key %
    {'H', 0, 0.2, 0, 0, 0},    // Enter: back to normal mode; prefix of setting sequences
    {'J', 0, 0, 0, 0, 0},      // key m (manual record)
    {'K', 0, 0, 0, 0, 0},      // key Up
    {'L', 0, 0, 0, 0, 0},      // key READ
    {'N', 0, 0, 0, 0, 0},      // key Down
    {'O', 0, 0, 0, 0, 0},      // key Power
    {'P', 0, 0, 0, 0, 0},      // key M (automatic record)
    {'X', 0, 0, 0, 0, 0},      // key Comp
    {'Z', 0, 0.05, 0, 0, 9},   // read stored parameters (distance, comparator)
    {'I', 0, 0.05, 2, 0, 0},   // set the CD distance
    {'S', 0, 0.05, 2, 0, 0},   // set the hold time
    {'Q', 0, 0.2, 0, 0, -1},   // download the data-logger memory
    {'E', 0.02, 0, 0, 0, 0},   // erase the data-logger memory
    {'T', 0, 0.05, 4, 0, 0},   // set the meter clock
    {'Y', 0, 0.02, 0, 0, 8},   // read clock and logging interval
    {'W', 0, 0.05, 2, 0, 0},   // set the logging interval
    {'V', 0, 0.05, 5, 0.2, 0}, // set the comparator limits
    {'j', 0, 0, 0, 0, 0},      // restore the initial calibration factor
    {'h', 0.1, 0.1, 0, 0, 4},  // read the calibration factor
    {'i', 0, 0.05, 2, 0.2, 0}, // set the calibration factor
    {'a', 0, 0.02, 0, 0, 4},   // read the SCF (4 bytes or more)
    {'e', 0, 0.5, 0, 0, 0},    // restore the initial SCF
    {'c', 0, 0.05, 3, 0.2, 0}, // set the SCF
}};

// nullptr for a letter the program never sends.
constexpr const MeterCommand* findMeterCommand(char letter) {
    for (const auto& c : kMeterCommands) {
        if (c.letter == letter)
            return &c;
    }
    return nullptr;
}

} // namespace lumetra
