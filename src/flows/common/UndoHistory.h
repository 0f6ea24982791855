#pragma once

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QString>
#include <optional>

namespace orvalet {

class Preferences;
class TagStore;
class ThingsWorker;

// Undo and redo of the changes made to tags in Things 3: renames and moves (one step per editor
// save, batch save or drop), keyboard shortcuts and creations. Deletions are not undoable.
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
    struct Step {
        enum class Kind { change, creation };
        Kind kind = Kind::change;
        QString label;         // "Rename", "Move 3 Tags", "New Tag"…, after "Undo " / "Redo "
        QList<Change> changes; // a creation: one, its "before" unused
    };

    // The store's history, made on first use as the store's child.
    static UndoHistory& forStore(TagStore& store);

    // Recorded by the flows; clears what could be redone.
    void recordRename(const Change& change);
    void recordMoves(const QList<Change>& changes);
    void recordCreation(const QString& id, const QString& name, const std::optional<QString>& parentId);
    // Shortcut changes in the order they were sent; undone in the reverse order.
    void recordShortcuts(const QString& label, const QList<Change>& changes);

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

private:
    // Why a step could not be applied: it no longer fits what is stored (dropped), or Things 3
    // refused it (failed, the step kept).
    struct Outcome {
        std::optional<QString> dropped;
        std::optional<QString> failed;
    };

    explicit UndoHistory(TagStore& store);
    void push(Step step);
    QCoro::Task<> apply(bool undoing, ThingsWorker& worker, Preferences& preferences);
    // Each puts the step where it belongs afterwards: on the other stack, back, or nowhere.
    // `byId`: writes find their tags by identifier.
    QCoro::Task<Outcome> applyChanges(Step step, bool undoing, ThingsWorker& worker, bool byId);
    QCoro::Task<Outcome> applyShortcuts(Step step, bool undoing, ThingsWorker& worker, bool byId);
    QCoro::Task<Outcome> deleteCreated(Step step, ThingsWorker& worker, bool byId);
    QCoro::Task<Outcome> makeAgain(Step step, ThingsWorker& worker, bool byId);
    void adoptIdentifier(const QString& old, const QString& made);

    TagStore& m_store;
    QList<Step> m_undo;
    QList<Step> m_redo;
    bool m_busy = false;
};

} // namespace orvalet
