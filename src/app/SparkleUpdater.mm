#include "SparkleUpdater.h"

#import <Sparkle/Sparkle.h>

namespace orvalet {

namespace {

// Uses the controller's updater only: it decides whether a check may start, runs it, and shows
// every result in its own windows. Built with ARC, so the member keeps the controller alive.
class SparkleUpdater final : public Updater {
public:
    SparkleUpdater()
        : m_controller([[SPUStandardUpdaterController alloc] initWithStartingUpdater:YES
                                                                     updaterDelegate:nil
                                                                  userDriverDelegate:nil]) {}

    bool canCheckForUpdates() const override { return m_controller.updater.canCheckForUpdates; }
    void checkForUpdates() override { [m_controller.updater checkForUpdates]; }

private:
    SPUStandardUpdaterController* m_controller;
};

} // namespace

std::unique_ptr<Updater> makeSparkleUpdater() {
    return std::make_unique<SparkleUpdater>();
}

} // namespace orvalet
