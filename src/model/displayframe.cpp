#include "displayframe.h"

#include "model/numbers.h"

namespace lumetra {
namespace {

// Two display characters from one byte: upper-case hexadecimal digits, "A" shown as blank
// where the blank rule applies.
QString digitPair(quint8 byte, bool blankRule) {
    QString pair = hex2(byte);
    if (blankRule)
        pair.replace(QLatin1Char('A'), QLatin1Char(' '));
    return pair;
}

} // namespace

void decodeFlagByte(int frameByte, quint8 value, DisplayState& state) {
    const int row = frameByte - 8;
    Q_ASSERT(row >= 0 && row < kFlagBytes);
    unsigned v = value;
    for (int bit = 0; bit < 8; ++bit) {
        state.flags[size_t(row * 8 + bit)] = (v % 2) != 0;
        v /= 2;
    }
    if (frameByte == 9) {
        if (state.flag(Flag::Fc))
            state.unitText = QStringLiteral("Fc");
        else if (state.flag(Flag::Lx))
            state.unitText = QStringLiteral("Lx");
        else
            state.unitText.clear();
    } else if (frameByte == 12) {
        if (state.flag(Flag::Comma)) {
            state.mainScale = 1.0f;
            state.mainDecimals = 0;
        } else if (state.flag(Flag::MainPoint1)) {
            state.mainScale = 0.001f;
            state.mainDecimals = 3;
        } else if (state.flag(Flag::MainPoint2)) {
            state.mainScale = 0.01f;
            state.mainDecimals = 2;
        } else if (state.flag(Flag::MainPoint3)) {
            state.mainScale = 0.1f;
            state.mainDecimals = 1;
        } else {
            state.mainScale = 1.0f;
            state.mainDecimals = 0;
        }
    }
}

bool frameIsWellFormed(const QByteArray& buffer) {
    return buffer.size() >= kFrameSize && quint8(buffer.at(0)) == 0x02 &&
           quint8(buffer.at(kFrameSize - 1)) == 0x03;
}

FrameKind decodeFrame(const QByteArray& frame, DisplayState& state) {
    const auto byte = [&](int pos) { return quint8(frame.at(pos - 1)); };
    for (int n = 8; n <= 13; ++n)
        decodeFlagByte(n, byte(n), state);
    if (state.flag(Flag::SetUp))
        return FrameKind::SetUp;
    if (state.flag(Flag::Clear))
        return FrameKind::Clear;

    state.memoryDigits = digitPair(byte(2), true);
    const bool overload = byte(4) == 0xFF;
    state.mainDigits = digitPair(byte(3), true) +
                       (overload ? QStringLiteral("OL") : digitPair(byte(4), true)) +
                       digitPair(byte(5), true);
    state.mainDigitsText = state.mainDigits;
    state.mainDigitsText.remove(QLatin1Char(' '));

    if (overload) {
        state.readingValue = state.unitText == QLatin1String("Lx") ? 1000000.0f : 100000.0f;
        state.readingText = QStringLiteral("OL");
    } else {
        const QString& digits = state.mainDigitsText;
        if (digits.size() < state.mainDecimals)
            return FrameKind::Error; // cannot place the decimal point
        const double number = digits.isEmpty() ? 0.0 : leadingNumber(digits);
        state.readingValue = float(number * double(state.mainScale));
        if (state.mainDecimals == 0)
            state.readingText = digits;
        else
            state.readingText = digits.left(digits.size() - state.mainDecimals) + QLatin1Char('.') +
                                digits.right(state.mainDecimals);
    }
    state.smallDigits = digitPair(byte(6), false) + digitPair(byte(7), false);
    return FrameKind::Normal;
}

} // namespace lumetra
