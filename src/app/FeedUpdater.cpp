#include "FeedUpdater.h"

#include "Appcast.h"
#include "UpdateWindow.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QVersionNumber>

namespace orvalet {

FeedUpdater::FeedUpdater(QUrl feedUrl, QString currentVersion, std::chrono::milliseconds timeout)
    : m_feedUrl(std::move(feedUrl))
    , m_currentVersion(std::move(currentVersion))
    , m_timeout(timeout) {
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        abandon();
        fail(QStringLiteral("The update server did not answer in time. Check your connection and try "
                            "again."));
    });
}

FeedUpdater::~FeedUpdater() {
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        delete m_reply;
    }
}

void FeedUpdater::checkForUpdates() {
    if (m_reply) {
        return;
    }
    if (!m_window) {
        m_window = std::make_unique<UpdateWindow>();
        // Closing the window while the check runs cancels the check.
        connect(m_window.get(), &QDialog::rejected, this, [this] {
            if (m_reply) {
                abandon();
                Q_EMIT checkFinished();
            }
        });
    }
    QNetworkRequest request(m_feedUrl);
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QString(QStringLiteral("Orvalet/") + m_currentVersion));
    m_reply = m_network.get(request);
    m_feed.clear();
    // The answer is taken as it arrives and counted here, so that no answer, with a length or
    // without one (chunked), can hold more than an appcast's worth of memory: the reply itself
    // buffers only a little before it stops reading from the connection.
    m_reply->setReadBufferSize(64 * 1024);
    connect(m_reply, &QNetworkReply::finished, this, &FeedUpdater::replyFinished);
    connect(m_reply, &QNetworkReply::readyRead, this, &FeedUpdater::takeArrived);
    m_deadline.start(m_timeout);
    m_window->showChecking();
}

bool FeedUpdater::takeArrived() {
    m_feed += m_reply->readAll();
    if (m_feed.size() <= maximumFeedSize) {
        return true;
    }
    abandon();
    fail(QStringLiteral("The update feed is larger than an appcast can be."));
    return false;
}

void FeedUpdater::abandon() {
    m_deadline.stop();
    m_feed.clear();
    if (QNetworkReply* reply = m_reply) {
        m_reply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

void FeedUpdater::fail(const QString& reason) {
    m_window->showFailed(reason);
    Q_EMIT checkFinished();
}

void FeedUpdater::replyFinished() {
    if (!takeArrived()) {
        return;
    }
    QNetworkReply* reply = m_reply;
    m_reply = nullptr;
    m_deadline.stop();
    reply->deleteLater();

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && status.toInt() >= 400) {
        const QString phrase = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        fail(QStringLiteral("The update server answered with HTTP status %1%2.")
                 .arg(status.toInt())
                 .arg(phrase.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(phrase)));
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        fail(QStringLiteral("Could not reach the update server: %1").arg(reply->errorString()));
        return;
    }
    QString error;
    const std::optional<AppcastItem> newest =
        newestAppcastItem(std::exchange(m_feed, {}), reply->url(), &error);
    if (!newest) {
        fail(error);
        return;
    }
    if (newest->version > QVersionNumber::fromString(m_currentVersion)) {
        m_window->showAvailable(newest->displayVersion, m_currentVersion, newest->downloadUrl);
    } else {
        m_window->showUpToDate(m_currentVersion);
    }
    Q_EMIT checkFinished();
}

} // namespace orvalet
