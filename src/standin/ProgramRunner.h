#pragma once

#include "ThingsApplication.h"
#include "ThingsLibrary.h"
#include "applescript/Interpreter.h"
#include "applescript/ScriptFailure.h"

#include <QString>
#include <optional>

namespace standin {

// What one program produced: a result (with or without a text form), or a failure.
struct ProgramAnswer {
    std::optional<QString> result;  // the text form, as the engine's result descriptor gives it
    std::optional<QString> printed; // how `run` prints the result, like osascript; none without one
    std::optional<applescript::ScriptFailure> failure;
    // What it cost as a Mac would charge it, up to its failure when it failed.
    applescript::MacCosts costs;
};

// Runs programs against a library and saves the library after every program that changed it.
class ProgramRunner final {
public:
    // An empty libraryPath keeps the library in memory only.
    ProgramRunner(ThingsLibrary& library, QString libraryPath, applescript::Limits limits = {});

    ProgramAnswer run(const QString& source);

private:
    ThingsLibrary& m_library;
    QString m_libraryPath;
    applescript::Limits m_limits;
};

} // namespace standin
