#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <optional>
#include <utility>

namespace standin {

// JSON strings that give back exactly the QString written, whatever it holds: NUL and other controls,
// lone surrogates (which UTF-8 cannot carry) and a leading U+FEFF (which Qt's JSON reader drops when
// it comes as raw UTF-8) included. Printable ASCII and well-formed characters are written as UTF-8,
// and as \uXXXX escapes every control character, DEL, lone surrogate, U+FEFF and the line and
// paragraph separators U+2028 and U+2029. Qt's JSON reader gives each of these escapes back as
// exactly that UTF-16 unit, and every other character as it was written.
namespace JsonText {

// Writes the JSON form of `text`, quotes included, at `out`, and returns its size in bytes; with
// `out` null, only counts them. One function does both, so that the count and the text cannot disagree.
qsizetype encode(QStringView text, char* out);

// Appends the JSON form of `text`, quotes included.
void append(QByteArray& out, QStringView text);

// How much a Reader takes. Strict: JSON and nothing else, nested at most 64 deep (the socket's
// requests). AsQt: what Qt's JSON reader took, which read the library's file before (control
// characters unescaped in strings, numbers such as "1." and ".5", nesting 1,023 deep).
enum class Dialect { Strict, AsQt };

// Reads JSON text a value at a time, refusing what its dialect does not take, and making nothing but
// the texts asked for: a string is decoded straight into a QString of its exact size, so that a
// request of many megabytes is held once as bytes and once as text, and never in between.
class Reader final {
public:
    // Reads from the byte at `from` on.
    explicit Reader(QByteArrayView json, qsizetype from = 0, Dialect dialect = Dialect::Strict)
        : m_json(json)
        , m_pos(from)
        , m_dialect(dialect) {}

    bool atEnd() { return skipSpace() >= m_json.size(); }
    // Where the reader is: after white space once peek() has been called.
    qsizetype position() const { return m_pos; }
    // The first byte of the value that comes next, after any white space; 0 at the end.
    char peek() { return skipSpace() < m_json.size() ? m_json[m_pos] : '\0'; }
    // Takes `c`, after any white space, when it comes next.
    bool accept(char c);
    // The string that comes next, or none when no well-formed string does.
    std::optional<QString> string();
    // How many UTF-16 units the string that comes next decodes to, without reading it; none when no
    // well-formed string comes next.
    std::optional<qsizetype> stringSize();
    // The number that comes next, or none when no well-formed number does.
    std::optional<double> number();
    // Passes over the value that comes next; false when none does.
    bool skipValue();

private:
    qsizetype skipSpace();
    bool skipValue(int depth);
    bool skipString();
    bool skipNumber();
    // The end of the string that starts at m_pos (its closing quote), and how many UTF-16 units it
    // decodes to; none when it is not well formed.
    std::optional<std::pair<qsizetype, qsizetype>> scanString() const;

    QByteArrayView m_json;
    qsizetype m_pos = 0;
    Dialect m_dialect;
};

} // namespace JsonText

} // namespace standin
