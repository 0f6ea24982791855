#include "BuildInfo.h"
#include "FeedUpdater.h"
#include "WindowFixture.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QRegularExpression>
#include <QtTest>

using namespace orvalet;

namespace {

// Stands in for a platform updater: the test decides whether a check may start, and counts checks.
class FakeUpdater final : public Updater {
public:
    bool canCheckForUpdates() const override { return available; }
    void checkForUpdates() override { ++checks; }

    bool available = false;
    int checks = 0;
};

} // namespace

// Drives the real application objects: main windows with their menus and the settings window.
// Object names are the handles: a missing or disabled action fails the test instead of hanging it.
class AppShellTests final : public WindowFixture {
    Q_OBJECT

private:
    FakeUpdater* m_updater = nullptr;

    bool startsWithDemo() const override { return false; }
    UpdaterFactory makeUpdater() override {
        return [this] {
            auto updater = std::make_unique<FakeUpdater>();
            m_updater = updater.get();
            return updater;
        };
    }
    // The child of that type and name, which the test fails without.
    template <typename T = QAction>
    T* child(QWidget* parent, const QString& name) {
        auto* found = parent->findChild<T*>(name);
        [&] {
            QVERIFY2(found, qPrintable(u"no "_qs + name));
        }();
        return found;
    }
    void trigger(QWidget* window, const QString& name) {
        QAction* action = child(window, name);
        QVERIFY2(action && action->isEnabled(), qPrintable(name + u" is disabled"_qs));
        action->trigger();
    }
    // The marks of the sort option and the three switches, as a window's View menu (object names
    // "actionSort:…" and "action:…") or the settings pane ("sortOption:…" and the keys) shows them.
    QString marks(QWidget* window, const QString& sortPrefix, const QString& switchPrefix) {
        const auto checked = [&](const QString& name) {
            return child<QObject>(window, name)->property("checked").toBool();
        };
        QString state;
        for (const QString& sort : {u"Alphabetical"_qs, u"Recently Updated"_qs, u"Highest Todo Count"_qs}) {
            state = checked(sortPrefix + sort) ? sort : state;
        }
        for (const QString& key : {u"showRootTagsOnly"_qs, u"showChildrenCounts"_qs, u"showTodoCounts"_qs}) {
            state += checked(switchPrefix + key) ? u" on" : u" off";
        }
        return state;
    }
    QString viewMenuState(QWidget* window) { return marks(window, u"actionSort:"_qs, u"action:"_qs); }
    QString paneState(QWidget* settings) { return marks(settings, u"sortOption:"_qs, QString()); }

private Q_SLOTS:
    // The item is offered as the updater allows, looked at again each time the menu opens.
    void checkForUpdatesFollowsTheUpdaterEachTimeTheMenuOpens() {
        QAction* check = child(m_window, u"actionCheckForUpdates"_qs);
        auto* menu = child<QMenu>(m_window, u"applicationMenu"_qs);
        QVERIFY(!check->isEnabled()); // the updater offered no check when the menu was built
        for (bool available : {true, false, true}) {
            m_updater->available = available;
            menu->popup(m_window->mapToGlobal(QPoint(0, 0)));
            menu->hide();
            QCOMPARE(check->isEnabled(), available);
        }
        trigger(m_window, u"actionCheckForUpdates"_qs);
        QCOMPARE(m_updater->checks, 1);
    }

    // The updater starts over an open store, and not at all when the store cannot be opened.
    void updaterIsMadeOnlyOnceTheStoreIsOpen() {
        m_app.reset();
        const QString storePath = m_dir->filePath(u"Orvalet.store"_qs);
        QFile::remove(storePath);
        int made = 0;
        bool storeExisted = false;
        auto factory = [&] {
            ++made;
            storeExisted = QFile::exists(storePath);
            return std::make_unique<FakeUpdater>();
        };
        QString error;
        m_app = createApp(factory, &error);
        QVERIFY2(m_app, qPrintable(error));
        QVERIFY(made == 1 && storeExisted);

        m_app.reset();
        QFile garbage(storePath);
        QVERIFY(garbage.open(QIODevice::WriteOnly | QIODevice::Truncate) && garbage.write("not a store") > 0);
        garbage.close();
        made = 0;
        QVERIFY(!createApp(factory, &error) && !error.isEmpty());
        QCOMPARE(made, 0);
    }

