#include "Parser.h"

#include "Lexer.h"
#include "ScriptFailure.h"
#include "TokenCursor.h"
#include "Value.h"

namespace standin::applescript {

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

Script Parser::parse(const QString& source) {
    Parser parser(source, Lexer::tokenize(source));
    Script script;
    script.body = parser.parseBlock();
    if (parser.m_in.peek().kind != TokenKind::EndOfScript) {
        parser.m_in.failExpected(QStringLiteral("end of script"));
    }
    script.variableNames = std::move(parser.m_names);
    return script;
}

Parser::Parser(const QString& source, TokenList tokens)
    : m_in(source, std::move(tokens)) {}

int Parser::slotFor(const QString& foldedName) {
    auto it = m_slots.constFind(foldedName);
    if (it != m_slots.constEnd()) {
        return *it;
    }
    const int slot = int(m_names.size());
    m_slots.insert(foldedName, slot);
    m_names.push_back(foldedName);
    return slot;
}

int Parser::acceptVariableName() {
    const Token& t = m_in.peek();
    if (t.kind != TokenKind::Word || m_in.isReserved(t.text)) {
        return -1;
    }
    m_in.take();
    return slotFor(t.text);
}

ExprPtr Parser::node(ExprKind kind, qsizetype start) const {
    auto e = std::make_unique<Expr>();
    e->kind = kind;
    e->start = start;
    e->end = std::max(start, m_in.previousEnd());
    return e;
}

std::unique_ptr<Stmt> Parser::statement(StmtKind kind, qsizetype start) const {
    auto s = std::make_unique<Stmt>();
    s->kind = kind;
    s->start = start;
    return s;
}

// ---- statements ----

bool Parser::atBlockEnd() const {
    return m_in.peek().kind == TokenKind::EndOfScript || m_in.isWord(u"end") || m_in.isWord(u"else") ||
           (m_in.isWord(u"on") && m_in.isWord(u"error", 1));
}

Block Parser::parseBlock() {
    DepthGuard guard(*this);
    Block block;
    m_in.accept(TokenKind::EndOfLine);
    while (!atBlockEnd()) {
        block.push_back(parseStatement());
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

std::unique_ptr<Stmt> Parser::parseStatement() {
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

std::unique_ptr<Stmt> Parser::parseSimpleStatement() {
    const qsizetype start = m_in.peek().start;
    std::unique_ptr<Stmt> s;
    if (m_in.acceptWord(u"set")) {
        s = parseSet();
    } else if (m_in.acceptWord(u"exit")) {
        m_in.acceptWord(u"repeat");
        if (m_repeatDepth == 0) {
            throw ScriptFailure::syntax(errors::exitOutsideRepeat,
                                        QStringLiteral("Exit statement was not in a repeat loop."), start,
                                        m_in.previousEnd());
        }
        s = statement(StmtKind::Exit, start);
    } else if (m_in.acceptWord(u"return")) {
        s = statement(StmtKind::Return, start);
        if (!m_in.atEndOfStatement()) {
            s->expr = parseExpression();
        }
    } else if (m_in.acceptWord(u"delete")) {
        s = statement(StmtKind::Delete, start);
        s->expr = parseExpression();
    } else if (m_in.isWord(u"error")) {
        s = parseError();
    } else {
        s = statement(StmtKind::Expression, start);
        s->expr = parseExpression();
    }
    s->start = start;
    s->end = m_in.previousEnd();
    return s;
}

std::unique_ptr<Stmt> Parser::parseTell() {
    const qsizetype start = m_in.take().start;
    auto s = statement(StmtKind::Tell, start);
    m_in.expectWord(u"application");
    s->expr = parseConcat();
    s->end = m_in.previousEnd();
    if (m_in.acceptWord(u"to")) {
        // The one-line form: tell application "X" to <statement>.
        DepthGuard guard(*this);
        s->body.push_back(parseSimpleStatement());
        return s;
    }
    if (!m_in.atEndOfStatement()) {
        m_in.failExpected(QStringLiteral("end of line, etc."));
    }
    s->body = parseBlock();
    parseEnd(u"tell");
    return s;
}

std::unique_ptr<Stmt> Parser::parseSet() {
    auto s = statement(StmtKind::Set, m_in.peek().start);
    s->expr = parseReference();
    const bool assignable = s->expr->kind == ExprKind::Variable || s->expr->kind == ExprKind::Property;
    if (!assignable) {
        m_in.failExpected(QStringLiteral("“to”"));
    }
    m_in.expectWord(u"to");
    s->value = parseExpression();
    s->appendsInPlace = s->expr->kind == ExprKind::Variable && s->value->kind == ExprKind::Concat &&
                        s->value->kids.front()->kind == ExprKind::Variable &&
                        s->value->kids.front()->slot == s->expr->slot;
    return s;
}

std::unique_ptr<Stmt> Parser::parseRepeat() {
    const qsizetype start = m_in.take().start;
    auto s = statement(StmtKind::Repeat, start);
    m_in.expectWord(u"with");
    s->slot = acceptVariableName();
    if (s->slot < 0) {
        m_in.failExpected(QStringLiteral("variable name"));
    }
    m_in.expectWord(u"in");
    s->expr = parseExpression();
    s->end = m_in.previousEnd();
    if (!m_in.atEndOfStatement()) {
        m_in.failExpected(QStringLiteral("end of line"));
    }
    ++m_repeatDepth;
    s->body = parseBlock();
    --m_repeatDepth;
    parseEnd(u"repeat");
    return s;
}

std::unique_ptr<Stmt> Parser::parseIf() {
    const qsizetype start = m_in.take().start;
    auto s = statement(StmtKind::If, start);
    s->conditions.push_back(parseExpression());
    const bool saidThen = m_in.acceptWord(u"then");
    s->end = m_in.previousEnd();
    if (!m_in.atEndOfStatement()) {
        if (!saidThen) {
            m_in.failExpected(QStringLiteral("“then”"));
        }
        // The one-line form: if <condition> then <statement>.
        DepthGuard guard(*this);
        Block branch;
        branch.push_back(parseSimpleStatement());
        s->branches.push_back(std::move(branch));
        return s;
    }
    s->branches.push_back(parseBlock());
    while (m_in.acceptWord(u"else")) {
        if (m_in.acceptWord(u"if")) {
            s->conditions.push_back(parseExpression());
            m_in.acceptWord(u"then");
            if (!m_in.atEndOfStatement()) {
                m_in.failExpected(QStringLiteral("end of line"));
            }
            s->branches.push_back(parseBlock());
            continue;
        }
        if (!m_in.atEndOfStatement()) {
            m_in.failExpected(QStringLiteral("end of line"));
        }
        s->elseBody = parseBlock();
        break;
    }
    parseEnd(u"if");
    return s;
}

std::unique_ptr<Stmt> Parser::parseTry() {
    const qsizetype start = m_in.take().start;
    auto s = statement(StmtKind::Try, start);
    s->end = m_in.previousEnd();
    if (!m_in.atEndOfStatement()) {
        m_in.failExpected(QStringLiteral("end of line"));
    }
    s->body = parseBlock();
    if (m_in.acceptWord(u"on")) {
        m_in.expectWord(u"error");
        s->hasErrorHandler = true;
        s->slot = acceptVariableName();
        if (m_in.acceptWord(u"number")) {
            s->errorNumberSlot = acceptVariableName();
            if (s->errorNumberSlot < 0) {
                m_in.failExpected(QStringLiteral("variable name"));
            }
        }
        if (!m_in.atEndOfStatement()) {
            m_in.failExpected(QStringLiteral("end of line"));
        }
        s->elseBody = parseBlock();
    }
    m_in.expectWord(u"end");
    if (!m_in.atEndOfStatement() && !m_in.acceptWord(u"try") && !m_in.acceptWord(u"error")) {
        m_in.failExpected(QStringLiteral("“end” or “end try”"));
    }
    return s;
}

std::unique_ptr<Stmt> Parser::parseError() {
    auto s = statement(StmtKind::Error, m_in.take().start);
    if (!m_in.atEndOfStatement() && !m_in.isWord(u"number")) {
        s->expr = parseExpression();
    }
    if (m_in.acceptWord(u"number")) {
        s->value = parseExpression();
    }
    return s;
}

// ---- expressions, from the loosest binding to the tightest ----

ExprPtr Parser::parseExpression() {
    const qsizetype start = m_in.peek().start;
    ExprPtr first = parseAnd();
    if (!m_in.isWord(u"or")) {
        return first;
    }
    auto e = node(ExprKind::Or, start);
    e->kids.push_back(std::move(first));
    while (m_in.acceptWord(u"or")) {
        e->kids.push_back(parseAnd());
    }
    e->end = m_in.previousEnd();
    return e;
}

ExprPtr Parser::parseAnd() {
    const qsizetype start = m_in.peek().start;
    ExprPtr first = parseNot();
    if (!m_in.isWord(u"and")) {
        return first;
    }
    auto e = node(ExprKind::And, start);
    e->kids.push_back(std::move(first));
    while (m_in.acceptWord(u"and")) {
        e->kids.push_back(parseNot());
    }
    e->end = m_in.previousEnd();
    return e;
}

ExprPtr Parser::parseNot() {
    const qsizetype start = m_in.peek().start;
    if (!m_in.acceptWord(u"not")) {
        return parseComparison();
    }
    DepthGuard guard(*this);
    ExprPtr operand = parseNot();
    auto e = node(ExprKind::Not, start);
    e->kids.push_back(std::move(operand));
    return e;
}

ExprPtr Parser::parseComparison() {
    const qsizetype start = m_in.peek().start;
    ExprPtr left = parseConcat();
    ExprKind kind;
    if (m_in.accept(TokenKind::Equals) || m_in.acceptWord(u"equals")) {
        kind = ExprKind::Equal;
    } else if (m_in.accept(TokenKind::NotEquals)) {
        kind = ExprKind::NotEqual;
    } else if (m_in.acceptWord(u"contains")) {
        kind = ExprKind::Contains;
    } else if (m_in.acceptWord(u"is")) {
        kind = m_in.acceptWord(u"not") ? ExprKind::NotEqual : ExprKind::Equal;
        if (m_in.acceptWord(u"equal")) {
            m_in.expectWord(u"to");
        }
    } else {
        return left;
    }
    ExprPtr right = parseConcat();
    auto e = node(kind, start);
    e->kids.push_back(std::move(left));
    e->kids.push_back(std::move(right));
    return e;
}

ExprPtr Parser::parseConcat() {
    const qsizetype start = m_in.peek().start;
    ExprPtr first = parseReference();
    if (m_in.peek().kind != TokenKind::Ampersand) {
        return first;
    }
    auto e = node(ExprKind::Concat, start);
    e->kids.push_back(std::move(first));
    while (m_in.accept(TokenKind::Ampersand)) {
        e->kids.push_back(parseReference());
    }
    e->end = m_in.previousEnd();
    return e;
}

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

ExprPtr Parser::parseReference() {
    DepthGuard guard(*this);
    const qsizetype start = m_in.peek().start;
    if (std::optional<Property> property = acceptProperty()) {
        auto e = node(ExprKind::Property, start);
        e->property = *property;
        if (m_in.acceptWord(u"of")) {
            e->kids.push_back(parseReference());
            e->end = m_in.previousEnd();
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
        const ExprKind kind = m_in.acceptWord(u"id") ? ExprKind::ById : ExprKind::ByName;
        ExprPtr key = parsePrimary();
        auto e = node(kind, start);
        e->objectClass = *objectClass;
        e->kids.push_back(std::move(key));
        return e;
    }
    if (m_in.acceptWord(u"count")) {
        m_in.acceptWord(u"of");
        ExprPtr operand = parseReference();
        auto e = node(ExprKind::Count, start);
        e->kids.push_back(std::move(operand));
        return e;
    }
    if (m_in.acceptWord(u"make")) {
        return parseMake(start);
    }
    ExprPtr primary = parsePrimary();
    // A filter applies to elements only: `(every tag) whose ...` filters them, while a text, a
    // variable or a single object followed by `whose` leaves the word to whatever comes next
    // (in `to dos of (tag "Work") whose ...` it filters the to-dos).
    const bool filterable = primary->kind == ExprKind::Elements || primary->kind == ExprKind::Whose;
    if (filterable && (m_in.isWord(u"whose") || m_in.isWord(u"where"))) {
        return parseWhose(std::move(primary));
    }
    return primary;
}

ExprPtr Parser::parseElements(ObjectClass objectClass, qsizetype start) {
    auto e = node(ExprKind::Elements, start);
    e->objectClass = objectClass;
    if (m_in.acceptWord(u"of") || m_in.acceptWord(u"in")) {
        e->kids.push_back(parseReference());
        e->end = m_in.previousEnd();
    }
    if (m_in.isWord(u"whose") || m_in.isWord(u"where")) {
        return parseWhose(std::move(e));
    }
    return e;
}

ExprPtr Parser::parseWhose(ExprPtr subject) {
    const qsizetype start = subject->start;
    m_in.take();
    ExprPtr condition = parseExpression();
    auto e = node(ExprKind::Whose, start);
    e->kids.push_back(std::move(subject));
    e->kids.push_back(std::move(condition));
    return e;
}

ExprPtr Parser::parseMake(qsizetype start) {
    m_in.expectWord(u"new");
    std::optional<ObjectClass> objectClass = acceptSingularClass();
    if (!objectClass) {
        m_in.failExpected(QStringLiteral("class name"));
    }
    auto e = node(ExprKind::Make, start);
    e->objectClass = *objectClass;
    if (m_in.acceptWord(u"with")) {
        m_in.expectWord(u"properties");
        if (!m_in.accept(TokenKind::LeftBrace)) {
            m_in.failExpected(QStringLiteral("“{”"));
        }
        if (m_in.peek().kind != TokenKind::RightBrace) {
            do {
                std::optional<Property> label = acceptProperty();
                if (!label) {
                    m_in.failExpected(QStringLiteral("property name"));
                }
                if (!m_in.accept(TokenKind::Colon)) {
                    m_in.failExpected(QStringLiteral("“:”"));
                }
                e->labels.push_back(*label);
                e->kids.push_back(parseExpression());
            } while (m_in.accept(TokenKind::Comma));
        }
        if (!m_in.accept(TokenKind::RightBrace)) {
            m_in.failExpected(QStringLiteral("“,” or “}”"));
        }
    }
    e->end = m_in.previousEnd();
    return e;
}

ExprPtr Parser::parsePrimary() {
    const Token& t = m_in.peek();
    const qsizetype start = t.start;
    switch (t.kind) {
    case TokenKind::LeftParen: {
        m_in.take();
        ExprPtr inner = parseExpression();
        if (!m_in.accept(TokenKind::RightParen)) {
            m_in.failExpected(QStringLiteral("“)”"));
        }
        return inner;
    }
    case TokenKind::Text: {
        auto e = node(ExprKind::Text, start);
        e->text = m_in.take().text;
        e->end = t.end;
        return e;
    }
    case TokenKind::Integer: {
        auto e = node(ExprKind::Integer, start);
        e->integer = m_in.take().integer;
        e->end = t.end;
        return e;
    }
    case TokenKind::Word:
        break;
    default:
        m_in.failExpected(QStringLiteral("expression"));
    }

    const auto constant = [&](ExprKind kind) {
        m_in.take();
        auto e = node(kind, start);
        return e;
    };
    if (m_in.isWord(u"true") || m_in.isWord(u"false")) {
        const bool value = m_in.isWord(u"true");
        auto e = constant(ExprKind::Boolean);
        e->integer = value ? 1 : 0;
        return e;
    }
    if (m_in.isWord(u"quote")) {
        auto e = constant(ExprKind::Text);
        e->text = QStringLiteral("\"");
        return e;
    }
    if (m_in.isWord(u"missing")) {
        m_in.take();
        m_in.expectWord(u"value");
        return node(ExprKind::Missing, start);
    }
    if (m_in.isWord(u"it")) {
        return constant(ExprKind::It);
    }
    for (TodoStatus status : {TodoStatus::Open, TodoStatus::Completed, TodoStatus::Canceled}) {
        if (m_in.isWord(statusName(status))) {
            auto e = constant(ExprKind::Status);
            e->status = status;
            return e;
        }
    }
    const int slot = acceptVariableName();
    if (slot < 0) {
        m_in.failExpected(QStringLiteral("expression"));
    }
    auto e = node(ExprKind::Variable, start);
    e->slot = slot;
    e->text = m_in.spelling(t);
    return e;
}

} // namespace standin::applescript
