#pragma once

#include "PendingRows.h"
#include "TagDropController.h"
#include "TagListQuery.h"

#include <QAbstractListModel>
#include <array>
#include <vector>

namespace orvalet {

class Preferences;
class TagStore;

// What the rows of a model ask of the width, found without measuring a text, for a delegate that lays
// every row out alike: the rows whose names may be the widest, and the widest text of each count
// column. A model gives it on its root index (TagListModel::RowExtentsRole), worked out in one pass
// over its rows.
struct RowExtents {
    struct Row {
        QString name;
        QString key;
        int depth = 0;
        bool icon = false;
    };
    // A name counts for at most this many characters: a longer one gives way to the counts.
    static constexpr int nameCap = 32;
    // The rows kept: those with the longest names, three characters counted for a level of depth.
    static constexpr size_t kept = 64;
    QList<Row> widest;
    std::array<QString, 3> counts; // child counts, to-do counts, the subtree's; empty when not shown

    // Gathers the widest rows of a pass over the rows.
    class Collector {
    public:
        void add(const QString& name, const QString& key, int depth, bool icon);
        QList<Row> take();

    private:
        std::vector<std::pair<int, Row>> m_heap; // the fewest characters on top
    };
};

// The rows of the sidebar: the visible tags of the store for the display preferences and the
// search text, in order. It filters and orders itself through a TagListQuery, which brings itself
// up to date for the records a store change touched, and is reset as a whole when anything it
// depends on changes (a list view lays out every row again after any change of its model, so
// finer announcements would save nothing). Rows are positions in the query's tags; row texts that
// depend on the whole store (child counts, ancestor paths) are computed only for the rows a view
// asks about.
class TagListModel final : public DraggableTags<QAbstractListModel>, public PendingRows {
    Q_OBJECT

public:
    enum Role {
        TagIdRole = Qt::UserRole + 1,
        ChildCountTextRole,   // "N child tags", or nothing when the counts are not shown
        TodoCountTextRole,    // "N todos", or nothing
        AncestorPathRole,     // "Grandparent > Parent", or nothing
        RolledUpTodoTextRole, // outline rows: "N with subtags" for the subtree, or nothing
        HasAncestorPathRole,  // whether AncestorPathRole gives a path: a cheap test for the row's height
        ShortcutRole,         // the tag's keyboard shortcut, drawn as a key cap; nothing for none
        ShortcutConflictRole, // whether another tag has the same key: the key cap is marked
        PendingRole,          // whether a change of the tag waits for Things 3 to confirm it: marked
        RowExtentsRole,       // on the root index: the RowExtents of every row
    };

    TagListModel(TagStore& store, Preferences& preferences, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    void setSearchText(const QString& text);
    // "Show Shortcut Conflicts": only the tags whose key another tag also has.
    void setConflictsOnly(bool on);

    // An inactive model (the window shows the outline) follows nothing until it is active again.
    void setActive(bool active);
    const QString& searchText() const { return m_searchText; }

    // The tags of the rows, in order.
    QList<TagPtr> rows() const;
    RowExtents rowExtents() const;
    TagPtr tagAt(int row) const;
    // The rows of the stored tags with these identifiers, ascending; identifiers without a row are
    // left out.
    QList<qsizetype> rowsOf(const QSet<QString>& ids) const;
    const TagListQuery& query() const { return m_query; }
    const TagListOptions& options() const { return m_options; }

private:
    void storeChanged();
    void rebuild();

    const TagStore& m_store;
    Preferences& m_preferences;
    TagListQuery m_query;
    TagListOptions m_options;
    QString m_searchText;
    std::vector<int> m_rows; // positions in the query's tags
    // Which positions rowsOf last looked for, and for which identifiers, until the query changes: a
    // keystroke in the search field selects the same tags again.
    mutable QSet<QString> m_wantedIds;
    mutable std::vector<char> m_wanted;
    mutable bool m_wantedKnown = false;
    bool m_active = true;
    bool m_stale = false; // the store changed while inactive
};

} // namespace orvalet

Q_DECLARE_METATYPE(orvalet::RowExtents)
