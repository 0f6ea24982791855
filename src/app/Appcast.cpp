#include "Appcast.h"

#include <QXmlStreamReader>

namespace orvalet {

namespace {

constexpr QLatin1StringView sparkleNamespace("http://www.andymatuschak.org/xml-namespaces/sparkle");

bool isRss(const QXmlStreamReader& xml, QStringView name) {
    return xml.namespaceUri().isEmpty() && xml.name() == name;
}

bool isSparkle(const QXmlStreamReader& xml, QStringView name) {
    return xml.namespaceUri() == sparkleNamespace && xml.name() == name;
}

// Reads one <item> up to its end tag; nothing when it lacks a version or an address.
std::optional<AppcastItem> readItem(QXmlStreamReader& xml, const QUrl& feedUrl) {
    QString version;
    QString shortVersion;
    QString enclosureVersion;
    QString enclosureShortVersion;
    QString enclosureUrl;
    QString link;
    while (xml.readNextStartElement()) {
        if (isSparkle(xml, u"version")) {
            version = xml.readElementText().trimmed();
        } else if (isSparkle(xml, u"shortVersionString")) {
            shortVersion = xml.readElementText().trimmed();
        } else if (isRss(xml, u"link")) {
            link = xml.readElementText().trimmed();
        } else if (isRss(xml, u"enclosure")) {
            const QXmlStreamAttributes attributes = xml.attributes();
            enclosureUrl = attributes.value(QLatin1StringView("url")).toString().trimmed();
            enclosureVersion =
                attributes.value(sparkleNamespace, QLatin1StringView("version")).toString().trimmed();
            enclosureShortVersion =
                attributes.value(sparkleNamespace, QLatin1StringView("shortVersionString"))
                    .toString()
                    .trimmed();
            xml.skipCurrentElement();
        } else {
            xml.skipCurrentElement();
        }
    }
    if (version.isEmpty()) {
        version = enclosureVersion;
    }
    if (shortVersion.isEmpty()) {
        shortVersion = enclosureShortVersion.isEmpty() ? version : enclosureShortVersion;
    }
    const QString address = enclosureUrl.isEmpty() ? link : enclosureUrl;
    const QUrl url = feedUrl.resolved(QUrl(address));
    AppcastItem item{QVersionNumber::fromString(version), shortVersion, url};
    if (item.version.isNull() || address.isEmpty() || !url.isValid()) {
        return std::nullopt;
    }
    // "Download" hands the address to the desktop, which would open any scheme it knows (files,
    // network shares, other applications): only a web page is offered, over HTTPS unless the feed
    // itself came over plain HTTP.
    const QString scheme = url.scheme().toLower();
    if (scheme != u"https" && !(scheme == u"http" && feedUrl.scheme().toLower() == u"http")) {
        return std::nullopt;
    }
    return item;
}

} // namespace

std::optional<AppcastItem> newestAppcastItem(const QByteArray& feed, const QUrl& feedUrl, QString* error) {
    QXmlStreamReader xml(feed);
    if (xml.readNextStartElement() && !isRss(xml, u"rss")) {
        *error = QStringLiteral("The update feed is not an RSS feed.");
        return std::nullopt;
    }
    std::optional<AppcastItem> newest;
    while (!xml.atEnd() && !xml.hasError()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && isRss(xml, u"item")) {
            std::optional<AppcastItem> item = readItem(xml, feedUrl);
            if (item && (!newest || item->version > newest->version)) {
                newest = std::move(item);
            }
        }
    }
    if (xml.hasError()) {
        *error = QStringLiteral("The update feed is not well-formed XML: %1 (line %2).")
                     .arg(xml.errorString())
                     .arg(xml.lineNumber());
        return std::nullopt;
    }
    if (!newest) {
        *error = QStringLiteral("The update feed lists no version.");
    }
    return newest;
}

} // namespace orvalet
