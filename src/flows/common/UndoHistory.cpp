#include "UndoHistory.h"

#include "Clock.h"
#include "DisplayTexts.h"
#include "Preferences.h"
#include "ShortcutWrites.h"
#include "TagStore.h"
#include "TagWrites.h"
#include "ThingsWorker.h"

#include <algorithm>

namespace orvalet {

namespace {

// How many steps are kept; the oldest go first.
constexpr qsizetype maximumSteps = 100;

} // namespace

UndoHistory::UndoHistory(TagStore& store)
    : QObject(&store)
    , m_store(store) {
    setObjectName(QStringLiteral("undoHistory"));
}

UndoHistory& UndoHistory::forStore(TagStore& store) {
    if (auto* found =
            store.findChild<UndoHistory*>(QStringLiteral("undoHistory"), Qt::FindDirectChildrenOnly)) {
        return *found;
    }
    return *new UndoHistory(store);
}

void UndoHistory::push(Step step) {
    step.serial = ++m_lastSerial;
    m_undo.append(std::move(step));
    if (m_undo.size() > maximumSteps) {
        m_undo.removeFirst();
    }
    m_redo.clear();
    Q_EMIT changed();
}

void UndoHistory::recordRename(const Change& change, bool unsettled) {
    const bool renamed = change.nameBefore != change.nameAfter;
    const bool moved = change.parentBefore != change.parentAfter;
    push(Step{Step::Kind::change,
              renamed && moved ? QStringLiteral("Rename and Move")
              : renamed        ? QStringLiteral("Rename")
                               : QStringLiteral("Move"),
              {change},
              nullptr,
              nullptr,
              unsettled ? QStringList{change.id} : QStringList()});
}

// "Move" for one tag, "Move 3 Tags" for more.
void UndoHistory::recordChanges(const QString& verb, const QList<Change>& changes,
                                const QStringList& unsettledIds) {
    if (!changes.isEmpty()) {
        push(Step{Step::Kind::change,
                  changes.size() == 1 ? verb : verb % u' ' % QString::number(changes.size()) % u" Tags",
                  changes, nullptr, nullptr, unsettledIds});
    }
}

void UndoHistory::recordMoves(const QList<Change>& changes, const QStringList& unsettledIds) {
    recordChanges(QStringLiteral("Move"), changes, unsettledIds);
}

void UndoHistory::recordRenames(const QList<Change>& changes, const QStringList& unsettledIds) {
    recordChanges(QStringLiteral("Rename"), changes, unsettledIds);
}

void UndoHistory::recordCreation(const QString& id, const QString& name,
                                 const std::optional<QString>& parentId) {
    push(Step{Step::Kind::creation,
              QStringLiteral("New Tag"),
              {Change{id, {}, name, {}, parentId}},
              nullptr,
              nullptr});
}

void UndoHistory::recordShortcuts(const QString& label, const QList<Change>& changes,
                                  const QStringList& unsettledIds) {
    if (!changes.isEmpty()) {
        push(Step{Step::Kind::change, label, changes, nullptr, nullptr, unsettledIds});
    }
}

QString UndoHistory::undoText() const {
    return m_undo.isEmpty() ? QStringLiteral("Undo") : QStringLiteral("Undo ") + m_undo.last().label;
}

QString UndoHistory::redoText() const {
    return m_redo.isEmpty() ? QStringLiteral("Redo") : QStringLiteral("Redo ") + m_redo.last().label;
}

QCoro::Task<> UndoHistory::undo(ThingsWorker& worker, Preferences& preferences) {
    return apply(true, worker, preferences);
}

QCoro::Task<> UndoHistory::redo(ThingsWorker& worker, Preferences& preferences) {
    return apply(false, worker, preferences);
}

// The history lives as long as its store, which outlives every flow: `this` stays valid here.
QCoro::Task<> UndoHistory::apply(bool undoing, ThingsWorker& worker, Preferences& preferences) {
    QList<Step>& from = undoing ? m_undo : m_redo;
    if (m_busy || from.isEmpty()) {
        co_return;
    }
    Step step = from.takeLast();
    m_busy = true;
    Q_EMIT changed();
    const bool byId = TagWrites::byId(preferences);
    Outcome outcome;
    // A pending change is settled first: only what Things 3 made is undone.
    std::optional<QString> unknown;
    if (isPending(step))
        unknown = co_await settleStep(step, worker, nullptr);
    if (unknown) {
        outcome.failed = *unknown;
        from.append(std::move(step));
    } else if (isEmpty(step)) {
        outcome.dropped = QStringLiteral("Things 3 had not made this change, so there is nothing to ") +
                          (undoing ? QStringLiteral("undo.") : QStringLiteral("redo."));
    } else if (step.kind == Step::Kind::change) {
        outcome = co_await applyChanges(std::move(step), undoing, worker, byId);
    } else if (step.kind == Step::Kind::deletion && undoing) {
        // (GCC 12 resumes the wrong branch of a conditional holding two co_awaits: if-else only.)
        outcome = co_await restoreDeleted(std::move(step), worker);
    } else if (step.kind == Step::Kind::deletion) {
        outcome = co_await deleteAgain(std::move(step), worker, byId);
    } else if (step.kind == Step::Kind::merge && undoing) {
        outcome = co_await unmerge(std::move(step), worker, byId);
    } else if (step.kind == Step::Kind::merge) {
        outcome = co_await mergeAgain(std::move(step), worker, preferences);
    } else if (undoing) {
        outcome = co_await deleteCreated(std::move(step), worker, byId);
    } else {
        outcome = co_await makeAgain(std::move(step), worker, byId);
    }
    m_busy = false;
    Q_EMIT changed();
    if (outcome.dropped || outcome.failed) {
        Q_EMIT problem(outcome.dropped ? *outcome.dropped : *outcome.failed);
    }
}

// Each tag goes from one state to the other; the store must still show the state it leaves.
QCoro::Task<UndoHistory::Outcome> UndoHistory::applyChanges(Step step, bool undoing, ThingsWorker& worker,
                                                            bool byId) {
    if (!step.changes.isEmpty() && step.changes.first().shortcut) {
        co_return co_await applyShortcuts(std::move(step), undoing, worker, byId);
    }
    Outcome outcome;
    QList<Change> done;
    // By identifier, a hundred changes go to Things 3 in one program, each checked against the store
    // first; the outcome is what a program a change would give.
    const qsizetype groupSize = byId ? ThingsService::maximumGroupSize : 1;
    while (done.size() < step.changes.size() && !outcome.dropped && !outcome.failed) {
        QList<TagPtr> tags;
        QList<ThingsTagChange> writes;
        for (qsizetype i = done.size(); i < step.changes.size() && writes.size() < groupSize; ++i) {
            const Change& change = step.changes[i];
            const QString& fromName = undoing ? change.nameAfter : change.nameBefore;
            const std::optional<QString>& fromParent = undoing ? change.parentAfter : change.parentBefore;
            const std::optional<QString>& toParent = undoing ? change.parentBefore : change.parentAfter;
            const TagPtr tag = m_store.tag(change.id);
            const std::optional<ThingsTagChange> write =
                tag ? TagWrites::change(m_store, *tag, undoing ? change.nameBefore : change.nameAfter,
                                        toParent)
                    : std::nullopt;
            if (!write || tag->name() != fromName || tag->parentTagId() != fromParent ||
                (toParent && !m_store.tag(*toParent))) {
                outcome.dropped = DisplayTexts::quotedName(fromName) +
                                  QStringLiteral(" changed since; this step can no longer be ") +
                                  (undoing ? QStringLiteral("undone.") : QStringLiteral("redone."));
                break;
            }
            tags.append(tag);
            writes.append(*write);
        }
        if (writes.isEmpty()) {
            break;
        }
        const auto sent = co_await worker.run(&ThingsService::changeTags, writes, byId);
        const ThingsChangesOutcome changed = sent ? sent.value() : ThingsChangesOutcome{{}, sent.error()};
        for (qsizetype i = 0; i < changed.states.size(); ++i) {
            TagWrites::follow(*tags[i], changed.states[i]);
            done.append(step.changes[done.size()]);
        }
        if (changed.failure) {
            TagWrites::followAfterFailure(*tags[changed.states.size()], *changed.failure);
            outcome.failed = changed.failure->errorDescription();
            outcome.dropped.reset(); // a change before the one that no longer fits failed first
        }
    }
    QList<Step>& from = undoing ? m_undo : m_redo;
    QList<Step>& to = undoing ? m_redo : m_undo;
    if (outcome.failed) {
        // What went through is no longer part of the step: the rest stays to try again.
        if (!done.isEmpty()) {
            to.append(Step{step.kind, step.label, done, nullptr, nullptr});
        }
        step.changes = step.changes.mid(done.size());
        from.append(std::move(step));
    } else if (!outcome.dropped) {
        to.append(std::move(step));
    }
    co_return outcome;
}

// Each tag's shortcut goes from one key to the other, undone last first, so that a key given away
// by one tag to another goes back before the first tag takes it again. The store must still show
// the key each tag leaves.
QCoro::Task<UndoHistory::Outcome> UndoHistory::applyShortcuts(Step step, bool undoing, ThingsWorker& worker,
                                                              bool byId) {
    Outcome outcome;
    QList<Change> order = step.changes;
    if (undoing) {
        std::reverse(order.begin(), order.end());
    }
    QList<ShortcutWrites::Write> writes;
    for (const Change& change : std::as_const(order)) {
        const QString& from = undoing ? change.shortcut->second : change.shortcut->first;
        const TagPtr tag = m_store.tag(change.id);
        if (!tag || tag->shortcutKey() != from) {
            outcome.dropped = DisplayTexts::quotedName(tag ? tag->name() : change.nameAfter) +
                              QStringLiteral(" changed since; this step can no longer be ") +
                              (undoing ? QStringLiteral("undone.") : QStringLiteral("redone."));
            co_return outcome;
        }
        writes.append(ShortcutWrites::Write{tag, undoing ? change.shortcut->first : change.shortcut->second});
    }
    // A key Things 3 refuses stays in the step to try again; the keys behind it still go back.
    const ThingsShortcutsOutcome sent = co_await ShortcutWrites::send(worker, byId, writes, true);
    QList<Step>& from = undoing ? m_undo : m_redo;
    QList<Step>& to = undoing ? m_redo : m_undo;
    QList<Change> done, rest;
    std::optional<ThingsError> failure = sent.failure;
    for (qsizetype i = 0; i < order.size(); ++i) {
        const bool through = i < sent.tried.size() && sent.tried[i].keyBefore;
        (through ? done : rest).append(order[i]);
        if (i < sent.tried.size() && sent.tried[i].refusal && !failure) {
            failure = sent.tried[i].refusal;
        }
    }
    if (failure) {
        outcome.failed = failure->errorDescription();
        // What went through is no longer part of the step: the rest stays to try again.
        if (undoing) {
            std::reverse(done.begin(), done.end());
            std::reverse(rest.begin(), rest.end());
        }
        if (!done.isEmpty()) {
            to.append(Step{step.kind, step.label, done, nullptr, nullptr});
        }
        step.changes = rest;
        from.append(std::move(step));
    } else {
        to.append(std::move(step));
    }
    co_return outcome;
}

// Deleting a created tag again: only while nothing hangs on it, its count read from Things 3 (the
// stored one may be stale).
QCoro::Task<UndoHistory::Outcome> UndoHistory::deleteCreated(Step step, ThingsWorker& worker, bool byId) {
    Outcome outcome;
    const Change& created = step.changes.first();
    const TagPtr tag = m_store.tag(created.id);
    const QList<TagPtr> all = m_store.allTagsUnordered();
    const bool hasChildren = std::any_of(all.begin(), all.end(), [&created](const TagPtr& other) {
        return other->parentTagId() == created.id;
    });
    std::optional<ThingsResult<std::optional<ThingsTagRecord>>> fresh;
    if (tag && !hasChildren) {
        fresh = co_await worker.run(&ThingsService::fetchTag, created.id, byId);
    }
    if (fresh && !*fresh) {
        outcome.failed = fresh->error().errorDescription();
    } else if (!fresh || !fresh->value() || fresh->value()->todosCount > 0) {
        outcome.dropped = DisplayTexts::quotedName(created.nameAfter) +
                          QStringLiteral(" has to-dos or child tags now, or is gone; it is not deleted.");
    } else {
        const auto deleted = co_await worker.run(&ThingsService::deleteTag, TagWrites::refOf(*tag), byId);
        if (deleted) {
            m_store.remove(tag);
        } else {
            outcome.failed = deleted.error().errorDescription();
        }
    }
    if (!outcome.dropped) {
        (outcome.failed ? m_undo : m_redo).append(std::move(step));
    }
    co_return outcome;
}

// Made again under its parent; it gets a new identifier, which the whole history adopts. Things 3
// gives back a tag it already has when asked to make one of the same name, which the next undo would
// then delete with all it holds: the name is looked up first, as the creation sheet does, and a name
// Things 3 has refuses the step.
QCoro::Task<UndoHistory::Outcome> UndoHistory::makeAgain(Step step, ThingsWorker& worker, bool byId) {
    Outcome outcome;
    const Change created = step.changes.first();
    const TagPtr parent = created.parentAfter ? m_store.tag(*created.parentAfter) : nullptr;
    if (m_store.tag(created.id) || (created.parentAfter && !parent)) {
        outcome.dropped =
            DisplayTexts::quotedName(created.nameAfter) + QStringLiteral(" cannot be made again.");
        co_return outcome;
    }
    const auto found = co_await worker.run(&ThingsService::fetchTagByName, created.nameAfter);
    if (found && found.value()) {
        outcome.dropped = DisplayTexts::quotedName(created.nameAfter) +
                          QStringLiteral(" is in Things 3 already; it is not made again.");
        co_return outcome;
    }
    if (!found) {
        outcome.failed = found.error().errorDescription();
        m_redo.append(std::move(step));
        co_return outcome;
    }
    const std::optional<ThingsTagRef> parentRef =
        parent ? std::optional(TagWrites::refOf(*parent)) : std::nullopt;
    const auto made = co_await worker.run(&ThingsService::createTag, created.nameAfter, parentRef, byId);
    if (!made) {
        outcome.failed = made.error().errorDescription();
        m_redo.append(std::move(step));
        co_return outcome;
    }
    m_store.insert(Tag(made.value(), created.nameAfter, created.parentAfter))->setShortcut(QString());
    m_undo.append(std::move(step));
    adoptIdentifier(created.id, made.value());
    co_return outcome;
}

void UndoHistory::adoptIdentifier(const QString& old, const QString& made, Step* current) {
    const auto adopt = [&old, &made](auto& id) {
        if (id == old) {
            id = made;
        }
    };
    QList<Merge> noMerges;
    QList<Step> inFlight;
    if (current) {
        inFlight.append(std::move(*current));
    }
    for (QList<Step>* steps : {&m_undo, &m_redo, &inFlight}) {
        for (Step& step : *steps) {
            if (step.deletion) {
                for (ThingsTreeRead::Tag& tag : step.deletion->trees.tags) {
                    adopt(tag.id);
                    adopt(tag.parentId);
                }
            }
            for (Merge& merge : step.merges ? *step.merges : noMerges) {
                adopt(merge.sourceId);
                adopt(merge.sourceParentId);
                adopt(merge.destinationId);
                for (QString& child : merge.childIds) {
                    adopt(child);
                }
            }
            for (Change& change : step.changes) {
                for (std::optional<QString>* id : {&change.parentBefore, &change.parentAfter}) {
                    if (*id == old) {
                        *id = made;
                    }
                }
                if (change.id == old) {
                    change.id = made;
                }
            }
        }
    }
    if (current) {
        *current = std::move(inFlight.first());
    }
}

} // namespace orvalet
