// References (the application's objects and their properties, items of lists, labels of records)
// and the primaries: literals, lists, records, variables and parenthesised expressions.
#include "ParserSupport.h"
#include "Value.h"

#include <QSet>

namespace standin::applescript {

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
    // AppleScript's text item delimiters, also written `text item delimiters of AppleScript`.
    if (m_in.isWord(u"applescript") && m_in.peek(1).kind == TokenKind::Possessive) {
        m_in.skip(2);
        m_in.expectWord(u"text");
        m_in.expectWord(u"item");
        m_in.expectWord(u"delimiters");
        return add(NodeKind::Delimiters, start);
    }
    if (m_in.isWord(u"text") && m_in.isWord(u"item", 1) && m_in.isWord(u"delimiters", 2)) {
        m_in.skip(3);
        m_in.expectWord(u"of");
        m_in.expectWord(u"applescript");
        return add(NodeKind::Delimiters, start);
    }
    if (m_in.isWord(u"text") && m_in.isWord(u"items", 1)) {
        m_in.skip(2);
        m_in.expectWord(u"of");
        const NodeIndex operand = parseReference();
        const NodeIndex e = add(NodeKind::TextItems, start);
        Kids(*this, e).add(operand);
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
    // item N of L; items A thru B of L. An index is one primary with its sign, like a key.
    const bool range = m_in.isWord(u"items");
    if (range || m_in.isWord(u"item")) {
        m_in.take();
        const NodeIndex first = parseIndex();
        NodeIndex last = noNode;
        if (range && !m_in.acceptWord(u"thru") && !m_in.acceptWord(u"through")) {
            m_in.failExpected(QStringLiteral("“thru”"));
        }
        if (range) {
            last = parseIndex();
        }
        m_in.expectWord(u"of");
        const NodeIndex list = parseReference();
        const NodeIndex e = add(range ? NodeKind::Items : NodeKind::Item, start);
        Kids kids(*this, e);
        kids.add(first);
        if (range) {
            kids.add(last);
        }
        kids.add(list);
        return e;
    }
    // A name followed by `of` is a label of a record: `n of {n: 1}`.
    const Token& word = m_in.peek();
    if (word.kind == TokenKind::Word && !m_in.isReserved(word.text) && m_in.isWord(u"of", 1)) {
        const int label = labelFor(word.text, m_in.spelling(word), word.start, word.end);
        m_in.skip(2);
        const NodeIndex record = parseReference();
        const NodeIndex e = add(NodeKind::Label, start);
        at(e).value = label;
        Kids(*this, e).add(record);
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
    if (m_in.acceptWord(u"with")) {
        m_in.expectWord(u"properties");
        if (!m_in.accept(TokenKind::LeftBrace)) {
            m_in.failExpected(QStringLiteral("“{”"));
        }
        if (m_in.peek().kind != TokenKind::RightBrace) {
            parseFields(e, true);
        }
        if (!m_in.accept(TokenKind::RightBrace)) {
            m_in.failExpected(QStringLiteral("“,” or “}”"));
        }
    }
    close(e);
    return e;
}

// `label: value` pairs, separated by commas, as the kids of a Record or, with `propertiesOnly`,
// of a Make, whose labels must be properties of the application's objects. A label may not come
// twice in one record.
void Parser::parseFields(NodeIndex parent, bool propertiesOnly) {
    Kids kids(*this, parent);
    QSet<int> seen;
    do {
        const Token& t = m_in.peek();
        const qsizetype start = t.start;
        int label = -1;
        const std::optional<Property> property = acceptProperty();
        if (property) {
            label = labelFor(propertyName(*property), propertyName(*property), start, m_in.previousEnd());
        } else if (!propertiesOnly && t.kind == TokenKind::Word && !m_in.isReserved(t.text)) {
            label = labelFor(t.text, m_in.spelling(t), t.start, t.end);
            m_in.take();
        } else {
            m_in.failExpected(propertiesOnly ? QStringLiteral("property name") : QStringLiteral("label"));
        }
        if (seen.contains(label)) {
            throw ScriptFailure::syntax(errors::expectedButFound,
                                        QStringLiteral("Expected label but found a label already used."),
                                        start, m_in.previousEnd());
        }
        seen.insert(label);
        if (!m_in.accept(TokenKind::Colon)) {
            m_in.failExpected(QStringLiteral("“:”"));
        }
        const NodeIndex field = add(NodeKind::Field, start);
        at(field).value = label;
        at(field).op = std::uint8_t(property.value_or(Property::Id));
        Kids(*this, field).add(parseExpression());
        close(field);
        kids.add(field);
    } while (m_in.accept(TokenKind::Comma));
}

// Whether a record's first label comes next: a name or a property, then a colon.
bool Parser::labelAhead() const {
    const Token& t = m_in.peek();
    if (t.kind != TokenKind::Word) {
        return false;
    }
    if (!m_in.isReserved(t.text) || t.text == u"id" || t.text == u"name" || t.text == u"status") {
        return m_in.peek(1).kind == TokenKind::Colon;
    }
    const bool twoWords = (t.text == u"parent" && m_in.isWord(u"tag", 1)) ||
                          (t.text == u"keyboard" && m_in.isWord(u"shortcut", 1)) ||
                          (t.text == u"tag" && m_in.isWord(u"names", 1));
    return twoWords && m_in.peek(2).kind == TokenKind::Colon;
}

NodeIndex Parser::parseIndex() {
    const qsizetype start = m_in.peek().start;
    const TokenKind kind = m_in.peek().kind;
    if (kind != TokenKind::Minus && kind != TokenKind::Plus) {
        return parsePrimary();
    }
    m_in.take();
    DepthGuard guard(*this);
    return withSign(parseIndex(), kind == TokenKind::Minus, start);
}

// { } is an empty list, {1, "a"} a list, {name: "x", n: 2} a record.
NodeIndex Parser::parseBraces() {
    DepthGuard guard(*this);
    const qsizetype start = m_in.take().start;
    const bool record = labelAhead();
    const NodeIndex e = add(record ? NodeKind::Record : NodeKind::List, start);
    if (record) {
        parseFields(e, false);
    } else if (m_in.peek().kind != TokenKind::RightBrace) {
        Kids kids(*this, e);
        do {
            kids.add(parseExpression());
        } while (m_in.accept(TokenKind::Comma));
    }
    if (!m_in.accept(TokenKind::RightBrace)) {
        m_in.failExpected(QStringLiteral("“,” or “}”"));
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
    case TokenKind::LeftBrace:
        return parseBraces();
    case TokenKind::Text:
        return textNode(m_in.take());
    case TokenKind::Integer: {
        const NodeIndex e = add(NodeKind::Integer, start);
        at(e).value = std::int32_t(m_in.take().integer);
        close(e);
        return e;
    }
    case TokenKind::Real: {
        const NodeIndex e = add(NodeKind::Real, start);
        m_budget.charge(qint64(sizeof(double)) * 2, start, t.end);
        m_script.reals.push_back(t.real);
        at(e).value = std::int32_t(m_script.reals.size() - 1);
        m_in.take();
        close(e);
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
