// Operators, from the loosest binding to the tightest, as the language ranks them: or; and; not;
// = and ≠ (is, is not); < > ≤ ≥ and the containment operators; as; &; + and -; * / div mod; ^; a
// sign. Comparisons take one operator (`a < b < c` is refused); ^ groups from the right, the rest
// from the left.
#include "ParserSupport.h"

#include <limits>

namespace standin::applescript {

NodeIndex Parser::parseExpression() {
    const qsizetype start = m_in.peek().start;
    const NodeIndex first = parseAnd();
    if (!m_in.isWord(u"or")) {
        return first;
    }
    const NodeIndex e = add(NodeKind::Or, start);
    Kids kids(*this, e);
    kids.add(first);
    while (m_in.acceptWord(u"or")) {
        kids.add(parseAnd());
    }
    close(e);
    return e;
}

NodeIndex Parser::parseAnd() {
    const qsizetype start = m_in.peek().start;
    const NodeIndex first = parseNot();
    if (!m_in.isWord(u"and")) {
        return first;
    }
    const NodeIndex e = add(NodeKind::And, start);
    Kids kids(*this, e);
    kids.add(first);
    while (m_in.acceptWord(u"and")) {
        kids.add(parseNot());
    }
    close(e);
    return e;
}

NodeIndex Parser::parseNot() {
    const qsizetype start = m_in.peek().start;
    if (!m_in.acceptWord(u"not")) {
        return parseEquality();
    }
    DepthGuard guard(*this);
    const NodeIndex operand = parseNot();
    const NodeIndex e = add(NodeKind::Not, start);
    Kids(*this, e).add(operand);
    return e;
}

NodeIndex Parser::parseEquality() {
    const qsizetype start = m_in.peek().start;
    const NodeIndex left = parseRelational();
    CompareOp op;
    if (m_in.accept(TokenKind::Equals) || m_in.acceptWord(u"equals")) {
        op = CompareOp::Equal;
    } else if (m_in.accept(TokenKind::NotEquals)) {
        op = CompareOp::NotEqual;
    } else if (m_in.acceptWord(u"is")) {
        op = m_in.acceptWord(u"not") ? CompareOp::NotEqual : CompareOp::Equal;
        if (m_in.acceptWord(u"equal")) {
            m_in.expectWord(u"to");
        }
    } else {
        return left;
    }
    const NodeIndex right = parseRelational();
    const NodeIndex e = add(NodeKind::Compare, start);
    at(e).op = std::uint8_t(op);
    Kids kids(*this, e);
    kids.add(left);
    kids.add(right);
    return e;
}

NodeIndex Parser::parseRelational() {
    const qsizetype start = m_in.peek().start;
    const NodeIndex left = parseCoercion();
    const std::optional<CompareOp> op = acceptRelational();
    if (!op) {
        return left;
    }
    const NodeIndex right = parseCoercion();
    const NodeIndex e = add(NodeKind::Compare, start);
    at(e).op = std::uint8_t(*op);
    Kids kids(*this, e);
    kids.add(left);
    kids.add(right);
    return e;
}

std::optional<CompareOp> Parser::acceptRelational() {
    switch (m_in.peek().kind) {
    case TokenKind::Less:
        m_in.take();
        return CompareOp::Less;
    case TokenKind::Greater:
        m_in.take();
        return CompareOp::Greater;
    case TokenKind::LessEqual:
        m_in.take();
        return CompareOp::LessEqual;
    case TokenKind::GreaterEqual:
        m_in.take();
        return CompareOp::GreaterEqual;
    default:
        break;
    }
    if (m_in.acceptWord(u"contains")) {
        return CompareOp::Contains;
    }
    if (m_in.isWord(u"does") && m_in.isWord(u"not", 1) && m_in.isWord(u"contain", 2)) {
        m_in.skip(3);
        return CompareOp::NotContains;
    }
    if ((m_in.isWord(u"starts") || m_in.isWord(u"begins")) && m_in.isWord(u"with", 1)) {
        m_in.skip(2);
        return CompareOp::StartsWith;
    }
    if (m_in.isWord(u"ends") && m_in.isWord(u"with", 1)) {
        m_in.skip(2);
        return CompareOp::EndsWith;
    }
    if (!m_in.isWord(u"is")) {
        return std::nullopt;
    }
    if (m_in.isWord(u"in", 1)) {
        m_in.skip(2);
        return CompareOp::In;
    }
    if (m_in.isWord(u"not", 1) && m_in.isWord(u"in", 2)) {
        m_in.skip(3);
        return CompareOp::NotIn;
    }
    if (m_in.isWord(u"less", 1) || m_in.isWord(u"greater", 1)) {
        const bool less = m_in.isWord(u"less", 1);
        m_in.skip(2);
        m_in.expectWord(u"than");
        // `or equal to` belongs to the operator, not to a following `or`.
        if (m_in.isWord(u"or") && m_in.isWord(u"equal", 1)) {
            m_in.skip(2);
            m_in.expectWord(u"to");
            return less ? CompareOp::LessEqual : CompareOp::GreaterEqual;
        }
        return less ? CompareOp::Less : CompareOp::Greater;
    }
    return std::nullopt;
}

NodeIndex Parser::parseCoercion() {
    const qsizetype start = m_in.peek().start;
    NodeIndex e = parseConcat();
    int chained = 0;
    while (m_in.acceptWord(u"as")) {
        // Each `as` wraps what came before, so a chain of them is as deep as it is long.
        if (++chained + m_depth > maxDepth) {
            stackOverflow();
        }
        static const std::pair<QStringView, TypeClass> classes[] = {
            {u"integer", TypeClass::Integer}, {u"real", TypeClass::Real},     {u"number", TypeClass::Number},
            {u"text", TypeClass::Text},       {u"string", TypeClass::String}, {u"list", TypeClass::List},
        };
        std::optional<TypeClass> typeClass;
        for (const auto& [word, candidate] : classes) {
            if (m_in.acceptWord(word)) {
                typeClass = candidate;
                break;
            }
        }
        if (!typeClass) {
            m_in.failExpected(QStringLiteral("class name"));
        }
        const NodeIndex coerced = add(NodeKind::Coerce, start);
        at(coerced).op = std::uint8_t(*typeClass);
        Kids(*this, coerced).add(e);
        e = coerced;
    }
    return e;
}

bool Parser::isConstantText(NodeIndex n) {
    return at(n).kind == NodeKind::Text;
}

// Texts written in the program are joined once, here: `"a" & quote & "b"` becomes one text, as
// Orvalet writes every literal that holds a double quote, and a name of a megabyte in that form
// takes one node instead of a million. Only a run at the start is joined: after any other operand,
// what `&` makes depends on the values.
NodeIndex Parser::parseConcat() {
    const qsizetype start = m_in.peek().start;
    const NodeIndex first = parseAdditive();
    if (m_in.peek().kind != TokenKind::Ampersand) {
        return first;
    }
    NodeIndex e = noNode;
    std::optional<Kids> kids;
    bool folding = isConstantText(first);
    std::optional<QString> folded;
    qint64 foldCharged = 0; // what the joined text has been charged while it grew
    while (m_in.accept(TokenKind::Ampersand)) {
        const NodeIndex operand = parseAdditive();
        if (folding && isConstantText(operand)) {
            if (!folded) {
                // The first text is copied (it may have been read from the source): that is held too.
                const qint64 firstBytes = 2 * qint64(m_script.textLength(at(first)));
                m_budget.charge(firstBytes, start, at(first).end);
                foldCharged += firstBytes;
                folded = m_script.text(at(first));
            }
            const QString piece = m_script.text(at(operand));
            const qsizetype pieceEnd = at(operand).end;
            // A text longer than a run may make is out of memory here as it would be there.
            if (folded->size() + piece.size() > m_limits.maxTextLength) {
                ParseBudget::fail(start, pieceEnd);
            }
            m_budget.charge(2 * qint64(piece.size()), start, pieceEnd);
            foldCharged += 2 * qint64(piece.size());
            discardLast(operand);
            folded->append(piece);
            at(first).end = std::int32_t(pieceEnd);
            continue;
        }
        folding = false;
        if (e == noNode) {
            e = add(NodeKind::Concat, start);
            kids.emplace(*this, e);
            kids->add(first);
        }
        kids->add(operand);
    }
    if (folded) {
        Node& text = at(first);
        m_budget.refund(foldCharged);
        if (text.textForm() == TextForm::Kept && text.value == int(m_script.texts.size()) - 1) {
            m_budget.refund(qint64(sizeof(QString)) + ParseBudget::textBytes(m_script.texts.back().size()));
            m_script.texts.pop_back();
        }
        text.value = keepText(std::move(*folded), text.start, text.end);
        text.op = std::uint8_t(TextForm::Kept);
    }
    if (e == noNode) {
        return first;
    }
    close(e);
    return e;
}

// A chain of operands of one precedence: every operand after the first carries the operator that
// joins it to what comes before, so that a thousand additions are one node with a thousand kids and
// never a tree a thousand deep.
NodeIndex Parser::parseChain(NodeIndex (Parser::*operand)(),
                             std::optional<ArithOp> (Parser::*acceptOperator)()) {
    const qsizetype start = m_in.peek().start;
    const NodeIndex first = (this->*operand)();
    std::optional<ArithOp> op = (this->*acceptOperator)();
    if (!op) {
        return first;
    }
    const NodeIndex e = add(NodeKind::Arithmetic, start);
    Kids kids(*this, e);
    kids.add(first);
    do {
        const NodeIndex next = (this->*operand)();
        at(next).chainOp = std::uint8_t(*op);
        kids.add(next);
    } while ((op = (this->*acceptOperator)()));
    close(e);
    return e;
}

NodeIndex Parser::parseAdditive() {
    return parseChain(&Parser::parseMultiplicative, &Parser::acceptAdditive);
}

std::optional<ArithOp> Parser::acceptAdditive() {
    if (m_in.accept(TokenKind::Plus)) {
        return ArithOp::Plus;
    }
    if (m_in.accept(TokenKind::Minus)) {
        return ArithOp::Minus;
    }
    return std::nullopt;
}

NodeIndex Parser::parseMultiplicative() {
    return parseChain(&Parser::parsePower, &Parser::acceptMultiplicative);
}

std::optional<ArithOp> Parser::acceptMultiplicative() {
    if (m_in.accept(TokenKind::Star)) {
        return ArithOp::Times;
    }
    if (m_in.accept(TokenKind::Slash)) {
        return ArithOp::Divide;
    }
    if (m_in.acceptWord(u"div")) {
        return ArithOp::Div;
    }
    if (m_in.acceptWord(u"mod")) {
        return ArithOp::Mod;
    }
    return std::nullopt;
}

NodeIndex Parser::parsePower() {
    const qsizetype start = m_in.peek().start;
    const NodeIndex base = parseUnary();
    if (!m_in.accept(TokenKind::Caret)) {
        return base;
    }
    DepthGuard guard(*this);
    const NodeIndex exponent = parsePower();
    const NodeIndex e = add(NodeKind::Arithmetic, start);
    at(exponent).chainOp = std::uint8_t(ArithOp::Power);
    Kids kids(*this, e);
    kids.add(base);
    kids.add(exponent);
    return e;
}

NodeIndex Parser::parseUnary() {
    const qsizetype start = m_in.peek().start;
    // `get` asks for the value of what follows: a reference to the application's object is sent
    // there up to this point, and what comes back is a value of the program's own.
    if (m_in.acceptWord(u"get")) {
        DepthGuard guard(*this);
        const NodeIndex operand = parseUnary();
        const NodeIndex e = add(NodeKind::Get, start);
        Kids(*this, e).add(operand);
        return e;
    }
    const TokenKind kind = m_in.peek().kind;
    if (kind != TokenKind::Minus && kind != TokenKind::Plus) {
        return parseReference();
    }
    m_in.take();
    DepthGuard guard(*this);
    return withSign(parseUnary(), kind == TokenKind::Minus, start);
}

// A sign before a number written in the program makes it a negative number, as the compiler makes
// it; before anything else it is an operation.
NodeIndex Parser::withSign(NodeIndex operand, bool minus, qsizetype start) {
    Node& n = at(operand);
    if (n.kind == NodeKind::Integer || n.kind == NodeKind::Real) {
        if (minus && n.kind == NodeKind::Integer) {
            n.value = -n.value;
        } else if (minus) {
            m_script.reals[std::size_t(n.value)] = -m_script.reals[std::size_t(n.value)];
        }
        n.start = std::int32_t(start);
        return operand;
    }
    const NodeIndex e = add(NodeKind::Negate, start);
    at(e).op = minus ? 0 : 1;
    Kids(*this, e).add(operand);
    return e;
}

} // namespace standin::applescript
