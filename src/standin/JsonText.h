#pragma once

#include <QByteArray>
#include <QStringView>

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

} // namespace JsonText

} // namespace standin
