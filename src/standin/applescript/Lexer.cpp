#include "Lexer.h"

#include "ScriptFailure.h"
#include "Value.h"

#include <cmath>

namespace standin::applescript {

namespace {

constexpr char16_t continuationMark = u'\u00AC'; // ¬ joins a statement to the next line

bool isWordStart(QChar c) {
    return c.isLetter() || c == u'_';
}

bool isWordPart(QChar c) {
    return c.isLetterOrNumber() || c == u'_';
}

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f' || c == u'\u00A0';
}

} // namespace

bool Lexer::atLineBreak() const {
    return m_pos < m_source.size() && (m_source[m_pos] == u'\n' || m_source[m_pos] == u'\r');
}

void Lexer::fail(const QString& brief, qsizetype start, qsizetype end) const {
    throw ScriptFailure::syntax(errors::expectedButFound, brief, start, end);
}

Token Lexer::token(TokenKind kind, qsizetype start, QString text, qint64 integer) {
    return Token{kind, std::move(text), integer, 0, start, m_pos, false};
}

Token Lexer::next() {
    const qsizetype size = m_source.size();
    while (m_pos < size) {
        const QChar c = m_source[m_pos];
        const qsizetype start = m_pos;
        if (isBlank(c)) {
            ++m_pos;
            continue;
        }
        if (c == u'\n' || c == u'\r') {
            ++m_pos;
            if (!m_atStatementStart) {
                m_atStatementStart = true;
                return token(TokenKind::EndOfLine, start);
            }
            continue;
        }
        if (c == continuationMark) {
            ++m_pos;
            while (m_pos < size && isBlank(m_source[m_pos])) {
                ++m_pos;
            }
            if (m_pos < size && m_source[m_pos] == u'\r') {
                ++m_pos;
            }
            if (m_pos < size && m_source[m_pos] == u'\n') {
                ++m_pos;
            }
            continue;
        }
        if (c == u'#' || (c == u'-' && m_pos + 1 < size && m_source[m_pos + 1] == u'-')) {
            while (m_pos < size && !atLineBreak()) {
                ++m_pos;
            }
            continue;
        }
        if (c == u'(' && m_pos + 1 < size && m_source[m_pos + 1] == u'*') {
            skipBlockComment();
            continue;
        }
        m_atStatementStart = false;
        if (c == u'"') {
            return readString();
        }
        if (c.isDigit() && c.unicode() < 128) {
            return readNumber();
        }
        if (isWordStart(c)) {
            return readWord();
        }
        ++m_pos;
        switch (c.unicode()) {
        case u'(':
            return token(TokenKind::LeftParen, start);
        case u')':
            return token(TokenKind::RightParen, start);
        case u'{':
            return token(TokenKind::LeftBrace, start);
        case u'}':
            return token(TokenKind::RightBrace, start);
        case u',':
            return token(TokenKind::Comma, start);
        case u':':
            return token(TokenKind::Colon, start);
        case u'&':
            return token(TokenKind::Ampersand, start);
        case u'=':
            return token(TokenKind::Equals, start);
        case u'\u2260':
            return token(TokenKind::NotEquals, start);
        case u'+':
            return token(TokenKind::Plus, start);
        case u'-':
            return token(TokenKind::Minus, start);
        case u'*':
            return token(TokenKind::Star, start);
        case u'/':
        case u'\u00F7':
            return token(TokenKind::Slash, start);
        case u'^':
            return token(TokenKind::Caret, start);
        case u'<':
        case u'>':
            if (m_pos < size && m_source[m_pos] == u'=') {
                ++m_pos;
                return token(c == u'<' ? TokenKind::LessEqual : TokenKind::GreaterEqual, start);
            }
            return token(c == u'<' ? TokenKind::Less : TokenKind::Greater, start);
        case u'\u2264':
            return token(TokenKind::LessEqual, start);
        case u'\u2265':
            return token(TokenKind::GreaterEqual, start);
        case u'\'':
        case u'\u2019':
            // `'s` as in AppleScript's: an apostrophe, an s, and the word ends there.
            if (m_pos < size && (m_source[m_pos] == u's' || m_source[m_pos] == u'S') &&
                !(m_pos + 1 < size && isWordPart(m_source[m_pos + 1]))) {
                ++m_pos;
                return token(TokenKind::Possessive, start);
            }
            fail(QStringLiteral("Expected expression but found unknown token."), start, m_pos);
        default:
            fail(QStringLiteral("Expected expression but found unknown token."), start, m_pos);
        }
    }
    if (!m_atStatementStart) {
        m_atStatementStart = true;
        return token(TokenKind::EndOfLine, size);
    }
    return Token{TokenKind::EndOfScript, {}, 0, 0, size, size, false};
}

