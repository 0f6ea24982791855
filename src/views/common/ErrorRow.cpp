#include "ErrorRow.h"

#include "Icons.h"
#include "WindowRoles.h"

#include <QAccessible>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace orvalet {

ErrorRow::ErrorRow(QWidget* parent)
    : QFrame(parent) {
    setObjectName(QStringLiteral("errorRow"));
    markAsAlert(this); // a frame to Qt; to a screen reader, the news it is
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(0xd7, 0x26, 0x1e));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text}) {
        colours.setColor(role, Qt::white);
    }
    setPalette(colours);

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("errorIcon"));
    icon->setPixmap(Icons::symbol(QStringLiteral("exclamationmark.triangle.fill"), colours).pixmap(16, 16));
    icon->setAccessibleName(QStringLiteral("Error"));

    m_text = new QLabel(this);
    m_text->setObjectName(QStringLiteral("errorMessage"));
    m_text->setWordWrap(true);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_text->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);

    m_dismiss = new QPushButton(QStringLiteral("Dismiss"), this);
    m_dismiss->setObjectName(QStringLiteral("dismissError"));
    m_dismiss->setFlat(true);
    m_dismiss->setCursor(Qt::PointingHandCursor);
    connect(m_dismiss, &QPushButton::clicked, this, &ErrorRow::dismissed);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 8, 10, 8);
    layout->setSpacing(8);
    layout->addWidget(icon, 0, Qt::AlignTop);
    layout->addWidget(m_text, 1);
    layout->addWidget(m_dismiss, 0, Qt::AlignVCenter);
    hide();
}

void ErrorRow::setMessage(const std::optional<QString>& message) {
    if (!message) {
        m_text->clear();
        setAccessibleName(QString());
        hide();
        return;
    }
    if (!isHidden() && m_text->text() == *message) {
        return;
    }
    m_text->setText(*message);
    m_text->setAccessibleName(*message);
    setAccessibleName(QStringLiteral("Error: ") + *message);
    show();
    QAccessibleEvent alert(this, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
}

QString ErrorRow::message() const {
    return isHidden() ? QString() : m_text->text();
}

} // namespace orvalet
