#include "AppMenus.h"

#include "Alerts.h"
#include "DisplayTexts.h"
#include "Updater.h"

#include <QActionGroup>
#include <QApplication>
#include <QDesktopServices>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>

namespace orvalet {

namespace {
const QString websiteHost = QStringLiteral("https://orvalet.app");

QString sortActionName(TagSortOption option) {
    return QStringLiteral("actionSort:") + TagSortOptions::rawValue(option);
}
} // namespace

QUrl AppMenus::websiteUrl() {
    return QUrl(websiteHost);
}

QUrl AppMenus::termsUrl() {
    return QUrl(websiteHost + QStringLiteral("/terms"));
}

QUrl AppMenus::privacyUrl() {
    return QUrl(websiteHost + QStringLiteral("/privacy"));
}

AppMenus::AppMenus(QMenuBar& menuBar, Preferences& preferences, Updater& updater, Actions actions)
    : QObject(&menuBar) {
    // Application menu: About, the update check right after it, Settings…, Quit.
    // Every menu has a mnemonic (Alt and the letter opens it where menus are in the window).
    QMenu* appMenu = menuBar.addMenu(QStringLiteral("&Orvalet"));
    appMenu->setObjectName(QStringLiteral("applicationMenu"));
    QAction* about = appMenu->addAction(QStringLiteral("About Orvalet"), actions.showAbout);
    about->setObjectName(QStringLiteral("actionAbout"));
    about->setMenuRole(QAction::AboutRole);
    QAction* checkForUpdates = appMenu->addAction(QStringLiteral("Check for Updates\u2026"));
    checkForUpdates->setObjectName(QStringLiteral("actionCheckForUpdates"));
    checkForUpdates->setMenuRole(QAction::ApplicationSpecificRole);
    connect(checkForUpdates, &QAction::triggered, this, [&updater] {
        if (updater.canCheckForUpdates()) {
            updater.checkForUpdates();
        }
    });
    // Whether a check may start is read each time the menu is built, not observed in between.
    checkForUpdates->setEnabled(updater.canCheckForUpdates());
    connect(appMenu, &QMenu::aboutToShow, checkForUpdates,
            [checkForUpdates, &updater] { checkForUpdates->setEnabled(updater.canCheckForUpdates()); });
    appMenu->addSeparator();
    QAction* settings = appMenu->addAction(QStringLiteral("Settings\u2026"), actions.showSettings);
    settings->setObjectName(QStringLiteral("actionSettings"));
    settings->setShortcut(QKeySequence::Preferences);
    if (settings->shortcut().isEmpty()) {
        settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    }
    settings->setMenuRole(QAction::PreferencesRole);
    appMenu->addSeparator();
    QAction* quit = appMenu->addAction(QStringLiteral("Quit Orvalet"), this, [ask = actions.quit] {
        if (ask) {
            ask();
        } else {
            QCoreApplication::quit();
        }
    });
    quit->setObjectName(QStringLiteral("actionQuit"));
    // The platform's key for Quit, and Ctrl+Q wherever the platform theme gives it none or another.
    QList<QKeySequence> quitKeys{QKeySequence(Qt::CTRL | Qt::Key_Q)};
    for (const QKeySequence& key : QKeySequence::keyBindings(QKeySequence::Quit)) {
        if (!quitKeys.contains(key)) {
            quitKeys.prepend(key);
        }
    }
    quit->setShortcuts(quitKeys);
    quit->setMenuRole(QAction::QuitRole);

    QMenu* fileMenu = menuBar.addMenu(QStringLiteral("&File"));
    fileMenu->setObjectName(QStringLiteral("fileMenu"));
    QAction* newWindow = fileMenu->addAction(QStringLiteral("New Window"), actions.newWindow);
    newWindow->setObjectName(QStringLiteral("actionNewWindow"));
    newWindow->setShortcut(QKeySequence::New);
    QAction* closeWindow =
        fileMenu->addAction(QStringLiteral("Close Window"), menuBar.window(), &QWidget::close);
    closeWindow->setObjectName(QStringLiteral("actionCloseWindow"));
    closeWindow->setShortcut(QKeySequence::Close);

    // View menu: the sort order as a submenu with the current one marked, then the three switches.
    QMenu* viewMenu = menuBar.addMenu(QStringLiteral("&View"));
    viewMenu->setObjectName(QStringLiteral("viewMenu"));
    viewMenu->addSeparator();
    QMenu* sortMenu = viewMenu->addMenu(QStringLiteral("&Sort Tags By"));
    sortMenu->setObjectName(QStringLiteral("sortMenu"));
    auto* sortGroup = new QActionGroup(sortMenu);
    QHash<int, QAction*> sortActions;
    for (TagSortOption option : TagSortOptions::all()) {
        QAction* action = sortMenu->addAction(TagSortOptions::rawValue(option));
        action->setObjectName(sortActionName(option));
        action->setCheckable(true);
        sortGroup->addAction(action);
        sortActions.insert(int(option), action);
        connect(action, &QAction::triggered, this,
                [&preferences, option] { preferences.setSortOption(option); });
    }
    viewMenu->addSeparator();
    QHash<int, QAction*> flagActions;
    for (PreferenceKey key : DisplayTexts::flagKeys()) {
        QAction* action = viewMenu->addAction(DisplayTexts::flagLabel(key));
        action->setObjectName(QStringLiteral("action:") + Preferences::keyName(key));
        action->setCheckable(true);
        flagActions.insert(int(key), action);
        if (key == PreferenceKey::showAsOutline) {
            action->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
        }
        connect(action, &QAction::triggered, this,
                [&preferences, key](bool on) { preferences.setFlag(key, on); });
    }
    auto showPreference = [&preferences, sortActions, flagActions](PreferenceKey key) {
        if (key == PreferenceKey::tagSortOption) {
            sortActions.value(int(preferences.sortOption()))->setChecked(true);
        } else if (QAction* action = flagActions.value(int(key))) {
            action->setChecked(preferences.flag(key));
        }
    };
    for (PreferenceKey key : Preferences::displayKeys()) {
        showPreference(key);
    }
    connect(&preferences, &Preferences::changed, this, showPreference);

    QMenu* toolsMenu = menuBar.addMenu(QStringLiteral("&Tools"));
    toolsMenu->setObjectName(QStringLiteral("toolsMenu"));
    QAction* cleanUp = toolsMenu->addAction(QStringLiteral("Clean Up Unused Tags\u2026"));
    cleanUp->setObjectName(QStringLiteral("actionCleanUpUnusedTags"));
    cleanUp->setEnabled(bool(actions.cleanUpUnusedTags));
    connect(cleanUp, &QAction::triggered, this, [show = actions.cleanUpUnusedTags] {
        if (show) {
            show();
        }
    });
    QAction* similar = toolsMenu->addAction(QStringLiteral("Find Similar Tags\u2026"));
    similar->setObjectName(QStringLiteral("actionFindSimilarTags"));
    similar->setEnabled(bool(actions.findSimilarTags));
    connect(similar, &QAction::triggered, this, [show = actions.findSimilarTags] {
        if (show) {
            show();
        }
    });

    // Help menu: three pages of the product website, opened in the default browser.
    QMenu* helpMenu = menuBar.addMenu(QStringLiteral("&Help"));
    helpMenu->setObjectName(QStringLiteral("helpMenu"));
    const struct {
        const char* objectName;
        QString label;
        QUrl url;
    } links[] = {
        {"actionWebsite", QStringLiteral("Website"), websiteUrl()},
        {"actionTerms", QStringLiteral("Terms of Service"), termsUrl()},
        {"actionPrivacy", QStringLiteral("Privacy Policy"), privacyUrl()},
    };
    for (const auto& link : links) {
        QAction* action = helpMenu->addAction(link.label);
        action->setObjectName(QString::fromLatin1(link.objectName));
        connect(action, &QAction::triggered, this,
                [window = QPointer<QWidget>(menuBar.window()), url = link.url] {
                    Alerts::openLink(window, url);
                });
    }
}

} // namespace orvalet
