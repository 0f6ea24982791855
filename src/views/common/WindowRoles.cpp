#include "WindowRoles.h"

#include <QAccessibleWidget>
#include <QWidget>

namespace orvalet {

namespace {

constexpr const char* windowMark = "orvaletWindow";
constexpr const char* alertMark = "orvaletAlert";

QAccessibleInterface* windowRole(const QString& key, QObject* object) {
    Q_UNUSED(key);
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget && widget->property(windowMark).toBool()) {
        return new QAccessibleWidget(widget, QAccessible::Window);
    }
    if (widget && widget->property(alertMark).toBool()) {
        return new QAccessibleWidget(widget, QAccessible::AlertMessage);
    }
    return nullptr;
}

} // namespace

void installWindowRoles() {
    static bool installed = false;
    if (!installed) {
        installed = true;
        QAccessible::installFactory(windowRole);
    }
}

void markAsWindow(QWidget* window) {
    window->setProperty(windowMark, true);
}

void markAsAlert(QWidget* widget) {
    installWindowRoles();
    widget->setProperty(alertMark, true);
}

} // namespace orvalet
