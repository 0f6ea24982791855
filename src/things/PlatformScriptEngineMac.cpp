#include "OsaScriptEngine.h"
#include "OsascriptEngine.h"
#include "PlatformScriptEngine.h"

namespace orvalet {

std::unique_ptr<ScriptEngine> makePlatformScriptEngine() {
    // Programs run inside the process; ORVALET_SCRIPT_ENGINE=osascript hands each to the osascript
    // tool instead, as development on a Mac may want (and as the tests' fake osascript stands in for).
    if (qEnvironmentVariable("ORVALET_SCRIPT_ENGINE") == QLatin1String("osascript"))
        return std::make_unique<OsascriptEngine>();
    return std::make_unique<OsaScriptEngine>();
}

} // namespace orvalet
