#include "ChangeRun.h"

#include "DisplayTexts.h"
#include "TagStore.h"
#include "TagWrites.h"
#include "ThingsWorker.h"

#include <QCoroTimer>
#include <QStringBuilder>
#include <chrono>

namespace orvalet::ChangeRun {

QCoro::Task<> nextTurn() {
    co_await QCoro::sleepFor(std::chrono::milliseconds(0));
}

namespace {

// The step's record of a change Things 3 made: a change that does not rename keeps the name Things 3
// has on both sides.
UndoHistory::Change madeChange(const ThingsTagChange& change, const QString& nameNow) {
    const bool renames = change.newName != change.tag.name;
    return UndoHistory::Change{change.tag.id, renames ? change.tag.name : nameNow, nameNow, change.parentId,
                               change.newParentId};
}

} // namespace

QCoro::Task<Outcome> send(TagStore& store, ThingsWorker& worker, bool byId, QList<Item> items,
                          QString unsendableReason, QString verb) {
    Outcome run;
    qsizetype unknownEnd = 0; // after a failure, the first item known not to have been tried
    // By identifier, the changes go to Things 3 a hundred to a program; the run reports and stores
    // exactly what it would with a program each, tag by tag, in order.
    const qsizetype groupSize = byId ? ThingsService::maximumGroupSize : 1;
    qsizetype next = 0; // after a failure, the item that failed
    while (next < items.size() && !run.failedName) {
        if (items[next].needed && !items[next].change) {
            run.failedName = items[next].name;
            run.reason = unsendableReason;
            break;
        }
        QList<ThingsTagChange> changes;
        qsizetype end = next;
        for (; end < items.size() && changes.size() < groupSize; ++end) {
            if (items[end].needed && !items[end].change) {
                break;
            }
            if (items[end].needed) {
                changes.append(*items[end].change);
            }
        }
        ThingsChangesOutcome outcome;
        if (!changes.isEmpty()) {
            const auto sent = co_await worker.run(&ThingsService::changeTags, changes, byId);
            outcome = sent ? sent.value() : ThingsChangesOutcome{{}, sent.error()};
            co_await nextTurn();
        }
        for (qsizetype done = 0; next < end; ++next) {
            const Item& item = items[next];
            if (!item.needed) {
                run.done.append(item.name);
                continue;
            }
            const ThingsTagChange& change = *item.change;
            const TagPtr stored = store.tag(change.tag.id);
            if (done == outcome.states.size()) {
                if (stored) {
                    TagWrites::followAfterFailure(*stored, *outcome.failure);
                }
                // Sent without an answer Things 3 could be asked about: these changes wait in the
                // step, their tags marked, until it says.
                qsizetype unknown = 0;
                for (qsizetype i = next; i < end && unknown < outcome.unsettled; ++i) {
                    if (!items[i].needed) {
                        continue;
                    }
                    const ThingsTagChange& lost = *items[i].change;
                    ++unknown;
                    run.unsettledIds.append(lost.tag.id);
                    run.changes.append(UndoHistory::Change{lost.tag.id, lost.tag.name, lost.newName,
                                                           lost.parentId, lost.newParentId});
                }
                const QString quoted = DisplayTexts::quotedName(item.name);
                run.reason = unknown == 0 ? outcome.failure->errorDescription()
                             : unknown == 1
                                 ? outcome.failure->unconfirmed(quoted % u" was " % verb)
                                 : outcome.failure->unconfirmed(
                                       quoted % u" and " %
                                       DisplayTexts::countOf(unknown - 1, QStringLiteral("other tag"),
                                                             QStringLiteral("other tags")) %
                                       u" were " % verb);
                unknownEnd = unknown == 0 ? next + 1 : end;
                run.failedName = item.name;
                break;
            }
            run.done.append(item.name);
            if (stored) {
                TagWrites::follow(*stored, outcome.states[done]);
                run.changes.append(madeChange(change, stored->name()));
            }
            ++done;
        }
    }
    // The items after the one that failed were never tried: the result names them too.
    if (run.failedName) {
        for (qsizetype i = std::max(next + 1, unknownEnd); i < items.size(); ++i) {
            run.notAttempted.append(items[i].name);
        }
    }
    co_return run;
}

} // namespace orvalet::ChangeRun
