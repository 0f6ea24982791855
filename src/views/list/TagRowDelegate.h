#pragma once

#include <QFontMetrics>
#include <QPointer>
#include <QStyledItemDelegate>
#include <array>
#include <functional>
#include <optional>

namespace orvalet {

// Draws one row of the tag list: the name, at the trailing edge the child and to-do count texts when
// the model gives them, and the ancestor path below in caption type. A row is two lines tall when it
// has a path and one line otherwise; its height is known from a cheap test of the model
// (HasAncestorPathRole), so the list can lay out 100,000 rows without making their paths.
//
// The outline's rows are one line: the name after the row's icon (a warning for a tag shown out of
// place), in the row's own text colour (greyed for context rows), and the counts, the rolled-up
// count of the subtree last.
//
// The name wins the room: the key cap after it shows only where the whole name fits beside it, and
// the counts are columns at the trailing edge that show only while every row's name and key cap fit
// beside them (a name counts up to RowExtents::nameCap average characters). A narrow view gives up whole
// columns, the same ones on every row: the child counts first, then the subtree's, the to-do counts
// last. The row's tooltip and spoken text still carry them all.
class TagRowDelegate final : public QStyledItemDelegate {
    Q_OBJECT

public:
    enum class Rows { list, outline };
    explicit TagRowDelegate(Rows rows, QObject* parent = nullptr)
        : QStyledItemDelegate(parent)
        , m_rows(rows) {}

    // Rows of tags for which `isBusy` holds are drawn dimmed, with a turning arc at the trailing edge
    // (the view repaints them while any is busy).
    void setBusy(std::function<bool(const QString& tagId)> isBusy) { m_isBusy = std::move(isBusy); }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    static constexpr int padding = 2;
    static constexpr int spacing = 2;
    static QFont captionFont(const QFont& font);

    // What a row shows in the room it has.
    struct RowLayout {
        QString name; // whole, unless it does not fit even without the key cap and the counts
        int nameWidth = 0;
        int nameRoom = 0; // what the counts leave for the name and the key cap
        bool keyCap = false;
        // The counts shown, each whole, in reading order, with the column each is drawn in (its
        // right edge and width, in the view's coordinates).
        struct Count {
            QString text;
            QRect column;
        };
        QList<Count> counts;
    };
    RowLayout layout(const QStyleOptionViewItem& option, const QModelIndex& index) const;

private:
    // The row's fonts, measured once per font: a list of 100,000 rows asks every row's height at each
    // layout, and measuring a font costs more than the rest of the row together.
    struct Metrics {
        QFont font;
        QFont caption;
        QFontMetrics body;
        QFontMetrics captionMetrics;
        int oneLine;
        int twoLines;
    };
    const Metrics& metrics(const QFont& font) const;

    // What every row of the model asks of the width (its RowExtents), measured once per change of the
    // model: the room the widest name with its key cap takes, past the left edge of a top-level row,
    // and the width of each count column (the widest text it holds; 0 when no row has one).
    struct Extent {
        int nameNeed = 0;
        std::array<int, 3> columns{}; // child counts, to-do counts, the subtree's
    };
    const Extent& extent(const QStyleOptionViewItem& option, const QModelIndex& index) const;
    // The columns shown at this room past a top-level row's left edge, by the rule above.
    std::array<bool, 3> shownColumns(const Extent& extent, int room) const;
    int indentation(const QStyleOptionViewItem& option) const;
    // The row's first line, inside its margins.
    QRect lineRect(const QStyleOptionViewItem& option, const QModelIndex& index) const;
    // `reserved`: room at the trailing edge taken by the busy arc or the pending clock; `counts`: whether
    // the counts show beside it (not beside the busy arc).
    RowLayout layout(const QStyleOptionViewItem& option, const QModelIndex& index, int reserved,
                     bool counts = true) const;

    Rows m_rows;
    mutable std::optional<Metrics> m_metrics;
    std::function<bool(const QString&)> m_isBusy;
    mutable std::optional<Extent> m_extent; // reset by every change of the model
    mutable QFont m_extentFont;
    mutable QPointer<const QAbstractItemModel> m_extentModel;
};

} // namespace orvalet
