#include "TagTree.h"

#include <QStringList>
#include <QVarLengthArray>
#include <algorithm>
#include <vector>

namespace orvalet::TagTree {

// Children of every node, in the order of `tags`, packed into two arrays. Nodes are the tags
// (node i is tags[i]) followed by the parent identifiers no tag carries, so that the children of an
// unresolved parent are found too. Built in two passes without a list per parent. The keys are
// views: of the tags' identifiers, which never change, and of copies of the unresolved parent
// identifiers, because a tag's parent may be rewritten while the index is still in use.
struct ChildLists::Index {
    QHash<QStringView, int> nodeById;
    QStringList unresolvedIds;
    std::vector<int> firstChild; // children of node n: children[firstChild[n] .. firstChild[n + 1])
    std::vector<int> children;   // tag indexes

    explicit Index(const QList<TagPtr>& tags) {
        const int tagCount = int(tags.size());
        nodeById.reserve(tagCount);
        for (int i = 0; i < tagCount; ++i) {
            nodeById.insert(tags[i]->id(), i);
        }
        std::vector<int> parentNode(size_t(tagCount), -1);
        for (int i = 0; i < tagCount; ++i) {
            if (const auto& parent = tags[i]->parentTagId()) {
                auto it = nodeById.constFind(*parent);
                if (it == nodeById.cend()) {
                    unresolvedIds.append(*parent); // shares the text, keeping it alive
                    it = nodeById.insert(unresolvedIds.constLast(), int(nodeById.size()));
                }
                parentNode[size_t(i)] = *it;
            }
        }
        firstChild.assign(size_t(nodeById.size()) + 1, 0);
        for (int node : parentNode) {
            if (node >= 0) {
                ++firstChild[size_t(node) + 1];
            }
        }
        for (size_t n = 1; n < firstChild.size(); ++n) {
            firstChild[n] += firstChild[n - 1];
        }
        children.resize(size_t(firstChild.back()));
        std::vector<int> next(firstChild.begin(), firstChild.end() - 1);
        for (int i = 0; i < tagCount; ++i) {
            if (parentNode[size_t(i)] >= 0) {
                children[size_t(next[size_t(parentNode[size_t(i)])]++)] = i;
            }
        }
    }

    int node(QStringView id) const { return nodeById.value(id, -1); }

    template <typename Visit>
    void forEachChild(int node, Visit visit) const {
        for (int c = firstChild[size_t(node)]; c < firstChild[size_t(node) + 1]; ++c) {
            visit(children[size_t(c)]);
        }
    }
};

namespace {

// The walk of descendantsInDeletionOrder over an index of `tags`.
QList<TagPtr> collectDescendants(const Tag& tag, const QList<TagPtr>& tags, const ChildLists::Index& index) {
    QList<TagPtr> collected;
    const int start = index.node(tag.id());
    if (start < 0) {
        return collected;
    }
    // The starting tag counts as reached, so a loop through it never collects it. A queue in
    // breadth-first order gives each level grouped by parent, in the order of the level above.
    std::vector<char> reached(size_t(tags.size()), 0);
    if (start < tags.size()) {
        reached[size_t(start)] = 1;
    }
    std::vector<int> queue;
    auto take = [&](int child) {
        if (!reached[size_t(child)] && tags[child]->id() != tag.id()) {
            reached[size_t(child)] = 1;
            queue.push_back(child);
        }
    };
    index.forEachChild(start, take);
    for (size_t i = 0; i < queue.size(); ++i) {
        index.forEachChild(queue[i], take);
    }
    collected.reserve(qsizetype(queue.size()));
    for (int i : queue) {
        collected.append(tags[i]);
    }
    return collected;
}

} // namespace

ChildLists::ChildLists(QList<TagPtr> tags)
    : m_tags(std::move(tags))
    , m_index(std::make_shared<const Index>(m_tags)) {}

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
    // Identifiers are unique, so "this identifier was visited" is "this record was reached": the
    // walk compares record addresses. Paths are short, so the ancestors live on the stack and are
    // scanned; only a chain longer than that also keeps a set of what it reached.
    constexpr qsizetype shortChain = 16;
    QVarLengthArray<const Tag*, shortChain> ancestors;
    QSet<const Tag*> reachedLong;
    auto reached = [&](const Tag* candidate) {
        if (ancestors.size() <= shortChain) {
            return std::find(ancestors.cbegin(), ancestors.cend(), candidate) != ancestors.cend();
        }
        return reachedLong.contains(candidate);
    };

    const QString* current = &*tag.parentTagId();
    qsizetype length = 0;
    for (;;) {
        const auto it = tagsById.constFind(*current);
        if (it == tagsById.cend() || reached(it->get())) {
            break;
        }
        const Tag* parent = it->get();
        ancestors.append(parent);
        length += parent->name().size() + 3;
        if (ancestors.size() > shortChain) {
            if (reachedLong.isEmpty()) {
                for (const Tag* earlier : ancestors) {
                    reachedLong.insert(earlier);
                }
            } else {
                reachedLong.insert(parent);
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
    path.reserve(length);
    for (auto it = ancestors.crbegin(); it != ancestors.crend(); ++it) {
        if (!path.isEmpty()) {
            path += QLatin1String(" > ");
        }
        path += (*it)->name();
    }
    return path;
}

QSet<QString> descendantIds(const QSet<QString>& rootIds, const QList<TagPtr>& tags) {
    const ChildLists::Index index(tags);
    QSet<QString> result = rootIds;
    std::vector<char> reached(size_t(tags.size()), 0);
    std::vector<int> frontier;
    for (const QString& id : rootIds) {
        const int node = index.node(id);
        if (node < 0) {
            continue;
        }
        if (node < tags.size()) {
            reached[size_t(node)] = 1;
        }
        index.forEachChild(node, [&](int child) {
            if (!reached[size_t(child)] && !rootIds.contains(tags[child]->id())) {
                reached[size_t(child)] = 1;
                frontier.push_back(child);
            }
        });
    }
    // Breadth first; each tag enters once, so links that loop end the walk.
    for (size_t i = 0; i < frontier.size(); ++i) {
        const int current = frontier[i];
        result.insert(tags[current]->id());
        index.forEachChild(current, [&](int child) {
            if (!reached[size_t(child)]) {
                reached[size_t(child)] = 1;
                frontier.push_back(child);
            }
        });
    }
    return result;
}

QList<TagPtr> descendantsInDeletionOrder(const Tag& tag, const QList<TagPtr>& tags) {
    return collectDescendants(tag, tags, ChildLists::Index(tags));
}

QList<TagPtr> descendantsInDeletionOrder(const Tag& tag, const ChildLists& children) {
    return collectDescendants(tag, children.m_tags, *children.m_index);
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
