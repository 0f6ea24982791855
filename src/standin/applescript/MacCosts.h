#pragma once

#include <QtGlobal>

namespace standin::applescript {

// What one program costs on a Mac, where the time goes into three things the stand-in's own running
// time does not show: Apple events (each a round trip to Things 3, which resolves its reference
// against its database), copies (an AppleScript text cannot grow, so `s & x` copies the whole of s
// into a new text, and `L & M` every item of both lists) and compiling the program's text.
struct MacCosts {
    // Every evaluation that reaches the application: a property or element read, `count`, a `whose`
    // query, `set`, `make`, `delete`. A reference sent whole is one event, however long it is:
    // `name of every tag of tag id "X"` is one, as is `id of parent tag of t`.
    qint64 events = 0;
    // The length of every text made by `&` on texts and by a coercion to text.
    qint64 textUnitsCopied = 0;
    // The items of every list made by `&` (`set end of L to x` copies nothing).
    qint64 listItemsCopied = 0;
    qint64 programCharacters = 0;

    MacCosts& operator+=(const MacCosts& other) {
        events += other.events;
        textUnitsCopied += other.textUnitsCopied;
        listItemsCopied += other.listItemsCopied;
        programCharacters += other.programCharacters;
        return *this;
    }
    friend bool operator==(const MacCosts&, const MacCosts&) = default;
};

} // namespace standin::applescript
