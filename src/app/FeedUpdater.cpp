#include "FeedUpdater.h"

#include "Appcast.h"
#include "UpdateWindow.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QVersionNumber>
#include <zlib.h>

namespace orvalet {

// Turns the answer back into the feed as it arrives: as it is, or unpacked from gzip or deflate,
// never further than the feed may be long. Qt would unpack it itself, but in pieces as large as it
// likes (tens of megabytes at once from a megabyte that unpacks to a gigabyte), and a check that
// Qt's own guard against such answers stopped never finished.
class FeedDecoder final {
public:
    enum class Outcome { more, tooLarge };

    // For the answer's Content-Encoding header.
    explicit FeedDecoder(const QByteArray& contentEncoding) {
        const QByteArray encoding = contentEncoding.trimmed().toLower();
        if (encoding.isEmpty() || encoding == "identity") {
            m_mode = Mode::asIs;
        } else if (encoding == "gzip" || encoding == "x-gzip" || encoding == "deflate") {
            // deflate is a zlib stream, told from a gzip one by its header.
            const int windowBits = encoding == "deflate" ? MAX_WBITS + 32 : MAX_WBITS + 16;
            if (inflateInit2(&m_stream, windowBits) == Z_OK) {
                m_mode = Mode::inflating;
            } else {
                m_error = QStringLiteral("The update feed could not be unpacked: %1.")
                              .arg(QString::fromUtf8(zError(Z_MEM_ERROR)));
            }
        } else {
            m_error = QStringLiteral("The update server sent the feed in an encoding Orvalet cannot "
                                     "read (%1).")
                          .arg(QString::fromLatin1(encoding));
        }
    }
    ~FeedDecoder() {
        if (m_mode == Mode::inflating) {
            inflateEnd(&m_stream);
        }
    }
    FeedDecoder(const FeedDecoder&) = delete;
    FeedDecoder& operator=(const FeedDecoder&) = delete;

    // Appends what `piece` unpacks to onto `feed`, and stops as soon as the feed, or what the server
    // sent for it, passes `limit` bytes. What cannot be read is only counted.
    Outcome take(const QByteArray& piece, QByteArray& feed, qint64 limit) {
        m_received += piece.size();
        if (m_error) {
            // Nothing more is read of it.
        } else if (m_mode == Mode::asIs) {
            feed += piece;
        } else if (!m_ended) {
            inflateInto(piece, feed, limit);
        }
        return feed.size() > limit || m_received > limit ? Outcome::tooLarge : Outcome::more;
    }

    // Why the feed cannot be read: an encoding Orvalet did not ask for, or compressed data that is
    // damaged.
    const std::optional<QString>& error() const { return m_error; }

private:
    enum class Mode { asIs, inflating, unreadable };

    void inflateInto(const QByteArray& piece, QByteArray& feed, qint64 limit) {
        m_stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(piece.constData()));
        m_stream.avail_in = uInt(piece.size());
        char out[64 * 1024];
        while (feed.size() <= limit) {
            // One byte past the limit is enough to know the feed is too large.
            const qint64 room = std::min<qint64>(sizeof out, limit + 1 - feed.size());
            m_stream.next_out = reinterpret_cast<Bytef*>(out);
            m_stream.avail_out = uInt(room);
            const int rc = inflate(&m_stream, Z_NO_FLUSH);
            feed.append(out, qsizetype(room - m_stream.avail_out));
            if (rc == Z_STREAM_END) {
                m_ended = true; // anything after the stream is not part of it
                return;
            }
            if (rc == Z_BUF_ERROR || (rc == Z_OK && m_stream.avail_in == 0 && m_stream.avail_out > 0)) {
                return; // the piece is used up: the rest comes with the next one
            }
            if (rc != Z_OK) {
                m_error = QStringLiteral("The update feed could not be unpacked: %1.")
                              .arg(QString::fromUtf8(m_stream.msg ? m_stream.msg : zError(rc)));
                return;
            }
        }
    }

    Mode m_mode = Mode::unreadable;
    z_stream m_stream{};
    bool m_ended = false;
    qint64 m_received = 0;
    std::optional<QString> m_error;
};

namespace {

// Asking for these keeps Qt from unpacking the answer itself.
constexpr const char* acceptedEncodings = "gzip, deflate";

} // namespace

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
    request.setRawHeader("Accept-Encoding", acceptedEncodings);
    m_reply = m_network.get(request);
    m_feed.clear();
    m_decoder.reset();
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
    if (!m_decoder) {
        m_decoder = std::make_unique<FeedDecoder>(m_reply->rawHeader("Content-Encoding"));
    }
    if (m_decoder->take(m_reply->readAll(), m_feed, maximumFeedSize) == FeedDecoder::Outcome::more) {
        return true;
    }
    abandon();
    fail(QStringLiteral("The update feed is larger than an appcast can be."));
    return false;
}

void FeedUpdater::abandon() {
    m_deadline.stop();
    m_feed.clear();
    m_decoder.reset();
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
    if (const std::optional<QString>& unreadable = m_decoder->error()) {
        fail(*unreadable);
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
