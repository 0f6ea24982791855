#pragma once

#include "Preferences.h"
#include "TagStore.h"
#include "ThingsWorker.h"
#include "Updater.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <memory>

namespace orvalet {

class MainWindow;

// The application: the shared preferences, the one tag store, the one worker that runs every
// program sent to Things 3, the updater, and the two kinds of window (main windows over the store,
// and one settings window at a time).
class OrvaletApp final : public QObject {
    Q_OBJECT

public:
    // Binds the preferences, opens the store, creates the worker over the platform's script engine,
    // and only then makes the updater, so that it starts over an open store; by default the one this
    // build was made with. Returns null with `error` set when the store cannot be opened; no window
    // and no updater exist then.
    static std::unique_ptr<OrvaletApp> create(std::unique_ptr<QSettings> settings, const QString& storePath,
                                              QString* error,
                                              const UpdaterFactory& makeUpdater = makePlatformUpdater);
    ~OrvaletApp() override;

    Preferences& preferences() { return *m_preferences; }
    TagStore& store() { return *m_store; }
    ThingsWorker& worker() { return *m_worker; }
    Updater& updater() { return *m_updater; }

    MainWindow* newMainWindow();
    // Settings and the clean-up open over the front main window, as windows of their own that stay
    // above it.
    QWidget* showSettings();
    // The About box: the name, the version this build was made as, and what Orvalet does.
    QWidget* showAbout();
    // The one window of the clean-up of unused tags, made when missing.
    QWidget* showUnusedTags();
    // The one window of "Find Similar Tags", made when missing.
    QWidget* showSimilarTags();

    // Quit: each main window with an edit not saved asks about it first, one after another; after
    // the last answer the windows close and the application quits. "Cancel", or a save that does not
    // go through, ends the quit there.
    void quit();

    QList<MainWindow*> mainWindows() const;
    // The main window the user is in (the one of the active window), else the newest one.
    MainWindow* frontMainWindow() const;
    // What starting Orvalet again over the same store does: the front main window, un-minimized,
    // raised and active (a new one when none is open).
    void bringToFront();
    QWidget* settingsWindow() const { return m_settingsWindow; }
    QWidget* aboutBox() const { return m_aboutBox; }
    QWidget* unusedTagsWindow() const { return m_unusedTagsWindow; }
    QWidget* similarTagsWindow() const { return m_similarTagsWindow; }

    // How often Things 3 is asked about changes whose answer was lost, while one waits (ms).
    static constexpr int settleInterval = 3000;

private:
    OrvaletApp() = default;
    void settleLostAnswers();
    // Shows the one window of this kind, made over the front main window when missing.
    template <typename Window>
    QWidget* showToolWindow(QPointer<QWidget>& window);

    std::unique_ptr<Preferences> m_preferences;
    std::unique_ptr<TagStore> m_store;
    std::unique_ptr<ThingsWorker> m_worker;
    std::unique_ptr<Updater> m_updater;
    QList<QPointer<MainWindow>> m_mainWindows;
    QPointer<QWidget> m_settingsWindow;
    QPointer<QWidget> m_aboutBox;
    QPointer<QWidget> m_unusedTagsWindow;
    QPointer<QWidget> m_similarTagsWindow;
};

} // namespace orvalet
