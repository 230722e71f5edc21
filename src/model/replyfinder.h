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
// display stream running while it answers, so the reply can sit before, between or after
// whole display frames, and the read may start in the middle of a frame that was already
// under way. Found: the reply is certain. Pending: a reply ends the bytes so far, but they
// could still be the start of a display frame; bytes that follow (or a quiet line) decide.
// None: no reply yet, or one that cannot be told apart from a frame. Unfinished: the bytes
// end in the middle of a frame or a reply, so more are on their way.
struct ReplySearch {
    enum State { None, Pending, Found };
    State state = None;
    QByteArray reply;
    bool unfinished = false;
};

ReplySearch findReply(const QByteArray& bytes, const ReplyShape& shape);

} // namespace lumetra
