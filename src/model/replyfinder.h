#pragma once

#include <QByteArray>

namespace lumetra {

// What a reply to one letter looks like: its length, and what else its bytes must show
// (byte 1 is always 0x02).
struct ReplyShape {
    int size = 0;
    bool (*fits)(const QByteArray& reply) = nullptr;
};

namespace replyshape {
ReplyShape acknowledge();    // "A": 0x02, 0xAA, three pointer bytes, 0x03
ReplyShape framed(int size); // 0x02 ... 0x03 at size ("h", "Y", "Z")
ReplyShape scf();            // "a": 0x02, an entry of 0..19, two factor bytes
} // namespace replyshape

// Where a reply stands among the bytes a meter sent after its letter. A meter may keep its
// display stream running while it answers, so the bytes are read as what they can be: the
// tail of a frame that was on its way when the read began, then whole display frames and at
// most one reply in any order, then perhaps the start of a frame or reply still arriving.
// Found: every such reading that holds a reply holds the same one, something follows it, and
// the bytes are not simply whole frames. Pending: that reply ends the bytes so far, so it
// could still be the start of a frame; a quiet line or the bytes that follow decide. None: no
// reply, or different readings give different replies. Unfinished: some reading ends in the
// middle of a frame or a reply, so more bytes may settle it. OnlyFrames: nothing but frames.
struct ReplySearch {
    enum State { None, Pending, Found };
    State state = None;
    QByteArray reply;
    bool unfinished = false;
    bool onlyFrames = false;
};

ReplySearch findReply(const QByteArray& bytes, const ReplyShape& shape);

} // namespace lumetra
