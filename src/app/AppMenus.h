#pragma once

#include "Preferences.h"

#include <QObject>
#include <QUrl>
#include <functional>

class QMenuBar;

namespace orvalet {

class Updater;

// Builds the menu bar of a main window: the application menu, File, View, Tools and Help. The View
// menu's sort choice and switches follow the shared preferences both ways.
class AppMenus final : public QObject {
    Q_OBJECT

public:
    struct Actions {
        std::function<void()> newWindow;
        std::function<void()> showSettings;
        std::function<void()> showAbout;
        std::function<void()> cleanUpUnusedTags;
        std::function<void()> findSimilarTags;
        // Quit; without one the application quits at once.
        std::function<void()> quit = {};
    };

    // The product website and its two fixed pages.
    static QUrl websiteUrl();
    static QUrl termsUrl();
    static QUrl privacyUrl();

    AppMenus(QMenuBar& menuBar, Preferences& preferences, Updater& updater, Actions actions);
};

} // namespace orvalet
