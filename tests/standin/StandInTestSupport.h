#pragma once

#include "ProgramRunner.h"
#include "ScriptEngine.h"
#include "TestPrinters.h"
#include "ThingsLibrary.h"

#include <QMutex>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

namespace standin::testing {

// Runs one program against an in-memory library.
inline ProgramAnswer runOn(ThingsLibrary& library, const QString& source, applescript::Limits limits = {}) {
    ProgramRunner runner(library, QString(), limits);
    return runner.run(source);
}

inline QString tell(const QString& body) {
    return QStringLiteral("tell application \"Things3\"\n") + body + QStringLiteral("\nend tell");
}

// What a program gave, as one text to compare: how `run` prints its result, or "error N".
inline QString shown(const ProgramAnswer& answer) {
    return answer.failure ? QStringLiteral("error ") + QString::number(answer.failure->number)
                          : answer.printed.value_or(QString());
}

// Statements that set `s` to `seed` doubled `doublings` times: a long text from a short program.
inline QString doubledText(const QString& seed, int doublings) {
    return QStringLiteral("set s to \"") + seed + QStringLiteral("\"\n") +
           QStringLiteral("set s to s & s\n").repeated(doublings);
}

// A list of 1,024 copies of one 16 Mi-character text (the longest a text may be), then `use`: a few
// hundred bytes of program whose joined or printed form would take gigabytes.
inline QString hugeListProgram(const QString& use) {
    return doubledText(QStringLiteral("x"), 24) +
           QStringLiteral("set L to missing value & s\nrepeat with i in ") +
           QStringLiteral("1 & ").repeated(9) + QStringLiteral("10\n    set L to L & L\nend repeat\n") + use;
}

// The program as Things 3 runs it while it refuses the tag with identifier `id` where a program finds
// it by identifier, alone or among many: the statement `failure` runs there instead.
inline QString refusing(const QString& program, const QString& id, const QString& failure) {
    const QString groupRead = QStringLiteral("set tagName to name of tag id (item i of tagIds)");
    return QString(program)
        .replace(QStringLiteral("set tagName to name of tag id \"") + id + u'"', failure)
        .replace(groupRead, QStringLiteral("if item i of tagIds is \"") + id + QStringLiteral("\" then ") +
                                failure + QStringLiteral("\n            ") + groupRead);
}

// What the programs run through LibraryEngines cost a Mac, in the order they ran (on the worker's
// thread: read once the flow that ran them has finished).
class CostTally final {
public:
    void add(const applescript::MacCosts& costs) {
        const QMutexLocker lock(&m_mutex);
        m_programs.append(costs);
    }
    QList<applescript::MacCosts> programs() const {
        const QMutexLocker lock(&m_mutex);
        return m_programs;
    }
    applescript::MacCosts total(qsizetype from = 0) const {
        applescript::MacCosts sum;
        for (const applescript::MacCosts& program : programs().mid(from)) {
            sum += program;
        }
        return sum;
    }

private:
    mutable QMutex m_mutex;
    QList<applescript::MacCosts> m_programs;
};

// Orvalet's script engine seam over a library in memory: the programs Orvalet builds run through
// the interpreter exactly as they would through the server, without the socket in between.
class LibraryEngine final : public orvalet::ScriptEngine {
public:
    explicit LibraryEngine(ThingsLibrary& library, CostTally* costs = nullptr)
        : m_library(library)
        , m_costs(costs) {}

    std::optional<orvalet::ScriptOutcome> run(const QString& source) const override {
        const ProgramAnswer answer = runOn(m_library, source);
        if (m_costs != nullptr) {
            m_costs->add(answer.costs);
        }
        std::optional<orvalet::ScriptError> error;
        if (const auto& f = answer.failure) {
            error = orvalet::ScriptError{f->message(), f->briefMessage, f->number, f->message()};
        }
        return orvalet::ScriptOutcome{answer.result, error};
    }

private:
    ThingsLibrary& m_library;
    CostTally* m_costs;
};

} // namespace standin::testing
