#pragma once

#include "Application.h"
#include "Ast.h"
#include "Limits.h"
#include "MacCosts.h"
#include "ScriptFailure.h"
#include "Value.h"

#include <optional>
#include <type_traits>
#include <vector>

namespace standin::applescript {

// Runs a parsed Script against an application. One Interpreter runs one program.
class Interpreter final {
public:
    // Lists and records nested deeper than this, which only a loop that wraps a list in itself
    // makes, are refused with "Stack overflow." rather than left to overflow the stack of every
    // function that walks a value.
    static constexpr int maxNesting = 256;

    explicit Interpreter(Application* application, Limits limits = {});

    // The script's result: the value given to `return`, otherwise the result of the last statement
    // run. Raises ScriptFailure.
    Value run(const Script& script);

    // Parses the whole source, then runs it.
    static Value run(const QString& source, Application* application, Limits limits = {});

    // What the run has cost so far as a Mac would charge it; what it cost up to a failure, too.
    const MacCosts& costs() const { return m_costs; }

private:
    enum class Flow { Next, Exit, Return };
    class TellScope;
    class ItScope;
    class QuietScope;

    // ---- statements (InterpreterStatements.cpp) ----
    Flow exec(const Node& block);
    Flow execStatement(const Node& s);
    void execSet(const Node& s);
    bool appendInPlace(const Node& s);
    Flow execTell(const Node& s);
    // One turn of a loop's body: tells the loop to go on, or the flow it must return (Next for
    // `exit repeat`, Return for `return`).
    std::optional<Flow> loopTurn(const Node& body);
    Flow execRepeatForever(const Node& s);
    Flow execRepeatTimes(const Node& s);
    Flow execRepeatWhile(const Node& s);
    Flow execRepeatIn(const Node& s);
    Flow execRepeatFrom(const Node& s);
    Flow execIf(const Node& s);
    Flow execTry(const Node& s);
    void execDelete(const Node& s);
    void setDelimiters(const Value& value, const Node& at);
    void appendToEnd(const Node& target, Value item);
    [[noreturn]] void execError(const Node& s);

    // ---- expressions (InterpreterExpressions.cpp) ----
    Value eval(const Node& e);
    Value evalText(const Node& e);
    Value evalVariable(const Node& e, bool* fromApplication = nullptr);
    Value evalList(const Node& e);
    Value evalRecord(const Node& e);
    Value evalConcat(const Node& e);
    bool truth(const Value& v, const Node& at);
    // `v` as text, with the units it copies from the application's data counted; none when it has
    // no text form. Raises "Out of memory." rather than make a text past the limit.
    std::optional<Value> asText(const Value& v);
    void concatInto(Value& left, const Value& right, const Node& at);
    // Raises "Stack overflow." for a list or record nested deeper than any value may be.
    Value nestable(Value v, const Node& at) const;

    // ---- operators on numbers, comparisons and coercions (InterpreterOperators.cpp) ----
    Value evalArithmetic(const Node& e);
    Value evalNegate(const Node& e);
    Value evalCompare(const Node& e);
    Value evalCoerce(const Node& e);
    std::optional<Value> asNumber(const Value& v);
    Value numberOf(const Value& v, const Node& at);
    Value arithmetic(ArithOp op, const Value& left, const Value& right, qsizetype start, qsizetype end);
    bool order(CompareOp op, const Value& left, const Value& right, const Node& at);
    bool containment(CompareOp op, const Value& container, const Value& part, const Node& at);
    Value coerce(const Value& v, TypeClass typeClass, const Node& at);

