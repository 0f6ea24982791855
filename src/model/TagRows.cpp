#include "TagRows.h"

#include "Clock.h"
#include "SqliteStatement.h"
#include "TextOrder.h"

namespace orvalet::TagRows {

const char* const upsertSql =
    "INSERT INTO tag (id, name, parentTagId, createdAt, updatedAt, todosCount, shortcut) "
    "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7) ON CONFLICT (id) DO UPDATE SET "
    "name = ?2, parentTagId = ?3, createdAt = ?4, updatedAt = ?5, todosCount = ?6, shortcut = ?7";
const char* const upsertKeepingCreationSql =
    "INSERT INTO tag (id, name, parentTagId, createdAt, updatedAt, todosCount, shortcut) "
    "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7) ON CONFLICT (id) DO UPDATE SET "
    "name = ?2, parentTagId = ?3, updatedAt = ?5, todosCount = ?6, shortcut = coalesce(?7, shortcut)";
const char* const eraseSql = "DELETE FROM tag WHERE id = ?1";

std::optional<double> toStored(const std::optional<QDateTime>& time) {
    if (!time || !time->isValid()) {
        return std::nullopt;
    }
    return Clock::secondsSinceReferenceDate(*time);
}

bool write(SqliteStatement& upsert, const QString& id, const QString& name,
           const std::optional<QString>& parentTagId, const std::optional<double>& createdAt,
           const std::optional<double>& updatedAt, const std::optional<qint64>& todosCount,
           const std::optional<QString>& shortcut) {
    // Every position is bound again for each row, so the bindings need no clearing.
    upsert.bind(1, id);
    upsert.bind(2, name);
    upsert.bind(3, parentTagId);
    upsert.bind(4, createdAt);
    upsert.bind(5, updatedAt);
    upsert.bind(6, todosCount);
    upsert.bind(7, shortcut);
    const bool ok = upsert.run();
    upsert.rewind();
    return ok;
}

bool erase(SqliteStatement& erase, const QString& id) {
    erase.bind(1, id);
    const bool ok = erase.run();
    erase.rewind();
    return ok;
}

bool keyOrder(const QString& a, const QString& b) {
    return TextOrder::compareKeys(a, b) < 0;
}

} // namespace orvalet::TagRows
