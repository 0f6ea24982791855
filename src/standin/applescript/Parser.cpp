#include "Parser.h"

#include "ScriptFailure.h"
#include "Value.h"

#include <limits>

namespace standin::applescript {

namespace {

// What a slot takes at run time, charged when the parser meets a new variable, with its names.
constexpr qint64 variableBytes = qint64(sizeof(std::optional<Value>)) + 64;

} // namespace

// Counts one level of nesting for as long as it lives.
class Parser::DepthGuard final {
public:
    explicit DepthGuard(Parser& parser)
        : m_parser(parser) {
        if (++m_parser.m_depth > maxDepth) {
            const Token& t = m_parser.m_in.peek();
            throw ScriptFailure::syntax(errors::stackOverflow, QStringLiteral("Stack overflow."), t.start,
                                        t.end);
        }
    }
    ~DepthGuard() { --m_parser.m_depth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

private:
    Parser& m_parser;
};

// Links kids to their parent in the order they are added.
class Parser::Kids final {
public:
    Kids(Parser& parser, NodeIndex parent)
        : m_parser(parser)
        , m_parent(parent) {}

    void add(NodeIndex kid) {
        if (m_last == noNode) {
            m_parser.at(m_parent).firstKid = kid;
        } else {
            m_parser.at(m_last).next = kid;
        }
        m_last = kid;
    }

private:
    Parser& m_parser;
    NodeIndex m_parent;
    NodeIndex m_last = noNode;
};

Script Parser::parse(const QString& source, const Limits& limits) {
    Parser parser(source, limits);
    parser.m_script.body = parser.parseBlock();
    if (parser.m_in.peek().kind != TokenKind::EndOfScript) {
        parser.m_in.failExpected(QStringLiteral("end of script"));
    }
    return std::move(parser.m_script);
}

Parser::Parser(const QString& source, const Limits& limits)
    : m_limits(limits)
    , m_budget(limits)
    , m_in(source, m_budget) {
    // Node offsets are 32-bit; the budget keeps the program far below that anyway.
    if (source.size() >= std::numeric_limits<std::int32_t>::max()) {
        ParseBudget::fail(0, 0);
    }
    m_budget.charge(ParseBudget::textBytes(source.size()), 0, 0);
    m_script.source = source;
}

// ---- the tree ----

NodeIndex Parser::add(NodeKind kind, qsizetype start) {
    const qsizetype end = std::max(start, m_in.previousEnd());
    m_budget.countNode(start, end);
    Node node;
    node.kind = kind;
    node.start = std::int32_t(start);
    node.end = std::int32_t(end);
    bool newChunk = false;
    const NodeIndex i = m_script.nodes.add(node, newChunk);
    if (newChunk) {
        m_budget.charge(NodePool::chunkBytes, start, end);
    }
    return i;
}

void Parser::close(NodeIndex n) {
    Node& node = at(n);
    node.end = std::max(node.start, std::int32_t(m_in.previousEnd()));
}

int Parser::keepText(QString text, qsizetype start, qsizetype end) {
    m_budget.charge(qint64(sizeof(QString)) + ParseBudget::textBytes(text.size()), start, end);
    m_script.texts.push_back(std::move(text));
    return int(m_script.texts.size() - 1);
}

NodeIndex Parser::textNode(const Token& token) {
    const NodeIndex n = add(NodeKind::Text, token.start);
    at(n).end = std::int32_t(token.end);
    if (token.inSource) {
        at(n).op = std::uint8_t(TextForm::InSource);
    } else {
        at(n).op = std::uint8_t(TextForm::Kept);
        at(n).value = keepText(token.text, token.start, token.end);
    }
    return n;
}

// Lets go of the node just made (a text folded into the one before it), and of its text.
void Parser::discardLast(NodeIndex n) {
    if (n != m_script.nodes.size() - 1) {
        return;
    }
    const Node& node = at(n);
    if (node.kind == NodeKind::Text && node.textForm() == TextForm::Kept &&
        node.value == int(m_script.texts.size()) - 1) {
        m_budget.refund(qint64(sizeof(QString)) + ParseBudget::textBytes(m_script.texts.back().size()));
        m_script.texts.pop_back();
    }
    m_script.nodes.removeLast();
    m_budget.uncountNode();
}

int Parser::slotFor(const QString& foldedName, const QString& spelling, qsizetype start, qsizetype end) {
    auto it = m_slots.constFind(foldedName);
    if (it != m_slots.constEnd()) {
        return *it;
    }
    m_budget.charge(variableBytes + 2 * ParseBudget::textBytes(foldedName.size()), start, end);
    const int slot = int(m_script.variableNames.size());
    m_slots.insert(foldedName, slot);
    m_script.variableNames.push_back(spelling);
    return slot;
}

NodeIndex Parser::acceptVariable() {
    const Token& t = m_in.peek();
    if (t.kind != TokenKind::Word || m_in.isReserved(t.text)) {
        return noNode;
    }
    const NodeIndex n = add(NodeKind::Variable, t.start);
    at(n).value = slotFor(t.text, m_in.spelling(t), t.start, t.end);
    m_in.take();
    close(n);
    return n;
}

// ---- statements ----

bool Parser::atBlockEnd() const {
    return m_in.peek().kind == TokenKind::EndOfScript || m_in.isWord(u"end") || m_in.isWord(u"else") ||
           (m_in.isWord(u"on") && m_in.isWord(u"error", 1));
}

NodeIndex Parser::parseBlock() {
    DepthGuard guard(*this);
    const NodeIndex block = add(NodeKind::Block, m_in.peek().start);
    Kids statements(*this, block);
    m_in.accept(TokenKind::EndOfLine);
    while (!atBlockEnd()) {
        statements.add(parseStatement());
        m_in.endStatement();
    }
    return block;
}

void Parser::parseEnd(QStringView blockWord) {
    m_in.expectWord(u"end");
    if (m_in.atEndOfStatement()) {
        return;
    }
    if (!m_in.acceptWord(blockWord)) {
        m_in.failExpected(QStringLiteral("“end” or “end ") + blockWord.toString() + QStringLiteral("”"));
    }
}

NodeIndex Parser::parseStatement() {
    if (m_in.isWord(u"tell")) {
        return parseTell();
    }
    if (m_in.isWord(u"repeat")) {
        return parseRepeat();
    }
    if (m_in.isWord(u"if")) {
        return parseIf();
    }
    if (m_in.isWord(u"try")) {
        return parseTry();
    }
    return parseSimpleStatement();
}

NodeIndex Parser::parseSimpleStatement() {
    const qsizetype start = m_in.peek().start;
    NodeIndex s = noNode;
    if (m_in.acceptWord(u"set")) {
        s = parseSet(start);
    } else if (m_in.acceptWord(u"exit")) {
        m_in.acceptWord(u"repeat");
        if (m_repeatDepth == 0) {
            throw ScriptFailure::syntax(errors::exitOutsideRepeat,
                                        QStringLiteral("Exit statement was not in a repeat loop."), start,
                                        m_in.previousEnd());
        }
        s = add(NodeKind::Exit, start);
    } else if (m_in.acceptWord(u"return")) {
        s = add(NodeKind::Return, start);
        if (!m_in.atEndOfStatement()) {
            Kids(*this, s).add(parseExpression());
        }
    } else if (m_in.acceptWord(u"delete")) {
        s = add(NodeKind::Delete, start);
        Kids(*this, s).add(parseExpression());
    } else if (m_in.isWord(u"error")) {
        s = parseError();
    } else {
        s = add(NodeKind::Expression, start);
        Kids(*this, s).add(parseExpression());
    }
    close(s);
    return s;
}

NodeIndex Parser::parseTell() {
    const qsizetype start = m_in.take().start;
    const NodeIndex s = add(NodeKind::Tell, start);
    Kids kids(*this, s);
    m_in.expectWord(u"application");
    kids.add(parseConcat());
    close(s);
    if (m_in.acceptWord(u"to")) {
        // The one-line form: tell application "X" to <statement>.
        DepthGuard guard(*this);
        const NodeIndex block = add(NodeKind::Block, m_in.peek().start);
        Kids(*this, block).add(parseSimpleStatement());
        kids.add(block);
        return s;
    }
    if (!m_in.atEndOfStatement()) {
        m_in.failExpected(QStringLiteral("end of line, etc."));
    }
    kids.add(parseBlock());
    parseEnd(u"tell");
    return s;
}

NodeIndex Parser::parseSet(qsizetype start) {
    const NodeIndex s = add(NodeKind::Set, start);
    const NodeIndex target = parseReference();
    const NodeKind targetKind = at(target).kind;
    if (targetKind != NodeKind::Variable && targetKind != NodeKind::Property) {
        m_in.failExpected(QStringLiteral("“to”"));
    }
    m_in.expectWord(u"to");
    const NodeIndex value = parseExpression();
    Kids kids(*this, s);
    kids.add(target);
    kids.add(value);
    const Node& v = at(value);
    if (targetKind == NodeKind::Variable && v.kind == NodeKind::Concat) {
        const Node& head = at(v.firstKid);
        if (head.kind == NodeKind::Variable && head.value == at(target).value) {
            at(s).flags |= flags::appendsInPlace;
        }
    }
    return s;
}

NodeIndex Parser::parseRepeat() {
    const qsizetype start = m_in.take().start;
    const NodeIndex s = add(NodeKind::RepeatIn, start);
    Kids kids(*this, s);
    m_in.expectWord(u"with");
    const NodeIndex variable = acceptVariable();
    if (variable == noNode) {
        m_in.failExpected(QStringLiteral("variable name"));
    }
    kids.add(variable);
    m_in.expectWord(u"in");
    kids.add(parseExpression());
    close(s);
    if (!m_in.atEndOfStatement()) {
        m_in.failExpected(QStringLiteral("end of line"));
    }
    ++m_repeatDepth;
    kids.add(parseBlock());
    --m_repeatDepth;
    parseEnd(u"repeat");
    return s;
}

NodeIndex Parser::parseIf() {
    const qsizetype start = m_in.take().start;
    const NodeIndex s = add(NodeKind::If, start);
    Kids kids(*this, s);
    kids.add(parseExpression());
    const bool saidThen = m_in.acceptWord(u"then");
    close(s);
    if (!m_in.atEndOfStatement()) {
        if (!saidThen) {
            m_in.failExpected(QStringLiteral("“then”"));
        }
        // The one-line form: if <condition> then <statement>.
        DepthGuard guard(*this);
        const NodeIndex branch = add(NodeKind::Block, m_in.peek().start);
        Kids(*this, branch).add(parseSimpleStatement());
        kids.add(branch);
        return s;
    }
    kids.add(parseBlock());
    while (m_in.acceptWord(u"else")) {
        if (m_in.acceptWord(u"if")) {
            kids.add(parseExpression());
            m_in.acceptWord(u"then");
            if (!m_in.atEndOfStatement()) {
                m_in.failExpected(QStringLiteral("end of line"));
            }
            kids.add(parseBlock());
            continue;
        }
        if (!m_in.atEndOfStatement()) {
            m_in.failExpected(QStringLiteral("end of line"));
        }
        kids.add(parseBlock());
        at(s).flags |= flags::hasElse;
        break;
    }
    parseEnd(u"if");
    return s;
}

NodeIndex Parser::parseTry() {
    const qsizetype start = m_in.take().start;
    const NodeIndex s = add(NodeKind::Try, start);
    Kids kids(*this, s);
    if (!m_in.atEndOfStatement()) {
        m_in.failExpected(QStringLiteral("end of line"));
    }
    kids.add(parseBlock());
    if (m_in.acceptWord(u"on")) {
        m_in.expectWord(u"error");
        at(s).flags |= flags::hasHandler;
        const NodeIndex message = acceptVariable();
        NodeIndex number = noNode;
        if (m_in.acceptWord(u"number")) {
            number = acceptVariable();
            if (number == noNode) {
                m_in.failExpected(QStringLiteral("variable name"));
            }
        }
        if (!m_in.atEndOfStatement()) {
            m_in.failExpected(QStringLiteral("end of line"));
        }
        kids.add(parseBlock());
        if (message != noNode) {
            at(s).flags |= flags::hasMessageVariable;
            kids.add(message);
        }
        if (number != noNode) {
            at(s).flags |= flags::hasNumberVariable;
            kids.add(number);
        }
    }
    m_in.expectWord(u"end");
    if (!m_in.atEndOfStatement() && !m_in.acceptWord(u"try") && !m_in.acceptWord(u"error")) {
        m_in.failExpected(QStringLiteral("“end” or “end try”"));
    }
    return s;
}

NodeIndex Parser::parseError() {
    const NodeIndex s = add(NodeKind::Error, m_in.take().start);
    Kids kids(*this, s);
    if (!m_in.atEndOfStatement() && !m_in.isWord(u"number")) {
        at(s).flags |= flags::hasMessage;
        kids.add(parseExpression());
    }
    if (m_in.acceptWord(u"number")) {
        at(s).flags |= flags::hasNumber;
        kids.add(parseExpression());
    }
    return s;
}

// ---- expressions, from the loosest binding to the tightest ----

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
        return parseComparison();
    }
    DepthGuard guard(*this);
    const NodeIndex operand = parseNot();
    const NodeIndex e = add(NodeKind::Not, start);
    Kids(*this, e).add(operand);
    return e;
}

