#pragma once

#include "link/displaypoll.h"
#include "model/settingblocks.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace lumetra {

class MeterLink;

// The meter's setting exchanges, each a named sequence over the command table: windows only
// ask and show, and a program without a display can run them too. Each returns empty (or
// false) only when its work was abandoned or the program is quitting.
namespace exchange {

// "H", then the 9-byte reply to "Z": the distance for luminous intensity and the comparator.
QByteArray readStoredParameters(MeterLink& link);
// The 8-byte reply to "Y": the meter's clock and its logging interval.
QByteArray readClockAndInterval(MeterLink& link);
// "H", then "T" with the 4 clock bytes.
bool setClock(MeterLink& link, const QByteArray& clock);
// "H", then "W" with the 2 interval bytes.
bool setLoggingInterval(MeterLink& link, const QByteArray& interval);
// "I" with the 2 distance bytes, as stored by the meter.
bool setDistance(MeterLink& link, const QByteArray& distance);
// Handshake and "h", read until a well-formed reply comes (asked again after two reads
// without one): the calibration factor as "0.000".
std::optional<QString> readCalibrationFactor(MeterLink& link);
// "a" until two reads in a row give the same reply: the SCF entry and factor. Up to 1000
// tries; nothing when the meter never answers well.
std::optional<scf::Reading> readScf(MeterLink& link);
// "H", "V" with the 5-byte comparator block, then handshake and "X" (the Comp key) so the
// meter shows the comparator with its new limits.
bool setComparator(MeterLink& link, const QByteArray& block);
// Handshake and "j": the meter takes its initial calibration factor again.
bool restoreCalibration(MeterLink& link);
// "Q" (the reply, the memory dump, is for the caller to receive).
bool askForMemoryDump(MeterLink& link);
// Handshake, then "E": the meter erases its data logger.
bool eraseMemory(MeterLink& link);
// "i" with the calibration factor's block (0.8 to 1.5).
bool setCalibrationFactor(MeterLink& link, double factor);
// "c" with the SCF entry (0-based) and its factor (0.2 to 5.0).
bool setScf(MeterLink& link, int entry, double factor);
// "e": the meter takes its initial SCF again.
bool restoreScf(MeterLink& link);
// "S" with the hold time's minutes and seconds, as BCD.
bool setHoldTime(MeterLink& link, int minutes, int seconds);
// Handshake, then the key's letter, as the remote keypad presses it.
bool pressKey(MeterLink& link, char letter);
// Handshake, "O" (the power key), then wait until the meter answers again.
bool pressPowerKey(MeterLink& link);
// Handshake, then "H": the meter leaves what it shows (the ESC command).
bool escape(MeterLink& link);

// One display frame for a window that watches the display while the poll rests (the SCF
// window waits for SET UP): the stream is started again ("M") when someone has handshaken
// since `handshakesSeen`, then a frame is read; a silent meter is waited for, and the stream
// taken up afresh once it is back.
FrameRead watchDisplay(MeterLink& link, quint64& handshakesSeen, QByteArray& frame);

} // namespace exchange
} // namespace lumetra
