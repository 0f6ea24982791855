#include "LiveStatus.h"

#include "WindowRoles.h"

#include <QAccessible>

namespace orvalet {

LiveStatus::LiveStatus(QWidget* parent)
    : QLabel(parent) {
    markAsAlert(this);
    setTextFormat(Qt::PlainText);
    setForegroundRole(QPalette::PlaceholderText);
    m_hide.setSingleShot(true);
    connect(&m_hide, &QTimer::timeout, this, &LiveStatus::withdraw);
    hide();
}

void LiveStatus::announce(const QString& text, std::chrono::milliseconds hideAfter) {
    setText(text);
    setAccessibleName(text);
    show();
    // The new text is the alert's news; a reader that missed the name's change hears the alert.
    QAccessibleEvent named(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&named);
    QAccessibleEvent alert(this, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
    if (hideAfter.count() > 0) {
        m_hide.start(hideAfter);
    } else {
        m_hide.stop();
    }
}

void LiveStatus::withdraw() {
    m_hide.stop();
    clear();
    setAccessibleName(QString());
    hide();
}

} // namespace orvalet
