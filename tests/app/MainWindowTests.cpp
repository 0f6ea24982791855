#include "EmptyStateView.h"
#include "ProgressOverlay.h"
#include "SqliteDatabase.h"
#include "StandInEngine.h"
#include "StatusAreaView.h"
#include "ThingsService.h"
#include "WindowFixture.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QtTest>

using namespace orvalet;

namespace {

// Takes the links the application opens in place of the desktop.
class LinkCatcher final : public QObject {
    Q_OBJECT

public:
    QList<QUrl> opened;

public Q_SLOTS:
    void open(const QUrl& url) { opened.append(url); }
};

} // namespace

// The main window driven as a user drives it: toolbar, row context menus, dialogs and keys.
class MainWindowTests final : public QObject, protected WindowFixture {
    Q_OBJECT

private:
    // Chooses "Delete" in the row's menu, labelled `label` when one is given: the confirmation that
    // shows, null when none does.
    QMessageBox* askToDelete(const QString& row, const QString& label = {}) {
        QMenu* menu = openRowMenu(m_window, row);
        if (!menu || (!label.isEmpty() && entry(menu, QStringLiteral("deleteTags"))->text() != label) ||
            !choose(menu, QStringLiteral("deleteTags")) ||
            !QTest::qWaitFor([this] { return box(QStringLiteral("deleteConfirmation")) != nullptr; })) {
            return nullptr;
        }
        return box(QStringLiteral("deleteConfirmation"));
    }

private Q_SLOTS:
    void init() {
        const QString error = openWindow();
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }

    void cleanup() { QVERIFY(closeWindow()); }

    // ---- Import ----

