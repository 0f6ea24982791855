#include "TagOutlineModel.h"

#include "DisplayTexts.h"
#include "Icons.h"
#include "Preferences.h"
#include "TagStore.h"

#include <QApplication>
#include <QPalette>

namespace orvalet {

TagOutlineModel::TagOutlineModel(TagStore& store, Preferences& preferences, QObject* parent)
    : DraggableTags<QAbstractItemModel>(parent)
    , m_preferences(preferences)
    , m_query(store, false) // worked out when the outline is first shown
    , m_outline(m_query)
    , m_options(TagListOptions::read(preferences)) {
    connect(&store, &TagStore::changed, this, [this, &store] {
        m_stale = true;
        if (m_active) {
            rebuild(store.changedIds());
        } else {
            m_missedChanges = true;
        }
    });
    connect(&preferences, &Preferences::changed, this, [this](PreferenceKey key) {
        if (key == PreferenceKey::lastImportDate) {
            return;
        }
        m_options = TagListOptions::read(m_preferences);
        if (m_active) {
            rebuild();
        }
    });
    m_stale = true;
    m_missedChanges = true;
}

QString TagOutlineModel::missingParentText() {
    return QStringLiteral("Its parent tag is missing; import again to repair");
}

QString TagOutlineModel::rolledUpText(qint64 count) {
    return QString::number(count) + QStringLiteral(" with subtags");
}

void TagOutlineModel::setActive(bool active) {
    if (active == m_active) {
        return;
    }
    m_active = active;
    if (active) {
        rebuild();
    }
}

void TagOutlineModel::setSearchText(const QString& text) {
    if (text == m_searchText) {
        return;
    }
    m_searchText = text;
    if (m_active) {
        rebuild();
    }
}

void TagOutlineModel::setConflictsOnly(bool on) {
    if (on != m_query.conflictsOnly()) {
        m_query.setConflictsOnly(on);
        if (m_active) {
            rebuild();
        }
    }
}

void TagOutlineModel::rebuild(const QSet<QString>* changedIds) {
    beginResetModel();
    if (m_stale) {
        if (changedIds && !m_missedChanges) {
            m_query.storeChanged(*changedIds);
        } else {
            m_query.storeChanged();
        }
        m_outline.storeChanged();
        m_stale = false;
        m_missedChanges = false;
    }
    m_outline.rebuild(m_options.sortOption, m_searchText);
    endResetModel();
}

QModelIndex TagOutlineModel::indexOfNode(int node) const {
    return node >= 0 && m_outline.isVisible(node) ? createIndex(m_outline.row(node), 0, quintptr(node))
                                                  : QModelIndex();
}

QModelIndex TagOutlineModel::indexOf(const QString& id) const {
    return indexOfNode(m_outline.nodeOf(id));
}

TagPtr TagOutlineModel::tagAt(const QModelIndex& index) const {
    return index.isValid() && index.model() == this ? m_outline.tag(int(index.internalId())) : TagPtr();
}

QModelIndex TagOutlineModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0) {
        return {};
    }
    if (!parent.isValid()) {
        return row < m_outline.rootCount() ? indexOfNode(m_outline.root(row)) : QModelIndex();
    }
    const int node = int(parent.internalId());
    return row < m_outline.childCount(node) ? indexOfNode(m_outline.child(node, row)) : QModelIndex();
}

QModelIndex TagOutlineModel::parent(const QModelIndex& child) const {
    return child.isValid() ? indexOfNode(m_outline.parent(int(child.internalId()))) : QModelIndex();
}

int TagOutlineModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) {
        return m_outline.rootCount();
    }
    return parent.column() == 0 ? m_outline.childCount(int(parent.internalId())) : 0;
}

int TagOutlineModel::columnCount(const QModelIndex&) const {
    return 1;
}

bool TagOutlineModel::hasChildren(const QModelIndex& parent) const {
    return rowCount(parent) > 0;
}

QVariant TagOutlineModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (section == 0 && orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        return QStringLiteral("Tags");
    }
    return DraggableTags<QAbstractItemModel>::headerData(section, orientation, role);
}

