#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

namespace orvalet {

class SqliteStatement;

// The rows of table `tag` as the store writes them, shared by its own commits and a replacement's.
namespace TagRows {

// Inserts a row, or gives an existing one every value.
extern const char* const upsertSql;
// Inserts a row, or gives an existing one every value but its creation time, and its shortcut when
// the one written is absent (an import that could not read the shortcuts leaves them as they were).
extern const char* const upsertKeepingCreationSql;
extern const char* const eraseSql;

// Dates are kept as seconds since 2001-01-01 00:00:00 UTC, like every other time this program records.
std::optional<double> toStored(const std::optional<QDateTime>& time);

// Runs `upsert` (either of the above) for one row. True when it ran.
bool write(SqliteStatement& upsert, const QString& id, const QString& name,
           const std::optional<QString>& parentTagId, const std::optional<double>& createdAt,
           const std::optional<double>& updatedAt, const std::optional<qint64>& todosCount,
           const std::optional<QString>& shortcut);
bool erase(SqliteStatement& erase, const QString& id);

// The order rows are written in. SQLite orders its keys by their UTF-8 bytes, which for every valid
// text is the order of code points; writing in the table's own order keeps its pages in cache,
// where in hash order a large import would touch a different page for nearly every row.
bool keyOrder(const QString& a, const QString& b);

} // namespace TagRows
} // namespace orvalet
