#pragma once

#include <QStringList>
#include <QWidget>

class QLabel;
class QTimer;
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

    // A passing confirmation ("Exported 60 tags to tags.json"), shown above the lines for a few
    // seconds, or until the next one.
    void showNotice(const QString& text);
    QString notice() const;

Q_SIGNALS:
    void resetRequested();

private:
    void showWhatIsSet();

    QStringList m_lines;
    QVBoxLayout* m_lineLayout = nullptr;
    QLabel* m_notice = nullptr;
    QWidget* m_linesRow = nullptr;
    QTimer* m_noticeTimer = nullptr;
};

} // namespace orvalet
