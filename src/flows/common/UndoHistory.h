#pragma once

#include "Tag.h"
#include "ThingsMergeRead.h"
#include "ThingsTreeRead.h"

#include <QCoroTask>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <memory>
#include <optional>

namespace orvalet {

class Preferences;
class TagStore;
class ThingsWorker;

// Undo and redo of the changes made to tags in Things 3: renames and moves (one step per editor
// save, batch save or drop), keyboard shortcuts, creations, deletions and merges. A deletion's step is what
// Things 3 held for the deleted trees, read before they went: undoing it makes the trees again and gives
// every to-do back the tags it had. A merge's step is what the merge read and wrote.
//
// There is one history per store, found with forStore(); the flows record a step once Things 3
// accepted their change. Undoing or redoing a step sends its reverse to Things 3 first, tag by tag,
// found there as every change finds its tag, and writes the store after. A step that can no longer apply (a
// tag renamed, moved or deleted since, a created tag that got to-dos or children) is dropped with a message
// saying why; a step that failed in Things 3 stays, with the error.
class UndoHistory final : public QObject {
    Q_OBJECT

public:
    // One tag's name and parent before and after a change; or, with `shortcut`, its keyboard
    // shortcut before and after (the empty text for none), its name and parent then unused.
    struct Change {
        QString id;
        QString nameBefore, nameAfter;
        std::optional<QString> parentBefore, parentAfter;
        std::optional<std::pair<QString, QString>> shortcut = std::nullopt;
    };
    // The deleted trees as Things 3 held them. Undoing makes the tags again in order: `made` of them
    // are made already (after a failure part-way), and carry their new identifiers.
    struct Deletion {
        ThingsTreeRead trees;
        qsizetype made = 0;
        // Tops of trees whose deletion was not confirmed (the answer was lost and Things 3 could not be
        // asked): undoing first asks Things 3, and makes again only those it no longer has.
        QStringList unsettled;
    };
    // A merge of one tag into another: the source as it was, the children that moved, and each
    // to-do's tag names before and after.
    struct Merge {
        QString sourceId, sourceName;
        std::optional<QString> sourceParentId;
        std::optional<QString> sourceShortcut; // as stored: none when never read
        QString destinationId;
        QStringList childIds;
        QList<ThingsTodoTagNames> before, after;
    };
    struct Step {
        enum class Kind { change, creation, deletion, merge };
        Kind kind = Kind::change;
        QString label;         // "Rename", "Move 3 Tags", "New Tag"…, after "Undo " / "Redo "
        QList<Change> changes; // a creation: one, its "before" unused
        std::shared_ptr<Deletion> deletion;
        // A merge: one source, or the members of a group merged into one tag, in the order they went.
        std::shared_ptr<QList<Merge>> merges;
        // The tags of `changes` whose change was sent without learning whether Things 3 made it (the
        // answer was lost and Things 3 could not be asked): until Things 3 says, the step is pending.
        QStringList unsettled = {};
        quint64 serial = 0; // which step this is, whatever moves around it while it is settled
    };

    // Whether and how a deletion goes ahead: `proceed` false leaves everything as it is; otherwise
    // `undo`, when set, is the step to record once Things 3 deleted the trees.
    struct DeletionPlan {
        bool proceed = false;
        std::optional<Deletion> undo;
        // Why nothing is deleted when Things 3 could not be reached for the read: the deletion's
        // failure, with no question asked.
        std::optional<ThingsError> failure = std::nullopt;
    };

    // The store's history, made on first use as the store's child.
    static UndoHistory& forStore(TagStore& store);

