#include "UnusedTagsCleanup.h"

#include "DisplayTexts.h"
#include "TagListQuery.h"
#include "TagOutline.h"
#include "TagStore.h"
#include "TagTree.h"
#include "TagWrites.h"
#include "ThingsWorker.h"
#include "UndoHistory.h"

#include <QPointer>
#include <algorithm>

namespace orvalet {

namespace {

// The unused subtrees of the forest of `count` nodes, each in reading order. A tag counts as used
// when it reports open to-dos; the subtree test looks for any such tag rather than adding the
// counts up, so that a count read wrongly as negative can never hide a used tag below it. No
// recursion: a chain of tens of thousands of tags must not exhaust the stack.
std::vector<UnusedTagsCleanup::Candidate> unusedSubtrees(const TagOutline& outline, size_t count) {
    // Pre-order of every node, from an explicit stack.
    std::vector<int> order;
    order.reserve(count);
    std::vector<int> stack;
    for (int i = outline.rootCount() - 1; i >= 0; --i) {
        stack.push_back(outline.root(i));
    }
    while (!stack.empty()) {
        const int node = stack.back();
        stack.pop_back();
        order.push_back(node);
        for (int i = outline.childCount(node) - 1; i >= 0; --i) {
            stack.push_back(outline.child(node, i));
        }
    }
    // Backwards through the pre-order, every child is settled before its parent.
    std::vector<char> used(count, 0);
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        if (outline.tag(*it)->todosCount().value_or(0) > 0) {
            used[size_t(*it)] = 1;
        }
        if (used[size_t(*it)] && outline.parent(*it) >= 0) {
            used[size_t(outline.parent(*it))] = 1;
        }
    }
    // A subtree is contiguous in the pre-order, so the rows come out in reading order as they are.
    std::vector<UnusedTagsCleanup::Candidate> rows;
    std::vector<int> rowOfNode(count, -1);
    for (int node : order) {
        if (used[size_t(node)]) {
            continue;
        }
        const int parent = outline.parent(node);
        const int parentRow = parent >= 0 ? rowOfNode[size_t(parent)] : -1;
        const int depth = parentRow >= 0 ? rows[size_t(parentRow)].depth + 1 : 0;
        rowOfNode[size_t(node)] = int(rows.size());
        rows.push_back(
            UnusedTagsCleanup::Candidate{outline.tag(node), parentRow, depth, false, std::nullopt});
    }
    return rows;
}

// What the trees read for Undo hold for the tags of one tree, as a read of their use would answer:
// each tag's open to-dos and children, in order; a tag Things 3 did not have fails the read as
// Things 3 fails it.
ThingsResult<QList<ThingsTagUse>> useIn(const ThingsTreeRead& read, const QStringList& tree) {
    QHash<QString, const ThingsTreeRead::Tag*> byId;
    QHash<QString, QStringList> children;
    for (const ThingsTreeRead::Tag& tag : read.tags) {
        byId.insert(tag.id, &tag);
        if (tag.parentId) {
            children[*tag.parentId].append(tag.id);
        }
    }
    QList<ThingsTagUse> use;
    for (const QString& id : tree) {
        const ThingsTreeRead::Tag* tag = byId.value(id);
        if (!tag) {
            return ThingsError::missingTag(id);
        }
        use.append(ThingsTagUse{id, tag->openTodos.value_or(0), children.value(id)});
    }
    return use;
}

} // namespace

