// The evaluation of expressions: literals, variables, lists and records, `&` and the logical
// operators. Arithmetic, comparisons and coercions are in InterpreterOperators.cpp, references in
// InterpreterReferences.cpp.
#include "Interpreter.h"

#include <QSet>

namespace standin::applescript {

bool Interpreter::truth(const Value& v, const Node& at) {
    if (v.kind != Value::Kind::Boolean) {
        raise(at, errors::cantMakeType,
              QStringLiteral("Can’t make ") + describe(v) + QStringLiteral(" into type boolean."));
    }
    return v.boolean;
}

Value Interpreter::eval(const Node& e) {
    switch (e.kind) {
    case NodeKind::Text:
        return evalText(e);
    case NodeKind::Integer:
        return Value::fromInteger(e.value);
    case NodeKind::Real:
        return Value::fromReal(m_script->reals[std::size_t(e.value)]);
    case NodeKind::Boolean:
        return Value::fromBool(e.value != 0);
    case NodeKind::Missing:
        return Value::missing();
    case NodeKind::Status:
        return Value::fromStatus(e.status());
    case NodeKind::Variable:
        return asValue(e, &Interpreter::evalVariable);
    case NodeKind::It:
        if (m_its.empty()) {
            raise(e, errors::cantGet, QStringLiteral("Can’t get it."));
        }
        return m_its.back();
    case NodeKind::List:
        return evalList(e);
    case NodeKind::Record:
        return evalRecord(e);
    case NodeKind::Concat:
        return evalConcat(e);
    case NodeKind::Arithmetic:
        return evalArithmetic(e);
    case NodeKind::Negate:
        return evalNegate(e);
    case NodeKind::Coerce:
        return evalCoerce(e);
    case NodeKind::Compare:
        return evalCompare(e);
    case NodeKind::And:
        for (const Node* k = firstKid(e); k != nullptr; k = next(*k)) {
            if (!truth(eval(*k), *k)) {
                return Value::fromBool(false);
            }
        }
        return Value::fromBool(true);
    case NodeKind::Or:
        for (const Node* k = firstKid(e); k != nullptr; k = next(*k)) {
            if (truth(eval(*k), *k)) {
                return Value::fromBool(true);
            }
        }
        return Value::fromBool(false);
    case NodeKind::Not:
        return Value::fromBool(!truth(eval(kid(e)), kid(e)));
    case NodeKind::Property:
        return asValue(e, &Interpreter::evalProperty);
    case NodeKind::Label:
        return evalLabel(e);
    case NodeKind::Item:
        return asValue(e, &Interpreter::evalItem);
    case NodeKind::Items:
        return asValue(e, &Interpreter::evalItems);
    case NodeKind::Elements:
        return asValue(e, &Interpreter::evalElements);
    case NodeKind::ByName:
    case NodeKind::ById:
        return asValue(e, &Interpreter::evalKeyed);
    case NodeKind::Whose:
        return asValue(e, &Interpreter::evalWhose);
    case NodeKind::Count:
        return evalCount(e);
    case NodeKind::Make:
        return evalMake(e);
    case NodeKind::Get:
        return eval(kid(e));
    case NodeKind::Delimiters: {
        makeList(qsizetype(m_delimiters.size()));
        std::vector<Value> delimiters;
        for (const QString& delimiter : m_delimiters) {
            delimiters.push_back(Value::fromText(delimiter));
        }
        return Value::list(std::move(delimiters));
    }
    case NodeKind::TextItems:
        return evalTextItems(e);
    default:
        break;
    }
    return Value{};
}

Value Interpreter::evalText(const Node& e) {
    if (e.textForm() == TextForm::InSource) {
        // A long literal is read from the program's text each time: that makes a text like any other.
        makeText(e.end - e.start - 2);
    }
    return Value::fromText(m_script->text(e));
}

Value Interpreter::evalVariable(const Node& e, bool* fromApplication) {
    const std::optional<Value>& slot = m_slots[std::size_t(e.value)];
    if (!slot) {
        raise(e, errors::undefinedVariable,
              QStringLiteral("The variable ") + m_script->variableNames[std::size_t(e.value)] +
                  QStringLiteral(" is not defined."));
    }
    if (fromApplication != nullptr) {
        *fromApplication = slot->element != nullptr;
    }
    if (slot->element) {
        // A loop's item of the application's objects is found again at every use.
        const std::shared_ptr<const ElementItem> item = slot->element;
        return resolveElement(*item, e);
    }
    return *slot;
}

Value Interpreter::nestable(Value v, const Node& at) const {
    if (v.nesting > maxNesting) {
        raise(at, errors::stackOverflow, QStringLiteral("Stack overflow."));
    }
    return v;
}

Value Interpreter::evalList(const Node& e) {
    const int count = m_script->kidCount(e);
    makeList(count);
    std::vector<Value> items;
    items.reserve(std::size_t(count));
    for (const Node* k = firstKid(e); k != nullptr; k = next(*k)) {
        items.push_back(eval(*k));
    }
    return nestable(Value::list(std::move(items)), e);
}

Value Interpreter::evalRecord(const Node& e) {
    const int count = m_script->kidCount(e);
    makeList(count);
    std::vector<QString> labels;
    std::vector<Value> values;
    labels.reserve(std::size_t(count));
    values.reserve(std::size_t(count));
    for (const Node* field = firstKid(e); field != nullptr; field = next(*field)) {
        labels.push_back(m_script->labels[std::size_t(field->value)]);
        values.push_back(eval(kid(*field)));
    }
    return nestable(Value::record(std::move(labels), std::move(values)), e);
}

std::optional<Value> Interpreter::asText(const Value& v) {
    if (v.isText()) {
        return v;
    }
    // A walk through every item, nested ones as often as they appear; the text it makes is bounded
    // on its own.
    chargeComparison(v.weight);
    // Only a list joins texts that may have come from the application.
    const qsizetype allowance = v.kind == Value::Kind::List ? applicationText() : 0;
    std::optional<QString> text = v.coercedToText(m_limits.maxTextLength, allowance, m_delimiters.front());
    if (!text) {
        return std::nullopt;
    }
    Value made = Value::fromText(*std::move(text));
    made.fromApplication = v.applicationUnits(allowance);
    m_costs.textUnitsCopied += made.text.size();
    return made;
}

void Interpreter::concatInto(Value& left, const Value& right, const Node& at) {
    if (left.isText()) {
        // Text on the left makes text: the right side is coerced (an integer becomes its digits).
        const std::optional<Value> text = asText(right);
        if (!text) {
            raise(at, errors::cantMakeType,
                  QStringLiteral("Can’t make ") + describe(right) + QStringLiteral(" into type text."));
        }
        checkTextLength(left.text.size() + text->text.size(), left.fromApplication + text->fromApplication);
        // AppleScript makes a new text of both: that is what a Mac copies. Here only the piece added
        // is new, and a text still shared with a variable is copied once first.
        m_costs.textUnitsCopied += left.text.size() + text->text.size();
        if (left.text.isDetached()) {
            makeText(text->text.size(), text->fromApplication);
        } else {
            makeText(text->text.size() + left.text.size(), text->fromApplication + left.fromApplication);
        }
        left.text += text->text;
        left.fromApplication += text->fromApplication;
        return;
    }
    if (left.kind == Value::Kind::Record) {
        // Records join into one record; a label both have keeps the left one's value.
        if (right.kind != Value::Kind::Record) {
            raise(at, errors::cantMakeType,
                  QStringLiteral("Can’t make ") + describe(right) + QStringLiteral(" into type record."));
        }
        makeList(qsizetype(left.items->size() + right.items->size()));
        m_costs.listItemsCopied += qint64(left.items->size() + right.items->size());
        std::vector<QString> labels = *left.labels;
        std::vector<Value> values = *left.items;
        const QSet<QString> taken(labels.begin(), labels.end());
        for (std::size_t i = 0; i < right.items->size(); ++i) {
            if (!taken.contains((*right.labels)[i])) {
                labels.push_back((*right.labels)[i]);
                values.push_back((*right.items)[i]);
            }
        }
        left = Value::record(std::move(labels), std::move(values));
        return;
    }
    // Anything else on the left makes a list of both sides' items; a record gives its values.
    const auto itemCount = [](const Value& v) {
        return v.kind == Value::Kind::List || v.kind == Value::Kind::Record ? v.items->size() : 1;
    };
    makeList(qsizetype(itemCount(left) + itemCount(right)));
    m_costs.listItemsCopied += qint64(itemCount(left) + itemCount(right));
    std::vector<Value> items;
    items.reserve(itemCount(left) + itemCount(right));
    if (left.kind == Value::Kind::List) {
        items = *left.items;
    } else {
        items.push_back(left);
    }
    if (right.kind == Value::Kind::List || right.kind == Value::Kind::Record) {
        items.insert(items.end(), right.items->begin(), right.items->end());
    } else {
        items.push_back(right);
    }
    left = nestable(Value::list(std::move(items)), at);
}

Value Interpreter::evalConcat(const Node& e) {
    const Node* k = firstKid(e);
    Value left = eval(*k);
    for (k = next(*k); k != nullptr; k = next(*k)) {
        concatInto(left, eval(*k), *k);
    }
    return left;
}

} // namespace standin::applescript
