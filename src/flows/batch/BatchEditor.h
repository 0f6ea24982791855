#pragma once

#include "BatchResultState.h"
#include "Tag.h"
#include "UndoHistory.h"

#include <QCollator>
#include <QCoroTask>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace orvalet {

class Preferences;
class TagStore;
class ThingsWorker;

// The batch editor without its widgets: the detail pane the main window shows while two or more
// tags are selected. It moves all selected tags under one new parent (or to the top level), reads
// them again from Things 3, or deletes them with all their child tags after a confirmation.
//
// The pane, top to bottom: the title; a section headed selectedTagsHeader() with one row per
// selectedRows() entry (the name, and under it the ancestor path in a small caption font and a
// secondary colour, 2 points apart, rows inset 2 points above and below); a section "New Parent"
// with the picker "Parent Tag" bound to selectedParentId(): "None" (no parent), a separator, then
// one entry per parentChoices() tag showing its name; a separator; a bar (16 points of inset left
// and right, 12 above and below) with "Delete" (symbol "trash", red, destructive), flexible space,
// "Update from Things" (symbol "arrow.clockwise"; a small spinner instead while isRefreshing()),
// flexible space, and "Save Changes" (prominent, filled). While isBusy() the whole pane is disabled.
//
// Every change goes to Things 3 first, through the ThingsWorker, one tag at a time; the store is
// written only once Things 3 accepted it, in a turn of the event loop of its own after the
// program's answer. The runs are coroutines: they return at their first wait, and the widget may
// drop the returned task. A run outlives this object when the pane is discarded first (the
// selection changed): its Things 3 programs and store changes go on, and it leaves alone the state
// of an object that is gone.
//
// State changes are announced by `changed`, which is also emitted when the store changed (the
// derived values follow the store). The widget re-reads what it shows.
class BatchEditor final : public QObject {
    Q_OBJECT

public:
    // Called when the batch work is finished and the main window should leave the batch editor:
    // after a delete run, and after "OK" on a successful save's result. Only while this object
    // exists; a run that outlived it calls nothing.
    using DoneCallback = std::function<void()>;
    // Told (true, number of tags) when a refresh run starts and (false, 0) when it ends. The end is
    // told even when this object is gone by then, so the main window's overlay always comes down:
    // the callback must stay safe to call for as long as the run may last (guard what it captures).
    using RefreshingCallback = std::function<void(bool isRefreshing, int tagCount)>;

    // One row of the "Selected Tags" section.
    struct SelectedRow {
        TagPtr tag;
        // The tag's ancestors, highest first, joined by " > "; none for a root tag or a tag whose
        // parent is not stored.
        std::optional<QString> ancestorPath;
    };

    // The store, the preferences and the worker must outlive every run started here; in the
    // application they live as long as the process. The only preference read is whether each tag
    // is checked in Things 3 before it is changed. The initial parent choice is the one parent all
    // `selectedTags` share (possibly none), or none when their parents differ.
    BatchEditor(TagStore& store, Preferences& preferences, ThingsWorker& worker, QList<TagPtr> selectedTags,
                DoneCallback onDone, RefreshingCallback onRefreshingChanged, QObject* parent = nullptr);

    // ---- Texts and symbols ----

    static QString title();                  // "Batch Edit"
    QString selectedTagsHeader() const;      // "Selected Tags (N)"
    static QString newParentHeader();        // "New Parent"
    static QString parentPickerLabel();      // "Parent Tag"
    static QString noParentLabel();          // "None"
    static QString deleteLabel();            // "Delete", also the confirmation's destructive button
    static QString deleteSymbol();           // "trash"
    static QString refreshLabel();           // "Update from Things"
    static QString refreshSymbol();          // "arrow.clockwise"
    static QString saveLabel();              // "Save Changes"
    static QString cancelLabel();            // "Cancel", the confirmation's cancel button
    static QString clearShortcutsLabel();    // "Clear Shortcuts"
    QString deleteConfirmationTitle() const; // "Delete 1 tag?", "Delete 3 tags?"
    // What the read for the confirmation found (UndoHistory::deletionMessage).
    QString deleteConfirmationMessage() const;
    // The confirmation as designed, which says the deletion cannot be undone.
    static QString permanentDeleteMessage();
    // The result's error when the chosen parent was removed from the store before the save: nothing
    // is sent to Things 3 then.
    static QString missingParentMessage();