    // This build's default updater is the feed updater over the secure address fixed at build time,
    // and it offers a check from the start.
    void defaultUpdaterIsTheFeedUpdater() {
        m_app.reset();
        QString error;
        m_app = createApp(makePlatformUpdater, &error);
        QVERIFY2(m_app, qPrintable(error));
        auto* feed = dynamic_cast<FeedUpdater*>(&m_app->updater());
        QVERIFY(feed && feed->feedUrl() == BuildInfo::updateFeedUrl());
        QCOMPARE(feed->feedUrl().scheme(), u"https"_qs); // what it offers comes from there
        QVERIFY(child(m_app->newMainWindow(), u"actionCheckForUpdates"_qs)->isEnabled());
    }

    // A change made in the last turn before the process quits reaches the file without another turn.
    void quittingFlushesTheStore() {
        m_app->store().insert(Tag(u"late-1"_qs, u"Written Last"_qs));
        QVERIFY(m_app->store().hasPendingWrites());
        QVERIFY(QMetaObject::invokeMethod(qApp, "aboutToQuit", Qt::DirectConnection));
        QVERIFY(!m_app->store().hasPendingWrites());
        QString error;
        auto reader = TagStore::open(m_app->store().path(), &error);
        QVERIFY2(reader, qPrintable(error));
        QVERIFY(reader->tag(u"late-1"_qs));
    }

    // Screen readers announce every window by a name of its own. The About box, one at a time, shows
    // the version.
    void everyWindowHasAnAccessibleName() {
        trigger(m_window, u"actionSettings"_qs);
        trigger(m_window, u"actionAbout"_qs);
        auto* box = qobject_cast<QMessageBox*>(m_app->aboutBox());
        QVERIFY(box && box->isVisible());
        QVERIFY2(box->text().contains(u"Version " ORVALET_PROJECT_VERSION), qPrintable(box->text()));
        trigger(m_window, u"actionAbout"_qs);
        QCOMPARE(m_app->aboutBox(), box);
        const std::pair<QWidget*, QString> windows[] = {
            {m_window, u"Orvalet"_qs}, {m_app->settingsWindow(), u"Settings"_qs}, {box, u"About Orvalet"_qs}};
        for (const auto& [window, name] : windows) {
            QVERIFY(window && window->isWindow());
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(window);
            QCOMPARE(accessible->text(QAccessible::Name), name);
            QCOMPARE(window->accessibleName(), name);
            QVERIFY2(accessible->role() != QAccessible::Client,
                     qPrintable(name)); // a "filler" to a screen reader
        }
        QCOMPARE(QAccessible::queryAccessibleInterface(m_app->settingsWindow())->role(), QAccessible::Window);
        // Escape closes the settings window, as on every desktop.
        box->close();
        m_app->settingsWindow()->activateWindow();
        // Not qWaitForWindowActive: a window over another counts as active while that one is.
        QTRY_COMPARE(QApplication::activeWindow(), m_app->settingsWindow());
        QTest::keyClick(m_app->settingsWindow(), Qt::Key_Escape);
        QTRY_VERIFY(!m_app->settingsWindow());
    }

