#pragma once

#include "Tag.h"
#include "TagSortOption.h"

#include <QHash>
#include <QString>
#include <QStringView>
#include <vector>

namespace orvalet {

class TagListQuery;

// The tag forest as the outline shows it: roots at the top, each tag under its parent, siblings in
// the list's sort order.
//
// A tag whose parent is not stored, and every tag of a parent loop in the stored data (A under B
// under A), is shown once as a root and flagged: nothing hangs or vanishes. A search keeps each
// matching tag and the tags above it, the latter flagged as context; every other tag is left out.
//
// Nodes are positions in the query's allTags(), so one node stands for one stored record until the
// next store change. What depends only on the store (parents, loops, subtree counts, the identifier
// index) is worked out once per store change; rebuild() then costs a few passes over the nodes.
class TagOutline final {
public:
    // The query must outlive the outline; call storeChanged() after the query's own.
    explicit TagOutline(const TagListQuery& query);

    void storeChanged();
    // The visible forest for a sort order and a search text (empty: every tag).
    void rebuild(TagSortOption sortOption, const QString& searchText);

    bool isSearching() const { return m_searching; }

    int rootCount() const { return int(m_roots.size()); }
    int root(int row) const { return m_roots[size_t(row)]; }
    int childCount(int node) const { return m_childStart[size_t(node) + 1] - m_childStart[size_t(node)]; }
    int child(int node, int row) const { return m_children[size_t(m_childStart[size_t(node)] + row)]; }
    // The node a node is shown under; -1 for a root.
    int parent(int node) const { return m_parent[size_t(node)]; }
    // The node's row under its parent (or among the roots).
    int row(int node) const { return m_row[size_t(node)]; }
    bool isVisible(int node) const { return m_row[size_t(node)] >= 0; }

    const TagPtr& tag(int node) const;
    // The shown node of the stored record with this identifier; -1 when none is shown.
    int nodeOf(QStringView id) const;
    // Shown as a root because its parent is not stored or it sits in a parent loop.
    bool hasMissingParent(int node) const { return m_missingParent[size_t(node)] != 0; }
    // Shown only because a tag below it matches the search.
    bool isContext(int node) const { return m_searching && !m_matches[size_t(node)]; }
    // The open to-dos of the tag and of every tag below it (an unreported count is 0). A to-do with
    // several of these tags counts once per tag, as Things 3 reports counts per tag.
    qint64 subtreeTodos(int node) const { return m_subtreeTodos[size_t(node)]; }

private:
    const TagListQuery& m_query;

    // Per store change.
    QHash<QStringView, int> m_index;   // identifier -> node
    std::vector<int> m_storedParent;   // the parent's node; -1 for a root or a missing parent
    std::vector<char> m_missingParent; // flagged roots: missing parent or inside a loop
    std::vector<qint64> m_subtreeTodos;

    // Per rebuild.
    bool m_searching = false;
    std::vector<char> m_matches;
    std::vector<int> m_roots;
    std::vector<int> m_childStart; // children of node n: m_children[m_childStart[n] .. m_childStart[n + 1])
    std::vector<int> m_children;
    std::vector<int> m_parent;
    std::vector<int> m_row;
};

} // namespace orvalet
