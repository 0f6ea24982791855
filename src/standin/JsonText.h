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

// Reads JSON text a value at a time, strictly (what is not JSON is refused), making nothing but the
// texts asked for: a string is decoded straight into a QString of its exact size, so that a request
// of many megabytes is held once as bytes and once as text, and never in between.
class Reader final {
public:
    explicit Reader(QByteArrayView json)
        : m_json(json) {}

    bool atEnd() { return skipSpace() >= m_json.size(); }
    // Takes `c`, after any white space, when it comes next.
    bool accept(char c);
    // The string that comes next, or none when no well-formed string does.
    std::optional<QString> string();
    // Passes over the value that comes next; false when none does.
    bool skipValue();

private:
    qsizetype skipSpace();
    bool skipValue(int depth);
    // The end of the string that starts at m_pos (its closing quote), and how many UTF-16 units it
    // decodes to; none when it is not well formed.
    std::optional<std::pair<qsizetype, qsizetype>> scanString() const;

    QByteArrayView m_json;
    qsizetype m_pos = 0;
};

} // namespace JsonText

} // namespace standin
