// The display frame decoder: any bytes, in any state the display was left in.
#include "model/displayframe.h"
#include "model/spokenreading.h"

#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    lumetra::DisplayState state;
    // Frame after frame into one state, as the poll does.
    for (qsizetype at = 0; at + lumetra::kFrameSize <= bytes.size(); at += lumetra::kFrameSize) {
        const QByteArray frame = bytes.mid(at, lumetra::kFrameSize);
        if (lumetra::frameIsWellFormed(frame) || (at / lumetra::kFrameSize) % 2 == 1)
            lumetra::decodeFrame(frame, state);
        (void)lumetra::spokenReading(state, {}, {});
    }
    for (qsizetype i = 0; i < bytes.size(); ++i)
        lumetra::decodeFlagByte(8 + int(i % 6), quint8(bytes[i]), state);
    return 0;
}
