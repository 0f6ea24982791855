#pragma once

#include "Tag.h"
#include "UndoHistory.h"

#include <QCoroTask>
#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

namespace orvalet {

class Preferences;
class TagStore;
class ThingsWorker;

// The tag editor without its widgets: the detail pane the main window shows for one selected tag.
// It holds the screen's state (the typed name, the chosen parent, the busy flags, the error row,
// the alerts), derives what the screen shows from the store, and runs the four actions: Save
// Changes, Update from Things, Delete (with every tag below) and View in Things.
//
// Every change goes to Things 3 first, through the ThingsWorker, and is written to the stored
// record only once Things 3 accepted it. The record is read live: a change made elsewhere shows at
// the next re-read. A flow returns at its first wait; the widget may drop the returned task.
//
// `changed` announces every change of what the screen shows: the editor's own state, the store
// (renames, new children, deletions) and the two display preferences it follows. The widget
// re-reads everything on it.
//
// A flow outlives this object when the editor is destroyed while Things 3 answers, and when the
// main window puts another tag into this editor (setTag) meanwhile. Either way the flow finishes
// its work on the tag it started with: Things 3 and the store get the change; the editor's fields
// and error row are left to the tag now shown; `onDeleted` is called only while the editor still
// shows the deleted tag. `onRefreshingChanged(false)` always follows `onRefreshingChanged(true)`,
// even after this object is gone, so a callback must guard what it captures (a QPointer).
class TagEditor final : public QObject {
    Q_OBJECT

public:
    using DeletedCallback = std::function<void()>;
    using SelectedCallback = std::function<void(TagPtr)>;
    using RefreshingChangedCallback = std::function<void(bool)>;

    // `tag` is a stored record. The store, the preferences and the worker must outlive every flow
    // started here (in the application all three live as long as the process).
    //  - onDeleted: called once after a successful deletion; the main window clears its selection.
    //  - onSelected: makes another tag the main window's single selection (the "View" buttons and
    //    the children's names).
    //  - onRefreshingChanged: true when Update from Things starts, false when it ends.
    // The fields start from the record; every flag is clear and there is no error.
    TagEditor(TagStore& store, Preferences& preferences, ThingsWorker& worker, TagPtr tag,
              DeletedCallback onDeleted, SelectedCallback onSelected,
              RefreshingChangedCallback onRefreshingChanged, QObject* parent = nullptr);

    // ---- The edited tag ----

    const TagPtr& tag() const { return m_tag; }
    Preferences& preferences() const { return m_preferences; }
    // The main window shows another tag in this editor. When its identifier differs from the
    // current one, the fields start again from the new record and the error row is cleared; the
    // busy flags and the alerts' flags are left as they are.
    void setTag(TagPtr tag);

    // The window title: the record's name.
    QString windowTitle() const;

    // The line above the form, absent when the record has no update time:
    //   "Updated: " + updatedAtText + " (" + elapsedPhrase + " ago)"
    // e.g. "Updated: 3/14/25 9:26 AM (5 minutes ago)". The phrase changes as time passes: the widget
    // asks again every few seconds while it is shown. `now` defaults to the model's clock.
    std::optional<QString> updateLine() const;
    std::optional<QString> updateLine(const QDateTime& now) const;
    // The time in the locale's short numeric date and time form, in the local time zone.
    static QString updatedAtText(const QDateTime& time, const QLocale& locale = QLocale());
    // The time from `since` to `now` in its largest whole unit: "0 seconds", "1 second", "45 seconds",
    // "1 minute", "5 minutes", "3 hours", "2 days", "1 week", "3 weeks", "2 months", "1 year", "4 years"
    // (weeks from 7 days, months of 30 days from 31 days, years of 365 days). A `since` later than
    // `now` reads "0 seconds".
    static QString elapsedPhrase(const QDateTime& since, const QDateTime& now);

    // ---- Details: name and parent ----

    const QString& nameField() const { return m_nameField; }
    void setNameField(const QString& name);
    // The chosen parent's identifier; absent for no parent.
    const std::optional<QString>& selectedParentId() const { return m_selectedParentId; }
    void setSelectedParentId(const std::optional<QString>& parentId);

    // Whether the fields differ from the record: the name as typed, untrimmed and case-sensitive,
    // with canonically equivalent forms equal; the parent identifier and the shortcut exactly.
    bool hasChanges() const;

    // ---- Keyboard shortcut ----

