#include "TagStore.h"

#include "Clock.h"
#include "SqliteStatement.h"
#include "TagReplacement.h"
#include "TagRows.h"
#include "TextOrder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QtEndian>
#include <algorithm>
#include <array>
#include <cstdio>
#include <numeric>
#include <utility>

namespace orvalet {

namespace {

// Marks the file as ours in SQLite's header ("ORVL"), so another program's database is refused.
constexpr int applicationId = 0x4F52564C;

constexpr const char* createSchemaSql = R"sql(
    BEGIN;
    CREATE TABLE tag (
        id TEXT PRIMARY KEY NOT NULL,
        name TEXT NOT NULL,
        parentTagId TEXT,
        createdAt REAL,
        updatedAt REAL,
        todosCount INTEGER,
        shortcut TEXT
    ) WITHOUT ROWID;
    CREATE TABLE metadata (key TEXT PRIMARY KEY NOT NULL, value TEXT NOT NULL);
    INSERT INTO metadata (key, value) VALUES ('schemaVersion', '1.1.0');
    PRAGMA application_id = 1330796108;
    COMMIT;
)sql";
static_assert(applicationId == 1330796108);

// A store of version 1.0.0 predates keyboard shortcuts: its tags gain the column with no value in
// it, which the records read as a shortcut never read, not as none. One transaction, so the file is
// either still a whole 1.0.0 store or a whole 1.1.0 one.
constexpr const char* previousSchemaVersion = "1.0.0";
constexpr const char* addShortcutSql = R"sql(
    BEGIN IMMEDIATE;
    ALTER TABLE tag ADD COLUMN shortcut TEXT;
    UPDATE metadata SET value = '1.1.0' WHERE key = 'schemaVersion';
    COMMIT;
)sql";

std::optional<QDateTime> fromStored(const SqliteStatement& row, int column) {
    if (row.isNull(column)) {
        return std::nullopt;
    }
    return Clock::fromSecondsSinceReferenceDate(row.real(column));
}

// Reads one integer from a one-row query; false with `error` set when the query fails.
bool queryInteger(SqliteDatabase& db, const char* sql, qint64* value, QString* error) {
    SqliteStatement statement(db, sql);
    bool ok = statement.isValid();
    if (ok && statement.step(&ok)) {
        *value = statement.integer(0);
        return true;
    }
    *error = db.lastError();
    return false;
}

// What a file holds, judged from its own bytes before SQLite is let near it: even a read through
// SQLite may roll back a leftover journal or leave -wal and -shm files beside someone else's file.
enum class FileKind { missingOrEmpty, ours, another, unreadable };

FileKind identifyFile(const QFileInfo& file, QString* error) {
    if (!file.exists() || file.size() == 0) {
        return FileKind::missingOrEmpty;
    }
    QFile device(file.filePath());
    if (!device.open(QIODevice::ReadOnly)) {
        *error = device.errorString();
        return FileKind::unreadable;
    }
    // The 100-byte database header: the format's magic text first, the application id at offset 68.
    const QByteArray header = device.read(100);
    static constexpr char magic[] = "SQLite format 3";
    if (header.size() < 100 || !header.startsWith(QByteArray::fromRawData(magic, sizeof magic))) {
        return FileKind::another;
    }
    const auto id = qFromBigEndian<quint32>(header.constData() + 68);
    return id == quint32(applicationId) ? FileKind::ours : FileKind::another;
}

} // namespace

QString TagStore::defaultPath() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/Orvalet.store");
}

