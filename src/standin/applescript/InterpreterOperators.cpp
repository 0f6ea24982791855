// The operators on values: arithmetic, comparisons and containment, and coercions with `as`.
//
// Arithmetic follows the language: + - * and mod of two integers make an integer, and a real when
// the result leaves the integers' range; with a real operand they make a real; / and ^ always make
// a real; div makes an integer. An operand that is a text spelling a number, or a list of one
// number, counts as that number.
#include "Interpreter.h"

#include <cmath>

namespace standin::applescript {

namespace {

int sign(double d) {
    return d < 0 ? -1 : d > 0 ? 1 : 0;
}

bool orderHolds(CompareOp op, int order) {
    switch (op) {
    case CompareOp::Less:
        return order < 0;
    case CompareOp::Greater:
        return order > 0;
    case CompareOp::LessEqual:
        return order <= 0;
    case CompareOp::GreaterEqual:
        return order >= 0;
    default:
        return false;
    }
}

// Whether `part` appears in `items` as a run of consecutive items: at the start, at the end or
// anywhere, as `op` asks.
template <typename Equal>
bool hasRun(const std::vector<Value>& items, const std::vector<Value>& part, CompareOp op, Equal equal) {
    if (part.size() > items.size()) {
        return false;
    }
    const std::size_t last = items.size() - part.size();
    const std::size_t from = op == CompareOp::EndsWith ? last : 0;
    const std::size_t to = op == CompareOp::StartsWith ? 0 : last;
    for (std::size_t at = from; at <= to; ++at) {
        bool all = true;
        for (std::size_t i = 0; i < part.size() && all; ++i) {
            all = equal(items[at + i], part[i]);
        }
        if (all) {
            return true;
        }
    }
    return false;
}

} // namespace

std::optional<Value> Interpreter::asNumber(const Value& v) {
    switch (v.kind) {
    case Value::Kind::Integer:
    case Value::Kind::Real:
        return v;
    case Value::Kind::Text:
        chargeComparison(v.text.size());
        return numberFromText(v.text);
    case Value::Kind::List:
        if (v.items->size() == 1) {
            return asNumber(v.items->front());
        }
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

Value Interpreter::numberOf(const Value& v, const Node& at) {
    if (std::optional<Value> number = asNumber(v)) {
        return *number;
    }
    raise(at, errors::cantMakeType,
          QStringLiteral("Can’t make ") + describe(v) + QStringLiteral(" into type number."));
}

Value Interpreter::evalArithmetic(const Node& e) {
    const Node* k = firstKid(e);
    Value value = eval(*k);
    for (k = next(*k); k != nullptr; k = next(*k)) {
        value = arithmetic(k->arithOp(), value, eval(*k), e.start, k->end);
    }
    return value;
}

// The operation from the chain's start to the end of its right operand, which errors point at.
Value Interpreter::arithmetic(ArithOp op, const Value& leftValue, const Value& rightValue, qsizetype start,
                              qsizetype end) {
    tick();
    Node at;
    at.start = std::int32_t(start);
    at.end = std::int32_t(end);
    const Value left = numberOf(leftValue, at);
    const Value right = numberOf(rightValue, at);
    const bool integers = left.kind == Value::Kind::Integer && right.kind == Value::Kind::Integer;
    const auto real = [&](double result) {
        if (!std::isfinite(result)) {
            raise(at, errors::numericOverflow,
                  QStringLiteral("The result of a numeric operation was too large."));
        }
        return Value::fromReal(result);
    };
    if ((op == ArithOp::Divide || op == ArithOp::Div || op == ArithOp::Mod) && right.number() == 0) {
        raise(at, errors::divideByZero,
              QStringLiteral("Can’t divide ") + describe(left) + QStringLiteral(" by zero."));
    }
    // Two integers make an integer as long as the result stays in the integers' range (checked by
    // fromWholeNumber), and a real past it.
    qint64 whole = 0;
    switch (op) {
    case ArithOp::Plus:
        return integers && !__builtin_add_overflow(left.integer, right.integer, &whole)
                   ? Value::fromWholeNumber(whole)
                   : real(left.number() + right.number());
    case ArithOp::Minus:
        return integers && !__builtin_sub_overflow(left.integer, right.integer, &whole)
                   ? Value::fromWholeNumber(whole)
                   : real(left.number() - right.number());
    case ArithOp::Times:
        return integers && !__builtin_mul_overflow(left.integer, right.integer, &whole)
                   ? Value::fromWholeNumber(whole)
                   : real(left.number() * right.number());
    case ArithOp::Divide:
        return real(left.number() / right.number());
    case ArithOp::Div: {
        if (integers) {
            return Value::fromWholeNumber(left.integer / right.integer);
        }
        const double quotient = std::trunc(left.number() / right.number());
        return std::abs(quotient) <= double(largestInteger) ? Value::fromInteger(qint64(quotient))
                                                            : real(quotient);
    }
    case ArithOp::Mod:
        // The remainder has the sign of the number divided, as the language's `mod` gives it.
        return integers ? Value::fromInteger(left.integer % right.integer)
                        : real(std::fmod(left.number(), right.number()));
    case ArithOp::Power:
        return real(std::pow(left.number(), right.number()));
    }
    return Value{};
}

Value Interpreter::evalNegate(const Node& e) {
    const Value v = numberOf(eval(kid(e)), e);
    tick();
    if (e.op == 1) {
        return v;
    }
    return v.kind == Value::Kind::Integer ? Value::fromInteger(-v.integer) : Value::fromReal(-v.real);
}

Value Interpreter::evalCompare(const Node& e) {
    const Node& leftNode = kid(e, 0);
    const Value left = eval(leftNode);
    const Value right = eval(*next(leftNode));
    switch (e.compareOp()) {
    case CompareOp::Equal:
        return Value::fromBool(equal(left, right));
    case CompareOp::NotEqual:
        return Value::fromBool(!equal(left, right));
    case CompareOp::Less:
    case CompareOp::Greater:
    case CompareOp::LessEqual:
    case CompareOp::GreaterEqual:
        return Value::fromBool(order(e.compareOp(), left, right, e));
    case CompareOp::Contains:
    case CompareOp::StartsWith:
    case CompareOp::EndsWith:
        return Value::fromBool(containment(e.compareOp(), left, right, e));
    case CompareOp::NotContains:
        return Value::fromBool(!containment(CompareOp::Contains, left, right, e));
    case CompareOp::In:
        return Value::fromBool(containment(CompareOp::Contains, right, left, e));
    case CompareOp::NotIn:
        return Value::fromBool(!containment(CompareOp::Contains, right, left, e));
    }
    return Value{};
}

// Numbers compare as numbers and texts as texts; the left operand decides which, and the right one
// is made the same kind: 10 < "9" is false, "10" < 9 is true.
bool Interpreter::order(CompareOp op, const Value& left, const Value& right, const Node& at) {
    if (left.isNumber()) {
        tick();
        const Value other = numberOf(right, at);
        if (left.kind == Value::Kind::Integer && other.kind == Value::Kind::Integer) {
            return orderHolds(op, left.integer < other.integer ? -1 : left.integer > other.integer ? 1 : 0);
        }
        return orderHolds(op, sign(left.number() - other.number()));
    }
    if (left.isText()) {
        const std::optional<Value> other = asText(right);
        if (!other) {
            raise(at, errors::cantMakeType,
                  QStringLiteral("Can’t make ") + describe(right) + QStringLiteral(" into type text."));
        }
        chargeComparison(left.text.size() + other->text.size());
        return orderHolds(op, compareTexts(left.text, other->text));
    }
    raise(at, errors::cantMakeType,
          QStringLiteral("Can’t make ") + describe(left) +
              QStringLiteral(" into type number, date or text."));
}

// A list contains a run of its items (the part made a list if it is not one), a record contains
// another record's labels with their values, and anything else is compared as text.
bool Interpreter::containment(CompareOp op, const Value& container, const Value& part, const Node& at) {
    if (container.kind == Value::Kind::List) {
        const std::vector<Value> single{part};
        const std::vector<Value>& run = part.kind == Value::Kind::List ? *part.items : single;
        chargeComparison(qint64(container.items->size()));
        return hasRun(*container.items, run, op,
                      [this](const Value& a, const Value& b) { return equal(a, b); });
    }
    if (container.kind == Value::Kind::Record && op == CompareOp::Contains) {
        if (part.kind != Value::Kind::Record) {
            raise(at, errors::cantMakeType,
                  QStringLiteral("Can’t make ") + describe(part) + QStringLiteral(" into type record."));
        }
        chargeComparison(qint64(container.items->size()) * qint64(part.items->size()));
        for (std::size_t i = 0; i < part.items->size(); ++i) {
            const Value* value = container.field((*part.labels)[i]);
            if (value == nullptr || !equal(*value, (*part.items)[i])) {
                return false;
            }
        }
        return true;
    }
    const std::optional<Value> haystack = asText(container);
    const std::optional<Value> needle = asText(part);
    if (!haystack || !needle) {
        raise(at, errors::cantMakeType,
              QStringLiteral("Can’t make ") + describe(haystack ? part : container) +
                  QStringLiteral(" into type text."));
    }
    chargeComparison(haystack->text.size() + needle->text.size());
    switch (op) {
    case CompareOp::StartsWith:
        return textStartsWith(haystack->text, needle->text);
    case CompareOp::EndsWith:
        return textEndsWith(haystack->text, needle->text);
    default:
        return textContains(haystack->text, needle->text);
    }
}

Value Interpreter::evalCoerce(const Node& e) {
    return coerce(eval(kid(e)), e.typeClass(), e);
}

Value Interpreter::coerce(const Value& v, TypeClass typeClass, const Node& at) {
    tick();
    const auto fail = [&]() {
        raise(at, errors::cantMakeType,
              QStringLiteral("Can’t make ") + describe(v) + QStringLiteral(" into type ") +
                  typeClassName(typeClass) + u'.');
    };
    switch (typeClass) {
    case TypeClass::Integer:
    case TypeClass::Real:
    case TypeClass::Number: {
        const std::optional<Value> number = asNumber(v);
        if (!number) {
            fail();
        }
        if (typeClass == TypeClass::Real) {
            return Value::fromReal(number->number());
        }
        // A real becomes an integer only when it is a whole number the integers hold.
        if (typeClass == TypeClass::Integer && number->kind == Value::Kind::Real) {
            if (number->real != std::trunc(number->real) || std::abs(number->real) > double(largestInteger)) {
                fail();
            }
            return Value::fromInteger(qint64(number->real));
        }
        return *number;
    }
    case TypeClass::Text:
    case TypeClass::String: {
        if (v.isText()) {
            return v;
        }
        std::optional<Value> text = asText(v);
        if (!text) {
            fail();
        }
        makeText(text->text.size(), text->fromApplication);
        return *std::move(text);
    }
    case TypeClass::List:
        if (v.kind == Value::Kind::List) {
            return v;
        }
        if (v.kind == Value::Kind::Record) {
            makeList(qsizetype(v.items->size()));
            return Value::list(*v.items);
        }
        makeList(1);
        return nestable(Value::list({v}), at);
    }
    return Value{};
}

} // namespace standin::applescript
