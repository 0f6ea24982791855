// The budgets and the entry points. Statements are in InterpreterStatements.cpp, expressions in
// InterpreterExpressions.cpp, references to the application's objects in InterpreterReferences.cpp.
#include "Interpreter.h"

#include "Parser.h"

namespace standin::applescript {

namespace {

[[noreturn]] void raiseOutOfMemory() {
    ScriptFailure failure = ScriptFailure::execution(errors::outOfMemory, QStringLiteral("Out of memory."));
    failure.fatal = true;
    throw failure;
}

// How much a comparison of the value has to read: worked out as the value was made, since a list
// that holds the same list twice, nested forty deep, has a trillion items to walk.
qint64 textWeight(const Value& v) {
    return v.isText() ? qint64(v.text.size()) : v.weight + v.textWeight;
}

} // namespace

Interpreter::Interpreter(Application* application, Limits limits)
    : m_application(application)
    , m_limits(limits) {}

Value Interpreter::run(const QString& source, Application* application, Limits limits) {
    const Script script = Parser::parse(source, limits);
    Interpreter interpreter(application, limits);
    return interpreter.run(script);
}

Value Interpreter::run(const Script& script) {
    m_script = &script;
    m_costs.programCharacters = script.source.size();
    m_slots.assign(script.variableNames.size(), std::nullopt);
    if (exec(script.node(script.body)) == Flow::Return) {
        return m_returned;
    }
    if (m_resultSlot >= 0) {
        return m_slots[std::size_t(m_resultSlot)].value_or(Value{});
    }
    return m_result;
}

// ---- the budgets ----

void Interpreter::tick(qint64 cost) {
    m_steps += cost;
    if (m_steps > m_limits.maxSteps) {
        ScriptFailure failure =
            ScriptFailure::execution(errors::timedOut, QStringLiteral("AppleEvent timed out."));
        failure.fatal = true;
        throw failure;
    }
    if (m_limits.stop != nullptr && m_limits.stop->load(std::memory_order_relaxed)) {
        ScriptFailure failure =
            ScriptFailure::execution(errors::connectionInvalid, QStringLiteral("Connection is invalid."));
        failure.application = m_application != nullptr ? m_application->name() : QString();
        failure.fatal = true;
        throw failure;
    }
}

void Interpreter::appleEvent() {
    if (m_quiet == 0) {
        ++m_costs.events;
    }
}

void Interpreter::checkTextLength(qsizetype length, qsizetype fromApplication) {
    if (length <= m_limits.maxTextLength) {
        return;
    }
    if (fromApplication <= 0 ||
        length - std::min(fromApplication, applicationText()) > m_limits.maxTextLength) {
        raiseOutOfMemory();
    }
}

qsizetype Interpreter::applicationText() {
    if (!m_applicationText) {
        m_applicationText = m_application != nullptr ? m_application->textSize() : 0;
    }
    return *m_applicationText;
}

void Interpreter::makeText(qsizetype length, qsizetype fromApplication) {
    checkTextLength(length, fromApplication);
    m_bytesMade += qint64(length) * qint64(sizeof(QChar));
    if (m_bytesMade > m_limits.maxBytesMade) {
        raiseOutOfMemory();
    }
    tick(1 + length / 64);
}

void Interpreter::makeList(qsizetype length) {
    m_bytesMade += qint64(length) * qint64(sizeof(Value));
    if (length > m_limits.maxListLength || m_bytesMade > m_limits.maxBytesMade) {
        raiseOutOfMemory();
    }
    tick(1 + length / 64);
}

// Comparing text reads it (and, beyond ASCII, folds a copy of it), so a comparison costs steps in
// proportion to its length: a loop of comparisons on a huge text runs out of steps, not of time.
void Interpreter::chargeComparison(qint64 textRead) {
    tick(1 + textRead / 4);
}

bool Interpreter::equal(const Value& a, const Value& b) {
    chargeComparison(textWeight(a) + textWeight(b));
    return valuesEqual(a, b);
}

void Interpreter::chargeReading(const Value& v) {
    chargeComparison(textWeight(v));
}

void Interpreter::raise(qsizetype start, qsizetype end, qint64 number, const QString& brief) const {
    ScriptFailure failure = ScriptFailure::execution(number, brief);
    failure.start = start;
    failure.end = end;
    throw failure;
}

QString Interpreter::describe(const Value& v) const {
    return v.sourceForm(m_application ? m_application->name() : QString());
}

} // namespace standin::applescript