    static QString shortcutLabel(); // "Keyboard Shortcut"
    // The key typed, the empty text for none. A shortcut never read from Things 3 shows as none.
    const QString& shortcutField() const { return m_shortcutField; }
    void setShortcutField(const QString& key);
    // What the empty field reads: "None", or "Unknown" while the shortcut was never read from Things 3.
    QString shortcutPlaceholder() const;
    // Whether the typed key can be sent (ShortcutWrites::isValidKey). A key that cannot is never
    // sent: the field keeps it, shortcutProblem() says why under it, and Save Changes saves the
    // other fields and leaves the tag's shortcut as it is.
    bool isShortcutFieldValid() const;
    // "A shortcut is one letter, digit or symbol"
    static QString shortcutProblem();

    // Shown when Save Changes would give the tag a key another stored tag has: "Yes" clears it
    // there first and saves, "No" leaves the fields as typed.
    bool showsShortcutConflict() const { return m_showsShortcutConflict; }
    // "“Home” uses 7. Give 7 to “Work” instead?"; every tag that has the key is named.
    QString shortcutConflictTitle() const;
    // The question's own title and its confirming button: "Give “7” to “Work”?", "Give to “Work”".
    QString shortcutTransferQuestion() const;
    QString shortcutTransferButton() const;
    QCoro::Task<> confirmShortcutTransfer();
    void cancelShortcutTransfer();

    // The "Parent Tag" picker: first, only when the record has no parent, the entry
    // EditRules::noParentLabel() ("None") standing for no parent, and a divider; then one entry per
    // tag of parentChoices(), showing its name and standing for its identifier. A tag that has a
    // parent is offered only other tags: this editor never makes it a root tag.
    bool offersNoParent() const;
    // Every stored tag except the edited one and the tags below it, ascending by name (plain-text
    // order, capitals before small letters). A tag whose own parent is not stored is offered too.
    QList<TagPtr> parentChoices() const;
    // The tag of parentChoices() with this identifier, or null, without listing them all.
    TagPtr parentChoice(const QString& id) const;
    // The stored tag chosen in the picker; null when none is chosen or it is not stored. The "View"
    // row beside the picker is shown only when there is one.
    TagPtr selectedParent() const;
    // The row's "View": selects the chosen parent in the main window, even before it is saved.
    void viewSelectedParent();

    // ---- Children ----

    // The tags whose parent is the edited tag, ascending by name. The section shows the text
    // noChildrenText() instead when there are none.
    QList<TagPtr> childTags() const;
    static QString noChildrenText();

    // One row of the "Children" section.
    struct ChildRow {
        TagPtr tag;
        // With showChildrenCounts: the child's own number of children, "0 child tags" included.
        std::optional<QString> childCountText;
        // With showTodoCounts and a known count: "N todos"; absent when the count is unknown.
        std::optional<QString> todoCountText;
    };
    QList<ChildRow> childRows() const;
    // A child's name button and its "View": selects that child in the main window.
    void viewChild(const TagPtr& child);

    // ---- Busy state and what is enabled ----

    bool isSaving() const { return m_isSaving; }
    bool isDeleting() const { return m_isDeleting; }
    bool isRefreshing() const { return m_isRefreshing; }
    // While any action is under way the whole screen, form and action bar, is disabled.
    bool isBusy() const { return m_isSaving || m_isDeleting || m_isRefreshing; }
    // "Save Changes": enabled only with a change it can send (any but a key that cannot be sent) and
    // no action under way.
    bool canSave() const { return hasSavableChanges() && !isBusy(); }
    // "Delete", "Update from Things", "View in Things", the children's buttons, the add-child
    // button: enabled while no action is under way. "Update from Things" is replaced by a small
    // progress indicator while isRefreshing().
    bool isEnabled() const { return !isBusy(); }

    // ---- Error row ----

    // The last failure's text, until "Dismiss", the next action, or another tag in the editor.
    const std::optional<QString>& errorMessage() const { return m_errorMessage; }
    void dismissError();

    // ---- Duplicate-name alert ----

    // Shown when Save Changes found the trimmed name on another stored tag. Title:
    // EditRules::duplicateNameAlertTitle() ("Tag already exists."), no message, one "OK" button.
    bool showsDuplicateNameAlert() const { return m_showsDuplicateNameAlert; }
    void dismissDuplicateNameAlert();

    // ---- Delete confirmation ----

