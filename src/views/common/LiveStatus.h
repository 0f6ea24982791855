#pragma once

#include <QLabel>
#include <QTimer>
#include <chrono>

namespace orvalet {

// A caption that says how an action is going ("Saving…", then "Saved"), and that a screen reader
// hears as it changes: an alert to assistive tools, announced at each new text, as a spinner or a
// greyed button never is. Hidden while it has nothing to say.
class LiveStatus final : public QLabel {
    Q_OBJECT

public:
    explicit LiveStatus(QWidget* parent = nullptr);

    // Shows and announces `text`; with `hideAfter`, hides it again after that long.
    void announce(const QString& text, std::chrono::milliseconds hideAfter = {});
    // Hides it without a word: what follows is said elsewhere (an error row).
    void withdraw();

private:
    QTimer m_hide;
};

} // namespace orvalet
