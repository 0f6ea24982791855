#include "TagOutline.h"

#include "TagListQuery.h"

namespace orvalet {

TagOutline::TagOutline(const TagListQuery& query)
    : m_query(query) {
    storeChanged();
}

const TagPtr& TagOutline::tag(int node) const {
    return m_query.allTags()[node];
}

int TagOutline::nodeOf(QStringView id) const {
    const int node = m_index.value(id, -1);
    return node >= 0 && isVisible(node) ? node : -1;
}

void TagOutline::storeChanged() {
    const QList<TagPtr>& tags = m_query.allTags();
    const size_t count = size_t(tags.size());
    m_index.clear();
    m_index.reserve(tags.size());
    for (qsizetype i = 0; i < tags.size(); ++i) {
        m_index.insert(QStringView(tags[i]->id()), int(i));
    }

    m_storedParent.assign(count, -1);
    m_missingParent.assign(count, 0);
    for (size_t i = 0; i < count; ++i) {
        if (const std::optional<QString>& parentId = tags[qsizetype(i)]->parentTagId()) {
            const int parent = m_index.value(QStringView(*parentId), -1);
            m_storedParent[i] = parent;
            m_missingParent[i] = parent < 0;
        }
    }

    // Parent loops: walk up from each node not yet placed; reaching a node of the walk itself closes
    // a loop, whose members all become flagged roots. Each node is walked over once.
    enum : char { unplaced, walking, placed };
    std::vector<char> state(count, unplaced);
    std::vector<int> walk;
    for (size_t start = 0; start < count; ++start) {
        int node = int(start);
        while (node >= 0 && state[size_t(node)] == unplaced) {
            state[size_t(node)] = walking;
            walk.push_back(node);
            node = m_storedParent[size_t(node)];
        }
        if (node >= 0 && state[size_t(node)] == walking) {
            const int closing = node;
            do {
                node = walk.back();
                walk.pop_back();
                state[size_t(node)] = placed;
                m_storedParent[size_t(node)] = -1;
                m_missingParent[size_t(node)] = 1;
            } while (node != closing);
        }
        for (int walked : walk) {
            state[size_t(walked)] = placed;
        }
        walk.clear();
    }

    // Subtree sums, deepest nodes first: depths by the same single walk per node.
    std::vector<int> depth(count, -1);
    int deepest = 0;
    for (size_t start = 0; start < count; ++start) {
        int node = int(start);
        while (node >= 0 && depth[size_t(node)] < 0) {
            walk.push_back(node);
            node = m_storedParent[size_t(node)];
        }
        int level = node >= 0 ? depth[size_t(node)] : -1;
        for (auto it = walk.rbegin(); it != walk.rend(); ++it) {
            depth[size_t(*it)] = ++level;
        }
        deepest = std::max(deepest, level);
        walk.clear();
    }
    std::vector<int> byDepth(size_t(deepest) + 2, 0);
    for (int level : depth) {
        ++byDepth[size_t(level) + 1];
    }
    for (size_t level = 1; level < byDepth.size(); ++level) {
        byDepth[level] += byDepth[level - 1];
    }
    std::vector<int> ordered(count);
    for (size_t i = 0; i < count; ++i) {
        ordered[size_t(byDepth[size_t(depth[i])]++)] = int(i);
    }
    m_subtreeTodos.resize(count);
    for (size_t i = 0; i < count; ++i) {
        m_subtreeTodos[i] = tags[qsizetype(i)]->todosCount().value_or(0);
    }
    for (auto it = ordered.rbegin(); it != ordered.rend(); ++it) {
        if (const int parent = m_storedParent[size_t(*it)]; parent >= 0) {
            m_subtreeTodos[size_t(parent)] += m_subtreeTodos[size_t(*it)];
        }
    }
}

void TagOutline::rebuild(TagSortOption sortOption, const QString& searchText) {
    const size_t count = m_storedParent.size();
    m_searching = !searchText.isEmpty() || m_query.conflictsOnly();
    m_matches = m_query.searchMatches(searchText);

    // With a search, a node is kept when it matches or a node below it does.
    std::vector<char> kept;
    if (m_searching) {
        kept.assign(count, 0);
        for (size_t i = 0; i < count; ++i) {
            for (int node = m_matches[i] ? int(i) : -1; node >= 0 && !kept[size_t(node)];
                 node = m_storedParent[size_t(node)]) {
                kept[size_t(node)] = 1;
            }
        }
    }
    auto isKept = [&kept](int node) {
        return kept.empty() || kept[size_t(node)];
    };

    // Children grouped under their parent, each group in the sort order.
    std::vector<int> order = m_query.positionsInOrder(sortOption);
    m_childStart.assign(count + 1, 0);
    m_parent.assign(count, -1);
    m_row.assign(count, -1);
    for (size_t i = 0; i < count; ++i) {
        if (isKept(int(i)) && m_storedParent[i] >= 0) {
            ++m_childStart[size_t(m_storedParent[i]) + 1];
        }
    }
    for (size_t i = 1; i <= count; ++i) {
        m_childStart[i] += m_childStart[i - 1];
    }
    m_children.assign(size_t(m_childStart[count]), -1);
    std::vector<int> filled(count, 0);
    m_roots.clear();
    for (int node : order) {
        if (!isKept(node)) {
            continue;
        }
        const int parent = m_storedParent[size_t(node)];
        m_parent[size_t(node)] = parent;
        if (parent < 0) {
            m_row[size_t(node)] = int(m_roots.size());
            m_roots.push_back(node);
        } else {
            const int at = filled[size_t(parent)]++;
            m_row[size_t(node)] = at;
            m_children[size_t(m_childStart[size_t(parent)] + at)] = node;
        }
    }
}

} // namespace orvalet
