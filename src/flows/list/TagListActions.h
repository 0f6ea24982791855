#pragma once

#include "Tag.h"
#include "ThingsTagRecord.h"
#include "ThingsTreeRead.h"
#include "UndoHistory.h"

#include <QCoroTask>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>
#include <optional>

namespace orvalet {

class Preferences;
class TagStore;
class ThingsError;
class ThingsWorker;

// The actions of the main window's tag list, without the widgets: the import from Things 3, the
// deletion of listed tags after a confirmation, the refresh of listed tags, and the state the
// window shows for them (busy flags, the progress overlay, the import's failure alert, the delete
// confirmation, the selection).
//
// Every flow sends its program to Things 3 through the ThingsWorker first and changes the store
// only once Things 3 accepted it. A flow is a coroutine: it returns at its first wait, and the
// widget may drop the returned task. A flow outlives this object when the window closes first: its
// store changes still land, and it leaves alone the state of an object that is gone. Busy state
// is set before the program is submitted and cleared in the flow's last step.
//
// State changes are announced by `changed` (selection changes by `selectionChanged`); the widget
// re-reads what it shows.
class TagListActions final : public QObject {
    Q_OBJECT

public:
    // The store, the preferences and the worker must outlive every flow started here; in the
    // application all three live as long as the process.
    TagListActions(TagStore& store, Preferences& preferences, ThingsWorker& worker,
                   QObject* parent = nullptr);

    // ---- Import ----

    // Replaces the store's tags with those of Things 3, as mergeImportedTags does, but works out the
    // new records and commits them off the interface thread (TagReplacement): a write to the store
    // made meanwhile is newer than Things 3's answer and wins. isImporting is set at once; on
    // failure importError holds the text for the "Import Failed" alert and nothing else changes.
    QCoro::Task<> importAllTags();
    bool isImporting() const { return m_isImporting; }
    const std::optional<QString>& importError() const { return m_importError; }
    // The alert's "OK", or the alert dismissed any other way.
    void dismissImportError();

    // Makes the store a copy of `records`, the tags Things 3 reported: known identifiers are
    // updated (name, parent, count, and updatedAt always), new ones inserted, the rest deleted
    // (their children are not deleted with them); records "lastImportDate". All at once, in one
    // event-loop turn, so the store commits it as one transaction. Not while an import is applying.
    void mergeImportedTags(const QList<ThingsTagRecord>& records);
    static void mergeImportedTags(TagStore& store, Preferences& preferences,
                                  const QList<ThingsTagRecord>& records);

    // ---- Progress overlay ----

    // Tags being refreshed from Things 3, by refreshTags or by an editor (its onRefreshingChanged).
    int refreshingTagCount() const { return m_refreshingTagCount; }
    void setRefreshingTagCount(int count);

    bool isOverlayShown() const { return m_isImporting || m_refreshingTagCount > 0; }
    QString overlayTitle() const;
    static QString overlayMessage();

    // ---- Selection ----

    const QSet<QString>& selectedTagIds() const { return m_selectedTagIds; }
    void setSelectedTagIds(const QSet<QString>& ids);

    // ---- Row context menu ----

    // The tags a context menu opened on the row of `rowTagId` acts on: the selected tags, in the
    // set's iteration order and leaving out identifiers without a stored tag, when the row is
    // selected; otherwise the row's tag alone. The selection is not changed.
    QList<TagPtr> menuTargets(const QString& rowTagId) const;
    static QString deleteMenuTitle(qsizetype targetCount);

    // "View in Things": things:///show?id= followed by the identifier as it is; none when that is
    // not a valid link, and then the menu entry does nothing.
    static std::optional<QUrl> viewInThingsUrl(const QString& tagId);

    // ---- Deletion ----

