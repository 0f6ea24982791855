#pragma once

#include <QString>
#include <memory>

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
    // A statement that finds the file locked by another connection waits for it up to
    // defaultBusyTimeoutMs, then fails with SQLITE_BUSY.
    bool open(const QString& path, QString* error);

    static constexpr int defaultBusyTimeoutMs = 2000;
    // How long a statement waits for another connection's lock from now on; 0 fails it at once.
    void setBusyTimeout(int ms);

    // Runs one or more statements without results. False with `error` set on failure.
    bool exec(const char* sql, QString* error = nullptr);

    // True when SQLite could only open the file read-only.
    bool isReadOnly() const;

    // Copies the write-ahead log back into the database file on a thread of Qt's global pool, with a
    // connection of its own, whenever a commit has left the log at `pages` pages or more. SQLite
    // would otherwise do it inside that commit, waiting for the disk on the committing thread. A
    // checkpoint lets other connections read and write meanwhile, and a crash during one loses nothing.
    void checkpointInBackground(const QString& path, int pages);

    QString lastError() const;
    // True when the last statement failed because another connection held the file locked.
    bool lastFailureWasBusy() const;
    sqlite3* handle() const { return m_db; }

private:
    struct Checkpoints;

    sqlite3* m_db = nullptr;
    std::shared_ptr<Checkpoints> m_checkpoints;
};

} // namespace orvalet
