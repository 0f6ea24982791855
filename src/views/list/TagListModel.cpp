#include "TagListModel.h"

#include "DisplayTexts.h"
#include "Preferences.h"
#include "TagStore.h"

#include <algorithm>

namespace orvalet {

TagListModel::TagListModel(TagStore& store, Preferences& preferences, QObject* parent)
    : DraggableTags<QAbstractListModel>(parent)
    , m_store(store)
    , m_preferences(preferences)
    , m_query(store)
    , m_options(TagListOptions::read(preferences)) {
    connect(&store, &TagStore::changed, this, &TagListModel::storeChanged);
    connect(&preferences, &Preferences::changed, this, [this](PreferenceKey key) {
        if (key == PreferenceKey::lastImportDate) {
            return;
        }
        m_options = TagListOptions::read(m_preferences);
        if (m_active) {
            rebuild();
        }
    });
    m_rows = m_query.visiblePositions(m_options.sortOption, m_options.showRootTagsOnly, m_searchText);
}

int TagListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

TagPtr TagListModel::tagAt(int row) const {
    return row >= 0 && size_t(row) < m_rows.size() ? m_query.allTags()[m_rows[size_t(row)]] : TagPtr();
}

QList<TagPtr> TagListModel::rows() const {
    QList<TagPtr> tags;
    tags.reserve(qsizetype(m_rows.size()));
    for (const int position : m_rows) {
        tags.append(m_query.allTags()[position]);
    }
    return tags;
}

QList<qsizetype> TagListModel::rowsOf(const QSet<QString>& ids) const {
    QList<qsizetype> found;
    if (!m_wantedKnown || ids != m_wantedIds) {
        // A few tags are found by name; many by one pass over the records, which reads no name.
        constexpr qsizetype fewIds = 32;
        const QList<TagPtr>& tags = m_query.allTags();
        m_wanted.clear();
        std::vector<const Tag*> records;
        for (const QString& id : ids) {
            if (ids.size() <= fewIds) {
                if (const int position = m_query.positionOf(id); position >= 0) {
                    m_wanted.resize(size_t(tags.size()));
                    m_wanted[size_t(position)] = 1;
                }
            } else if (const TagPtr tag = m_store.tag(id)) {
                records.push_back(tag.get());
            }
        }
        std::sort(records.begin(), records.end());
        for (qsizetype i = 0; !records.empty() && i < tags.size(); ++i) {
            if (std::binary_search(records.begin(), records.end(), tags[i].get())) {
                m_wanted.resize(size_t(tags.size()));
                m_wanted[size_t(i)] = 1;
            }
        }
        m_wantedIds = ids;
        m_wantedKnown = true;
    }
    for (size_t row = 0; !m_wanted.empty() && row < m_rows.size(); ++row) {
        if (m_wanted[size_t(m_rows[row])]) {
            found.append(qsizetype(row));
        }
    }
    return found;
}

void RowExtents::Collector::add(const QString& name, const QString& key, int depth, bool icon) {
    const int estimate =
        int(std::min<qsizetype>(name.size(), nameCap)) + 3 * depth + (key.isEmpty() ? 0 : 3) + (icon ? 3 : 0);
    const auto fewer = [](const auto& a, const auto& b) {
        return a.first > b.first;
    };
    if (m_heap.size() == kept && estimate <= m_heap.front().first) {
        return;
    }
    m_heap.emplace_back(estimate, Row{name, key, depth, icon});
    std::push_heap(m_heap.begin(), m_heap.end(), fewer);
    if (m_heap.size() > kept) {
        std::pop_heap(m_heap.begin(), m_heap.end(), fewer);
        m_heap.pop_back();
    }
}

QList<RowExtents::Row> RowExtents::Collector::take() {
    QList<Row> rows;
    for (auto& [estimate, row] : m_heap) {
        rows.append(std::move(row));
    }
    m_heap.clear();
    return rows;
}

RowExtents TagListModel::rowExtents() const {
    RowExtents extents;
    RowExtents::Collector widest;
    qint64 children = -1, todos = -1;
    for (const int position : m_rows) {
        const Tag& tag = *m_query.allTags()[position];
        widest.add(tag.name(), tag.shortcutKey(), 0, false);
        if (m_options.showChildrenCounts) {
            children = std::max<qint64>(children, m_query.childCountAt(position));
        }
        if (m_options.showTodoCounts) {
            todos = std::max(todos, tag.todosCount().value_or(0));
        }
    }
    extents.widest = widest.take();
    extents.counts = {children < 0 ? QString() : DisplayTexts::childCountText(children),
                      todos < 0 ? QString() : DisplayTexts::todoCountText(todos), QString()};
    return extents;
}

QVariant TagListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() && role == RowExtentsRole) {
        return QVariant::fromValue(rowExtents());
    }
    const int row = index.row();
    if (!index.isValid() || row < 0 || size_t(row) >= m_rows.size()) {
        return {};
    }
    const int position = m_rows[size_t(row)];
    const Tag* tag = m_query.allTags()[position].get();
    switch (role) {
    case Qt::DisplayRole:
        return tag->name();
    case TagIdRole:
        return tag->id();
    case Qt::AccessibleTextRole:
    case Qt::ToolTipRole: {
        const QString text = m_query.rowTexts(*tag, m_options).accessibleText;
        return isPending(tag->id()) ? text + QStringLiteral(", ") + pendingText() : text;
    }
    case PendingRole:
        return isPending(tag->id());
    case ChildCountTextRole:
        return m_options.showChildrenCounts ? DisplayTexts::childCountText(m_query.childCountAt(position))
                                            : QString();
    case TodoCountTextRole:
        return m_options.showTodoCounts ? DisplayTexts::todoCountText(tag->todosCount().value_or(0))
                                        : QString();
    case AncestorPathRole:
        return m_query.ancestorPath(*tag).value_or(QString());
    case HasAncestorPathRole:
        return m_query.hasAncestorPathAt(position);
    case ShortcutRole:
        return tag->shortcutKey();
    case ShortcutConflictRole:
        return !tag->shortcutKey().isEmpty() && m_query.hasShortcutConflictAt(position);
    default:
        return {};
    }
}

void TagListModel::setSearchText(const QString& text) {
    if (text == m_searchText) {
        return;
    }
    m_searchText = text;
    if (m_active) {
        rebuild();
    }
}

void TagListModel::setConflictsOnly(bool on) {
    if (on != m_query.conflictsOnly()) {
        m_query.setConflictsOnly(on);
        if (m_active) {
            rebuild();
        }
    }
}

void TagListModel::setActive(bool active) {
    if (active == m_active) {
        return;
    }
    m_active = active;
    if (active) {
        if (m_stale) {
            m_query.storeChanged();
            m_wantedKnown = false;
            m_stale = false;
        }
        rebuild();
    }
}

void TagListModel::storeChanged() {
    if (!m_active) {
        m_stale = true;
        return;
    }
    if (const QSet<QString>* changed = m_store.changedIds()) {
        m_query.storeChanged(*changed);
    } else {
        m_query.storeChanged();
    }
    m_wantedKnown = false;
    rebuild();
}

void TagListModel::rebuild() {
    beginResetModel();
    m_rows = m_query.visiblePositions(m_options.sortOption, m_options.showRootTagsOnly, m_searchText);
    endResetModel();
}

} // namespace orvalet
