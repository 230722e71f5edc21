#include "replyfinder.h"

#include "model/displayframe.h"

#include <QList>

namespace lumetra {
namespace replyshape {

ReplyShape acknowledge() {
    return {6, [](const QByteArray& r) { return quint8(r[1]) == 0xAA && quint8(r[5]) == 0x03; }};
}

ReplyShape framed(int size) {
    return {size, [](const QByteArray& r) { return quint8(r.back()) == 0x03; }};
}

ReplyShape scf() {
    return {4, [](const QByteArray& r) { return quint8(r[1]) <= 19; }};
}

} // namespace replyshape

namespace {

bool frameAt(const QByteArray& bytes, qsizetype at) {
    return at + kFrameSize <= bytes.size() && frameIsWellFormed(bytes.mid(at, kFrameSize));
}

} // namespace

ReplySearch findReply(const QByteArray& bytes, const ReplyShape& shape) {
    const qsizetype n = bytes.size();
    // Where a reply or a whole frame may start: at the first byte, or just after the end
    // byte of a frame that was already on its way when the read began; and after every
    // whole frame that follows from there.
    QList<bool> start(n + 1, false);
    start[0] = true;
    for (qsizetype t = 1; t < kFrameSize && t <= n; ++t)
        start[t] = quint8(bytes[t - 1]) == 0x03;
    QList<bool> insideFrame(n + 1, false);
    for (qsizetype p = 0; p < n; ++p) {
        if (!start[p] || !frameAt(bytes, p))
            continue;
        // A frame is recognised as a frame first: nothing inside it is a reply.
        for (qsizetype i = p; i < p + kFrameSize; ++i)
            insideFrame[i] = true;
        start[p + kFrameSize] = true;
    }
    ReplySearch result;
    for (qsizetype p = 0; p < n; ++p) {
        if (!start[p] || insideFrame[p] || quint8(bytes[p]) != 0x02)
            continue;
        // Fewer than a frame's bytes from here on could still grow into a frame.
        const bool certain = n - p >= kFrameSize;
        result.unfinished = result.unfinished || !certain;
        if (p + shape.size > n)
            continue;
        const QByteArray reply = bytes.mid(p, shape.size);
        if (!shape.fits(reply))
            continue;
        if (result.state != ReplySearch::None && result.reply != reply)
            return {}; // two different replies: neither can be trusted
        if (result.state != ReplySearch::Found) {
            result.state = certain ? ReplySearch::Found : ReplySearch::Pending;
            result.reply = reply;
        }
    }
    return result;
}

} // namespace lumetra
