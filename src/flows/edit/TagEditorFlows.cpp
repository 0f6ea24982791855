// The editor's four actions, each a flow that writes to Things 3 first and to the store after.
#include "DisplayTexts.h"
#include "EditRules.h"
#include "ShortcutWrites.h"
#include "TagEditor.h"
#include "TagListActions.h"
#include "TagStore.h"
#include "TagTree.h"
#include "TagWrites.h"
#include "TextOrder.h"
#include "ThingsWorker.h"
#include "UndoHistory.h"

#include <QPointer>

namespace orvalet {

using DisplayTexts::quotedName;

// Every flow here follows one rule: after its first co_await, `this` may be gone (the main window
// removed the editor while Things 3 was answering) or may show another tag (setTag). It works on the
// record it started with, reaches the store through a reference taken before that point, and its
// own state only through `self`, and only while `self` still shows that record. A callback is
// copied before it is called, since the main window may destroy the editor from inside it.

QCoro::Task<> TagEditor::saveChanges() {
    if (!canSave()) {
        co_return;
    }
    const QList<TagPtr> allTags = m_store.allTags();
    if (EditRules::isNameTaken(EditRules::trimmedName(m_nameField), allTags, m_tag->id())) {
        m_showsDuplicateNameAlert = true;
        Q_EMIT changed();
        co_return;
    }

    const TagPtr tag = m_tag;
    const QString currentName = tag->name();
    const std::optional<QString> currentParentId = tag->parentTagId();
    const bool detailsChange =
        TextOrder::sortKey(m_nameField) != tag->nameSortKey() || m_selectedParentId != currentParentId;
    const QString newKey = m_shortcutField;
    // A key that cannot be sent stays in the field, with the reason under it, and is not saved.
    const bool shortcutChanges = newKey != tag->shortcutKey() && ShortcutWrites::isValidKey(newKey);
    // A key another tag has moves to this one only once the user said so.
    const QList<TagPtr> holders =
        shortcutChanges ? ShortcutWrites::holders(m_store, newKey, tag->id()) : QList<TagPtr>();
    if (!holders.isEmpty() && m_transferredKey != newKey) {
        m_showsShortcutConflict = true;
        Q_EMIT changed();
        co_return;
    }
    m_transferredKey.reset();
    // A parent chosen from the picker that has since left the store cannot be named to Things 3:
    // sending no parent would make the tag a root there while the record kept the chosen link.
    std::optional<ThingsTagChange> change;
    if (detailsChange) {
        change =
            TagWrites::change(m_store, *tag, m_nameField /* sent and stored as typed */, m_selectedParentId);
        if (!change) {
            setError(EditRules::missingParentMessage());
            co_return;
        }
    }

    const QPointer<TagEditor> self(this);
    TagStore& store = m_store;
    ThingsWorker& worker = m_worker;
    const bool byId = TagWrites::byId(m_preferences);
    m_isSaving = true;
    m_errorMessage.reset();
    Q_EMIT changed();

    std::optional<QString> failure;
    if (change) {
        const auto updated = co_await worker.run(&ThingsService::changeTag, *change, byId);
        if (updated) {
            TagWrites::follow(*tag, updated.value());
            // The name is what Things 3 has now; a move keeps it as the name to undo to.
            const bool renamed = currentName != change->newName;
            if (renamed || currentParentId != tag->parentTagId()) {
                UndoHistory::forStore(store).recordRename(
                    UndoHistory::Change{tag->id(), renamed ? currentName : tag->name(), tag->name(),
                                        currentParentId, tag->parentTagId()});
            }
        } else if (updated.error().isLostConnection() && !updated.error().tagNow()) {
            // Sent, and Things 3 could not be asked what it did: the step waits for its answer.
            const bool renamed = currentName != change->newName;
            UndoHistory::forStore(store).recordRename(
                UndoHistory::Change{tag->id(), currentName, renamed ? change->newName : currentName,
                                    currentParentId, change->newParentId},
                true);
            failure = updated.error().unconfirmed(quotedName(currentName) +
                                                  (renamed ? u" was renamed" : u" was moved"));
        } else {
            TagWrites::followAfterFailure(*tag, updated.error());
            failure = updated.error().errorDescription();
        }
    }
    if (!failure && shortcutChanges && tag->isStored()) {
        QList<ShortcutWrites::Write> writes;
        for (const TagPtr& holder : holders) {
            writes.append(ShortcutWrites::Write{holder, QString()});
        }
        writes.append(ShortcutWrites::Write{tag, newKey});
        const QStringList keysBefore = ShortcutWrites::keysBefore(writes);
        const ThingsShortcutsOutcome sent = co_await ShortcutWrites::send(worker, byId, writes);
        // The step gives back the keys Things 3 held, which the store may not have known.
        QList<UndoHistory::Change> undo;
        for (qsizetype i = 0; i < sent.tried.size() && sent.tried[i].keyBefore; ++i) {
            const ShortcutWrites::Write& write = writes[i];
            undo.append(UndoHistory::Change{write.tag->id(),
                                            {},
                                            write.tag->name(),
                                            {},
                                            {},
                                            std::pair(*sent.tried[i].keyBefore, write.key)});
        }
        // Those sent without an answer wait in the step for Things 3 to say.
        const QList<UndoHistory::Change> unknown = ShortcutWrites::unknownAfterLoss(writes, keysBefore, sent);
        QStringList unknownIds;
        for (const UndoHistory::Change& change : unknown) {
            undo.append(change);
            unknownIds.append(change.id);
        }
        UndoHistory::forStore(store).recordShortcuts(QStringLiteral("Keyboard Shortcut"), undo, unknownIds);
        if (const std::optional<ThingsError> stopped = sent.upToFirstFailure().failure) {
            failure =
                unknown.isEmpty()
                    ? stopped->errorDescription()
                    : stopped->unconfirmed(u"the shortcut of " % quotedName(tag->name()) % u" was changed");
        }
    }
    if (self) {
        if (failure && self->shows(tag)) {
            self->m_errorMessage = failure;
        }
        self->m_isSaving = false;
        Q_EMIT self->changed();
    }
}

QCoro::Task<> TagEditor::saveBeforeLeaving(std::function<void(bool saved)> finished) {
    if (!canSave()) {
        finished(false);
        co_return;
    }
    const QPointer<TagEditor> self(this);
    const TagPtr tag = m_tag;
    co_await saveChanges();
    // Whatever stopped the save is on screen: its error, the duplicate-name warning or the question
    // about another tag's key; the fields then still differ from the record.
    const bool saved = self && self->shows(tag) && !self->m_errorMessage &&
                       !self->m_showsDuplicateNameAlert && !self->m_showsShortcutConflict &&
                       !self->hasSavableChanges();
    finished(saved);
}

QCoro::Task<> TagEditor::refreshFromThings() {
    if (isBusy()) {
        co_return;
    }
    const QPointer<TagEditor> self(this);
    ThingsWorker& worker = m_worker;
    const TagPtr tag = m_tag;
    const RefreshingChangedCallback onRefreshingChanged = m_onRefreshingChanged;
    m_isRefreshing = true;
    if (onRefreshingChanged) {
        onRefreshingChanged(true);
    }
    if (self) {
        m_errorMessage.reset();
        Q_EMIT changed();
    }

    const auto fetched =
        co_await worker.run(&ThingsService::fetchTag, tag->id(), TagWrites::byId(m_preferences));
    const std::optional<ThingsTagRecord> record = fetched ? fetched.value() : std::nullopt;
    if (record) {
        TagWrites::takeRecord(*tag, *record);
    }
    if (self) {
        if (self->shows(tag)) {
            if (!fetched) {
                self->m_errorMessage = fetched.error().errorDescription();
            } else if (record) {
                // Unsaved edits give way to what Things 3 reports.
                self->m_nameField = record->name;
                self->m_selectedParentId = record->parentId;
            }
        }
        self->m_isRefreshing = false;
        Q_EMIT self->changed();
    }
    if (onRefreshingChanged) {
        onRefreshingChanged(false);
    }
}

QCoro::Task<> TagEditor::requestDelete() {
    if (!isEnabled() || m_showDeleteConfirmation) {
        co_return;
    }
    const QPointer<TagEditor> self(this);
    const TagPtr tag = m_tag;
    m_isDeleting = true;
    m_errorMessage.reset();
    Q_EMIT changed();

    // What Things 3 holds for the tree is read first: the confirmation says what goes with the tag,
    // and whether Undo can bring it back.
    const QStringList ids{tag->id()};
    UndoHistory::DeletionRead read = co_await UndoHistory::forStore(m_store).readDeletion(m_worker, ids);
    if (!self) {
        co_return;
    }
    self->m_isDeleting = false;
    if (self->shows(tag) && read.failure) {
        self->m_errorMessage = read.failure->errorDescription();
    } else if (self->shows(tag)) {
        self->m_deletionRead = std::move(read);
        self->m_showDeleteConfirmation = true;
    }
    Q_EMIT self->changed();
}

QCoro::Task<> TagEditor::deleteWithChildren() {
    std::optional<UndoHistory::DeletionRead> confirmed = std::exchange(m_deletionRead, std::nullopt);
    cancelDelete();
    if (isBusy()) {
        co_return;
    }
    const QPointer<TagEditor> self(this);
    TagStore& store = m_store;
    ThingsWorker& worker = m_worker;
    const bool byId = TagWrites::byId(m_preferences);
    const TagPtr tag = m_tag;
    m_isDeleting = true;
    m_errorMessage.reset();
    Q_EMIT changed();

    // What Things 3 holds for the tree was read for the confirmation, for Undo; unless it was, it is
    // read now, and without it the user is asked again.
    UndoHistory& history = UndoHistory::forStore(store);
    const QStringList ids{tag->id()};
    const UndoHistory::DeletionPlan plan =
        co_await history.prepareDeletion(worker, ids, permanentDeleteMessage(), false, std::move(confirmed));
    if (!plan.proceed) {
        if (self) {
            if (plan.failure && self->shows(tag)) {
                self->m_errorMessage = plan.failure->errorDescription();
            }
            self->m_isDeleting = false;
            Q_EMIT self->changed();
        }
        co_return;
    }
    const QList<TagPtr> descendants = TagTree::descendantsInDeletionOrder(*tag, store.allTags());
    // Things 3 deletes the tag's descendants with it: only the tag is named.
    // Checked, as it is deleted, to be the tree the undo step holds.
    const QList<ThingsTagRef> refs{TagWrites::refOf(*tag)};
    const std::optional<ThingsTreeRead> asRead = plan.undo ? std::optional(plan.undo->trees) : std::nullopt;
    const auto sent = co_await worker.run(&ThingsService::deleteTags, refs, byId, asRead);
    const std::optional<ThingsError> failure =
        sent ? sent.value().failure : std::optional<ThingsError>(sent.error());
    // The answer was lost and Things 3 could not be asked: the tree stays, marked, with its undo step
    // until Things 3 says whether it deleted it.
    const bool unsettled = sent && sent.value().unsettled;
    if (!failure) {
        for (const TagPtr& descendant : descendants) {
            store.remove(descendant);
        }
        store.remove(tag);
        if (plan.undo) {
            history.recordDeletion(*plan.undo, ids);
        }
    } else if (unsettled && plan.undo) {
        history.recordDeletion(*plan.undo, {}, ids);
    }
    if (!self) {
        co_return;
    }
    if (failure) {
        if (self->shows(tag)) {
            self->m_errorMessage = unsettled ? failure->unconfirmed(quotedName(tag->name()) + u" was deleted")
                                             : failure->errorDescription();
        }
    } else if (self->shows(tag)) {
        const DeletedCallback onDeleted = self->m_onDeleted;
        if (onDeleted) {
            onDeleted();
        }
    }
    if (self) {
        self->m_isDeleting = false;
        Q_EMIT self->changed();
    }
}

std::optional<QUrl> TagEditor::openInThings() const {
    return TagListActions::viewInThingsUrl(m_tag->id());
}

} // namespace orvalet
