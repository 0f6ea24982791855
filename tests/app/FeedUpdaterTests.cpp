#include "Appcast.h"
#include "FeedUpdater.h"
#include "UpdateWindow.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QDesktopServices>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <zlib.h>

using namespace orvalet;
using namespace std::chrono_literals;

namespace {

// An HTTP server on 127.0.0.1 that answers every request alike: with `status` and `body` (in
// `contentEncoding` when set), with an endless body when `endless`, or not at all when `silent`.
class FeedServer final : public QObject {
public:
    FeedServer() {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
            }
        });
    }
    bool listen() { return m_server.listen(QHostAddress::LocalHost); }
    // Stops listening: connections to the port are refused from now on.
    void refuse() { m_server.close(); }
    QUrl url() const { return QUrl(u"http://127.0.0.1:%1/appcast.xml"_qs.arg(m_server.serverPort())); }

    int status = 200;
    QByteArray body;
    QByteArray contentEncoding;
    bool silent = false;
    bool endless = false; // in chunks, without a length, as fast as the client reads
    int requests = 0;
    qint64 bodyBytesSent = 0;

private:
    void serve(QTcpSocket* socket) {
        if (!(m_pending[socket] += socket->readAll()).contains("\r\n\r\n")) {
            return;
        }
        ++requests;
        if (silent) {
            return;
        }
        if (endless) {
            socket->write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
            const QByteArray chunk = "10000\r\n" + QByteArray(0x10000, ' ') + "\r\n";
            const auto more = [this, socket, chunk] {
                while (socket->bytesToWrite() < 4 * chunk.size() && bodyBytesSent < (qint64(1) << 30)) {
                    socket->write(chunk);
                    bodyBytesSent += 0x10000;
                }
            };
            connect(socket, &QTcpSocket::bytesWritten, this, more);
            more();
            return;
        }
        socket->write(
            "HTTP/1.1 " + QByteArray::number(status) + (status == 200 ? " OK" : " Refused") +
            "\r\nContent-Length: " + QByteArray::number(body.size()) +
            (contentEncoding.isEmpty() ? QByteArray() : "\r\nContent-Encoding: " + contentEncoding) +
            "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QHash<QTcpSocket*, QByteArray> m_pending;
};

QByteArray rss(const QByteArray& items) {
    return "<rss version='2.0' "
           "xmlns:sparkle='http://www.andymatuschak.org/xml-namespaces/sparkle'><channel>" +
           items + "</channel></rss>";
}
// An appcast whose items are given as (sparkle:version, sparkle:shortVersionString, enclosure URL),
// the last two the version and an address made of it when left out.
QByteArray appcast(std::initializer_list<std::array<const char*, 3>> items) {
    QByteArray feed;
    for (const auto& [version, shortVersion, url] : items) {
        feed += QByteArray("<item><sparkle:version>") + version +
                "</sparkle:version><sparkle:shortVersionString>" + (shortVersion ? shortVersion : version) +
                "</sparkle:shortVersionString><enclosure url='" +
                (url ? QByteArray(url) : "https://orvalet.app/d/" + QByteArray(version) + ".deb") +
                "'/></item>";
    }
    return rss(feed);
}

// `data` `times` over, compressed as gzip: 256 MiB of spaces take 256 KB.
QByteArray gzip(const QByteArray& data, int times = 1) {
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, MAX_WBITS + 16, 8, Z_DEFAULT_STRATEGY);
    QByteArray compressed;
    char out[64 * 1024];
    for (int i = 0; i < times; ++i) {
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
        stream.avail_in = uInt(data.size());
        do {
            stream.next_out = reinterpret_cast<Bytef*>(out);
            stream.avail_out = sizeof out;
            deflate(&stream, i + 1 == times ? Z_FINISH : Z_NO_FLUSH);
            compressed.append(out, qsizetype(sizeof out - stream.avail_out));
        } while (stream.avail_out == 0);
    }
    deflateEnd(&stream);
    return compressed;
}

// What a screen reader calls the widget.
QString accessibleName(QWidget* widget) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    return accessible ? accessible->text(QAccessible::Name) : QString();
}

} // namespace

// The feed updater against a local HTTP server: what a check shows for each kind of answer, and
// that "Check for Updates…" is offered again once a check has ended, however it ended.
class FeedUpdaterTests final : public QObject {
    Q_OBJECT

public Q_SLOTS:
    // Stands in for the desktop's browser while a test runs.
    void openUrl(const QUrl& url) { m_opened.append(url); }

private:
    std::unique_ptr<FeedServer> m_server;
    QList<QUrl> m_opened;