void Lexer::skipBlockComment() {
    // Block comments nest in AppleScript: (* a (* b *) c *) is one comment.
    const qsizetype start = m_pos;
    int depth = 0;
    while (m_pos < m_source.size()) {
        if (m_source[m_pos] == u'(' && m_pos + 1 < m_source.size() && m_source[m_pos + 1] == u'*') {
            ++depth;
            m_pos += 2;
        } else if (m_source[m_pos] == u'*' && m_pos + 1 < m_source.size() && m_source[m_pos + 1] == u')') {
            m_pos += 2;
            if (--depth == 0) {
                return;
            }
        } else {
            ++m_pos;
        }
    }
    fail(QStringLiteral("Expected “*)” but found end of script."), start, m_pos);
}

Token Lexer::readString() {
    const qsizetype start = m_pos;
    const qsizetype size = m_source.size();
    // The closing quote is found and every escape checked first, so that the value is built once,
    // at its size, and only when the budget has room for it.
    qsizetype escapes = 0;
    qsizetype i = start + 1;
    for (;;) {
        if (i >= size) {
            fail(QStringLiteral("Expected “\"” but found end of script."), start, i);
        }
        const QChar c = m_source[i];
        if (c == u'"') {
            break;
        }
        if (c != u'\\') {
            // Raw line breaks and every other character stand for themselves.
            ++i;
            continue;
        }
        if (i + 1 >= size) {
            fail(QStringLiteral("Expected “\"” but found end of script."), start, i + 1);
        }
        switch (m_source[i + 1].unicode()) {
        case u'\\':
        case u'"':
        case u'n':
        case u'r':
        case u't':
            break;
        default:
            fail(QStringLiteral("Expected “\"” but found unknown token."), i, i + 2);
        }
        ++escapes;
        i += 2;
    }
    const qsizetype contentStart = start + 1;
    const qsizetype contentEnd = i;
    m_pos = i + 1;
    Token t = token(TokenKind::Text, start);
    const qsizetype length = contentEnd - contentStart - escapes;
    if (escapes == 0 && length > copiedLiteralLength) {
        t.inSource = true;
        return t;
    }
    m_budget.checkRoom(ParseBudget::textBytes(length), start, m_pos);
    if (escapes == 0) {
        t.text = m_source.mid(contentStart, length);
        return t;
    }
    t.text.reserve(length);
    for (qsizetype j = contentStart; j < contentEnd; ++j) {
        const QChar c = m_source[j];
        if (c != u'\\') {
            t.text.append(c);
            continue;
        }
        const char16_t escaped = m_source[++j].unicode();
        t.text.append(escaped == u'n' ? u'\n' : escaped == u'r' ? u'\r' : escaped == u't' ? u'\t' : escaped);
    }
    return t;
}

// A number: digits, then a fraction (`1.5`, `1.`) and an exponent (`1e3`, `2.5E-4`) when they come.
// Without either it is an integer when the language's integers hold it, and a real otherwise.
Token Lexer::readNumber() {
    const qsizetype start = m_pos;
    const qsizetype size = m_source.size();
    const auto isAsciiDigit = [&](qsizetype i) {
        return i < size && m_source[i].isDigit() && m_source[i].unicode() < 128;
    };
    while (isAsciiDigit(m_pos)) {
        ++m_pos;
    }
    bool isReal = false;
    if (m_pos < size && m_source[m_pos] == u'.') {
        isReal = true;
        ++m_pos;
        while (isAsciiDigit(m_pos)) {
            ++m_pos;
        }
    }
    if (m_pos < size && (m_source[m_pos] == u'e' || m_source[m_pos] == u'E')) {
        const qsizetype sign =
            m_pos + 1 < size && (m_source[m_pos + 1] == u'+' || m_source[m_pos + 1] == u'-');
        if (isAsciiDigit(m_pos + 1 + sign)) {
            isReal = true;
            m_pos += 1 + sign;
            while (isAsciiDigit(m_pos)) {
                ++m_pos;
            }
        }
    }
    if (m_pos < size && isWordStart(m_source[m_pos])) {
        fail(QStringLiteral("Expected end of line, etc. but found identifier."), start, m_pos + 1);
    }
    const QString spelling = m_source.mid(start, m_pos - start);
    if (!isReal && m_pos - start <= 9) {
        const qint64 value = spelling.toLongLong();
        if (value <= largestInteger) {
            return token(TokenKind::Integer, start, {}, value);
        }
    }
    Token t = token(TokenKind::Real, start);
    t.real = spelling.toDouble();
    if (!std::isfinite(t.real)) {
        fail(QStringLiteral("Expected expression but found unknown token."), start, m_pos);
    }
    return t;
}

Token Lexer::readWord() {
    const qsizetype start = m_pos;
    while (m_pos < m_source.size() && isWordPart(m_source[m_pos])) {
        ++m_pos;
    }
    // The spelling and its folded form are both held for a moment.
    m_budget.checkRoom(2 * ParseBudget::textBytes(m_pos - start), start, m_pos);
    return token(TokenKind::Word, start, m_source.mid(start, m_pos - start).toCaseFolded());
}

} // namespace standin::applescript