    // Recorded by the flows; clears what could be redone.
    // `unsettled`: the change was sent, but whether Things 3 made it is not known.
    void recordRename(const Change& change, bool unsettled = false);
    void recordMoves(const QList<Change>& changes, const QStringList& unsettledIds = {});
    void recordRenames(const QList<Change>& changes, const QStringList& unsettledIds = {});
    void recordCreation(const QString& id, const QString& name, const std::optional<QString>& parentId);
    // The trees of the tags in `deletedIds` (those Things 3 deleted) out of what was read before.
    // `unsettledIds`: tags the run tried to delete without learning whether it did (see Deletion).
    void recordDeletion(const Deletion& read, const QStringList& deletedIds,
                        const QStringList& unsettledIds = {});
    void recordMerge(Merge merge);
    // Merges of several tags into one, undone as one step ("Merge 3 Tags"), the last one first.
    void recordMerges(QList<Merge> merges);

    // What was read for a deletion before its confirmation shows, so that the confirmation can say
    // what goes and whether Undo brings it back.
    struct DeletionRead {
        QStringList rootIds;
        std::optional<Deletion> undo;       // the step to record once Things 3 deleted the trees
        std::optional<QString> withoutUndo; // else why the trees cannot be kept for Undo
        // Things 3 could not be reached: the deletion's failure, with nothing to confirm.
        std::optional<ThingsError> failure = std::nullopt;
    };
    // Reads the trees of these tags from Things 3 for the undo step, and asks nothing. With
    // `withOpenCounts`, each tag's open to-dos are read too (for a deletion that depends on them).
    QCoro::Task<DeletionRead> readDeletion(ThingsWorker& worker, QStringList rootIds,
                                           bool withOpenCounts = false);
    // Before a deletion of these tags with their trees: `confirmed`, the read its confirmation
    // showed, when it was of these tags; otherwise the trees are read now, and when they cannot be
    // kept for Undo the deletion asks once more: the reason, then `permanentMessage`, the
    // confirmation's text saying that it cannot be undone.
    QCoro::Task<DeletionPlan> prepareDeletion(ThingsWorker& worker, QStringList rootIds,
                                              QString permanentMessage, bool withOpenCounts = false,
                                              std::optional<DeletionRead> confirmed = std::nullopt);
    // The second confirmation's answer.
    void answerQuestion(int question, bool confirmed);
    // A confirmation's text with "This action cannot be undone!" (or "This cannot be undone.")
    // made "You can undo this with Edit ▸ Undo.".
    static QString undoable(const QString& permanent);
    // A deletion's confirmation after the read: what goes ("This deletes “Home” and its 3 child tags
    // from this app AND Things 3 and takes them off 12 to-dos."), then `question` when not empty,
    // then that Undo brings it back. Without a step for Undo: why, then `permanentMessage`.
    // `chosenIds`: the tags the user chose; the other tags of the trees are their child tags.
    static QString deletionMessage(const DeletionRead& read, const QStringList& chosenIds,
                                   const QString& permanentMessage, const QString& question = {});
    // Shortcut changes in the order they were sent; undone in the reverse order.
    void recordShortcuts(const QString& label, const QList<Change>& changes,
                         const QStringList& unsettledIds = {});

    // The stored tags a change is pending for: sent to Things 3, its outcome not known yet.
    QSet<QString> pendingIds() const;
    bool hasPending() const;
    // Asks Things 3 what became of every pending change, and settles each: a change it made stays in
    // its step and the store follows; one it did not make leaves the step (a step left empty goes).
    // Reports what it learnt. Nothing happens while Things 3 cannot be asked, or while a step is
    // undone or redone.
    QCoro::Task<> settlePending(ThingsWorker& worker);

    bool canUndo() const { return !m_busy && !m_undo.isEmpty(); }
    bool canRedo() const { return !m_busy && !m_redo.isEmpty(); }
    // "Undo Rename", "Redo Move 3 Tags"; "Undo" / "Redo" alone when there is nothing to do.
    QString undoText() const;
    QString redoText() const;
    bool isBusy() const { return m_busy; }

