#pragma once

#include "Tag.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <memory>
#include <optional>

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