    // Windows opened with "New Window" share the store, and their menus and the pane show the same
    // preferences whichever of them changed one, the defaults at first.
    void paneAndViewMenusOfEveryWindowStayInStep() {
        // The detail column shows the placeholder while nothing is selected.
        auto* placeholder = child<QWidget>(m_window, u"noTagSelected"_qs);
        QVERIFY(placeholder->isVisible());
        trigger(m_window, u"actionNewWindow"_qs);
        QCOMPARE(m_app->mainWindows().size(), 2);
        MainWindow* second = m_app->mainWindows().last();
        QVERIFY(QTest::qWaitForWindowExposed(second));
        QCOMPARE(&second->contentView()->store(), &m_window->contentView()->store());
        trigger(m_window, u"actionSettings"_qs);
        QWidget* settings = m_app->settingsWindow();
        QVERIFY(settings && settings->isVisible());
        QCOMPARE(m_app->showSettings(), settings); // one at a time
        QCOMPARE(child<QWidget>(settings, u"settingsView"_qs)->width(), 400);
        QCOMPARE(paneState(settings), u"Alphabetical off off off"_qs);
        QCOMPARE(viewMenuState(second), u"Alphabetical off off off"_qs);

        QTest::mouseClick(child<QAbstractButton>(settings, u"sortOption:Highest Todo Count"_qs),
                          Qt::LeftButton);
        QCOMPARE(viewMenuState(m_window), u"Highest Todo Count off off off"_qs);
        QCOMPARE(viewMenuState(second), u"Highest Todo Count off off off"_qs);
        trigger(second, u"action:showTodoCounts"_qs);
        QCOMPARE(paneState(settings), u"Highest Todo Count off off on"_qs);
        QCOMPARE(viewMenuState(m_window), u"Highest Todo Count off off on"_qs);

        // A screen reader's Toggle action changes the preference, as a click does.
        QAccessible::queryAccessibleInterface(child<QAbstractButton>(settings, u"showRootTagsOnly"_qs))
            ->actionInterface()
            ->doAction(QAccessibleActionInterface::toggleAction());
        QVERIFY(m_app->preferences().showRootTagsOnly());
        trigger(m_window, u"actionSort:Recently Updated"_qs);
        QCOMPARE(paneState(settings), u"Recently Updated on off on"_qs);
        QCOMPARE(m_app->preferences().sortOption(), TagSortOption::recentlyUpdated);

        // Expand All and Collapse All act on the outline: in every window, they follow the mode.
        for (bool outline : {false, true, false}) {
            if (outline != m_app->preferences().showAsOutline()) {
                trigger(outline ? second : m_window, u"action:showAsOutline"_qs);
            }
            for (MainWindow* window : {m_window, second}) {
                QCOMPARE(child(window, u"expandAllAction"_qs)->isEnabled(), outline);
                QCOMPARE(child(window, u"collapseAllAction"_qs)->isEnabled(), outline);
            }
        }

        // Closing the pane loses nothing: a new one shows the stored values.
        settings->close();
        QTRY_VERIFY(!m_app->settingsWindow());
        trigger(m_window, u"actionSettings"_qs);
        QCOMPARE(paneState(m_app->settingsWindow()), u"Recently Updated on off on"_qs);
    }

    void menusCarryTheirExactLabels() {
        // The labels, "|" for a separator; the sort options have no icon beside them.
        const auto labels = [this](const QString& menu) {
            QStringList texts;
            for (QAction* action : child<QMenu>(m_window, menu)->actions()) {
                texts << (action->isSeparator() ? u"|"_qs : QString(action->text()).remove(u'&')) +
                             (menu == u"sortMenu" && !action->icon().isNull() ? u" (icon)" : u"");
            }
            return texts;
        };
        QCOMPARE(labels(u"viewMenu"_qs),
                 (QStringList{"|", "Sort Tags By", "|", "Show Root Tags Only", "Show Children Counts",
                              "Show Todo Counts", "Show as Outline", "|", "Show Shortcut Conflicts", "|",
                              "Expand All", "Collapse All"}));
        QCOMPARE(labels(u"sortMenu"_qs),
                 (QStringList{"Alphabetical", "Recently Updated", "Highest Todo Count"}));
        // Every menu of the bar, and the submenu, has a mnemonic; Quit has Ctrl+Q whatever the theme.
        for (QMenu* menu : m_window->menuBar()->findChildren<QMenu*>()) {
            if (!menu->title().isEmpty()) {
                QVERIFY2(menu->title().contains(QRegularExpression(u"&\\w"_qs)), qPrintable(menu->title()));
            }
        }
        QVERIFY(child(m_window, u"actionQuit"_qs)->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_Q)));
        for (const auto& [name, text] :
             {std::pair{u"actionCheckForUpdates"_qs, u"Check for Updates\u2026"_qs},
              {u"actionTerms"_qs, u"Terms of Service"_qs},
              {u"actionPrivacy"_qs, u"Privacy Policy"_qs}}) {
            QCOMPARE(child(m_window, name)->text(), text);
        }
    }
};

QTEST_MAIN(AppShellTests)
#include "AppShellTests.moc"
