#pragma once

#include "ScriptEngine.h"

#include <memory>

namespace orvalet {

// The engine Orvalet runs its programs with on this platform: osascript on macOS, the stand-in for
// Things 3 everywhere else. The build picks the implementation.
std::unique_ptr<ScriptEngine> makePlatformScriptEngine();

} // namespace orvalet
