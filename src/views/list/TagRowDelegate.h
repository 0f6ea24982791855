#pragma once

#include <QFontMetrics>
#include <QStyledItemDelegate>
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

    Rows m_rows;
    mutable std::optional<Metrics> m_metrics;
    std::function<bool(const QString&)> m_isBusy;
};

} // namespace orvalet
