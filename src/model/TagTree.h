#pragma once

#include "Tag.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

namespace orvalet {

// The rules of the tag forest, as pure functions over the complete list of stored tags. Nothing
// derived is kept: callers rebuild what they need from the list they hold. Every rule is linear in
// the number of tags and the depth of the tree, and ends on links that form a cycle.
namespace TagTree {

using TagsById = QHash<QString, TagPtr>;
using ChildCounts = QHash<QString, int>;

TagsById tagsById(const QList<TagPtr>& tags);

// Parent identifier to the number of tags naming it, unresolved parents included.
ChildCounts childCountsByParentId(const QList<TagPtr>& tags);

// Direct children only, counted over the whole list.
int childCount(const Tag& tag, const ChildCounts& counts);

// The names of the ancestors reached through `tagsById`, highest first, joined with " > ";
// none for a root or a tag whose direct parent is not stored.
std::optional<QString> ancestorPath(const Tag& tag, const TagsById& tagsById);

// The given identifiers and every identifier below them.
QSet<QString> descendantIds(const QSet<QString>& rootIds, const QList<TagPtr>& tags);

// The children of every parent identifier (unresolved ones too) over one list of tags, each in the
// order of that list. Built once in linear time and read by any number of walks, so a run that
// deletes many tags walks one picture of the tree without indexing the store again for each. It
// keeps the tags it was built from: later changes of the store do not reach it.
class ChildLists final {
public:
    explicit ChildLists(QList<TagPtr> tags);

    struct Index;

private:
    friend QList<TagPtr> descendantsInDeletionOrder(const Tag& tag, const ChildLists& children);

    QList<TagPtr> m_tags;
    std::shared_ptr<const Index> m_index;
};

// The ancestor path of every tag of one list, each made once: the path of a tag is the path of its
// parent followed by the parent's name, and the children of one parent share one text. Built in
// linear time. It keeps the tags and names it was built from: later changes of the store do not
// reach it.
class AncestorPaths final {
public:
    explicit AncestorPaths(QList<TagPtr> tags);

    // ancestorPath(tags[index], tagsById(tags)).
    std::optional<QString> at(qsizetype index) const;

private:
    std::optional<QString> walk(int tag) const;

    QList<TagPtr> m_tags;
    std::vector<int> m_parent; // the parent's index in the list; -1 when there is none in it
    // For a tag that has children and whose ancestors end without a loop: its path followed by its
    // name, which is the path of each of its children. Tags whose walk up meets a loop are walked
    // each time, as the rule does, because their paths depend on where the walk starts.
    std::vector<QString> m_pathBelow;
    std::vector<char> m_meetsLoop;
};

// Every tag below `tag` (not the tag itself), breadth first: each level grouped by parent in the
// order of the level above, each group in the order of `tags`.
QList<TagPtr> descendantsInDeletionOrder(const Tag& tag, const QList<TagPtr>& tags);
// The same walk over child lists built before.
QList<TagPtr> descendantsInDeletionOrder(const Tag& tag, const ChildLists& children);

// The tags that may become the new parent of the edited tags: every tag that is neither one of
// them nor below one of them, in the order of `tags`.
QList<TagPtr> parentChoices(const QSet<QString>& editedIds, const QList<TagPtr>& tags);

} // namespace TagTree
} // namespace orvalet
