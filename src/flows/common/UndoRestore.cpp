// Undo and redo of deletions and merges: trees made again from what Things 3 held before they went,
// and to-dos given back the tags they carried.

#include "Clock.h"
#include "DisplayTexts.h"
#include "TagMerger.h"
#include "TagStore.h"
#include "TagTree.h"
#include "TagWrites.h"
#include "ThingsWorker.h"
#include "UndoHistory.h"

#include <QCoroSignal>
#include <QStringBuilder>

namespace orvalet {

using DisplayTexts::countOf;
using DisplayTexts::quotedName;

namespace {

// What became of the to-dos, after "Restored …".
QString skippedTodos(const ThingsTodoRestoreCount& count) {
    QString text;
    if (count.gone > 0)
        text += u" " % countOf(count.gone, u"to-do"_qs, u"to-dos"_qs) %
                (count.gone == 1 ? u" is"_qs : u" are"_qs) % u" no longer in Things 3 and " %
                (count.gone == 1 ? u"was"_qs : u"were"_qs) % u" skipped.";
    if (count.changed > 0)
        text += u" " % countOf(count.changed, u"to-do"_qs, u"to-dos"_qs) % u" changed since and " %
                (count.changed == 1 ? u"was"_qs : u"were"_qs) % u" left as " %
                (count.changed == 1 ? u"it is."_qs : u"they are."_qs);
    if (count.unwritable > 0)
        text += u" " % countOf(count.unwritable, u"to-do"_qs, u"to-dos"_qs) %
                (count.unwritable == 1 ? u" now carries"_qs : u" now carry"_qs) %
                u" a tag whose name holds a comma or begins or ends with a space, and kept the tags " %
                (count.unwritable == 1 ? u"it has."_qs : u"they have."_qs);
    return text;
}

// Why trees read cannot be kept for undo; nothing when they can.
std::optional<QString> untravelled(const std::optional<ThingsTreeRead>& read) {
    if (!read)
        return u"Orvalet could not read these tags and their to-dos from Things 3 safely to keep for Undo."_qs;
    // A name goes through a to-do's tag names only when a to-do carries the tag.
    for (const ThingsTreeRead::Tag& tag : read->tags) {
        if (!tag.todoIds.isEmpty() && !ThingsService::travelsInTagNames(tag.name))
            return quotedName(tag.name) %
                   u" could not be given back to its to-dos by Undo: its name holds a comma or begins or "
                   u"ends "
                   u"with a space, and Things 3 lists a to-do\u2019s tags as names separated by commas.";
    }
    for (const ThingsTreeRead::Todo& todo : read->todos) {
        if (read->todosWithCommaTags.contains(todo.id) || !ThingsService::splitTagNames(todo.tagNames))
            return u"Some to-dos of these tags also carry a tag whose name holds a comma or begins or ends "
                   u"with "
                   u"a space. Things 3 lists a to-do\u2019s tags as names separated by commas, so Undo could "
                   u"not "
                   u"give them their tags back."_qs;
    }
    return std::nullopt;
}

// " on 3 to-dos", or nothing when no to-do got a tag back.
QString onTodos(const ThingsTodoRestoreCount& count) {
    return count.restored == 0 ? QString() : u" on " % countOf(count.restored, u"to-do"_qs, u"to-dos"_qs);
}

QString notMadeAgain(const QList<ThingsTagToMake>& tags, const ThingsMadeTags& made) {
    QStringList names;
    for (const qsizetype index : made.takenIndexes)
        names.append(quotedName(tags[index].name));
    return names.join(u", ") % (names.size() == 1 ? u" is"_qs : u" are"_qs) %
           u" in Things 3 already, so nothing was restored. Rename or delete " %
           (names.size() == 1 ? u"it"_qs : u"them"_qs) % u" there, then undo once more.";
}

} // namespace

namespace {

const QString undoableSentence = QStringLiteral("You can undo this with Edit \u25B8 Undo.");
const QString permanentSentence = QStringLiteral("This action cannot be undone!");

} // namespace

QString UndoHistory::undoable(const QString& permanent) {
    return QString(permanent)
        .replace(permanentSentence, undoableSentence)
        .replace(QStringLiteral("This cannot be undone."), undoableSentence);
}

QString UndoHistory::deletionMessage(const DeletionRead& read, const QStringList& chosenIds,
                                     const QString& permanentMessage, const QString& question) {
    if (!read.undo) {
        return read.withoutUndo.value_or(QString()) % u"\n\n" % permanentMessage;
    }
    const ThingsTreeRead& trees = read.undo->trees;
    const QSet<QString> chosen(chosenIds.cbegin(), chosenIds.cend());
    std::optional<QString> onlyName;
    qsizetype children = 0;
    for (const ThingsTreeRead::Tag& tag : trees.tags) {
        if (!chosen.contains(tag.id)) {
            ++children;
        } else if (chosen.size() == 1) {
            onlyName = tag.name;
        }
    }
    const qsizetype all = chosen.size() + children;
    QString text = u"This deletes "_qs;
    text += onlyName ? quotedName(*onlyName) : countOf(chosen.size(), u"tag"_qs, u"tags"_qs);
    if (children > 0) {
        text += (chosen.size() == 1 ? u" and its "_qs : u" and their "_qs) %
                countOf(children, u"child tag"_qs, u"child tags"_qs);
    }
    text += u" from this app AND Things 3"_qs;
    if (!trees.todos.isEmpty()) {
        text += u" and takes " % (all == 1 ? u"it"_qs : u"them"_qs) % u" off " %
                countOf(trees.todos.size(), u"to-do"_qs, u"to-dos"_qs);
    }
    text += u'.';
    if (!question.isEmpty()) {
        text += u' ' % question;
    }
    return text % u' ' % undoableSentence;
}

namespace {

// The tags among `rootIds` that lie below another of them in the store: read with that one's tree.
QSet<QString> insideOthers(const TagStore& store, const QStringList& rootIds) {
    QHash<QString, QString> parentOf;
    for (const TagPtr& tag : store.allTagsUnordered())
        if (tag->parentTagId())
            parentOf.insert(tag->id(), *tag->parentTagId());
    const QSet<QString> roots(rootIds.cbegin(), rootIds.cend());
    QSet<QString> inside;
    for (const QString& id : rootIds) {
        QSet<QString> passed{id}; // a cycle in a stale store ends the walk
        for (auto parent = parentOf.constFind(id); parent != parentOf.cend() && !passed.contains(*parent);
             parent = parentOf.constFind(*parent)) {
            if (roots.contains(*parent)) {
                inside.insert(id);
                break;
            }
            passed.insert(*parent);
        }
    }
    return inside;
}

} // namespace

QCoro::Task<UndoHistory::DeletionRead> UndoHistory::readDeletion(ThingsWorker& worker, QStringList rootIds,
                                                                 bool withOpenCounts) {
    const auto read = co_await worker.run(&ThingsService::readTrees, rootIds, insideOthers(m_store, rootIds),
                                          withOpenCounts);
    // Things 3 not open, or not answering: the deletion would fail the same way, so it fails now.
    if (!read && read.error().isUnreachable())
        co_return DeletionRead{rootIds, std::nullopt, std::nullopt, read.error()};
    if (!read) {
        co_return DeletionRead{
            rootIds, std::nullopt,
            u"Orvalet could not read these tags and their to-dos from Things 3 to keep for Undo: " %
                read.error().errorDescription()};
    }
    if (std::optional<QString> reason = untravelled(read.value()))
        co_return DeletionRead{rootIds, std::nullopt, std::move(reason)};
    co_return DeletionRead{rootIds, Deletion{*read.value(), 0, {}}, std::nullopt};
}

QCoro::Task<UndoHistory::DeletionPlan> UndoHistory::prepareDeletion(ThingsWorker& worker, QStringList rootIds,
                                                                    QString permanentMessage,
                                                                    bool withOpenCounts,
                                                                    std::optional<DeletionRead> confirmed) {
    // The user has seen what this read found, and said yes to it.
    if (confirmed && confirmed->rootIds == rootIds && !confirmed->failure)
        co_return DeletionPlan{true, std::move(confirmed->undo)};
    const DeletionRead read = co_await readDeletion(worker, rootIds, withOpenCounts);
    if (read.failure)
        co_return DeletionPlan{false, std::nullopt, read.failure};
    if (read.undo)
        co_return DeletionPlan{true, read.undo};
    const int asked = ++m_lastQuestion;
    Q_EMIT question(asked, QStringLiteral("Delete Without Undo?"),
                    read.withoutUndo.value_or(QString()) % u"\n\n" % permanentMessage);
    while (!m_answers.contains(asked))
        co_await qCoro(this, &UndoHistory::answered);
    co_return DeletionPlan{m_answers.take(asked), std::nullopt};
}

void UndoHistory::answerQuestion(int asked, bool confirmed) {
    if (asked > 0 && asked <= m_lastQuestion && !m_answers.contains(asked)) {
        m_answers.insert(asked, confirmed);
        Q_EMIT answered(asked, confirmed);
    }
}

void UndoHistory::recordDeletion(const Deletion& read, const QStringList& deletedIds,
                                 const QStringList& unsettledIds) {
    if (std::optional<Step> step = deletionStep(read, deletedIds, unsettledIds))
        push(std::move(*step));
}

std::optional<UndoHistory::Step> UndoHistory::deletionStep(const Deletion& read,
                                                           const QStringList& deletedIds,
                                                           const QStringList& unsettledIds) {
    // The trees of the deleted tags, and of those whose deletion is not known: each tag comes after
    // its parent.
    Deletion deletion;
    deletion.unsettled = unsettledIds;
    const QStringList tops = deletedIds + unsettledIds;
    QSet<QString> kept(tops.begin(), tops.end());
    QSet<QString> todos;
    QStringList roots;
    for (const ThingsTreeRead::Tag& tag : read.trees.tags) {
        const bool root = tops.contains(tag.id);
        if (!root && !(tag.parentId && kept.contains(*tag.parentId)))
            continue;
        kept.insert(tag.id);
        if (root && !(tag.parentId && kept.contains(*tag.parentId)))
            roots.append(tag.name);
        deletion.trees.tags.append(tag);
        todos.unite(QSet<QString>(tag.todoIds.begin(), tag.todoIds.end()));
    }
    for (const ThingsTreeRead::Todo& todo : read.trees.todos)
        if (todos.contains(todo.id))
            deletion.trees.todos.append(todo);
    if (deletion.trees.tags.isEmpty())
        return std::nullopt;
    const QString label = roots.size() == 1 ? QString(u"Delete " % quotedName(roots.first()))
                                            : QString(u"Delete " % QString::number(roots.size()) % u" Tags");
    return Step{Step::Kind::deletion, label, {}, std::make_shared<Deletion>(std::move(deletion)), nullptr};
}

UndoHistory::Step UndoHistory::mergeStep(QList<Merge> merges) {
    const QString label = merges.size() == 1
                              ? QString(u"Merge " % quotedName(merges.first().sourceName))
                              : QString(u"Merge " % QString::number(merges.size() + 1) % u" Tags");
    return Step{Step::Kind::merge, label, {}, nullptr, std::make_shared<QList<Merge>>(std::move(merges))};
}

void UndoHistory::recordMerge(Merge merge) {
    push(mergeStep({std::move(merge)}));
}

void UndoHistory::recordMerges(QList<Merge> merges) {
    if (!merges.isEmpty())
        push(mergeStep(std::move(merges)));
}

QString UndoHistory::storeMade(const QList<ThingsTagToMake>& made, const QStringList& oldIds,
                               const ThingsMadeTags& answer, Step& current) {
    const QStringList& newIds = answer.madeIds;
    for (qsizetype i = 0; i < newIds.size(); ++i)
        adoptIdentifier(oldIds[i], newIds[i], &current);
    for (qsizetype i = 0; i < newIds.size(); ++i) {
        const std::optional<QString> parent =
            made[i].parentIndex >= 0 ? std::optional(newIds[made[i].parentIndex]) : made[i].parentId;
        const bool keyless = answer.keylessIndexes.contains(i);
        m_store.insert(Tag(newIds[i], made[i].name, parent, Clock::now(), Clock::now(), 0))
            ->setShortcut(keyless ? QString() : made[i].shortcut);
    }
    // A key Things 3 will not set again is said, once the tag is back without it.
    QString notes;
    for (const qsizetype i : answer.keylessIndexes)
        notes += u" " % quotedName(made[i].name) % u" is back without its shortcut " %
                 quotedName(made[i].shortcut) % u", which Things 3 does not take.";
    return notes;
}

// Each made tag's count of open to-dos is Things 3's to tell; a failed read leaves them at none.
namespace {

QCoro::Task<> recount(TagStore& store, ThingsWorker& worker, QStringList ids) {
    const auto counts = co_await worker.run(&ThingsService::readOpenCounts, ids);
    for (qsizetype i = 0; counts && i < ids.size(); ++i) {
        if (const TagPtr tag = store.tag(ids[i]))
            tag->setTodosCount(counts.value()[i]);
    }
}

} // namespace

QCoro::Task<std::optional<QString>> UndoHistory::settle(Deletion& deletion, ThingsWorker& worker,
                                                        QStringList* notes) {
    if (deletion.unsettled.isEmpty())
        co_return std::nullopt;
    const QStringList asked = deletion.unsettled;
    const auto now = co_await worker.run(&ThingsService::fetchTagsById, asked);
    if (!now)
        co_return now.error().errorDescription();
    // A tree Things 3 still has was not deleted: it leaves the step, its tags with it.
    QSet<QString> present;
    for (qsizetype i = 0; i < asked.size(); ++i) {
        if (now.value()[i])
            present.insert(asked[i]);
    }
    for (const ThingsTreeRead::Tag& tag : std::as_const(deletion.trees.tags)) {
        if (notes && asked.contains(tag.id))
            notes->append(quotedName(tag.name) %
                          (present.contains(tag.id) ? u" was not deleted." : u" was deleted."));
    }
    QList<ThingsTreeRead::Tag>& tags = deletion.trees.tags;
    QSet<QString> left, todos;
    QList<ThingsTreeRead::Tag> kept;
    for (const ThingsTreeRead::Tag& tag : std::as_const(tags)) {
        if (present.contains(tag.id) || (tag.parentId && left.contains(*tag.parentId))) {
            left.insert(tag.id);
            continue;
        }
        kept.append(tag);
        todos.unite(QSet<QString>(tag.todoIds.begin(), tag.todoIds.end()));
        // One Things 3 no longer has that the store still shows (reported not deleted) leaves the store.
        if (const TagPtr stored = m_store.tag(tag.id))
            m_store.remove(stored);
    }
    deletion.trees.todos.removeIf(
        [&todos](const ThingsTreeRead::Todo& todo) { return !todos.contains(todo.id); });
    tags = kept;
    deletion.unsettled.clear();
    co_return std::nullopt;
}

QCoro::Task<UndoHistory::Outcome> UndoHistory::restoreDeleted(Step step, ThingsWorker& worker) {
    Outcome outcome;
    Deletion& deletion = *step.deletion;
    if (const std::optional<QString> unknown = co_await settle(deletion, worker)) {
        outcome.failed = *unknown;
        m_undo.append(std::move(step));
        co_return outcome;
    }
    QList<ThingsTreeRead::Tag>& tags = deletion.trees.tags;
    // What is left to make, parents first: a parent made in the same program, or one Things 3 has
    // (the top of a tree goes back under its parent while this app still knows that parent).
    QList<ThingsTagToMake> toMake;
    QStringList oldIds;
    QHash<QString, qsizetype> position;
    QString keyNotes;
    for (qsizetype i = deletion.made; i < tags.size(); ++i) {
        ThingsTagToMake tag{tags[i].name, std::nullopt, -1, tags[i].shortcut};
        if (tags[i].parentId && position.contains(*tags[i].parentId))
            tag.parentIndex = position.value(*tags[i].parentId);
        else if (tags[i].parentId && m_store.tag(*tags[i].parentId))
            tag.parentId = tags[i].parentId;
        position.insert(tags[i].id, toMake.size());
        toMake.append(tag);
        oldIds.append(tags[i].id);
    }
    if (!toMake.isEmpty()) {
        const auto made = co_await worker.run(&ThingsService::makeTagsAgain, toMake);
        if (!made || !made.value().takenIndexes.isEmpty()) {
            outcome.failed = made ? notMadeAgain(toMake, made.value()) : made.error().errorDescription();
            m_undo.append(std::move(step));
            co_return outcome;
        }
        keyNotes = storeMade(toMake, oldIds, made.value(), step);
        deletion.made += made.value().madeIds.size();
        if (made.value().failure) {
            outcome.failed = made.value().failure->errorDescription();
            m_undo.append(std::move(step));
            co_return outcome;
        }
    }
    // Every to-do gets back the names of the tags it carried, in the order the trees were read.
    QHash<QString, QStringList> carried;
    for (const ThingsTreeRead::Tag& tag : std::as_const(tags))
        for (const QString& todo : tag.todoIds)
            carried[todo].append(tag.name);
    QList<ThingsTodoRestore> todos;
    for (const ThingsTreeRead::Todo& todo : std::as_const(deletion.trees.todos))
        todos.append({todo.id, todo.tagNames, carried.value(todo.id), std::nullopt});
    const auto restored = co_await worker.run(&ThingsService::restoreTodoTags, todos);
    if (!restored) {
        outcome.failed = restored.error().errorDescription();
        m_undo.append(std::move(step));
        co_return outcome;
    }
    QStringList ids;
    for (const ThingsTreeRead::Tag& tag : std::as_const(tags))
        ids.append(tag.id);
    co_await recount(m_store, worker, ids);
    Q_EMIT report(u"Restored " % countOf(tags.size(), u"tag"_qs, u"tags"_qs) % onTodos(restored.value()) %
                  u"." % skippedTodos(restored.value()) % keyNotes);
    m_redo.append(std::move(step));
    co_return outcome;
}

// The deletion once more, as the first time: the trees are read again for the next undo first.
QCoro::Task<UndoHistory::Outcome> UndoHistory::deleteAgain(Step step, ThingsWorker& worker, bool byId) {
    Outcome outcome;
    QSet<QString> inTrees;
    QList<TagPtr> roots;
    QStringList ids;
    for (const ThingsTreeRead::Tag& tag : std::as_const(step.deletion->trees.tags)) {
        inTrees.insert(tag.id);
        if (tag.parentId && inTrees.contains(*tag.parentId))
            continue;
        const TagPtr stored = m_store.tag(tag.id);
        if (!stored || stored->name() != tag.name) {
            outcome.dropped = quotedName(tag.name) % u" changed since; this step can no longer be redone.";
            co_return outcome;
        }
        roots.append(stored);
        ids.append(stored->id());
    }
    const auto read = co_await worker.run(&ThingsService::readTrees, ids, QSet<QString>(), false);
    const std::optional<QString> refusal =
        !read ? std::optional(read.error().errorDescription()) : untravelled(read.value());
    if (refusal) {
        outcome.failed = *refusal;
        m_redo.append(std::move(step));
        co_return outcome;
    }
    const QList<TagPtr> all = m_store.allTags();
    QList<ThingsTagRef> refs;
    QList<QList<TagPtr>> descendants;
    for (const TagPtr& root : std::as_const(roots)) {
        refs.append(TagWrites::refOf(*root));
        descendants.append(TagTree::descendantsInDeletionOrder(*root, all));
    }
    const std::optional<ThingsTreeRead> asRead = *read.value();
    const auto deleted = co_await worker.run(&ThingsService::deleteTags, refs, byId, asRead);
    const ThingsGroupOutcome done = deleted ? deleted.value() : ThingsGroupOutcome{0, deleted.error()};
    QStringList deletedIds, unsettledIds;
    for (qsizetype i = done.done; done.unsettled && i < ids.size(); ++i)
        unsettledIds.append(ids[i]);
    for (qsizetype i = 0; i < done.done; ++i) {
        for (const TagPtr& descendant : std::as_const(descendants[i]))
            m_store.remove(descendant);
        m_store.remove(roots[i]);
        deletedIds.append(ids[i]);
    }
    // What was deleted can be undone; a tag Things 3 refused stays, and the rest is left to the user.
    if (done.failure)
        outcome.failed = done.failure->errorDescription();
    if (std::optional<Step> again = deletionStep(Deletion{*read.value(), 0, {}}, deletedIds, unsettledIds))
        m_undo.append(std::move(*again));
    co_return outcome;
}

// The merges are taken out the last one first, each while the store still shows it; one that fails
// stops the rest. What was taken out can be redone, what was not stays to undo.
QCoro::Task<UndoHistory::Outcome> UndoHistory::unmerge(Step step, ThingsWorker& worker, bool byId) {
    Outcome outcome;
    QStringList reports;
    qsizetype left = step.merges->size();
    while (left > 0 && !outcome.dropped && !outcome.failed) {
        outcome = co_await unmergeOne((*step.merges)[left - 1], step, worker, byId, reports);
        if (!outcome.dropped && !outcome.failed)
            --left;
    }
    if (!reports.isEmpty())
        Q_EMIT report(reports.join(u' '));
    if (left < step.merges->size())
        m_redo.append(mergeStep(step.merges->mid(left)));
    if (left > 0 && outcome.failed)
        m_undo.append(mergeStep(step.merges->first(left)));
    co_return outcome;
}

QCoro::Task<UndoHistory::Outcome> UndoHistory::unmergeOne(Merge& merge, Step& current, ThingsWorker& worker,
                                                          bool byId, QStringList& reports) {
    Outcome outcome;
    const TagPtr destination = m_store.tag(merge.destinationId);
    if (!destination) {
        outcome.dropped = quotedName(merge.sourceName) % u" cannot be taken out again: the tag it was merged "
                                                         u"into is gone.";
        co_return outcome;
    }
    // The source is made again first (unless an undo that failed later made it already).
    QString keyNotes;
    if (!m_store.tag(merge.sourceId)) {
        const std::optional<QString> parent =
            merge.sourceParentId && m_store.tag(*merge.sourceParentId) ? merge.sourceParentId : std::nullopt;
        const QList<ThingsTagToMake> toMake{
            {merge.sourceName, parent, -1, merge.sourceShortcut.value_or(QString())}};
        const auto made = co_await worker.run(&ThingsService::makeTagsAgain, toMake);
        if (!made || !made.value().takenIndexes.isEmpty() || made.value().failure) {
            outcome.failed = !made                  ? made.error().errorDescription()
                             : made.value().failure ? made.value().failure->errorDescription()
                                                    : notMadeAgain(toMake, made.value());
            co_return outcome;
        }
        const QStringList oldIds{merge.sourceId};
        keyNotes = storeMade(toMake, oldIds, made.value(), current);
    }
    // Its children go back under it, those still under the destination.
    QList<TagPtr> children;
    QList<ThingsTagChange> moves;
    for (const QString& id : std::as_const(merge.childIds)) {
        const TagPtr child = m_store.tag(id);
        if (child && child->parentTagId() == merge.destinationId) {
            if (const auto move = TagWrites::change(m_store, *child, child->name(), merge.sourceId)) {
                children.append(child);
                moves.append(*move);
            }
        }
    }
    if (!moves.isEmpty()) {
        const auto moved = co_await worker.run(&ThingsService::changeTags, moves, byId);
        const ThingsChangesOutcome changed = moved ? moved.value() : ThingsChangesOutcome{{}, moved.error()};
        for (qsizetype i = 0; i < changed.states.size(); ++i)
            TagWrites::follow(*children[i], changed.states[i]);
        if (changed.failure) {
            TagWrites::followAfterFailure(*children[changed.states.size()], *changed.failure);
            outcome.failed = changed.failure->errorDescription();
            co_return outcome;
        }
    }
    // Each to-do gets its text back while it still has the one the merge gave it.
    QList<ThingsTodoRestore> todos;
    for (qsizetype i = 0; i < merge.before.size(); ++i)
        todos.append({merge.before[i].todoId, merge.before[i].tagNames, {}, merge.after[i].tagNames});
    const auto restored = co_await worker.run(&ThingsService::restoreTodoTags, todos);
    if (!restored) {
        outcome.failed = restored.error().errorDescription();
        co_return outcome;
    }
    const QStringList recounted{merge.sourceId, merge.destinationId};
    co_await recount(m_store, worker, recounted);
    reports.append(u"Restored " % quotedName(merge.sourceName) % onTodos(restored.value()) % u"." %
                   skippedTodos(restored.value()) % keyNotes);
    co_return outcome;
}

// The merges once more, in their order, with the checks of the first time: read, planned, written. One
// that fails stops the rest; those made can be undone again.
QCoro::Task<UndoHistory::Outcome> UndoHistory::mergeAgain(Step step, ThingsWorker& worker,
                                                          Preferences& preferences) {
    Outcome outcome;
    QList<Merge> made;
    qsizetype next = 0;
    for (; next < step.merges->size() && !outcome.dropped && !outcome.failed; ++next) {
        const Merge& merge = (*step.merges)[next];
        const TagPtr source = m_store.tag(merge.sourceId);
        if (!source || !m_store.tag(merge.destinationId)) {
            outcome.dropped =
                quotedName(merge.sourceName) % u" changed since; this step can no longer be redone.";
            break;
        }
        TagMerger merger(m_store, preferences, worker, source);
        merger.setRecordsUndo(false);
        merger.setDestinationId(merge.destinationId);
        co_await merger.prepareMerge();
        if (merger.showsConfirmation())
            co_await merger.merge();
        if (const std::optional<Merge>& record = merger.undoRecord(); record && merger.outcome()) {
            made.append(*record);
            continue;
        }
        outcome.failed = merger.errorMessage().value_or(u"The merge could not be made again."_qs);
        // Written in part: what is left of that merge is the merge's to finish, not the history's.
        if (source->isStored())
            m_redo.append(mergeStep(step.merges->mid(next)));
        break;
    }
    if (!made.isEmpty())
        m_undo.append(mergeStep(std::move(made)));
    co_return outcome;
}

} // namespace orvalet