    void importShowsTheDemoTagsWithTheirSpokenTexts() {
        QVERIFY(startStandIn());
        m_app->preferences().setFlag(PreferenceKey::showChildrenCounts, true);
        m_app->preferences().setFlag(PreferenceKey::showTodoCounts, true);
        QCOMPARE(model(m_window).rowCount(), 0);
        // An empty sidebar says so and offers the import.
        auto* empty = m_window->findChild<EmptyStateView*>(QStringLiteral("sidebarEmpty"));
        QVERIFY(empty->isVisible() && !content(m_window).list()->isVisible());
        QCOMPARE(empty->title(), QStringLiteral("No Tags"));
        QVERIFY(screenshot(m_window, QStringLiteral("sidebar-empty.png")));
        QTest::mouseClick(empty->findChild<QPushButton*>(QStringLiteral("sidebarImport")), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(model(m_window).rowCount(), demoTagCount, importTimeout);
        QVERIFY(!empty->isVisible() && content(m_window).list()->isVisible());
        // A search without a match says what was searched for.
        QTest::keyClicks(content(m_window).searchField(), QStringLiteral("zzz"));
        QVERIFY(empty->isVisible());
        QCOMPARE(empty->title(), QStringLiteral("No tags match \u201Czzz\u201D"));
        QVERIFY(screenshot(m_window, QStringLiteral("sidebar-no-match.png")));
        content(m_window).searchField()->clear();
        QVERIFY(!empty->isVisible());

        // Each row reads out what it draws: the name, the counts, then the path beneath.
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(content(m_window).list());
        QVERIFY(list && list->tableInterface());
        for (int row = 0; row < demoTagCount; ++row) {
            const QModelIndex index = model(m_window).index(row);
            QStringList shown{index.data().toString()};
            for (int role : {int(TagListModel::ChildCountTextRole), int(TagListModel::TodoCountTextRole),
                             int(TagListModel::AncestorPathRole)}) {
                if (const QString text = index.data(role).toString(); !text.isEmpty()) {
                    shown.append(text);
                }
            }
            QAccessibleInterface* cell = list->tableInterface()->cellAt(row, 0);
            QVERIFY(cell);
            QCOMPARE(cell->text(QAccessible::Name), shown.join(QStringLiteral(", ")));
        }

        // A row has its second line only when it has a path to show there.
        const QListView* listView = content(m_window).list();
        QVERIFY(listView->visualRect(indexOf(m_window, QStringLiteral("Work"))).height() <
                listView->visualRect(indexOf(m_window, QStringLiteral("Admin"))).height());
        QVERIFY(screenshot(m_window, QStringLiteral("main-window.png")));
        // Another filter starts at the top of the list, and the scroll bar says so.
        m_window->resize(900, 330);
        content(m_window).list()->scrollToBottom();
        m_app->preferences().setFlag(PreferenceKey::showRootTagsOnly, true);
        QTRY_COMPARE(listView->indexAt(QPoint(5, 5)).row(), 0);
        QCOMPARE(listView->verticalScrollBar()->value(), 0);
        QVERIFY(screenshot(m_window, QStringLiteral("roots-only.png")));
    }

    void importWithoutThingsAlertsAndLeavesTheList() {
        // No stand-in is started: nothing listens on the socket, as when Things 3 is not running.
        m_app->store().insert(Tag(QStringLiteral("kept-1"), QStringLiteral("Kept")));
        QTRY_COMPARE(rowNames(m_window), QStringList{QStringLiteral("Kept")});

        for (int attempt = 0; attempt < 2; ++attempt) { // the alert comes back after it was dismissed
            content(m_window).importAction()->trigger();
            QTRY_VERIFY_WITH_TIMEOUT(box(QStringLiteral("importFailed")), importTimeout);
            QMessageBox* alert = box(QStringLiteral("importFailed"));
            QCOMPARE(alert->text(), QStringLiteral("Import Failed"));
            QCOMPARE(alert->informativeText(),
                     QStringLiteral("Things 3 is not open. Please open Things 3 and try again."));
            QCOMPARE(alert->windowModality(), Qt::WindowModal);
            QVERIFY(content(m_window).importAction()->isEnabled());
            QVERIFY(!content(m_window).overlay()->isVisible());

            QTest::mouseClick(alert->button(QMessageBox::Ok), Qt::LeftButton);
            QVERIFY(!actions(m_window).importError());
            QTRY_VERIFY(!m_window->findChild<QMessageBox*>(QStringLiteral("importFailed")));
        }
        QCOMPARE(rowNames(m_window), QStringList{QStringLiteral("Kept")});
    }

    // While Things 3 answers, the window still takes keys; the Find key then moves to the search field
    // from the list, with its text selected so that typing replaces it.
    void importKeepsTheWindowResponsiveAndFindReachesTheSearchField() {
        QVERIFY(startStandIn({QStringLiteral("--delay-ms"), QStringLiteral("1500")}));
        ContentView& view = content(m_window);
        QAction* find = view.findChild<QAction*>(QStringLiteral("findAction"));
        QVERIFY(find);
        QSignalSpy finds(find, &QAction::triggered);
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
        ticker.start(50);

        view.importAction()->trigger();
        QVERIFY(!view.importAction()->isEnabled());
        QVERIFY(view.overlay()->isVisible());
        QCOMPARE(view.overlay()->title(), QStringLiteral("Importing tags from Things\u2026"));

        QTRY_VERIFY(ticks >= 5);
        QTest::keySequence(focused(), QKeySequence::Find);
        QCOMPARE(finds.size(), 1);
        QVERIFY(actions(m_window).isImporting()); // all of the above happened while Things 3 answered

        QTRY_VERIFY_WITH_TIMEOUT(!view.overlay()->isVisible(), importTimeout);
        QVERIFY(view.importAction()->isEnabled());
        QTRY_COMPARE(model(m_window).rowCount(), demoTagCount);

        for (const char* typed : {"err", "kid"}) {
            view.list()->setFocus();
            QTRY_VERIFY(view.list()->hasFocus());
            QTest::keySequence(view.list(), QKeySequence::Find);
            QTRY_VERIFY(view.searchField()->hasFocus());
            QTest::keyClicks(view.searchField(), QLatin1String(typed));
            QCOMPARE(view.searchField()->text(), QLatin1String(typed));
        }
        QCOMPARE(rowNames(m_window), QStringList{QStringLiteral("Kids")});
        // Escape clears the search, then leaves the empty field for the list.
        QTest::keyClick(view.searchField(), Qt::Key_Escape);
        QVERIFY(view.searchField()->text().isEmpty());
        QVERIFY(view.searchField()->hasFocus());
        QTest::keyClick(view.searchField(), Qt::Key_Escape);
        QTRY_VERIFY(view.list()->hasFocus());
    }

    // ---- Row context menu ----

    // The menu of an unselected row acts on that row alone and leaves the selection; that of a
    // selected row acts on the selection. Cancel and Escape keep the tags; a confirmed deletion
    // takes the tag's tree with one program.
    void deleteFromTheRowMenuConfirmsItsTargetsFirst() {
        QVERIFY(startStandIn());
        QVERIFY(importDemo());
        const QStringList three{QStringLiteral("Calls"), QStringLiteral("Email"), QStringLiteral("Errands")};
        QVERIFY(selectRows(m_window, three));

        QMessageBox* confirmation = askToDelete(QStringLiteral("Computer"), QStringLiteral("Delete Tag"));
        QVERIFY(confirmation);
        QCOMPARE(selection(m_window), three);
        QCOMPARE(confirmation->text(), QStringLiteral("Delete \"Computer\"?"));
        QCOMPARE(confirmation->windowModality(), Qt::WindowModal);
        // A comfortable width, the title in bold, "Delete" drawn as destructive.
        QTRY_VERIFY(confirmation->isVisible());
        QVERIFY(confirmation->width() >= 360);
        QVERIFY(confirmation->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))->font().bold());
        QVERIFY(confirmation->findChild<QPushButton*>(QStringLiteral("confirmDelete"))
                    ->palette()
                    .color(QPalette::ButtonText) != QApplication::palette().color(QPalette::ButtonText));
        QVERIFY(screenshot(confirmation, QStringLiteral("delete-confirmation.png")));
        auto* cancel = confirmation->findChild<QPushButton*>(QStringLiteral("cancelDelete"));
        QVERIFY(cancel);
        QCOMPARE(confirmation->defaultButton(), cancel);
        QTest::mouseClick(cancel, Qt::LeftButton);
        QTRY_VERIFY(!m_window->findChild<QMessageBox*>(QStringLiteral("deleteConfirmation")));

