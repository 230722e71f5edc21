// What a person types into the entry boxes, and the short setting replies the meter sends.
#include "model/columnplot.h"
#include "model/entry.h"
#include "model/numbers.h"
#include "model/settingblocks.h"

#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString text = QString::fromUtf8(bytes);
    using namespace lumetra;
    (void)entry::distanceHundredths(text);
    (void)entry::holdTime(text);
    (void)entry::meterInterval(text);
    (void)entry::pcInterval(text);
    (void)leadingNumber(text);
    (void)plotValue(text);
    if (const auto factor = leadingNumber(text); factor >= 0.2 && factor <= 5.0)
        (void)scf::block(int(bytes.size() % 20), factor);
    if (const auto factor = leadingNumber(text); factor >= 0.8 && factor <= 1.5)
        (void)calibration::block(factor);
    (void)comparator::block(text.left(2), int(bytes.size() % 7), text, text.mid(2));
    (void)scf::decode(bytes);
    (void)calibration::factorText(bytes);
    if (bytes.size() >= 9)
        (void)comparator::decode(bytes);
    return 0;
}
