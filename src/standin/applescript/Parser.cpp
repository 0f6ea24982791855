#include "Parser.h"

#include "ParserSupport.h"
#include "ScriptFailure.h"
#include "Value.h"

#include <limits>

namespace standin::applescript {

namespace {

// What a slot takes at run time, charged when the parser meets a new variable, with its names.
constexpr qint64 variableBytes = qint64(sizeof(std::optional<Value>)) + 64;

} // namespace

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

int Parser::labelFor(const QString& foldedName, const QString& spelling, qsizetype start, qsizetype end) {
    auto it = m_labels.constFind(foldedName);
    if (it != m_labels.constEnd()) {
        return *it;
    }
    m_budget.charge(2 * ParseBudget::textBytes(foldedName.size()) + 64, start, end);
    const int label = int(m_script.labels.size());
    m_labels.insert(foldedName, label);
    m_script.labels.push_back(spelling);
    return label;
}

void Parser::stackOverflow() const {
    const Token& t = m_in.peek();
    throw ScriptFailure::syntax(errors::stackOverflow, QStringLiteral("Stack overflow."), t.start, t.end);
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
    NodeIndex target = noNode;
    if (m_in.isWord(u"end") && m_in.isWord(u"of", 1)) {
        // `set end of L to x` adds x to the list in L.
        const qsizetype targetStart = m_in.peek().start;
        m_in.skip(2);
        const NodeIndex list = acceptVariable();
        if (list == noNode) {
            m_in.failExpected(QStringLiteral("variable name"));
        }
        target = add(NodeKind::EndOf, targetStart);
        Kids(*this, target).add(list);
        close(target);
    } else {
        target = parseReference();
    }
    const NodeKind targetKind = at(target).kind;
    if (targetKind != NodeKind::Variable && targetKind != NodeKind::Property &&
        targetKind != NodeKind::EndOf && targetKind != NodeKind::Delimiters) {
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

// repeat / repeat N times / repeat while C / repeat until C / repeat with V in L /
// repeat with V from A to B [by C], each then its block and `end repeat`.
NodeIndex Parser::parseRepeat() {
    const qsizetype start = m_in.take().start;
    NodeIndex s = noNode;
    std::optional<Kids> kids;
    const auto begin = [&](NodeKind kind) {
        s = add(kind, start);
        kids.emplace(*this, s);
    };
    if (m_in.atEndOfStatement()) {
        begin(NodeKind::RepeatForever);
    } else if (m_in.acceptWord(u"with")) {
        const NodeIndex variable = acceptVariable();
        if (variable == noNode) {
            m_in.failExpected(QStringLiteral("variable name"));
        }
        if (m_in.acceptWord(u"in")) {
            begin(NodeKind::RepeatIn);
            kids->add(variable);
            kids->add(parseExpression());
        } else if (m_in.acceptWord(u"from")) {
            begin(NodeKind::RepeatFrom);
            kids->add(variable);
            kids->add(parseExpression());
            m_in.expectWord(u"to");
            kids->add(parseExpression());
            if (m_in.acceptWord(u"by")) {
                at(s).flags |= flags::hasStep;
                kids->add(parseExpression());
            }
        } else {
            m_in.failExpected(QStringLiteral("“in” or “from”"));
        }
    } else if (m_in.isWord(u"while") || m_in.isWord(u"until")) {
        begin(NodeKind::RepeatWhile);
        if (m_in.take().text == u"until") {
            at(s).flags |= flags::until;
        }
        kids->add(parseExpression());
    } else {
        begin(NodeKind::RepeatTimes);
        kids->add(parseExpression());
        m_in.expectWord(u"times");
    }
    close(s);
    if (!m_in.atEndOfStatement()) {
        m_in.failExpected(QStringLiteral("end of line"));
    }
    ++m_repeatDepth;
    kids->add(parseBlock());
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

} // namespace standin::applescript
