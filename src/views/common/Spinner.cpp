#include "Spinner.h"

#include <QPainter>

namespace orvalet {

Spinner::Spinner(int diameter, QWidget* parent)
    : QWidget(parent)
    , m_diameter(diameter) {
    setFixedSize(diameter, diameter);
    setAccessibleName(QStringLiteral("In progress"));
    m_timer.setInterval(16);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_angle = (m_angle + 6) % 360;
        update();
    });
}

void Spinner::paintArc(QPainter& painter, const QRectF& area, int angle, const QPalette& palette) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal side = std::min(area.width(), area.height());
    const qreal width = std::max(2.0, side / 10.0);
    QRectF circle(0, 0, side - 2 * width, side - 2 * width);
    circle.moveCenter(area.center());
    QColor track = palette.color(QPalette::WindowText);
    track.setAlphaF(0.15);
    painter.setPen(QPen(track, width));
    painter.drawEllipse(circle);
    painter.setPen(QPen(palette.color(QPalette::Highlight), width, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(circle, -angle * 16, 100 * 16);
    painter.restore();
}

void Spinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintArc(painter, rect(), m_angle, palette());
}

void Spinner::showEvent(QShowEvent* event) {
    m_timer.start();
    QWidget::showEvent(event);
}

void Spinner::hideEvent(QHideEvent* event) {
    m_timer.stop();
    QWidget::hideEvent(event);
}

} // namespace orvalet
