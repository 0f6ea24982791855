#pragma once

#include "TagDropController.h"
#include "TagListModel.h"
#include "TagListQuery.h"
#include "TagOutline.h"

#include <QAbstractItemModel>

namespace orvalet {

class Preferences;
class TagStore;

// The rows of the sidebar in outline mode: the tag forest of a TagOutline, with the roles of the
// flat list (TagListModel::Role) plus, when to-do counts are shown, the rolled-up count of each
// subtree. Rows shown only as the context of a search match are greyed; a tag shown as a root
// because its parent is missing carries a warning icon and says why.
//
// It follows the store, the display preferences and the search text like the flat list, but only
// while `active`: a window in list mode does not pay for the outline.
class TagOutlineModel final : public DraggableTags<QAbstractItemModel>, public PendingRows {
    Q_OBJECT

public:
    TagOutlineModel(TagStore& store, Preferences& preferences, QObject* parent = nullptr);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // The one column's title, which only a screen reader meets (the header is hidden).
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    void setActive(bool active);
    void setSearchText(const QString& text);
    // "Show Shortcut Conflicts": the conflicting tags, with their ancestors as context.
    void setConflictsOnly(bool on);

    const TagOutline& outline() const { return m_outline; }
    TagPtr tagAt(const QModelIndex& index) const;
    // The row of the stored record with this identifier; invalid when it is not shown.
    QModelIndex indexOf(const QString& id) const;
    QModelIndex indexOfNode(int node) const;
    RowExtents rowExtents() const;

    // "Its parent tag is missing; import again to repair"
    static QString missingParentText();
    // "N with subtags": the open to-dos of the tag and of every tag below it
    static QString rolledUpText(qint64 count);

private:
    // `changedIds`: the records the store's change touched, when that is all that changed.
    void rebuild(const QSet<QString>* changedIds = nullptr);

    Preferences& m_preferences;
    TagListQuery m_query;
    TagOutline m_outline;
    TagListOptions m_options;
    QString m_searchText;
    bool m_active = false;
    bool m_stale = false;         // the store changed since the outline was worked out
    bool m_missedChanges = false; // ... in more turns than the next change will list
};

} // namespace orvalet