    QCoro::Task<> undo(ThingsWorker& worker, Preferences& preferences);
    QCoro::Task<> redo(ThingsWorker& worker, Preferences& preferences);

Q_SIGNALS:
    void changed();
    // A step was dropped or failed: what the user should read.
    void problem(const QString& message);
    // What an undo or redo of a deletion or merge did: "Restored 3 tags on 12 to-dos."
    void report(const QString& message);
    // A deletion asks whether to go ahead without undo; answerQuestion() tells it.
    void question(int question, const QString& title, const QString& message);
    void answered(int question, bool confirmed);
    // What Things 3 said of changes whose answer was lost: "“Bills Due” was deleted."
    void settled(const QString& message);

private:
    // Why a step could not be applied: it no longer fits what is stored (dropped), or Things 3
    // refused it (failed, the step kept).
    struct Outcome {
        std::optional<QString> dropped;
        std::optional<QString> failed;
    };

    explicit UndoHistory(TagStore& store);
    void push(Step step);
    // A step of changes of one kind, labelled by `verb` and their count.
    void recordChanges(const QString& verb, const QList<Change>& changes, const QStringList& unsettledIds);
    QCoro::Task<> apply(bool undoing, ThingsWorker& worker, Preferences& preferences);
    // Each puts the step where it belongs afterwards: on the other stack, back, or nowhere.
    // `byId`: writes find their tags by identifier.
    QCoro::Task<Outcome> applyChanges(Step step, bool undoing, ThingsWorker& worker, bool byId);
    QCoro::Task<Outcome> applyShortcuts(Step step, bool undoing, ThingsWorker& worker, bool byId);
    QCoro::Task<Outcome> deleteCreated(Step step, ThingsWorker& worker, bool byId);
    QCoro::Task<Outcome> makeAgain(Step step, ThingsWorker& worker, bool byId);
    QCoro::Task<Outcome> restoreDeleted(Step step, ThingsWorker& worker);
    QCoro::Task<Outcome> deleteAgain(Step step, ThingsWorker& worker, bool byId);
    QCoro::Task<Outcome> unmerge(Step step, ThingsWorker& worker, bool byId);
    // Takes `merge` out again; `current` is the step it belongs to. Adds what it did to `reports`.
    QCoro::Task<Outcome> unmergeOne(Merge& merge, Step& current, ThingsWorker& worker, bool byId,
                                    QStringList& reports);
    QCoro::Task<Outcome> mergeAgain(Step step, ThingsWorker& worker, Preferences& preferences);
    // A merge step of `merges`, "Merge “Errands”" for one, "Merge 3 Tags" for two into a third.
    static Step mergeStep(QList<Merge> merges);
    // The tags made again are stored and take their new identifiers everywhere in the history.
    static std::optional<Step> deletionStep(const Deletion& read, const QStringList& deletedIds,
                                            const QStringList& unsettledIds = {});
    // Asks Things 3 about the step's unsettled trees, and leaves out those it still has; a tree it no
    // longer has leaves the store. Nothing when Things 3 cannot be asked (the reason).
    // What it learnt is added to `notes`, when given.
    QCoro::Task<std::optional<QString>> settle(Deletion& deletion, ThingsWorker& worker,
                                               QStringList* notes = nullptr);
    // Settles the step's pending part (see settlePending); the reason when Things 3 cannot be asked.
    QCoro::Task<std::optional<QString>> settleStep(Step& step, ThingsWorker& worker, QStringList* notes);
    QCoro::Task<std::optional<QString>> settleChanges(Step& step, ThingsWorker& worker, QStringList* notes);
    static bool isPending(const Step& step);
    // A step whose every part proved not made.
    static bool isEmpty(const Step& step);
    // `current`: a step taken off its stack while it is applied.
    // Returns what the report says of keys Things 3 would not set again.
    QString storeMade(const QList<ThingsTagToMake>& made, const QStringList& oldIds,
                      const ThingsMadeTags& answer, Step& current);
    void adoptIdentifier(const QString& old, const QString& made, Step* current = nullptr);

    TagStore& m_store;
    QList<Step> m_undo;
    QList<Step> m_redo;
    bool m_busy = false;
    quint64 m_lastSerial = 0;
    int m_lastQuestion = 0;
    QHash<int, bool> m_answers;
};

} // namespace orvalet
