#pragma once

#include <QWidget>

class QLabel;

namespace orvalet {

// A dimming layer over the widget it is laid on, with a card in the middle: a turning spinner, a
// title and a line asking the user to wait. While shown it covers its target and takes every click
// and key aimed at what lies under it.
class ProgressOverlay final : public QWidget {
    Q_OBJECT

public:
    // Lies over `target`, which must be a sibling or the parent's only content.
    ProgressOverlay(QWidget* target, QWidget* parent);

    void setTitle(const QString& title);
    QString title() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void cover();

    QWidget* m_target;
    QLabel* m_title = nullptr;
};

} // namespace orvalet
