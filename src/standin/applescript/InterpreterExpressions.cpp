// The evaluation of expressions: values, operators and conditions. References to the application's
// objects are in InterpreterReferences.cpp.
#include "Interpreter.h"

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
    case NodeKind::Boolean:
        return Value::fromBool(e.value != 0);
    case NodeKind::Missing:
        return Value::missing();
    case NodeKind::Status:
        return Value::fromStatus(e.status());
    case NodeKind::Variable:
        return evalVariable(e);
    case NodeKind::It:
        if (m_its.empty()) {
            raise(e, errors::cantGet, QStringLiteral("Can’t get it."));
        }
        return m_its.back();
    case NodeKind::Concat:
        return evalConcat(e);
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
        return evalProperty(e);
    case NodeKind::Elements:
        return evalElements(e);
    case NodeKind::ByName:
    case NodeKind::ById:
        return evalKeyed(e);
    case NodeKind::Whose:
        return evalWhose(e);
    case NodeKind::Count:
        return evalCount(e);
    case NodeKind::Make:
        return evalMake(e);
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

Value Interpreter::evalVariable(const Node& e) {
    const std::optional<Value>& slot = m_slots[std::size_t(e.value)];
    if (!slot) {
        raise(e, errors::undefinedVariable,
              QStringLiteral("The variable ") + m_script->variableNames[std::size_t(e.value)] +
                  QStringLiteral(" is not defined."));
    }
    return *slot;
}

Value Interpreter::evalCompare(const Node& e) {
    const Node& leftNode = kid(e, 0);
    const Node& rightNode = *next(leftNode);
    const Value left = eval(leftNode);
    const Value right = eval(rightNode);
    switch (e.compareOp()) {
    case CompareOp::Equal:
        return Value::fromBool(equal(left, right));
    case CompareOp::NotEqual:
        return Value::fromBool(!equal(left, right));
    case CompareOp::Contains:
        break;
    }
    if (left.kind == Value::Kind::List) {
        for (const Value& item : *left.items) {
            if (equal(item, right)) {
                return Value::fromBool(true);
            }
        }
        return Value::fromBool(false);
    }
    const std::optional<QString> haystack = left.coercedToText(m_limits.maxTextLength);
    const std::optional<QString> needle = right.coercedToText(m_limits.maxTextLength);
    if (!haystack || !needle) {
        raise(e, errors::cantMakeType,
              QStringLiteral("Can’t make ") + describe(haystack ? right : left) +
                  QStringLiteral(" into type text."));
    }
    chargeComparison(haystack->size() + needle->size());
    return Value::fromBool(textContains(*haystack, *needle));
}

void Interpreter::concatInto(Value& left, const Value& right, const Node& at) {
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

Value Interpreter::evalConcat(const Node& e) {
    const Node* k = firstKid(e);
    Value left = eval(*k);
    for (k = next(*k); k != nullptr; k = next(*k)) {
        concatInto(left, eval(*k), *k);
    }
    return left;
}

} // namespace standin::applescript