RowExtents TagOutlineModel::rowExtents() const {
    RowExtents extents;
    RowExtents::Collector widest;
    qint64 children = -1, todos = -1, rolledUp = -1;
    std::vector<std::pair<int, int>> nodes; // node, depth
    for (int row = m_outline.rootCount(); row-- > 0;) {
        nodes.emplace_back(m_outline.root(row), 0);
    }
    while (!nodes.empty()) {
        const auto [node, depth] = nodes.back();
        nodes.pop_back();
        const Tag& tag = *m_outline.tag(node);
        widest.add(tag.name(), tag.shortcutKey(), depth, m_outline.hasMissingParent(node));
        if (m_options.showChildrenCounts) {
            children = std::max<qint64>(children, m_query.childCountAt(node)); // a node is a position
        }
        if (m_options.showTodoCounts) {
            const qint64 own = tag.todosCount().value_or(0);
            todos = std::max(todos, own);
            if (const qint64 all = m_outline.subtreeTodos(node); all != own) {
                rolledUp = std::max(rolledUp, all);
            }
        }
        for (int row = m_outline.childCount(node); row-- > 0;) {
            nodes.emplace_back(m_outline.child(node, row), depth + 1);
        }
    }
    extents.widest = widest.take();
    extents.counts = {children < 0 ? QString() : DisplayTexts::childCountText(children),
                      todos < 0 ? QString() : DisplayTexts::todoCountText(todos),
                      rolledUp < 0 ? QString() : rolledUpText(rolledUp)};
    return extents;
}

QVariant TagOutlineModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) {
        return role == TagListModel::RowExtentsRole ? QVariant::fromValue(rowExtents()) : QVariant();
    }
    const int node = int(index.internalId());
    const Tag& tag = *m_outline.tag(node);
    switch (role) {
    case Qt::DisplayRole:
        return tag.name();
    case TagListModel::TagIdRole:
        return tag.id();
    case TagListModel::PendingRole:
        return isPending(tag.id());
    case TagListModel::ChildCountTextRole:
        return m_options.showChildrenCounts ? DisplayTexts::childCountText(m_query.childCount(tag))
                                            : QString();
    case TagListModel::TodoCountTextRole:
        return m_options.showTodoCounts ? DisplayTexts::todoCountText(tag.todosCount().value_or(0))
                                        : QString();
    case TagListModel::ShortcutRole:
        return tag.shortcutKey();
    case TagListModel::ShortcutConflictRole:
        return m_query.hasShortcutConflict(tag);
    case TagListModel::RolledUpTodoTextRole: {
        const qint64 all = m_outline.subtreeTodos(node);
        return m_options.showTodoCounts && all != tag.todosCount().value_or(0) ? rolledUpText(all)
                                                                               : QString();
    }
    case Qt::DecorationRole:
        return m_outline.hasMissingParent(node)
                   ? Icons::symbol(QStringLiteral("exclamationmark.triangle.fill"))
                   : QVariant();
    case Qt::ForegroundRole:
        return m_outline.isContext(node)
                   ? QVariant(QApplication::palette().color(QPalette::Disabled, QPalette::Text))
                   : QVariant();
    case Qt::AccessibleTextRole: {
        QStringList spoken{tag.name()};
        if (const QString key = tag.shortcutKey(); !key.isEmpty()) {
            spoken.append(TagListQuery::spokenShortcut(key, m_query.hasShortcutConflict(tag)));
        }
        for (int part : {int(TagListModel::ChildCountTextRole), int(TagListModel::TodoCountTextRole),
                         int(TagListModel::RolledUpTodoTextRole)}) {
            if (const QString text = data(index, part).toString(); !text.isEmpty()) {
                spoken.append(text);
            }
        }
        if (m_outline.isContext(node)) {
            spoken.append(QStringLiteral("contains matches"));
        }
        if (m_outline.hasMissingParent(node)) {
            spoken.append(missingParentText());
        }
        if (isPending(tag.id())) {
            spoken.append(pendingText());
        }
        return spoken.join(QStringLiteral(", "));
    }
    case Qt::ToolTipRole: {
        // The whole row, counts included, as a narrow row may leave them out.
        QStringList tips{data(index, Qt::AccessibleTextRole).toString()};
        if (!data(index, TagListModel::RolledUpTodoTextRole).toString().isEmpty()) {
            tips.append(
                QStringLiteral("\u201CWith subtags\u201D adds the open to-dos of this tag and of every tag "
                               "below it. Things 3 counts to-dos per tag, so a to-do with several of "
                               "these tags is counted once for each of them."));
        }
        return tips.join(u'\n');
    }
    default:
        return {};
    }
}

} // namespace orvalet