        confirmation = askToDelete(QStringLiteral("Email"), QStringLiteral("Delete Tags"));
        QVERIFY(confirmation);
        QCOMPARE(confirmation->text(), QStringLiteral("Delete 3 tags?"));
        QTest::keyClick(confirmation, Qt::Key_Escape); // dismissed without a button: a cancel too
        QTRY_VERIFY(!m_window->findChild<QMessageBox*>(QStringLiteral("deleteConfirmation")));
        QCOMPARE(selection(m_window), three);
        QCOMPARE(model(m_window).rowCount(), demoTagCount);
        QCOMPARE(transcriptPrograms().size(), 1); // the import alone

        const QString family = storedTag(QStringLiteral("Family"))->id();
        confirmation = askToDelete(QStringLiteral("Family"));
        QVERIFY(confirmation);
        QTest::mouseClick(confirmation->findChild<QPushButton*>(QStringLiteral("confirmDelete")),
                          Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(model(m_window).rowCount(), demoTagCount - 5, importTimeout);
        for (const char* gone : {"Family", "Kids", "Parents", "School", "Homework"}) {
            QVERIFY2(!indexOf(m_window, QLatin1String(gone)).isValid(), gone);
        }
        const QStringList sent = transcriptPrograms().mid(1);
        QCOMPARE(sent, QStringList{ThingsService::deleteTagScript({family, QStringLiteral("Family")}, true)});
    }

