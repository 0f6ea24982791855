#include "EmptyStateView.h"

#include "Icons.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvalet {

EmptyStateView::EmptyStateView(const QString& title, const QString& symbol, const QString& description,
                               QWidget* parent)
    : QWidget(parent) {
    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("emptyStateIcon"));
    icon->setPixmap(Icons::symbol(symbol).pixmap(48, 48));
    icon->setAlignment(Qt::AlignCenter);
    icon->setEnabled(false);
    icon->setAccessibleName(symbol);

    auto* heading = m_heading = new QLabel(title, this);
    heading->setObjectName(QStringLiteral("emptyStateTitle"));
    heading->setAlignment(Qt::AlignCenter);
    QFont headingFont = heading->font();
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.5);
    headingFont.setBold(true);
    heading->setFont(headingFont);

    auto* text = m_text = new QLabel(description, this);
    text->setObjectName(QStringLiteral("emptyStateDescription"));
    text->setAlignment(Qt::AlignCenter);
    text->setWordWrap(true);
    text->setForegroundRole(QPalette::PlaceholderText);

    auto* layout = new QVBoxLayout(this);
    layout->addStretch();
    layout->addWidget(icon);
    layout->addWidget(heading);
    layout->addWidget(text);
    layout->addStretch();
    setAccessibleName(title);
}

void EmptyStateView::setTexts(const QString& title, const QString& description) {
    m_heading->setText(title);
    m_text->setText(description);
    setAccessibleName(title);
}

QString EmptyStateView::title() const {
    return m_heading->text();
}

QPushButton* EmptyStateView::addButton(const QString& text) {
    auto* button = new QPushButton(text, this);
    auto* layout = static_cast<QVBoxLayout*>(this->layout());
    layout->insertWidget(layout->count() - 1, button, 0, Qt::AlignHCenter);
    return button;
}

} // namespace orvalet
