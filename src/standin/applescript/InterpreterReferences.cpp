// References to the application's objects: properties, elements, objects by name or id, filters,
// counts and new objects.
#include "Interpreter.h"

#include <QTextBoundaryFinder>
#include <algorithm>

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

class Interpreter::QuietScope final {
public:
    explicit QuietScope(int& quiet)
        : m_quiet(quiet) {
        ++m_quiet;
    }
    ~QuietScope() { --m_quiet; }
    QuietScope(const QuietScope&) = delete;
    QuietScope& operator=(const QuietScope&) = delete;

private:
    int& m_quiet;
};

Application& Interpreter::application(const Node& at, const QString& what) {
    if (m_tellDepth == 0 || m_application == nullptr) {
        raise(at, errors::cantGet, QStringLiteral("Can’t get ") + what + u'.');
    }
    return *m_application;
}

void Interpreter::refuseChain(const Node& at, const QString& what) const {
    ScriptFailure failure =
        ScriptFailure::execution(errors::cantGet, QStringLiteral("Can’t get ") + what + u'.');
    failure.application = m_application != nullptr ? m_application->name() : QString();
    failure.start = at.start;
    failure.end = at.end;
    throw failure;
}

Value Interpreter::evalObject(const Node& e, bool& fromApplication) {
    fromApplication = false;
    switch (e.kind) {
    case NodeKind::Property:
        return evalProperty(e, &fromApplication);
    case NodeKind::Elements:
        return evalElements(e, &fromApplication);
    case NodeKind::ByName:
    case NodeKind::ById:
        return evalKeyed(e, &fromApplication);
    case NodeKind::Whose:
        return evalWhose(e, &fromApplication);
    case NodeKind::Item:
        return evalItem(e, &fromApplication);
    case NodeKind::Items:
        return evalItems(e, &fromApplication);
    case NodeKind::Variable:
        return evalVariable(e, &fromApplication);
    default:
        return eval(e);
    }
}

Value Interpreter::asValue(const Node& e, Value (Interpreter::*part)(const Node&, bool*)) {
    bool fromApplication = false;
    try {
        Value value = (this->*part)(e, &fromApplication);
        if (fromApplication) {
            appleEvent();
        }
        return value;
    } catch (ScriptFailure& failure) {
        chargeFailure(failure); // the request went, and the application failed it
        throw;
    }
}