std::unique_ptr<TagStore> TagStore::open(const QString& path, QString* error) {
    auto fail = [error](const QString& reason) {
        if (error) {
            *error = reason;
        }
        return std::unique_ptr<TagStore>();
    };
    if (path.isEmpty()) {
        return fail(QStringLiteral("no per-user data folder is available for the store"));
    }
    const QFileInfo file(path);
    const QString folder = file.absolutePath();
    if (!QDir().mkpath(folder) || !QFileInfo(folder).isDir()) {
        return fail(QStringLiteral("cannot create the folder %1").arg(folder));
    }
    if (file.exists() && !file.isFile()) {
        return fail(QStringLiteral("%1 is not a file").arg(path));
    }

    // Only a missing or empty file is adopted; anything else must already carry our application id.
    QString why;
    const FileKind kind = identifyFile(file, &why);
    if (kind == FileKind::unreadable) {
        return fail(QStringLiteral("cannot read %1: %2").arg(path, why));
    }
    if (kind == FileKind::another) {
        return fail(QStringLiteral("%1 is not an Orvalet store").arg(path));
    }

    auto db = std::make_unique<SqliteDatabase>();
    if (!db->open(path, &why)) {
        return fail(QStringLiteral("cannot open %1: %2").arg(path, why));
    }
    if (db->isReadOnly()) {
        return fail(QStringLiteral("%1 can be read but not written").arg(path));
    }

    if (kind == FileKind::missingOrEmpty) {
        if (!db->exec(createSchemaSql, &why)) {
            db->exec("ROLLBACK");
            return fail(QStringLiteral("cannot create the store in %1: %2").arg(path, why));
        }
    } else {
        // The header said ours; SQLite's own reading of it also shows whether the rest is sound.
        qint64 fileApplicationId = 0;
        if (!queryInteger(*db, "PRAGMA application_id", &fileApplicationId, &why)) {
            return fail(QStringLiteral("cannot read %1: %2").arg(path, why));
        }
        if (fileApplicationId != applicationId) {
            return fail(QStringLiteral("%1 is not an Orvalet store").arg(path));
        }
        SqliteStatement version(*db, "SELECT value FROM metadata WHERE key = 'schemaVersion'");
        const QString found =
            version.isValid() && version.step() ? version.text(0) : QStringLiteral("unknown");
        version.rewind();
        if (found == QLatin1String(previousSchemaVersion)) {
            if (!db->exec(addShortcutSql, &why)) {
                db->exec("ROLLBACK");
                return fail(QStringLiteral("cannot bring %1 to schema version %2: %3")
                                .arg(path, QLatin1String(schemaVersion), why));
            }
        } else if (found != QLatin1String(schemaVersion)) {
            return fail(QStringLiteral("%1 has schema version %2; this version of Orvalet reads version %3")
                            .arg(path, found, QLatin1String(schemaVersion)));
        }
    }

    // WAL lets a commit append instead of rewriting pages in place; NORMAL sync is safe with WAL.
    // SQLite's own threshold for copying the log back, 1000 pages, is kept; the copy is not done
    // by the commit that reaches it.
    db->exec("PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;");
    db->checkpointInBackground(path, 1000);

    std::unique_ptr<TagStore> store(new TagStore(path, std::move(db)));
    if (!store->load(&why)) {
        return fail(QStringLiteral("cannot read the tags in %1: %2").arg(path, why));
    }
    // From now on the connection is used on the interface thread: a commit that finds the file
    // locked fails at once and is tried again later, rather than stopping the windows meanwhile.
    store->m_db->setBusyTimeout(0);
    return store;
}

TagStore::TagStore(QString path, std::unique_ptr<SqliteDatabase> db)
    : m_path(std::move(path))
    , m_db(std::move(db)) {
    m_lockRetry.setSingleShot(true);
    m_lockRetry.setInterval(lockRetryDelay);
    connect(&m_lockRetry, &QTimer::timeout, this, [this] {
        // A replacement under way commits what waits once its own transaction is over.
        if (!m_replacement) {
            flush();
        }
    });
}

TagStore::~TagStore() {
    finalFlush();
    if (m_replacement) {
        m_replacement->m_store = nullptr;
    }
    for (const auto& tag : m_tags) {
        tag->m_store = nullptr;
    }
}

