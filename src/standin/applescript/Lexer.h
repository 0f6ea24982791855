#pragma once

#include "ParseBudget.h"
#include "Token.h"

#include <QString>

namespace standin::applescript {

// Reads a program's source a token at a time, as the parser asks for them, so that no list of all
// the tokens of a long program is ever held. Raises ScriptFailure (syntax, -2741) on a bad token.
class Lexer final {
public:
    // A literal without escapes up to this long is copied into its token; a longer one is read from
    // the source where it is used.
    static constexpr qsizetype copiedLiteralLength = 1024;

    Lexer(const QString& source, const ParseBudget& budget)
        : m_source(source)
        , m_budget(budget) {}

    // The next token; EndOfScript at the end, and again after it.
    Token next();

private:
    void skipBlockComment();
    Token readString();
    Token readNumber();
    Token readWord();
    Token token(TokenKind kind, qsizetype start, QString text = {}, qint64 integer = 0);
    [[noreturn]] void fail(const QString& brief, qsizetype start, qsizetype end) const;
    bool atLineBreak() const;

    const QString& m_source;
    const ParseBudget& m_budget;
    qsizetype m_pos = 0;
    // Several line breaks in a row (blank lines, comments) are one end of statement, and the program
    // neither starts with one nor ends with two.
    bool m_atStatementStart = true;
    bool m_ended = false;
};

} // namespace standin::applescript
