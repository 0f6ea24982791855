#include "OrvaletApp.h"

#include "Alerts.h"
#include "BuildInfo.h"
#include "ContentView.h"
#include "MainWindow.h"
#include "PlatformScriptEngine.h"
#include "SettingsView.h"
#include "SimilarTagsWindow.h"
#include "UndoHistory.h"
#include "UnusedTagsWindow.h"
#include "WindowPlacement.h"
#include "WindowRoles.h"

#include <QApplication>
#include <QMessageBox>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

namespace orvalet {

std::unique_ptr<OrvaletApp> OrvaletApp::create(std::unique_ptr<QSettings> settings, const QString& storePath,
                                               QString* error, const UpdaterFactory& makeUpdater) {
    std::unique_ptr<OrvaletApp> app(new OrvaletApp);
    installWindowRoles();
    Alerts::useOwnIcons();
    app->m_preferences = std::make_unique<Preferences>(std::move(settings));
    app->m_store = TagStore::open(storePath, error);
    if (!app->m_store) {
        return nullptr;
    }
    app->m_worker = std::make_unique<ThingsWorker>(makePlatformScriptEngine());
    app->m_updater = makeUpdater ? makeUpdater() : nullptr;
    if (!app->m_updater) {
        app->m_updater = std::make_unique<UnavailableUpdater>();
    }
    app->settleLostAnswers();
    // Queued writes reach the disk before the process ends, whichever way the user quits.
    connect(qApp, &QCoreApplication::aboutToQuit, app.get(),
            [store = app->m_store.get()] { store->finalFlush(); });
    return app;
}

// A change whose answer was lost waits, its tags marked, until Things 3 says what it did: asked right
// after any program Things 3 answers, and every few seconds while one waits.
void OrvaletApp::settleLostAnswers() {
    UndoHistory& history = UndoHistory::forStore(*m_store);
    ThingsWorker* worker = m_worker.get();
    auto* every = new QTimer(this);
    every->setInterval(settleInterval);
    connect(every, &QTimer::timeout, &history, [&history, worker] { history.settlePending(*worker); });
    connect(&history, &UndoHistory::changed, every, [&history, every] {
        if (!history.hasPending())
            every->stop();
        else if (!every->isActive())
            every->start();
    });
    m_worker->setOnAnswer([history = QPointer<UndoHistory>(&history), worker] {
        if (history && history->hasPending()) {
            QTimer::singleShot(0, history, [history, worker] {
                if (history)
                    history->settlePending(*worker);
            });
        }
    });
}

OrvaletApp::~OrvaletApp() {
    delete m_aboutBox;
    delete m_unusedTagsWindow;
    delete m_similarTagsWindow;
    delete m_settingsWindow;
    for (const auto& window : std::as_const(m_mainWindows)) {
        delete window;
    }
}

MainWindow* OrvaletApp::newMainWindow() {
    AppMenus::Actions actions{
        [this] { newMainWindow()->show(); }, [this] { showSettings(); },    [this] { showAbout(); },
        [this] { showUnusedTags(); },        [this] { showSimilarTags(); },
    };
    actions.quit = [this] {
        quit();
    };
    auto* window = new MainWindow(*m_store, *m_preferences, worker(), *m_updater, std::move(actions));
    m_mainWindows.removeAll(nullptr);
    m_mainWindows.append(window);
    return window;
}

QWidget* OrvaletApp::showSettings() {
    if (!m_settingsWindow) {
        auto* window = new QWidget(frontMainWindow(), Qt::Window);
        markAsWindow(window);
        window->setObjectName(QStringLiteral("settingsWindow"));
        window->setWindowTitle(QStringLiteral("Settings"));
        window->setAccessibleName(QStringLiteral("Settings"));
        window->setAttribute(Qt::WA_DeleteOnClose);
        auto* layout = new QVBoxLayout(window);
        layout->addWidget(new SettingsView(*m_preferences, window));
        layout->setSizeConstraint(QLayout::SetFixedSize);
        WindowPlacement::keep(window, *m_preferences);
        // The platform's Close, and Escape as a settings window closes on every desktop.
        for (const QKeySequence& keys : {QKeySequence(QKeySequence::Close), QKeySequence(Qt::Key_Escape)}) {
            auto* close = new QShortcut(keys, window);
            connect(close, &QShortcut::activated, window, &QWidget::close);
        }
        m_settingsWindow = window;
    }
    m_settingsWindow->show();
    m_settingsWindow->raise();
    m_settingsWindow->activateWindow();
    return m_settingsWindow;
}

QWidget* OrvaletApp::showAbout() {
    if (!m_aboutBox) {
        auto* box = new QMessageBox(
            QMessageBox::NoIcon, QStringLiteral("About Orvalet"),
            QStringLiteral("<b>Orvalet</b><p>Version %1</p><p>Manages the tags of Things 3.</p>")
                .arg(BuildInfo::version().toHtmlEscaped()),
            QMessageBox::Ok);
        box->setObjectName(QStringLiteral("aboutBox"));
        box->setAccessibleName(QStringLiteral("About Orvalet"));
        box->setTextFormat(Qt::RichText);
        box->setAttribute(Qt::WA_DeleteOnClose);
        m_aboutBox = box;
    }
    m_aboutBox->show();
    m_aboutBox->raise();
    m_aboutBox->activateWindow();
    return m_aboutBox;
}

template <typename Window>
QWidget* OrvaletApp::showToolWindow(QPointer<QWidget>& window) {
    if (!window) {
        window = new Window(*m_store, *m_preferences, *m_worker, frontMainWindow());
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

QWidget* OrvaletApp::showUnusedTags() {
    return showToolWindow<UnusedTagsWindow>(m_unusedTagsWindow);
}

QWidget* OrvaletApp::showSimilarTags() {
    return showToolWindow<SimilarTagsWindow>(m_similarTagsWindow);
}

MainWindow* OrvaletApp::frontMainWindow() const {
    for (QWidget* window = QApplication::activeWindow(); window; window = window->parentWidget()) {
        if (auto* main = qobject_cast<MainWindow*>(window)) {
            return main;
        }
    }
    const QList<MainWindow*> windows = mainWindows();
    return windows.isEmpty() ? nullptr : windows.last();
}

void OrvaletApp::bringToFront() {
    MainWindow* window = frontMainWindow();
    if (!window) {
        window = newMainWindow();
    }
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}

void OrvaletApp::quit() {
    const QList<MainWindow*> windows = mainWindows();
    for (MainWindow* window : windows) {
        if (window->contentView()->hasUnsavedEdits()) {
            window->raise();
            window->activateWindow();
            // A window answered closes at once, as the quit goes on to the next.
            window->contentView()->askAboutUnsavedEdits(
                [self = QPointer<OrvaletApp>(this), window = QPointer<MainWindow>(window)](bool proceed) {
                    if (self && proceed) {
                        if (window) {
                            window->close();
                        }
                        self->quit();
                    }
                });
            return;
        }
    }
    for (MainWindow* window : windows) {
        window->close();
    }
    QCoreApplication::quit();
}

QList<MainWindow*> OrvaletApp::mainWindows() const {
    QList<MainWindow*> windows;
    for (const auto& window : m_mainWindows) {
        if (window) {
            windows.append(window);
        }
    }
    return windows;
}

} // namespace orvalet
