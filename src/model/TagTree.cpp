#include "TagTree.h"

#include <QStringList>

#include <algorithm>

namespace orvalet::TagTree {

namespace {

// Child lists keyed by parent identifier, each in the order of `tags`. Children are kept as indexes
// into `tags`, which is cheaper than copying shared pointers.
QHash<QString, QList<qsizetype>> childIndexes(const QList<TagPtr>& tags) {
    QHash<QString, QList<qsizetype>> children;
    children.reserve(tags.size());
    for (qsizetype i = 0; i < tags.size(); ++i) {
        if (const auto& parent = tags[i]->parentTagId()) {
            children[*parent].append(i);
        }
    }
    return children;
}

} // namespace

TagsById tagsById(const QList<TagPtr>& tags) {
    TagsById map;
    map.reserve(tags.size());
    for (const TagPtr& tag : tags) {
        map.insert(tag->id(), tag);
    }
    return map;
}

ChildCounts childCountsByParentId(const QList<TagPtr>& tags) {
    ChildCounts counts;
    for (const TagPtr& tag : tags) {
        if (const auto& parent = tag->parentTagId()) {
            ++counts[*parent];
        }
    }
    return counts;
}

int childCount(const Tag& tag, const ChildCounts& counts) {
    return counts.value(tag.id(), 0);
}

std::optional<QString> ancestorPath(const Tag& tag, const TagsById& tagsById) {
    if (!tag.parentTagId()) {
        return std::nullopt;
    }
    // Paths are short, so the visited identifiers are kept in a list and only a chain longer than
    // that falls back to a hash set: a scan of a few entries beats hashing.
    constexpr qsizetype shortChain = 16;
    QList<const Tag*> ancestors;
    QSet<QString> visitedLong;
    auto visited = [&](const QString& id) {
        if (ancestors.size() <= shortChain) {
            return std::any_of(ancestors.cbegin(), ancestors.cend(), [&](const Tag* t) { return t->id() == id; });
        }
        return visitedLong.contains(id);
    };

    const QString* current = &*tag.parentTagId();
    while (!visited(*current)) {
        const auto it = tagsById.constFind(*current);
        if (it == tagsById.cend()) {
            break;
        }
        const Tag* parent = it->get();
        ancestors.append(parent);
        if (ancestors.size() > shortChain) {
            if (visitedLong.isEmpty()) {
                for (const Tag* t : std::as_const(ancestors)) {
                    visitedLong.insert(t->id());
                }
            } else {
                visitedLong.insert(parent->id());
            }
        }
        if (!parent->parentTagId()) {
            break;
        }
        current = &*parent->parentTagId();
    }
    if (ancestors.isEmpty()) {
        return std::nullopt;
    }
    QString path;
    for (auto it = ancestors.crbegin(); it != ancestors.crend(); ++it) {
        if (!path.isEmpty()) {
            path += QLatin1String(" > ");
        }
        path += (*it)->name();
    }
    return path;
}

QSet<QString> descendantIds(const QSet<QString>& rootIds, const QList<TagPtr>& tags) {
    const auto children = childIndexes(tags);
    QSet<QString> result = rootIds;
    QList<QString> frontier(rootIds.cbegin(), rootIds.cend());
    QList<QString> next;
    while (!frontier.isEmpty()) {
        next.clear();
        for (const QString& id : std::as_const(frontier)) {
            const auto it = children.constFind(id);
            if (it == children.cend()) {
                continue;
            }
            for (qsizetype index : *it) {
                const QString& childId = tags[index]->id();
                if (!result.contains(childId)) {
                    result.insert(childId);
                    next.append(childId);
                }
            }
        }
        std::swap(frontier, next);
    }
    return result;
}

QList<TagPtr> descendantsInDeletionOrder(const Tag& tag, const QList<TagPtr>& tags) {
    const auto children = childIndexes(tags);
    QList<TagPtr> collected;
    // The starting tag counts as seen, so a cycle through it never collects it.
    QSet<QString> seen{tag.id()};
    QList<QString> level{tag.id()};
    QList<QString> next;
    while (!level.isEmpty()) {
        next.clear();
        for (const QString& id : std::as_const(level)) {
            const auto it = children.constFind(id);
            if (it == children.cend()) {
                continue;
            }
            for (qsizetype index : *it) {
                const TagPtr& child = tags[index];
                if (!seen.contains(child->id())) {
                    seen.insert(child->id());
                    collected.append(child);
                    next.append(child->id());
                }
            }
        }
        std::swap(level, next);
    }
    return collected;
}

QList<TagPtr> parentChoices(const QSet<QString>& editedIds, const QList<TagPtr>& tags) {
    const QSet<QString> excluded = descendantIds(editedIds, tags);
    QList<TagPtr> choices;
    for (const TagPtr& tag : tags) {
        if (!excluded.contains(tag->id())) {
            choices.append(tag);
        }
    }
    return choices;
}

} // namespace orvalet::TagTree
