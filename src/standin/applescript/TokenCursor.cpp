#include "TokenCursor.h"

#include "ScriptFailure.h"

#include <QSet>

namespace standin::applescript {

namespace {

const QSet<QString>& reservedWords() {
    static const QSet<QString> words = {
        QStringLiteral("and"),        QStringLiteral("application"), QStringLiteral("as"),
        QStringLiteral("begins"),     QStringLiteral("by"),          QStringLiteral("canceled"),
        QStringLiteral("completed"),  QStringLiteral("contain"),     QStringLiteral("contains"),
        QStringLiteral("count"),      QStringLiteral("delete"),      QStringLiteral("div"),
        QStringLiteral("does"),       QStringLiteral("else"),        QStringLiteral("end"),
        QStringLiteral("ends"),       QStringLiteral("equal"),       QStringLiteral("equals"),
        QStringLiteral("error"),      QStringLiteral("every"),       QStringLiteral("exit"),
        QStringLiteral("false"),      QStringLiteral("from"),        QStringLiteral("get"),
        QStringLiteral("greater"),    QStringLiteral("id"),          QStringLiteral("if"),
        QStringLiteral("in"),         QStringLiteral("integer"),     QStringLiteral("is"),
        QStringLiteral("it"),         QStringLiteral("item"),        QStringLiteral("items"),
        QStringLiteral("keyboard"),   QStringLiteral("less"),        QStringLiteral("list"),
        QStringLiteral("make"),       QStringLiteral("missing"),     QStringLiteral("mod"),
        QStringLiteral("name"),       QStringLiteral("new"),         QStringLiteral("not"),
        QStringLiteral("number"),     QStringLiteral("of"),          QStringLiteral("on"),
        QStringLiteral("open"),       QStringLiteral("or"),          QStringLiteral("parent"),
        QStringLiteral("properties"), QStringLiteral("quote"),       QStringLiteral("real"),
        QStringLiteral("repeat"),     QStringLiteral("return"),      QStringLiteral("set"),
        QStringLiteral("shortcut"),   QStringLiteral("starts"),      QStringLiteral("status"),
        QStringLiteral("string"),     QStringLiteral("tag"),         QStringLiteral("tags"),
        QStringLiteral("tell"),       QStringLiteral("text"),        QStringLiteral("than"),
        QStringLiteral("then"),       QStringLiteral("through"),     QStringLiteral("thru"),
        QStringLiteral("times"),      QStringLiteral("to"),          QStringLiteral("true"),
        QStringLiteral("try"),        QStringLiteral("until"),       QStringLiteral("where"),
        QStringLiteral("while"),      QStringLiteral("whose"),       QStringLiteral("with"),
    };
    return words;
}

} // namespace

const Token& TokenCursor::peek(std::size_t ahead) const {
    while (m_ahead.size() <= ahead) {
        m_ahead.push_back(m_lexer.next());
    }
    return m_ahead[ahead];
}

Token TokenCursor::take() {
    peek();
    Token t = std::move(m_ahead.front());
    m_ahead.pop_front();
    if (t.kind == TokenKind::EndOfScript) {
        m_ahead.push_front(t); // the end stays where it is
    }
    m_previousEnd = t.end;
    return t;
}

bool TokenCursor::isWord(QStringView word, std::size_t ahead) const {
    const Token& t = peek(ahead);
    return t.kind == TokenKind::Word && t.text == word;
}

bool TokenCursor::acceptWord(QStringView word) {
    if (!isWord(word)) {
        return false;
    }
    take();
    return true;
}

void TokenCursor::expectWord(QStringView word) {
    if (!acceptWord(word)) {
        failExpected(u'“' + word.toString() + u'”');
    }
}

bool TokenCursor::accept(TokenKind kind) {
    if (peek().kind != kind) {
        return false;
    }
    take();
    return true;
}

bool TokenCursor::atEndOfStatement() const {
    return peek().kind == TokenKind::EndOfLine || peek().kind == TokenKind::EndOfScript;
}

void TokenCursor::endStatement() {
    if (!accept(TokenKind::EndOfLine) && peek().kind != TokenKind::EndOfScript) {
        failExpected(QStringLiteral("end of line"));
    }
}

QString TokenCursor::describe(const Token& token) const {
    switch (token.kind) {
    case TokenKind::EndOfScript:
        return QStringLiteral("end of script");
    case TokenKind::EndOfLine:
        return QStringLiteral("end of line");
    case TokenKind::Integer:
    case TokenKind::Real:
        return QStringLiteral("number");
    case TokenKind::Text:
        return QStringLiteral("“\"”");
    case TokenKind::Word:
        if (!isReserved(token.text)) {
            return QStringLiteral("identifier");
        }
        break;
    default:
        break;
    }
    return u'“' + spelling(token) + u'”';
}

void TokenCursor::failExpected(const QString& expected) const {
    const Token& t = peek();
    throw ScriptFailure::syntax(errors::expectedButFound,
                                QStringLiteral("Expected ") + expected + QStringLiteral(" but found ") +
                                    describe(t) + u'.',
                                t.start, t.end);
}

bool TokenCursor::isReserved(const QString& word) {
    return reservedWords().contains(word);
}

void TokenCursor::skip(std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        take();
    }
}

qsizetype TokenCursor::previousEnd() const {
    return m_previousEnd;
}

QString TokenCursor::spelling(const Token& token) const {
    return m_source.mid(token.start, token.end - token.start);
}

} // namespace standin::applescript
