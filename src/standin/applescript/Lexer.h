#pragma once

#include "Token.h"

#include <QString>

namespace standin::applescript {

// Turns a program's source into tokens, all at once, so that a malformed literal anywhere in the
// program is reported before anything runs. Raises ScriptFailure (syntax, -2741) on a bad token.
class Lexer final {
public:
    static TokenList tokenize(const QString& source);

private:
    explicit Lexer(const QString& source)
        : m_source(source) {}

    void run();
    void skipBlockComment();
    void readString();
    void readNumber();
    void readWord();
    void push(TokenKind kind, qsizetype start, QString text = {}, qint64 integer = 0);
    [[noreturn]] void fail(const QString& brief, qsizetype start, qsizetype end) const;
    bool atLineBreak() const;

    const QString& m_source;
    qsizetype m_pos = 0;
    TokenList m_tokens;
};

} // namespace standin::applescript
