#pragma once

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

// Used where no updater is built in: it never offers a check, so the menu item stays disabled.
class UnavailableUpdater final : public Updater {
public:
    bool canCheckForUpdates() const override { return false; }
    void checkForUpdates() override {}
};

} // namespace orvalet
