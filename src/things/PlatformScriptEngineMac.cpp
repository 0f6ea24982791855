#include "OsascriptEngine.h"
#include "PlatformScriptEngine.h"

namespace orvalet {

std::unique_ptr<ScriptEngine> makePlatformScriptEngine() {
    return std::make_unique<OsascriptEngine>();
}

} // namespace orvalet