    bool showDeleteConfirmation() const { return m_showDeleteConfirmation; }
    // The "Delete" button of the action bar: reads the tree from Things 3 for Undo (busy as the
    // deletion is), then shows the confirmation; when Things 3 cannot be reached, its error instead.
    QCoro::Task<> requestDelete();
    // The confirmation's "Cancel", or the confirmation dismissed any other way.
    void cancelDelete();
    // `Delete "NAME" on Things 3?` with the record's name.
    QString deleteConfirmationTitle() const;
    // What the read found (UndoHistory::deletionMessage), ending with the question.
    QString deleteConfirmationMessage() const;
    // The confirmation as designed, which says the deletion cannot be undone.
    static QString permanentDeleteMessage();

    // ---- Creation sheet ----

    // The "plus.circle" button of the "Children" section opens the creation sheet, whose parent is
    // preset to the edited tag (a TagCreator given tag()); closing the sheet calls createSheetClosed().
    bool isShowingCreateSheet() const { return m_isShowingCreateSheet; }
    void showCreateSheet();
    void createSheetClosed();

    // ---- Actions ----

    // "Save Changes". Refused with the duplicate-name alert when the typed name, trimmed, is another
    // stored tag's name ignoring case (also when only the parent changed); refused with the error
    // EditRules::missingParentMessage() when the chosen parent was deleted meanwhile. Otherwise sends
    // the rename and/or the move, the name exactly as typed and the parents by name, and on success
    // writes the name, the parent's identifier and the update time to the record. A failure shows
    // its text and keeps the fields as typed. A changed shortcut is sent after the rename and move,
    // in a program of its own that first takes the key off the tag that had it, once the user agreed
    // (showsShortcutConflict); each accepted shortcut is written to its record and is one undo step.
    // Does nothing unless canSave().
    QCoro::Task<> saveChanges();

    // "Update from Things": reads the tag from Things 3 by identifier and writes what it reports
    // (name, parent, to-do count, update time) to the record, and to the fields, over unsaved edits.
    // When Things 3 has no such tag nothing changes and nothing is shown. Does nothing while busy.
    QCoro::Task<> refreshFromThings();

    // The confirmation's "Delete": closes it and deletes the tag in Things 3 with one program naming
    // only the tag (Things 3 deletes the tags below it), then from the store every tag below it,
    // breadth first, and the tag; then calls onDeleted. A failure keeps every record and shows its
    // text. Does nothing while busy.
    QCoro::Task<> deleteWithChildren();

    // ---- Leaving with changes not saved ----

    // Whether leaving the editor now (another selection, the window closing, the application
    // quitting) would lose a change Save Changes could send. Never while an action is under way.
    bool hasUnsavedChanges() const { return canSave(); }
    // The question asked then, with the record's name: "Save changes to “Family”?"
    QString saveChangesQuestion() const;
    // "Don't Save": the fields show the record again.
    void discardChanges();
    // "Save": Save Changes, then `finished(true)` once all of it went through, or `finished(false)`
    // when it did not (a failure shown in the error row, a warning or a question shown instead, the
    // editor gone or showing another tag meanwhile).
    QCoro::Task<> saveBeforeLeaving(std::function<void(bool saved)> finished);

    // "View in Things": the link things:///show?id=ID for the widget to open; none when the
    // identifier does not form a valid link as it is, and then the button does nothing.
    std::optional<QUrl> openInThings() const;

Q_SIGNALS:
    void changed();

private:
    void storeChanged();
    bool hasSavableChanges() const;
    void setError(std::optional<QString> message);
    bool shows(const TagPtr& tag) const { return m_tag && tag && m_tag->id() == tag->id(); }

    TagStore& m_store;
    Preferences& m_preferences;
    ThingsWorker& m_worker;
    TagPtr m_tag;
    DeletedCallback m_onDeleted;
    SelectedCallback m_onSelected;
    RefreshingChangedCallback m_onRefreshingChanged;

    QString m_nameField;
    std::optional<QString> m_selectedParentId;
    // The record's name and parent when the fields were last compared with it.
    QString m_syncedName;
    std::optional<QString> m_syncedParentId;
    QString m_shortcutField;
    QString m_syncedShortcut;
    bool m_showsShortcutConflict = false;
    // The key the user agreed to take from the tag that has it, for the save that follows.
    std::optional<QString> m_transferredKey;
    bool m_isSaving = false;
    bool m_isDeleting = false;
    bool m_isRefreshing = false;
    std::optional<QString> m_errorMessage;
    bool m_showDeleteConfirmation = false;
    std::optional<UndoHistory::DeletionRead> m_deletionRead; // what the confirmation shows
    bool m_showsDuplicateNameAlert = false;
    bool m_isShowingCreateSheet = false;
};

} // namespace orvalet
