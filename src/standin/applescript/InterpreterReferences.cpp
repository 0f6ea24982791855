// References to the application's objects: properties, elements, objects by name or id, filters,
// counts and new objects.
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

// A text the application gives is its data, which may take a text past the limit on texts.
Value fromApplicationData(Value v) {
    if (v.isText()) {
        v.fromApplication = v.text.size();
    }
    return v;
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

Application& Interpreter::application(const Node& at, const QString& what) {
    if (m_tellDepth == 0 || m_application == nullptr) {
        raise(at, errors::cantGet, QStringLiteral("Can’t get ") + what + u'.');
    }
    return *m_application;
}

Value Interpreter::evalProperty(const Node& e) {
    const Property property = e.property();
    Value object;
    if (firstKid(e) != nullptr) {
        object = eval(kid(e));
    } else if (!m_its.empty()) {
        object = m_its.back(); // inside `whose`, a bare property is the tested item's
    } else if (m_tellDepth > 0 && m_application != nullptr && property == Property::Name) {
        return Value::fromText(m_application->name());
    } else {
        raise(e, errors::cantGet, QStringLiteral("Can’t get ") + propertyName(property) + u'.');
    }
    if (object.kind == Value::Kind::Text && property == Property::Id) {
        // A text's characters as their code points: one number for one, a list otherwise. A lone
        // surrogate is a code point of its own, as the engine's UTF-16 text holds it.
        const QString& text = object.text;
        makeList(text.size());
        std::vector<Value> points;
        for (qsizetype i = 0; i < text.size(); ++i) {
            char32_t point = text[i].unicode();
            if (QChar::isHighSurrogate(point) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
                point = QChar::surrogateToUcs4(char16_t(point), text[++i].unicode());
            }
            points.push_back(Value::fromInteger(point));
        }
        return points.size() == 1 ? points.front() : Value::list(std::move(points));
    }
    if (object.kind == Value::Kind::Record) {
        // A record's label may be a property's name: `name of {name: "x"}`.
        return recordField(object, propertyName(property), e);
    }
    if (object.kind == Value::Kind::List) {
        // `name of every tag` is the list of their names.
        std::vector<Value> values;
        values.reserve(object.items->size());
        for (const Value& item : *object.items) {
            tick();
            if (item.kind != Value::Kind::Reference) {
                raise(e, errors::cantGet,
                      QStringLiteral("Can’t get ") + propertyName(property) + QStringLiteral(" of ") +
                          describe(item) + u'.');
            }
            values.push_back(fromApplicationData(
                callApplication(e.start, e.end, [&] { return m_application->property(item, property); })));
        }
        return Value::list(std::move(values));
    }
    if (object.kind != Value::Kind::Reference || m_application == nullptr) {
        raise(e, errors::cantGet,
              QStringLiteral("Can’t get ") + propertyName(property) + QStringLiteral(" of ") +
                  describe(object) + u'.');
    }
    return fromApplicationData(
        callApplication(e.start, e.end, [&] { return m_application->property(object, property); }));
}

Value Interpreter::evalElements(const Node& e) {
    const ObjectClass objectClass = e.objectClass();
    if (firstKid(e) == nullptr) {
        Application& app = application(e, QStringLiteral("every ") + className(objectClass));
        return callApplication(e.start, e.end, [&] { return app.elements(objectClass, nullptr); });
    }
    const Value container = eval(kid(e));
    if (container.kind != Value::Kind::Reference || m_application == nullptr) {
        raise(e, errors::cantGet,
              QStringLiteral("Can’t get every ") + className(objectClass) + QStringLiteral(" of ") +
                  describe(container) + u'.');
    }
    return callApplication(e.start, e.end, [&] { return m_application->elements(objectClass, &container); });
}

Value Interpreter::evalKeyed(const Node& e) {
    const Value key = eval(kid(e));
    const ObjectClass objectClass = e.objectClass();
    const QString form =
        className(objectClass) + (e.kind == NodeKind::ById ? QStringLiteral(" id ") : u" "_qs);
    if (!key.isText()) {
        raise(e, errors::cantGet, QStringLiteral("Can’t get ") + form + describe(key) + u'.');
    }
    Application& app = application(e, form + describe(key));
    return callApplication(e.start, e.end, [&] {
        return e.kind == NodeKind::ById ? app.byId(objectClass, key.text) : app.byName(objectClass, key.text);
    });
}

Value Interpreter::evalWhose(const Node& e) {
    const Node& subjectNode = kid(e, 0);
    const Node& condition = *next(subjectNode);
    const Value subject = eval(subjectNode);
    if (subject.kind != Value::Kind::List) {
        raise(e, errors::cantGet,
              QStringLiteral("Can’t get ") + describe(subject) + QStringLiteral(" whose …."));
    }
    std::vector<Value> kept;
    for (const Value& item : *subject.items) {
        tick();
        ItScope scope(m_its, item);
        if (truth(eval(condition), condition)) {
            kept.push_back(item);
        }
    }
    return Value::list(std::move(kept));
}

// `count of (to dos of TAG whose status is CONSTANT)` (in either order), which the application may
// answer from its own index instead of testing every to-do.
std::optional<qint64> Interpreter::countByStatus(const Node& e) {
    const Node& operand = kid(e);
    if (operand.kind != NodeKind::Whose || m_application == nullptr) {
        return std::nullopt;
    }
    const Node& elements = kid(operand, 0);
    const Node& condition = *next(elements);
    if (elements.kind != NodeKind::Elements || elements.objectClass() != ObjectClass::Todo ||
        firstKid(elements) == nullptr) {
        return std::nullopt;
    }
    if (condition.kind != NodeKind::Compare || condition.compareOp() != CompareOp::Equal) {
        return std::nullopt;
    }
    const Node* a = &kid(condition, 0);
    const Node* b = next(*a);
    if (a->kind == NodeKind::Status) {
        std::swap(a, b);
    }
    const bool isStatusOfItem = a->kind == NodeKind::Property && a->property() == Property::Status &&
                                (firstKid(*a) == nullptr || kid(*a).kind == NodeKind::It);
    if (!isStatusOfItem || b->kind != NodeKind::Status) {
        return std::nullopt;
    }
    const Value container = eval(kid(elements));
    if (container.kind != Value::Kind::Reference || container.objectClass != ObjectClass::Tag) {
        return std::nullopt;
    }
    return callApplication(e.start, e.end, [&] { return m_application->countTodos(container, b->status()); });
}

Value Interpreter::evalCount(const Node& e) {
    if (std::optional<qint64> counted = countByStatus(e)) {
        return Value::fromInteger(*counted);
    }
    const Value v = eval(kid(e));
    if (v.kind == Value::Kind::List || v.kind == Value::Kind::Record) {
        return Value::fromInteger(qint64(v.items->size()));
    }
    if (v.isText()) {
        tick(1 + v.text.size() / 16);
        return Value::fromInteger(characterCount(v.text));
    }
    raise(e, errors::cantGet, QStringLiteral("Can’t get count of ") + describe(v) + u'.');
}

// item N of L counts from 1, or from the end with a negative N: item -1 is the last.
Value Interpreter::evalItem(const Node& e) {
    const Node& indexNode = kid(e, 0);
    const Value index = eval(indexNode);
    const Value list = eval(*next(indexNode));
    tick();
    const qint64 count = list.kind == Value::Kind::List ? qint64(list.items->size()) : 0;
    qint64 i = index.kind == Value::Kind::Integer ? index.integer : 0;
    if (i < 0) {
        i += count + 1;
    }
    if (list.kind != Value::Kind::List || i < 1 || i > count) {
        raise(e, errors::cantGet,
              QStringLiteral("Can’t get item ") + describe(index) + QStringLiteral(" of ") + describe(list) +
                  u'.');
    }
    return (*list.items)[std::size_t(i - 1)];
}

// items A thru B of L: the items from A to B, either way round, each counted as `item` counts it.
Value Interpreter::evalItems(const Node& e) {
    const Node& firstNode = kid(e, 0);
    const Node& lastNode = *next(firstNode);
    const Value firstIndex = eval(firstNode);
    const Value lastIndex = eval(lastNode);
    const Value list = eval(*next(lastNode));
    tick();
    const qint64 count = list.kind == Value::Kind::List ? qint64(list.items->size()) : 0;
    const auto position = [count](const Value& index) {
        const qint64 i = index.kind == Value::Kind::Integer ? index.integer : 0;
        return i < 0 ? i + count + 1 : i;
    };
    qint64 from = position(firstIndex);
    qint64 to = position(lastIndex);
    if (from > to) {
        std::swap(from, to);
    }
    if (list.kind != Value::Kind::List || from < 1 || to > count) {
        raise(e, errors::cantGet,
              QStringLiteral("Can’t get items ") + describe(firstIndex) + QStringLiteral(" thru ") +
                  describe(lastIndex) + QStringLiteral(" of ") + describe(list) + u'.');
    }
    makeList(to - from + 1);
    return Value::list(std::vector<Value>(list.items->begin() + (from - 1), list.items->begin() + to));
}

Value Interpreter::evalLabel(const Node& e) {
    return recordField(eval(kid(e)), m_script->labels[std::size_t(e.value)], e);
}

Value Interpreter::recordField(const Value& record, const QString& label, const Node& at) {
    if (record.kind == Value::Kind::Record) {
        chargeComparison(qint64(record.items->size()));
        if (const Value* value = record.field(label)) {
            return *value;
        }
    }
    raise(at, errors::cantGet,
          QStringLiteral("Can’t get ") + label + QStringLiteral(" of ") + describe(record) + u'.');
}

Value Interpreter::evalMake(const Node& e) {
    const ObjectClass objectClass = e.objectClass();
    Application& app = application(e, QStringLiteral("new ") + className(objectClass));
    std::vector<std::pair<Property, Value>> properties;
    for (const Node* field = firstKid(e); field != nullptr; field = next(*field)) {
        properties.emplace_back(field->property(), eval(kid(*field)));
    }
    return callApplication(e.start, e.end, [&] { return app.make(objectClass, properties); });
}

} // namespace standin::applescript
