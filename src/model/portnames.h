#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace lumetra {

// What the Port window hands to the main window: a numbered port "COM  n" (number 1..16), or
// a device path typed or found by the scan (number 0), or nothing.
struct PortChoice {
    quint16 number = 0;
    QString device; // the device to open; empty when nothing usable was chosen

    bool isValid() const { return !device.isEmpty(); }
    // "COM3" for numbered ports, the device's short name ("ttyUSB0", "pts/4") otherwise.
    QString label() const;
};

namespace portnames {

constexpr int kPortCount = 16;

// Turns a port number into the device to open.
using DeviceMap = std::function<QString(int)>;

// "COM  n" with two blanks.
QString listName(int number);
// All sixteen list names in order.
QStringList allListNames();
// The device behind port number n on this platform: "COMn" or "/dev/ttyS<n-1>".
QString deviceForNumber(int number);
// Applies the OK rule: "Auto" is port 1, an exact list name is its number, a device path
// is taken as it is; anything else leaves previous (usually nothing).
PortChoice choose(const QString& text, const PortChoice& previous = {},
                  const DeviceMap& devices = deviceForNumber);

} // namespace portnames
} // namespace lumetra
