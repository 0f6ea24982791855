#include "JsonText.h"

#include <QChar>

namespace standin::JsonText {

qsizetype encode(QStringView text, char* out) {
    static constexpr char hex[] = "0123456789abcdef";
    qsizetype n = 0;
    const auto put = [&](char c) {
        if (out != nullptr) {
            out[n] = c;
        }
        ++n;
    };
    const auto escape = [&](char16_t unit) {
        put('\\');
        put('u');
        put(hex[(unit >> 12) & 0xf]);
        put(hex[(unit >> 8) & 0xf]);
        put(hex[(unit >> 4) & 0xf]);
        put(hex[unit & 0xf]);
    };
    put('"');
    const char16_t* units = text.utf16();
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = units[i];
        if (unit >= 0x20 && unit < 0x7f) {
            if (unit == u'"' || unit == u'\\') {
                put('\\');
            }
            put(char(unit));
        } else if (unit < 0x80) {
            const char shortForm = unit == u'\n' ? 'n' : unit == u'\r' ? 'r' : unit == u'\t' ? 't' : 0;
            if (shortForm != 0) {
                put('\\');
                put(shortForm);
            } else {
                escape(unit);
            }
        } else if (unit < 0x800) {
            put(char(0xc0 | (unit >> 6)));
            put(char(0x80 | (unit & 0x3f)));
        } else if (QChar::isHighSurrogate(unit) && i + 1 < size && QChar::isLowSurrogate(units[i + 1])) {
            const char32_t c = QChar::surrogateToUcs4(unit, units[++i]);
            put(char(0xf0 | (c >> 18)));
            put(char(0x80 | ((c >> 12) & 0x3f)));
            put(char(0x80 | ((c >> 6) & 0x3f)));
            put(char(0x80 | (c & 0x3f)));
        } else if (QChar::isSurrogate(unit) || unit == 0xfeff || unit == 0x2028 || unit == 0x2029) {
            escape(unit);
        } else {
            put(char(0xe0 | (unit >> 12)));
            put(char(0x80 | ((unit >> 6) & 0x3f)));
            put(char(0x80 | (unit & 0x3f)));
        }
    }
    put('"');
    return n;
}

void append(QByteArray& out, QStringView text) {
    const qsizetype at = out.size();
    out.resize(at + encode(text, nullptr));
    encode(text, out.data() + at);
}

} // namespace standin::JsonText