    // ---- references to the application's objects (InterpreterReferences.cpp) ----
    // An expression that names the application's objects goes to the application whole, as one
    // reference: `id of parent tag of t` is one request, not two. Each of these evaluates one as part
    // of a larger request, sending nothing, and sets `fromApplication` to whether the expression named
    // the application's objects (or a property of them) rather than values of the program's own.
    Value evalProperty(const Node& e, bool* fromApplication);
    Value evalElements(const Node& e, bool* fromApplication);
    Value evalKeyed(const Node& e, bool* fromApplication);
    Value evalWhose(const Node& e, bool* fromApplication);
    Value evalItem(const Node& e, bool* fromApplication);
    Value evalItems(const Node& e, bool* fromApplication);
    // Such an expression asked for as a value: one Apple event when it names the application's
    // objects, also when the application fails it.
    Value asValue(const Node& e, Value (Interpreter::*part)(const Node&, bool*));
    // The object an operation acts on: a reference is part of the operation's own event.
    Value evalObject(const Node& e, bool& fromApplication);
    // The objects for which `condition` holds, `it` being each in turn; tested by the application
    // within the event that asks for them.
    Value filtered(const Value& objects, const Node& condition);
    Value evalCount(const Node& e);
    Value evalMake(const Node& e);
    Value evalTextItems(const Node& e);
    // The objects of `every CLASS [of CONTAINER] [whose CONDITION]` as the application holds them now.
    Value elementsNow(const ElementItem& collection);
    // What a loop variable over the application's objects stands for now: its item, found again.
    Value resolveElement(const ElementItem& item, const Node& at);
    // A property of a property read from the application, sent on as one reference: the application
    // has no such object (`id of (name of t)`, where `get` or a variable in between would do).
    [[noreturn]] void refuseChain(const Node& at, const QString& what) const;
    Value evalLabel(const Node& e);
    Value recordField(const Value& record, const QString& label, const Node& at);
    std::optional<qint64> countByStatus(const Node& e);
    Application& application(const Node& at, const QString& what);

    // ---- the budgets and the costs (Interpreter.cpp) ----
    void tick(qint64 cost = 1);
    // An Apple event, unless the application is evaluating a `whose` filter of its own.
    void appleEvent();
    // A failure the application raised cost the event that asked it, once, however many requests
    // around it see the failure go by.
    void chargeFailure(ScriptFailure& failure) {
        if (!failure.application.isEmpty() && !failure.fatal && !failure.charged && m_quiet == 0) {
            failure.charged = true;
            appleEvent();
        }
    }
    // Runs `send`, which makes one request to the application: one event, also when the application
    // fails it (not when the program fails before anything is sent).
    template <typename F>
    auto oneEvent(F&& send) {
        try {
            if constexpr (std::is_void_v<decltype(send())>) {
                send();
                appleEvent();
            } else {
                auto result = send();
                appleEvent();
                return result;
            }
        } catch (ScriptFailure& failure) {
            chargeFailure(failure);
            throw;
        }
    }
    // A text may be maxTextLength units long, plus those of its units copied from the application's
    // data (`fromApplication`) up to as many as that data holds.
    void checkTextLength(qsizetype length, qsizetype fromApplication = 0);
    // The units of text the application's data holds, asked once per program.
    qsizetype applicationText();
    // Counts a text of `length` units, or a list of `length` items, about to be made against the
    // budgets; raises before anything is allocated.
    void makeText(qsizetype length, qsizetype fromApplication = 0);
    void makeList(qsizetype length);
    // Counts a comparison that reads `textRead` units of text.
    void chargeComparison(qint64 textRead);
    // Counts reading the whole of a value, as the application does with a value it is given.
    void chargeReading(const Value& v);
    bool equal(const Value& a, const Value& b);
    [[noreturn]] void raise(qsizetype start, qsizetype end, qint64 number, const QString& brief) const;
    [[noreturn]] void raise(const Node& at, qint64 number, const QString& brief) const {
        raise(at.start, at.end, number, brief);
    }
    QString describe(const Value& v) const;

    const Node& kid(const Node& n, int index = 0) const { return m_script->kid(n, index); }
    const Node* firstKid(const Node& n) const { return m_script->kid(n); }
    const Node* next(const Node& n) const { return m_script->next(n); }

    template <typename F>
    auto callApplication(qsizetype start, qsizetype end, F&& call) {
        try {
            return call();
        } catch (ScriptFailure& failure) {
            if (failure.start < 0) {
                failure.start = start;
                failure.end = end;
            }
            throw;
        }
    }

    Application* m_application;
    Limits m_limits;
    MacCosts m_costs;
    int m_quiet = 0; // inside a `whose` filter, which the application evaluates within its one event
    std::vector<QString> m_delimiters{QString()}; // AppleScript's text item delimiters
    const Script* m_script = nullptr;
    std::vector<std::optional<Value>> m_slots;
    std::vector<Value> m_its;
    int m_tellDepth = 0;
    qint64 m_steps = 0;
    qint64 m_bytesMade = 0;
    std::optional<qsizetype> m_applicationText;
    Value m_result;
    int m_resultSlot = -1; // the result is this variable's value (`set x to x & …` leaves it in place)
    Value m_returned;
};

} // namespace standin::applescript
