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

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// The code point of the UTF-8 sequence at `at` and its length, or none for a byte that starts no
// well-formed sequence: overlong forms, surrogates and code points past U+10FFFF are refused.
std::optional<std::pair<char32_t, int>> utf8At(QByteArrayView bytes, qsizetype at) {
    const auto byte = [&](qsizetype i) {
        return static_cast<unsigned char>(bytes[i]);
    };
    const unsigned char lead = byte(at);
    int length = 0;
    char32_t c = 0;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
        c = lead & 0x1f;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        c = lead & 0x0f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        c = lead & 0x07;
    } else {
        return std::nullopt;
    }
    if (at + length > bytes.size()) {
        return std::nullopt;
    }
    for (int i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xc0) != 0x80) {
            return std::nullopt;
        }
        c = (c << 6) | (byte(at + i) & 0x3f);
    }
    const bool overlong = (length == 3 && c < 0x800) || (length == 4 && c < 0x10000);
    if (overlong || (c >= 0xd800 && c <= 0xdfff) || c > 0x10ffff) {
        return std::nullopt;
    }
    return std::pair{c, length};
}

} // namespace

bool Reader::accept(char c) {
    if (skipSpace() < m_json.size() && m_json[m_pos] == c) {
        ++m_pos;
        return true;
    }
    return false;
}

qsizetype Reader::skipSpace() {
    while (m_pos < m_json.size() && (m_json[m_pos] == ' ' || m_json[m_pos] == '\t' || m_json[m_pos] == '\n' ||
                                     m_json[m_pos] == '\r')) {
        ++m_pos;
    }
    return m_pos;
}

std::optional<std::pair<qsizetype, qsizetype>> Reader::scanString() const {
    qsizetype units = 0;
    for (qsizetype i = m_pos + 1; i < m_json.size();) {
        const auto c = static_cast<unsigned char>(m_json[i]);
        if (c == '"') {
            return std::pair{i, units};
        }
        if (c < 0x20 && m_dialect == Dialect::Strict) {
            return std::nullopt;
        }
        if (c == '\\') {
            if (i + 1 >= m_json.size()) {
                return std::nullopt;
            }
            const char escaped = m_json[i + 1];
            if (escaped == 'u') {
                if (i + 6 > m_json.size()) {
                    return std::nullopt;
                }
                for (qsizetype h = i + 2; h < i + 6; ++h) {
                    if (hexDigit(m_json[h]) < 0) {
                        return std::nullopt;
                    }
                }
                i += 6;
            } else if (QByteArrayView("\"\\/bfnrt").contains(escaped)) {
                i += 2;
            } else {
                return std::nullopt;
            }
            ++units;
        } else if (c < 0x80) {
            ++i;
            ++units;
        } else {
            const auto decoded = utf8At(m_json, i);
            if (!decoded) {
                return std::nullopt;
            }
            i += decoded->second;
            units += decoded->first >= 0x10000 ? 2 : 1;
        }
    }
    return std::nullopt;
}

std::optional<QString> Reader::string() {
    if (skipSpace() >= m_json.size() || m_json[m_pos] != '"') {
        return std::nullopt;
    }
    const auto scanned = scanString();
    if (!scanned) {
        return std::nullopt;
    }
    const auto [end, units] = *scanned;
    QString text(units, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (qsizetype i = m_pos + 1; i < end;) {
        const auto c = static_cast<unsigned char>(m_json[i]);
        if (c == '\\') {
            const char escaped = m_json[i + 1];
            if (escaped == 'u') {
                char16_t unit = 0;
                for (qsizetype h = i + 2; h < i + 6; ++h) {
                    unit = char16_t((unit << 4) | hexDigit(m_json[h]));
                }
                *out++ = unit;
                i += 6;
                continue;
            }
            static constexpr char from[] = "\"\\/bfnrt";
            static constexpr char16_t to[] = u"\"\\/\b\f\n\r\t";
            *out++ = to[QByteArrayView(from).indexOf(escaped)];
            i += 2;
        } else if (c < 0x80) {
            *out++ = char16_t(c);
            ++i;
        } else {
            const auto [code, length] = *utf8At(m_json, i);
            if (code >= 0x10000) {
                *out++ = QChar::highSurrogate(code);
                *out++ = QChar::lowSurrogate(code);
            } else {
                *out++ = char16_t(code);
            }
            i += length;
        }
    }
    m_pos = end + 1;
    return text;
}

bool Reader::skipValue() {
    return skipValue(0);
}

bool Reader::skipString() {
    if (skipSpace() >= m_json.size() || m_json[m_pos] != '"') {
        return false;
    }
    const auto scanned = scanString();
    if (scanned) {
        m_pos = scanned->first + 1;
    }
    return scanned.has_value();
}

std::optional<qsizetype> Reader::stringSize() {
    if (skipSpace() >= m_json.size() || m_json[m_pos] != '"') {
        return std::nullopt;
    }
    const auto scanned = scanString();
    return scanned ? std::optional(scanned->second) : std::nullopt;
}

std::optional<double> Reader::number() {
    const qsizetype from = skipSpace();
    if (!skipNumber()) {
        return std::nullopt;
    }
    return m_json.sliced(from, m_pos - from).toDouble();
}

// Nesting deeper than the dialect allows is refused rather than followed down the stack.
bool Reader::skipValue(int depth) {
    if (depth > (m_dialect == Dialect::Strict ? 64 : 1023) || skipSpace() >= m_json.size()) {
        return false;
    }
    const char c = m_json[m_pos];
    if (c == '"') {
        return skipString();
    }
    if (c == '{' || c == '[') {
        const char close = c == '{' ? '}' : ']';
        ++m_pos;
        if (accept(close)) {
            return true;
        }
        do {
            if (c == '{' && (!skipString() || !accept(':'))) {
                return false;
            }
            if (!skipValue(depth + 1)) {
                return false;
            }
        } while (accept(','));
        return accept(close);
    }
    for (const QByteArrayView word :
         {QByteArrayView("true"), QByteArrayView("false"), QByteArrayView("null")}) {
        if (m_json.sliced(m_pos).startsWith(word)) {
            m_pos += word.size();
            return true;
        }
    }
    return skipNumber();
}

// A number: -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
bool Reader::skipNumber() {
    const auto digits = [&] {
        const qsizetype from = m_pos;
        while (m_pos < m_json.size() && m_json[m_pos] >= '0' && m_json[m_pos] <= '9') {
            ++m_pos;
        }
        return m_pos > from;
    };
    const auto take = [&](const char* any) {
        if (m_pos < m_json.size() && QByteArrayView(any).contains(m_json[m_pos])) {
            ++m_pos;
            return true;
        }
        return false;
    };
    const qsizetype from = m_pos;
    take("-");
    if (m_dialect == Dialect::AsQt) {
        // Every part but the first digit optional, as long as the whole reads as a number.
        if (!take("0")) {
            digits();
        }
        if (take(".")) {
            digits();
        }
        if (take("eE")) {
            take("+-");
            digits();
        }
        bool isNumber = false;
        [[maybe_unused]] const double value = m_json.sliced(from, m_pos - from).toDouble(&isNumber);
        return isNumber;
    }
    if (!take("0") && !digits()) {
        return false;
    }
    if (take(".") && !digits()) {
        return false;
    }
    if (take("eE")) {
        take("+-");
        return digits();
    }
    return true;
}

} // namespace standin::JsonText
