#include "TagListQuery.h"

#include "DisplayTexts.h"
#include "Preferences.h"
#include "TagStore.h"

#include <QDateTime>
#include <QStringMatcher>
#include <algorithm>
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

// Positions 0..n-1 stably sorted by descending key, so equal keys keep the name order.
template <typename Key>
std::vector<int> descendingOrder(const QList<TagPtr>& tags, Key key) {
    std::vector<qint64> keys;
    keys.reserve(size_t(tags.size()));
    for (const TagPtr& tag : tags) {
        keys.push_back(key(*tag));
    }
    std::vector<int> order(size_t(tags.size()));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&keys](int a, int b) { return keys[size_t(a)] > keys[size_t(b)]; });
    return order;
}

} // namespace

TagListOptions TagListOptions::read(const Preferences& preferences) {
    return TagListOptions{preferences.sortOption(), preferences.showRootTagsOnly(),
                          preferences.showChildrenCounts(), preferences.showTodoCounts(),
                          preferences.showAsOutline()};
}

TagListQuery::TagListQuery(const TagStore& store)
    : m_store(store) {
    storeChanged();
}

void TagListQuery::storeChanged() {
    m_tags = m_store.allTags();
    m_isRoot.resize(size_t(m_tags.size()));
    for (qsizetype i = 0; i < m_tags.size(); ++i) {
        m_isRoot[size_t(i)] = m_tags[i]->isRoot();
    }
    m_recentlyUpdated.clear();
    m_mostTodos.clear();
    m_lowerNames.reset();
    m_childCounts.reset();
}

const std::vector<int>& TagListQuery::order(TagSortOption sortOption) const {
    const bool byTodos = sortOption == TagSortOption::mostTodos;
    std::vector<int>& order = byTodos ? m_mostTodos : m_recentlyUpdated;
    if (order.empty() && !m_tags.isEmpty()) {
        order = byTodos ? descendingOrder(m_tags, [](const Tag& tag) { return tag.todosCount().value_or(0); })
                        : descendingOrder(m_tags, updatedAtKey);
    }
    return order;
}

const TagListQuery::LowerNames& TagListQuery::lowerNames(const QLocale& locale) const {
    const QString localeName = locale.bcp47Name();
    if (!m_lowerNames || m_lowerNames->locale != localeName) {
        const SearchLowering lower(locale);
        LowerNames names{localeName, {}, {}};
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

std::vector<char> TagListQuery::searchMatches(const QString& searchText) const {
    if (searchText.isEmpty()) {
        return {};
    }
    const QLocale locale;
    return nameMatches(SearchLowering(locale)(searchText), lowerNames(locale));
}

QList<TagPtr> TagListQuery::visibleTags(TagSortOption sortOption, bool rootTagsOnly,
                                        const QString& searchText) const {
    const bool alphabetical = sortOption == TagSortOption::alphabetical;
    if (alphabetical && !rootTagsOnly && searchText.isEmpty()) {
        return m_tags;
    }
    const std::vector<char> matches = searchMatches(searchText);
    QList<TagPtr> visible;
    auto consider = [&](int i) {
        if ((!rootTagsOnly || m_isRoot[size_t(i)]) && (matches.empty() || matches[size_t(i)])) {
            visible.append(m_tags[i]);
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
    if (!m_childCounts) {
        m_childCounts = TagTree::childCountsByParentId(m_tags);
    }
    return TagTree::childCount(tag, *m_childCounts);
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

QStringList TagListQuery::statusLines(const TagListOptions& options) {
    QStringList lines;
    if (options.sortOption != TagSortOption::alphabetical) {
        lines.append(QStringLiteral("Sorted by: ") + TagSortOptions::rawValue(options.sortOption));
    }
    if (options.showRootTagsOnly) {
        lines.append(QStringLiteral("Showing only root tags"));
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

QStringList TagListQuery::statusLines(const Preferences& preferences) {
    return statusLines(TagListOptions::read(preferences));
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
