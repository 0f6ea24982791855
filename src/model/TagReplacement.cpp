#include "TagReplacement.h"

#include "SqliteDatabase.h"
#include "SqliteStatement.h"
#include "TagRows.h"
#include "TagStore.h"
#include "TextOrder.h"

#include <QPromise>
#include <QThreadPool>
#include <algorithm>
#include <cstdio>
#include <numeric>
#include <utility>

namespace orvalet {

TagReplacement::TagReplacement(TagStore& store, const QDateTime& now)
    : m_store(&store)
    , m_now(now)
    , m_path(store.path()) {
    Q_ASSERT(!store.m_replacement);
    m_fileMatches = store.flush();
    m_pictureIndex = store.m_indexById;
    m_pictureCount = qsizetype(store.m_tags.size());
    store.m_replacement = this;
}

TagReplacement::~TagReplacement() {
    waitUntilPrepared();
    if (!m_applied) {
        apply();
    }
}

void TagReplacement::waitUntilPrepared() {
    if (m_preparing.isValid()) {
        m_preparing.waitForFinished();
    }
}

QFuture<void> TagReplacement::prepareInBackground(QList<Reported> reported) {
    auto promise = std::make_shared<QPromise<void>>();
    m_preparing = promise->future();
    promise->start();
    QThreadPool::globalInstance()->start([this, promise, reported = std::move(reported)]() mutable {
        prepare(std::move(reported), true);
        promise->finish();
    });
    return m_preparing;
}

void TagReplacement::prepare(QList<Reported> reported, bool commit) {
    m_entries.reserve(size_t(reported.size()));
    m_index.reserve(reported.size());
    for (Reported& report : reported) {
        const qsizetype known = m_index.size();
        qsizetype& place = m_index[report.id];
        if (m_index.size() == known) {
            Entry& entry = m_entries[size_t(place)];
            entry.name = std::move(report.name);
            entry.parentTagId = std::move(report.parentTagId);
            entry.todosCount = report.todosCount;
            entry.shortcut = std::move(report.shortcut);
            continue;
        }
        place = qsizetype(m_entries.size());
        m_entries.push_back(Entry{std::move(report.id),
                                  std::move(report.name),
                                  {},
                                  std::move(report.parentTagId),
                                  report.todosCount,
                                  std::move(report.shortcut),
                                  -1,
                                  nullptr});
    }
    reported.clear();

    std::vector<char> kept(size_t(m_pictureCount), 0);
    for (Entry& entry : m_entries) {
        entry.pictured = m_pictureIndex.value(entry.id, -1);
        if (entry.pictured >= 0) {
            kept[size_t(entry.pictured)] = 1;
            entry.nameSortKey = TextOrder::sortKey(entry.name);
        } else {
            entry.fresh = std::make_shared<Tag>(entry.id, entry.name, entry.parentTagId, m_now, m_now,
                                                entry.todosCount);
            entry.fresh->m_shortcut = entry.shortcut;
            entry.nameSortKey = entry.fresh->nameSortKey();
        }
    }
    for (auto it = m_pictureIndex.cbegin(); it != m_pictureIndex.cend(); ++it) {
        if (!kept[size_t(*it)]) {
            m_droppedIds.append(it.key());
        }
    }
    m_pictureIndex = {};

    // The store's name order (TagStore::allTags) of the new records, ready for the common case in
    // which nothing else wrote meanwhile.
    m_nameOrder.resize(m_entries.size());
    std::iota(m_nameOrder.begin(), m_nameOrder.end(), qsizetype(0));
    std::sort(m_nameOrder.begin(), m_nameOrder.end(), [this](qsizetype a, qsizetype b) {
        const Entry& x = m_entries[size_t(a)];
        const Entry& y = m_entries[size_t(b)];
        const int order = TextOrder::compareKeys(x.nameSortKey, y.nameSortKey);
        return order != 0 ? order < 0 : TextOrder::compareKeys(x.id, y.id) < 0;
    });

    if (commit && m_fileMatches) {
        this->commit();
    }
    m_prepared = true;
}

void TagReplacement::commit() {
    SqliteDatabase db;
    QString why;
    bool ok = db.open(m_path, &why) && db.exec("PRAGMA synchronous = NORMAL", &why) &&
              db.exec("BEGIN IMMEDIATE", &why);
    if (ok) {
        SqliteStatement upsert(db, TagRows::upsertKeepingCreationSql);
        SqliteStatement erase(db, TagRows::eraseSql);
        ok = upsert.isValid() && erase.isValid();
        std::sort(m_droppedIds.begin(), m_droppedIds.end(), TagRows::keyOrder);
        for (auto it = m_droppedIds.cbegin(); ok && it != m_droppedIds.cend(); ++it) {
            ok = TagRows::erase(erase, *it);
        }
        std::vector<const Entry*> rows(m_entries.size());
        std::transform(m_entries.cbegin(), m_entries.cend(), rows.begin(), [](const Entry& e) { return &e; });
        std::sort(rows.begin(), rows.end(),
                  [](const Entry* a, const Entry* b) { return TagRows::keyOrder(a->id, b->id); });
        // Rows the store holds keep their creation time, which the file has as the records do.
        const std::optional<double> now = TagRows::toStored(m_now);
        for (auto it = rows.cbegin(); ok && it != rows.cend(); ++it) {
            const Entry& entry = **it;
            ok = TagRows::write(upsert, entry.id, entry.name, entry.parentTagId, now, now, entry.todosCount,
                                entry.shortcut);
        }
        if (!ok) {
            why = db.lastError();
        }
        ok = ok && db.exec("COMMIT", &why);
        if (!ok) {
            db.exec("ROLLBACK");
        }
    }
    // A failure is the store's to report: apply() queues every change for its own commit, which
    // fails or succeeds in the usual way.
    m_committed = ok;
}

void TagReplacement::apply() {
    if (m_applied || !m_store) {
        return;
    }
    waitUntilPrepared();
    m_applied = true;
    if (m_prepared) {
        m_store->m_writtenSince.isEmpty() ? applyToPicture() : applyOverWrites();
    }
    finish();
}

// The entry's values are swapped in rather than copied: the record's old ones go with the entry,
// to be freed off the interface thread.
void TagReplacement::assign(Tag& record, Entry& entry, unsigned char keep) const {
    if (!(keep & Tag::nameField)) {
        std::swap(record.m_name, entry.name);
        std::swap(record.m_nameSortKey, entry.nameSortKey);
    }
    if (!(keep & Tag::parentField)) {
        std::swap(record.m_parentTagId, entry.parentTagId);
    }
    if (!(keep & Tag::updatedField)) {
        record.m_updatedAt = m_now;
    }
    if (!(keep & Tag::countField)) {
        record.m_todosCount = entry.todosCount;
    }
    if (!(keep & Tag::shortcutField) && entry.shortcut) {
        std::swap(record.m_shortcut, entry.shortcut);
    }
}

// Nothing wrote to the store since the picture, so its places are those of the picture: the
// records, their index and their order are the ones worked out.
void TagReplacement::applyToPicture() {
    TagStore& store = *m_store;
    std::vector<TagPtr> records;
    records.reserve(m_entries.size());
    for (Entry& entry : m_entries) {
        if (entry.pictured >= 0) {
            TagPtr& record = store.m_tags[size_t(entry.pictured)];
            assign(*record, entry, 0);
            record->m_place = int(records.size());
            records.push_back(std::move(record));
        } else {
            entry.fresh->m_store = &store;
            entry.fresh->m_place = int(records.size());
            records.push_back(std::move(entry.fresh));
        }
    }
    // What is left of the old records was not reported.
    for (const TagPtr& record : store.m_tags) {
        if (record) {
            record->m_store = nullptr;
        }
    }
    m_leftovers.records = std::exchange(store.m_tags, std::move(records));
    m_leftovers.index = std::exchange(store.m_indexById, std::move(m_index));
    m_leftovers.sorted = std::exchange(store.m_sorted, {});
    store.m_sorted.reserve(qsizetype(m_nameOrder.size()));
    for (const qsizetype i : m_nameOrder) {
        store.m_sorted.append(store.m_tags[size_t(i)]);
    }
    store.m_sortedValid = true;
    store.m_misplaced.clear();
}

// Something wrote to the store since the picture: each entry goes to the record as it is now, by
// identifier, around the fields written meanwhile.
void TagReplacement::applyOverWrites() {
    TagStore& store = *m_store;
    for (Entry& entry : m_entries) {
        const unsigned char keep = store.m_writtenSince.value(entry.id, 0);
        if (keep == Tag::everyField) {
            continue; // inserted or deleted meanwhile
        }
        if (const TagPtr record = store.tag(entry.id)) {
            assign(*record, entry, keep);
            store.placeChanged(record);
        } else if (entry.fresh && !keep) {
            store.adopt(std::move(entry.fresh));
        }
    }
    for (const QString& id : std::as_const(m_droppedIds)) {
        const TagPtr record = store.tag(id);
        if (record && !store.m_writtenSince.contains(id)) {
            store.drop(record);
        }
    }
}

void TagReplacement::finish() {
    TagStore& store = *m_store;
    if (m_prepared && !m_committed) {
        for (const Entry& entry : m_entries) {
            if (const TagPtr record = store.tag(entry.id)) {
                store.queue(record);
            }
        }
        for (const QString& id : std::as_const(m_droppedIds)) {
            if (!store.tag(id)) {
                store.m_deletedIds.insert(id);
            }
        }
    }
    // What was written meanwhile is written again after this replacement's transaction, which
    // may have written over it.
    for (auto it = store.m_writtenSince.cbegin(); it != store.m_writtenSince.cend(); ++it) {
        if (const TagPtr record = store.tag(it.key())) {
            store.queue(record);
        } else {
            store.m_deletedIds.insert(it.key());
        }
    }
    store.m_writtenSince.clear();
    store.m_replacement = nullptr;
    m_store = nullptr;
    // A hundred thousand texts and records let go of are freed on a thread of the pool.
    m_leftovers.entries = std::move(m_entries);
    QThreadPool::globalInstance()->start(
        [leftovers = std::make_shared<Leftovers>(std::move(m_leftovers))]() mutable { leftovers.reset(); });
    if (m_committed) {
        store.committed();
    }
    if (m_prepared || store.hasPendingWrites()) {
        store.m_turnIds.reset(); // every record may have changed: too many to list
        store.turnChanged();
    }
    Q_EMIT store.replacementFinished();
}

} // namespace orvalet
