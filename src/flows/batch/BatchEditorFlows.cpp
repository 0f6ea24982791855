// The batch editor's three runs, tag after tag: the move, the update from Things 3, the deletion.
#include "BatchEditor.h"
#include "ChangeRun.h"
#include "DisplayTexts.h"
#include "ShortcutWrites.h"
#include "TagStore.h"
#include "TagTree.h"
#include "TagWrites.h"
#include "ThingsWorker.h"
#include "UndoHistory.h"

#include <QPointer>

namespace orvalet {

using ChangeRun::nextTurn;

// Every run here follows one rule: after its first co_await, `this` may be gone (the pane was
// discarded while Things 3 was answering). It reaches the store and the worker through references
// taken before that point, which outlive the pane, its own state only through `self`, and the
// records through the store by identifier, since the selection it began with may have changed.

QCoro::Task<> BatchEditor::saveChanges() {
    if (isBusy()) {
        co_return;
    }
    const QPointer<BatchEditor> self(this);
    TagStore& store = m_store;
    ThingsWorker& worker = m_worker;
    m_isSaving = true;
    m_resultState.reset();
    Q_EMIT changed();

    // What the run sends is fixed now: the chosen parent and, for each tag, its name and parent.
    // A tag that already has the chosen parent gets no change; one that cannot be named to Things 3
    // (the chosen parent left the store) gets none either, and stops the run when it is reached.
    const std::optional<QString> newParentId = m_selectedParentId;
    const bool byId = TagWrites::byId(m_preferences);
    QList<ChangeRun::Item> moves;
    moves.reserve(m_selectedTags.size());
    for (const TagPtr& tag : std::as_const(m_selectedTags)) {
        moves.append(ChangeRun::Item{tag->name(), TagWrites::change(store, *tag, tag->name(), newParentId),
                                     tag->parentTagId() != newParentId});
    }
    // Without its name the parent cannot be addressed in Things 3: the program would make the tag a
    // top-level tag there while the store recorded the chosen parent.
    const ChangeRun::Outcome run =
        co_await ChangeRun::send(store, worker, byId, moves, missingParentMessage(), QStringLiteral("moved"));
    // What went through is one step to undo, a failure or not.
    UndoHistory::forStore(store).recordMoves(run.changes, run.unsettledIds);

    if (self) {
        self->m_resultState = BatchResultState::ofRun(run);
        // Saved on the way out of the pane, a success has nothing to report.
        self->m_showResult = run.failedName || !std::exchange(self->m_savesToLeave, false);
        self->m_isSaving = false;
        Q_EMIT self->changed();
    }
}

QCoro::Task<> BatchEditor::saveBeforeLeaving(std::function<void(bool saved)> finished) {
    if (!canSave()) {
        finished(false);
        co_return;
    }
    const QPointer<BatchEditor> self(this);
    m_savesToLeave = true;
    co_await saveChanges();
    if (self) {
        self->m_savesToLeave = false;
    }
    finished(self && self->m_resultState && self->m_resultState->isSuccess());
}

QCoro::Task<> BatchEditor::clearShortcuts() {
    if (!canClearShortcuts()) {
        co_return;
    }
    const QPointer<BatchEditor> self(this);
    TagStore& store = m_store;
    QList<ShortcutWrites::Write> writes;
    for (const TagPtr& tag : std::as_const(m_selectedTags)) {
        // A key never read from Things 3 is cleared too: Things 3 says what it held.
        if (tag->isStored() && tag->shortcut() != QString()) {
            writes.append(ShortcutWrites::Write{tag, QString()});
        }
    }
    m_isClearingShortcuts = true;
    m_resultState.reset();
    Q_EMIT changed();

    // A key Things 3 will not take off one tag leaves the others to clear.
    const QStringList keysBefore = ShortcutWrites::keysBefore(writes);
    const ThingsShortcutsOutcome sent =
        co_await ShortcutWrites::send(m_worker, TagWrites::byId(m_preferences), writes, true);
    // The step gives back the keys Things 3 held, for the tags it cleared and no others.
    QList<UndoHistory::Change> undo;
    QStringList cleared;
    QList<std::pair<QString, ThingsError>> refused;
    for (qsizetype i = 0; i < sent.tried.size(); ++i) {
        const TagPtr& tag = writes[i].tag;
        if (const std::optional<QString>& before = sent.tried[i].keyBefore) {
            cleared.append(tag->name());
            if (!before->isEmpty()) {
                undo.append(
                    UndoHistory::Change{tag->id(), {}, tag->name(), {}, {}, std::pair(*before, QString())});
            }
        } else {
            refused.append({tag->name(), *sent.tried[i].refusal});
        }
    }
    // Those sent without an answer wait in the step for Things 3 to say.
    const QList<UndoHistory::Change> unknown = ShortcutWrites::unknownAfterLoss(writes, keysBefore, sent);
    QStringList unknownIds;
    for (const UndoHistory::Change& change : unknown) {
        undo.append(change);
        unknownIds.append(change.id);
    }
    std::optional<QString> unconfirmed;
    if (sent.failure) {
        refused.append({writes[sent.tried.size()].tag->name(), *sent.failure});
        if (!unknown.isEmpty()) {
            const QString what =
                unknown.size() == 1
                    ? QString(u"the shortcut of " % DisplayTexts::quotedName(unknown.first().nameAfter) %
                              u" was cleared")
                    : QString(u"the shortcuts of " % QString::number(unknown.size()) % u" tags were cleared");
            unconfirmed = sent.failure->unconfirmed(what);
        }
    }
    UndoHistory::forStore(store).recordShortcuts(clearShortcutsLabel(), undo, unknownIds);
    if (!self) {
        co_return;
    }
    if (!refused.isEmpty()) {
        // The first tag left with its key is the failure; the others are listed under it.
        QList<BatchResultState::Skipped> others;
        for (qsizetype i = 1; i < refused.size(); ++i) {
            others.append({refused[i].first, refused[i].second.errorDescription()});
        }
        const QString reason =
            refused.size() == 1 && unconfirmed ? *unconfirmed : refused.first().second.errorDescription();
        self->m_resultState =
            BatchResultState::failure(refused.first().first, reason, cleared).withSkipped(others);
        self->m_showResult = true;
    }
    self->m_isClearingShortcuts = false;
    Q_EMIT self->changed();
}

QCoro::Task<> BatchEditor::refreshFromThings() {
    if (isBusy()) {
        co_return;
    }
    const QPointer<BatchEditor> self(this);
    TagStore& store = m_store;
    ThingsWorker& worker = m_worker;
    const RefreshingCallback onRefreshingChanged = m_onRefreshingChanged;
    QStringList ids;
    ids.reserve(m_selectedTags.size());
    for (const TagPtr& tag : std::as_const(m_selectedTags)) {
        ids.append(tag->id());
    }
    m_isRefreshing = true;
    Q_EMIT changed();
    if (onRefreshingChanged) {
        onRefreshingChanged(true, int(ids.size()));
    }

    const bool byId = TagWrites::byId(m_preferences);
    for (qsizetype start = 0; start < ids.size();) {
        // A tag that failed, or that Things 3 no longer has, keeps its record as it is.
        const auto fetched = co_await TagWrites::fetchSome(worker, ids, start, byId);
        co_await nextTurn();
        for (qsizetype i = 0; i < fetched.size(); ++i) {
            const TagPtr stored = store.tag(ids[start + i]);
            if (const std::optional<ThingsTagRecord>& record = fetched[i]; record && stored) {
                TagWrites::takeRecord(*stored, *record);
            }
        }
        start += fetched.size();
    }

    if (self) {
        self->m_isRefreshing = false;
        Q_EMIT self->changed();
    }
    if (onRefreshingChanged) {
        onRefreshingChanged(false, 0);
    }
}

QCoro::Task<> BatchEditor::requestDelete() {
    if (!canDelete() || m_showDeleteConfirmation) {
        co_return;
    }
    const QPointer<BatchEditor> self(this);
    const QList<TagPtr> selected = m_selectedTags;
    QStringList ids;
    for (const TagPtr& tag : selected) {
        ids.append(tag->id());
    }
    m_isDeleting = true;
    Q_EMIT changed();

    // The trees are read first: the confirmation says what goes, and whether Undo brings it back.
    UndoHistory::DeletionRead read = co_await UndoHistory::forStore(m_store).readDeletion(m_worker, ids);
    if (!self) {
        co_return;
    }
    self->m_isDeleting = false;
    if (read.failure && !selected.isEmpty()) {
        self->m_deleteFailures = {DeleteFailure{selected.first()->name(), read.failure->errorDescription()}};
    } else if (!read.failure && self->m_selectedTags == selected) { // else the selection moved on
        self->m_deletionRead = std::move(read);
        self->m_showDeleteConfirmation = true;
    }
    Q_EMIT self->changed();
}

QCoro::Task<> BatchEditor::deleteWithChildren() {
    std::optional<UndoHistory::DeletionRead> confirmed = std::exchange(m_deletionRead, std::nullopt);
    if (isBusy()) {
        Q_EMIT changed(); // the confirmation may have closed
        co_return;
    }
    const QPointer<BatchEditor> self(this);
    TagStore& store = m_store;
    ThingsWorker& worker = m_worker;
    const QList<TagPtr> selected = m_selectedTags;
    const bool byId = TagWrites::byId(m_preferences);
    m_isDeleting = true;
    Q_EMIT changed();

    // What Things 3 holds for the trees was read for the confirmation, for Undo; unless it was, it
    // is read now, and without it the user is asked again.
    UndoHistory& history = UndoHistory::forStore(store);
    QStringList ids;
    for (const TagPtr& tag : selected) {
        ids.append(tag->id());
    }
    const UndoHistory::DeletionPlan plan =
        co_await history.prepareDeletion(worker, ids, permanentDeleteMessage(), false, std::move(confirmed));
    if (!plan.proceed) {
        if (self) {
            if (plan.failure && !selected.isEmpty()) {
                self->m_deleteFailures = {
                    DeleteFailure{selected.first()->name(), plan.failure->errorDescription()}};
            }
            self->m_isDeleting = false;
            Q_EMIT self->changed();
        }
        co_return;
    }
    QStringList deletedIds, unsettledIds;
    QList<DeleteFailure> failures;
    // One picture of the tree for the whole run, in the store's name order.
    const std::optional<ThingsTreeRead> asRead = plan.undo ? std::optional(plan.undo->trees) : std::nullopt;
    const TagTree::ChildLists children(store.allTags());
    // By identifier, the tags go to Things 3 a hundred to a program; the run reports and stores
    // exactly what it would with a program each, tag by tag, in order.
    const qsizetype groupSize = byId ? ThingsService::maximumGroupSize : 1;
    for (qsizetype next = 0; next < selected.size();) {
        // The next tags to send: still stored, and not below a tag sent before them in this group (a
        // tag that left the store is neither read nor sent: its name could belong to another tag).
        QList<TagPtr> group;
        QList<qsizetype> positions; // of the group's tags in the selection
        QSet<QString> goneWithGroup;
        qsizetype end = next;
        for (; end < selected.size() && group.size() < groupSize; ++end) {
            const TagPtr current = store.tag(selected[end]->id());
            if (!current || goneWithGroup.contains(current->id())) {
                continue;
            }
            group.append(current);
            positions.append(end);
            for (const TagPtr& descendant : TagTree::descendantsInDeletionOrder(*current, children)) {
                goneWithGroup.insert(descendant->id());
            }
        }
        if (group.isEmpty()) {
            break;
        }
        QList<ThingsTagRef> refs;
        for (const TagPtr& tag : std::as_const(group)) {
            refs.append(TagWrites::refOf(*tag));
        }
        // Only the tags are named: Things 3 deletes their child tags with them.
        // Each tree is checked, as it is deleted, to be what the undo step holds.
        const auto deleted = co_await worker.run(&ThingsService::deleteTags, refs, byId, asRead);
        const ThingsGroupOutcome outcome = deleted ? deleted.value() : ThingsGroupOutcome{0, deleted.error()};
        co_await nextTurn();
        for (qsizetype i = 0; i < outcome.done; ++i) {
            // Descendants removed earlier in this run (a selected tag below this one went first) are
            // no longer stored and are passed over.
            for (const TagPtr& descendant : TagTree::descendantsInDeletionOrder(*group[i], children)) {
                store.remove(store.tag(descendant->id()));
            }
            store.remove(store.tag(group[i]->id()));
            deletedIds.append(group[i]->id());
        }
        // Those the lost program may have reached are for the undo step to ask about.
        for (qsizetype i = outcome.done; outcome.unsettled && i < group.size(); ++i) {
            unsettledIds.append(group[i]->id());
        }
        if (outcome.failure && outcome.unsettled) {
            // Things 3 could not be asked what it did: the run stops, the rest stay listed.
            const TagPtr& failed = group[outcome.done];
            failures.append(DeleteFailure{
                failed->name(),
                outcome.failure->unconfirmed(DisplayTexts::quotedName(failed->name()) % u" was deleted")});
            end = selected.size();
        } else if (outcome.failure) {
            const TagPtr& failed = group[outcome.done];
            failures.append(DeleteFailure{failed->name(), outcome.failure->errorDescription()});
            end = positions[outcome.done] + 1; // the run goes on after the tag that failed
        }
        next = end;
    }
    if (plan.undo) {
        history.recordDeletion(*plan.undo, deletedIds, unsettledIds);
    }

    if (self) {
        self->m_isDeleting = false;
        self->m_deleteFailures = failures;
        Q_EMIT self->changed();
        if (self->m_onDone) {
            const DoneCallback onDone = self->m_onDone;
            onDone(); // last: it may discard this object
        }
    }
}

} // namespace orvalet
