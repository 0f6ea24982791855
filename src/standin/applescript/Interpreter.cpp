#include "Interpreter.h"

#include "Parser.h"

namespace standin::applescript {

QString propertyName(Property p) {
    switch (p) {
    case Property::Id:
        return QStringLiteral("id");
    case Property::Name:
        return QStringLiteral("name");
    case Property::ParentTag:
        return QStringLiteral("parent tag");
    case Property::KeyboardShortcut:
        return QStringLiteral("keyboard shortcut");
    case Property::Status:
        return QStringLiteral("status");
    case Property::TagNames:
        return QStringLiteral("tag names");
    }
    return {};
}

QString className(ObjectClass c) {
    return c == ObjectClass::Tag ? QStringLiteral("tag") : QStringLiteral("to do");
}

namespace {

[[noreturn]] void raiseOutOfMemory() {
    ScriptFailure failure = ScriptFailure::execution(errors::outOfMemory, QStringLiteral("Out of memory."));
    failure.fatal = true;
    throw failure;
}

// How much text a comparison of the value has to read.
qint64 textWeight(const Value& v) {
    if (v.isText()) {
        return v.text.size();
    }
    if (v.kind != Value::Kind::List) {
        return 0;
    }
    qint64 weight = qint64(v.items->size());
    for (const Value& item : *v.items) {
        weight += textWeight(item);
    }
    return weight;
}

} // namespace

class Interpreter::TellScope final {
public:
    explicit TellScope(int& depth)
        : m_depth(depth) {
        ++m_depth;
    }
    ~TellScope() { --m_depth; }
    TellScope(const TellScope&) = delete;
    TellScope& operator=(const TellScope&) = delete;

private:
    int& m_depth;
};

Interpreter::Interpreter(Application* application, Limits limits)
    : m_application(application)
    , m_limits(limits) {}

Value Interpreter::run(const QString& source, Application* application, Limits limits) {
    const Script script = Parser::parse(source);
    Interpreter interpreter(application, limits);
    return interpreter.run(script);
}

Value Interpreter::run(const Script& script) {
    m_slots.assign(script.variableNames.size(), std::nullopt);
    m_names = &script.variableNames;
    if (exec(script.body) == Flow::Return) {
        return m_returned;
    }
    if (m_resultSlot >= 0) {
        return m_slots[std::size_t(m_resultSlot)].value_or(Value{});
    }
    return m_result;
}

void Interpreter::tick(qint64 cost) {
    m_steps += cost;
    if (m_steps > m_limits.maxSteps) {
        ScriptFailure failure =
            ScriptFailure::execution(errors::timedOut, QStringLiteral("AppleEvent timed out."));
        failure.fatal = true;
        throw failure;
    }
}

void Interpreter::checkTextLength(qsizetype length) {
    if (length > m_limits.maxTextLength) {
        raiseOutOfMemory();
    }
}

void Interpreter::makeText(qsizetype length) {
    checkTextLength(length);
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

void Interpreter::raise(qsizetype start, qsizetype end, qint64 number, const QString& brief) const {
    ScriptFailure failure = ScriptFailure::execution(number, brief);
    failure.start = start;
    failure.end = end;
    throw failure;
}

QString Interpreter::describe(const Value& v) const {
    return v.sourceForm(m_application ? m_application->name() : QString());
}

Application& Interpreter::application(const Expr& at, const QString& what) {
    if (m_tellDepth == 0 || m_application == nullptr) {
        raise(at, errors::cantGet, QStringLiteral("Can’t get ") + what + u'.');
    }
    return *m_application;
}

// ---- statements ----

Interpreter::Flow Interpreter::exec(const Block& block) {
    for (const auto& statement : block) {
        tick();
        const Flow flow = execStatement(*statement);
        if (flow != Flow::Next) {
            return flow;
        }
    }
    return Flow::Next;
}

Interpreter::Flow Interpreter::execStatement(const Stmt& s) {
    switch (s.kind) {
    case StmtKind::Expression:
        m_result = eval(*s.expr);
        m_resultSlot = -1;
        return Flow::Next;
    case StmtKind::Set:
        execSet(s);
        return Flow::Next;
    case StmtKind::Tell:
        return execTell(s);
    case StmtKind::Repeat:
        return execRepeat(s);
    case StmtKind::Exit:
        return Flow::Exit;
    case StmtKind::If:
        return execIf(s);
    case StmtKind::Try:
        return execTry(s);
    case StmtKind::Return:
        m_returned = s.expr ? eval(*s.expr) : Value{};
        return Flow::Return;
    case StmtKind::Delete:
        execDelete(s);
        return Flow::Next;
    case StmtKind::Error:
        execError(s);
    }
    return Flow::Next;
}

void Interpreter::execSet(const Stmt& s) {
    if (s.appendsInPlace && appendInPlace(s)) {
        return;
    }
    Value value = eval(*s.value);
    const Expr& target = *s.expr;
    if (target.kind == ExprKind::Variable) {
        m_slots[std::size_t(target.slot)] = value;
        m_result = std::move(value);
        m_resultSlot = -1;
        return;
    }
    if (target.kids.empty()) {
        raise(target, errors::cantSet,
              QStringLiteral("Can’t set ") + propertyName(target.property) + QStringLiteral(" to ") +
                  describe(value) + u'.');
    }
    const Value object = eval(*target.kids[0]);
    if (object.kind != Value::Kind::Reference) {
        raise(target, errors::cantSet,
              QStringLiteral("Can’t set ") + propertyName(target.property) + QStringLiteral(" of ") +
                  describe(object) + QStringLiteral(" to ") + describe(value) + u'.');
    }
    Application& app = application(target, propertyName(target.property));
    // The application reads the whole value (a to-do's tag names are split and looked up one by one).
    chargeComparison(textWeight(value));
    callApplication(s.start, s.end, [&] { app.setProperty(object, target.property, value); });
    m_result = std::move(value);
    m_resultSlot = -1;
}

// `set x to x & a & b` on text: append a and b to the text already in x instead of building a new
// text from the old one, which would make a loop that collects output quadratic in its length.
// Returns false (nothing done) when x does not hold text, so the general path keeps the full rules.
bool Interpreter::appendInPlace(const Stmt& s) {
    const Expr& concat = *s.value;
    const Expr& head = *concat.kids.front();
    std::optional<Value>& slot = m_slots[std::size_t(head.slot)];
    if (!slot) {
        raise(head, errors::undefinedVariable,
              QStringLiteral("The variable ") + head.text + QStringLiteral(" is not defined."));
    }
    if (!slot->isText()) {
        return false;
    }
    // Every operand is evaluated before the variable changes, so a failure leaves it as it was.
    QString suffix;
    for (std::size_t i = 1; i < concat.kids.size(); ++i) {
        const Value part = eval(*concat.kids[i]);
        std::optional<QString> text = part.coercedToText(m_limits.maxTextLength);
        if (!text) {
            raise(*concat.kids[i], errors::cantMakeType,
                  QStringLiteral("Can’t make ") + describe(part) + QStringLiteral(" into type text."));
        }
        checkTextLength(suffix.size() + text->size());
        makeText(text->size());
        suffix += *text;
    }
    std::optional<Value>& target = m_slots[std::size_t(head.slot)];
    if (!target || !target->isText()) {
        return false; // an operand changed the variable; take the general path
    }
    checkTextLength(target->text.size() + suffix.size());
    if (!target->text.isDetached()) {
        makeText(target->text.size()); // shared with another value: the append copies it first
    }
    target->text += suffix;
    m_result = Value{};
    m_resultSlot = head.slot;
    return true;
}

Interpreter::Flow Interpreter::execTell(const Stmt& s) {
    const Value target = eval(*s.expr);
    if (!target.isText()) {
        raise(*s.expr, errors::cantGet, QStringLiteral("Can’t get application ") + describe(target) + u'.');
    }
    if (m_application == nullptr) {
        ScriptFailure failure = ScriptFailure::execution(errors::applicationNotRunning,
                                                         QStringLiteral("Application isn’t running."));
        failure.application = target.text;
        failure.start = s.start;
        failure.end = s.end;
        throw failure;
    }
    if (!textsEqual(target.text, m_application->name())) {
        raise(*s.expr, errors::cantGet, QStringLiteral("Can’t get application ") + describe(target) + u'.');
    }
    TellScope scope(m_tellDepth);
    return exec(s.body);
}

Interpreter::Flow Interpreter::execRepeat(const Stmt& s) {
    const Value list = eval(*s.expr);
    if (list.kind != Value::Kind::List) {
        raise(*s.expr, errors::cantMakeType,
              QStringLiteral("Can’t make ") + describe(list) + QStringLiteral(" into type list."));
    }
    // The list is a snapshot: changes made inside the loop do not change what it walks over.
    const auto items = list.items;
    for (const Value& item : *items) {
        tick();
        m_slots[std::size_t(s.slot)] = item;
        const Flow flow = exec(s.body);
        if (flow == Flow::Exit) {
            break;
        }
        if (flow == Flow::Return) {
            return flow;
        }
    }
    return Flow::Next;
}

Interpreter::Flow Interpreter::execIf(const Stmt& s) {
    for (std::size_t i = 0; i < s.conditions.size(); ++i) {
        if (truth(eval(*s.conditions[i]), *s.conditions[i])) {
            return exec(s.branches[i]);
        }
    }
    return exec(s.elseBody);
}

Interpreter::Flow Interpreter::execTry(const Stmt& s) {
    std::optional<ScriptFailure> caught;
    try {
        return exec(s.body);
    } catch (const ScriptFailure& failure) {
        if (failure.fatal) {
            throw;
        }
        caught = failure;
    }
    if (!s.hasErrorHandler) {
        return Flow::Next;
    }
    // The handler sees the message as the caller of the engine would: "Things3 got an error: "
    // and the brief message, for an error the application raised.
    if (s.slot >= 0) {
        m_slots[std::size_t(s.slot)] = Value::fromText(caught->message());
    }
    if (s.errorNumberSlot >= 0) {
        m_slots[std::size_t(s.errorNumberSlot)] = Value::fromInteger(caught->number);
    }
    return exec(s.elseBody);
}

void Interpreter::execDelete(const Stmt& s) {
    // `delete parent tag of tag "X"` deletes the property, not the object the property refers to:
    // the reference goes to the application unresolved, as the real engine sends it.
    const Expr& target = *s.expr;
    if (target.kind == ExprKind::Property && !target.kids.empty()) {
        const Value object = eval(*target.kids[0]);
        if (object.kind != Value::Kind::Reference) {
            raise(target, errors::doesNotUnderstand,
                  describe(object) + QStringLiteral(" doesn’t understand the “delete” message."));
        }
        Application& app = application(target, propertyName(target.property));
        callApplication(s.start, s.end, [&] { app.removeProperty(object, target.property); });
        m_result = Value{};
        m_resultSlot = -1;
        return;
    }
    const Value object = eval(target);
    std::vector<Value> objects;
    if (object.kind == Value::Kind::List) {
        objects = *object.items;
    } else {
        objects.push_back(object);
    }
    // Every item is checked before anything is deleted: `delete tag "a" & "b"` is a list of a
    // reference and a text, and must not delete the tag "a" before failing on the text.
    for (const Value& one : objects) {
        if (one.kind != Value::Kind::Reference) {
            raise(*s.expr, errors::doesNotUnderstand,
                  describe(one) + QStringLiteral(" doesn’t understand the “delete” message."));
        }
    }
    for (const Value& one : objects) {
        Application& app = application(*s.expr, className(one.objectClass));
        callApplication(s.start, s.end, [&] { app.remove(one); });
    }
    m_result = Value{};
    m_resultSlot = -1;
}

void Interpreter::execError(const Stmt& s) {
    qint64 number = errors::userError;
    if (s.value) {
        const Value n = eval(*s.value);
        if (n.kind != Value::Kind::Integer) {
            raise(*s.value, errors::cantMakeType,
                  QStringLiteral("Can’t make ") + describe(n) + QStringLiteral(" into type number."));
        }
        number = n.integer;
    }
    QString brief =
        QStringLiteral("An error of type ") + QString::number(number) + QStringLiteral(" has occurred.");
    if (s.expr) {
        const Value message = eval(*s.expr);
        brief = message.coercedToText(m_limits.maxTextLength).value_or(describe(message));
    }
    raise(s.start, s.end, number, brief);
}

} // namespace standin::applescript
