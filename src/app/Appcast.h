#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QVersionNumber>
#include <optional>

namespace orvalet {

// One version offered by an appcast: an RSS item with Sparkle's version fields.
struct AppcastItem {
    // sparkle:version, the number compared with the running version.
    QVersionNumber version;
    // sparkle:shortVersionString, the version as users see it; the sparkle:version text when absent.
    QString displayVersion;
    // The enclosure's address, or the item's link when it has no enclosure.
    QUrl downloadUrl;
};

// Reads a Sparkle-format appcast (RSS 2.0 with the Sparkle namespace) and returns its newest item.
// Versions and short versions are read from the item's elements, or else from its enclosure's
// attributes, as older appcasts have them; relative addresses are resolved against `feedUrl`. Items
// without a version or an address are passed over. Returns nothing with `error` set when the text
// is not well-formed XML, is not an RSS feed, or offers no usable item.
std::optional<AppcastItem> newestAppcastItem(const QByteArray& feed, const QUrl& feedUrl, QString* error);

} // namespace orvalet