NodeIndex Parser::parseComparison() {
    const qsizetype start = m_in.peek().start;
    const NodeIndex left = parseConcat();
    CompareOp op;
    if (m_in.accept(TokenKind::Equals) || m_in.acceptWord(u"equals")) {
        op = CompareOp::Equal;
    } else if (m_in.accept(TokenKind::NotEquals)) {
        op = CompareOp::NotEqual;
    } else if (m_in.acceptWord(u"contains")) {
        op = CompareOp::Contains;
    } else if (m_in.acceptWord(u"is")) {
        op = m_in.acceptWord(u"not") ? CompareOp::NotEqual : CompareOp::Equal;
        if (m_in.acceptWord(u"equal")) {
            m_in.expectWord(u"to");
        }
    } else {
        return left;
    }
    const NodeIndex right = parseConcat();
    const NodeIndex e = add(NodeKind::Compare, start);
    at(e).op = std::uint8_t(op);
    Kids kids(*this, e);
    kids.add(left);
    kids.add(right);
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
    const NodeIndex first = parseReference();
    if (m_in.peek().kind != TokenKind::Ampersand) {
        return first;
    }
    NodeIndex e = noNode;
    std::optional<Kids> kids;
    bool folding = isConstantText(first);
    std::optional<QString> folded;
    qint64 foldCharged = 0; // what the joined text has been charged while it grew
    while (m_in.accept(TokenKind::Ampersand)) {
        const NodeIndex operand = parseReference();
        if (folding && isConstantText(operand)) {
            if (!folded) {
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

// ---- references and primaries ----

std::optional<Property> Parser::acceptProperty() {
    if (m_in.acceptWord(u"id")) {
        return Property::Id;
    }
    if (m_in.acceptWord(u"name")) {
        return Property::Name;
    }
    if (m_in.acceptWord(u"status")) {
        return Property::Status;
    }
    if (m_in.isWord(u"parent") && m_in.isWord(u"tag", 1)) {
        m_in.skip(2);
        return Property::ParentTag;
    }
    if (m_in.isWord(u"keyboard") && m_in.isWord(u"shortcut", 1)) {
        m_in.skip(2);
        return Property::KeyboardShortcut;
    }
    // Before `tag` is read as a class: `tag names of to do id "…"` is a property of the to-do.
    if (m_in.isWord(u"tag") && m_in.isWord(u"names", 1)) {
        m_in.skip(2);
        return Property::TagNames;
    }
    return std::nullopt;
}

std::optional<ObjectClass> Parser::acceptSingularClass() {
    if (m_in.acceptWord(u"tag")) {
        return ObjectClass::Tag;
    }
    if (m_in.isWord(u"to") && m_in.isWord(u"do", 1)) {
        m_in.skip(2);
        return ObjectClass::Todo;
    }
    return std::nullopt;
}

NodeIndex Parser::parseReference() {
    DepthGuard guard(*this);
    const qsizetype start = m_in.peek().start;
    if (std::optional<Property> property = acceptProperty()) {
        const NodeIndex e = add(NodeKind::Property, start);
        at(e).op = std::uint8_t(*property);
        if (m_in.acceptWord(u"of")) {
            Kids(*this, e).add(parseReference());
            close(e);
        }
        return e;
    }
    if (m_in.acceptWord(u"tags")) {
        return parseElements(ObjectClass::Tag, start);
    }
    if (m_in.isWord(u"to") && m_in.isWord(u"dos", 1)) {
        m_in.skip(2);
        return parseElements(ObjectClass::Todo, start);
    }
    if (m_in.acceptWord(u"every")) {
        std::optional<ObjectClass> objectClass = acceptSingularClass();
        if (!objectClass) {
            m_in.failExpected(QStringLiteral("class name"));
        }
        return parseElements(*objectClass, start);
    }
    if (std::optional<ObjectClass> objectClass = acceptSingularClass()) {
        // An element's key is one primary, as in the language: `tag "a" & quote & "b"` is the
        // reference `tag "a"` joined to two texts, and only `tag ("a" & quote & "b")` addresses
        // the tag named a"b.
        const NodeKind kind = m_in.acceptWord(u"id") ? NodeKind::ById : NodeKind::ByName;
        const NodeIndex key = parsePrimary();
        const NodeIndex e = add(kind, start);
        at(e).op = std::uint8_t(*objectClass);
        Kids(*this, e).add(key);
        return e;
    }
    if (m_in.acceptWord(u"count")) {
        m_in.acceptWord(u"of");
        const NodeIndex operand = parseReference();
        const NodeIndex e = add(NodeKind::Count, start);
        Kids(*this, e).add(operand);
        return e;
    }
    if (m_in.acceptWord(u"make")) {
        return parseMake(start);
    }
    const NodeIndex primary = parsePrimary();
    // A filter applies to elements only: `(every tag) whose ...` filters them, while a text, a
    // variable or a single object followed by `whose` leaves the word to whatever comes next
    // (in `to dos of (tag "Work") whose ...` it filters the to-dos).
    const NodeKind kind = at(primary).kind;
    const bool filterable = kind == NodeKind::Elements || kind == NodeKind::Whose;
    if (filterable && (m_in.isWord(u"whose") || m_in.isWord(u"where"))) {
        return parseWhose(primary);
    }
    return primary;
}

NodeIndex Parser::parseElements(ObjectClass objectClass, qsizetype start) {
    const NodeIndex e = add(NodeKind::Elements, start);
    at(e).op = std::uint8_t(objectClass);
    if (m_in.acceptWord(u"of") || m_in.acceptWord(u"in")) {
        Kids(*this, e).add(parseReference());
        close(e);
    }
    if (m_in.isWord(u"whose") || m_in.isWord(u"where")) {
        return parseWhose(e);
    }
    return e;
}

NodeIndex Parser::parseWhose(NodeIndex subject) {
    const qsizetype start = at(subject).start;
    m_in.take();
    const NodeIndex condition = parseExpression();
    const NodeIndex e = add(NodeKind::Whose, start);
    Kids kids(*this, e);
    kids.add(subject);
    kids.add(condition);
    return e;
}

NodeIndex Parser::parseMake(qsizetype start) {
    m_in.expectWord(u"new");
    std::optional<ObjectClass> objectClass = acceptSingularClass();
    if (!objectClass) {
        m_in.failExpected(QStringLiteral("class name"));
    }
    const NodeIndex e = add(NodeKind::Make, start);
    at(e).op = std::uint8_t(*objectClass);
    Kids kids(*this, e);
    if (m_in.acceptWord(u"with")) {
        m_in.expectWord(u"properties");
        if (!m_in.accept(TokenKind::LeftBrace)) {
            m_in.failExpected(QStringLiteral("“{”"));
        }
        if (m_in.peek().kind != TokenKind::RightBrace) {
            do {
                const qsizetype fieldStart = m_in.peek().start;
                std::optional<Property> label = acceptProperty();
                if (!label) {
                    m_in.failExpected(QStringLiteral("property name"));
                }
                if (!m_in.accept(TokenKind::Colon)) {
                    m_in.failExpected(QStringLiteral("“:”"));
                }
                const NodeIndex field = add(NodeKind::Field, fieldStart);
                at(field).op = std::uint8_t(*label);
                Kids(*this, field).add(parseExpression());
                close(field);
                kids.add(field);
            } while (m_in.accept(TokenKind::Comma));
        }
        if (!m_in.accept(TokenKind::RightBrace)) {
            m_in.failExpected(QStringLiteral("“,” or “}”"));
        }
    }
    close(e);
    return e;
}

NodeIndex Parser::parsePrimary() {
    const Token& t = m_in.peek();
    const qsizetype start = t.start;
    switch (t.kind) {
    case TokenKind::LeftParen: {
        m_in.take();
        const NodeIndex inner = parseExpression();
        if (!m_in.accept(TokenKind::RightParen)) {
            m_in.failExpected(QStringLiteral("“)”"));
        }
        return inner;
    }
    case TokenKind::Text:
        return textNode(m_in.take());
    case TokenKind::Integer: {
        const Token number = m_in.take();
        if (number.integer > std::numeric_limits<std::int32_t>::max()) {
            throw ScriptFailure::syntax(errors::expectedButFound,
                                        QStringLiteral("Expected expression but found unknown token."),
                                        number.start, number.end);
        }
        const NodeIndex e = add(NodeKind::Integer, start);
        at(e).value = std::int32_t(number.integer);
        return e;
    }
    case TokenKind::Word:
        break;
    default:
        m_in.failExpected(QStringLiteral("expression"));
    }

    const auto constant = [&](NodeKind kind) {
        m_in.take();
        return add(kind, start);
    };
    if (m_in.isWord(u"true") || m_in.isWord(u"false")) {
        const bool value = m_in.isWord(u"true");
        const NodeIndex e = constant(NodeKind::Boolean);
        at(e).value = value ? 1 : 0;
        return e;
    }
    if (m_in.isWord(u"quote")) {
        const NodeIndex e = constant(NodeKind::Text);
        at(e).op = std::uint8_t(TextForm::Quote);
        return e;
    }
    if (m_in.isWord(u"missing")) {
        m_in.take();
        m_in.expectWord(u"value");
        return add(NodeKind::Missing, start);
    }
    if (m_in.isWord(u"it")) {
        return constant(NodeKind::It);
    }
    for (TodoStatus status : {TodoStatus::Open, TodoStatus::Completed, TodoStatus::Canceled}) {
        if (m_in.isWord(statusName(status))) {
            const NodeIndex e = constant(NodeKind::Status);
            at(e).op = std::uint8_t(status);
            return e;
        }
    }
    const NodeIndex variable = acceptVariable();
    if (variable == noNode) {
        m_in.failExpected(QStringLiteral("expression"));
    }
    return variable;
}

} // namespace standin::applescript
