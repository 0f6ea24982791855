#include "SimilarTagsReview.h"

#include "DisplayTexts.h"
#include "SimilarTags.h"
#include "TagMerger.h"
#include "TagStore.h"
#include "TagTree.h"
#include "UndoHistory.h"

#include <QPointer>
#include <QStringBuilder>
#include <algorithm>

namespace orvalet {

using DisplayTexts::countOf;
using DisplayTexts::quotedName;

namespace {

// “A”, “A” and “B”, “A”, “B” and “C”.
QString namesInSentence(const QStringList& names) {
    QStringList quoted;
    for (const QString& name : names)
        quoted.append(quotedName(name));
    if (quoted.size() < 2)
        return quoted.join(QString());
    const QString last = quoted.takeLast();
    return quoted.join(u", ") % u" and " % last;
}

QSet<QString> idsOf(const SimilarTagsReview::Group& group) {
    QSet<QString> ids;
    for (const SimilarTagsReview::Member& member : group.members)
        ids.insert(member.tag->id());
    return ids;
}

qint64 openTodos(const Tag& tag) {
    return tag.todosCount().value_or(0);
}

} // namespace

SimilarTagsReview::SimilarTagsReview(TagStore& store, Preferences& preferences, ThingsWorker& worker,
                                     QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_preferences(preferences)
    , m_worker(worker) {
    for (const QString& line : m_store.note(dismissedNoteKey()).split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList ids = line.split(u' ', Qt::SkipEmptyParts);
        m_dismissed.push_back(QSet<QString>(ids.cbegin(), ids.cend()));
    }
    connect(&m_store, &TagStore::changed, this, &SimilarTagsReview::refresh);
    refresh();
}

SimilarTagsReview::~SimilarTagsReview() = default;

QString SimilarTagsReview::title() {
    return QStringLiteral("Find Similar Tags");
}

QString SimilarTagsReview::emptyTitle() {
    return QStringLiteral("No Similar Tags");
}

QString SimilarTagsReview::emptyDescription() {
    return QStringLiteral("No two tags have names that differ only in letter case, accents, spaces, "
                          "punctuation or a plural ending.");
}

const SimilarTagsReview::Group* SimilarTagsReview::group(const QString& key) const {
    const auto it = std::find_if(m_groups.cbegin(), m_groups.cend(),
                                 [&key](const Group& group) { return group.key == key; });
    return it == m_groups.cend() ? nullptr : &*it;
}

// Only the members' ancestors are looked up: a path costs its depth, not a pass over the store.
void SimilarTagsReview::refresh() {
    const QList<TagPtr> tags = m_store.allTags();
    const QList<QList<TagPtr>> found = SimilarTags::find(tags);
    const TagTree::ChildCounts childCounts = TagTree::childCountsByParentId(tags);
    QList<Group> groups;
    m_dismissedCount = 0;
    for (QList<TagPtr> members : found) {
        std::stable_sort(members.begin(), members.end(), [&childCounts](const TagPtr& a, const TagPtr& b) {
            if (openTodos(*a) != openTodos(*b))
                return openTodos(*a) > openTodos(*b);
            return TagTree::childCount(*a, childCounts) > TagTree::childCount(*b, childCounts);
        });
        Group group;
        QStringList keyIds;
        for (const TagPtr& tag : std::as_const(members)) {
            TagTree::TagsById ancestors;
            for (TagPtr up = tag; up->parentTagId() && !ancestors.contains(*up->parentTagId());) {
                up = m_store.tag(*up->parentTagId());
                if (!up)
                    break;
                ancestors.insert(up->id(), up);
            }
            group.members.append(
                Member{tag, TagTree::ancestorPath(*tag, ancestors), TagTree::childCount(*tag, childCounts)});
            keyIds.append(tag->id());
        }
        group.key = keyIds.join(u' ');
        const QSet<QString> ids = idsOf(group);
        group.dismissed = std::any_of(m_dismissed.cbegin(), m_dismissed.cend(),
                                      [&ids](const QSet<QString>& set) { return set.contains(ids); });
        m_dismissedCount += group.dismissed ? 1 : 0;
        if (!group.dismissed || m_showsDismissed)
            groups.append(std::move(group));
    }
    m_groups = std::move(groups);
    Q_EMIT changed();
}

void SimilarTagsReview::setShowsDismissed(bool shows) {
    if (shows != m_showsDismissed) {
        m_showsDismissed = shows;
        refresh();
    }
}

void SimilarTagsReview::dismiss(const QString& key) {
    if (const Group* shown = group(key); shown && !shown->dismissed) {
        m_dismissed.push_back(idsOf(*shown));
        keepDismissed();
    }
}

// Every set the group lies within is let go, or it would stay hidden.
void SimilarTagsReview::restore(const QString& key) {
    if (const Group* shown = group(key); shown && shown->dismissed) {
        const QSet<QString> ids = idsOf(*shown);
        std::erase_if(m_dismissed, [&ids](const QSet<QString>& set) { return set.contains(ids); });
        keepDismissed();
    }
}

void SimilarTagsReview::keepDismissed() {
    QStringList lines;
    for (const QSet<QString>& set : m_dismissed) {
        QStringList ids(set.cbegin(), set.cend());
        ids.sort();
        lines.append(ids.join(u' '));
    }
    QString why;
    if (!m_store.setNote(dismissedNoteKey(), lines.join(u'\n'), &why))
        m_errorMessage = u"Orvalet could not keep this choice for the next time: " % why;
    refresh();
}

void SimilarTagsReview::dismissError() {
    if (m_errorMessage) {
        m_errorMessage.reset();
        Q_EMIT changed();
    }
}

// ---- Merge ----

QCoro::Task<> SimilarTagsReview::prepareMerge(QString key, QString destinationId) {
    const Group* chosen = group(key);
    const TagPtr destination = m_store.tag(destinationId);
    if (isBusy() || !chosen || !destination) {
        co_return;
    }
    std::vector<std::unique_ptr<TagMerger>> plan;
    for (const Member& member : chosen->members) {
        if (member.tag->id() == destinationId)
            continue;
        auto merger = std::make_unique<TagMerger>(m_store, m_preferences, m_worker, member.tag);
        merger->setRecordsUndo(false);
        merger->setDestinationId(destinationId);
        plan.push_back(std::move(merger));
    }
    const QPointer<SimilarTagsReview> self(this);
    m_isReading = true;
    m_report.reset();
    m_errorMessage.reset();
    Q_EMIT changed();
    std::optional<QString> refusal;
    for (const std::unique_ptr<TagMerger>& merger : plan) {
        if (!merger->canMerge()) {
            refusal = quotedName(merger->source()->name()) % u" cannot be merged into " %
                      quotedName(destination->name()) % u", which is below it.";
            break;
        }
        co_await merger->prepareMerge();
        if (!merger->showsConfirmation()) {
            refusal = merger->errorMessage().value_or(u"The merge could not be prepared."_qs);
            break;
        }
    }
    if (!self)
        co_return;
    m_isReading = false;
    m_errorMessage = refusal;
    if (!refusal) {
        m_plan = std::move(plan);
        m_destination = destination;
    }
    Q_EMIT changed();
}

QString SimilarTagsReview::confirmationTitle() const {
    return u"Merge " % countOf(qsizetype(m_plan.size()), u"tag"_qs, u"tags"_qs) % u" into " %
           quotedName(m_destination ? m_destination->name() : QString()) % u"?";
}

QString SimilarTagsReview::confirmationMessage() const {
    QStringList sources;
    QSet<QString> todos;
    qsizetype children = 0;
    for (const std::unique_ptr<TagMerger>& merger : m_plan) {
        sources.append(merger->source()->name());
        for (const ThingsTodoTagNames& todo : merger->plannedChanges())
            todos.insert(todo.todoId);
        children += merger->childrenToMove();
    }
    const QString destination = quotedName(m_destination ? m_destination->name() : QString());
    QString message = todos.isEmpty()
                          ? QString(u"No to-dos carry " % namesInSentence(sources) % u".")
                          : QString(countOf(todos.size(), u"to-do"_qs, u"to-dos"_qs) % u" will carry " %
                                    destination % u" instead (open, completed and canceled).");
    if (children > 0)
        message += u" " % countOf(children, u"child tag"_qs, u"child tags"_qs) % u" will move under " %
                   destination % u".";
    message += u" " % namesInSentence(sources) %
               u" will then be deleted from this app AND Things 3. This "
               u"cannot be undone.";
    return UndoHistory::undoable(message);
}

void SimilarTagsReview::cancelMerge() {
    if (showsConfirmation()) {
        m_plan.clear();
        m_destination.reset();
        Q_EMIT changed();
    }
}

// The run goes on to its end when the window goes (Things 3 and the store still get every merge, and
// the step to undo them): it keeps the mergers and reaches `this` only through `self`.
QCoro::Task<> SimilarTagsReview::merge() {
    if (!showsConfirmation()) {
        co_return;
    }
    const QPointer<SimilarTagsReview> self(this);
    TagStore& store = m_store;
    const std::vector<std::unique_ptr<TagMerger>> plan = std::move(m_plan);
    const TagPtr destination = std::exchange(m_destination, nullptr);
    m_isMerging = true;
    Q_EMIT changed();

    QList<UndoHistory::Merge> made;
    QStringList merged;
    std::optional<QString> failure;
    for (std::size_t i = 0; i < plan.size() && !failure; ++i) {
        TagMerger& merger = *plan[i];
        const QString name = merger.source()->name();
        if (i > 0) {
            merger.cancelMerge(); // only a read made now may stand for it
            co_await merger.prepareMerge();
        }
        if (merger.showsConfirmation())
            co_await merger.merge();
        if (merger.outcome() && merger.undoRecord()) {
            made.append(*merger.undoRecord());
            merged.append(name);
        } else {
            failure = u"Merging stopped at " % quotedName(name) % u": " %
                      merger.errorMessage().value_or(u"The merge could not be made."_qs);
        }
    }
    UndoHistory::forStore(store).recordMerges(made);
    QString report;
    if (!merged.isEmpty())
        report = u"Merged " % namesInSentence(merged) % u" into " % quotedName(destination->name()) % u".";
    if (!self)
        co_return;
    m_isMerging = false;
    m_errorMessage = failure
                         ? std::optional<QString>(*failure % (report.isEmpty() ? QString() : u" " % report))
                         : std::nullopt;
    m_report = failure || report.isEmpty() ? std::nullopt : std::optional<QString>(report);
    Q_EMIT changed();
}

} // namespace orvalet
