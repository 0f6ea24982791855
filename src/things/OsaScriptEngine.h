#pragma once

#include "ScriptEngine.h"

namespace orvalet {

// The macOS engine inside the process: compiles and runs each program in one call through the Open
// Scripting Architecture's AppleScript component. AppleScript is thread-safe with one component
// instance per thread, so each thread that runs programs (in the application, the worker's one
// thread) opens its own instance on its first program and closes it when the thread ends; no
// instance is shared. Built on macOS only.
class OsaScriptEngine final : public ScriptEngine {
public:
    std::optional<ScriptOutcome> run(const QString& source) const override;
};

} // namespace orvalet
