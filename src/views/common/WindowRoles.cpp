#include "WindowRoles.h"

#include <QAccessibleWidget>
#include <QWidget>

namespace orvalet {

namespace {

constexpr const char* windowMark = "orvaletWindow";

QAccessibleInterface* windowRole(const QString& key, QObject* object) {
    Q_UNUSED(key);
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget || !widget->property(windowMark).toBool()) {
        return nullptr;
    }
    return new QAccessibleWidget(widget, QAccessible::Window);
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

} // namespace orvalet
