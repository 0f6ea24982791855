#pragma once

#include <QStyledItemDelegate>

namespace orvalet {

// Draws one row of the tag list: the name, at the trailing edge the child and to-do count texts when
// the model gives them, and the ancestor path below in caption type. Every row has the same height
// (two lines), so the list can lay out 100,000 rows without measuring each.
class TagRowDelegate final : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    static constexpr int padding = 2;
    static constexpr int spacing = 2;
    static QFont captionFont(const QFont& font);
};

} // namespace orvalet
