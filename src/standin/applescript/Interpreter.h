#pragma once

#include "Application.h"
#include "Ast.h"
#include "ScriptFailure.h"
#include "Value.h"

#include <optional>
#include <vector>

namespace standin::applescript {

// Bounds on one run, so that no program, however written, runs for ever or eats the machine.
// A program that exceeds them fails with the engine's own errors (-1712 timed out, -108 out of memory).
struct Limits {
    // Statements, loop turns, `whose` tests, plus texts made, copied and compared, in proportion to
    // their length.
    qint64 maxSteps = 200'000'000;
    qsizetype maxTextLength = 16 << 20; // UTF-16 units in one text
    qsizetype maxListLength = 4'000'000;
    qint64 maxBytesMade = 256 << 20; // all the texts and lists one run makes, in bytes
};

// Runs a parsed Script against an application. One Interpreter runs one program.
class Interpreter final {
public:
    explicit Interpreter(Application* application, Limits limits = {});

    // The script's result: the value given to `return`, otherwise the result of the last statement
    // run. Raises ScriptFailure.
    Value run(const Script& script);

    // Parses the whole source, then runs it.
    static Value run(const QString& source, Application* application, Limits limits = {});

private:
    enum class Flow { Next, Exit, Return };
    class TellScope;
    class ItScope;

    Flow exec(const Block& block);
    Flow execStatement(const Stmt& s);
    void execSet(const Stmt& s);
    bool appendInPlace(const Stmt& s);
    Flow execTell(const Stmt& s);
    Flow execRepeat(const Stmt& s);
    Flow execIf(const Stmt& s);
    Flow execTry(const Stmt& s);
    void execDelete(const Stmt& s);
    [[noreturn]] void execError(const Stmt& s);

    Value eval(const Expr& e);
    Value evalVariable(const Expr& e);
    Value evalConcat(const Expr& e);
    Value evalProperty(const Expr& e);
    Value evalElements(const Expr& e);
    Value evalKeyed(const Expr& e);
    Value evalWhose(const Expr& e);
    Value evalCount(const Expr& e);
    Value evalMake(const Expr& e);
    std::optional<qint64> countByStatus(const Expr& e);
    bool truth(const Value& v, const Expr& at);
    void concatInto(Value& left, const Value& right, const Expr& at);
    Application& application(const Expr& at, const QString& what);

    void tick(qint64 cost = 1);
    void checkTextLength(qsizetype length);
    // Counts a text of `length` units, or a list of `length` items, about to be made against the
    // budgets; raises before anything is allocated.
    void makeText(qsizetype length);
    void makeList(qsizetype length);
    // Counts a comparison that reads `textRead` units of text.
    void chargeComparison(qint64 textRead);
    bool equal(const Value& a, const Value& b);
    [[noreturn]] void raise(qsizetype start, qsizetype end, qint64 number, const QString& brief) const;
    [[noreturn]] void raise(const Expr& at, qint64 number, const QString& brief) const {
        raise(at.start, at.end, number, brief);
    }
    QString describe(const Value& v) const;

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
    std::vector<std::optional<Value>> m_slots;
    const std::vector<QString>* m_names = nullptr;
    std::vector<Value> m_its;
    int m_tellDepth = 0;
    qint64 m_steps = 0;
    qint64 m_bytesMade = 0;
    Value m_result;
    int m_resultSlot = -1; // the result is this variable's value (`set x to x & …` leaves it in place)
    Value m_returned;
};

} // namespace standin::applescript