Value Interpreter::evalProperty(const Node& e, bool* fromApplication) {
    const Property property = e.property();
    Value object;
    bool objectFromApplication = false;
    if (firstKid(e) != nullptr) {
        object = evalObject(kid(e), objectFromApplication);
    } else if (!m_its.empty()) {
        object = m_its.back(); // inside `whose`, a bare property is the tested item's
    } else if (m_tellDepth > 0 && m_application != nullptr && property == Property::Name) {
        if (fromApplication != nullptr) {
            *fromApplication = true;
        }
        return Value::fromText(m_application->name());
    } else {
        raise(e, errors::cantGet, QStringLiteral("Can’t get ") + propertyName(property) + u'.');
    }
    const auto source = [&] {
        return m_script->source.mid(e.start, e.end - e.start);
    };
    if (object.kind == Value::Kind::Text && property == Property::Id) {
        if (objectFromApplication) {
            refuseChain(e, source());
        }
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
    if (object.kind == Value::Kind::Record && !objectFromApplication) {
        // A record's label may be a property's name: `name of {name: "x"}`.
        return recordField(object, propertyName(property), e);
    }
    if (object.kind == Value::Kind::List && objectFromApplication) {
        // `name of every tag` is one event that answers the list of their names, in their order.
        std::vector<Value> values;
        values.reserve(object.items->size());
        for (const Value& item : *object.items) {
            tick();
            if (item.kind != Value::Kind::Reference) {
                refuseChain(e, source());
            }
            values.push_back(fromApplicationData(
                callApplication(e.start, e.end, [&] { return m_application->property(item, property); })));
        }
        if (fromApplication != nullptr) {
            *fromApplication = true;
        }
        return Value::list(std::move(values));
    }
    if (object.kind != Value::Kind::Reference || m_application == nullptr) {
        // A property of a value the application gave (`id of (name of t)`) would go to the
        // application as one reference, which names nothing it has; a list of the program's own has
        // no such property either.
        if (objectFromApplication) {
            refuseChain(e, source());
        }
        raise(e, errors::cantGet,
              QStringLiteral("Can’t get ") + propertyName(property) + QStringLiteral(" of ") +
                  describe(object) + u'.');
    }
    Value value = fromApplicationData(
        callApplication(e.start, e.end, [&] { return m_application->property(object, property); }));
    if (fromApplication != nullptr) {
        *fromApplication = true;
    }
    return value;
}

Value Interpreter::evalElements(const Node& e, bool* fromApplication) {
    const ObjectClass objectClass = e.objectClass();
    Value elements;
    if (firstKid(e) == nullptr) {
        Application& app = application(e, QStringLiteral("every ") + className(objectClass));
        elements = callApplication(e.start, e.end, [&] { return app.elements(objectClass, nullptr); });
    } else {
        bool containerFromApplication = false;
        const Value container = evalObject(kid(e), containerFromApplication);
        if (container.kind != Value::Kind::Reference || m_application == nullptr) {
            raise(e, errors::cantGet,
                  QStringLiteral("Can’t get every ") + className(objectClass) + QStringLiteral(" of ") +
                      describe(container) + u'.');
        }
        elements =
            callApplication(e.start, e.end, [&] { return m_application->elements(objectClass, &container); });
    }
    tick(1 + qint64(elements.items->size()) / 16);
    if (fromApplication != nullptr) {
        *fromApplication = true;
    }
    return elements;
}

Value Interpreter::evalKeyed(const Node& e, bool* fromApplication) {
    const Value key = eval(kid(e));
    const ObjectClass objectClass = e.objectClass();
    const QString form =
        className(objectClass) + (e.kind == NodeKind::ById ? QStringLiteral(" id ") : u" "_qs);
    if (!key.isText()) {
        raise(e, errors::cantGet, QStringLiteral("Can’t get ") + form + describe(key) + u'.');
    }
    Application& app = application(e, form + describe(key));
    Value object = callApplication(e.start, e.end, [&] {
        return e.kind == NodeKind::ById ? app.byId(objectClass, key.text) : app.byName(objectClass, key.text);
    });
    if (fromApplication != nullptr) {
        *fromApplication = true;
    }
    return object;
}

Value Interpreter::evalWhose(const Node& e, bool* fromApplication) {
    const Node& subjectNode = kid(e, 0);
    const Node& condition = *next(subjectNode);
    bool subjectFromApplication = false;
    const Value subject = evalObject(subjectNode, subjectFromApplication);
    if (subject.kind != Value::Kind::List) {
        raise(e, errors::cantGet,
              QStringLiteral("Can’t get ") + describe(subject) + QStringLiteral(" whose …."));
    }
    if (fromApplication != nullptr) {
        *fromApplication = true;
    }
    return filtered(subject, condition);
}

Value Interpreter::filtered(const Value& objects, const Node& condition) {
    // The application tests every object within the one event that asks for them.
    const QuietScope quiet(m_quiet);
    std::vector<Value> kept;
    for (const Value& item : *objects.items) {
        tick();
        ItScope scope(m_its, item);
        if (truth(eval(condition), condition)) {
            kept.push_back(item);
        }
    }
    return Value::list(std::move(kept));
}

Value Interpreter::elementsNow(const ElementItem& collection) {
    if (m_application == nullptr) {
        raise(0, 0, errors::cantGet,
              QStringLiteral("Can’t get every ") + className(collection.objectClass) + u'.');
    }
    Value all = m_application->elements(collection.objectClass,
                                        collection.container ? &*collection.container : nullptr);
    tick(1 + qint64(all.items->size()) / 16);
    if (collection.condition == noNode) {
        return all;
    }
    return filtered(all, m_script->node(collection.condition));
}

Value Interpreter::resolveElement(const ElementItem& item, const Node& at) {
    std::optional<Value> found;
    if (item.condition == noNode && m_application != nullptr) {
        // Without a filter the application finds the item itself.
        tick();
        found = callApplication(at.start, at.end, [&] {
            return m_application->element(item.objectClass, item.container ? &*item.container : nullptr,
                                          item.index);
        });
    } else {
        const Value now = callApplication(at.start, at.end, [&] { return elementsNow(item); });
        if (item.index >= 1 && item.index <= qint64(now.items->size())) {
            found = (*now.items)[std::size_t(item.index - 1)];
        }
    }
    if (!found) {
        ScriptFailure failure = ScriptFailure::execution(
            errors::cantGet,
            QStringLiteral("Can’t get item ") + QString::number(item.index) + QStringLiteral(" of every ") +
                className(item.objectClass) +
                (item.container ? QStringLiteral(" of ") + describe(*item.container) : QString()) + u'.');
        failure.application = m_application->name();
        failure.start = at.start;
        failure.end = at.end;
        throw failure;
    }
    return *found;
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
    bool fromApplication = false;
    const Value container = evalObject(kid(elements), fromApplication);
    if (container.kind != Value::Kind::Reference || container.objectClass != ObjectClass::Tag) {
        return std::nullopt;
    }
    return callApplication(e.start, e.end, [&] { return m_application->countTodos(container, b->status()); });
}

Value Interpreter::evalCount(const Node& e) {
    // `count` of a reference goes to the application with it, one event: it counts a collection of the
    // application's objects, and nothing else (`count of (name of t)` names none of its objects).
    bool fromApplication = false;
    Value v;
    try {
        if (std::optional<qint64> counted = countByStatus(e)) {
            appleEvent();
            return Value::fromInteger(*counted);
        }
        v = evalObject(kid(e), fromApplication);
        if (fromApplication) {
            if (v.kind != Value::Kind::List) {
                refuseChain(e, m_script->source.mid(e.start, e.end - e.start));
            }
            appleEvent();
            return Value::fromInteger(qint64(v.items->size()));
        }
    } catch (ScriptFailure& failure) {
        chargeFailure(failure);
        throw;
    }
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
Value Interpreter::evalItem(const Node& e, bool* fromApplication) {
    const Node& indexNode = kid(e, 0);
    const Value index = eval(indexNode);
    bool listFromApplication = false;
    const Value list = evalObject(*next(indexNode), listFromApplication);
    tick();
    if (listFromApplication && fromApplication != nullptr) {
        *fromApplication = true;
    }
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
Value Interpreter::evalItems(const Node& e, bool* fromApplication) {
    const Node& firstNode = kid(e, 0);
    const Node& lastNode = *next(firstNode);
    const Value firstIndex = eval(firstNode);
    const Value lastIndex = eval(lastNode);
    bool listFromApplication = false;
    const Value list = evalObject(*next(lastNode), listFromApplication);
    tick();
    if (listFromApplication && fromApplication != nullptr) {
        *fromApplication = true;
    }
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
    return oneEvent(
        [&] { return callApplication(e.start, e.end, [&] { return app.make(objectClass, properties); }); });
}

// The text's items between AppleScript's text item delimiters, found ignoring case as AppleScript
// compares by default; with no delimiter but the empty text, its characters.
Value Interpreter::evalTextItems(const Node& e) {
    const Value v = eval(kid(e));
    if (!v.isText()) {
        raise(e, errors::cantGet, QStringLiteral("Can’t get every text item of ") + describe(v) + u'.');
    }
    const QString& text = v.text;
    tick(1 + text.size() / 4 * qint64(m_delimiters.size()));
    std::vector<QStringView> pieces;
    const bool byCharacter =
        std::all_of(m_delimiters.begin(), m_delimiters.end(), [](const QString& d) { return d.isEmpty(); });
    if (byCharacter) {
        QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
        qsizetype from = 0;
        while (finder.toNextBoundary() > 0) {
            pieces.push_back(QStringView(text).sliced(from, finder.position() - from));
            from = finder.position();
        }
    } else {
        qsizetype from = 0;
        for (;;) {
            // The nearest delimiter; of two at the same place, the longer.
            qsizetype at = -1;
            qsizetype length = 0;
            for (const QString& delimiter : m_delimiters) {
                const qsizetype found =
                    delimiter.isEmpty() ? -1 : text.indexOf(delimiter, from, Qt::CaseInsensitive);
                if (found >= 0 && (at < 0 || found < at || (found == at && delimiter.size() > length))) {
                    at = found;
                    length = delimiter.size();
                }
            }
            if (at < 0) {
                pieces.push_back(QStringView(text).sliced(from));
                break;
            }
            pieces.push_back(QStringView(text).sliced(from, at - from));
            from = at + length;
        }
    }
    makeList(qsizetype(pieces.size()));
    std::vector<Value> items;
    items.reserve(pieces.size());
    for (const QStringView piece : pieces) {
        makeText(piece.size());
        m_costs.textUnitsCopied += piece.size();
        items.push_back(Value::fromText(piece.toString()));
    }
    return Value::list(std::move(items));
}

} // namespace standin::applescript
