#pragma once

#include "Token.h"

#include <QString>
#include <QStringView>

namespace standin::applescript {

// The parser's view of the token list: where it is, what comes next, and the "Expected … but
// found …" failures that name the token found the way the real engine does.
class TokenCursor final {
public:
    TokenCursor(const QString& source, TokenList tokens)
        : m_source(source)
        , m_tokens(std::move(tokens)) {}

    // Words the language or the application's dictionary claims; none of them names a variable.
    static bool isReserved(const QString& word);

    const Token& peek(std::size_t ahead = 0) const;
    const Token& take();
    void skip(std::size_t count);
    bool isWord(QStringView word, std::size_t ahead = 0) const;
    bool acceptWord(QStringView word);
    void expectWord(QStringView word);
    bool accept(TokenKind kind);
    bool atEndOfStatement() const;
    void endStatement();
    qsizetype previousEnd() const;
    QString spelling(const Token& token) const;
    [[noreturn]] void failExpected(const QString& expected) const;

private:
    QString describe(const Token& token) const;

    const QString& m_source;
    TokenList m_tokens;
    std::size_t m_pos = 0;
};

} // namespace standin::applescript
