#include "TagRowDelegate.h"

#include "Icons.h"
#include "ProminentButton.h"
#include "Spinner.h"
#include "TagListModel.h"

#include <QApplication>
#include <QPainter>
#include <QTime>
#include <QTreeView>

namespace orvalet {

namespace {

constexpr int horizontalMargin = 6;
constexpr int countSpacing = 8;
constexpr int keyCapSpacing = 6;
constexpr int iconRoom = 16 + 4;
// The count columns in reading order, and the order a narrow view gives them up in.
constexpr std::array<int, 3> countRoles{TagListModel::ChildCountTextRole, TagListModel::TodoCountTextRole,
                                        TagListModel::RolledUpTodoTextRole};
constexpr std::array<int, 3> givenUpFirst{0, 2, 1};

QColor secondary(const QStyleOptionViewItem& option) {
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    QColor color = option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
    color.setAlphaF(0.6);
    return color;
}

int depthOf(QModelIndex index) {
    int depth = 0;
    while ((index = index.parent()).isValid()) {
        ++depth;
    }
    return depth;
}

int capHeightFor(int lineHeight, const QFontMetrics& caption) {
    return std::min(lineHeight, caption.height() + 2);
}

int capWidthFor(const QString& key, int capHeight, const QFontMetrics& caption) {
    return std::max(capHeight, caption.horizontalAdvance(key) + 8);
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

int TagRowDelegate::indentation(const QStyleOptionViewItem& option) const {
    const auto* tree = qobject_cast<const QTreeView*>(option.widget);
    return m_rows == Rows::outline && tree ? tree->indentation() : 0;
}

const TagRowDelegate::Extent& TagRowDelegate::extent(const QStyleOptionViewItem& option,
                                                     const QModelIndex& index) const {
    const QAbstractItemModel* model = index.model();
    if (m_extent && m_extentModel == model && m_extentFont == option.font) {
        return *m_extent;
    }
    if (m_extentModel != model) {
        if (m_extentModel) {
            disconnect(m_extentModel, nullptr, this, nullptr);
        }
        m_extentModel = model;
        const auto stale = [this] {
            m_extent.reset();
        };
        connect(model, &QAbstractItemModel::modelReset, this, stale);
        connect(model, &QAbstractItemModel::layoutChanged, this, stale);
        connect(model, &QAbstractItemModel::rowsInserted, this, stale);
        connect(model, &QAbstractItemModel::rowsRemoved, this, stale);
        connect(model, &QAbstractItemModel::rowsMoved, this, stale);
        connect(model, &QAbstractItemModel::dataChanged, this, stale);
    }
    m_extentFont = option.font;
    Extent found;
    const QVariant given = model->data(QModelIndex(), TagListModel::RowExtentsRole);
    if (!given.canConvert<RowExtents>()) {
        return m_extent.emplace(found);
    }
    const RowExtents rows = given.value<RowExtents>();
    const Metrics& measured = metrics(option.font);
    const int indent = indentation(option);
    const int nameCap = RowExtents::nameCap * std::max(1, measured.body.averageCharWidth());
    const int capHeight = capHeightFor(measured.body.height(), measured.captionMetrics);
    for (const RowExtents::Row& row : rows.widest) {
        const int cap =
            row.key.isEmpty() ? 0 : capWidthFor(row.key, capHeight, measured.captionMetrics) + keyCapSpacing;
        const int name = std::min(measured.body.horizontalAdvance(row.name), nameCap);
        found.nameNeed =
            std::max(found.nameNeed, row.depth * indent + (row.icon ? iconRoom : 0) + name + cap);
    }
    for (size_t column = 0; column < rows.counts.size(); ++column) {
        found.columns[column] = rows.counts[column].isEmpty()
                                    ? 0
                                    : measured.captionMetrics.horizontalAdvance(rows.counts[column]);
    }
    return m_extent.emplace(found);
}

std::array<bool, 3> TagRowDelegate::shownColumns(const Extent& extent, int room) const {
    std::array<bool, 3> shown{};
    int width = 0;
    for (size_t column = 0; column < shown.size(); ++column) {
        shown[column] = extent.columns[column] > 0;
        width += shown[column] ? extent.columns[column] + countSpacing : 0;
    }
    for (const int column : givenUpFirst) {
        if (extent.nameNeed + width <= room) {
            break;
        }
        if (shown[size_t(column)]) {
            shown[size_t(column)] = false;
            width -= extent.columns[size_t(column)] + countSpacing;
        }
    }
    return shown;
}

TagRowDelegate::RowLayout TagRowDelegate::layout(const QStyleOptionViewItem& option,
                                                 const QModelIndex& index) const {
    return layout(option, index, 0);
}

TagRowDelegate::RowLayout TagRowDelegate::layout(const QStyleOptionViewItem& option, const QModelIndex& index,
                                                 int reserved, bool counts) const {
    const Metrics& measured = metrics(option.font);
    const QFontMetrics& body = measured.body;
    const QFontMetrics& captionMetrics = measured.captionMetrics;
    RowLayout row;
    QRect line = lineRect(option, index);
    // The columns are the same on every row: what fits past the left edge of a top-level row.
    const int room = line.width() + depthOf(index) * indentation(option);
    if (!index.data(Qt::DecorationRole).isNull()) {
        line.setLeft(line.left() + iconRoom);
    }
    int trailing = line.right() - reserved;
    if (counts) {
        const Extent& needs = extent(option, index);
        const std::array<bool, 3> shown = shownColumns(needs, room);
        for (size_t column = shown.size(); column-- > 0;) {
            if (!shown[column]) {
                continue;
            }
            const int width = needs.columns[column];
            if (QString text = index.data(countRoles[column]).toString(); !text.isEmpty()) {
                row.counts.prepend(RowLayout::Count{
                    std::move(text), QRect(trailing - width + 1, line.top(), width, line.height())});
            }
            trailing -= width + countSpacing;
        }
    }

    // The name first; then the key cap, where the whole name leaves it room.
    row.name = index.data(Qt::DisplayRole).toString();
    const int nameRoom = row.nameRoom = std::max(0, trailing - line.left());
    row.nameWidth = body.horizontalAdvance(row.name);
    const QString key = index.data(TagListModel::ShortcutRole).toString();
    const int capHeight = capHeightFor(line.height(), captionMetrics);
    const int capRoom = key.isEmpty() ? 0 : capWidthFor(key, capHeight, captionMetrics) + keyCapSpacing;
    if (row.nameWidth > nameRoom) {
        row.name = body.elidedText(row.name, Qt::ElideRight, nameRoom);
        row.nameWidth = std::min(body.horizontalAdvance(row.name), nameRoom);
    } else {
        row.keyCap = !key.isEmpty() && row.nameWidth + capRoom <= nameRoom;
    }
    return row;
}

QRect TagRowDelegate::lineRect(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QRect line = option.rect.adjusted(horizontalMargin, padding, -horizontalMargin, 0);
    const bool onePath =
        m_rows == Rows::outline || index.data(TagListModel::AncestorPathRole).toString().isEmpty();
    line.setHeight(onePath ? option.rect.height() - 2 * padding : metrics(option.font).body.height());
    return line;
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
    const QFont& caption = measured.caption;
    const QFontMetrics& captionMetrics = measured.captionMetrics;
    QRect line = lineRect(option, index);
    if (const QIcon icon = index.data(Qt::DecorationRole).value<QIcon>(); !icon.isNull()) {
        const int side = std::min(16, line.height());
        icon.paint(painter, QRect(line.left(), line.center().y() - side / 2, side, side));
        line.setLeft(line.left() + iconRoom);
    }

    painter->save();
    // A row whose tag is being deleted turns an arc at the trailing edge, in place of its counts; one
    // whose change waits for Things 3 shows a clock there, before its counts.
    int reserved = 0;
    bool counts = true;
    if (m_isBusy && m_isBusy(index.data(TagListModel::TagIdRole).toString())) {
        const int side = std::min(14, line.height());
        const QRectF arc(line.right() - side, line.center().y() - side / 2.0, side, side);
        Spinner::paintArc(*painter, arc, int(QTime::currentTime().msecsSinceStartOfDay() * 36 / 100 % 360),
                          option.palette);
        reserved = side + countSpacing;
        counts = false;
        painter->setOpacity(0.45);
    } else if (index.data(TagListModel::PendingRole).toBool()) {
        // A change sent without an answer: a clock until Things 3 says what it did.
        const int side = std::min(14, line.height());
        QPalette ink = option.palette;
        ink.setColor(QPalette::WindowText, secondary(option));
        Icons::symbol(QStringLiteral("clock"), ink)
            .paint(painter, QRect(line.right() - side, line.center().y() - side / 2, side, side));
        reserved = side + countSpacing;
    }
    const RowLayout row = layout(option, index, reserved, counts);

    painter->setFont(caption);
    painter->setPen(secondary(option));
    for (const RowLayout::Count& count : row.counts) {
        painter->drawText(count.column, Qt::AlignRight | Qt::AlignVCenter, count.text);
    }

    painter->setFont(option.font);
    painter->setPen(primary);
    painter->drawText(QRect(line.left(), line.top(), row.nameWidth + 1, line.height()),
                      Qt::AlignLeft | Qt::AlignVCenter, row.name);

    // The shortcut's key cap follows the name. A key another tag also has is drawn in the warning
    // colour.
    if (row.keyCap) {
        const QString key = index.data(TagListModel::ShortcutRole).toString();
        const int capHeight = capHeightFor(line.height(), captionMetrics);
        const int capWidth = capWidthFor(key, capHeight, captionMetrics);
        const bool conflict = index.data(TagListModel::ShortcutConflictRole).toBool();
        const QColor ink =
            conflict && !selected ? destructiveRed(option.palette.color(QPalette::Base)) : secondary(option);
        const QRectF cap(line.left() + row.nameWidth + keyCapSpacing + 0.5,
                         line.center().y() - capHeight / 2.0 + 0.5, capWidth - 1, capHeight - 1);
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QPen(ink, conflict ? 1.5 : 1.0));
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(cap, 3, 3);
        painter->setFont(caption);
        painter->drawText(cap, Qt::AlignCenter, key);
    }

    const QString path =
        m_rows == Rows::list ? index.data(TagListModel::AncestorPathRole).toString() : QString();
    if (!path.isEmpty()) {
        const QRect pathRect(line.left(), line.bottom() + 1 + spacing, line.width(), captionMetrics.height());
        painter->setFont(caption);
        painter->setPen(secondary(option));
        painter->drawText(pathRect, Qt::AlignLeft | Qt::AlignVCenter,
                          captionMetrics.elidedText(path, Qt::ElideMiddle, pathRect.width()));
    }
    painter->restore();
}

} // namespace orvalet
