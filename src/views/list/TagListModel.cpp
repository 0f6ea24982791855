#include "TagListModel.h"

#include "DisplayTexts.h"
#include "Preferences.h"
#include "TagStore.h"

namespace orvalet {

TagListModel::TagListModel(TagStore& store, Preferences& preferences, QObject* parent)
    : DraggableTags<QAbstractListModel>(parent)
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
    m_rows = m_query.visibleTags(m_options, m_searchText);
}

int TagListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

TagPtr TagListModel::tagAt(int row) const {
    return row >= 0 && row < m_rows.size() ? m_rows[row] : TagPtr();
}

QVariant TagListModel::data(const QModelIndex& index, int role) const {
    const TagPtr tag = index.isValid() ? tagAt(index.row()) : TagPtr();
    if (!tag) {
        return {};
    }
    switch (role) {
    case Qt::DisplayRole:
        return tag->name();
    case TagIdRole:
        return tag->id();
    case Qt::AccessibleTextRole:
    case Qt::ToolTipRole:
        return m_query.rowTexts(*tag, m_options).accessibleText;
    case ChildCountTextRole:
        return m_options.showChildrenCounts ? DisplayTexts::childCountText(m_query.childCount(*tag))
                                            : QString();
    case TodoCountTextRole:
        return m_options.showTodoCounts ? DisplayTexts::todoCountText(tag->todosCount().value_or(0))
                                        : QString();
    case AncestorPathRole:
        return m_query.ancestorPath(*tag).value_or(QString());
    case HasAncestorPathRole:
        return m_query.hasAncestorPath(*tag);
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

void TagListModel::setActive(bool active) {
    if (active == m_active) {
        return;
    }
    m_active = active;
    if (active) {
        if (m_stale) {
            m_query.storeChanged();
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
    m_query.storeChanged();
    rebuild();
}

void TagListModel::rebuild() {
    beginResetModel();
    m_rows = m_query.visibleTags(m_options, m_searchText);
    endResetModel();
}

} // namespace orvalet
