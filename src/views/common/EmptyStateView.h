#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace orvalet {

// A centred icon, title and description, shown where there is nothing to show yet.
class EmptyStateView final : public QWidget {
    Q_OBJECT

public:
    EmptyStateView(const QString& title, const QString& symbol, const QString& description,
                   QWidget* parent = nullptr);

    void setTexts(const QString& title, const QString& description);
    QString title() const;
    // A button below the description, for the one thing that fills the empty place.
    QPushButton* addButton(const QString& text);

private:
    QLabel* m_heading = nullptr;
    QLabel* m_text = nullptr;
};

} // namespace orvalet
