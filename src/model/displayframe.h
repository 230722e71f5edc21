#pragma once

#include "model/displaystate.h"

#include <QByteArray>

namespace lumetra {

inline constexpr int kFrameSize = 14;

// Frame byte n (8..13) sets the eight flags of its row; byte 9 also sets the unit, byte 12
// the main scale and decimals (it reads Comma, so byte 10 must come first).
void decodeFlagByte(int frameByte, quint8 value, DisplayState& state);

enum class FrameKind { Normal, SetUp, Clear, Error };

// Decodes a checked 14-byte frame into state: the flags always, then (unless the frame is a
// SET UP or CLEAR screen) the digits and the reading. Error means the digits could not be
// turned into a reading; what was decoded up to that point stays, the reading keeps its
// old value.
FrameKind decodeFrame(const QByteArray& frame, DisplayState& state);

// Start and end bytes in place.
bool frameIsWellFormed(const QByteArray& buffer);

} // namespace lumetra