bool TagStore::load(QString* error) {
    // Counting the rows first costs a walk over the table's pages, less than growing the index.
    qint64 count = 0;
    if (!queryInteger(*m_db, "SELECT count(*) FROM tag", &count, error)) {
        return false;
    }
    m_tags.reserve(size_t(count));
    m_indexById.reserve(qsizetype(count));
    SqliteStatement rows(*m_db,
                         "SELECT id, name, parentTagId, createdAt, updatedAt, todosCount, shortcut FROM tag");
    bool ok = rows.isValid();
    while (ok && rows.step(&ok)) {
        const QDateTime placeholder;
        auto tag = std::make_shared<Tag>(rows.text(0), rows.text(1),
                                         rows.isNull(2) ? std::nullopt : std::optional(rows.text(2)),
                                         placeholder, placeholder);
        // Stored records keep exactly what the file holds, absent times included.
        tag->m_createdAt = fromStored(rows, 3);
        tag->m_updatedAt = fromStored(rows, 4);
        if (!rows.isNull(5)) {
            tag->m_todosCount = rows.integer(5);
        }
        if (!rows.isNull(6)) {
            tag->m_shortcut = rows.text(6);
        }
        tag->m_store = this;
        tag->m_place = int(m_tags.size());
        m_indexById.insert(tag->id(), tag->m_place);
        m_tags.push_back(std::move(tag));
    }
    if (!ok) {
        *error = m_db->lastError();
    }
    return ok;
}

namespace {

bool sortsBefore(const Tag& a, const Tag& b) {
    const int order = TextOrder::compareKeys(a.nameSortKey(), b.nameSortKey());
    return order != 0 ? order < 0 : TextOrder::compareKeys(a.id(), b.id()) < 0;
}

// A record's place and the first sixteen units of its key (a name's sort key, or an identifier) in
// the order compareKeys gives them: when the starts differ they decide, and equal starts leave the
// decision to the whole keys. Sorting these reads neither the records nor their texts for most
// comparisons.
struct SortEntry {
    SortEntry() = default;
    SortEntry(QStringView key, qsizetype place)
        : place(place) {
        const qsizetype units = std::min<qsizetype>(key.size(), 16);
        for (qsizetype i = 0; i < units; ++i) {
            start[size_t(i / 4)] |= quint64(TextOrder::orderOfUnit(key[i].unicode())) << (48 - 16 * (i % 4));
        }
    }

    std::array<quint64, 4> start{};
    qsizetype place = 0;
};

} // namespace

QString TagStore::note(const QString& key) const {
    SqliteStatement read(*m_db, "SELECT value FROM metadata WHERE key = ?1");
    if (!read.isValid())
        return {};
    read.bind(1, QString(u"note." + key));
    return read.step() ? read.text(0) : QString();
}

bool TagStore::setNote(const QString& key, const QString& value, QString* error) {
    SqliteStatement write(*m_db, "INSERT INTO metadata (key, value) VALUES (?1, ?2) "
                                 "ON CONFLICT (key) DO UPDATE SET value = excluded.value");
    if (write.isValid()) {
        write.bind(1, QString(u"note." + key));
        write.bind(2, value);
    }
    if (!write.isValid() || !write.run()) {
        *error = m_db->lastError();
        return false;
    }
    return true;
}

QList<TagPtr> TagStore::allTags() const {
    if (!m_sortedValid) {
        // Each record's place is sorted with the start of its key beside it, so most comparisons
        // read neither the record nor its text; only records whose keys start alike are compared
        // in full.
        std::vector<SortEntry> order(m_tags.size());
        for (size_t i = 0; i < m_tags.size(); ++i) {
            order[i] = SortEntry(m_tags[i]->nameSortKey(), qsizetype(i));
        }
        std::sort(order.begin(), order.end(), [this](const SortEntry& a, const SortEntry& b) {
            if (a.start != b.start) {
                return a.start < b.start;
            }
            return sortsBefore(*m_tags[size_t(a.place)], *m_tags[size_t(b.place)]);
        });
        m_sorted.clear();
        m_sorted.reserve(qsizetype(order.size()));
        for (const SortEntry& entry : order) {
            m_sorted.append(m_tags[size_t(entry.place)]);
        }
        m_sortedValid = true;
        m_misplaced.clear();
    }
    // A few records renamed, inserted or deleted since the last read are moved to their places: all
    // of them are taken out first, so that each goes back into a list that is in order.
    std::vector<TagPtr> misplaced = std::exchange(m_misplaced, {});
    std::sort(misplaced.begin(), misplaced.end());
    misplaced.erase(std::unique(misplaced.begin(), misplaced.end()), misplaced.end());
    if (!misplaced.empty()) {
        m_sorted.removeIf([&](const TagPtr& record) {
            return std::binary_search(misplaced.begin(), misplaced.end(), record);
        });
        for (const TagPtr& record : misplaced) {
            if (record->m_store == this) {
                const auto place =
                    std::lower_bound(m_sorted.begin(), m_sorted.end(), record,
                                     [](const TagPtr& a, const TagPtr& b) { return sortsBefore(*a, *b); });
                m_sorted.insert(place, record);
            }
        }
    }
    return m_sorted;
}