    // ---- Selection ----

    // The selected tags, in the order the main window gave them; every run walks them in it.
    const QList<TagPtr>& selectedTags() const { return m_selectedTags; }
    // The selection changed but still holds two or more tags: only the tags follow; the parent
    // choice and every other state stay as they are. A run already started keeps the tags it began
    // with.
    void setSelectedTags(QList<TagPtr> tags);
    // The section's rows: ascending by name in the plain-text order (code points, case-sensitive),
    // each with its ancestor path as the store has it now.
    QList<SelectedRow> selectedRows() const;

    // ---- Parent ----

    // The tags the picker offers after "None" and its separator: every stored tag that is neither
    // selected nor below a selected tag, ascending by name ignoring letter case under the user's
    // locale; names equal that way keep the plain-text order. Computed from the store on each call.
    QList<TagPtr> parentChoices() const;
    // The tag of parentChoices() with this identifier, or null, without listing them all.
    TagPtr parentChoice(const QString& id) const;
    // The picker's value: a tag identifier, or none for "None". It can name a tag that is not among
    // the choices (an unresolved parent all selected tags share, or a tag removed or selected since
    // it was chosen); the picker then shows no entry as current.
    const std::optional<QString>& selectedParentId() const { return m_selectedParentId; }
    void setSelectedParentId(const std::optional<QString>& id);
    // Whether some selected tag's parent differs from the choice (identifiers compared exactly).
    bool hasChanges() const;

    // ---- Busy state and enabled rules ----

    bool isSaving() const { return m_isSaving; }
    bool isDeleting() const { return m_isDeleting; }
    bool isRefreshing() const { return m_isRefreshing; }
    bool isClearingShortcuts() const { return m_isClearingShortcuts; }
    bool isBusy() const { return m_isSaving || m_isDeleting || m_isRefreshing || m_isClearingShortcuts; }
    // "Clear Shortcuts": while no run is under way and a selected tag may have a shortcut (one it
    // has, or one never read).
    bool canClearShortcuts() const;
    bool canDelete() const { return !isBusy(); }
    bool canRefresh() const { return !isBusy(); }
    bool canSave() const { return !isBusy() && hasChanges(); }

    // ---- Delete confirmation ----

    // "Delete" pressed (not while busy): the trees are read from Things 3 for Undo (busy as the
    // deletion is), then the confirmation shows; when Things 3 cannot be reached, deleteFailures()
    // says so instead.
    QCoro::Task<> requestDelete();
    bool showDeleteConfirmation() const { return m_showDeleteConfirmation; }
    // The confirmation's "Delete": closes it and starts deleteWithChildren.
    QCoro::Task<> confirmDelete();
    // Its "Cancel", or the dialog dismissed any other way: only closes it.
    void cancelDelete();

    // ---- Result sheet ----

    // The sheet shows resultState() while showResult() is true.
    bool showResult() const { return m_showResult; }
    const std::optional<BatchResultState>& resultState() const { return m_resultState; }
    // The sheet's "OK": closes the sheet, then calls onDone when the save succeeded. After a
    // failure the pane stays as it is, so the user can try again. Call nothing on this object
    // afterwards: onDone may discard it.
    void dismissResult();

    // ---- Runs ----
    // Each does nothing while another run is busy.

    // "Save Changes": for each selected tag, in order, that does not already have the chosen
    // parent, sends the re-parenting program (its name and both parents' names, as they were when
    // the run began), then writes the new parent and the update time into the stored record. The
    // first failure ends the run: nothing is rolled back, and the rest is not attempted. Ends with
    // resultState (success with every name, or failure naming the tag with the error's description
    // and the names processed before it) and showResult set. Tags that already had the chosen
    // parent count as updated without a program. When the chosen parent is no longer stored,
    // nothing is sent and the first tag that needed a change fails with missingParentMessage().
    QCoro::Task<> saveChanges();

