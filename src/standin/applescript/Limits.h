#pragma once

#include <QtGlobal>
#include <atomic>

namespace standin::applescript {

// Bounds on one program, so that no program, however written, runs for ever or eats the machine.
// A program that exceeds them fails with the engine's own errors: "AppleEvent timed out." (-1712)
// or "Out of memory." (-108), and "Stack overflow." (-2706) for nesting too deep to parse.
struct Limits {
    // Statements, loop turns, `whose` tests, operations, plus texts made, copied and compared, in
    // proportion to their length.
    qint64 maxSteps = 200'000'000;
    qsizetype maxTextLength = 16 << 20; // UTF-16 units in one text
    qsizetype maxListLength = 4'000'000;
    qint64 maxBytesMade = 256 << 20; // all the texts and lists one run makes, in bytes

    // What a program holds before it runs: its text, the tree it is parsed into and room for its
    // variables, in bytes, and the nodes of that tree. The largest request (16 MiB of text) leaves
    // room for a tree of a few hundred thousand statements.
    qint64 maxProgramBytes = 48 << 20;
    qint64 maxParseNodes = 2'000'000;

    // Set from outside while the program runs (by the server when it is told to end): the program
    // stops at its next step with "Connection is invalid." (-609), as a script does whose application
    // quits under it, even inside `try`.
    const std::atomic<bool>* stop = nullptr;
};

} // namespace standin::applescript
