#include "PlatformScriptEngine.h"
#include "StandInEngine.h"

namespace orvalet {

std::unique_ptr<ScriptEngine> makePlatformScriptEngine() {
    return std::make_unique<StandInEngine>();
}

} // namespace orvalet
