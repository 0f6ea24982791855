// The evaluation of expressions: values, references to the application's objects, filters and
// counts. Statements, the budgets and the entry points are in Interpreter.cpp.
#include "Interpreter.h"

#include <QTextBoundaryFinder>

namespace standin::applescript {

namespace {

// What the language counts as characters: user-perceived ones, so "é" written as e and a combining
// accent is one character, and so is a character outside the Basic Multilingual Plane.
qint64 characterCount(const QString& text) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qint64 count = 0;
    while (finder.toNextBoundary() > 0) {
        ++count;
    }
    return count;
}

// The condition `status is <constant>` (in either order), which the application may answer from
// its own index instead of testing every to-do.
std::optional<TodoStatus> statusTest(const Expr& condition) {
    if (condition.kind != ExprKind::Equal) {
        return std::nullopt;
    }
    const Expr* a = condition.kids[0].get();
    const Expr* b = condition.kids[1].get();
    if (a->kind == ExprKind::Status) {
        std::swap(a, b);
    }
    const bool isStatusOfItem = a->kind == ExprKind::Property && a->property == Property::Status &&
                                (a->kids.empty() || a->kids[0]->kind == ExprKind::It);
    if (!isStatusOfItem || b->kind != ExprKind::Status) {
        return std::nullopt;
    }
    return b->status;
}

} // namespace

class Interpreter::ItScope final {
public:
    ItScope(std::vector<Value>& its, Value it)
        : m_its(its) {
        m_its.push_back(std::move(it));
    }
    ~ItScope() { m_its.pop_back(); }
    ItScope(const ItScope&) = delete;
    ItScope& operator=(const ItScope&) = delete;

private:
    std::vector<Value>& m_its;
};

// ---- expressions ----

bool Interpreter::truth(const Value& v, const Expr& at) {
    if (v.kind != Value::Kind::Boolean) {
        raise(at, errors::cantMakeType,
              QStringLiteral("Can’t make ") + describe(v) + QStringLiteral(" into type boolean."));
    }
    return v.boolean;
}

Value Interpreter::eval(const Expr& e) {
    switch (e.kind) {
    case ExprKind::Text:
        return Value::fromText(e.text);
    case ExprKind::Integer:
        return Value::fromInteger(e.integer);
    case ExprKind::Boolean:
        return Value::fromBool(e.integer != 0);
    case ExprKind::Missing:
        return Value::missing();
    case ExprKind::Status:
        return Value::fromStatus(e.status);
    case ExprKind::Variable:
        return evalVariable(e);
    case ExprKind::It:
        if (m_its.empty()) {
            raise(e, errors::cantGet, QStringLiteral("Can’t get it."));
        }
        return m_its.back();
    case ExprKind::Concat:
        return evalConcat(e);
    case ExprKind::Equal: {
        const Value left = eval(*e.kids[0]);
        return Value::fromBool(equal(left, eval(*e.kids[1])));
    }
    case ExprKind::NotEqual: {
        const Value left = eval(*e.kids[0]);
        return Value::fromBool(!equal(left, eval(*e.kids[1])));
    }
    case ExprKind::Contains: {
        const Value container = eval(*e.kids[0]);
        const Value part = eval(*e.kids[1]);
        if (container.kind == Value::Kind::List) {
            for (const Value& item : *container.items) {
                if (equal(item, part)) {
                    return Value::fromBool(true);
                }
            }
            return Value::fromBool(false);
        }
        const std::optional<QString> haystack = container.coercedToText(m_limits.maxTextLength);
        const std::optional<QString> needle = part.coercedToText(m_limits.maxTextLength);
        if (!haystack || !needle) {
            raise(e, errors::cantMakeType,
                  QStringLiteral("Can’t make ") + describe(haystack ? part : container) +
                      QStringLiteral(" into type text."));
        }
        chargeComparison(haystack->size() + needle->size());
        return Value::fromBool(textContains(*haystack, *needle));
    }
    case ExprKind::And:
        for (const auto& kid : e.kids) {
            if (!truth(eval(*kid), *kid)) {
                return Value::fromBool(false);
            }
        }
        return Value::fromBool(true);
    case ExprKind::Or:
        for (const auto& kid : e.kids) {
            if (truth(eval(*kid), *kid)) {
                return Value::fromBool(true);
            }
        }
        return Value::fromBool(false);
    case ExprKind::Not:
        return Value::fromBool(!truth(eval(*e.kids[0]), *e.kids[0]));
    case ExprKind::Property:
        return evalProperty(e);
    case ExprKind::Elements:
        return evalElements(e);
    case ExprKind::ByName:
    case ExprKind::ById:
        return evalKeyed(e);
    case ExprKind::Whose:
        return evalWhose(e);
    case ExprKind::Count:
        return evalCount(e);
    case ExprKind::Make:
        return evalMake(e);
    }
    return Value{};
}

