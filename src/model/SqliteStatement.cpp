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
    bindUtf8(position, text.toUtf8());
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
    return QString::fromUtf8(data, sqlite3_column_bytes(m_stmt, column));
}

double SqliteStatement::real(int column) const {
    return sqlite3_column_double(m_stmt, column);
}

qint64 SqliteStatement::integer(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}

} // namespace orvalet
