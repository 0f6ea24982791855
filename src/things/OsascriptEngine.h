#pragma once

#include "ScriptEngine.h"

namespace orvalet {

// The macOS engine: hands each program to the osascript tool on its standard input and reads
// the result from its standard output, or the error from its standard error. Every call starts
// its own process, so one engine may be used from any thread.
class OsascriptEngine final : public ScriptEngine {
public:
    // The tool's path can be replaced, so that tests can run a fake one.
    explicit OsascriptEngine(QString osascriptPath = QStringLiteral("/usr/bin/osascript"));

    std::optional<ScriptOutcome> run(const QString& source) const override;

    // Turns what osascript printed on standard error into an error dictionary.
    static ScriptError parseErrorOutput(const QString& errorOutput);

private:
    QString m_osascriptPath;
};

} // namespace orvalet