UnusedTagsCleanup::UnusedTagsCleanup(TagStore& store, Preferences& preferences, ThingsWorker& worker,
                                     QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_worker(worker)
    , m_preferences(preferences) {
    connect(&store, &TagStore::changed, this, &UnusedTagsCleanup::storeChanged);
    storeChanged();
}

UnusedTagsCleanup::~UnusedTagsCleanup() = default;

// ---- Texts ----

QString UnusedTagsCleanup::title() {
    return QStringLiteral("Clean Up Unused Tags");
}

QString UnusedTagsCleanup::heading() {
    return QStringLiteral("These tags have no open to-dos, and neither do the tags below them");
}

QString UnusedTagsCleanup::note() {
    return QStringLiteral("Counts cover open to-dos only; tags used only by completed to-dos, projects or "
                          "areas are listed too.");
}

QString UnusedTagsCleanup::deleteLabel() const {
    return QStringLiteral("Delete ") + QString::number(m_checkedCount) +
           (m_checkedCount == 1 ? QStringLiteral(" Tag") : QStringLiteral(" Tags"));
}

QString UnusedTagsCleanup::emptyTitle() {
    return QStringLiteral("No Unused Tags");
}

QString UnusedTagsCleanup::emptyDescription() {
    return QStringLiteral("Every tag has open to-dos, or a tag below it has.");
}

QString UnusedTagsCleanup::deleteConfirmationTitle() const {
    return QStringLiteral("Delete ") + QString::number(m_checkedCount) +
           (m_checkedCount == 1 ? QStringLiteral(" tag?") : QStringLiteral(" tags?"));
}

QString UnusedTagsCleanup::deleteConfirmationMessage() const {
    if (!m_deletionRead) {
        return permanentDeleteMessage();
    }
    QStringList checked;
    for (const Candidate& candidate : m_candidates) {
        if (candidate.checked) {
            checked.append(candidate.tag->id());
        }
    }
    return UndoHistory::deletionMessage(*m_deletionRead, checked, permanentDeleteMessage());
}

QString UnusedTagsCleanup::permanentDeleteMessage() {
    return QStringLiteral("This will permanently delete the checked tags from this app AND Things 3. This "
                          "action cannot be undone!");
}

// ---- The tree ----

void UnusedTagsCleanup::storeChanged() {
    const TagListQuery query(m_store);
    TagOutline outline(query);
    outline.rebuild(TagSortOption::alphabetical, QString());
    m_candidates = unusedSubtrees(outline, size_t(query.allTags().size()));
    for (Candidate& candidate : m_candidates) {
        if (candidate.parent < 0) {
            candidate.ancestorPath = query.ancestorPath(*candidate.tag);
        }
    }

    QSet<QString> offered;
    offered.reserve(qsizetype(m_candidates.size()));
    m_rowById.clear();
    m_rowById.reserve(qsizetype(m_candidates.size()));
    for (size_t row = 0; row < m_candidates.size(); ++row) {
        offered.insert(m_candidates[row].tag->id());
        m_rowById.insert(m_candidates[row].tag->id(), int(row));
    }
    if (!m_seeded) {
        m_seeded = true;
        m_checkedIds = offered;
    } else {
        // A tag that stops being offered loses its check, so that it comes back unchecked.
        m_checkedIds.intersect(offered);
    }
    recount();
    Q_EMIT changed();
}

void UnusedTagsCleanup::recount() {
    for (Candidate& candidate : m_candidates) {
        candidate.checked = m_checkedIds.contains(candidate.tag->id());
    }
    // Children come after their parent: going backwards, every child is final before its parent.
    for (auto it = m_candidates.rbegin(); it != m_candidates.rend(); ++it) {
        if (!it->checked && it->parent >= 0) {
            m_candidates[size_t(it->parent)].checked = false;
        }
    }
    m_checkedCount = int(std::count_if(m_candidates.cbegin(), m_candidates.cend(),
                                       [](const Candidate& candidate) { return candidate.checked; }));
}

int UnusedTagsCleanup::rowOf(const QString& id) const {
    return m_rowById.value(id, -1);
}

QList<int> UnusedTagsCleanup::subtreeRows(int row) const {
    QList<int> rows{row};
    const int depth = m_candidates[size_t(row)].depth;
    for (size_t next = size_t(row) + 1; next < m_candidates.size() && m_candidates[next].depth > depth;
         ++next) {
        rows.append(int(next));
    }
    return rows;
}

void UnusedTagsCleanup::setChecked(const QString& id, bool checked) {
    const int row = rowOf(id);
    if (row < 0 || m_isDeleting) {
        return;
    }
    if (checked) {
        for (int below : subtreeRows(row)) {
            m_checkedIds.insert(m_candidates[size_t(below)].tag->id());
        }
    } else {
        m_checkedIds.remove(id);
    }
    recount();
    Q_EMIT changed();
}

QStringList UnusedTagsCleanup::checkedTops() const {
    QStringList tops;
    for (const Candidate& candidate : m_candidates) {
        if (candidate.checked && (candidate.parent < 0 || !m_candidates[size_t(candidate.parent)].checked)) {
            tops.append(candidate.tag->id());
        }
    }
    return tops;
}

QStringList UnusedTagsCleanup::checkedTree(const QString& id) const {
    const int row = rowOf(id);
    QStringList ids;
    if (row >= 0 && m_candidates[size_t(row)].checked) {
        for (int below : subtreeRows(row)) {
            ids.append(m_candidates[size_t(below)].tag->id());
        }
    }
    return ids;
}

std::optional<QString> UnusedTagsCleanup::whyNotUnused(int row, const QList<ThingsTagUse>& use) const {
    const QList<int> rows = subtreeRows(row);
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const Candidate& candidate = m_candidates[size_t(rows[i])];
        if (use[i].openTodos > 0) {
            return DisplayTexts::quotedName(candidate.tag->name()) +
                   QStringLiteral(" has open to-dos in Things 3 now.");
        }
        QStringList storedChildren;
        for (const int below : rows) {
            if (m_candidates[size_t(below)].parent == rows[i]) {
                storedChildren.append(m_candidates[size_t(below)].tag->id());
            }
        }
        QStringList thingsChildren = use[i].childIds;
        storedChildren.sort();
        thingsChildren.sort();
        if (storedChildren != thingsChildren) {
            return DisplayTexts::quotedName(candidate.tag->name()) +
                   QStringLiteral(" has other child tags in Things 3 than this list shows. Import from "
                                  "Things to bring the list up to date.");
        }
    }
    return std::nullopt;
}

