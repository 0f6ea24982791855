#pragma once

#include "ProgramRunner.h"
#include "ScriptEngine.h"
#include "TestPrinters.h"
#include "ThingsLibrary.h"

#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

namespace standin::testing {

// Runs one program against an in-memory library.
inline ProgramAnswer runOn(ThingsLibrary& library, const QString& source, applescript::Limits limits = {}) {
    ProgramRunner runner(library, QString(), limits);
    return runner.run(source);
}

// Orvalet's script engine seam over a library in memory: the programs Orvalet builds run through
// the interpreter exactly as they would through the server, without the socket in between.
class LibraryEngine final : public orvalet::ScriptEngine {
public:
    explicit LibraryEngine(ThingsLibrary& library)
        : m_library(library) {}

    std::optional<orvalet::ScriptOutcome> run(const QString& source) const override {
        const ProgramAnswer answer = runOn(m_library, source);
        orvalet::ScriptOutcome outcome;
        outcome.result = answer.result;
        if (answer.failure) {
            outcome.error = orvalet::ScriptError{answer.failure->message(), answer.failure->briefMessage,
                                                 answer.failure->number, answer.failure->message()};
        }
        return outcome;
    }

private:
    ThingsLibrary& m_library;
};

} // namespace standin::testing
