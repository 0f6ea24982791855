#include "Updater.h"

#if defined(ORVALET_WITH_SPARKLE)
#include "SparkleUpdater.h"
#else
#include "BuildInfo.h"
#include "FeedUpdater.h"
#endif

namespace orvalet {

std::unique_ptr<Updater> makePlatformUpdater() {
#if defined(ORVALET_WITH_SPARKLE)
    return makeSparkleUpdater();
#else
    return std::make_unique<FeedUpdater>(BuildInfo::updateFeedUrl(), BuildInfo::version());
#endif
}

} // namespace orvalet
