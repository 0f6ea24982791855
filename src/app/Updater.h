#pragma once

#include <functional>
#include <memory>

namespace orvalet {

// The software updater behind "Check for Updates…". The platform builds decide which one runs.
class Updater {
public:
    virtual ~Updater() = default;

    // Whether a check started by the user may begin now; read each time the menu is built.
    virtual bool canCheckForUpdates() const = 0;

    // Starts a check; the updater shows its own windows for the result.
    virtual void checkForUpdates() = 0;
};

// Used when a factory gives no updater: it never offers a check, so the menu item stays disabled.
class UnavailableUpdater final : public Updater {
public:
    bool canCheckForUpdates() const override { return false; }
    void checkForUpdates() override {}
};

// Makes the application's updater once the store is open.
using UpdaterFactory = std::function<std::unique_ptr<Updater>()>;

// The updater this build was made with: Sparkle's standard controller on macOS when the build found
// Sparkle, otherwise the feed updater reading the appcast fixed at build time.
std::unique_ptr<Updater> makePlatformUpdater();

} // namespace orvalet
