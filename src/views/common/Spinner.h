#pragma once

#include <QTimer>
#include <QWidget>

class QPainter;

namespace orvalet {

// An indeterminate progress indicator: an arc that keeps turning while the widget is shown.
class Spinner final : public QWidget {
    Q_OBJECT

public:
    explicit Spinner(int diameter, QWidget* parent = nullptr);

    QSize sizeHint() const override { return {m_diameter, m_diameter}; }

    // Draws the turning arc at `angle` degrees in `area`; shared with buttons that show progress.
    static void paintArc(QPainter& painter, const QRectF& area, int angle, const QPalette& palette);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    int m_diameter;
    int m_angle = 0;
    QTimer m_timer;
};

} // namespace orvalet
