// The statements: assignments, tell blocks, loops, conditionals, try blocks, `delete` and `error`.
// Expressions are in InterpreterExpressions.cpp, the budgets and the entry points in Interpreter.cpp.
#include "Interpreter.h"

#include <algorithm>
#include <cmath>

namespace standin::applescript {

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

Interpreter::Flow Interpreter::exec(const Node& block) {
    for (const Node* statement = firstKid(block); statement != nullptr; statement = next(*statement)) {
        tick();
        const Flow flow = execStatement(*statement);
        if (flow != Flow::Next) {
            return flow;
        }
    }
    return Flow::Next;
}

Interpreter::Flow Interpreter::execStatement(const Node& s) {
    switch (s.kind) {
    case NodeKind::Expression:
        m_result = eval(kid(s));
        m_resultSlot = -1;
        return Flow::Next;
    case NodeKind::Set:
        execSet(s);
        return Flow::Next;
    case NodeKind::Tell:
        return execTell(s);
    case NodeKind::RepeatForever:
        return execRepeatForever(s);
    case NodeKind::RepeatTimes:
        return execRepeatTimes(s);
    case NodeKind::RepeatWhile:
        return execRepeatWhile(s);
    case NodeKind::RepeatIn:
        return execRepeatIn(s);
    case NodeKind::RepeatFrom:
        return execRepeatFrom(s);
    case NodeKind::Exit:
        return Flow::Exit;
    case NodeKind::If:
        return execIf(s);
    case NodeKind::Try:
        return execTry(s);
    case NodeKind::Return:
        m_returned = firstKid(s) != nullptr ? eval(kid(s)) : Value{};
        return Flow::Return;
    case NodeKind::Delete:
        execDelete(s);
        return Flow::Next;
    case NodeKind::Error:
        execError(s);
    default:
        break;
    }
    return Flow::Next;
}

void Interpreter::execSet(const Node& s) {
    if (s.has(flags::appendsInPlace) && appendInPlace(s)) {
        return;
    }
    const Node& target = kid(s, 0);
    Value value = eval(kid(s, 1));
    m_resultSlot = -1;
    switch (target.kind) {
    case NodeKind::Variable:
        m_slots[std::size_t(target.value)] = value;
        m_result = std::move(value);
        return;
    case NodeKind::Delimiters:
        setDelimiters(value, target);
        m_result = std::move(value);
        return;
    case NodeKind::EndOf:
        // The result is the item, not the list: holding the list too would make the next append copy it.
        m_result = value;
        appendToEnd(target, std::move(value));
        return;
    default:
        break;
    }
    const Property property = target.property();
    if (firstKid(target) == nullptr) {
        raise(target, errors::cantSet,
              QStringLiteral("Can’t set ") + propertyName(property) + QStringLiteral(" to ") +
                  describe(value) + u'.');
    }
    oneEvent([&] {
        bool fromApplication = false;
        const Value object = evalObject(kid(target), fromApplication);
        if (object.kind != Value::Kind::Reference) {
            raise(target, errors::cantSet,
                  QStringLiteral("Can’t set ") + propertyName(property) + QStringLiteral(" of ") +
                      describe(object) + QStringLiteral(" to ") + describe(value) + u'.');
        }
        Application& app = application(target, propertyName(property));
        // The application reads the whole value (a to-do's tag names are split and looked up one by one).
        chargeReading(value);
        callApplication(s.start, s.end, [&] { app.setProperty(object, property, value); });
    });
    m_result = std::move(value);
}

// AppleScript's text item delimiters are a list of texts; a text alone sets a list of one.
void Interpreter::setDelimiters(const Value& value, const Node& at) {
    std::vector<QString> delimiters;
    if (value.isText()) {
        delimiters.push_back(value.text);
    } else if (value.kind == Value::Kind::List) {
        chargeReading(value);
        for (const Value& item : *value.items) {
            if (!item.isText()) {
                raise(at, errors::cantMakeType,
                      QStringLiteral("Can’t make ") + describe(value) + QStringLiteral(" into type text."));
            }
            delimiters.push_back(item.text);
        }
    } else {
        raise(at, errors::cantMakeType,
              QStringLiteral("Can’t make ") + describe(value) + QStringLiteral(" into type text."));
    }
    if (delimiters.empty()) {
        delimiters.emplace_back();
    }
    m_delimiters = std::move(delimiters);
}

// `set end of L to x`: the list in L grows by x in place. Copying it when it is shared with another
// value keeps every other value as it was; the program pays for that copy in its budget, but nothing
// in what a Mac is charged, where the list is changed in place.
void Interpreter::appendToEnd(const Node& target, Value item) {
    const Node& variable = kid(target);
    std::optional<Value>& slot = m_slots[std::size_t(variable.value)];
    if (!slot) {
        raise(variable, errors::undefinedVariable,
              QStringLiteral("The variable ") + m_script->variableNames[std::size_t(variable.value)] +
                  QStringLiteral(" is not defined."));
    }
    if (slot->kind != Value::Kind::List || slot->element) {
        raise(target, errors::cantSet,
              QStringLiteral("Can’t set end of ") + describe(*slot) + QStringLiteral(" to ") +
                  describe(item) + u'.');
    }
    tick();
    if (qsizetype(slot->items->size()) + 1 > m_limits.maxListLength) {
        makeList(m_limits.maxListLength + 1); // out of memory
    }
    if (item.nesting + 1 > maxNesting) {
        raise(target, errors::stackOverflow, QStringLiteral("Stack overflow."));
    }
    if (slot->items.use_count() > 1) {
        makeList(qsizetype(slot->items->size()) + 1);
        std::vector<Value> copy = *slot->items;
        copy.push_back(std::move(item));
        *slot = Value::list(std::move(copy));
        return;
    }
    makeList(1);
    slot->appendItem(std::move(item));
}

// `set x to x & a & b` on text: append a and b to the text already in x instead of building a new
// text from the old one, which would make a loop that collects output quadratic in its length.
// Returns false (nothing done) when x does not hold text, so the general path keeps the full rules.
bool Interpreter::appendInPlace(const Node& s) {
    const Node& concat = kid(s, 1);
    const Node& head = kid(concat);
    const std::size_t slot = std::size_t(head.value);
    if (!m_slots[slot]) {
        raise(head, errors::undefinedVariable,
              QStringLiteral("The variable ") + m_script->variableNames[slot] +
                  QStringLiteral(" is not defined."));
    }
    if (!m_slots[slot]->isText()) {
        return false;
    }
    // Every operand is evaluated before the variable changes, so a failure leaves it as it was.
    QString suffix;
    qsizetype suffixFromApplication = 0;
    std::vector<qsizetype> pieces; // the length of each, for what AppleScript copies to join them
    for (const Node* part = next(head); part != nullptr; part = next(*part)) {
        const Value value = eval(*part);
        const std::optional<Value> text = asText(value);
        if (!text) {
            raise(*part, errors::cantMakeType,
                  QStringLiteral("Can’t make ") + describe(value) + QStringLiteral(" into type text."));
        }
        checkTextLength(suffix.size() + text->text.size(), suffixFromApplication + text->fromApplication);
        makeText(text->text.size(), text->fromApplication);
        suffix += text->text;
        suffixFromApplication += text->fromApplication;
        pieces.push_back(text->text.size());
    }
    std::optional<Value>& target = m_slots[slot];
    if (!target || !target->isText()) {
        return false; // an operand changed the variable; take the general path
    }
    // AppleScript joins left to right, each `&` a new text of all that came before.
    qsizetype joined = target->text.size();
    for (const qsizetype piece : pieces) {
        joined += piece;
        m_costs.textUnitsCopied += joined;
    }
    checkTextLength(target->text.size() + suffix.size(), target->fromApplication + suffixFromApplication);
    if (!target->text.isDetached()) {
        // Shared with another value: the append copies it first.
        makeText(target->text.size(), target->fromApplication);
    }
    target->text += suffix;
    target->fromApplication += suffixFromApplication;
    m_result = Value{};
    m_resultSlot = head.value;
    return true;
}

Interpreter::Flow Interpreter::execTell(const Node& s) {
    const Node& nameNode = kid(s, 0);
    const Value target = eval(nameNode);
    if (!target.isText()) {
        raise(nameNode, errors::cantGet, QStringLiteral("Can’t get application ") + describe(target) + u'.');
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
        raise(nameNode, errors::cantGet, QStringLiteral("Can’t get application ") + describe(target) + u'.');
    }
    TellScope scope(m_tellDepth);
    return exec(kid(s, 1));
}

std::optional<Interpreter::Flow> Interpreter::loopTurn(const Node& body) {
    tick();
    switch (exec(body)) {
    case Flow::Next:
        return std::nullopt;
    case Flow::Exit:
        return Flow::Next;
    case Flow::Return:
        return Flow::Return;
    }
    return std::nullopt;
}

Interpreter::Flow Interpreter::execRepeatForever(const Node& s) {
    for (;;) {
        if (const std::optional<Flow> done = loopTurn(kid(s))) {
            return *done;
        }
    }
}

Interpreter::Flow Interpreter::execRepeatTimes(const Node& s) {
    const Node& timesNode = kid(s, 0);
    // Any whole number of times, also one past the integers' range (1000000000 is a real): the
    // step budget ends a loop that runs too long. A fraction is refused, as `as integer` refuses it.
    const Value number = numberOf(eval(timesNode), timesNode);
    if (number.kind == Value::Kind::Real && number.real != std::trunc(number.real)) {
        coerce(number, TypeClass::Integer, timesNode);
    }
    const qint64 times = number.kind == Value::Kind::Integer
                             ? number.integer
                             : qint64(std::clamp(number.real, -9.0e18, 9.0e18));
    for (qint64 turn = 0; turn < times; ++turn) {
        if (const std::optional<Flow> done = loopTurn(*next(timesNode))) {
            return *done;
        }
    }
    return Flow::Next;
}

Interpreter::Flow Interpreter::execRepeatWhile(const Node& s) {
    const Node& condition = kid(s, 0);
    const bool until = s.has(flags::until);
    for (;;) {
        tick();
        if (truth(eval(condition), condition) == until) {
            return Flow::Next;
        }
        if (const std::optional<Flow> done = loopTurn(*next(condition))) {
            return *done;
        }
    }
}

Interpreter::Flow Interpreter::execRepeatIn(const Node& s) {
    const Node& variable = kid(s, 0);
    const Node& listNode = *next(variable);
    const Node& body = *next(listNode);
    // Over the application's objects, AppleScript asks how many there are, then names each as
    // `item k of …`, which the application resolves again at every use: a change to the collection
    // meanwhile moves what the variable names.
    const Node* elementsNode = listNode.kind == NodeKind::Elements ? &listNode
                               : listNode.kind == NodeKind::Whose && kid(listNode).kind == NodeKind::Elements
                                   ? &kid(listNode)
                                   : nullptr;
    if (elementsNode != nullptr) {
        ElementItem collection;
        const Value now = oneEvent([&] { // count
            collection.objectClass = elementsNode->objectClass();
            if (firstKid(*elementsNode) != nullptr) {
                bool fromApplication = false;
                collection.container = evalObject(kid(*elementsNode), fromApplication);
                if (collection.container->kind != Value::Kind::Reference) {
                    raise(*elementsNode, errors::cantGet,
                          QStringLiteral("Can’t get every ") + className(collection.objectClass) +
                              QStringLiteral(" of ") + describe(*collection.container) + u'.');
                }
            } else {
                application(*elementsNode, QStringLiteral("every ") + className(collection.objectClass));
            }
            if (listNode.kind == NodeKind::Whose) {
                collection.condition = kid(listNode).next;
            }
            return elementsNow(collection);
        });
        const qint64 count = qint64(now.items->size());
        for (qint64 k = 1; k <= count; ++k) {
            auto item = std::make_shared<ElementItem>(collection);
            item->index = k;
            Value named = Value::reference(collection.objectClass, (*now.items)[std::size_t(k - 1)].text);
            named.element = std::move(item);
            m_slots[std::size_t(variable.value)] = std::move(named);
            if (const std::optional<Flow> done = loopTurn(body)) {
                return *done;
            }
        }
        return Flow::Next;
    }
    // Anything else is asked for once (a reference as one event) and walked as a value of the program's own.
    const Value list = eval(listNode);
    if (list.kind != Value::Kind::List) {
        raise(listNode, errors::cantMakeType,
              QStringLiteral("Can’t make ") + describe(list) + QStringLiteral(" into type list."));
    }
    // The list is a snapshot: changes made inside the loop do not change what it walks over.
    const auto items = list.items;
    for (const Value& item : *items) {
        m_slots[std::size_t(variable.value)] = item;
        if (const std::optional<Flow> done = loopTurn(body)) {
            return *done;
        }
    }
    return Flow::Next;
}

// The bounds and the step are taken once, before the first turn; the loop counts on by itself,
// whatever the body does to the variable. Whole numbers count as integers, anything else as reals.
Interpreter::Flow Interpreter::execRepeatFrom(const Node& s) {
    const Node& variable = kid(s, 0);
    const Node& fromNode = *next(variable);
    const Node& toNode = *next(fromNode);
    const Value from = numberOf(eval(fromNode), fromNode);
    const Value to = numberOf(eval(toNode), toNode);
    const Node* stepNode = s.has(flags::hasStep) ? next(toNode) : nullptr;
    const Value step = stepNode != nullptr ? numberOf(eval(*stepNode), *stepNode) : Value::fromInteger(1);
    const Node& body = *next(stepNode != nullptr ? *stepNode : toNode);
    std::optional<Value>& slot = m_slots[std::size_t(variable.value)];
    const bool integers = from.kind == Value::Kind::Integer && to.kind == Value::Kind::Integer &&
                          step.kind == Value::Kind::Integer;
    const bool upward = step.number() >= 0;
    for (qint64 turn = 0;; ++turn) {
        Value value;
        if (integers) {
            value = Value::fromWholeNumber(from.integer + turn * step.integer);
        } else {
            value = Value::fromReal(from.number() + double(turn) * step.number());
        }
        if (upward ? value.number() > to.number() : value.number() < to.number()) {
            return Flow::Next;
        }
        slot = value;
        if (const std::optional<Flow> done = loopTurn(body)) {
            return *done;
        }
    }
}

Interpreter::Flow Interpreter::execIf(const Node& s) {
    const Node* k = firstKid(s);
    while (k != nullptr) {
        const Node* branch = next(*k);
        if (branch == nullptr) {
            return exec(*k); // the else branch
        }
        if (truth(eval(*k), *k)) {
            return exec(*branch);
        }
        k = next(*branch);
    }
    return Flow::Next;
}

Interpreter::Flow Interpreter::execTry(const Node& s) {
    std::optional<ScriptFailure> caught;
    const Node& body = kid(s);
    try {
        return exec(body);
    } catch (const ScriptFailure& failure) {
        if (failure.fatal) {
            throw;
        }
        caught = failure;
    }
    if (!s.has(flags::hasHandler)) {
        return Flow::Next;
    }
    const Node& handler = *next(body);
    const Node* variable = next(handler);
    // The handler sees the message as the caller of the engine would: "Things3 got an error: "
    // and the brief message, for an error the application raised.
    if (s.has(flags::hasMessageVariable)) {
        m_slots[std::size_t(variable->value)] = Value::fromText(caught->message());
        variable = next(*variable);
    }
    if (s.has(flags::hasNumberVariable)) {
        m_slots[std::size_t(variable->value)] = Value::fromInteger(caught->number);
    }
    return exec(handler);
}

void Interpreter::execDelete(const Node& s) {
    // `delete parent tag of tag "X"` deletes the property, not the object the property refers to:
    // the reference goes to the application unresolved, as the real engine sends it.
    const Node& target = kid(s);
    if (target.kind == NodeKind::Property && firstKid(target) != nullptr) {
        oneEvent([&] {
            bool fromApplication = false;
            const Value object = evalObject(kid(target), fromApplication);
            if (object.kind != Value::Kind::Reference) {
                raise(target, errors::doesNotUnderstand,
                      describe(object) + QStringLiteral(" doesn’t understand the “delete” message."));
            }
            Application& app = application(target, propertyName(target.property()));
            callApplication(s.start, s.end, [&] { app.removeProperty(object, target.property()); });
        });
        m_result = Value{};
        m_resultSlot = -1;
        return;
    }
    // A reference goes with the one `delete` event, whatever it names; objects the program holds
    // are deleted one event each.
    bool fromApplication = false;
    Value object;
    try {
        object = evalObject(target, fromApplication);
    } catch (ScriptFailure& failure) {
        chargeFailure(failure);
        throw;
    }
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
            raise(target, errors::doesNotUnderstand,
                  describe(one) + QStringLiteral(" doesn’t understand the “delete” message."));
        }
    }
    const auto removeEach = [&] {
        for (const Value& one : objects) {
            Application& app = application(target, className(one.objectClass));
            if (fromApplication) {
                callApplication(s.start, s.end, [&] { app.remove(one); });
            } else {
                oneEvent([&] { callApplication(s.start, s.end, [&] { app.remove(one); }); });
            }
        }
    };
    if (fromApplication) {
        oneEvent(removeEach);
    } else {
        removeEach();
    }
    m_result = Value{};
    m_resultSlot = -1;
}

