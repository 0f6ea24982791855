#pragma once

#include <QFrame>
#include <optional>

class QLabel;
class QPushButton;

namespace orvalet {

// The row that shows an editor's last failure: a warning icon, the message and "Dismiss", in white
// on red. Hidden while there is no message; a screen reader hears each new message as an alert.
class ErrorRow final : public QFrame {
    Q_OBJECT

public:
    explicit ErrorRow(QWidget* parent = nullptr);

    // Shows the message, or hides the row for none.
    void setMessage(const std::optional<QString>& message);
    QString message() const;

Q_SIGNALS:
    void dismissed();

private:
    QLabel* m_text = nullptr;
    QPushButton* m_dismiss = nullptr;
};

} // namespace orvalet