Value Interpreter::evalVariable(const Expr& e) {
    const std::optional<Value>& slot = m_slots[std::size_t(e.slot)];
    if (!slot) {
        raise(e, errors::undefinedVariable,
              QStringLiteral("The variable ") + e.text + QStringLiteral(" is not defined."));
    }
    return *slot;
}

void Interpreter::concatInto(Value& left, const Value& right, const Expr& at) {
    if (left.isText()) {
        // Text on the left makes text: the right side is coerced (an integer becomes its digits).
        std::optional<QString> text = right.coercedToText(m_limits.maxTextLength);
        if (!text) {
            raise(at, errors::cantMakeType,
                  QStringLiteral("Can’t make ") + describe(right) + QStringLiteral(" into type text."));
        }
        checkTextLength(left.text.size() + text->size());
        // Only the piece added is new; a text still shared with a variable is copied once first.
        makeText(text->size() + (left.text.isDetached() ? 0 : left.text.size()));
        left.text += *text;
        return;
    }
    // Anything else on the left makes a list of both sides' items.
    const auto itemCount = [](const Value& v) {
        return v.kind == Value::Kind::List ? v.items->size() : 1;
    };
    makeList(qsizetype(itemCount(left) + itemCount(right)));
    std::vector<Value> items;
    items.reserve(itemCount(left) + itemCount(right));
    if (left.kind == Value::Kind::List) {
        items = *left.items;
    } else {
        items.push_back(left);
    }
    if (right.kind == Value::Kind::List) {
        items.insert(items.end(), right.items->begin(), right.items->end());
    } else {
        items.push_back(right);
    }
    left = Value::list(std::move(items));
}

Value Interpreter::evalConcat(const Expr& e) {
    Value left = eval(*e.kids[0]);
    for (std::size_t i = 1; i < e.kids.size(); ++i) {
        concatInto(left, eval(*e.kids[i]), *e.kids[i]);
    }
    return left;
}

Value Interpreter::evalProperty(const Expr& e) {
    Value object;
    if (!e.kids.empty()) {
        object = eval(*e.kids[0]);
    } else if (!m_its.empty()) {
        object = m_its.back(); // inside `whose`, a bare property is the tested item's
    } else if (m_tellDepth > 0 && m_application != nullptr && e.property == Property::Name) {
        return Value::fromText(m_application->name());
    } else {
        raise(e, errors::cantGet, QStringLiteral("Can’t get ") + propertyName(e.property) + u'.');
    }
    if (object.kind == Value::Kind::List) {
        // `name of every tag` is the list of their names.
        std::vector<Value> values;
        values.reserve(object.items->size());
        for (const Value& item : *object.items) {
            tick();
            if (item.kind != Value::Kind::Reference) {
                raise(e, errors::cantGet,
                      QStringLiteral("Can’t get ") + propertyName(e.property) + QStringLiteral(" of ") +
                          describe(item) + u'.');
            }
            values.push_back(
                callApplication(e.start, e.end, [&] { return m_application->property(item, e.property); }));
        }
        return Value::list(std::move(values));
    }
    if (object.kind != Value::Kind::Reference || m_application == nullptr) {
        raise(e, errors::cantGet,
              QStringLiteral("Can’t get ") + propertyName(e.property) + QStringLiteral(" of ") +
                  describe(object) + u'.');
    }
    return callApplication(e.start, e.end, [&] { return m_application->property(object, e.property); });
}

