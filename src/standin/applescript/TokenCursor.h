#pragma once

#include "Lexer.h"
#include "Token.h"

#include <QString>
#include <QStringView>
#include <deque>

namespace standin::applescript {

// The parser's view of the tokens: where it is, the few that come next, and the "Expected … but
// found …" failures that name the token found the way the real engine does.
class TokenCursor final {
public:
    TokenCursor(const QString& source, const ParseBudget& budget)
        : m_source(source)
        , m_lexer(source, budget) {}

    // Words the language or the application's dictionary claims; none of them names a variable.
    static bool isReserved(const QString& word);

    const Token& peek(std::size_t ahead = 0) const;
    Token take();
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
    // Looking ahead reads more of the source, which changes neither the tokens nor where the cursor is.
    mutable Lexer m_lexer;
    mutable std::deque<Token> m_ahead; // the tokens looked at but not taken yet, the next one first
    qsizetype m_previousEnd = 0;
};

} // namespace standin::applescript
