#pragma once

#include <QString>

namespace standin::applescript {

// An error raised while compiling or running a program, carrying what the real engine reports:
// a number, a brief message and the range of source text that caused it. Errors raised by the
// application (Things3) name it, and their full message gets the "NAME got an error: " prefix;
// the language's own errors (undefined variable, syntax) have none.
struct ScriptFailure {
    enum class Kind { Syntax, Execution };

    Kind kind = Kind::Execution;
    qint64 number = -2700;
    QString briefMessage;
    QString application;
    qsizetype start = -1;
    qsizetype end = -1;
    // Budget failures (too many steps, too much text) end the program even inside `try`, so that a
    // program that catches every error still cannot run for ever.
    bool fatal = false;
    // The Apple event that the application failed has been counted (by the innermost request).
    bool charged = false;

    QString message() const {
        return application.isEmpty() ? briefMessage
                                     : application + QStringLiteral(" got an error: ") + briefMessage;
    }

    static ScriptFailure syntax(qint64 number, const QString& brief, qsizetype start, qsizetype end) {
        return ScriptFailure{Kind::Syntax, number, brief, {}, start, end, false, false};
    }
    static ScriptFailure execution(qint64 number, const QString& brief) {
        return ScriptFailure{Kind::Execution, number, brief, {}, -1, -1, false, false};
    }
};

// Error numbers of the real engine that this interpreter raises.
namespace errors {
inline constexpr qint64 outOfMemory = -108;
inline constexpr qint64 applicationNotRunning = -600;
inline constexpr qint64 connectionInvalid = -609;
inline constexpr qint64 cantMakeType = -1700;
inline constexpr qint64 doesNotUnderstand = -1708;
inline constexpr qint64 timedOut = -1712;
inline constexpr qint64 cantGet = -1728;
inline constexpr qint64 userError = -2700;
inline constexpr qint64 divideByZero = -2701;
inline constexpr qint64 numericOverflow = -2702;
inline constexpr qint64 stackOverflow = -2706;
inline constexpr qint64 expectedButFound = -2741;
inline constexpr qint64 undefinedVariable = -2753;
inline constexpr qint64 exitOutsideRepeat = -2755;
inline constexpr qint64 handlerFailed = -10000;
inline constexpr qint64 cantSet = -10006;
} // namespace errors

} // namespace standin::applescript
