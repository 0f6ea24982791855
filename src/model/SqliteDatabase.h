#pragma once

#include <QString>

struct sqlite3;

namespace orvalet {

// Owns one sqlite3 connection. Errors are returned as texts rather than thrown: the store decides
// what a failure means (fatal at open, retried later for a commit).
class SqliteDatabase final {
public:
    SqliteDatabase() = default;
    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    // Opens (creating if missing) the file read-write. False with `error` set on failure.
    // SQLite opens lazily, so a file that is not a database only fails at the first read.
    bool open(const QString& path, QString* error);

    // Runs one or more statements without results. False with `error` set on failure.
    bool exec(const char* sql, QString* error = nullptr);

    // True when SQLite could only open the file read-only.
    bool isReadOnly() const;

    QString lastError() const;
    sqlite3* handle() const { return m_db; }

private:
    sqlite3* m_db = nullptr;
};

} // namespace orvalet