    // Rows being deleted show busy while Things 3 answers; a deletion that fails says so above the list.
    void aListDeletionShowsItsRowsBusyAndSaysWhenNothingWasDeleted() {
        QVERIFY(startStandIn({QStringLiteral("--delay-ms"), QStringLiteral("1000")}));
        QVERIFY(importDemo());
        const QString kids = storedTag(QStringLiteral("Kids"))->id();
        QMessageBox* confirmation = askToDelete(QStringLiteral("Family"));
        QVERIFY(confirmation);
        QTest::mouseClick(confirmation->findChild<QPushButton*>(QStringLiteral("confirmDelete")),
                          Qt::LeftButton);
        QTRY_VERIFY(actions(m_window).isDeleting(kids));
        QVERIFY(screenshot(m_window, QStringLiteral("list-deleting.png")));
        QTRY_VERIFY_WITH_TIMEOUT(!actions(m_window).hasDeletions(), importTimeout);
        QVERIFY(!indexOf(m_window, QStringLiteral("Kids")).isValid());

        m_standIn->stop();                           // Things 3 quits
        QVERIFY(!QApplication::activeModalWidget()); // the confirmation went, and came not again
        confirmation = askToDelete(QStringLiteral("Work"));
        QVERIFY(confirmation);
        QTest::mouseClick(confirmation->findChild<QPushButton*>(QStringLiteral("confirmDelete")),
                          Qt::LeftButton);
        auto* banner = m_window->findChild<QWidget*>(QStringLiteral("listBanner"));
        QTRY_VERIFY(banner->isVisible());
        QCOMPARE(
            banner->findChild<QLabel*>(QStringLiteral("errorMessage"))->text(),
            QStringLiteral("\u201CWork\u201D was not deleted. Things 3 is not open. Please open Things 3 and "
                           "try again."));
        QVERIFY(indexOf(m_window, QStringLiteral("Work")).isValid());
    }

    void aDeletionReachesTheTagItWasMeantForWhateverItsNameInThings() {
        QVERIFY(startStandIn());
        QVERIFY(importDemo());
        // Since the import, "Urgent" became "Later" in Things 3 and "Important" took its name.
        const QString important = storedTag(QStringLiteral("Important"))->id();
        StandInEngine engine;
        ThingsService things(engine);
        things.runAppleScript(
            QStringLiteral("tell application \"Things3\"\n    set name of tag \"Urgent\" to \"Later\"\n"
                           "    set name of tag \"Important\" to \"Urgent\"\nend tell"));
        QMessageBox* confirmation = askToDelete(QStringLiteral("Urgent"));
        QVERIFY(confirmation);
        QTest::mouseClick(confirmation->findChild<QPushButton*>(QStringLiteral("confirmDelete")),
                          Qt::LeftButton);

        QTRY_VERIFY(!indexOf(m_window, QStringLiteral("Urgent")).isValid());
        QVERIFY(!m_window->findChild<QWidget*>(QStringLiteral("listBanner"))->isVisible());
        QVERIFY(!things.fetchTagByName(QStringLiteral("Later")));
        QCOMPARE(things.fetchTagByName(QStringLiteral("Urgent")).value().id, important);
        QVERIFY(indexOf(m_window, QStringLiteral("Important")).isValid());
    }

    // The banner above the list says once that the tag list could not be saved, until it can.
    void aStoreThatCannotBeSavedIsShownAboveTheList() {
        QVERIFY(startStandIn());
        QVERIFY(importDemo());
        SqliteDatabase other;
        QVERIFY(other.open(m_app->store().path(), nullptr));
        QVERIFY(other.exec("BEGIN EXCLUSIVE"));
        storedTag(QStringLiteral("Urgent"))->setTodosCount(9);
        auto* banner = m_window->findChild<QWidget*>(QStringLiteral("listBanner"));
        QTRY_VERIFY_WITH_TIMEOUT(banner->isVisible(), importTimeout);
        QCOMPARE(banner->findChild<QLabel*>(QStringLiteral("errorMessage"))->text(),
                 QStringLiteral("Orvalet could not save its tag list: database is locked"));
        QVERIFY(screenshot(m_window, QStringLiteral("list-banner.png")));
        QVERIFY(other.exec("ROLLBACK"));
        storedTag(QStringLiteral("Urgent"))->setTodosCount(8);
        QTRY_VERIFY(!banner->isVisible());
    }

