#pragma once

#include "Tag.h"
#include "TagSortOption.h"
#include "TagTree.h"

#include <QList>
#include <QLocale>
#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace orvalet {

class Preferences;
class TagStore;

// The display preferences the tag list follows, read once per rebuild rather than once per row.
struct TagListOptions {
    TagSortOption sortOption = TagSortOption::alphabetical;
    bool showRootTagsOnly = false;
    bool showChildrenCounts = false;
    bool showTodoCounts = false;
    bool showAsOutline = false;

    static TagListOptions read(const Preferences& preferences);
};

// The texts of one drawn row of the list. A count or the path is absent when the row does not show it.
struct TagRowTexts {
    QString name;
    std::optional<QString> childCountText; // "N child tags", with showChildrenCounts
    std::optional<QString> todoCountText;  // "N todos", with showTodoCounts; an unreported count is 0
    std::optional<QString> ancestorPath;   // "Grandparent > Parent" when the tag has one
    // Everything the row shows, for screen readers: "Garden, shortcut g, 2 child tags, 3 todos, Home".
    QString accessibleText;
};

// What the sidebar list shows: which tags, in which order, with which texts.
//
// The query reads the store's tags in name order (TagStore::allTags()) at construction and again at
// every storeChanged(), which the window calls from TagStore::changed. What a keystroke in the
// search field needs is kept from one store change to the next: each sort order, once asked for,
// and the lower-cased names, so that visibleTags is one filtering pass over a ready order. Child
// counts are likewise counted on first use; ancestor paths are found per row through the store's
// own index. Everything kept is per position in allTags(). A change of a few records moves the
// kept values of the others to their new positions and places only those records again, in each
// order by binary search, so that a rename at 100,000 tags costs no sort.
//
// Interface thread only: the lazily built parts are not guarded.
class TagListQuery final {
public:
    // The store must outlive the query. Without `read`, it holds no tags until the first
    // storeChanged(): a view that may never be shown spares the work.
    explicit TagListQuery(const TagStore& store, bool read = true);

    // Reads the store's tags again and drops everything derived from the previous ones.
    void storeChanged();
    // The same after a change of only the records with these identifiers (TagStore::changedIds()):
    // what is kept for the other records is moved, not made again.
    void storeChanged(const QSet<QString>& changedIds);
    const QList<TagPtr>& allTags() const { return m_tags; }
    // The stored record's position in allTags(); -1 when it has none.
    int positionOf(const QString& id) const;

    // The tags of the list, in order: the store's name order, stably re-sorted by the option
    // (latest updatedAt first, an absent one last; highest todosCount first, absent as 0), then,
    // with rootTagsOnly, only tags without a parent (an unresolved parent is not a root), then,
    // with a non-empty searchText, only names containing the text as typed, compared in lower case
    // under the user's locale (QLocale()), diacritics kept; a text "key:K" also finds the tags whose
    // shortcut is the key K (letter case aside; "key:" alone, every tag with a shortcut). With
    // conflictsOnly, only tags whose shortcut another tag also has.
    QList<TagPtr> visibleTags(TagSortOption sortOption, bool rootTagsOnly, const QString& searchText) const;
    QList<TagPtr> visibleTags(const TagListOptions& options, const QString& searchText) const;
    // The same tags as their positions in allTags().
    std::vector<int> visiblePositions(TagSortOption sortOption, bool rootTagsOnly,
                                      const QString& searchText) const;

    // The positions in allTags() in the option's order (the same order visibleTags gives).
    std::vector<int> positionsInOrder(TagSortOption sortOption) const;
    // Per position in allTags(), whether the name contains the search text as visibleTags matches
    // it; empty for an empty text.
    std::vector<char> searchMatches(const QString& searchText) const;

    // Whether the list shows only the tags whose shortcut another tag also has.
    bool conflictsOnly() const { return m_conflictsOnly; }
    void setConflictsOnly(bool on) { m_conflictsOnly = on; }
    // Whether another stored tag has the same shortcut key (Tag::keyIdentity).
    bool hasShortcutConflict(const Tag& tag) const;
    bool hasShortcutConflictAt(int position) const;
    // "shortcut 7": how a screen reader reads a row's key cap; with a conflict, ", shared" after it.
    static QString spokenShortcut(const QString& key, bool conflict);

    // The tag's direct children among all stored tags, whatever the list filters out.
    int childCount(const Tag& tag) const;
    // The same for the tag at a position of allTags(), and whether that one has an ancestor path.
    int childCountAt(int position) const;
    bool hasAncestorPathAt(int position) const;
    // The names above the tag, highest first, joined with " > "; none for a root tag or one whose
    // parent is not stored.
    std::optional<QString> ancestorPath(const Tag& tag) const;
    // Whether ancestorPath gives a path (the tag's parent is stored), without making it.
    bool hasAncestorPath(const Tag& tag) const;

    TagRowTexts rowTexts(const Tag& tag, const TagListOptions& options) const;

    // The positions in `rows` of the stored tags whose identifiers are in `ids`, ascending: the rows
    // to select again after the list was rebuilt. Identifiers without a row are left out.
    QList<qsizetype> rowsOf(const QList<TagPtr>& rows, const QSet<QString>& ids) const;

    // The lines of the status area above the list, in order; empty when the area is hidden. With
    // `conflictsOnly`, the window's "Show Shortcut Conflicts" filter is on.
    static QStringList statusLines(const TagListOptions& options, bool conflictsOnly = false);
    static QStringList statusLines(const Preferences& preferences, bool conflictsOnly = false);

private:
    // Every name lower-cased, one after another in one buffer: name i is text[start[i], start[i + 1]).
    struct LowerNames {
        QString locale;
        QLocale rules;
        QString text;
        std::vector<qsizetype> start;
    };
    // A sort order other than the names': positions in m_tags by descending key, equal keys in name
    // order; both empty until first asked for.
    struct KeyOrder {
        std::vector<qint64> keys; // per position
        std::vector<int> positions;
    };
    // Who is whose parent, by position: the parent's position, or -1 for a root or a parent that is
    // not stored; and the number of children at each position.
    struct Family {
        std::vector<int> parent;
        std::vector<int> childCounts;
        qsizetype unresolved = 0; // tags naming a parent that is not stored
    };

    const std::vector<int>& order(TagSortOption sortOption) const;
    const LowerNames& lowerNames(const QLocale& locale) const;
    const Family& family() const;
    int positionOf(const Tag& tag) const;
    int parentPosition(const Tag& tag) const;
    // Per position, whether another tag has the same shortcut key.
    const std::vector<char>& conflicts() const;
    // Per position in name order, whether the lower-cased name contains `needle`.
    std::vector<char> nameMatches(const QString& needle, const LowerNames& names) const;

    const TagStore& m_store;
    QList<TagPtr> m_tags;
    std::vector<char> m_isRoot;
    mutable KeyOrder m_recentlyUpdated;
    mutable KeyOrder m_mostTodos;
    mutable std::optional<LowerNames> m_lowerNames;
    mutable std::optional<Family> m_family;
    mutable std::optional<std::vector<char>> m_conflicts;
    bool m_conflictsOnly = false;
};

} // namespace orvalet
