#pragma once

#include "SqliteDatabase.h"
#include "Tag.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

namespace orvalet {

class SqliteStatement;
class TagReplacement;

// The one local store of Tag records, kept in an SQLite file.
//
// Every record is loaded at open; reads never touch the disk. Inserts, deletions and field writes
// change memory at once and are queued; the queue is committed in one transaction at the end of the
// current event-loop turn (and by flush(), which the application calls when it quits). Views learn
// of changes from one `changed` signal per turn, however many writes the turn made.
class TagStore final : public QObject {
    Q_OBJECT

public:
    // 1.1.0 added the tags' keyboard shortcuts; a 1.0.0 store is brought to it when opened.
    static constexpr const char* schemaVersion = "1.1.0";

    // Opens the store at `path`, creating the file and its folder when missing. An empty file becomes
    // a new store; any other file must already be one. On failure returns null with `error` set, and
    // leaves an existing file exactly as it was.
    static std::unique_ptr<TagStore> open(const QString& path, QString* error);

    // `Orvalet.store` in the application's per-user data folder.
    static QString defaultPath();

    ~TagStore() override;

    QString path() const { return m_path; }

    // Every record, ascending by name in the plain-text order (ties by id, so the order is stable).
    QList<TagPtr> allTags() const;
    // Every record in the store's own order.
    QList<TagPtr> allTagsUnordered() const;
    qsizetype count() const { return qsizetype(m_tags.size()); }
    TagPtr tag(const QString& id) const;

    // Stores the tag. When a record with its id exists, that record takes the inserted field values
    // and is returned; otherwise the new record is returned. Either way, write to the returned one.
    TagPtr insert(const Tag& tag);
    // Deletes the record; the caller's pointer stays valid but no longer belongs to the store.
    void remove(const TagPtr& tag);

    // A text kept in the file beside the tags under `key`: what the windows remember of this store
    // (the groups of alike tags set aside, say). Empty when none was kept or it cannot be read.
    QString note(const QString& key) const;
    // Keeps `value` under `key` at once, outside the tags' queued writes. False, with `error` set,
    // when the file could not be written.
    bool setNote(const QString& key, const QString& value, QString* error);

    // Commits the queued writes now. True when nothing is left to commit. A commit that fails (a
    // full disk, a folder gone read-only, the file locked) keeps the writes queued in memory, to be
    // tried again with the next change and at the flush when the application quits; one that found
    // the file locked by another connection is also tried again after lockRetryDelay.
    // It does not wait for another connection's lock: the commits run on the interface thread, which
    // would stand still meanwhile.
    bool flush();
    // flush() for the last time, when the application quits or the store closes: it waits up to
    // SqliteDatabase::defaultBusyTimeoutMs for another connection's lock, since what is not saved
    // now is lost.
    bool finalFlush();
    static constexpr std::chrono::milliseconds lockRetryDelay{500};
    // Why the last commit failed, while no commit has succeeded since; announced by
    // saveFailureChanged when it comes and when it goes.
    const std::optional<QString>& saveFailure() const { return m_saveFailure; }
    bool hasPendingWrites() const { return !m_queued.empty() || !m_deletedIds.isEmpty(); }
    // How many transactions this store has committed; lets tests see that a turn's writes go together.
    int commitCount() const { return m_commitCount; }
    // While `changed` is delivered: the identifiers inserted, written or deleted in the turn it
    // announces, so that a view can bring up to date only what they touch. Null when the turn
    // changed too many records to list, and outside the delivery.
    const QSet<QString>* changedIds() const { return m_announcedIds ? &*m_announcedIds : nullptr; }

    // Whether a TagReplacement is under way; replacementFinished says when it is over. Meanwhile
    // writes are kept queued, and committed after the replacement's own transaction.
    bool isReplacing() const { return m_replacement != nullptr; }

Q_SIGNALS:
    // Emitted once per event-loop turn in which records were inserted, deleted or written.
    void changed();
    void saveFailureChanged();
    void replacementFinished();

private:
    friend class Tag;
    friend class TagReplacement;
    TagStore(QString path, std::unique_ptr<SqliteDatabase> db);
    bool load(QString* error);
    void recordChanged(Tag& tag, Tag::Field field);
    void written(const TagPtr& record, Tag::Field field);
    void placeChanged(const TagPtr& record) const;
    // Queues the record's values, or the deletion of its identifier once it is no longer stored.
    void queue(const TagPtr& record);
    // Lists the identifier among those changed in this turn, until there are too many to list.
    void listChanged(const QString& id);
    void turnChanged();
    void endOfTurn();
    bool commit();
    void committed();
    // Puts a record in the store, or takes it out, without queueing anything.
    void adopt(TagPtr record);
    void drop(const TagPtr& record);

    QString m_path;
    std::unique_ptr<SqliteDatabase> m_db;
    std::vector<TagPtr> m_tags;
    QHash<QString, qsizetype> m_indexById;
    // What the next commit writes: records written since the last one, each once (Tag::m_queued),
    // and the identifiers deleted. Deletions go first, so an identifier deleted and inserted again
    // in one turn ends up stored.
    std::vector<TagPtr> m_queued;
    QSet<QString> m_deletedIds;
    std::unique_ptr<SqliteStatement> m_upsert;
    std::unique_ptr<SqliteStatement> m_erase;
    // allTags(), kept between reads; records whose place may have changed since wait in m_misplaced.
    mutable QList<TagPtr> m_sorted;
    mutable bool m_sortedValid = false;
    mutable std::vector<TagPtr> m_misplaced;
    bool m_turnScheduled = false;
    bool m_changedPending = false;
    // The identifiers changed in this turn, until there are too many to list.
    std::optional<QSet<QString>> m_turnIds = QSet<QString>();
    std::optional<QSet<QString>> m_announcedIds;
    std::optional<QString> m_saveFailure;
    // Tries a commit again that failed because another connection held the file.
    QTimer m_lockRetry;
    int m_commitCount = 0;
    // The replacement under way, and the fields written since it took its picture, by identifier.
    TagReplacement* m_replacement = nullptr;
    QHash<QString, unsigned char> m_writtenSince;
};

} // namespace orvalet
