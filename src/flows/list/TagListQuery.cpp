#include "TagListQuery.h"

#include "DisplayTexts.h"
#include "Preferences.h"
#include "TagStore.h"
#include "TextOrder.h"

#include <QDateTime>
#include <QStringMatcher>
#include <algorithm>
#include <iterator>
#include <numeric>

namespace orvalet {

namespace {

// Lower case under the locale's rules, appended to `out`. ICU makes that about a microsecond per
// name, too slow for every name of a large library at every store change; but outside Turkish and
// Azerbaijani (where I lowers to dotless ı) the locale's rules give plain ASCII lower case for ASCII
// text, so only names with other characters need the locale. The result is the locale's own
// either way.
class SearchLowering {
public:
    explicit SearchLowering(const QLocale& locale)
        : m_locale(locale)
        , m_asciiIsPlain(locale.language() != QLocale::Turkish && locale.language() != QLocale::Azerbaijani) {
    }

    void appendTo(QString& out, QStringView text) const {
        if (m_asciiIsPlain && isAscii(text)) {
            const qsizetype at = out.size();
            out.resize(at + text.size());
            char16_t* lowered = reinterpret_cast<char16_t*>(out.data()) + at;
            for (QChar c : text) {
                const char16_t unit = c.unicode();
                *lowered++ = unit >= u'A' && unit <= u'Z' ? char16_t(unit + (u'a' - u'A')) : unit;
            }
        } else {
            out += m_locale.toLower(text.toString());
        }
    }

    QString operator()(const QString& text) const {
        QString lowered;
        appendTo(lowered, text);
        return lowered;
    }

private:
    static bool isAscii(QStringView text) {
        return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
    }

