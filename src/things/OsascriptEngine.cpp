#include "OsascriptEngine.h"

#include <QProcess>
#include <QRegularExpression>

namespace orvalet {

namespace {

// osascript ends both its result and its error report with one line feed of its own.
QString withoutFinalLineFeed(QByteArray bytes) {
    if (bytes.endsWith('\n'))
        bytes.chop(1);
    return QString::fromUtf8(bytes);
}

ScriptError errorWithMessage(const QString& message) {
    return ScriptError{message, std::nullopt, std::nullopt, message};
}

} // namespace

OsascriptEngine::OsascriptEngine(QString osascriptPath)
    : m_osascriptPath(std::move(osascriptPath)) {}

std::optional<ScriptOutcome> OsascriptEngine::run(const QString& source) const {
    // No time limit of our own: Things 3 answers within the engine's own limit for a command, and
    // osascript ends when it does. Only starting the tool can fail without osascript reporting it.
    QProcess process;
    process.start(m_osascriptPath, {QStringLiteral("-")});
    if (!process.waitForStarted(-1)) {
        return ScriptOutcome{std::nullopt, errorWithMessage(u"Could not run " % m_osascriptPath % u": " %
                                                            process.errorString())};
    }
    // osascript reads the program up to the end of its input, so the channel must be closed.
    process.write(source.toUtf8());
    process.closeWriteChannel();
    process.waitForFinished(-1);

    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return ScriptOutcome{withoutFinalLineFeed(process.readAllStandardOutput()), std::nullopt};

    const QString errorOutput = withoutFinalLineFeed(process.readAllStandardError());
    if (process.exitStatus() != QProcess::NormalExit) {
        return ScriptOutcome{std::nullopt, errorWithMessage(m_osascriptPath % u" stopped abnormally: " %
                                                            process.errorString() % u"\n" % errorOutput)};
    }
    return ScriptOutcome{std::nullopt, parseErrorOutput(errorOutput)};
}

ScriptError OsascriptEngine::parseErrorOutput(const QString& errorOutput) {
    // "START:END: execution error: MESSAGE (NUMBER)", or "syntax error" in place of "execution
    // error". The kind of error is written in the user's language, so only the form is relied
    // on: two offsets, a phrase without a colon, the message, the number in parentheses at the
    // very end. The message may hold colons, parentheses and line breaks of its own.
    // Built per call rather than shared: engines keep no shared state, and errors are rare.
    const QRegularExpression form(QStringLiteral(R"(\A\d+:\d+: [^:\n]+: (.*) \((-?\d+)\)\z)"),
                                  QRegularExpression::DotMatchesEverythingOption);
    ScriptError error;
    error.description =
        errorOutput.isEmpty() ? QStringLiteral("osascript failed without a message.") : errorOutput;
    const QRegularExpressionMatch match = form.match(errorOutput);
    if (!match.hasMatch())
        return error;
    bool numberIsValid = false;
    const qint64 number = match.capturedView(2).toLongLong(&numberIsValid);
    if (!numberIsValid)
        return error;
    error.message = match.captured(1);
    error.number = number;
    return error;
}

} // namespace orvalet
