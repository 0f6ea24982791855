#pragma once

#include "Tag.h"
#include "ThingsMergeRead.h"
#include "UndoHistory.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QString>
#include <optional>

namespace orvalet {

class Preferences;
class TagStore;
class ThingsWorker;

// "Merge Into…" without its widgets, for one source tag: the searchable choice of a destination, the
// confirmation that says how many to-dos move, and the two flows.
//
// prepareMerge() reads from Things 3, in one program, the to-dos of the source (every status) with
// their tag names text, and works out each to-do's new text; nothing is written. The read finds the
// two tags by name and reports their identifiers and the source's children: they must be the stored
// tags. A to-do whose text cannot be split back into names (a tag name with a comma in it) stops the
// merge there, with a message. Otherwise the confirmation is shown. merge() then reads once more and
// gives every to-do its new text in the same job, refusing when Things 3 no longer answers what the
// confirmation showed; it moves the source's children under the destination and deletes the source,
// each found in Things 3 as every change finds its tag. Each step reaches the store once Things 3
// accepted it, and the destination's record is read again at the end for its count of open to-dos. A
// failure stops the flow where it happened and shows its text; running the merge again picks up from
// there.
//
// A flow outlives this object when the dialog is closed while Things 3 answers: Things 3 and the
// store still get the whole merge; `this` is touched only while it exists.
class TagMerger final : public QObject {
    Q_OBJECT

public:
    // What a finished merge did.
    struct Outcome {
        qsizetype todosMoved = 0;
        qsizetype childrenMoved = 0;
    };

    // `source` is a stored record. The store, the preferences and the worker must outlive every flow.
    TagMerger(TagStore& store, Preferences& preferences, ThingsWorker& worker, TagPtr source,
              QObject* parent = nullptr);

    const TagPtr& source() const { return m_source; }
    // "Merge “NAME” Into…"
    QString windowTitle() const;

    // ---- Destination ----

    // Every stored tag except the source and the tags below it, ascending by name.
    QList<TagPtr> destinationChoices() const;
    const std::optional<QString>& destinationId() const { return m_destinationId; }
    void setDestinationId(const std::optional<QString>& id);
    // The chosen destination while it is stored and may still be chosen; null otherwise.
    TagPtr destination() const;

    // ---- State ----

    bool isReading() const { return m_isReading; }
    bool isMerging() const { return m_isMerging; }
    bool isBusy() const { return m_isReading || m_isMerging; }
    // "Merge…": a destination is chosen, the source is still stored, nothing is under way.
    bool canMerge() const;

    const std::optional<QString>& errorMessage() const { return m_errorMessage; }
    void dismissError();

    // Set once merge() has finished every step.
    const std::optional<Outcome>& outcome() const { return m_outcome; }
    // What undoing the finished merge needs; the merge records it in the store's history unless
    // told not to (a redo keeps it itself).
    const std::optional<UndoHistory::Merge>& undoRecord() const { return m_undoRecord; }
    void setRecordsUndo(bool records) { m_recordsUndo = records; }

    // ---- Confirmation ----

    bool showsConfirmation() const { return m_showsConfirmation; }
    // `Merge "SOURCE" into "DESTINATION"?`
    QString confirmationTitle() const;
    // How many to-dos move (every status), how many child tags move, and that the source is deleted.
    QString confirmationMessage() const;
    qsizetype todosToMove() const { return m_changes.size(); }
    // The to-dos the confirmed merge rewrites, and how many child tags it moves.
    const QList<ThingsTodoTagNames>& plannedChanges() const { return m_changes; }
    qsizetype childrenToMove() const { return m_plannedChildren.size(); }
    void cancelMerge();

    // ---- Flows ----

    // "Merge…": the read program; shows the confirmation, or the reason the merge cannot be made.
    // Does nothing unless canMerge().
    QCoro::Task<> prepareMerge();
    // The confirmation's "Merge": everything else. Does nothing without a confirmation shown.
    QCoro::Task<> merge();

    // The message for to-dos whose tag names cannot be split back into names; NAME is the source.
    static QString unsplittableMessage(const QString& sourceName);
    static QString unreadableMessage(const QString& sourceName);

Q_SIGNALS:
    void changed();
    // merge() has finished every step.
    void merged();

private:
    void setError(std::optional<QString> message);
    std::optional<QString> planFrom(const ThingsMergeRead& read, const TagPtr& destination,
                                    const QList<TagPtr>& children);
    QList<TagPtr> storedChildren() const;

    TagStore& m_store;
    Preferences& m_preferences;
    ThingsWorker& m_worker;
    TagPtr m_source;

    std::optional<QString> m_destinationId;
    bool m_isReading = false;
    bool m_isMerging = false;
    std::optional<QString> m_errorMessage;
    std::optional<Outcome> m_outcome;
    std::optional<UndoHistory::Merge> m_undoRecord;
    bool m_recordsUndo = true;

    // What the confirmation stands for, worked out by prepareMerge().
    bool m_showsConfirmation = false;
    TagPtr m_plannedDestination;
    QList<ThingsTodoTagNames> m_changes;
    ThingsMergeRead m_confirmedRead; // what the read answered, for the check before the write
    QList<TagPtr> m_plannedChildren;
};

} // namespace orvalet
