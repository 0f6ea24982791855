#include "BuildInfo.h"

namespace orvalet {

QString BuildInfo::version() {
    return QStringLiteral(ORVALET_VERSION);
}

QUrl BuildInfo::updateFeedUrl() {
    return QUrl(QStringLiteral(ORVALET_UPDATE_FEED_URL));
}

} // namespace orvalet
