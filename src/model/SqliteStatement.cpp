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
    if (m_texts.size() <= size_t(position)) {
        m_texts.resize(size_t(position) + 1);
    }
    QByteArray& bytes = m_texts[size_t(position)];
    encodeText(text, bytes);
    // SQLITE_STATIC: the bytes stay where they are until this position is bound again, which
    // happens only after the statement was reset.
    sqlite3_bind_text(m_stmt, position, bytes.constData(), int(bytes.size()), SQLITE_STATIC);
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

void SqliteStatement::rewind() {
    sqlite3_reset(m_stmt);
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
    encodeText(text, out);
    return out;
}

void SqliteStatement::encodeText(QStringView text, QByteArray& out) {
    // Written through a pointer into room for the longest form (three bytes a unit), then cut.
    out.resize(text.size() * 3);
    char* o = out.data();
    const char16_t* units = text.utf16();
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        char32_t c = units[i];
        if (c < 0x80) {
            *o++ = char(c);
            continue;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < size && QChar::isLowSurrogate(units[i + 1])) {
            c = QChar::surrogateToUcs4(char16_t(c), units[++i]);
        }
        if (c < 0x800) {
            *o++ = char(0xc0 | (c >> 6));
            *o++ = char(0x80 | (c & 0x3f));
        } else if (c < 0x10000) { // a lone surrogate too, as its code unit
            *o++ = char(0xe0 | (c >> 12));
            *o++ = char(0x80 | ((c >> 6) & 0x3f));
            *o++ = char(0x80 | (c & 0x3f));
        } else { // four bytes for the two units of a pair
            *o++ = char(0xf0 | (c >> 18));
            *o++ = char(0x80 | ((c >> 12) & 0x3f));
            *o++ = char(0x80 | ((c >> 6) & 0x3f));
            *o++ = char(0x80 | (c & 0x3f));
        }
    }
    out.truncate(o - out.constData());
}

QString SqliteStatement::decodeText(const char* bytes, qsizetype size) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes);
    // Nearly every text is ASCII, which Qt's own Latin-1 conversion reads fastest, and exactly.
    qsizetype i = 0;
    while (i < size && p[i] < 0x80) {
        ++i;
    }
    if (i == size) {
        return QString::fromLatin1(bytes, size);
    }
    // No sequence gives more units than it has bytes: room for `size` units is enough.
    QString out(size, Qt::Uninitialized);
    char16_t* o = reinterpret_cast<char16_t*>(out.data());
    for (qsizetype k = 0; k < i; ++k) {
        *o++ = p[k];
    }
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
            *o++ = QChar::ReplacementCharacter;
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            *o++ = QChar::highSurrogate(c);
            *o++ = QChar::lowSurrogate(c);
        } else {
            *o++ = char16_t(c);
        }
        i += length;
    }
    out.truncate(o - reinterpret_cast<const char16_t*>(out.constData()));
    return out;
}

double SqliteStatement::real(int column) const {
    return sqlite3_column_double(m_stmt, column);
}

qint64 SqliteStatement::integer(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}

} // namespace orvalet
