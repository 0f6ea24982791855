#include "ProgramRunner.h"

#include "applescript/Parser.h"

#include <QFile>

namespace standin {

using applescript::ScriptFailure;
using applescript::Value;

ProgramRunner::ProgramRunner(ThingsLibrary& library, QString libraryPath, applescript::Limits limits)
    : m_library(library)
    , m_libraryPath(std::move(libraryPath))
    , m_limits(limits) {}

ProgramAnswer ProgramRunner::run(const QString& source) {
    ProgramAnswer answer;
    const quint64 revisionBefore = m_library.revision();
    ThingsApplication things(m_library);
    applescript::Interpreter interpreter(&things, m_limits);
    try {
        const applescript::Script script = applescript::Parser::parse(source, m_limits);
        const Value result = interpreter.run(script);
        answer.result = result.stringValue();
        if (result.kind == Value::Kind::List || result.kind == Value::Kind::Record) {
            // osascript prints a list's items (a record's labels and values) separated by commas,
            // without braces. Texts from the library may take it past the limit, as they may a text.
            const qsizetype allowance = result.applicationUnits(1) > 0 ? things.textSize() : 0;
            const QString printed = result.sourceForm(things.name(), m_limits.maxTextLength + 2, allowance);
            answer.printed = printed.mid(1, printed.size() - 2);
        } else if (result.kind != Value::Kind::Nothing) {
            answer.printed =
                result.isText() ? result.text : result.sourceForm(things.name(), m_limits.maxTextLength);
        }
    } catch (const ScriptFailure& failure) {
        answer = ProgramAnswer{};
        answer.failure = failure;
    } catch (const std::bad_alloc&) {
        // The budgets keep programs far below the machine's memory, but should an allocation fail
        // anyway, it ends this program with the engine's error, never the process.
        answer = ProgramAnswer{};
        answer.failure =
            ScriptFailure::execution(applescript::errors::outOfMemory, QStringLiteral("Out of memory."));
    }

    // A program that does not compile costs its compiling all the same.
    answer.costs = interpreter.costs();
    answer.costs.programCharacters = source.size();

    // What ran before a failure has happened, as in Things 3 itself, so it is saved too.
    if (m_library.revision() == revisionBefore || m_libraryPath.isEmpty()) {
        return answer;
    }
    try {
        m_library.save(m_libraryPath);
    } catch (const LibraryError& error) {
        // The change cannot be kept: go back to the library on disk, which is the state before this
        // program, and say so instead of answering as if it had worked.
        if (QFile::exists(m_libraryPath)) {
            try {
                m_library = ThingsLibrary::load(m_libraryPath);
            } catch (const LibraryError&) {
                // The file went bad underneath us; keep what is in memory.
            }
        }
        ScriptFailure failure = ScriptFailure::execution(
            applescript::errors::handlerFailed, QStringLiteral("The library could not be saved to ") +
                                                    m_libraryPath + QStringLiteral(": ") + error.message);
        failure.application = things.name();
        const applescript::MacCosts costs = answer.costs;
        answer = ProgramAnswer{};
        answer.failure = failure;
        answer.costs = costs;
    }
    return answer;
}

} // namespace standin
