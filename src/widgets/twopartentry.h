#pragma once

#include "link/busyrule.h"
#include "model/entry.h"
#include "widgets/dialogs.h"

namespace lumetra::entry {

// Asks a person with the meter lent (see BusyRule::MeterLent), or as it is when lent is null.
// The meter is taken back the moment they answer, inside the question's own event loop: a
// poll tick waiting there for a silent meter then gives way at once, rather than keeping the
// answered question beneath its wait.
template <typename Ask>
auto askLent(Dialogs& dialogs, BusyRule::MeterLent* lent, Ask ask) -> decltype(ask()) {
    if (!lent)
        return ask();
    lent->lend();
    dialogs.setOnAnswer([lent] { lent->retake(); });
    auto answer = ask();
    dialogs.setOnAnswer({});
    lent->retake(); // when the question went without an answer
    return answer;
}

// Said when another exchange took the meter while a value was typed.
inline QString meterTakenMessage() {
    return QStringLiteral("Another exchange with the meter began while the value was typed: "
                          "nothing was sent. Try again when it has ended.");
}

// Asks until the answer is empty (nothing: cancelled) or parse reads a value from it. A
// refused answer is said (the format message, with the form and the range under it) and
// asked again; how an accepted one was brought to its value is said before it is used. With
// lent, the display poll and a recording go on while the person types.
template <typename T>
std::optional<T> askValue(Dialogs& dialogs, QWidget* parent, const QString& prompt,
                          const QString& title, const QString& defaultText,
                          Reading<T> (*parse)(const QString&),
                          BusyRule::MeterLent* lent = nullptr) {
    for (;;) {
        const auto answer = askLent(
            dialogs, lent, [&] { return dialogs.input(parent, prompt, title, defaultText); });
        if (!answer || answer->isEmpty())
            return std::nullopt;
        const Reading<T> reading = parse(*answer);
        if (reading.value) {
            if (!reading.note.isEmpty())
                askLent(dialogs, lent, [&] {
                    return dialogs.message(parent, reading.note, MessageIcon::Information);
                });
            return reading.value;
        }
        askLent(dialogs, lent, [&] {
            return dialogs.message(parent, kFormatMessage, MessageIcon::Error, MessageButtons::Ok,
                                   {}, reading.refusal);
        });
    }
}

} // namespace lumetra::entry
