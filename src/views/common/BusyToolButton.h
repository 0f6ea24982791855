#pragma once

#include <QPushButton>
#include <QTimer>
#include <QToolButton>

namespace orvalet {

// What a busy button shows in place of its label and icon: a small turning arc. Its text stays for
// screen readers, which also hear that it is busy.
class BusyArc final : public QObject {
    Q_OBJECT

public:
    explicit BusyArc(QWidget* button);

    void setBusy(bool busy);
    bool isBusy() const { return m_busy; }
    // Draws the arc in the middle of the button.
    void paint(QPainter& painter) const;

private:
    QWidget* m_button;
    bool m_busy = false;
    int m_angle = 0;
    QTimer m_timer;
};

// A tool button that can show a BusyArc while its action runs.
class BusyToolButton final : public QToolButton {
    Q_OBJECT

public:
    explicit BusyToolButton(QWidget* parent = nullptr);

    void setBusy(bool busy) { m_arc.setBusy(busy); }
    bool isBusy() const { return m_arc.isBusy(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    BusyArc m_arc{this};
};

// A push button ("Save Changes", "Delete") that can show a BusyArc while its action runs.
class BusyPushButton final : public QPushButton {
    Q_OBJECT

public:
    using QPushButton::QPushButton;

    void setBusy(bool busy) { m_arc.setBusy(busy); }
    bool isBusy() const { return m_arc.isBusy(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    BusyArc m_arc{this};
};

} // namespace orvalet
