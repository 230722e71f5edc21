#include "replyfinder.h"

#include "model/displayframe.h"

#include <QList>
#include <QSet>

#include <algorithm>

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

// One way to read the bytes from some position to their end.
struct Reading {
    QByteArray reply;         // empty: no reply in this reading
    bool partial = false;     // it ends in the middle of a frame or a reply
    bool followed = false;    // bytes come after the reply
    bool frame = false;       // it holds a whole frame
    qsizetype replyAt = -1;   // where the reply starts
    qsizetype partialAt = -1; // where the piece still arriving starts
    bool operator==(const Reading&) const = default;
};

class Parser {
public:
    Parser(const QByteArray& bytes, const ReplyShape& shape)
        : m_b(bytes), m_shape(shape), m_memo(2 * (bytes.size() + 1)) {}

    // Every way to read bytes[p..] as frames and (unless one came already) one reply.
    const QList<Reading>& from(qsizetype p, bool replied) {
        const qsizetype key = 2 * p + (replied ? 1 : 0);
        if (m_done.contains(key))
            return m_memo[key];
        QList<Reading> out;
        const qsizetype n = m_b.size();
        const auto add = [&out](const Reading& r) {
            if (!out.contains(r))
                out << r;
        };
        if (p == n) {
            add({});
        } else if (quint8(m_b[p]) == 0x02) {
            if (n - p < kFrameSize)
                add({{}, true, false, false, -1, p}); // a frame (or the reply) still arriving
            if (p + kFrameSize <= n && quint8(m_b[p + kFrameSize - 1]) == 0x03) {
                for (Reading r : from(p + kFrameSize, replied)) {
                    r.frame = true;
                    add(r);
                }
            }
            if (!replied && p + m_shape.size <= n) {
                const QByteArray reply = m_b.mid(p, m_shape.size);
                if (m_shape.fits(reply)) {
                    const bool followed = p + m_shape.size < n;
                    for (const Reading& r : from(p + m_shape.size, true))
                        add({reply, r.partial, followed, r.frame, p, r.partialAt});
                }
            }
        }
        m_done.insert(key);
        m_memo[key] = out;
        return m_memo[key];
    }

private:
    const QByteArray& m_b;
    const ReplyShape& m_shape;
    QList<QList<Reading>> m_memo;
    QSet<qsizetype> m_done;
};

} // namespace

ReplySearch findReply(const QByteArray& bytes, const ReplyShape& shape) {
    Parser parser(bytes, shape);
    QList<Reading> all;
    bool onlyWholeFrames = false; // from the first byte on, nothing but whole frames
    bool streamOnly = false;      // whole frames (and pieces of others), no reply
    // The read may begin with the tail of a frame already on its way: it ends with 0x03.
    for (qsizetype t = 0; t < kFrameSize && t <= bytes.size(); ++t) {
        if (t > 0 && quint8(bytes[t - 1]) != 0x03)
            continue;
        for (const Reading& r : parser.from(t, false)) {
            all << r;
            onlyWholeFrames =
                onlyWholeFrames || (t == 0 && r.reply.isEmpty() && !r.partial && !bytes.isEmpty());
            // A tail alone is not enough: a wrong reply ends with 0x03 as well.
            streamOnly = streamOnly || (r.reply.isEmpty() && r.frame);
        }
    }
    ReplySearch result;
    QList<QByteArray> replies;
    bool followed = false;
    qsizetype firstReplyAt = bytes.size();
    for (const Reading& r : all) {
        result.unfinished = result.unfinished || r.partial;
        if (r.reply.isEmpty())
            continue;
        if (!replies.contains(r.reply))
            replies << r.reply;
        followed = followed || r.followed;
        firstReplyAt = std::min(firstReplyAt, r.replyAt);
    }
    // The reply could still lie inside a frame that has not finished arriving.
    bool insideArrivingFrame = false;
    for (const Reading& r : all)
        insideArrivingFrame =
            insideArrivingFrame || (r.reply.isEmpty() && r.partial && r.partialAt <= firstReplyAt);
    if (replies.isEmpty()) {
        result.onlyFrames = streamOnly && !bytes.isEmpty();
        return result;
    }
    // Two different replies, or bytes that read as whole frames anyway: a frame is a frame.
    if (replies.size() > 1 || onlyWholeFrames)
        return result;
    result.reply = replies.first();
    if (followed && !insideArrivingFrame) {
        result.state = ReplySearch::Found;
    } else {
        result.state = ReplySearch::Pending;
        result.unfinished = true;
    }
    return result;
}

} // namespace lumetra
