#pragma once

#include "model/entry.h"
#include "widgets/dialogs.h"

namespace lumetra::entry {

// Asks until the answer is empty (nothing: cancelled) or a well-formed two-part value, which
// parse turns into the result. A malformed answer is said and asked again; so is one that
// parse refuses when askAgainIfRefused, otherwise the refusal ends the entry.
template <typename Parse>
auto askTwoPart(Dialogs& dialogs, QWidget* parent, const QString& prompt, const QString& title,
                const QString& defaultText, QChar separator, bool askAgainIfRefused, Parse parse)
    -> decltype(parse(QString())) {
    for (;;) {
        const auto answer = dialogs.input(parent, prompt, title, defaultText);
        if (!answer || answer->isEmpty())
            return std::nullopt;
        if (!malformed(*answer, separator)) {
            auto value = parse(*answer);
            if (value || !askAgainIfRefused)
                return value;
        }
        dialogs.message(parent, kFormatMessage, MessageIcon::Error);
    }
}

} // namespace lumetra::entry
