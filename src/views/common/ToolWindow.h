#pragma once

#include <QWidget>

class QLabel;

namespace orvalet {

// A window of its own over the main window (the clean-up, the similar tags): titled and named for a
// screen reader by `title`, closed by the platform's Close keys and, as a dialog is, by Escape that no
// control used (a dialog of its own, being a window of its own, takes its Escape first).
class ToolWindow : public QWidget {
    Q_OBJECT

public:
    ToolWindow(const QString& title, const QString& objectName, QWidget* parent);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // The bold line at the top that says what the window lists.
    QLabel* addHeading(const QString& text);
};

} // namespace orvalet
