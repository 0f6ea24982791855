#pragma once

#include <QWidget>

namespace orvalet {

// A centred icon, title and description, shown where there is nothing to show yet.
class EmptyStateView final : public QWidget {
    Q_OBJECT

public:
    EmptyStateView(const QString& title, const QString& symbol, const QString& description,
                   QWidget* parent = nullptr);
};

} // namespace orvalet
