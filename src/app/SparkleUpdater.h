#pragma once

#include "Updater.h"

#include <memory>

namespace orvalet {

// Sparkle's standard updater controller, started at once with its own configuration from Info.plist
// (SUFeedURL, SUPublicEDKey) and its own windows. Built on macOS only, when CMake finds Sparkle.
std::unique_ptr<Updater> makeSparkleUpdater();

} // namespace orvalet
