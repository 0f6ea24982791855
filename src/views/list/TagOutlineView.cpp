#include "TagOutlineView.h"

#include "Preferences.h"
#include "TagListModel.h"
#include "TagOutlineModel.h"

namespace orvalet {

TagOutlineView::TagOutlineView(TagOutlineModel& model, Preferences& preferences, QWidget* parent)
    : QTreeView(parent)
    , m_model(model)
    , m_preferences(preferences) {
    setObjectName(QStringLiteral("tagOutline"));
    setAccessibleName(QStringLiteral("Tags"));
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setModel(&model);
    connect(this, &QTreeView::expanded, this, [this](const QModelIndex& index) { remember(index, true); });
    connect(this, &QTreeView::collapsed, this, [this](const QModelIndex& index) { remember(index, false); });
    connect(&model, &QAbstractItemModel::modelReset, this, &TagOutlineView::modelRebuilt);
    connect(&preferences, &Preferences::changed, this, [this](PreferenceKey key) {
        if (key == PreferenceKey::showRootTagsOnly && m_preferences.showRootTagsOnly()) {
            collapseAllTags();
        }
    });
}

void TagOutlineView::remember(const QModelIndex& index, bool expanded) {
    if (m_laying || m_model.outline().isSearching()) {
        return;
    }
    const QString id = index.data(TagListModel::TagIdRole).toString();
    if (expanded) {
        m_expandedIds.insert(id);
    } else {
        m_expandedIds.remove(id);
    }
}

void TagOutlineView::modelRebuilt() {
    m_laying = true;
    if (m_model.outline().isSearching()) {
        expandAll();
    } else if (!m_preferences.showRootTagsOnly()) {
        for (const QString& id : std::as_const(m_expandedIds)) {
            if (const QModelIndex index = m_model.indexOf(id); index.isValid()) {
                expand(index);
            }
        }
    }
    m_laying = false;
}

void TagOutlineView::expandAllTags() {
    m_laying = true;
    expandAll();
    m_laying = false;
    if (m_model.outline().isSearching()) {
        return;
    }
    const TagOutline& outline = m_model.outline();
    m_expandedIds.clear();
    // Every shown tag with children, walked from the roots.
    std::vector<int> pending;
    for (int row = 0; row < outline.rootCount(); ++row) {
        pending.push_back(outline.root(row));
    }
    while (!pending.empty()) {
        const int node = pending.back();
        pending.pop_back();
        if (const int children = outline.childCount(node); children > 0) {
            m_expandedIds.insert(outline.tag(node)->id());
            for (int row = 0; row < children; ++row) {
                pending.push_back(outline.child(node, row));
            }
        }
    }
}

void TagOutlineView::collapseAllTags() {
    m_laying = true;
    collapseAll();
    m_laying = false;
    if (!m_model.outline().isSearching()) {
        m_expandedIds.clear();
    }
}

} // namespace orvalet
