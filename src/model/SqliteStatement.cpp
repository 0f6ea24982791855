#include "SqliteStatement.h"

#include "SqliteDatabase.h"

#include <sqlite3.h>

namespace orvalet {

SqliteStatement::SqliteStatement(SqliteDatabase& db, const char* sql)
    : m_db(db) {
    if (sqlite3_prepare_v2(db.handle(), sql, -1, &m_stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
    }
}

SqliteStatement::~SqliteStatement() {
    sqlite3_finalize(m_stmt);
}

void SqliteStatement::bind(int position, const QString& text) {
    // SQLITE_TRANSIENT: SQLite copies the bytes, so the temporary UTF-8 buffer may go away.
    bindUtf8(position, encodeText(text));
}

void SqliteStatement::bindUtf8(int position, const QByteArray& utf8) {
    sqlite3_bind_text(m_stmt, position, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

void SqliteStatement::bind(int position, const std::optional<QString>& text) {
    if (text) {
        bind(position, *text);
    } else {
        sqlite3_bind_null(m_stmt, position);
    }
}

void SqliteStatement::bind(int position, const std::optional<double>& value) {
    if (value) {
        sqlite3_bind_double(m_stmt, position, *value);
    } else {
        sqlite3_bind_null(m_stmt, position);
    }
}

void SqliteStatement::bind(int position, const std::optional<qint64>& value) {
    if (value) {
        sqlite3_bind_int64(m_stmt, position, *value);
    } else {
        sqlite3_bind_null(m_stmt, position);
    }
}

bool SqliteStatement::step(bool* ok) {
    const int rc = m_stmt ? sqlite3_step(m_stmt) : SQLITE_MISUSE;
    if (ok) {
        *ok = rc == SQLITE_ROW || rc == SQLITE_DONE;
    }
    return rc == SQLITE_ROW;
}

bool SqliteStatement::run() {
    bool ok = false;
    step(&ok);
    return ok;
}

void SqliteStatement::reset() {
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

bool SqliteStatement::isNull(int column) const {
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

QString SqliteStatement::text(int column) const {
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return decodeText(data, sqlite3_column_bytes(m_stmt, column));
}

QByteArray SqliteStatement::encodeText(QStringView text) {
    QByteArray out;
    out.reserve(text.size() * 3);
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(char16_t(c), text[++i].unicode());
        }
        if (c < 0x80) {
            out.append(char(c));
        } else if (c < 0x800) {
            out.append(char(0xc0 | (c >> 6))).append(char(0x80 | (c & 0x3f)));
        } else if (c < 0x10000) { // a lone surrogate too, as its code unit
            out.append(char(0xe0 | (c >> 12)))
                .append(char(0x80 | ((c >> 6) & 0x3f)))
                .append(char(0x80 | (c & 0x3f)));
        } else {
            out.append(char(0xf0 | (c >> 18)))
                .append(char(0x80 | ((c >> 12) & 0x3f)))
                .append(char(0x80 | ((c >> 6) & 0x3f)))
                .append(char(0x80 | (c & 0x3f)));
        }
    }
    return out;
}

QString SqliteStatement::decodeText(const char* bytes, qsizetype size) {
    QString out;
    out.reserve(size);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes);
    qsizetype i = 0;
    const auto continuation = [&](qsizetype at) {
        return at < size && (p[at] & 0xc0) == 0x80;
    };
    while (i < size) {
        const unsigned char b = p[i];
        char32_t c = 0;
        int length = 0;
        char32_t smallest = 0;
        if (b < 0x80) {
            c = b, length = 1;
        } else if ((b & 0xe0) == 0xc0) {
            c = b & 0x1f, length = 2, smallest = 0x80;
        } else if ((b & 0xf0) == 0xe0) {
            c = b & 0x0f, length = 3, smallest = 0x800;
        } else if ((b & 0xf8) == 0xf0) {
            c = b & 0x07, length = 4, smallest = 0x10000;
        }
        bool valid = length > 0;
        for (int k = 1; valid && k < length; ++k) {
            valid = continuation(i + k);
            if (valid) {
                c = (c << 6) | (p[i + k] & 0x3f);
            }
        }
        if (!valid || c < smallest || c > 0x10ffff) {
            out.append(QChar::ReplacementCharacter);
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            out.append(QChar::highSurrogate(c)).append(QChar::lowSurrogate(c));
        } else {
            out.append(QChar(char16_t(c)));
        }
        i += length;
    }
    return out;
}

double SqliteStatement::real(int column) const {
    return sqlite3_column_double(m_stmt, column);
}

qint64 SqliteStatement::integer(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}

} // namespace orvalet
