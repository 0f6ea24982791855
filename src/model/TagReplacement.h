#pragma once

#include "Tag.h"

#include <QDateTime>
#include <QFuture>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace orvalet {

class TagStore;

// Makes a store hold exactly the tags another source reports (the import from Things 3), with the
// heavy part off the interface thread. A record the store holds takes the reported name, parent and
// count, its shortcut when one was read, and the update time; an identifier it does not hold becomes a new
// record; a record not reported is deleted (its children stay, with the parent reported for them). Of an
// identifier reported twice, the last report counts.
//
// Three steps. The replacement takes its picture of the store on the interface thread. prepare()
// works out the new records from the picture, on any thread, and writes them to the store's file in
// one transaction through a connection of its own. apply() puts them into the store on the interface
// thread, in one short step. A write to the store between the picture and apply() is newer than the
// report and wins: the fields it wrote keep its values, a record it deleted stays deleted, a record
// it inserted stays as inserted. The store keeps such writes queued until the replacement's
// transaction is over, and commits them after it.
class TagReplacement final {
public:
    struct Reported {
        QString id;
        QString name;
        std::optional<QString> parentTagId;
        std::optional<qint64> todosCount;
        // Absent when the shortcut could not be read: the record keeps the one it has.
        std::optional<QString> shortcut = std::nullopt;
    };

    // On the interface thread, while the store is not replacing (TagStore::isReplacing). Commits
    // what the store has queued first. `now` is the update time of every reported record and the
    // creation time of the new ones.
    TagReplacement(TagStore& store, const QDateTime& now);
    // Applies a prepared replacement that was not applied.
    ~TagReplacement();
    TagReplacement(const TagReplacement&) = delete;
    TagReplacement& operator=(const TagReplacement&) = delete;

    // Once, on any thread. Without `commit` nothing is written here: apply() queues every change
    // for the store's next commit instead.
    void prepare(QList<Reported> reported, bool commit);
    // prepare(reported, true) on a thread of Qt's global pool.
    QFuture<void> prepareInBackground(QList<Reported> reported);
    // On the interface thread, after prepare (a replacement that was never prepared changes nothing).
    // The store announces the change at the end of the turn.
    void apply();

private:
    friend class TagStore;

    // What a reported identifier becomes.
    struct Entry {
        QString id;
        QString name;
        QString nameSortKey;
        std::optional<QString> parentTagId;
        std::optional<qint64> todosCount;
        std::optional<QString> shortcut;
        qsizetype pictured = -1; // the record's place in the picture, or -1 for a new record
        TagPtr fresh;            // the new record
    };

    void commit();
    void applyToPicture();
    void applyOverWrites();
    void assign(Tag& record, Entry& entry, unsigned char keep) const;
    void finish();
    void waitUntilPrepared();

    TagStore* m_store;
    QDateTime m_now;
    QString m_path;
    // The store had nothing left to commit when the picture was taken: its file held what its
    // records did, which a transaction of this replacement's own relies on.
    bool m_fileMatches = false;
    // The picture: the store's index of identifiers to places, shared with the store until it writes.
    QHash<QString, qsizetype> m_pictureIndex;
    qsizetype m_pictureCount = 0;

    // Worked out by prepare(): the entries in the order of their first report, the identifier of each
    // entry's place, the entries in name order, and the pictured identifiers no entry has.
    std::vector<Entry> m_entries;
    QHash<QString, qsizetype> m_index;
    std::vector<qsizetype> m_nameOrder;
    QStringList m_droppedIds;
    bool m_prepared = false;
    bool m_committed = false;
    bool m_applied = false;
    QFuture<void> m_preparing;

    // What the store let go of in apply(), freed off the interface thread.
    struct Leftovers {
        std::vector<Entry> entries;
        std::vector<TagPtr> records;
        QHash<QString, qsizetype> index;
        QList<TagPtr> sorted;
    };
    Leftovers m_leftovers;
};

} // namespace orvalet
