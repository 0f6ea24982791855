#include "Lexer.h"

#include "ScriptFailure.h"

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

TokenList Lexer::tokenize(const QString& source) {
    Lexer lexer(source);
    lexer.run();
    return std::move(lexer.m_tokens);
}

bool Lexer::atLineBreak() const {
    return m_pos < m_source.size() && (m_source[m_pos] == u'\n' || m_source[m_pos] == u'\r');
}

void Lexer::fail(const QString& brief, qsizetype start, qsizetype end) const {
    throw ScriptFailure::syntax(errors::expectedButFound, brief, start, end);
}

void Lexer::push(TokenKind kind, qsizetype start, QString text, qint64 integer) {
    // Several line breaks in a row (blank lines, comments) are one end of statement.
    if (kind == TokenKind::EndOfLine && (m_tokens.empty() || m_tokens.back().kind == TokenKind::EndOfLine)) {
        return;
    }
    m_tokens.push_back(Token{kind, std::move(text), integer, start, m_pos});
}

void Lexer::run() {
    const qsizetype size = m_source.size();
    while (m_pos < size) {
        const QChar c = m_source[m_pos];
        const qsizetype start = m_pos;
        if (isBlank(c)) {
            ++m_pos;
        } else if (c == u'\n' || c == u'\r') {
            ++m_pos;
            push(TokenKind::EndOfLine, start);
        } else if (c == continuationMark) {
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
        } else if (c == u'#' || (c == u'-' && m_pos + 1 < size && m_source[m_pos + 1] == u'-')) {
            while (m_pos < size && !atLineBreak()) {
                ++m_pos;
            }
        } else if (c == u'(' && m_pos + 1 < size && m_source[m_pos + 1] == u'*') {
            skipBlockComment();
        } else if (c == u'"') {
            readString();
        } else if (c.isDigit() && c.unicode() < 128) {
            readNumber();
        } else if (isWordStart(c)) {
            readWord();
        } else {
            ++m_pos;
            switch (c.unicode()) {
            case u'(':
                push(TokenKind::LeftParen, start);
                break;
            case u')':
                push(TokenKind::RightParen, start);
                break;
            case u'{':
                push(TokenKind::LeftBrace, start);
                break;
            case u'}':
                push(TokenKind::RightBrace, start);
                break;
            case u',':
                push(TokenKind::Comma, start);
                break;
            case u':':
                push(TokenKind::Colon, start);
                break;
            case u'&':
                push(TokenKind::Ampersand, start);
                break;
            case u'=':
                push(TokenKind::Equals, start);
                break;
            case u'\u2260':
                push(TokenKind::NotEquals, start);
                break;
            default:
                fail(QStringLiteral("Expected expression but found unknown token."), start, m_pos);
            }
        }
    }
    push(TokenKind::EndOfLine, size);
    m_tokens.push_back(Token{TokenKind::EndOfScript, {}, 0, size, size});
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

void Lexer::readString() {
    const qsizetype start = m_pos++;
    QString value;
    while (true) {
        if (m_pos >= m_source.size()) {
            fail(QStringLiteral("Expected “\"” but found end of script."), start, m_pos);
        }
        const QChar c = m_source[m_pos];
        if (c == u'"') {
            ++m_pos;
            break;
        }
        if (c != u'\\') {
            // Raw line breaks and every other character stand for themselves.
            value.append(c);
            ++m_pos;
            continue;
        }
        if (m_pos + 1 >= m_source.size()) {
            fail(QStringLiteral("Expected “\"” but found end of script."), start, m_pos + 1);
        }
        const QChar escaped = m_source[m_pos + 1];
        switch (escaped.unicode()) {
        case u'\\':
            value.append(u'\\');
            break;
        case u'"':
            value.append(u'"');
            break;
        case u'n':
            value.append(u'\n');
            break;
        case u'r':
            value.append(u'\r');
            break;
        case u't':
            value.append(u'\t');
            break;
        default:
            fail(QStringLiteral("Expected “\"” but found unknown token."), m_pos, m_pos + 2);
        }
        m_pos += 2;
    }
    push(TokenKind::Text, start, std::move(value));
}

void Lexer::readNumber() {
    const qsizetype start = m_pos;
    qint64 value = 0;
    bool tooLarge = false;
    while (m_pos < m_source.size() && m_source[m_pos].isDigit() && m_source[m_pos].unicode() < 128) {
        const int digit = m_source[m_pos].unicode() - u'0';
        if (value > (std::numeric_limits<qint64>::max() - digit) / 10) {
            tooLarge = true;
        } else {
            value = value * 10 + digit;
        }
        ++m_pos;
    }
    if (tooLarge) {
        fail(QStringLiteral("Expected expression but found unknown token."), start, m_pos);
    }
    if (m_pos < m_source.size() && isWordStart(m_source[m_pos])) {
        fail(QStringLiteral("Expected end of line, etc. but found identifier."), start, m_pos + 1);
    }
    push(TokenKind::Integer, start, {}, value);
}

void Lexer::readWord() {
    const qsizetype start = m_pos;
    while (m_pos < m_source.size() && isWordPart(m_source[m_pos])) {
        ++m_pos;
    }
    push(TokenKind::Word, start, m_source.mid(start, m_pos - start).toCaseFolded());
}

} // namespace standin::applescript
