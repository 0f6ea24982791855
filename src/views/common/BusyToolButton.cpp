#include "BusyToolButton.h"

#include "Spinner.h"

#include <QAccessible>
#include <QPainter>
#include <QStyleOptionToolButton>
#include <QStylePainter>

namespace orvalet {

BusyToolButton::BusyToolButton(QWidget* parent)
    : QToolButton(parent) {
    m_timer.setInterval(16);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_angle = (m_angle + 6) % 360;
        update();
    });
}

void BusyToolButton::setBusy(bool busy) {
    if (busy == m_busy) {
        return;
    }
    m_busy = busy;
    if (busy) {
        m_timer.start();
    } else {
        m_timer.stop();
    }
    QAccessible::State state;
    state.busy = true;
    QAccessibleStateChangeEvent event(this, state);
    QAccessible::updateAccessibility(&event);
    update();
}

void BusyToolButton::paintEvent(QPaintEvent* event) {
    if (!m_busy) {
        QToolButton::paintEvent(event);
        return;
    }
    QStylePainter painter(this);
    QStyleOptionToolButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    painter.drawComplexControl(QStyle::CC_ToolButton, option);
    const int side = std::min(height(), width()) - 8;
    QRectF area(0, 0, side, side);
    area.moveCenter(QRectF(rect()).center());
    Spinner::paintArc(painter, area, m_angle, palette());
}

} // namespace orvalet