Value Interpreter::evalElements(const Expr& e) {
    if (e.kids.empty()) {
        Application& app = application(e, QStringLiteral("every ") + className(e.objectClass));
        return callApplication(e.start, e.end, [&] { return app.elements(e.objectClass, nullptr); });
    }
    const Value container = eval(*e.kids[0]);
    if (container.kind != Value::Kind::Reference || m_application == nullptr) {
        raise(e, errors::cantGet,
              QStringLiteral("Can’t get every ") + className(e.objectClass) + QStringLiteral(" of ") +
                  describe(container) + u'.');
    }
    return callApplication(e.start, e.end,
                           [&] { return m_application->elements(e.objectClass, &container); });
}

Value Interpreter::evalKeyed(const Expr& e) {
    const Value key = eval(*e.kids[0]);
    const QString form =
        className(e.objectClass) + (e.kind == ExprKind::ById ? QStringLiteral(" id ") : u" "_qs);
    if (!key.isText()) {
        raise(e, errors::cantGet, QStringLiteral("Can’t get ") + form + describe(key) + u'.');
    }
    Application& app = application(e, form + describe(key));
    return callApplication(e.start, e.end, [&] {
        return e.kind == ExprKind::ById ? app.byId(e.objectClass, key.text)
                                        : app.byName(e.objectClass, key.text);
    });
}

Value Interpreter::evalWhose(const Expr& e) {
    const Value subject = eval(*e.kids[0]);
    if (subject.kind != Value::Kind::List) {
        raise(e, errors::cantGet,
              QStringLiteral("Can’t get ") + describe(subject) + QStringLiteral(" whose …."));
    }
    std::vector<Value> kept;
    for (const Value& item : *subject.items) {
        tick();
        ItScope scope(m_its, item);
        if (truth(eval(*e.kids[1]), *e.kids[1])) {
            kept.push_back(item);
        }
    }
    return Value::list(std::move(kept));
}

std::optional<qint64> Interpreter::countByStatus(const Expr& e) {
    const Expr& operand = *e.kids[0];
    if (operand.kind != ExprKind::Whose || m_application == nullptr) {
        return std::nullopt;
    }
    const Expr& elements = *operand.kids[0];
    if (elements.kind != ExprKind::Elements || elements.objectClass != ObjectClass::Todo ||
        elements.kids.empty()) {
        return std::nullopt;
    }
    const std::optional<TodoStatus> status = statusTest(*operand.kids[1]);
    if (!status) {
        return std::nullopt;
    }
    const Value container = eval(*elements.kids[0]);
    if (container.kind != Value::Kind::Reference || container.objectClass != ObjectClass::Tag) {
        return std::nullopt;
    }
    return callApplication(e.start, e.end, [&] { return m_application->countTodos(container, *status); });
}

Value Interpreter::evalCount(const Expr& e) {
    if (std::optional<qint64> counted = countByStatus(e)) {
        return Value::fromInteger(*counted);
    }
    const Value v = eval(*e.kids[0]);
    if (v.kind == Value::Kind::List) {
        return Value::fromInteger(qint64(v.items->size()));
    }
    if (v.isText()) {
        tick(1 + v.text.size() / 16);
        return Value::fromInteger(characterCount(v.text));
    }
    raise(e, errors::cantGet, QStringLiteral("Can’t get count of ") + describe(v) + u'.');
}

Value Interpreter::evalMake(const Expr& e) {
    Application& app = application(e, QStringLiteral("new ") + className(e.objectClass));
    std::vector<std::pair<Property, Value>> properties;
    for (std::size_t i = 0; i < e.kids.size(); ++i) {
        properties.emplace_back(e.labels[i], eval(*e.kids[i]));
    }
    return callApplication(e.start, e.end, [&] { return app.make(e.objectClass, properties); });
}

} // namespace standin::applescript
