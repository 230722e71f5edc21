#pragma once

#include "link/meterlink.h"
#include "link/polltimer.h"
#include "link/wait.h"

#include <functional>
#include <memory>
#include <optional>

namespace lumetra {

// The one busy rule. Work that waits on the meter or runs a long job takes a Hold for its
// length. While the hold lasts:
//  - a second hold of the same rule is refused (no re-entry), and so is a hold that would talk
//    to the meter while another exchange has the link;
//  - the display poll rests;
//  - the owner's window stays: a close asked for meanwhile is remembered, the hold's waits
//    are abandoned (unless the rule lets its job finish), and the close is carried out when
//    the hold ends. Nothing is deleted under a running handler.
class BusyRule {
public:
    // closeNow carries out a close that was put off; empty for work without a window.
    explicit BusyRule(std::function<void()> closeNow = {});
    ~BusyRule();
    BusyRule(const BusyRule&) = delete;
    BusyRule& operator=(const BusyRule&) = delete;

    // Holds claim this link and rest this poll (either may be null: no meter, no poll).
    void setMeter(MeterLink* link, PollTimer* poll) {
        m_link = link;
        m_poll = poll;
    }
    // A bounded job (a save, a print) finishes when its window is closed; the close follows.
    void letJobFinishOnClose() { m_abandonOnClose = false; }
    // What the held work is, in words, said while it rests the poll.
    void setPurpose(const QString& purpose) { m_purpose = purpose; }
    const QString& purpose() const { return m_purpose; }

    class Hold {
    public:
        Hold(Hold&& other) noexcept;
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        Hold& operator=(Hold&&) = delete;
        ~Hold();
        // The exchange wants the poll left stopped afterwards (the power key).
        void keepPollStopped() {
            if (m_pollHold)
                m_pollHold->keepStopped();
        }

    private:
        friend class BusyRule;
        explicit Hold(BusyRule* rule);

        BusyRule* m_rule;
        std::weak_ptr<bool> m_ruleAlive;
        std::optional<MeterLink::Claim> m_claim;
        std::optional<PollTimer::Hold> m_pollHold;
        std::unique_ptr<WaitScope> m_scope;
    };

    // Empty when the rule is already held or the link is busy with another exchange.
    [[nodiscard]] std::optional<Hold> tryHold();

    // While a person types into an entry the held work waits for, the link and the display
    // poll go back: the display, a recording and the live list go on meanwhile. The rule
    // stays held (no second command starts, a close is put off). retake() takes them back;
    // it runs the moment the person answers, inside the question's own event loop (see
    // askLent), so that a poll tick waiting there for a silent meter gives way at once
    // (claiming the link abandons its waits) and no new tick starts before the answer is
    // acted on. It is false when another exchange has the link by then.
    class MeterLent {
    public:
        MeterLent(const MeterLent&) = delete;
        MeterLent& operator=(const MeterLent&) = delete;
        ~MeterLent() { retake(); }
        // Lends again (a second question after a refused answer).
        void lend();
        bool retake();
        // The last retake found the link taken: nothing may be sent.
        bool lost() const { return m_lost; }

    private:
        friend class BusyRule;
        explicit MeterLent(BusyRule* rule);
        BusyRule* m_rule;
        std::weak_ptr<bool> m_ruleAlive;
        bool m_lent = false;
        bool m_lost = false;
    };
    // Only while the rule is held.
    [[nodiscard]] MeterLent lendMeter() { return MeterLent(this); }
    bool held() const { return m_held; }
    // A close was asked for during the hold and follows when it ends.
    bool closePending() const { return m_closePending; }
    // The owner is asked to close: true when the close has to wait for the hold to end.
    bool postponeClose();
    // The held work gives way (its waits return at once) without anything closing.
    void abandonWaits() {
        if (m_scope)
            m_scope->abandon();
    }

private:
    void release();

    std::function<void()> m_closeNow;
    MeterLink* m_link = nullptr;
    PollTimer* m_poll = nullptr;
    bool m_abandonOnClose = true;
    QString m_purpose;
    bool m_held = false;
    bool m_closePending = false;
    WaitScope* m_scope = nullptr;
    Hold* m_current = nullptr; // the hold that has the link and the poll, wherever it moved
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

} // namespace lumetra
