#include "TagRowDelegate.h"

#include "Icons.h"
#include "ProminentButton.h"
#include "Spinner.h"
#include "TagListModel.h"

#include <QApplication>
#include <QPainter>
#include <QTime>

namespace orvalet {

namespace {

constexpr int horizontalMargin = 6;
constexpr int countSpacing = 8;
constexpr int keyCapSpacing = 6;

QColor secondary(const QStyleOptionViewItem& option) {
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    QColor color = option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
    color.setAlphaF(0.6);
    return color;
}

} // namespace

QFont TagRowDelegate::captionFont(const QFont& font) {
    QFont caption = font;
    caption.setPointSizeF(font.pointSizeF() * 0.85);
    return caption;
}

const TagRowDelegate::Metrics& TagRowDelegate::metrics(const QFont& font) const {
    if (!m_metrics || m_metrics->font != font) {
        const QFont caption = captionFont(font);
        const QFontMetrics body(font);
        const QFontMetrics captionMetrics(caption);
        m_metrics.emplace(Metrics{font, caption, body, captionMetrics,
                                  padding + std::max(body.height(), 16) + padding,
                                  padding + body.height() + spacing + captionMetrics.height() + padding});
    }
    return *m_metrics;
}

QSize TagRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const Metrics& measured = metrics(option.font);
    if (m_rows == Rows::outline) {
        return {200, measured.oneLine};
    }
    // Models that cannot tell cheaply (a list of a few rows) are asked for the path itself.
    const QVariant hasPath = index.data(TagListModel::HasAncestorPathRole);
    const bool twoLines = hasPath.isValid()
                              ? hasPath.toBool()
                              : !index.data(TagListModel::AncestorPathRole).toString().isEmpty();
    return {200, twoLines ? measured.twoLines : measured.oneLine};
}

void TagRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                           const QModelIndex& index) const {
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, widget);

    const bool selected = option.state.testFlag(QStyle::State_Selected);
    QColor primary = option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
    if (const QVariant own = index.data(Qt::ForegroundRole); own.isValid() && !selected) {
        primary = own.value<QColor>();
    }
    const Metrics& measured = metrics(option.font);
    const QFontMetrics& body = measured.body;
    const QFont& caption = measured.caption;
    const QFontMetrics& captionMetrics = measured.captionMetrics;
    QRect line = option.rect.adjusted(horizontalMargin, padding, -horizontalMargin, 0);
    const QString path = index.data(TagListModel::AncestorPathRole).toString();
    line.setHeight(m_rows == Rows::outline || path.isEmpty() ? option.rect.height() - 2 * padding
                                                             : body.height());
    if (const QIcon icon = index.data(Qt::DecorationRole).value<QIcon>(); !icon.isNull()) {
        const int side = std::min(16, line.height());
        icon.paint(painter, QRect(line.left(), line.center().y() - side / 2, side, side));
        line.setLeft(line.left() + side + 4);
    }

    painter->save();
    int trailing = line.right();
    if (m_isBusy && m_isBusy(index.data(TagListModel::TagIdRole).toString())) {
        const int side = std::min(14, line.height());
        const QRectF arc(trailing - side, line.center().y() - side / 2.0, side, side);
        Spinner::paintArc(*painter, arc, int(QTime::currentTime().msecsSinceStartOfDay() * 36 / 100 % 360),
                          option.palette);
        trailing -= side + countSpacing;
        painter->setOpacity(0.45);
    } else if (index.data(TagListModel::PendingRole).toBool()) {
        // A change sent without an answer: a clock until Things 3 says what it did.
        const int side = std::min(14, line.height());
        QPalette ink = option.palette;
        ink.setColor(QPalette::WindowText, secondary(option));
        Icons::symbol(QStringLiteral("clock"), ink)
            .paint(painter, QRect(trailing - side, line.center().y() - side / 2, side, side));
        trailing -= side + countSpacing;
    }
    // The counts at the trailing edge, each in caption type and the secondary colour. The name wins
    // the room: counts that would cut it are left out, the child count first, the subtree's last
    // (the row's tooltip and spoken text still carry them all).
    const QString name = index.data(Qt::DisplayRole).toString();
    QStringList counts;
    for (const int role : {int(TagListModel::RolledUpTodoTextRole), int(TagListModel::TodoCountTextRole),
                           int(TagListModel::ChildCountTextRole)}) {
        if (QString text = index.data(role).toString(); !text.isEmpty()) {
            counts.append(std::move(text));
        }
    }
    const auto countsWidth = [&] {
        int width = 0;
        for (const QString& text : counts) {
            width += captionMetrics.horizontalAdvance(text) + countSpacing;
        }
        return width;
    };
    while (!counts.isEmpty() && body.horizontalAdvance(name) + countsWidth() > trailing - line.left()) {
        counts.removeLast();
    }
    painter->setFont(caption);
    painter->setPen(secondary(option));
    for (const QString& text : std::as_const(counts)) {
        const int width = captionMetrics.horizontalAdvance(text);
        painter->drawText(QRect(trailing - width, line.top(), width, line.height()),
                          Qt::AlignRight | Qt::AlignVCenter, text);
        trailing -= width + countSpacing;
    }

    // The shortcut's key cap follows the name; the name gives up room for it, as it is short and
    // the one place the key shows. A key another tag also has is drawn in the warning colour.
    const QString key = index.data(TagListModel::ShortcutRole).toString();
    const int capHeight = std::min(line.height(), captionMetrics.height() + 2);
    const int capWidth = key.isEmpty() ? 0 : std::max(capHeight, captionMetrics.horizontalAdvance(key) + 8);
    const int capRoom = key.isEmpty() ? 0 : capWidth + keyCapSpacing;

    painter->setFont(option.font);
    painter->setPen(primary);
    const QRect nameRect(line.left(), line.top(), std::max(0, trailing - line.left() - capRoom),
                         line.height());
    const QString shownName = body.elidedText(name, Qt::ElideRight, nameRect.width());
    painter->drawText(nameRect, Qt::AlignLeft | Qt::AlignVCenter, shownName);

    if (!key.isEmpty()) {
        const bool conflict = index.data(TagListModel::ShortcutConflictRole).toBool();
        const QColor ink =
            conflict && !selected ? destructiveRed(option.palette.color(QPalette::Base)) : secondary(option);
        const QRectF cap(line.left() + std::min(body.horizontalAdvance(shownName), nameRect.width()) +
                             keyCapSpacing + 0.5,
                         line.center().y() - capHeight / 2.0 + 0.5, capWidth - 1, capHeight - 1);
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QPen(ink, conflict ? 1.5 : 1.0));
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(cap, 3, 3);
        painter->setFont(caption);
        painter->drawText(cap, Qt::AlignCenter, key);
    }

    if (!path.isEmpty() && m_rows == Rows::list) {
        const QRect pathRect(line.left(), line.bottom() + 1 + spacing, line.width(), captionMetrics.height());
        painter->setFont(caption);
        painter->setPen(secondary(option));
        painter->drawText(pathRect, Qt::AlignLeft | Qt::AlignVCenter,
                          captionMetrics.elidedText(path, Qt::ElideMiddle, pathRect.width()));
    }
    painter->restore();
}

} // namespace orvalet
