#pragma once

#include <QDialog>
#include <QUrl>

class QLabel;
class QProgressBar;
class QPushButton;

namespace orvalet {

// The feed updater's small window: a check while it runs, then its result. It is not modal; closing
// it or pressing Escape rejects it, which cancels a running check.
class UpdateWindow final : public QDialog {
    Q_OBJECT

public:
    enum class State { checking, upToDate, available, failed };

    explicit UpdateWindow(QWidget* parent = nullptr);

    State state() const { return m_state; }
    // Where "Download" leads while a newer version is shown.
    QUrl downloadUrl() const { return m_downloadUrl; }

    // Each shows the window, raised, with the one state.
    void showChecking();
    void showUpToDate(const QString& version);
    void showAvailable(const QString& newVersion, const QString& currentVersion, const QUrl& downloadUrl);
    void showFailed(const QString& reason);

private:
    void present(State state, const QString& title, const QString& detail);

    State m_state = State::checking;
    QUrl m_downloadUrl;
    QLabel* m_icon = nullptr;
    QLabel* m_title = nullptr;
    QLabel* m_detail = nullptr;
    QProgressBar* m_progress = nullptr;
    QPushButton* m_download = nullptr;
    QPushButton* m_dismiss = nullptr;
};

} // namespace orvalet
