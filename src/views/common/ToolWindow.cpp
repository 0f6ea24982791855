#include "ToolWindow.h"

#include "WindowRoles.h"

#include <QKeyEvent>
#include <QLabel>
#include <QShortcut>

namespace orvalet {

ToolWindow::ToolWindow(const QString& title, const QString& objectName, QWidget* parent)
    : QWidget(parent, Qt::Window) {
    markAsWindow(this);
    setObjectName(objectName);
    setWindowTitle(title);
    setAccessibleName(title);
    auto* closeShortcut = new QShortcut(QKeySequence::Close, this);
    connect(closeShortcut, &QShortcut::activated, this, &QWidget::close);
}

void ToolWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

QLabel* ToolWindow::addHeading(const QString& text) {
    auto* heading = new QLabel(text, this);
    heading->setWordWrap(true);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    return heading;
}

} // namespace orvalet
