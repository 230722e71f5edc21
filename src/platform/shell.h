#pragma once

namespace lumetra {

// Opens the operating system's own view of the serial devices (the device manager console on
// Windows). false where the system has none; the caller then shows its own list. Never builds
// a command from user text.
bool openDeviceManager();

} // namespace lumetra