    // "Update from Things": reads each selected tag from Things 3 by identifier and writes its name,
    // parent, open to-do count and the update time. Failures and tags Things 3 no longer has are
    // skipped silently; nothing is ever deleted. onRefreshingChanged brackets the run.
    QCoro::Task<> refreshFromThings();

    // The confirmed delete: for each selected tag, in order, one program naming only the tag (Things
    // 3 deletes its children with it); once accepted, its descendants (breadth first, from the tree
    // as it was when the run began) and then the tag leave the store. A failure leaves the tag and
    // its descendants in place; the pane says nothing of it, deleteFailures() keeps it. A selected
    // tag no longer stored when its turn comes (it went with a selected ancestor deleted before it)
    // is skipped without a program, and nothing is removed twice. By identifier, up to a hundred
    // tags go in one program that stops at its first failure; the run then goes on after the tag
    // that failed, so it reports and stores exactly what a program per tag would. Calls onDone at
    // the end, whatever failed.
    QCoro::Task<> deleteWithChildren();

    // "Clear Shortcuts": takes the keyboard shortcut off every selected tag that may have one, a
    // hundred to a program by identifier, and off each record once Things 3 accepted it; one undo
    // step. A failure ends the run and shows the result sheet's failure, naming the tag and the tags
    // cleared before it; success shows nothing (the list loses the key caps).
    QCoro::Task<> clearShortcuts();

    // ---- Leaving with a parent chosen but not saved ----

    // Whether leaving the pane now (a selection of fewer than two tags, the window closing, the
    // application quitting) would lose a parent the user chose and Save Changes could send. A pane
    // that only shows the parent the tags share, or "None" for tags with different parents, has
    // nothing unsaved.
    bool hasUnsavedChanges() const { return m_parentChosen && canSave(); }
    // The question asked then: "Save changes to 3 tags?"
    QString saveChangesQuestion() const;
    // "Don't Save": the picker shows again what it showed at first for these tags.
    void discardChanges();
    // "Save": Save Changes, then `finished(true)` once every tag was moved, without the result
    // sheet (the pane is leaving), or `finished(false)` with the failure's result shown as ever.
    QCoro::Task<> saveBeforeLeaving(std::function<void(bool saved)> finished);

    // What the last delete run could not delete, in run order: the name it sent and the error's
    // description. Set when the run ends, before onDone is called.
    struct DeleteFailure {
        QString name;
        QString error;
    };
    const QList<DeleteFailure>& deleteFailures() const { return m_deleteFailures; }

Q_SIGNALS:
    void changed();

private:
    QSet<QString> selectedIds() const;

    // The collation keys of the names offered so far, for the parent choices' order.
    struct SortKeys {
        QString locale;
        QCollator collator;
        QHash<QString, qsizetype> byName;
        std::vector<QCollatorSortKey> keys;
    };
    mutable std::optional<SortKeys> m_sortKeys;

    TagStore& m_store;
    Preferences& m_preferences;
    ThingsWorker& m_worker;
    DoneCallback m_onDone;
    RefreshingCallback m_onRefreshingChanged;

    QList<TagPtr> m_selectedTags;
    std::optional<QString> m_selectedParentId;
    bool m_parentChosen = false; // the choice is the user's, not the one first shown
    bool m_savesToLeave = false; // the save under way is the one before the pane goes
    bool m_isSaving = false;
    bool m_isDeleting = false;
    bool m_isRefreshing = false;
    bool m_isClearingShortcuts = false;
    bool m_showDeleteConfirmation = false;
    std::optional<UndoHistory::DeletionRead> m_deletionRead; // what the confirmation shows
    bool m_showResult = false;
    std::optional<BatchResultState> m_resultState;
    QList<DeleteFailure> m_deleteFailures;
};

} // namespace orvalet
