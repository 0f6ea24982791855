#pragma once

#include <QTimer>
#include <QToolButton>

namespace orvalet {

// A tool button that, while busy, shows a small turning progress indicator in place of its label
// and icon. Its text stays for screen readers, which also hear that it is busy.
class BusyToolButton final : public QToolButton {
    Q_OBJECT

public:
    explicit BusyToolButton(QWidget* parent = nullptr);

    void setBusy(bool busy);
    bool isBusy() const { return m_busy; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_busy = false;
    int m_angle = 0;
    QTimer m_timer;
};

} // namespace orvalet
