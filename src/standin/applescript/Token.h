#pragma once

#include <QString>

namespace standin::applescript {

enum class TokenKind {
    Word,    // a keyword or an identifier; `text` is its case-folded spelling
    Text,    // a string literal; `text` is its value with the escapes resolved
    Integer, // `integer` holds the value, which is within the language's integers
    Real,    // `real` holds the value: a number with a fraction or an exponent, or too large an integer
    LeftParen,
    RightParen,
    LeftBrace,
    RightBrace,
    Comma,
    Colon,
    Ampersand,
    Equals,
    NotEquals,
    Plus,
    Minus,
    Star,
    Slash, // `/` or `÷`
    Caret,
    Less,
    Greater,
    LessEqual,    // `≤` or `<=`
    GreaterEqual, // `≥` or `>=`
    Possessive,   // `'s` (or `’s`) right after a word: AppleScript's
    EndOfLine,
    EndOfScript,
};

struct Token {
    TokenKind kind = TokenKind::EndOfScript;
    QString text;
    qint64 integer = 0;
    double real = 0;
    qsizetype start = 0; // offset of the first UTF-16 unit in the source
    qsizetype end = 0;   // offset one past the last
    // A long string literal without escapes is not copied: its value is the source between its quotes.
    bool inSource = false;
};

} // namespace standin::applescript