QStringList UnusedTagsCleanup::checkedNames() const {
    QStringList names;
    for (const Candidate& candidate : m_candidates) {
        if (candidate.checked) {
            names.append(candidate.tag->name());
        }
    }
    return names;
}

// ---- Delete confirmation ----

QCoro::Task<> UnusedTagsCleanup::requestDelete() {
    if (!canDelete() || m_showDeleteConfirmation) {
        co_return;
    }
    const QPointer<UnusedTagsCleanup> self(this);
    const QStringList treeIds = checkedTops();
    m_isDeleting = true;
    m_resultState.reset();
    Q_EMIT changed();

    // The trees are read first: the confirmation says what goes, and whether Undo brings it back.
    UndoHistory::DeletionRead read =
        co_await UndoHistory::forStore(m_store).readDeletion(m_worker, treeIds, true);
    if (!self) {
        co_return;
    }
    self->m_isDeleting = false;
    if (read.failure) {
        const TagPtr first = treeIds.isEmpty() ? TagPtr() : self->m_store.tag(treeIds.first());
        self->m_resultState =
            BatchResultState::failure(first ? first->name() : QString(), read.failure->errorDescription(), {})
                .asDeletion();
        self->m_showResult = true;
    } else if (self->checkedTops() == treeIds) { // else the checks or the store changed meanwhile
        self->m_deletionRead = std::move(read);
        self->m_showDeleteConfirmation = true;
    }
    Q_EMIT self->changed();
}

QCoro::Task<> UnusedTagsCleanup::confirmDelete() {
    m_showDeleteConfirmation = false;
    return deleteChecked();
}

void UnusedTagsCleanup::cancelDelete() {
    m_deletionRead.reset();
    if (m_showDeleteConfirmation) {
        m_showDeleteConfirmation = false;
        Q_EMIT changed();
    }
}

// ---- Result sheet ----

void UnusedTagsCleanup::dismissResult() {
    if (m_showResult) {
        m_showResult = false;
        Q_EMIT changed();
    }
}

// ---- Run ----

