#pragma once

#include "Ast.h"
#include "Limits.h"
#include "ParseBudget.h"
#include "TokenCursor.h"

#include <QHash>
#include <QString>
#include <optional>

namespace standin::applescript {

// Parses a whole program before anything runs, as the real engine compiles before it executes.
// Anything outside the supported part of the language is a syntax error (-2741), never a guess; a
// program whose tree would take more than the budget fails with "Out of memory." (-108).
//
// Statements are in Parser.cpp, operators in ParserExpressions.cpp, references to objects, items
// and labels and the primaries in ParserReferences.cpp.
class Parser final {
public:
    // Deeper nesting than this (blocks, parentheses, `of` chains, signs, powers, coercions) is refused
    // rather than allowed to exhaust the stack; real programs stay far below it.
    static constexpr int maxDepth = 100;

    static Script parse(const QString& source, const Limits& limits = {});

private:
    Parser(const QString& source, const Limits& limits);

    class DepthGuard;
    class Kids;

    // ---- the tree ----
    NodeIndex add(NodeKind kind, qsizetype start);
    Node& at(NodeIndex i) { return m_script.nodes[i]; }
    void close(NodeIndex n);
    NodeIndex textNode(const Token& token);
    int keepText(QString text, qsizetype start, qsizetype end);
    void discardLast(NodeIndex n);
    int slotFor(const QString& foldedName, const QString& spelling, qsizetype start, qsizetype end);
    int labelFor(const QString& foldedName, const QString& spelling, qsizetype start, qsizetype end);
    NodeIndex acceptVariable();
    [[noreturn]] void stackOverflow() const;

    // ---- statements ----
    NodeIndex parseBlock();
    void parseEnd(QStringView blockWord);
    bool atBlockEnd() const;
    NodeIndex parseStatement();
    NodeIndex parseSimpleStatement();
    NodeIndex parseTell();
    NodeIndex parseSet(qsizetype start);
    NodeIndex parseRepeat();
    NodeIndex parseIf();
    NodeIndex parseTry();
    NodeIndex parseError();

    // ---- operators, from the loosest binding to the tightest ----
    NodeIndex parseExpression();
    NodeIndex parseAnd();
    NodeIndex parseNot();
    NodeIndex parseEquality();
    NodeIndex parseRelational();
    std::optional<CompareOp> acceptRelational();
    NodeIndex parseCoercion();
    NodeIndex parseConcat();
    bool isConstantText(NodeIndex n);
    NodeIndex parseChain(NodeIndex (Parser::*operand)(), std::optional<ArithOp> (Parser::*acceptOperator)());
    NodeIndex parseAdditive();
    std::optional<ArithOp> acceptAdditive();
    NodeIndex parseMultiplicative();
    std::optional<ArithOp> acceptMultiplicative();
    NodeIndex parsePower();
    NodeIndex parseUnary();
    NodeIndex withSign(NodeIndex operand, bool minus, qsizetype start);

    // ---- references, items, labels and primaries ----
    NodeIndex parseReference();
    NodeIndex parseElements(ObjectClass objectClass, qsizetype start);
    NodeIndex parseWhose(NodeIndex subject);
    NodeIndex parseMake(qsizetype start);
    void parseFields(NodeIndex parent, bool propertiesOnly);
    bool labelAhead() const;
    NodeIndex parseIndex();
    NodeIndex parsePrimary();
    NodeIndex parseBraces();
    std::optional<Property> acceptProperty();
    std::optional<ObjectClass> acceptSingularClass();

    const Limits& m_limits;
    ParseBudget m_budget;
    Script m_script;
    TokenCursor m_in;
    int m_depth = 0;
    int m_repeatDepth = 0;
    QHash<QString, int> m_slots;
    QHash<QString, int> m_labels;
};

} // namespace standin::applescript
