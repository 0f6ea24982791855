#include "SqliteDatabase.h"

#include <QThreadPool>
#include <atomic>
#include <sqlite3.h>

namespace orvalet {

SqliteDatabase::~SqliteDatabase() {
    sqlite3_close_v2(m_db);
}

bool SqliteDatabase::open(const QString& path, QString* error) {
    const QByteArray file = path.toUtf8();
    // A connection is only ever used by the thread that opened it, so SQLite need not lock it at
    // every call (NOMUTEX); reading a hundred thousand rows makes a million calls.
    const int rc = sqlite3_open_v2(file.constData(), &m_db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        if (error) {
            *error = m_db ? lastError() : QString::fromUtf8(sqlite3_errstr(rc));
        }
        return false;
    }
    // Lets a statement wait briefly instead of failing while another connection writes. The store's
    // own connection, used on the interface thread, waits for nothing (TagStore).
    setBusyTimeout(defaultBusyTimeoutMs);
    return true;
}

void SqliteDatabase::setBusyTimeout(int ms) {
    sqlite3_busy_timeout(m_db, ms);
}

bool SqliteDatabase::exec(const char* sql, QString* error) {
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        if (error) {
            *error = message ? QString::fromUtf8(message) : lastError();
        }
        sqlite3_free(message);
        return false;
    }
    return true;
}

bool SqliteDatabase::isReadOnly() const {
    return sqlite3_db_readonly(m_db, "main") == 1;
}

struct SqliteDatabase::Checkpoints {
    QString path;
    int pages = 0;
    std::shared_ptr<std::atomic<bool>> running = std::make_shared<std::atomic<bool>>(false);
};

void SqliteDatabase::checkpointInBackground(const QString& path, int pages) {
    m_checkpoints = std::make_shared<Checkpoints>(Checkpoints{path, pages});
    // The hook replaces SQLite's own checkpoint after a commit, and runs inside the commit.
    sqlite3_wal_hook(
        m_db,
        [](void* data, sqlite3*, const char*, int logPages) {
            const auto& checkpoints = *static_cast<const Checkpoints*>(data);
            if (logPages >= checkpoints.pages && !checkpoints.running->exchange(true)) {
                QThreadPool::globalInstance()->start(
                    [path = checkpoints.path, running = checkpoints.running] {
                        SqliteDatabase db;
                        if (db.open(path, nullptr)) {
                            sqlite3_wal_checkpoint_v2(db.handle(), nullptr, SQLITE_CHECKPOINT_PASSIVE,
                                                      nullptr, nullptr);
                        }
                        running->store(false);
                    });
            }
            return SQLITE_OK;
        },
        m_checkpoints.get());
}

QString SqliteDatabase::lastError() const {
    return QString::fromUtf8(sqlite3_errmsg(m_db));
}

bool SqliteDatabase::lastFailureWasBusy() const {
    const int code = sqlite3_errcode(m_db) & 0xff; // the primary code of an extended one
    return code == SQLITE_BUSY || code == SQLITE_LOCKED;
}

} // namespace orvalet