void TagStore::placeChanged(const TagPtr& record) const {
    // Past a handful of records, one sort of the whole list is cheaper than moving each.
    constexpr std::size_t mostMoved = 32;
    if (!m_sortedValid || !record) {
        return;
    }
    if (m_misplaced.size() >= mostMoved) {
        m_sortedValid = false;
        m_sorted.clear();
        m_misplaced.clear();
        return;
    }
    m_misplaced.push_back(record);
}

QList<TagPtr> TagStore::allTagsUnordered() const {
    return QList<TagPtr>(m_tags.begin(), m_tags.end());
}

TagPtr TagStore::tag(const QString& id) const {
    const auto it = m_indexById.constFind(id);
    return it == m_indexById.cend() ? nullptr : m_tags[size_t(*it)];
}

TagPtr TagStore::insert(const Tag& tag) {
    if (TagPtr existing = this->tag(tag.id())) {
        existing->m_name = tag.m_name;
        existing->m_nameSortKey = tag.m_nameSortKey;
        existing->m_parentTagId = tag.m_parentTagId;
        existing->m_createdAt = tag.m_createdAt;
        existing->m_updatedAt = tag.m_updatedAt;
        existing->m_todosCount = tag.m_todosCount;
        existing->m_shortcut = tag.m_shortcut;
        recordChanged(*existing, Tag::everyField);
        return existing;
    }
    auto stored = std::make_shared<Tag>(tag);
    adopt(stored);
    written(stored, Tag::everyField);
    return stored;
}

void TagStore::adopt(TagPtr record) {
    record->m_store = this;
    record->m_place = int(m_tags.size());
    m_indexById.insert(record->id(), record->m_place);
    placeChanged(record);
    m_tags.push_back(std::move(record));
}

void TagStore::remove(const TagPtr& tag) {
    if (!tag || tag->m_store != this) {
        return;
    }
    drop(tag);
    written(tag, Tag::everyField);
}

void TagStore::drop(const TagPtr& record) {
    const qsizetype index = m_indexById.take(record->id());
    if (size_t(index) + 1 != m_tags.size()) {
        m_tags[size_t(index)] = std::move(m_tags.back());
        m_tags[size_t(index)]->m_place = int(index);
        m_indexById[m_tags[size_t(index)]->id()] = index;
    }
    m_tags.pop_back();
    record->m_store = nullptr;
    placeChanged(record);
}

void TagStore::recordChanged(Tag& tag, Tag::Field field) {
    const TagPtr& record = m_tags[size_t(tag.m_place)];
    if (field & Tag::nameField) {
        placeChanged(record);
    }
    written(record, field);
}

void TagStore::written(const TagPtr& record, Tag::Field field) {
    if (m_replacement) {
        m_writtenSince[record->id()] |= field;
    }
    queue(record);
    listChanged(record->id());
    turnChanged();
}

void TagStore::queue(const TagPtr& record) {
    if (record->m_store != this) {
        m_deletedIds.insert(record->id());
    } else if (!record->m_queued) {
        record->m_queued = true;
        m_queued.push_back(record);
    }
}

void TagStore::listChanged(const QString& id) {
    // Past this many, views rebuild everything rather than look at each change.
    constexpr qsizetype mostListed = 4096;
    if (m_turnIds) {
        m_turnIds->insert(id);
        if (m_turnIds->size() > mostListed) {
            m_turnIds.reset();
        }
    }
}

void TagStore::turnChanged() {
    m_changedPending = true;
    if (!m_turnScheduled) {
        m_turnScheduled = true;
        QMetaObject::invokeMethod(this, &TagStore::endOfTurn, Qt::QueuedConnection);
    }
}

