#pragma once

#include <QString>
#include <optional>

namespace orvalet {

// What the AppleScript engine hands back when a program fails: the error dictionary.
// Each entry is optional because the engine fills only what it knows.
struct ScriptError {
    std::optional<QString> message;      // the engine's full message
    std::optional<QString> briefMessage; // its short message
    std::optional<qint64> number;        // e.g. -600, -1728, -2741
    QString description;                 // a printable text of the whole dictionary
};

// The outcome of running one program: a result text, an error dictionary, or both.
// A result without a text form is an absent `result`.
struct ScriptOutcome {
    std::optional<QString> result;
    std::optional<ScriptError> error;
};

// The one seam to the platform's AppleScript engine. Implementations are called from the
// worker thread, one program at a time, and keep no shared mutable state.
class ScriptEngine {
public:
    virtual ~ScriptEngine() = default;

    // Compiles and runs `source`. Returns no value when the engine could not even make a
    // script object from the text; a syntax error is an outcome with an error dictionary.
    virtual std::optional<ScriptOutcome> run(const QString& source) const = 0;
};

} // namespace orvalet