    // Runs one check to its end and returns the window showing its outcome.
    UpdateWindow* check(FeedUpdater& updater) {
        QSignalSpy finished(&updater, &FeedUpdater::checkFinished);
        [&] {
            QVERIFY(updater.canCheckForUpdates());
            updater.checkForUpdates();
            QVERIFY(!updater.canCheckForUpdates() && updater.window() && updater.window()->isVisible());
            QCOMPARE(updater.window()->state(), UpdateWindow::State::checking);
            QVERIFY(finished.wait(5000) && updater.canCheckForUpdates());
        }();
        return updater.window();
    }
    QString text(QWidget* window, const char* name) {
        auto* label = window->findChild<QLabel*>(QLatin1String(name));
        return label && label->isVisible() ? label->text() : QString();
    }
    // Every control the window shows has a name a screen reader can say.
    void verifyReadable(QWidget* window) {
        QCOMPARE(accessibleName(window), u"Software Update"_qs);
        int controls = 0;
        for (QWidget* widget : window->findChildren<QWidget*>()) {
            if (!widget->isVisible() ||
                !(qobject_cast<QLabel*>(widget) || qobject_cast<QAbstractButton*>(widget) ||
                  qobject_cast<QProgressBar*>(widget))) {
                continue;
            }
            ++controls;
            QVERIFY2(!accessibleName(widget).trimmed().isEmpty(),
                     qPrintable(widget->objectName() + u" has no accessible name"_qs));
        }
        QVERIFY(controls >= 3);
    }

private Q_SLOTS:
    void init() {
        m_server = std::make_unique<FeedServer>();
        QVERIFY(m_server->listen());
        m_opened.clear();
        QDesktopServices::setUrlHandler(u"http"_qs, this, "openUrl");
        QDesktopServices::setUrlHandler(u"https"_qs, this, "openUrl");
    }

    void cleanup() {
        QDesktopServices::unsetUrlHandler(u"http"_qs);
        QDesktopServices::unsetUrlHandler(u"https"_qs);
        m_server.reset();
    }

    void checkShowsTheOutcome_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("feed");
        QTest::addColumn<UpdateWindow::State>("state");
        QTest::addColumn<QString>("detail");

