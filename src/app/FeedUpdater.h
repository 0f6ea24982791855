#pragma once

#include "Updater.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <chrono>
#include <memory>

namespace orvalet {

class FeedDecoder;
class UpdateWindow;

// The updater away from macOS. A check, started only by the user, fetches the appcast at a fixed
// address, compares its newest version with the running one, and shows the outcome in an
// UpdateWindow: up to date, a newer version with its download, or why the feed could not be read.
// One check runs at a time; it ends with an error when the server has not answered in `timeout`.
class FeedUpdater final : public QObject, public Updater {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds defaultTimeout{30'000};
    // A feed larger than this is not an appcast; the check stops reading and fails. A compressed
    // answer counts as large as it is once unpacked, and is unpacked no further than that.
    static constexpr qint64 maximumFeedSize = 4 * 1024 * 1024;

    FeedUpdater(QUrl feedUrl, QString currentVersion, std::chrono::milliseconds timeout = defaultTimeout);
    ~FeedUpdater() override;

    QUrl feedUrl() const { return m_feedUrl; }

    bool canCheckForUpdates() const override { return !m_reply; }
    void checkForUpdates() override;

    // The window of the last check; null before the first.
    UpdateWindow* window() const { return m_window.get(); }

Q_SIGNALS:
    // A check ended: with a result or an error on the window, or cancelled by the user.
    void checkFinished();

private:
    void replyFinished();
    // Takes what has arrived of the answer, unpacked when the server compressed it; past
    // maximumFeedSize, abandons the check with a failure and returns false.
    bool takeArrived();
    // Stops the running check without reading its reply.
    void abandon();
    void fail(const QString& reason);

    QUrl m_feedUrl;
    QString m_currentVersion;
    std::chrono::milliseconds m_timeout;
    QNetworkAccessManager m_network;
    QPointer<QNetworkReply> m_reply;
    QByteArray m_feed; // what has arrived of the answer so far, unpacked
    std::unique_ptr<FeedDecoder> m_decoder;
    QTimer m_deadline;
    std::unique_ptr<UpdateWindow> m_window;
};

} // namespace orvalet
