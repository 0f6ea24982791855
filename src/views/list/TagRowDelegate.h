#pragma once

#include <QStyledItemDelegate>

namespace orvalet {

// Draws one row of the tag list: the name, at the trailing edge the child and to-do count texts when
// the model gives them, and the ancestor path below in caption type. Every row has the same height
// (two lines), so the list can lay out 100,000 rows without measuring each.
//
// The outline's rows are one line: the name after the row's icon (a warning for a tag shown out of
// place), in the row's own text colour (greyed for context rows), and the counts, the rolled-up
// count of the subtree last.
class TagRowDelegate final : public QStyledItemDelegate {
    Q_OBJECT

public:
    enum class Rows { list, outline };
    explicit TagRowDelegate(Rows rows, QObject* parent = nullptr)
        : QStyledItemDelegate(parent)
        , m_rows(rows) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    static constexpr int padding = 2;
    static constexpr int spacing = 2;
    static QFont captionFont(const QFont& font);

private:
    Rows m_rows;
};

} // namespace orvalet