    void exportWritesTheChosenFormatAndShowsAFailure() {
        QVERIFY(startStandIn());
        QVERIFY(importDemo());
        QVERIFY(m_window->findChild<QAction*>(QStringLiteral("exportTagsAction")));
        const QString path = m_dir->filePath(QStringLiteral("Tags.opml"));
        QVERIFY(m_window->exportTagsTo(path));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().count("<outline ") == demoTagCount);
        // Success is confirmed where the list's status is shown, for a few seconds.
        StatusAreaView* status = content(m_window).statusArea();
        QVERIFY(status->isVisible());
        QCOMPARE(status->notice(), QStringLiteral("Exported 60 tags to Tags.opml"));
        QVERIFY(screenshot(m_window, QStringLiteral("export-done.png")));

        QVERIFY(!m_window->exportTagsTo(m_dir->filePath(QStringLiteral("missing/Tags.json"))));
        QTRY_VERIFY(box(QStringLiteral("exportFailed")));
        QVERIFY(box(QStringLiteral("exportFailed"))
                    ->informativeText()
                    .startsWith(QStringLiteral("The tags could not")));
    }

    // "Update from Things" shows the overlay counting its tags; renames made in Things 3 reach the
    // list, a tag gone from Things 3 stays, and the selection follows.
    void refreshFromTheRowMenuTakesRenamesAndSkipsTagsGoneFromThings() {
        QVERIFY(startStandIn({QStringLiteral("--delay-ms"), QStringLiteral("200")}));
        QVERIFY(importDemo());
        ProgressOverlay* overlay = content(m_window).overlay();
        QMenu* menu = openRowMenu(m_window, QStringLiteral("Errands"));
        QVERIFY(menu && choose(menu, QStringLiteral("updateFromThings")));
        QVERIFY(overlay->isVisible());
        QCOMPARE(overlay->title(), QStringLiteral("Importing tag from Things\u2026"));
        QTRY_VERIFY_WITH_TIMEOUT(!overlay->isVisible(), importTimeout);

        // Changed in Things 3 behind the application's back.
        const StandInEngine things;
        for (const char* program :
             {"tell application \"Things3\" to delete tag \"Errands\"",
              "tell application \"Things3\" to set name of tag \"Calls\" to \"Phone Calls\""}) {
            const std::optional<ScriptOutcome> outcome = things.run(QLatin1String(program));
            QVERIFY(outcome);
            QVERIFY2(!outcome->error, qPrintable(outcome->error ? outcome->error->description : QString()));
        }
        const qsizetype programsBefore = transcriptPrograms().size();

        QVERIFY(selectRows(m_window,
                           {QStringLiteral("Errands"), QStringLiteral("Calls"), QStringLiteral("Email")}));
        menu = openRowMenu(m_window, QStringLiteral("Email"));
        QVERIFY(menu && choose(menu, QStringLiteral("updateFromThings")));
        QVERIFY(overlay->isVisible());
        QCOMPARE(overlay->title(), QStringLiteral("Importing 3 tags from Things\u2026"));
        QTRY_VERIFY_WITH_TIMEOUT(!overlay->isVisible(), importTimeout);
        QCOMPARE(transcriptPrograms().size(), programsBefore + 3);

        QTRY_VERIFY(indexOf(m_window, QStringLiteral("Phone Calls")).isValid());
        QVERIFY(!indexOf(m_window, QStringLiteral("Calls")).isValid());
        QVERIFY(indexOf(m_window, QStringLiteral("Errands")).isValid());
        QCOMPARE(model(m_window).rowCount(), demoTagCount);
        QCOMPARE(selection(m_window), (QStringList{QStringLiteral("Email"), QStringLiteral("Errands"),
                                                   QStringLiteral("Phone Calls")}));
    }

    // Only an identifier a link can carry as it is opens anything.
    void viewInThingsOpensTheTagsLinkOnly() {
        QVERIFY(startStandIn());
        QVERIFY(importDemo());
        LinkCatcher links;
        QDesktopServices::setUrlHandler(QStringLiteral("things"), &links, "open");
        const auto unset = qScopeGuard([] { QDesktopServices::unsetUrlHandler(QStringLiteral("things")); });
        m_app->store().insert(Tag(QStringLiteral("with space"), QStringLiteral("Spaced Id")));
        m_app->store().insert(Tag(QStringLiteral("bad%zz"), QStringLiteral("Escaped Id")));
        QTRY_COMPARE(model(m_window).rowCount(), demoTagCount + 2);

        for (const char* name : {"Spaced Id", "Escaped Id", "Errands"}) {
            QMenu* menu = openRowMenu(m_window, QLatin1String(name));
            QVERIFY2(menu && choose(menu, QStringLiteral("viewInThings")), name);
        }
        QCOMPARE(links.opened.size(), 1);
        QCOMPARE(links.opened.first().toEncoded(),
                 (QStringLiteral("things:///show?id=") +
                  indexOf(m_window, QStringLiteral("Errands")).data(TagListModel::TagIdRole).toString())
                     .toUtf8());

        // With nothing to open a things: link, the user is told so, never left without an answer.
        QDesktopServices::unsetUrlHandler(QStringLiteral("things"));
        QMenu* menu = openRowMenu(m_window, QStringLiteral("Errands"));
        QVERIFY(menu && choose(menu, QStringLiteral("viewInThings")));
        QTRY_VERIFY(box(QStringLiteral("linkNotOpened")));
        QCOMPARE(box(QStringLiteral("linkNotOpened"))->text(),
                 QStringLiteral("Orvalet could not open the link"));
        QVERIFY(box(QStringLiteral("linkNotOpened"))->informativeText().startsWith(u"things:///show?id="_qs));
    }

    // ---- Keyboard, windows, accessibility ----

    void secondWindowKeepsItsOwnSelectionAndSearchOverTheSharedStore() {
        QVERIFY(startStandIn());
        QVERIFY(importDemo());
        MainWindow* second = m_app->newMainWindow();
        second->show();
        QVERIFY(QTest::qWaitForWindowExposed(second));
        QCOMPARE(model(second).rowCount(), demoTagCount);

        QVERIFY(clickRow(m_window, QStringLiteral("Errands")));
        QTest::keyClicks(content(second).searchField(), QStringLiteral("Kid"));
        QCOMPARE(rowNames(second), QStringList{QStringLiteral("Kids")});
        QVERIFY(clickRow(second, QStringLiteral("Kids")));
        QVERIFY(content(m_window).searchField()->text().isEmpty());

        m_app->store().insert(Tag(QStringLiteral("kidney-1"), QStringLiteral("Kidney Beans")));
        QTRY_COMPARE(rowNames(second), (QStringList{QStringLiteral("Kidney Beans"), QStringLiteral("Kids")}));
        QCOMPARE(model(m_window).rowCount(), demoTagCount + 1);
        QCOMPARE(selection(m_window), QStringList{QStringLiteral("Errands")});
        QCOMPARE(selection(second), QStringList{QStringLiteral("Kids")});
    }

    void everyVisibleControlHasAnAccessibleName() {
        QVERIFY(startStandIn());
        m_app->preferences().setFlag(PreferenceKey::showChildrenCounts, true); // shows the status area
        QVERIFY(importDemo());
        QVERIFY(clickRow(m_window, QStringLiteral("Errands")));
        QTest::keyClicks(content(m_window).searchField(), QStringLiteral("e")); // shows the clear button

        int checked = 0;
        const QStringList unnamed = unnamedControls(m_window, &checked);
        QVERIFY(checked >= 5);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QStringLiteral("; "))));
    }
};

QTEST_MAIN(MainWindowTests)
#include "MainWindowTests.moc"
