#include "TagListActions.h"

#include "Clock.h"
#include "DisplayTexts.h"
#include "Preferences.h"
#include "TagReplacement.h"
#include "TagStore.h"
#include "TagTree.h"
#include "TagWrites.h"
#include "ThingsWorker.h"
#include "UndoHistory.h"

#include <QCoroFuture>
#include <QCoroSignal>
#include <QCoroTimer>
#include <QHash>
#include <QPointer>
#include <algorithm>
#include <vector>

namespace orvalet {

namespace {

// `shortcuts` by identifier; a tag it does not name (made between the two programs, or all of them
// when the shortcuts could not be read) keeps the shortcut it has.
QList<TagReplacement::Reported> reportsOf(QList<ThingsTagRecord> records,
                                          const QHash<QString, QString>& shortcuts = {}) {
    QList<TagReplacement::Reported> reports;
    reports.reserve(records.size());
    for (ThingsTagRecord& record : records) {
        const auto shortcut = shortcuts.constFind(record.id);
        reports.append(TagReplacement::Reported{
            std::move(record.id), std::move(record.name), std::move(record.parentId), record.todosCount,
            shortcut == shortcuts.cend() ? std::nullopt : std::optional(*shortcut)});
    }
    return reports;
}

// The import's one job: the records, then the shortcuts in a program of their own. Reading them is
// pure text work, so it is done on the worker too, off the interface thread. Shortcuts that cannot
// be read leave the import as it is, with the shortcuts it did not learn.
QList<TagReplacement::Reported> fetchAllTags(const ThingsService& things) {
    QList<ThingsTagRecord> records =
        ThingsService::parseTagList(things.runAppleScript(ThingsService::fetchAllTagsScript()));
    QHash<QString, QString> shortcuts;
    try {
        shortcuts = things.readShortcuts();
        // Those are every tag Things 3 has, by an identifier read exactly: a record naming another
        // (an identifier holding a separator, read as two records, or a tag deleted between the two
        // programs) is not a tag to store.
        records.removeIf(
            [&shortcuts](const ThingsTagRecord& record) { return !shortcuts.contains(record.id); });
    } catch (const ThingsError& error) {
        qWarning("Orvalet: the import could not read the keyboard shortcuts: %s",
                 qPrintable(error.errorDescription()));
    }
    return reportsOf(std::move(records), shortcuts);
}

} // namespace

// Every flow below follows one rule: after its first co_await, `this` may be gone (the window was
// closed while Things 3 was answering). It reaches the store and the worker through references
// taken before that point, which outlive windows, and its own state only through `self`.

TagListActions::TagListActions(TagStore& store, Preferences& preferences, ThingsWorker& worker,
                               QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_preferences(preferences)
    , m_worker(worker) {
    connect(&store, &TagStore::saveFailureChanged, this, &TagListActions::showSaveFailure);
    showSaveFailure();
}

// The banner tells once that the store could not save, until a save succeeds: a failure the user
// dismissed comes back only after a success.
void TagListActions::showSaveFailure() {
    const std::optional<QString>& failure = m_store.saveFailure();
    if (failure) {
        m_bannerMessage = saveFailureMessage(*failure);
        m_showsSaveFailure = true;
    } else if (m_showsSaveFailure) {
        m_showsSaveFailure = false;
        m_bannerMessage.reset();
    }
    Q_EMIT changed();
}

QString TagListActions::notDeletedMessage(const QString& name, const ThingsError& error) {
    return DisplayTexts::quotedName(name) + QStringLiteral(" was not deleted. ") + error.errorDescription();
}

QString TagListActions::saveFailureMessage(const QString& why) {
    return QStringLiteral("Orvalet could not save its tag list: ") + why;
}

// ---- Import ----

QCoro::Task<> TagListActions::importAllTags() {
    const QPointer<TagListActions> self(this);
    TagStore& store = m_store;
    Preferences& preferences = m_preferences;
    m_isImporting = true;
    m_importError.reset();
    Q_EMIT changed();

    auto fetched = co_await m_worker.run(fetchAllTags);
    if (fetched) {
        // Another import's answer is older than this one: it goes first.
        while (store.isReplacing()) {
            co_await qCoro(&store, &TagStore::replacementFinished);
        }
        // The records are worked out and committed off the interface thread, which meanwhile
        // goes on drawing and taking input; what is written to the store meanwhile wins.
        TagReplacement replacement(store, Clock::now());
        const QFuture<void> prepared = replacement.prepareInBackground(std::move(fetched).value());
        co_await prepared;
        replacement.apply();
        // Saving the preference waits for the disk: in a turn of its own, not the apply's.
        co_await QCoro::sleepFor(std::chrono::milliseconds(0));
        preferences.setLastImportDate(Clock::now());
    }
    if (self) {
        if (!fetched) {
            self->m_importError = fetched.error().errorDescription();
        }
        self->m_isImporting = false;
        Q_EMIT self->changed();
    }
}

void TagListActions::dismissImportError() {
    if (m_importError) {
        m_importError.reset();
        Q_EMIT changed();
    }
}

void TagListActions::mergeImportedTags(const QList<ThingsTagRecord>& records) {
    mergeImportedTags(m_store, m_preferences, records);
}

void TagListActions::mergeImportedTags(TagStore& store, Preferences& preferences,
                                       const QList<ThingsTagRecord>& records) {
    TagReplacement replacement(store, Clock::now());
    replacement.prepare(reportsOf(records), false);
    replacement.apply();
    preferences.setLastImportDate(Clock::now());
}

// ---- Progress overlay ----

void TagListActions::setRefreshingTagCount(int count) {
    if (count != m_refreshingTagCount) {
        m_refreshingTagCount = count;
        Q_EMIT changed();
    }
}

QString TagListActions::overlayTitle() const {
    if (m_isImporting) {
        return QStringLiteral("Importing tags from Things\u2026");
    }
    if (m_refreshingTagCount == 1) {
        return QStringLiteral("Importing tag from Things\u2026");
    }
    return QStringLiteral("Importing ") + QString::number(m_refreshingTagCount) +
           QStringLiteral(" tags from Things\u2026");
}

QString TagListActions::overlayMessage() {
    return QStringLiteral("Please wait while the import completes.");
}

// ---- Selection ----

void TagListActions::setSelectedTagIds(const QSet<QString>& ids) {
    if (ids != m_selectedTagIds) {
        m_selectedTagIds = ids;
        Q_EMIT selectionChanged();
    }
}

void TagListActions::removeFromSelection(const QString& id) {
    if (m_selectedTagIds.remove(id)) {
        Q_EMIT selectionChanged();
    }
}

// ---- Row context menu ----

QList<TagPtr> TagListActions::menuTargets(const QString& rowTagId) const {
    QList<TagPtr> targets;
    if (m_selectedTagIds.contains(rowTagId)) {
        for (const QString& id : m_selectedTagIds) {
            if (TagPtr tag = m_store.tag(id)) {
                targets.append(std::move(tag));
            }
        }
    } else if (TagPtr tag = m_store.tag(rowTagId)) {
        targets.append(std::move(tag));
    }
    return targets;
}

QString TagListActions::deleteMenuTitle(qsizetype targetCount) {
    return targetCount >= 2 ? QStringLiteral("Delete Tags") : QStringLiteral("Delete Tag");
}

std::optional<QUrl> TagListActions::viewInThingsUrl(const QString& tagId) {
    // The identifier goes in as it is: one that needs encoding to be part of a link has no link.
    const QUrl url(QStringLiteral("things:///show?id=") + tagId, QUrl::StrictMode);
    if (!url.isValid()) {
        return std::nullopt;
    }
    return url;
}

// ---- Deletion ----

QCoro::Task<> TagListActions::requestDelete(QList<TagPtr> targets) {
    if (targets.isEmpty() || !m_tagsPendingDelete.isEmpty()) {
        co_return;
    }
    const QPointer<TagListActions> self(this);
    m_tagsPendingDelete = targets;
    QStringList ids;
    for (const TagPtr& tag : std::as_const(targets)) {
        ids.append(tag->id());
        ++m_deletingTagIds[tag->id()];
    }
    Q_EMIT changed();

    // The trees are read first: the confirmation says what goes, and whether Undo brings it back.
    UndoHistory::DeletionRead read = co_await UndoHistory::forStore(m_store).readDeletion(m_worker, ids);
    if (!self) {
        co_return;
    }
    for (const QString& id : std::as_const(ids)) {
        if (--self->m_deletingTagIds[id] <= 0) {
            self->m_deletingTagIds.remove(id);
        }
    }
    if (self->m_tagsPendingDelete != targets) {
        // Confirmed or cancelled meanwhile, without this read.
    } else if (read.failure) {
        self->m_tagsPendingDelete.clear();
        self->m_bannerMessage = notDeletedMessage(targets.first()->name(), *read.failure);
        self->m_showsSaveFailure = false;
    } else {
        self->m_deletionRead = std::move(read);
        self->m_showDeleteConfirmationForListTags = true;
    }
    Q_EMIT self->changed();
}

QString TagListActions::confirmationTitle() const {
    if (m_tagsPendingDelete.size() == 1) {
        return QStringLiteral("Delete \"") + m_tagsPendingDelete.first()->name() + QStringLiteral("\"?");
    }
    return QStringLiteral("Delete ") + QString::number(m_tagsPendingDelete.size()) + QStringLiteral(" tags?");
}

QString TagListActions::confirmationMessage() const {
    if (!m_deletionRead) {
        return permanentConfirmationMessage();
    }
    QStringList ids;
    for (const TagPtr& tag : m_tagsPendingDelete) {
        ids.append(tag->id());
    }
    return UndoHistory::deletionMessage(*m_deletionRead, ids, permanentConfirmationMessage());
}

QString TagListActions::permanentConfirmationMessage() const {
    return QStringLiteral("This will permanently delete the tag") +
           (m_tagsPendingDelete.size() == 1 ? QString() : QStringLiteral("s")) +
           QStringLiteral(
               " and all their child tags from this app AND Things 3. This action cannot be undone!");
}

QCoro::Task<> TagListActions::confirmDelete() {
    // The trees are read for Undo first; each deletion then reads its tag's descendants as it
    // starts, and proceeds on its own. The confirmation is over before anything is read.
    const QPointer<TagListActions> self(this);
    const QString message = permanentConfirmationMessage();
    std::optional<UndoHistory::DeletionRead> confirmed = std::exchange(m_deletionRead, std::nullopt);
    const QList<TagPtr> pending = std::exchange(m_tagsPendingDelete, {});
    m_showDeleteConfirmationForListTags = false;
    Q_EMIT changed();
    QStringList ids;
    for (const TagPtr& tag : pending) {
        ids.append(tag->id());
    }
    UndoHistory& history = UndoHistory::forStore(m_store);
    const UndoHistory::DeletionPlan plan =
        co_await history.prepareDeletion(m_worker, ids, message, false, std::move(confirmed));
    if (plan.failure && self && !pending.isEmpty()) {
        self->m_bannerMessage = notDeletedMessage(pending.first()->name(), *plan.failure);
        self->m_showsSaveFailure = false;
        Q_EMIT self->changed();
    }
    if (!plan.proceed || !self) {
        co_return;
    }
    const std::optional<ThingsTreeRead> asRead = plan.undo ? std::optional(plan.undo->trees) : std::nullopt;
    std::vector<QCoro::Task<Deleted>> deletions;
    if (pending.size() > 1 && TagWrites::byId(m_preferences)) {
        deletions.push_back(deleteTagsFromList(pending, asRead));
    } else {
        for (const TagPtr& tag : pending) {
            deletions.push_back(deleteTagFromList(tag, asRead));
        }
    }
    Q_EMIT changed();
    QStringList deleted, unsettled;
    for (const QCoro::Task<Deleted>& deletion : deletions) {
        const Deleted done = co_await deletion;
        deleted += done.ids;
        unsettled += done.unsettled;
    }
    if (plan.undo) {
        history.recordDeletion(*plan.undo, deleted, unsettled);
    }
}

void TagListActions::dismissBanner() {
    if (m_bannerMessage) {
        m_bannerMessage.reset();
        m_showsSaveFailure = false;
        Q_EMIT changed();
    }
}

void TagListActions::cancelDelete() {
    m_tagsPendingDelete.clear();
    m_deletionRead.reset();
    m_showDeleteConfirmationForListTags = false;
    Q_EMIT changed();
}

QCoro::Task<TagListActions::Deleted> TagListActions::deleteTagFromList(TagPtr tag,
                                                                       std::optional<ThingsTreeRead> asRead) {
    return deleteTagsFromList({std::move(tag)}, std::move(asRead));
}

QCoro::Task<TagListActions::Deleted>
TagListActions::deleteTagsFromList(QList<TagPtr> tags, std::optional<ThingsTreeRead> asRead) {
    const QPointer<TagListActions> self(this);
    TagStore& store = m_store;
    ThingsWorker& worker = m_worker;
    const QList<TagPtr> all = store.allTags();
    // The rows that will go are shown busy until Things 3 has answered for their tag.
    QList<QList<TagPtr>> descendants;
    QList<ThingsTagRef> refs;
    for (const TagPtr& tag : std::as_const(tags)) {
        descendants.append(TagTree::descendantsInDeletionOrder(*tag, all));
        refs.append(TagWrites::refOf(*tag));
        ++m_deletingTagIds[tag->id()];
        for (const TagPtr& descendant : std::as_const(descendants.last())) {
            ++m_deletingTagIds[descendant->id()];
        }
    }
    Q_EMIT changed();

    // Things 3 deletes a tag's descendants with it: only the tag is named. A tag it deleted already
    // (with a parent deleted just before) is gone, which is what was asked.
    const bool byId = TagWrites::byId(m_preferences);
    QStringList deletedIds, unsettledIds;
    for (qsizetype next = 0; next < tags.size();) {
        const auto deleted = co_await worker.run(&ThingsService::deleteTags, refs.mid(next), byId, asRead);
        const ThingsGroupOutcome outcome = deleted ? deleted.value() : ThingsGroupOutcome{0, deleted.error()};
        const qsizetype end = next + outcome.done; // deleted up to here; the tag at `end` failed
        // After an answer Things 3 could not be asked about, the run stops: the rest stay listed.
        const qsizetype answered = outcome.unsettled ? tags.size() : end + (outcome.failure ? 1 : 0);
        // Those the lost program may have reached are for the undo step to ask about.
        for (qsizetype i = end;
             outcome.unsettled && i < std::min(tags.size(), end + ThingsService::maximumGroupSize); ++i) {
            unsettledIds.append(tags[i]->id());
        }
        if (self) {
            for (qsizetype i = next; i < answered; ++i) {
                for (const TagPtr& tag : QList<TagPtr>{tags[i]} + descendants[i]) {
                    if (--self->m_deletingTagIds[tag->id()] <= 0) {
                        self->m_deletingTagIds.remove(tag->id());
                    }
                }
            }
            // A user who pressed Delete learns, above the list, that the tag was not deleted and why.
            if (outcome.failure && outcome.unsettled) {
                self->m_bannerMessage = outcome.failure->unconfirmed(
                    DisplayTexts::quotedName(tags[end]->name()) % u" was deleted");
                self->m_showsSaveFailure = false;
            } else if (outcome.failure) {
                self->m_bannerMessage = notDeletedMessage(tags[end]->name(), *outcome.failure);
                self->m_showsSaveFailure = false;
            }
            Q_EMIT self->changed();
        }
        for (qsizetype i = next; i < end; ++i) {
            for (const TagPtr& descendant : std::as_const(descendants[i])) {
                store.remove(descendant);
            }
            store.remove(tags[i]);
            deletedIds.append(tags[i]->id());
            // The descendants' identifiers stay selected: the detail column shows its placeholder.
            if (self) {
                self->removeFromSelection(tags[i]->id());
            }
        }
        next = answered;
    }
    co_return Deleted{deletedIds, unsettledIds};
}

// ---- Refresh ----

QCoro::Task<> TagListActions::refreshTags(QList<TagPtr> tags) {
    const QPointer<TagListActions> self(this);
    ThingsWorker& worker = m_worker;
    setRefreshingTagCount(int(tags.size()));
    QStringList ids;
    ids.reserve(tags.size());
    for (const TagPtr& tag : std::as_const(tags)) {
        ids.append(tag->id());
    }

    const bool byId = TagWrites::byId(m_preferences);
    for (qsizetype start = 0; start < ids.size();) {
        const auto fetched = co_await TagWrites::fetchSome(worker, ids, start, byId);
        for (qsizetype i = 0; i < fetched.size(); ++i) {
            if (const std::optional<ThingsTagRecord>& record = fetched[i]) {
                TagWrites::takeRecord(*tags[start + i], *record);
            }
        }
        start += fetched.size();
    }
    if (self) {
        self->setRefreshingTagCount(0);
    }
}

} // namespace orvalet
