#pragma once

#include <QStringList>
#include <QWidget>

class QVBoxLayout;

namespace orvalet {

// Above the tag list: one line per display preference that is not at its default, and "Reset".
// Hidden when there is no line to show.
class StatusAreaView final : public QWidget {
    Q_OBJECT

public:
    explicit StatusAreaView(QWidget* parent = nullptr);

    void setLines(const QStringList& lines);
    QStringList lines() const { return m_lines; }

Q_SIGNALS:
    void resetRequested();

private:
    QStringList m_lines;
    QVBoxLayout* m_lineLayout = nullptr;
};

} // namespace orvalet
