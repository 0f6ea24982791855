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

AncestorPaths::AncestorPaths(QList<TagPtr> tags)
    : m_tags(std::move(tags)) {
    const int count = int(m_tags.size());
    QHash<QStringView, int> placeById;
    placeById.reserve(count);
    for (int i = 0; i < count; ++i) {
        placeById.insert(m_tags[i]->id(), i); // of a repeated identifier the last counts, as in tagsById
    }
    m_parent.assign(size_t(count), -1);
    std::vector<char> hasChildren(size_t(count), 0);
    for (int i = 0; i < count; ++i) {
        if (const auto& parent = m_tags[i]->parentTagId()) {
            const int place = placeById.value(*parent, -1);
            m_parent[size_t(i)] = place;
            if (place >= 0) {
                hasChildren[size_t(place)] = 1;
            }
        }
    }

    // Each tag is walked up once: up to a tag already known, a root, or a tag of the walk itself (a
    // loop). The walk is then settled from its top down, so a parent's path is there before its
    // children's.
    enum : char { unseen, walking, ends, loops };
    std::vector<char> state(size_t(count), unseen);
    m_pathBelow.resize(size_t(count));
    std::vector<int> walk;
    for (int start = 0; start < count; ++start) {
        int top = start;
        while (top >= 0 && state[size_t(top)] == unseen) {
            state[size_t(top)] = walking;
            walk.push_back(top);
            top = m_parent[size_t(top)];
        }
        const bool meetsLoop = top >= 0 && state[size_t(top)] != ends;
        for (auto it = walk.crbegin(); it != walk.crend(); ++it) {
            const auto tag = size_t(*it);
            state[tag] = meetsLoop ? loops : ends;
            if (!meetsLoop && hasChildren[tag]) {
                const int parent = m_parent[tag];
                m_pathBelow[tag] =
                    parent >= 0 ? m_pathBelow[size_t(parent)] + QLatin1String(" > ") + m_tags[*it]->name()
                                : m_tags[*it]->name();
            }
        }
        walk.clear();
    }
    m_meetsLoop.resize(size_t(count));
    std::transform(state.cbegin(), state.cend(), m_meetsLoop.begin(),
                   [](char s) { return char(s == loops); });
}

std::optional<QString> AncestorPaths::at(qsizetype index) const {
    const int parent = m_parent[size_t(index)];
    if (parent < 0) {
        return std::nullopt;
    }
    return m_meetsLoop[size_t(parent)] ? walk(int(index)) : m_pathBelow[size_t(parent)];
}

std::optional<QString> AncestorPaths::walk(int tag) const {
    // The rule's own walk: up to a tag already reached.
    QList<int> ancestors;
    QSet<int> reached;
    for (int parent = m_parent[size_t(tag)]; parent >= 0 && !reached.contains(parent);
         parent = m_parent[size_t(parent)]) {
        reached.insert(parent);
        ancestors.prepend(parent);
    }
    QStringList names;
    for (const int ancestor : std::as_const(ancestors)) {
        names.append(m_tags[ancestor]->name());
    }
    return names.join(QLatin1String(" > "));
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
        index.forEachChild(frontier[i], [&](int child) {
            if (!reached[size_t(child)]) {
                reached[size_t(child)] = 1;
                frontier.push_back(child);
            }
        });
    }
    result.reserve(result.size() + qsizetype(frontier.size()));
    for (const int found : frontier) {
        result.insert(tags[found]->id());
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
