#pragma once

#include "ScriptEngine.h"

#include <chrono>

namespace orvalet {

// Runs programs in things3-standin, the stand-in for Things 3 on machines without it, over its
// per-user local socket. Fails the way the real engine fails: -600 when nothing is listening (as
// when Things 3 is not running), -609 when the stand-in goes away before it has answered, -1712
// when it does not answer in time. A socket that may not be this user's own (its folder is not
// this user's with mode 0700, or the socket file or the process listening is another user's) is
// not used: that is -600 too, with a line on standard error saying why.
class StandInEngine final : public ScriptEngine {
public:
    // The real engine gives up on an application after two minutes by default; so does this one.
    explicit StandInEngine(std::chrono::milliseconds answerTimeout = std::chrono::minutes(2));

    std::optional<ScriptOutcome> run(const QString& source) const override;

    // ORVALET_STANDIN_SOCKET when set; otherwise things3-standin/socket under $XDG_RUNTIME_DIR, or
    // under things3-standin-UID in the temporary folder. The stand-in follows the same rules.
    static QString socketPath();

private:
    std::chrono::milliseconds m_answerTimeout;
};

} // namespace orvalet
