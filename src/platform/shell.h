#pragma once

class QWidget;

namespace lumetra {

// Opens the operating system's view of the serial devices: the device manager console on
// Windows, our own list of serial devices elsewhere. Never builds a command from user text.
void openDeviceManager(QWidget* owner);

} // namespace lumetra