    QLocale m_locale;
    bool m_asciiIsPlain;
};

// An absent updatedAt sorts as the start of year 1, before any real time.
qint64 updatedAtKey(const Tag& tag) {
    static const qint64 distantPast = QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
    const auto& updatedAt = tag.updatedAt();
    return updatedAt && updatedAt->isValid() ? updatedAt->toMSecsSinceEpoch() : distantPast;
}

qint64 todosKey(const Tag& tag) {
    return tag.todosCount().value_or(0);
}

// The store's name order (TagStore::allTags()): the names' sort keys, equal keys by identifier.
bool sortsBefore(const Tag& a, const Tag& b) {
    const int order = TextOrder::compareKeys(a.nameSortKey(), b.nameSortKey());
    return order != 0 ? order < 0 : TextOrder::compareKeys(a.id(), b.id()) < 0;
}

// The values kept per position, moved to the new positions; `make` gives those of a position that
// has no earlier one.
template <typename T, typename Make>
std::vector<T> moved(const std::vector<T>& values, const std::vector<int>& newToOld, Make make) {
    std::vector<T> result(newToOld.size());
    for (size_t j = 0; j < newToOld.size(); ++j) {
        result[j] = newToOld[j] >= 0 ? values[size_t(newToOld[j])] : make(int(j));
    }
    return result;
}

} // namespace

TagListOptions TagListOptions::read(const Preferences& preferences) {
    return TagListOptions{preferences.sortOption(), preferences.showRootTagsOnly(),
                          preferences.showChildrenCounts(), preferences.showTodoCounts(),
                          preferences.showAsOutline()};
}

TagListQuery::TagListQuery(const TagStore& store, bool read)
    : m_store(store) {
    if (read) {
        storeChanged();
    }
}

void TagListQuery::storeChanged() {
    m_tags = m_store.allTags();
    m_isRoot.resize(size_t(m_tags.size()));
    for (qsizetype i = 0; i < m_tags.size(); ++i) {
        m_isRoot[size_t(i)] = m_tags[i]->isRoot();
    }
    m_recentlyUpdated = {};
    m_mostTodos = {};
    m_lowerNames.reset();
    m_family.reset();
    m_conflicts.reset();
}

void TagListQuery::storeChanged(const QSet<QString>& changedIds) {
    // Past a few thousand records one pass that makes everything again costs less.
    if (m_tags.isEmpty() || changedIds.size() > std::max<qsizetype>(64, m_tags.size() / 32)) {
        storeChanged();
        return;
    }
    m_conflicts.reset(); // one pass over the keys, cheap next to what follows
    const QList<TagPtr> tags = m_store.allTags();
    std::vector<const Tag*> touched;
    touched.reserve(size_t(changedIds.size()));
    for (const QString& id : changedIds) {
        if (const TagPtr tag = m_store.tag(id)) {
            touched.push_back(tag.get());
        }
    }
    std::sort(touched.begin(), touched.end());
    const auto isTouched = [&touched](const Tag* tag) {
        return std::binary_search(touched.begin(), touched.end(), tag);
    };

    // The records the change left alone keep their order: one walk over both lists pairs them.
    // Deleted records are no longer stored; the changed ones are placed again below.
    const int oldCount = int(m_tags.size());
    const int newCount = int(tags.size());
    std::vector<int> newToOld(size_t(newCount), -1);
    int removed = 0;
    int i = 0;
    for (int j = 0; j < newCount || i < oldCount;) {
        const Tag* now = j < newCount ? tags[j].get() : nullptr;
        const Tag* was = i < oldCount ? m_tags[i].get() : nullptr;
        if (was && was == now) {
            newToOld[size_t(j)] = isTouched(now) ? -1 : i;
            ++i;
            ++j;
        } else if (was && (!was->isStored() || isTouched(was))) {
            removed += was->isStored() ? 0 : 1;
            ++i;
        } else if (now && isTouched(now)) {
            ++j;
        } else {
            storeChanged(); // a record changed that the list of changes does not name
            return;
        }
    }
    const bool inserted = newCount > oldCount - removed;
    std::vector<int> oldToNew(size_t(oldCount), -1);
    std::vector<int> fresh;
    for (int j = 0; j < newCount; ++j) {
        if (newToOld[size_t(j)] >= 0) {
            oldToNew[size_t(newToOld[size_t(j)])] = j;
        } else {
            fresh.push_back(j);
        }
    }
    m_tags = tags;
    m_isRoot = moved(m_isRoot, newToOld, [&tags](int j) { return char(tags[j]->isRoot()); });

    for (KeyOrder* order : {&m_recentlyUpdated, &m_mostTodos}) {
        if (order->positions.empty()) {
            continue;
        }
        qint64 (*const key)(const Tag&) = order == &m_mostTodos ? todosKey : updatedAtKey;
        order->keys = moved(order->keys, newToOld, [&tags, key](int j) { return key(*tags[j]); });
        const auto before = [&keys = order->keys](int a, int b) {
            return keys[size_t(a)] != keys[size_t(b)] ? keys[size_t(a)] > keys[size_t(b)] : a < b;
        };
        // The others keep their order under the new positions; the changed ones merge in.
        std::vector<int> kept;
        kept.reserve(size_t(newCount));
        for (const int position : order->positions) {
            if (const int now = oldToNew[size_t(position)]; now >= 0) {
                kept.push_back(now);
            }
        }
        std::vector<int> placed = fresh;
        std::sort(placed.begin(), placed.end(), before);
        order->positions.clear();
        order->positions.reserve(size_t(newCount));
        std::merge(kept.begin(), kept.end(), placed.begin(), placed.end(),
                   std::back_inserter(order->positions), before);
    }

    if (m_lowerNames) {
        // Runs of names that kept their neighbours are copied as one piece.
        const LowerNames& old = *m_lowerNames;
        const SearchLowering lower(old.rules);
        LowerNames names{old.locale, old.rules, {}, {}};
        names.text.reserve(old.text.size() + 32 * qsizetype(fresh.size()));
        names.start.resize(size_t(newCount) + 1);
        for (int j = 0; j < newCount;) {
            const int first = newToOld[size_t(j)];
            if (first < 0) {
                names.start[size_t(j)] = names.text.size();
                lower.appendTo(names.text, tags[j]->name());
                ++j;
                continue;
            }
            int end = j + 1;
            while (end < newCount && newToOld[size_t(end)] == first + (end - j)) {
                ++end;
            }
            const qsizetype shift = names.text.size() - old.start[size_t(first)];
            for (int k = j; k < end; ++k) {
                names.start[size_t(k)] = old.start[size_t(first + (k - j))] + shift;
            }
            const qsizetype from = old.start[size_t(first)];
            names.text.append(
                QStringView(old.text).sliced(from, old.start[size_t(first + (end - j))] - from));
            j = end;
        }
        names.start[size_t(newCount)] = names.text.size();
        m_lowerNames = std::move(names);
    }

    // A new record may be the parent that stored tags name without finding it: then all is counted
    // again. Otherwise a tag keeps its parent unless it changed or its parent moved or went.
    if (m_family && inserted && m_family->unresolved > 0) {
        m_family.reset();
    }
    if (m_family) {
        const Family& old = *m_family;
        Family family;
        family.parent.resize(size_t(newCount));
        family.childCounts.assign(size_t(newCount), 0);
        for (int j = 0; j < newCount; ++j) {
            const int was = newToOld[size_t(j)];
            int parent = -1;
            if (was < 0) {
                parent = parentPosition(*tags[j]);
            } else if (const int oldParent = old.parent[size_t(was)]; oldParent >= 0) {
                parent = oldToNew[size_t(oldParent)];
                if (parent < 0) {
                    parent = parentPosition(*tags[j]);
                }
            }
            family.parent[size_t(j)] = parent;
            if (parent >= 0) {
                ++family.childCounts[size_t(parent)];
            } else if (tags[j]->parentTagId()) {
                ++family.unresolved;
            }
        }
        m_family = std::move(family);
    }
}

int TagListQuery::positionOf(const Tag& tag) const {
    const auto it = std::lower_bound(m_tags.cbegin(), m_tags.cend(), &tag,
                                     [](const TagPtr& a, const Tag* b) { return sortsBefore(*a, *b); });
    return it != m_tags.cend() && it->get() == &tag ? int(it - m_tags.cbegin()) : -1;
}

int TagListQuery::positionOf(const QString& id) const {
    const TagPtr tag = m_store.tag(id);
    return tag ? positionOf(*tag) : -1;
}

int TagListQuery::parentPosition(const Tag& tag) const {
    const std::optional<QString>& parentId = tag.parentTagId();
    const TagPtr parent = parentId ? m_store.tag(*parentId) : nullptr;
    return parent ? positionOf(*parent) : -1;
}

const TagListQuery::Family& TagListQuery::family() const {
    if (!m_family) {
        const size_t count = size_t(m_tags.size());
        QHash<QStringView, int> positions;
        positions.reserve(m_tags.size());
        for (qsizetype i = 0; i < m_tags.size(); ++i) {
            positions.insert(QStringView(m_tags[i]->id()), int(i));
        }
        Family family;
        family.parent.assign(count, -1);
        family.childCounts.assign(count, 0);
        for (size_t i = 0; i < count; ++i) {
            if (const std::optional<QString>& parentId = m_tags[qsizetype(i)]->parentTagId()) {
                const int parent = positions.value(QStringView(*parentId), -1);
                family.parent[i] = parent;
                if (parent >= 0) {
                    ++family.childCounts[size_t(parent)];
                } else {
                    ++family.unresolved;
                }
            }
        }
        m_family = std::move(family);
    }
    return *m_family;
}

const std::vector<int>& TagListQuery::order(TagSortOption sortOption) const {
    const bool byTodos = sortOption == TagSortOption::mostTodos;
    KeyOrder& order = byTodos ? m_mostTodos : m_recentlyUpdated;
    if (order.positions.empty() && !m_tags.isEmpty()) {
        order.keys.clear();
        order.keys.reserve(size_t(m_tags.size()));
        for (const TagPtr& tag : std::as_const(m_tags)) {
            order.keys.push_back(byTodos ? todosKey(*tag) : updatedAtKey(*tag));
        }
        // Stable, so equal keys keep the name order.
        order.positions.resize(size_t(m_tags.size()));
        std::iota(order.positions.begin(), order.positions.end(), 0);
        std::stable_sort(order.positions.begin(), order.positions.end(),
                         [&keys = order.keys](int a, int b) { return keys[size_t(a)] > keys[size_t(b)]; });
    }
    return order.positions;
}

const TagListQuery::LowerNames& TagListQuery::lowerNames(const QLocale& locale) const {
    const QString localeName = locale.bcp47Name();
    if (!m_lowerNames || m_lowerNames->locale != localeName) {
        const SearchLowering lower(locale);
        LowerNames names{localeName, locale, {}, {}};
        names.text.reserve(m_tags.size() * 24);
        names.start.reserve(size_t(m_tags.size()) + 1);
        for (const TagPtr& tag : std::as_const(m_tags)) {
            names.start.push_back(names.text.size());
            lower.appendTo(names.text, tag->name());
        }
        names.start.push_back(names.text.size());
        m_lowerNames = std::move(names);
    }
    return *m_lowerNames;
}

std::vector<char> TagListQuery::nameMatches(const QString& needle, const LowerNames& names) const {
    // One search through all names at once skips the names without a match in bulk. A hit that
    // runs from one name into the next is no match; the search goes on from its next character.
    std::vector<char> matches(size_t(m_tags.size()), 0);
    const QStringMatcher matcher(needle);
    const QStringView text(names.text);
    size_t name = 0;
    qsizetype from = 0;
    for (qsizetype hit; (hit = matcher.indexIn(text, from)) >= 0;) {
        while (names.start[name + 1] <= hit) {
            ++name;
        }
        if (hit + needle.size() <= names.start[name + 1]) {
            matches[name] = 1;
            from = names.start[name + 1];
        } else {
            from = hit + 1;
        }
    }
    return matches;
}

std::vector<int> TagListQuery::positionsInOrder(TagSortOption sortOption) const {
    if (sortOption != TagSortOption::alphabetical) {
        return order(sortOption);
    }
    std::vector<int> positions(size_t(m_tags.size()));
    std::iota(positions.begin(), positions.end(), 0);
    return positions;
}

const std::vector<char>& TagListQuery::conflicts() const {
    if (!m_conflicts) {
        QHash<QString, int> holders;
        std::vector<QString> keys(size_t(m_tags.size()));
        for (qsizetype i = 0; i < m_tags.size(); ++i) {
            if (const QString key = m_tags[i]->shortcutKey(); !key.isEmpty()) {
                keys[size_t(i)] = Tag::keyIdentity(key);
                ++holders[keys[size_t(i)]];
            }
        }
        std::vector<char> conflicting(keys.size(), 0);
        for (size_t i = 0; i < keys.size(); ++i) {
            conflicting[i] = !keys[i].isEmpty() && holders.value(keys[i]) > 1;
        }
        m_conflicts = std::move(conflicting);
    }
    return *m_conflicts;
}

bool TagListQuery::hasShortcutConflictAt(int position) const {
    return position >= 0 && conflicts()[size_t(position)];
}

bool TagListQuery::hasShortcutConflict(const Tag& tag) const {
    return !tag.shortcutKey().isEmpty() && hasShortcutConflictAt(positionOf(tag));
}

QString TagListQuery::spokenShortcut(const QString& key, bool conflict) {
    return QStringLiteral("shortcut ") + key + (conflict ? QStringLiteral(", shared") : QString());
}

std::vector<char> TagListQuery::searchMatches(const QString& searchText) const {
    std::vector<char> matches;
    if (!searchText.isEmpty()) {
        const QLocale locale;
        matches = nameMatches(SearchLowering(locale)(searchText), lowerNames(locale));
        // "key:7" finds the tags with that key, as well as any name that holds the text itself.
        static const QString keyPrefix = QStringLiteral("key:");
        if (searchText.startsWith(keyPrefix, Qt::CaseInsensitive)) {
            const QString wanted = Tag::keyIdentity(searchText.sliced(keyPrefix.size()));
            for (qsizetype i = 0; i < m_tags.size(); ++i) {
                const QString key = m_tags[i]->shortcutKey();
                if (!key.isEmpty() && (wanted.isEmpty() || Tag::keyIdentity(key) == wanted)) {
                    matches[size_t(i)] = 1;
                }
            }
        }
    }
    if (m_conflictsOnly) {
        const std::vector<char>& conflicting = conflicts();
        if (matches.empty()) {
            return conflicting;
        }
        for (size_t i = 0; i < matches.size(); ++i) {
            matches[i] = matches[i] && conflicting[i];
        }
    }
    return matches;
}

QList<TagPtr> TagListQuery::visibleTags(TagSortOption sortOption, bool rootTagsOnly,
                                        const QString& searchText) const {
    if (sortOption == TagSortOption::alphabetical && !rootTagsOnly && searchText.isEmpty() &&
        !m_conflictsOnly) {
        return m_tags;
    }
    QList<TagPtr> visible;
    for (const int position : visiblePositions(sortOption, rootTagsOnly, searchText)) {
        visible.append(m_tags[position]);
    }
    return visible;
}

std::vector<int> TagListQuery::visiblePositions(TagSortOption sortOption, bool rootTagsOnly,
                                                const QString& searchText) const {
    const bool alphabetical = sortOption == TagSortOption::alphabetical;
    const std::vector<char> matches = searchMatches(searchText);
    std::vector<int> visible;
    visible.reserve(size_t(m_tags.size()));
    auto consider = [&](int i) {
        if ((!rootTagsOnly || m_isRoot[size_t(i)]) && (matches.empty() || matches[size_t(i)])) {
            visible.push_back(i);
        }
    };
    if (alphabetical) {
        for (int i = 0; i < int(m_tags.size()); ++i) {
            consider(i);
        }
    } else {
        for (int i : order(sortOption)) {
            consider(i);
        }
    }
    return visible;
}

QList<TagPtr> TagListQuery::visibleTags(const TagListOptions& options, const QString& searchText) const {
    return visibleTags(options.sortOption, options.showRootTagsOnly, searchText);
}

int TagListQuery::childCount(const Tag& tag) const {
    const int position = positionOf(tag);
    return position >= 0 ? childCountAt(position) : 0;
}

int TagListQuery::childCountAt(int position) const {
    return family().childCounts[size_t(position)];
}

bool TagListQuery::hasAncestorPathAt(int position) const {
    return family().parent[size_t(position)] >= 0;
}

std::optional<QString> TagListQuery::ancestorPath(const Tag& tag) const {
    // The rule reads only the tag's ancestors: it is handed those, found through the store's own
    // index, rather than an index of every tag built again at every store change. The walk ends
    // where the rule's does, at a parent that is not stored or one already reached.
    TagTree::TagsById ancestors;
    const Tag* current = &tag;
    while (const auto& parentId = current->parentTagId()) {
        if (ancestors.contains(*parentId)) {
            break;
        }
        const TagPtr parent = m_store.tag(*parentId);
        if (!parent) {
            break;
        }
        ancestors.insert(parent->id(), parent);
        current = parent.get();
    }
    return TagTree::ancestorPath(tag, ancestors);
}

bool TagListQuery::hasAncestorPath(const Tag& tag) const {
    return tag.parentTagId() && m_store.tag(*tag.parentTagId());
}

TagRowTexts TagListQuery::rowTexts(const Tag& tag, const TagListOptions& options) const {
    TagRowTexts row;
    row.name = tag.name();
    QStringList spoken{row.name};
    if (const QString key = tag.shortcutKey(); !key.isEmpty()) {
        spoken.append(spokenShortcut(key, hasShortcutConflict(tag)));
    }
    if (options.showChildrenCounts) {
        row.childCountText = DisplayTexts::childCountText(childCount(tag));
        spoken.append(*row.childCountText);
    }
    if (options.showTodoCounts) {
        row.todoCountText = DisplayTexts::todoCountText(tag.todosCount().value_or(0));
        spoken.append(*row.todoCountText);
    }
    row.ancestorPath = ancestorPath(tag);
    if (row.ancestorPath) {
        spoken.append(*row.ancestorPath);
    }
    row.accessibleText = spoken.join(QStringLiteral(", "));
    return row;
}

QStringList TagListQuery::statusLines(const TagListOptions& options, bool conflictsOnly) {
    QStringList lines;
    if (options.sortOption != TagSortOption::alphabetical) {
        lines.append(QStringLiteral("Sorted by: ") + TagSortOptions::rawValue(options.sortOption));
    }
    if (options.showRootTagsOnly) {
        lines.append(QStringLiteral("Showing only root tags"));
    }
    if (conflictsOnly) {
        lines.append(QStringLiteral("Showing only shortcut conflicts"));
    }
    if (options.showChildrenCounts) {
        lines.append(QStringLiteral("Showing children counts"));
    }
    if (options.showTodoCounts) {
        lines.append(QStringLiteral("Showing todo counts"));
    }
    if (options.showAsOutline) {
        lines.append(QStringLiteral("Showing outline"));
    }
    return lines;
}

QStringList TagListQuery::statusLines(const Preferences& preferences, bool conflictsOnly) {
    return statusLines(TagListOptions::read(preferences), conflictsOnly);
}

QList<qsizetype> TagListQuery::rowsOf(const QList<TagPtr>& rows, const QSet<QString>& ids) const {
    // Records are compared by address, which the rows hold: no row's tag is read.
    QSet<const Tag*> wanted;
    for (const QString& id : ids) {
        if (const TagPtr tag = m_store.tag(id)) {
            wanted.insert(tag.get());
        }
    }
    QList<qsizetype> found;
    if (wanted.isEmpty()) {
        return found;
    }
    for (qsizetype row = 0; row < rows.size(); ++row) {
        if (wanted.contains(rows[row].get())) {
            found.append(row);
        }
    }
    return found;
}

} // namespace orvalet