void Interpreter::execError(const Node& s) {
    const Node* k = firstKid(s);
    const Node* messageNode = s.has(flags::hasMessage) ? k : nullptr;
    const Node* numberNode = s.has(flags::hasNumber) ? (messageNode != nullptr ? next(*k) : k) : nullptr;
    qint64 number = errors::userError;
    if (numberNode != nullptr) {
        Value n = eval(*numberNode);
        // A number written past the integers' range (600000000) is a real, and still a whole one.
        if (n.kind == Value::Kind::Real && n.real == std::trunc(n.real) && std::abs(n.real) <= 2147483647.0) {
            n = Value::fromInteger(qint64(n.real));
        }
        if (n.kind != Value::Kind::Integer) {
            raise(*numberNode, errors::cantMakeType,
                  QStringLiteral("Can’t make ") + describe(n) + QStringLiteral(" into type number."));
        }
        number = n.integer;
    }
    QString brief =
        QStringLiteral("An error of type ") + QString::number(number) + QStringLiteral(" has occurred.");
    if (messageNode != nullptr) {
        const Value message = eval(*messageNode);
        const std::optional<Value> text = asText(message);
        brief = text ? text->text : describe(message);
    }
    raise(s.start, s.end, number, brief);
}

} // namespace standin::applescript
