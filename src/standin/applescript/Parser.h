#pragma once

#include "Ast.h"
#include "TokenCursor.h"

#include <QHash>
#include <QString>

namespace standin::applescript {

// Parses a whole program before anything runs, as the real engine compiles before it executes.
// Anything outside the supported part of the language is a syntax error (-2741), never a guess.
class Parser final {
public:
    // Deeper nesting than this (blocks, parentheses, `of` chains) is refused rather than allowed to
    // exhaust the stack; real programs stay far below it.
    static constexpr int maxDepth = 100;

    static Script parse(const QString& source);

private:
    Parser(const QString& source, TokenList tokens);

    class DepthGuard;

    int slotFor(const QString& foldedName);

    Block parseBlock();
    void parseEnd(QStringView blockWord);
    bool atBlockEnd() const;
    std::unique_ptr<Stmt> parseStatement();
    std::unique_ptr<Stmt> parseSimpleStatement();
    std::unique_ptr<Stmt> parseTell();
    std::unique_ptr<Stmt> parseSet();
    std::unique_ptr<Stmt> parseRepeat();
    std::unique_ptr<Stmt> parseIf();
    std::unique_ptr<Stmt> parseTry();
    std::unique_ptr<Stmt> parseError();

    ExprPtr parseExpression();
    ExprPtr parseAnd();
    ExprPtr parseNot();
    ExprPtr parseComparison();
    ExprPtr parseConcat();
    ExprPtr parseReference();
    ExprPtr parseElements(ObjectClass objectClass, qsizetype start);
    ExprPtr parseMake(qsizetype start);
    ExprPtr parsePrimary();
    ExprPtr parseWhose(ExprPtr subject);
    std::optional<Property> acceptProperty();
    std::optional<ObjectClass> acceptSingularClass();
    ExprPtr node(ExprKind kind, qsizetype start) const;
    std::unique_ptr<Stmt> statement(StmtKind kind, qsizetype start) const;
    int acceptVariableName();

    TokenCursor m_in;
    int m_depth = 0;
    int m_repeatDepth = 0;
    QHash<QString, int> m_slots;
    std::vector<QString> m_names;
};

} // namespace standin::applescript
