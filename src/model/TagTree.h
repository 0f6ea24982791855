#pragma once

#include "Tag.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
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

// Every tag below `tag` (not the tag itself), breadth first: each level grouped by parent in the
// order of the level above, each group in the order of `tags`.
QList<TagPtr> descendantsInDeletionOrder(const Tag& tag, const QList<TagPtr>& tags);

// The tags that may become the new parent of the edited tags: every tag that is neither one of
// them nor below one of them, in the order of `tags`.
QList<TagPtr> parentChoices(const QSet<QString>& editedIds, const QList<TagPtr>& tags);

} // namespace TagTree
} // namespace orvalet
