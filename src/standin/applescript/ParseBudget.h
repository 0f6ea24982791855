#pragma once

#include "Limits.h"
#include "ScriptFailure.h"

namespace standin::applescript {

// What parsing a program may take: bytes for its text, its tree and its variables, and nodes. Past
// either bound, the program fails with "Out of memory." (-108) before anything runs, like a run that
// makes too much.
class ParseBudget final {
public:
    explicit ParseBudget(const Limits& limits)
        : m_maxBytes(limits.maxProgramBytes)
        , m_maxNodes(limits.maxParseNodes) {}

    // Counts bytes held for as long as the parsed program lives.
    void charge(qint64 bytes, qsizetype start, qsizetype end) {
        m_bytes += bytes;
        if (m_bytes > m_maxBytes) {
            fail(start, end);
        }
    }
    // A passing allocation of `bytes` (a token's text) must fit in what is left.
    void checkRoom(qint64 bytes, qsizetype start, qsizetype end) const {
        if (bytes > m_maxBytes - m_bytes) {
            fail(start, end);
        }
    }
    void countNode(qsizetype start, qsizetype end) {
        if (++m_nodes > m_maxNodes) {
            fail(start, end);
        }
    }
    // Gives back what a node or a text charged, when the parser lets go of it again.
    void refund(qint64 bytes) { m_bytes -= bytes; }
    void uncountNode() { --m_nodes; }

    // What a text of `length` units takes on the heap, with its header, as the allocator rounds it.
    static qint64 textBytes(qsizetype length) { return (qint64(length) * 2 + 40) & ~qint64(15); }

    [[noreturn]] static void fail(qsizetype start, qsizetype end) {
        throw ScriptFailure::syntax(errors::outOfMemory, QStringLiteral("Out of memory."), start, end);
    }

private:
    qint64 m_maxBytes;
    qint64 m_maxNodes;
    qint64 m_bytes = 0;
    qint64 m_nodes = 0;
};

} // namespace standin::applescript
