#pragma once

#include "BatchResultState.h"
#include "Tag.h"
#include "ThingsTagChange.h"
#include "UndoHistory.h"

#include <QCoroTask>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <optional>
#include <vector>

namespace orvalet {

class Preferences;
class TagStore;
class ThingsWorker;

// The clean-up of unused tags without its widgets: the stored tags that no open to-do uses, shown
// as a tree with a check box per tag, and the run that deletes the checked ones through the batch
// editor's delete flow.
//
// A tag is offered when no tag of its whole subtree has open to-dos (an unreported count counts as
// none), so a parent with a used tag anywhere below it is never offered, while the unused children
// of a used tag are. The forest is the outline's: a tag whose parent is not stored, or that sits in
// a parent loop, is a root.
//
// Checks follow what Things 3 does, which deletes a tag together with every tag below it:
// - unchecking a tag leaves the tags below it checked (each of them is deleted on its own), and
//   shows every tag above it unchecked, since none of those can go without taking it along;
// - checking a tag checks every tag below it, for the same reason.
// So a checked tag always has all of its subtree checked, and the tags deleted are exactly the
// checked ones. Every tag offered when the window opens starts checked; a tag that becomes unused
// later (a to-do completed and the tags read again) starts unchecked, so nothing the user has not
// seen checked is deleted, and a checked tag it appears under shows unchecked until it is checked.
//
// The candidates are worked out again at every store change, and so before each tree of a run.
// State changes are announced by `changed`; the widget re-reads.
class UnusedTagsCleanup final : public QObject {
    Q_OBJECT

public:
    // One row of the tree, in the order a reader meets them: each tag followed by its subtree,
    // siblings in the store's name order.
    struct Candidate {
        TagPtr tag;
        int parent = -1; // the row of the candidate above it; -1 for a root of the tree
        int depth = 0;
        bool checked = false;
        // For a root of the tree whose parent is stored (a used tag), the names above it, highest
        // first, joined by " > ": where it sits in the list of tags. None for every other row.
        std::optional<QString> ancestorPath;
    };

    // The store, the preferences and the worker must outlive every run started here.
    UnusedTagsCleanup(TagStore& store, Preferences& preferences, ThingsWorker& worker,
                      QObject* parent = nullptr);
    ~UnusedTagsCleanup() override;

    // ---- Texts ----

    static QString title();      // "Clean Up Unused Tags"
    static QString heading();    // "These tags have no open to-dos, and neither do the tags below them"
    static QString note();       // what the counts cover
    QString deleteLabel() const; // "Delete N Tags", "Delete 1 Tag"
    static QString emptyTitle(); // "No Unused Tags"
    static QString emptyDescription();
    QString deleteConfirmationTitle() const; // "Delete 3 tags?", "Delete 1 tag?"
    // What the read for the confirmation found (UndoHistory::deletionMessage).
    QString deleteConfirmationMessage() const;
    // The confirmation as designed, which says the deletion cannot be undone.
    static QString permanentDeleteMessage();

    // ---- The tree ----

    const std::vector<Candidate>& candidates() const { return m_candidates; }
    bool isEmpty() const { return m_candidates.empty(); }
    // The row of the tag with this identifier; -1 when it is not offered.
    int rowOf(const QString& id) const;
    // Checks or unchecks the tag by the rules above; an identifier not offered is ignored.
    void setChecked(const QString& id, bool checked);
    // N, the number of checked tags: all of them are deleted by the run.
    int checkedCount() const { return m_checkedCount; }
    QStringList checkedNames() const;

    // ---- Busy state and enabled rules ----

    bool isDeleting() const { return m_isDeleting; }
    bool canDelete() const { return !m_isDeleting && m_checkedCount > 0; }

    // ---- Delete confirmation ----

    // "Delete N Tags" pressed (only when canDelete()): the checked trees are read from Things 3 for
    // Undo (busy as the deletion is), then the confirmation shows; when Things 3 cannot be reached,
    // the result sheet says so instead.
    QCoro::Task<> requestDelete();
    bool showDeleteConfirmation() const { return m_showDeleteConfirmation; }
    // The confirmation's "Delete": closes it and starts deleteChecked.
    QCoro::Task<> confirmDelete();
    void cancelDelete();

    // ---- Result sheet ----

    bool showResult() const { return m_showResult; }
    const std::optional<BatchResultState>& resultState() const { return m_resultState; }
    // The sheet's "OK": closes it. The window stays, showing what is left.
    void dismissResult();

    // ---- Run ----

    // Deletes the checked tags, tree after tree: Things 3 is sent the highest checked tag of each tree
    // (it deletes the tags below it with it), then the tree leaves the store. By identifier, the trees
    // go a hundred at a time: one program reads them, one deletes them; by name, a tree at a time.
    // Before each group, the candidates are read again: a tree that is no longer unused and fully
    // checked is left alone. Then Things 3 is asked for the open to-dos and child tags of every tag
    // of the tree (tree by tree when a tag of the group is gone): a tree used now, with
    // child tags other than the stored ones, or with a tag below the top gone, is left alone and
    // listed in the result with the reason (a top gone already is deleted as usual: nothing to do in
    // Things 3). The first failure ends the run; nothing is rolled back. Ends with resultState set:
    // success with the names of every tag deleted, or failure naming the tag whose program failed,
    // its error, and the tags deleted before it; either way with the trees left alone. When this object is
    // discarded during the run, the tree being deleted finishes (Things 3 and the store stay in step) and no
    // further tree is sent.
    QCoro::Task<> deleteChecked();

Q_SIGNALS:
    void changed();

private:
    void storeChanged();
    void recount();
    // The rows of the candidate at `row` and every candidate below it.
    QList<int> subtreeRows(int row) const;
    // The identifiers of the tree of `id` in the rows' order, when it is offered and checked.
    QStringList checkedTree(const QString& id) const;
    // The highest checked tag of each checked tree, in reading order.
    QStringList checkedTops() const;
    // Why the tree at `row` must be left alone after all, given what Things 3 holds now for its tags
    // (in the order of subtreeRows): a tag with open to-dos, or child tags other than the stored ones.
    std::optional<QString> whyNotUnused(int row, const QList<ThingsTagUse>& use) const;

    TagStore& m_store;
    ThingsWorker& m_worker;
    Preferences& m_preferences;

    std::vector<Candidate> m_candidates;
    QHash<QString, int> m_rowById;
    // The identifiers checked on their own account; a tag shows checked when it and every tag below
    // it are in here.
    QSet<QString> m_checkedIds;
    bool m_seeded = false;
    int m_checkedCount = 0;
    bool m_isDeleting = false;
    bool m_showDeleteConfirmation = false;
    std::optional<UndoHistory::DeletionRead> m_deletionRead; // what the confirmation shows
    bool m_showResult = false;
    std::optional<BatchResultState> m_resultState;
};

} // namespace orvalet
