#pragma once

#include "ThingsTagChange.h"
#include "UndoHistory.h"

#include <QCoroTask>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace orvalet {

class TagStore;
class ThingsWorker;

// A run of renames and moves of stored tags, sent to Things 3 in order: by identifier a hundred to a
// program, otherwise a program a tag. It stops at the first failure; the store takes what Things 3
// answered for every tag it changed. The batch editor's move and the renaming of many tags both run
// here, so they report, store and undo alike.
namespace ChangeRun {

struct Item {
    QString name; // the tag's name as the run began: what the result names it by
    // None when the change cannot be named to Things 3 (a chosen parent left the store): the run
    // stops there with `unsendableReason`.
    std::optional<ThingsTagChange> change;
    bool needed = true; // false: the tag has what the run gives it already; nothing is sent
};

struct Outcome {
    QStringList done; // the names of the items done (or not needed), in order
    // The undo step: the changes Things 3 made, and those sent without learning whether it did.
    QList<UndoHistory::Change> changes;
    QStringList unsettledIds;
    // The item the run stopped at and why, and the names of those never tried after it.
    std::optional<QString> failedName;
    QString reason;
    QStringList notAttempted;
};

// Lets the event loop run once before a run goes on, so that a store change is applied in a turn of
// its own and the interface keeps drawing between the programs of a long run.
QCoro::Task<> nextTurn();

// `verb` says what the run does to a tag ("moved", "renamed") in the message of a lost answer.
QCoro::Task<Outcome> send(TagStore& store, ThingsWorker& worker, bool byId, QList<Item> items,
                          QString unsendableReason, QString verb);

} // namespace ChangeRun
} // namespace orvalet
