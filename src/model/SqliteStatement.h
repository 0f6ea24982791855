#pragma once

#include <QString>
#include <optional>
#include <vector>

struct sqlite3_stmt;

namespace orvalet {

class SqliteDatabase;

// Short-lived RAII wrapper around sqlite3_stmt, owned by the caller; the connection belongs to the
// SqliteDatabase it was prepared on. SQLite counts bind positions from 1 and columns from 0.
class SqliteStatement final {
public:
    SqliteStatement(SqliteDatabase& db, const char* sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    bool isValid() const { return m_stmt != nullptr; }

    // Text is bound in the store's exact form (encodeText), encoded into a buffer the statement keeps
    // for its position, so that a statement run many times allocates nothing per run.
    void bind(int position, const QString& text);
    void bind(int position, const std::optional<QString>& text);
    void bind(int position, const std::optional<double>& value);
    void bind(int position, const std::optional<qint64>& value);

    // Advances to the next row: true while there is one. False at the end or on an error; `ok`
    // tells them apart.
    bool step(bool* ok = nullptr);

    // Steps a statement that returns no rows; true when it ran to completion.
    bool run();

    // Clears bindings and rewinds, so a prepared statement can run again with new values.
    void reset();
    // Rewinds, keeping the bindings: for a statement whose every position is bound before each run.
    void rewind();

    bool isNull(int column) const;
    QString text(int column) const;

    // Text as the store keeps it: UTF-8, except that a lone surrogate is written as the three bytes
    // its code unit would have, so that every QString comes back exactly, and nothing is dropped or
    // replaced (Qt's own conversion turns a lone surrogate into "?" and drops a leading U+FEFF).
    // Valid text is plain UTF-8, byte for byte. Bytes that are no UTF-8 at all read as U+FFFD.
    static QByteArray encodeText(QStringView text);
    // The same into `out`, whose capacity is reused.
    static void encodeText(QStringView text, QByteArray& out);
    static QString decodeText(const char* bytes, qsizetype size);
    double real(int column) const;
    qint64 integer(int column) const;

private:
    SqliteDatabase& m_db;
    sqlite3_stmt* m_stmt = nullptr;
    // The bytes of the text bound at each position, which SQLite reads in place until the next run.
    std::vector<QByteArray> m_texts;
};

} // namespace orvalet