    // "Delete Tag(s)" chosen: the targets await confirmation. Their trees are read from Things 3 for
    // Undo first (their rows busy meanwhile), then the confirmation shows; when Things 3 cannot be
    // reached, the banner says so instead. Does nothing while other targets await confirmation.
    QCoro::Task<> requestDelete(QList<TagPtr> targets);
    const QList<TagPtr>& tagsPendingDelete() const { return m_tagsPendingDelete; }
    bool showDeleteConfirmationForListTags() const { return m_showDeleteConfirmationForListTags; }
    QString confirmationTitle() const;
    // What the read found (UndoHistory::deletionMessage).
    QString confirmationMessage() const;
    // The confirmation as designed, which says the deletion cannot be undone.
    QString permanentConfirmationMessage() const;

    // The dialog's "Delete": empties the list and closes the dialog, takes the trees read for Undo
    // (reads them, and asks again when they cannot be kept, when no confirmation read them), then starts
    // deleteTagFromList for each pending tag, in order (by identifier, deleteTagsFromList for several), and
    // records one undo step for what was deleted. The task completes when every deletion has.
    QCoro::Task<> confirmDelete();
    // The dialog's "Cancel", or the dialog dismissed any other way: nothing is deleted.
    void cancelDelete();

    // The banner above the list, until dismissed: notDeletedMessage() for the last deletion that
    // failed, or saveFailureMessage() while the store cannot save its changes (those stay in memory
    // and are tried again with the next change; the banner goes once a save succeeds).
    const std::optional<QString>& bannerMessage() const { return m_bannerMessage; }
    void dismissBanner();
    // "Orvalet could not save its tag list: " and why.
    static QString saveFailureMessage(const QString& why);
    // "“NAME” was not deleted. " and the error's text for the user.
    static QString notDeletedMessage(const QString& name, const ThingsError& error);

    // The tags whose deletion from the list is under way, and the tags below them: their rows show
    // busy until Things 3 has answered.
    bool isDeleting(const QString& id) const { return m_deletingTagIds.contains(id); }
    bool hasDeletions() const { return !m_deletingTagIds.isEmpty(); }

    // The identifiers of the tags deleted, and of those whose deletion is not known (the answer was
    // lost and Things 3 could not be asked): those stay stored.
    struct Deleted {
        QStringList ids, unsettled;
    };
    // Deletes the tag in Things 3 (one program naming only the tag), then its descendants, as they
    // are now, and the tag from the store, and the tag's identifier from the selection. A failure
    // changes nothing and says why in the banner.
    // With the trees `asRead` for the undo step, each is checked, as it is deleted, to be what was read.
    QCoro::Task<Deleted> deleteTagFromList(TagPtr tag, std::optional<ThingsTreeRead> asRead = std::nullopt);
    // The same for several tags, one after the other (by identifier, a hundred to a program): each
    // deleted or failed exactly as deleteTagFromList would.
    QCoro::Task<Deleted> deleteTagsFromList(QList<TagPtr> tags,
                                            std::optional<ThingsTreeRead> asRead = std::nullopt);

    // ---- Refresh ----

    // Reads each tag from Things 3 in turn and writes what it reports (name, parent, count, and
    // updatedAt); failures and tags Things 3 no longer has are skipped silently. refreshingTagCount
    // holds the number of tags until the last one is done.
    QCoro::Task<> refreshTags(QList<TagPtr> tags);

Q_SIGNALS:
    void changed();
    void selectionChanged();

private:
    void removeFromSelection(const QString& id);
    void showSaveFailure();

    TagStore& m_store;
    Preferences& m_preferences;
    std::optional<QString> m_bannerMessage;
    bool m_showsSaveFailure = false;
    QHash<QString, int> m_deletingTagIds; // how many deletions under way take each tag
    ThingsWorker& m_worker;

    bool m_isImporting = false;
    std::optional<QString> m_importError;
    int m_refreshingTagCount = 0;
    QList<TagPtr> m_tagsPendingDelete;
    bool m_showDeleteConfirmationForListTags = false;
    std::optional<UndoHistory::DeletionRead> m_deletionRead; // what the confirmation shows
    QSet<QString> m_selectedTagIds;
};

} // namespace orvalet