QCoro::Task<> UnusedTagsCleanup::deleteChecked() {
    if (!canDelete()) {
        Q_EMIT changed(); // the confirmation may have closed
        co_return;
    }
    const QPointer<UnusedTagsCleanup> self(this);
    m_isDeleting = true;
    m_resultState.reset();
    Q_EMIT changed();

    const QStringList treeIds = checkedTops();
    const TagPtr first = treeIds.isEmpty() ? TagPtr() : m_store.tag(treeIds.first());
    const QString firstName = first ? first->name() : QString();
    std::optional<UndoHistory::DeletionRead> confirmed = std::exchange(m_deletionRead, std::nullopt);

    TagStore& store = m_store;
    ThingsWorker& worker = m_worker;
    const bool byId = TagWrites::byId(m_preferences);
    // What Things 3 holds for the trees was read for the confirmation, for Undo; unless it was, it
    // is read now, and without it the user is asked again.
    UndoHistory& history = UndoHistory::forStore(store);
    const UndoHistory::DeletionPlan plan = co_await history.prepareDeletion(
        worker, treeIds, permanentDeleteMessage(), true, std::move(confirmed));
    if (!plan.proceed) {
        if (self) {
            if (plan.failure) {
                self->m_resultState =
                    BatchResultState::failure(firstName, plan.failure->errorDescription(), {}).asDeletion();
                self->m_showResult = true;
            }
            self->m_isDeleting = false;
            Q_EMIT self->changed();
        }
        co_return;
    }
    QStringList deletedIds, unsettledIds;
    QStringList deletedNames;
    QList<BatchResultState::Skipped> skipped;
    std::optional<BatchResultState> failure;
    for (qsizetype next = 0; next < treeIds.size() && self && !failure;) {
        // Read again: an earlier group's deletion, an import or a refresh may have changed the offer.
        self->storeChanged();
        QStringList tops, ids;
        QList<QStringList> trees;
        for (; next < treeIds.size() && tops.size() < (byId ? ThingsService::maximumGroupSize : 1); ++next) {
            QStringList tree = self->checkedTree(treeIds[next]);
            if (!tree.isEmpty()) { // else used by now, or a tag appeared below it that is not checked
                tops.append(treeIds[next]);
                ids += tree;
                trees.append(std::move(tree));
            }
        }
        if (tops.isEmpty()) {
            break;
        }
        // The offer rests on the counts of the last import. What each tree holds now is what the
        // read for Undo found: an open to-do may have started using one of its tags, or a tag this
        // list never saw may sit below one, and deleting the tree would take it along.
        QList<ThingsResult<QList<ThingsTagUse>>> uses;
        if (plan.undo) {
            for (const QStringList& tree : std::as_const(trees)) {
                uses.append(useIn(plan.undo->trees, tree));
            }
        } else {
            // Without that read (deleted without Undo), Things 3 is asked here. A tag gone stops the
            // read where it stands, so then each tree is read alone to tell which one it is in.
            const auto all = co_await worker.run(&ThingsService::readTagUse, ids);
            const bool gone = !all && std::any_of(ids.cbegin(), ids.cend(), [&all](const QString& tagId) {
                return all.error().isMissingTag(tagId);
            });
            for (qsizetype i = 0, at = 0; i < trees.size() && self; at += trees[i++].size()) {
                if (gone && trees.size() > 1) {
                    uses.append(co_await worker.run(&ThingsService::readTagUse, trees[i]));
                } else {
                    uses.append(all ? ThingsResult<QList<ThingsTagUse>>(all.value().mid(at, trees[i].size()))
                                    : ThingsResult<QList<ThingsTagUse>>(all.error()));
                }
            }
        }
        if (!self) {
            break;
        }
        // What each tree comes to, in order; the deletions and what follows them wait for Things 3.
        struct Verdict {
            TagPtr top;
            std::optional<BatchResultState::Skipped> skip;
            QList<ThingsTagUse> counts; // what Things 3 told of a tree left alone
            std::optional<QString> error;
            QStringList names; // of a tree to delete
        };
        QList<Verdict> verdicts;
        QList<ThingsTagRef> doomed;
        for (qsizetype i = 0; i < trees.size() && !(verdicts.size() && verdicts.last().error); ++i) {
            if (self->checkedTree(tops[i]) != trees[i]) {
                continue; // the store changed while Things 3 answered: the next run offers it afresh
            }
            const int row = self->rowOf(tops[i]);
            Verdict verdict{self->m_candidates[size_t(row)].tag, {}, {}, {}, {}};
            const QString& topName = verdict.top->name();
            const auto& use = uses[i];
            const auto missing =
                use ? trees[i].cend()
                    : std::find_if(trees[i].cbegin(), trees[i].cend(),
                                   [&use](const QString& id) { return use.error().isMissingTag(id); });
            if (!use && missing == trees[i].cend()) {
                verdict.error = use.error().errorDescription();
            } else if (!use && missing != trees[i].cbegin()) {
                // A tag below the top gone from Things 3: the tree is left alone. A top gone already is
                // deleted as usual: the deletion finds it gone and takes it out of the list.
                const TagPtr stored = store.tag(*missing);
                verdict.skip = {
                    topName, ThingsError::notInThings(stored ? stored->name() : *missing).errorDescription()};
            } else if (const std::optional<QString> reason =
                           use ? self->whyNotUnused(row, use.value()) : std::nullopt) {
                verdict.skip = {topName, *reason};
                verdict.counts = use.value();
            } else {
                for (int below : self->subtreeRows(row)) {
                    verdict.names.append(self->m_candidates[size_t(below)].tag->name());
                }
                doomed.append(TagWrites::refOf(*verdict.top));
            }
            verdicts.append(std::move(verdict));
        }
        ThingsGroupOutcome deleted;
        if (!doomed.isEmpty()) {
            // Each tree is checked, as it is deleted, to be what the undo step holds.
            const std::optional<ThingsTreeRead> asRead =
                plan.undo ? std::optional(plan.undo->trees) : std::nullopt;
            const auto sent = co_await worker.run(&ThingsService::deleteTags, doomed, byId, asRead);
            deleted = sent ? sent.value() : ThingsGroupOutcome{0, sent.error()};
        }
        // Those the lost program may have reached are for the undo step to ask about.
        for (qsizetype i = deleted.done; deleted.unsettled && i < doomed.size(); ++i) {
            unsettledIds.append(doomed[i].id);
        }
        // Applied in order up to the first failure, as a run of a tree at a time would have.
        // The store's tree is pictured only when Things 3 deleted something: at 100,000 tags that
        // picture costs a turn of its own.
        const std::optional<TagTree::ChildLists> children =
            deleted.done > 0 ? std::optional<TagTree::ChildLists>(store.allTags()) : std::nullopt;
        qsizetype deletion = 0;
        for (const Verdict& verdict : std::as_const(verdicts)) {
            if (verdict.error) {
                failure = BatchResultState::failure(verdict.top->name(), *verdict.error, deletedNames);
            } else if (verdict.skip) {
                skipped.append(*verdict.skip);
                // The counts Things 3 just told replace the stale ones, so the tree is offered no more.
                for (const ThingsTagUse& tag : verdict.counts) {
                    if (const TagPtr stored = store.tag(tag.id)) {
                        stored->setTodosCount(tag.openTodos);
                    }
                }
                continue;
            } else if (deletion++ == deleted.done) {
                const QString reason =
                    deleted.unsettled ? deleted.failure->unconfirmed(
                                            DisplayTexts::quotedName(verdict.top->name()) % u" was deleted")
                                      : deleted.failure->errorDescription();
                failure = BatchResultState::failure(verdict.top->name(), reason, deletedNames);
            } else {
                for (const TagPtr& descendant :
                     TagTree::descendantsInDeletionOrder(*verdict.top, *children)) {
                    store.remove(store.tag(descendant->id()));
                }
                store.remove(store.tag(verdict.top->id()));
                deletedIds.append(verdict.top->id());
                deletedNames += verdict.names;
                continue;
            }
            break;
        }
    }

    if (plan.undo) {
        history.recordDeletion(*plan.undo, deletedIds, unsettledIds);
    }
    if (self) {
        self->storeChanged();
        self->m_resultState = (failure ? *failure : BatchResultState::success(deletedNames))
                                  .asDeletion()
                                  .withSkipped(std::move(skipped));
        self->m_showResult = true;
        self->m_isDeleting = false;
        Q_EMIT self->changed();
    }
}

} // namespace orvalet
