#pragma once

#include "link/meterlink.h"
#include "virtualmeter/virtualmeter.h"

#include <QByteArray>

#include <functional>
#include <memory>

// What the tests of the meter session need: QtCore and QtSerialPort only, no widgets.
namespace lumetra::test {

// A virtual meter on a pseudo-terminal, unpaced and steady, with the program's own link
// opened on the other side.
struct MeterFixture {
    MeterFixture();
    ~MeterFixture();

    std::unique_ptr<sim::VirtualMeter> meter;
    std::unique_ptr<MeterLink> link;

    QString device() const { return meter->devicePath(); }
    // Letters the meter received, in order (payload bytes included).
    QByteArray received() const { return meter->receivedBytes(); }
};

// Runs the event loop until pred holds or the time is up; returns pred().
bool waitFor(const std::function<bool()>& pred, int timeoutMs = 5000);

// A 14-byte display frame from its twelve inner bytes (bytes 2..13), written as hex.
QByteArray frame(const char* innerHex);

} // namespace lumetra::test