void TagStore::endOfTurn() {
    m_turnScheduled = false;
    // A replacement's transaction, under way on a connection of its own, goes first: what was
    // written meanwhile is committed when it is over.
    if (!m_replacement) {
        flush();
    }
    if (m_changedPending) {
        m_changedPending = false;
        // Writes made while `changed` is delivered belong to the next turn.
        m_announcedIds = std::exchange(m_turnIds, QSet<QString>());
        Q_EMIT changed();
        m_announcedIds.reset();
    }
}

bool TagStore::flush() {
    if (m_replacement) {
        m_replacement->waitUntilPrepared();
    }
    return commit();
}

bool TagStore::finalFlush() {
    if (m_replacement) {
        m_replacement->waitUntilPrepared();
    }
    m_db->setBusyTimeout(SqliteDatabase::defaultBusyTimeoutMs);
    const bool ok = commit();
    m_db->setBusyTimeout(0);
    return ok;
}

bool TagStore::commit() {
    if (!hasPendingWrites()) {
        m_lockRetry.stop();
        return true;
    }
    QString why;
    bool ok = m_db->exec("BEGIN IMMEDIATE", &why);
    if (ok) {
        if (!m_upsert) {
            m_upsert = std::make_unique<SqliteStatement>(*m_db, TagRows::upsertSql);
            m_erase = std::make_unique<SqliteStatement>(*m_db, TagRows::eraseSql);
        }
        ok = m_upsert->isValid() && m_erase->isValid();
        QStringList deleted(m_deletedIds.cbegin(), m_deletedIds.cend());
        std::sort(deleted.begin(), deleted.end(), TagRows::keyOrder);
        for (auto it = deleted.cbegin(); ok && it != deleted.cend(); ++it) {
            ok = TagRows::erase(*m_erase, *it);
        }
        std::vector<SortEntry> rows(m_queued.size());
        for (size_t i = 0; i < m_queued.size(); ++i) {
            rows[i] = SortEntry(m_queued[i]->id(), qsizetype(i));
        }
        std::sort(rows.begin(), rows.end(), [this](const SortEntry& a, const SortEntry& b) {
            return a.start != b.start
                       ? a.start < b.start
                       : TagRows::keyOrder(m_queued[size_t(a.place)]->id(), m_queued[size_t(b.place)]->id());
        });
        for (auto it = rows.cbegin(); ok && it != rows.cend(); ++it) {
            // A record deleted after it was written is left to its deletion.
            const Tag& tag = *m_queued[size_t(it->place)];
            if (tag.m_store == this) {
                ok = TagRows::write(*m_upsert, tag.id(), tag.name(), tag.parentTagId(),
                                    TagRows::toStored(tag.createdAt()), TagRows::toStored(tag.updatedAt()),
                                    tag.todosCount(), tag.shortcut());
            }
        }
        if (!ok) {
            why = m_db->lastError();
        }
    }
    if (ok && !m_db->exec("COMMIT", &why)) {
        ok = false;
    }
    if (!ok) {
        const bool locked = m_db->lastFailureWasBusy();
        if (locked) {
            m_lockRetry.start();
        }
        m_db->exec("ROLLBACK");
        // The records stay queued: the next change, the retry of a locked file or the flush at
        // quit tries again.
        if (!m_saveFailure) {
            std::fprintf(stderr, "Orvalet: could not save tags to %s (%s); will retry %s.\n",
                         qPrintable(m_path), qPrintable(why),
                         locked ? "shortly and with the next change" : "with the next change");
            m_saveFailure = why.isEmpty() ? QStringLiteral("unknown error") : why;
            Q_EMIT saveFailureChanged();
        }
        return false;
    }
    for (const TagPtr& record : m_queued) {
        record->m_queued = false;
    }
    m_queued.clear();
    m_deletedIds.clear();
    m_lockRetry.stop();
    committed();
    return true;
}

void TagStore::committed() {
    if (m_saveFailure) {
        m_saveFailure.reset();
        Q_EMIT saveFailureChanged();
    }
    ++m_commitCount;
}

} // namespace orvalet
