#include "BusyToolButton.h"

#include "Spinner.h"

#include <QAccessible>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStyleOptionToolButton>
#include <QStylePainter>

namespace orvalet {

BusyArc::BusyArc(QWidget* button)
    : QObject(button)
    , m_button(button) {
    m_timer.setInterval(16);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_angle = (m_angle + 6) % 360;
        m_button->update();
    });
}

void BusyArc::setBusy(bool busy) {
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
    QAccessibleStateChangeEvent event(m_button, state);
    QAccessible::updateAccessibility(&event);
    m_button->update();
}

void BusyArc::paint(QPainter& painter) const {
    const QRect rect = m_button->rect();
    const int side = std::min(rect.height(), rect.width()) - 8;
    QRectF area(0, 0, side, side);
    area.moveCenter(QRectF(rect).center());
    Spinner::paintArc(painter, area, m_angle, m_button->palette());
}

BusyToolButton::BusyToolButton(QWidget* parent)
    : QToolButton(parent) {}

void BusyToolButton::paintEvent(QPaintEvent* event) {
    if (!m_arc.isBusy()) {
        QToolButton::paintEvent(event);
        return;
    }
    QStylePainter painter(this);
    QStyleOptionToolButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    painter.drawComplexControl(QStyle::CC_ToolButton, option);
    m_arc.paint(painter);
}

void BusyPushButton::paintEvent(QPaintEvent* event) {
    if (!m_arc.isBusy()) {
        QPushButton::paintEvent(event);
        return;
    }
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    painter.drawControl(QStyle::CE_PushButton, option);
    m_arc.paint(painter);
}

} // namespace orvalet