        using enum UpdateWindow::State;
        // The newest item wins wherever it stands; its short version is the one shown.
        QTest::newRow("newer version") << 200 << appcast({{"0.1.5"}, {"0.2.0", "0.2"}, {"0.0.9"}})
                                       << available << "Orvalet 0.2 is available. You have 0.1.0.";
        QTest::newRow("same version")
            << 200 << appcast({{"0.1.0"}}) << upToDate << "Orvalet 0.1.0 is the newest version available.";
        // Versions compare by number, not as text: 0.0.10 is older than 0.1.0, and 0.1.0 than 0.10.0.
        QTest::newRow("older version")
            << 200 << appcast({{"0.0.10"}}) << upToDate << "Orvalet 0.1.0 is the newest version available.";
        QTest::newRow("newer by number, not by text")
            << 200 << appcast({{"0.10.0"}}) << available << "Orvalet 0.10.0 is available. You have 0.1.0.";
        QTest::newRow("malformed XML")
            << 200 << QByteArray("<rss version=\"2.0\"><channel><item></channel>") << failed
            << "The update feed is not well-formed XML: Opening and ending tag "
               "mismatch. (line 1).";
        QTest::newRow("not a feed") << 200 << QByteArray("<html><body>Moved</body></html>") << failed
                                    << "The update feed is not an RSS feed.";
        QTest::newRow("no version") << 200 << appcast({}) << failed << "The update feed lists no version.";
        // Read no further than an appcast can be, whatever the server sends.
        QTest::newRow("too large") << 200 << appcast({}).append(FeedUpdater::maximumFeedSize, ' ') << failed
                                   << "The update feed is larger than an appcast can be.";
        // Every client or server error is told as the server's answer, whatever page comes with it.
        for (int status : {400, 403, 404, 410, 451, 500}) {
            QTest::addRow("HTTP %d", status)
                << status << QByteArray("<html>no</html>") << failed
                << u"The update server answered with HTTP status %1 (Refused)."_qs.arg(status);
        }
        // Status 0: nothing listens on the port.
        QTest::newRow("nobody listening")
            << 0 << QByteArray() << failed << "Could not reach the update server: Connection refused";
        // Status -1: an endless answer without a length. It is counted as it arrives, and the check stops
        // reading at the limit (before, a chunked gigabyte was read whole into memory).
        QTest::newRow("endless answer without a length")
            << -1 << QByteArray() << failed << "The update feed is larger than an appcast can be.";
    }

    void checkShowsTheOutcome() {
        QFETCH(int, status);
        QFETCH(QByteArray, feed);
        QFETCH(UpdateWindow::State, state);
        QFETCH(QString, detail);
        m_server->status = status;
        m_server->body = feed;
        m_server->endless = status < 0;
        FeedUpdater updater(m_server->url(), u"0.1.0"_qs);
        if (status == 0) {
            m_server->refuse();
        }
        UpdateWindow* window = check(updater);
        QVERIFY(window && window->isVisible());
        QCOMPARE(window->state(), state);
        using enum UpdateWindow::State;
        const QHash<UpdateWindow::State, QString> titles{
            {available, u"A new version of Orvalet is available."_qs},
            {upToDate, u"You're up to date."_qs},
            {failed, u"Could not check for updates."_qs}};
        QCOMPARE(text(window, "updateTitle"), titles.value(state));
        QCOMPARE(text(window, "updateDetail"), detail);
        QCOMPARE(window->findChild<QPushButton*>(u"updateDownload"_qs)->isVisible(), state == available);
        QVERIFY(!window->findChild<QProgressBar*>(u"updateProgress"_qs)->isVisible());
        verifyReadable(window);
        QCOMPARE(m_server->requests, status == 0 ? 0 : 1);
        QVERIFY2(m_server->bodyBytesSent < 4 * FeedUpdater::maximumFeedSize,
                 qPrintable(QString::number(m_server->bodyBytesSent)));
    }

    // A compressed feed is read unpacked, and only as far as an appcast can be: 256 KB that unpack to
    // 256 MiB are too large as soon as 4 MiB are out (Qt's own guard against them stopped the answer
    // without ending it, and the check waited for its timeout, to say the server did not answer).
    void aCompressedFeedIsReadUnpackedNoFurtherThanAnAppcastCanBe_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("feed");
        QTest::addColumn<UpdateWindow::State>("state");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<QByteArray>("encoding"); // the answer's Content-Encoding
        using enum UpdateWindow::State;
        QTest::newRow("gzip") << 200 << gzip(appcast({{"0.2.0"}})) << available
                              << "Orvalet 0.2.0 is available. You have 0.1.0." << QByteArray("gzip");
        QTest::newRow("unpacking to 256 MiB")
            << 200 << gzip(QByteArray(1 << 20, ' '), 256) << failed
            << "The update feed is larger than an appcast can be." << QByteArray("gzip");
        QTest::newRow("damaged") << 200 << gzip(appcast({{"0.2.0"}})).replace(12, 8, "damaged!") << failed
                                 << "The update feed could not be unpacked: invalid code lengths set."
                                 << QByteArray("gzip");
        QTest::newRow("an encoding not asked for")
            << 200 << appcast({{"0.2.0"}}) << failed
            << "The update server sent the feed in an encoding Orvalet cannot read (br)." << QByteArray("br");
    }

    void aCompressedFeedIsReadUnpackedNoFurtherThanAnAppcastCanBe() {
        QFETCH(QByteArray, encoding);
        m_server->contentEncoding = encoding;
        checkShowsTheOutcome();
    }

    // The newest item's address goes to the browser; plain HTTP is fine from a feed fetched over it.
    void downloadOpensTheNewestEnclosure() {
        m_server->body = appcast({{"0.3.0", "0.3.0", "http://orvalet.app/d/orvalet_0.3.0_amd64.deb"},
                                  {"0.2.0", "0.2.0", "https://orvalet.app/d/orvalet_0.2.0_amd64.deb"}});
        FeedUpdater updater(m_server->url(), u"0.1.0"_qs);
        UpdateWindow* window = check(updater);
        QVERIFY(window);
        auto* download = window->findChild<QPushButton*>(u"updateDownload"_qs);
        QVERIFY(download->isVisible() && download->isDefault());
        QCOMPARE(accessibleName(download), u"Download Orvalet 0.3.0"_qs);
        QTest::mouseClick(download, Qt::LeftButton);
        QCOMPARE(m_opened, QList<QUrl>{QUrl(u"http://orvalet.app/d/orvalet_0.3.0_amd64.deb"_qs)});
        QVERIFY(!window->isVisible());
    }

    // A server that takes the request and never answers. While a check waits, "Check for Updates…"
    // is not offered and a second check does not start; closing the window cancels the check, which
    // then says nothing more; left alone, a check fails after the timeout.
    void aSilentServerIsLeftOnEscapeOrAfterTheTimeout() {
        m_server->silent = true;
        FeedUpdater updater(m_server->url(), u"0.1.0"_qs, 800ms);
        QSignalSpy finished(&updater, &FeedUpdater::checkFinished);
        updater.checkForUpdates();
        QVERIFY(!updater.canCheckForUpdates());
        updater.checkForUpdates();
        UpdateWindow* window = updater.window();
        QVERIFY(window && window->isVisible());
        QCOMPARE(text(window, "updateTitle"), u"Checking for updates\u2026"_qs);
        QCOMPARE(window->findChild<QPushButton*>(u"updateDismiss"_qs)->text(), u"Cancel"_qs);
        verifyReadable(window);
        QTRY_COMPARE(m_server->requests, 1);
        QTest::keyClick(window, Qt::Key_Escape);
        QCOMPARE(finished.size(), 1);
        QVERIFY(!window->isVisible());
        QCOMPARE(window->state(), UpdateWindow::State::checking); // nothing else was shown

        const auto started = std::chrono::steady_clock::now();
        QCOMPARE(check(updater)->state(), UpdateWindow::State::failed);
        QVERIFY(std::chrono::steady_clock::now() - started >= 700ms);
        QCOMPARE(finished.size(), 2);
        QCOMPARE(text(window, "updateDetail"),
                 u"The update server did not answer in time. Check your connection and try again."_qs);
        verifyReadable(window);
        QCOMPARE(m_server->requests, 2);
    }

    // The forms of appcast Sparkle reads: versions as elements or as enclosure attributes, relative
    // addresses, items that cannot be offered.
    void appcastItems_data() {
        QTest::addColumn<QByteArray>("items");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("feed");
        const auto row = [](const char* name, const char* items, const char* version, const char* display,
                            const char* url, const char* feed = "https://feeds.test/orvalet/appcast.xml") {
            QTest::newRow(name) << QByteArray(items) << QString::fromUtf8(version)
                                << QString::fromUtf8(display) << QString::fromUtf8(url)
                                << QString::fromUtf8(feed);
        };

        row("attributes on the enclosure",
            "<item><enclosure url='https://x.test/a.deb' sparkle:version='2.1' "
            "sparkle:shortVersionString='2.1 beta'/></item>",
            "2.1", "2.1 beta", "https://x.test/a.deb");
        row("elements win over attributes",
            "<item><enclosure url='https://x.test/a.deb' sparkle:version='1.0'/> "
            "<sparkle:version>3.0</sparkle:version></item>",
            "3.0", "3.0", "https://x.test/a.deb");
        row("short version defaults to the version",
            "<item><sparkle:version>1.2.3</sparkle:version><enclosure url='https://x.test/b'/></item>",
            "1.2.3", "1.2.3", "https://x.test/b");
        row("relative enclosure",
            "<item><sparkle:version>4</sparkle:version><enclosure url='../d/4.deb'/></item>", "4", "4",
            "https://feeds.test/d/4.deb");
        row("link without enclosure",
            "<item><sparkle:version>5</sparkle:version><link>https://x.test/5</link></item>", "5", "5",
            "https://x.test/5");
        row("items without version or address are passed over",
            "<item><sparkle:version>9</sparkle:version></item> <item><enclosure "
            "url='https://x.test/8'/></item> "
            "<item><sparkle:version>not a number</sparkle:version><enclosure url='https://x.test/7'/></item> "
            "<item><sparkle:version>1.5</sparkle:version><enclosure url='https://x.test/1.5'/></item>",
            "1.5", "1.5", "https://x.test/1.5");
        const char* schemes =
            "<item><sparkle:version>9</sparkle:version><enclosure url='file:///etc/passwd'/></item> "
            "<item><sparkle:version>8</sparkle:version><enclosure url='smb://x.test/8'/></item> "
            "<item><sparkle:version>7</sparkle:version><enclosure url='http://x.test/7'/></item> "
            "<item><sparkle:version>6</sparkle:version><enclosure url='https://x.test/6'/></item>";
        row("only web addresses over HTTPS are offered", schemes, "6", "6", "https://x.test/6");
        row("over HTTP too from a feed fetched over HTTP", schemes, "7", "7", "http://x.test/7",
            "http://feeds.test/orvalet/appcast.xml");
        row("another namespace's version is not Sparkle's",
            "<item xmlns:other='urn:other'><other:version>9</other:version> "
            "<sparkle:version>1</sparkle:version><enclosure url='https://x.test/1'/></item>",
            "1", "1", "https://x.test/1");
    }

    void appcastItems() {
        QFETCH(QByteArray, items);
        QFETCH(QString, version);
        QFETCH(QString, display);
        QFETCH(QString, url);
        QFETCH(QString, feed);
        QString error;
        const auto item = newestAppcastItem(rss(items), QUrl(feed), &error);
        QVERIFY2(item, qPrintable(error));
        QCOMPARE(item->version, QVersionNumber::fromString(version));
        QCOMPARE(item->displayVersion, display);
        QCOMPARE(item->downloadUrl, QUrl(url));
    }
};

QTEST_MAIN(FeedUpdaterTests)
#include "FeedUpdaterTests.moc"
