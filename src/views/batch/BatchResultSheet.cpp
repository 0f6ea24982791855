#include "BatchResultSheet.h"

#include "ProminentButton.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvalet {

namespace {

constexpr int stackSpacing = 16;
constexpr int inset = 20;
constexpr int errorSpaceBelow = 4;
constexpr int rowSpacing = 4;
constexpr int headlineSymbolSize = 20;

// The sheet draws its three symbols itself: the desktop's theme has no green or red variants of
// them, and a style's message-box pixmaps would not take a tint.
QPixmap drawnSymbol(const QString& symbol, const QColor& color, int size, qreal pixelRatio) {
    QPixmap pixmap(QSize(size, size) * pixelRatio);
    pixmap.setDevicePixelRatio(pixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area(0, 0, size, size);
    const bool filledCircle = symbol.endsWith(QStringLiteral(".circle.fill"));
    QColor markColor = color;
    qreal markInset = size * 0.12;
    if (filledCircle) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawEllipse(area.adjusted(0.5, 0.5, -0.5, -0.5));
        // White on the usual tints; on the paler ones a dark palette gets, black reads better.
        markColor = contrastRatio(Qt::white, color) >= contrastRatio(Qt::black, color) ? QColor(Qt::white)
                                                                                       : QColor(Qt::black);
        markInset = size * 0.28;
    }
    const QRectF mark = area.adjusted(markInset, markInset, -markInset, -markInset);
    painter.setPen(QPen(markColor, std::max(1.5, size / 9.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    if (symbol.startsWith(QStringLiteral("xmark"))) {
        painter.drawLine(mark.topLeft(), mark.bottomRight());
        painter.drawLine(mark.topRight(), mark.bottomLeft());
    } else {
        QPainterPath check;
        check.moveTo(mark.left(), mark.top() + mark.height() * 0.55);
        check.lineTo(mark.left() + mark.width() * 0.38, mark.bottom() - mark.height() * 0.08);
        check.lineTo(mark.right(), mark.top() + mark.height() * 0.12);
        painter.drawPath(check);
    }
    return pixmap;
}

QFont scaledFont(const QFont& base, qreal factor, bool bold = false) {
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * factor);
    font.setBold(bold);
    return font;
}

QLabel* centredLabel(const QString& text, const QString& objectName, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(objectName);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText); // tag names and error texts are shown as they are
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

QColor BatchResultSheet::color(BatchResultState::Tint tint, const QColor& background) {
    return tint == BatchResultState::Tint::green ? readableOn(QColor(0x1e, 0x8e, 0x3e), background)
                                                 : destructiveRed(background);
}

BatchResultSheet* BatchResultSheet::openOver(QWidget* parent, const std::optional<BatchResultState>& state,
                                             std::function<void()> closed) {
    auto* sheet = new BatchResultSheet(state, parent);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    connect(sheet, &QDialog::finished, parent, std::move(closed));
    sheet->open();
    return sheet;
}

BatchResultSheet::BatchResultSheet(const std::optional<BatchResultState>& state, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("batchResult"));
    setWindowModality(Qt::WindowModal);
    setMinimumSize(320, 200);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(inset, inset, inset, inset);
    layout->setSpacing(stackSpacing);
    if (state) {
        addContent(*state);
    }
    layout->addStretch();

    m_ok = new QPushButton(BatchResultState::okLabel(), this);
    m_ok->setObjectName(QStringLiteral("batchResultOk"));
    m_ok->setDefault(true);
    m_ok->setMinimumWidth(96);
    makeProminent(m_ok);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(m_ok, 0, Qt::AlignHCenter);
    m_ok->setFocus();
}

void BatchResultSheet::addContent(const BatchResultState& state) {
    auto* layout = static_cast<QVBoxLayout*>(this->layout());
    const qreal pixelRatio = qApp->devicePixelRatio();
    setWindowTitle(state.headline());
    setAccessibleName(state.headline());

    auto* headline = new QWidget(this);
    headline->setObjectName(QStringLiteral("batchResultHeadline"));
    auto* headlineLayout = new QHBoxLayout(headline);
    headlineLayout->setContentsMargins(0, 0, 0, 0);
    headlineLayout->setSpacing(6);
    auto* symbol = new QLabel(headline);
    symbol->setObjectName(QStringLiteral("batchResultSymbol"));
    symbol->setPixmap(drawnSymbol(state.headlineSymbol(),
                                  color(state.headlineTint(), palette().color(QPalette::Window)),
                                  headlineSymbolSize, pixelRatio));
    symbol->setAccessibleName(state.isSuccess() ? QStringLiteral("Succeeded") : QStringLiteral("Failed"));
    auto* title = new QLabel(state.headline(), headline);
    title->setObjectName(QStringLiteral("batchResultTitle"));
    title->setFont(scaledFont(font(), 1.15, true));
    QPalette tinted = title->palette();
    tinted.setColor(QPalette::WindowText, color(state.headlineTint(), tinted.color(QPalette::Window)));
    title->setPalette(tinted);
    headlineLayout->addWidget(symbol);
    headlineLayout->addWidget(title);
    layout->addWidget(headline, 0, Qt::AlignHCenter);

    // A plain text line: the summary and, after a failure, the error right under it.
    auto* summary = centredLabel(state.summary(), QStringLiteral("batchResultSummary"), this);
    summary->setFont(scaledFont(font(), 0.95));
    layout->addWidget(summary);
    if (const std::optional<QString> error = state.errorText()) {
        auto* errorLabel = centredLabel(*error, QStringLiteral("batchResultError"), this);
        errorLabel->setFont(scaledFont(font(), 0.85));
        errorLabel->setForegroundRole(QPalette::PlaceholderText);
        errorLabel->setContentsMargins(0, 0, 0, errorSpaceBelow);
        layout->addWidget(errorLabel);
    }
    if (state.showsNames()) {
        addNames(state);
    }
    // The tags left alone, with why, then those never reached: each a caption over a list.
    const auto addList = [this, layout](const QString& captionText, const QString& name,
                                        const QString& objectName, const QStringList& rows) {
        auto* caption = new QLabel(captionText, this);
        caption->setObjectName(objectName + QStringLiteral("Caption"));
        caption->setFont(scaledFont(font(), 0.95));
        layout->addWidget(caption);
        auto* list = new QListWidget(this);
        list->setObjectName(objectName);
        list->setAccessibleName(name);
        list->setSelectionMode(QAbstractItemView::NoSelection);
        list->setWordWrap(true);
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        list->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents); // as tall as its rows
        for (const QString& row : rows) {
            auto* item = new QListWidgetItem(row, list);
            item->setFlags(Qt::ItemIsEnabled);
        }
        list->setMaximumHeight(maximumListHeight);
        layout->addWidget(list);
    };
    if (!state.skipped().isEmpty()) {
        QStringList rows;
        for (const BatchResultState::Skipped& tag : state.skipped()) {
            rows.append(tag.name + QStringLiteral(": ") + tag.reason);
        }
        addList(state.skippedCaption(), state.skippedAccessibleName(), QStringLiteral("batchResultSkipped"),
                rows);
    }
    if (!state.notAttempted().isEmpty()) {
        addList(BatchResultState::notAttemptedCaption(), QStringLiteral("Tags Not Attempted"),
                QStringLiteral("batchResultNotAttempted"), state.notAttempted());
    }
}

void BatchResultSheet::addNames(const BatchResultState& state) {
    auto* layout = static_cast<QVBoxLayout*>(this->layout());
    const qreal pixelRatio = qApp->devicePixelRatio();

    // The caption and the list sit closer together than the stack's items: they read as one.
    auto* names = new QWidget(this);
    auto* namesLayout = new QVBoxLayout(names);
    namesLayout->setContentsMargins(0, 0, 0, 0);
    namesLayout->setSpacing(6);
    if (const std::optional<QString> caption = state.namesCaption()) {
        auto* captionLabel = new QLabel(*caption, names);
        captionLabel->setObjectName(QStringLiteral("batchResultNamesCaption"));
        captionLabel->setAlignment(Qt::AlignLeading | Qt::AlignVCenter);
        captionLabel->setFont(scaledFont(font(), 0.95));
        namesLayout->addWidget(captionLabel);
    }

    m_names = new QListWidget(names);
    m_names->setObjectName(QStringLiteral("batchResultNames"));
    m_names->setAccessibleName(state.namesAccessibleName());
    m_names->setSelectionMode(QAbstractItemView::NoSelection);
    m_names->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_names->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_names->setTextElideMode(Qt::ElideMiddle);
    m_names->setUniformItemSizes(true);
    m_names->setSpacing(rowSpacing / 2); // around each row, so rows are rowSpacing apart
    const QFont caption = scaledFont(font(), 0.85);
    const int checkSize = QFontMetrics(caption).height();
    m_names->setIconSize(QSize(checkSize, checkSize));
    const QIcon check(
        drawnSymbol(BatchResultState::nameSymbol(),
                    color(BatchResultState::nameTint(), m_names->palette().color(QPalette::Base)), checkSize,
                    pixelRatio));
    for (const QString& name : state.names()) {
        auto* item = new QListWidgetItem(check, name, m_names);
        item->setFlags(Qt::ItemIsEnabled);
        item->setToolTip(name);
    }
    // As tall as its rows, up to the limit; past it the list scrolls.
    const int frame = 2 * m_names->frameWidth();
    const int rowHeight =
        m_names->sizeHintForRow(0) > 0 ? m_names->sizeHintForRow(0) : QFontMetrics(font()).height();
    const int contentHeight = int(state.names().size()) * (rowHeight + rowSpacing) + rowSpacing;
    m_names->setFixedHeight(std::min(maximumListHeight, frame + std::max(contentHeight, rowHeight)));
    namesLayout->addWidget(m_names);
    layout->addWidget(names);
}

} // namespace orvalet
