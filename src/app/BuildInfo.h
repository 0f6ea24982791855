#pragma once

#include <QString>
#include <QUrl>

namespace orvalet {

// What the build was configured with. Only BuildInfo.cpp sees the values, so changing one rebuilds
// one file.
struct BuildInfo {
    // The project's version, as CMake's project() states it ("0.1.0").
    static QString version();
    // The appcast the feed updater reads: the ORVALET_UPDATE_FEED_URL cache variable.
    static QUrl updateFeedUrl();
};

} // namespace orvalet
