#include "ProgressOverlay.h"
#include "StandInEngine.h"
#include "WindowFixture.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QComboBox>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QToolBar>
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
        QVERIFY(importDemo());

        QCOMPARE(
            indexOf(m_window, QStringLiteral("Family")).data(TagListModel::ChildCountTextRole).toString(),
            QStringLiteral("2 child tags"));
        QCOMPARE(
            indexOf(m_window, QStringLiteral("Homework")).data(TagListModel::AncestorPathRole).toString(),
            QStringLiteral("Family > Kids > School"));

        // Each row reads out what it draws: the name, the counts, then the path beneath.
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(content(m_window).list());
        QVERIFY(list && list->tableInterface());
        for (int row = 0; row < demoTagCount; ++row) {
            const QModelIndex index = model(m_window).index(row);
            QStringList shown{index.data().toString()};
            for (int role : {int(TagListModel::ChildCountTextRole), int(TagListModel::TodoCountTextRole),
                             int(TagListModel::AncestorPathRole)}) {
                const QString text = index.data(role).toString();
                if (!text.isEmpty()) {
                    shown.append(text);
                }
            }
            const QString expected = shown.join(QStringLiteral(", "));
            QCOMPARE(index.data(Qt::AccessibleTextRole).toString(), expected);
            QAccessibleInterface* cell = list->tableInterface()->cellAt(row, 0);
            QVERIFY(cell);
            QCOMPARE(cell->text(QAccessible::Name), expected);
        }

        QVERIFY(screenshot(m_window, QStringLiteral("main-window.png")));
    }

    void importWithoutThingsAlertsAndLeavesTheStore() {
        // No stand-in is started: nothing listens on the socket, as when Things 3 is not running.
        TagStore& store = m_app->store();
        store.insert(Tag(QStringLiteral("kept-1"), QStringLiteral("Kept")));
        QVERIFY(store.flush());
        QTRY_COMPARE(rowNames(m_window), QStringList{QStringLiteral("Kept")});
        const int commits = store.commitCount();

        for (int attempt = 0; attempt < 2; ++attempt) { // the alert comes back after it was dismissed
            content(m_window).importAction()->trigger();
            QTRY_VERIFY_WITH_TIMEOUT(box(QStringLiteral("importFailed")), importTimeout);
            QMessageBox* alert = box(QStringLiteral("importFailed"));
            QCOMPARE(alert->text(), QStringLiteral("Import Failed"));
            QCOMPARE(alert->informativeText(),
                     QStringLiteral("Things 3 is not open. Please open Things 3 and try again."));
            QCOMPARE(alert->windowModality(), Qt::WindowModal);
            QVERIFY(actions(m_window).importError());
            QVERIFY(!actions(m_window).isImporting());
            QVERIFY(content(m_window).importAction()->isEnabled());
            QVERIFY(!content(m_window).overlay()->isVisible());

            QTest::mouseClick(alert->button(QMessageBox::Ok), Qt::LeftButton);
            QVERIFY(!actions(m_window).importError());
            QTRY_VERIFY(!m_window->findChild<QMessageBox*>(QStringLiteral("importFailed")));
        }

        QCOMPARE(rowNames(m_window), QStringList{QStringLiteral("Kept")});
        QVERIFY(!store.hasPendingWrites());
        QCOMPARE(store.commitCount(), commits);
        QCOMPARE(m_app->preferences().lastImportTimestamp(), 0.0);
    }

    void importKeepsTheWindowResponsiveBehindTheOverlay() {
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
        QTest::keySequence(focused(), QKeySequence::Find);
        QTRY_VERIFY(view.searchField()->hasFocus());
    }

    // ---- Row context menu ----

    void refreshOverlayCountsTheTags() {
        QVERIFY(startStandIn({QStringLiteral("--delay-ms"), QStringLiteral("400")}));
        QVERIFY(importDemo());
        ProgressOverlay* overlay = content(m_window).overlay();

        QMenu* menu = openRowMenu(m_window, QStringLiteral("Errands"));
        QVERIFY(menu);
        QVERIFY(choose(menu, QStringLiteral("updateFromThings")));
        QVERIFY(overlay->isVisible());
        QCOMPARE(overlay->title(), QStringLiteral("Importing tag from Things\u2026"));
        QTRY_VERIFY_WITH_TIMEOUT(!overlay->isVisible(), importTimeout);

        QVERIFY(selectRows(m_window,
                           {QStringLiteral("Errands"), QStringLiteral("Calls"), QStringLiteral("Email")}));
        menu = openRowMenu(m_window, QStringLiteral("Calls"));
        QVERIFY(menu);
        QVERIFY(choose(menu, QStringLiteral("updateFromThings")));
        QVERIFY(overlay->isVisible());
        QCOMPARE(overlay->title(), QStringLiteral("Importing 3 tags from Things\u2026"));
        QTRY_VERIFY_WITH_TIMEOUT(!overlay->isVisible(), importTimeout);
        QCOMPARE(transcriptPrograms().size(), 1 + 1 + 3);
    }

    void menuOfAnUnselectedRowActsOnThatRowAlone() {
        QVERIFY(startStandIn());
        QVERIFY(importDemo());
        const QStringList three{QStringLiteral("Calls"), QStringLiteral("Email"), QStringLiteral("Errands")};
        QVERIFY(selectRows(m_window, three));
        QCOMPARE(selection(m_window), three);

        QMenu* menu = openRowMenu(m_window, QStringLiteral("Computer"));
        QVERIFY(menu);
        QCOMPARE(entry(menu, QStringLiteral("deleteTags"))->text(), QStringLiteral("Delete Tag"));
        QCOMPARE(selection(m_window), three);
        QVERIFY(choose(menu, QStringLiteral("deleteTags")));
        QTRY_VERIFY(box(QStringLiteral("deleteConfirmation")));
        QCOMPARE(box(QStringLiteral("deleteConfirmation"))->text(), QStringLiteral("Delete \"Computer\"?"));
        QTest::mouseClick(box(QStringLiteral("deleteConfirmation"))
                              ->findChild<QPushButton*>(QStringLiteral("cancelDelete")),
                          Qt::LeftButton);
        QTRY_VERIFY(!m_window->findChild<QMessageBox*>(QStringLiteral("deleteConfirmation")));

        menu = openRowMenu(m_window, QStringLiteral("Email"));
        QVERIFY(menu);
        QCOMPARE(entry(menu, QStringLiteral("deleteTags"))->text(), QStringLiteral("Delete Tags"));
        QCOMPARE(selection(m_window), three);
        menu->close();
    }

    void deleteConfirmationNamesItsTargetsAndCancelKeepsThem() {
        QVERIFY(startStandIn());
        QVERIFY(importDemo());
        const auto confirmation = [this] {
            return box(QStringLiteral("deleteConfirmation"));
        };
        const QString one = QStringLiteral("This will permanently delete the tag and all their child tags "
                                           "from this app AND Things 3. This action cannot be undone!");
        const QString several =
            QStringLiteral("This will permanently delete the tags and all their child tags "
                           "from this app AND Things 3. This action cannot be undone!");

        QVERIFY(clickRow(m_window, QStringLiteral("Errands")));
        QMenu* menu = openRowMenu(m_window, QStringLiteral("Errands"));
        QVERIFY(menu);
        QVERIFY(choose(menu, QStringLiteral("deleteTags")));
        QTRY_VERIFY(confirmation());
        QCOMPARE(confirmation()->text(), QStringLiteral("Delete \"Errands\"?"));
        QCOMPARE(confirmation()->informativeText(), one);
        QCOMPARE(confirmation()->windowModality(), Qt::WindowModal);
        auto* cancel = confirmation()->findChild<QPushButton*>(QStringLiteral("cancelDelete"));
        QVERIFY(cancel);
        QCOMPARE(cancel->text(), QStringLiteral("Cancel"));
        QCOMPARE(confirmation()->defaultButton(), cancel);
        QTest::mouseClick(cancel, Qt::LeftButton);
        QTRY_VERIFY(!confirmation());
        QCOMPARE(selection(m_window), QStringList{QStringLiteral("Errands")});

        const QStringList three{QStringLiteral("Calls"), QStringLiteral("Email"), QStringLiteral("Errands")};
        QVERIFY(selectRows(m_window, three));
        menu = openRowMenu(m_window, QStringLiteral("Email"));
        QVERIFY(menu);
        QVERIFY(choose(menu, QStringLiteral("deleteTags")));
        QTRY_VERIFY(confirmation());
        QCOMPARE(confirmation()->text(), QStringLiteral("Delete 3 tags?"));
        QCOMPARE(confirmation()->informativeText(), several);
        QTest::keyClick(confirmation(), Qt::Key_Escape); // dismissed without a button: a cancel too
        QTRY_VERIFY(!confirmation());

        QVERIFY(!actions(m_window).showDeleteConfirmationForListTags());
        QVERIFY(actions(m_window).tagsPendingDelete().isEmpty());
        QCOMPARE(selection(m_window), three);
        QCOMPARE(model(m_window).rowCount(), demoTagCount);
        QCOMPARE(m_app->store().count(), demoTagCount);
        QCOMPARE(transcriptPrograms().size(), 1); // the import alone
    }

    void deletingATagDeletesItsTreeWithOneProgram() {
        QVERIFY(startStandIn());
        QVERIFY(importDemo());
        QMenu* menu = openRowMenu(m_window, QStringLiteral("Family"));
        QVERIFY(menu);
        QVERIFY(choose(menu, QStringLiteral("deleteTags")));
        QTRY_VERIFY(box(QStringLiteral("deleteConfirmation")));
        QTest::mouseClick(box(QStringLiteral("deleteConfirmation"))
                              ->findChild<QPushButton*>(QStringLiteral("confirmDelete")),
                          Qt::LeftButton);

        QTRY_COMPARE_WITH_TIMEOUT(model(m_window).rowCount(), demoTagCount - 5, importTimeout);
        for (const char* gone : {"Family", "Kids", "Parents", "School", "Homework"}) {
            QVERIFY2(!indexOf(m_window, QLatin1String(gone)).isValid(), gone);
        }
        QCOMPARE(m_app->store().count(), demoTagCount - 5);
        const QStringList deletions = transcriptPrograms().filter(QStringLiteral("delete tag"));
        QCOMPARE(deletions.size(), 1);
        QVERIFY2(deletions.first().contains(QStringLiteral("delete tag \"Family\"")),
                 qPrintable(deletions.first()));
    }

    void aDeletionOfATagChangedInThingsIsRefusedWithABanner() {
        QVERIFY(startStandIn());
        QVERIFY(importDemo());
        m_app->preferences().setFlag(PreferenceKey::checkTagsBeforeChanging, true);
        // Since the import, "Urgent" became "Later" in Things 3 and "Important" took its name.
        const std::optional<ScriptOutcome> swapped = StandInEngine().run(
            QStringLiteral("tell application \"Things3\"\n    set name of tag \"Urgent\" to \"Later\"\n"
                           "    set name of tag \"Important\" to \"Urgent\"\nend tell"));
        QVERIFY(swapped && !swapped->error);
        QMenu* menu = openRowMenu(m_window, QStringLiteral("Urgent"));
        QVERIFY(menu && choose(menu, QStringLiteral("deleteTags")));
        QTRY_VERIFY(box(QStringLiteral("deleteConfirmation")));
        QTest::mouseClick(box(QStringLiteral("deleteConfirmation"))
                              ->findChild<QPushButton*>(QStringLiteral("confirmDelete")),
                          Qt::LeftButton);

        auto* banner = m_window->findChild<QWidget*>(QStringLiteral("listBanner"));
        QTRY_VERIFY(banner->isVisible());
        QCOMPARE(
            banner->findChild<QLabel*>(QStringLiteral("errorMessage"))->text(),
            QStringLiteral("\u201CUrgent\u201D changed in Things 3 since the last import. Import again, then "
                           "try once more."));
        QVERIFY(indexOf(m_window, QStringLiteral("Urgent")).isValid());
        QVERIFY(transcriptPrograms().filter(QStringLiteral("delete tag")).isEmpty());
        QVERIFY(screenshot(m_window, QStringLiteral("list-banner.png")));
        QTest::mouseClick(banner->findChild<QPushButton*>(QStringLiteral("dismissError")), Qt::LeftButton);
        QVERIFY(!banner->isVisible());
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

        QVERIFY(!m_window->exportTagsTo(m_dir->filePath(QStringLiteral("missing/Tags.json"))));
        QTRY_VERIFY(box(QStringLiteral("exportFailed")));
        QVERIFY(box(QStringLiteral("exportFailed"))
                    ->informativeText()
                    .startsWith(QStringLiteral("The tags could not")));
    }

    void refreshTakesRenamesAndSkipsTagsGoneFromThings() {
        QVERIFY(startStandIn({QStringLiteral("--delay-ms"), QStringLiteral("200")}));
        QVERIFY(importDemo());
        const TagPtr errands = m_app->store().tag(idOf(QStringLiteral("Errands")));
        const TagPtr calls = m_app->store().tag(idOf(QStringLiteral("Calls")));
        const TagPtr email = m_app->store().tag(idOf(QStringLiteral("Email")));
        QVERIFY(errands && calls && email);
        const std::optional<qint64> errandsTodos = errands->todosCount();
        const std::optional<QDateTime> errandsUpdated = errands->updatedAt();
        const std::optional<QDateTime> emailUpdated = email->updatedAt();

        // Changed in Things 3 behind the application's back.
        const StandInEngine things;
        for (const char* program :
             {"tell application \"Things3\" to delete tag \"Errands\"",
              "tell application \"Things3\" to set name of tag \"Calls\" to \"Phone Calls\""}) {
            const std::optional<ScriptOutcome> outcome = things.run(QLatin1String(program));
            QVERIFY(outcome);
            QVERIFY2(!outcome->error, qPrintable(outcome->error ? outcome->error->description : QString()));
        }

        QVERIFY(selectRows(m_window,
                           {QStringLiteral("Errands"), QStringLiteral("Calls"), QStringLiteral("Email")}));
        QMenu* menu = openRowMenu(m_window, QStringLiteral("Email"));
        QVERIFY(menu);
        QVERIFY(choose(menu, QStringLiteral("updateFromThings")));
        QVERIFY(content(m_window).overlay()->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!content(m_window).overlay()->isVisible(), importTimeout);

        QTRY_VERIFY(indexOf(m_window, QStringLiteral("Phone Calls")).isValid());
        QVERIFY(!indexOf(m_window, QStringLiteral("Calls")).isValid());
        QCOMPARE(calls->name(), QStringLiteral("Phone Calls"));
        QVERIFY(indexOf(m_window, QStringLiteral("Errands")).isValid());
        QVERIFY(errands->isStored());
        QCOMPARE(errands->todosCount(), errandsTodos);
        QCOMPARE(errands->updatedAt(), errandsUpdated);
        QVERIFY(email->updatedAt() > emailUpdated);
        QCOMPARE(model(m_window).rowCount(), demoTagCount);
        QCOMPARE(selection(m_window), (QStringList{QStringLiteral("Email"), QStringLiteral("Errands"),
                                                   QStringLiteral("Phone Calls")}));
    }

    void viewInThingsOpensTheTagsLinkOnly() {
        QVERIFY(startStandIn());
        QVERIFY(importDemo());
        LinkCatcher links;
        QDesktopServices::setUrlHandler(QStringLiteral("things"), &links, "open");
        const auto unset = qScopeGuard([] { QDesktopServices::unsetUrlHandler(QStringLiteral("things")); });

        const QString id = idOf(QStringLiteral("Errands"));
        QVERIFY(!id.isEmpty());
        QMenu* menu = openRowMenu(m_window, QStringLiteral("Errands"));
        QVERIFY(menu);
        QVERIFY(choose(menu, QStringLiteral("viewInThings")));
        QCOMPARE(links.opened.size(), 1);
        QCOMPARE(links.opened.first().toEncoded(), (QStringLiteral("things:///show?id=") + id).toUtf8());

        // Identifiers Things 3 would never give, which no link can carry as they are.
        m_app->store().insert(Tag(QStringLiteral("with space"), QStringLiteral("Spaced Id")));
        m_app->store().insert(Tag(QStringLiteral("bad%zz"), QStringLiteral("Escaped Id")));
        QTRY_COMPARE(model(m_window).rowCount(), demoTagCount + 2);
        for (const char* name : {"Spaced Id", "Escaped Id"}) {
            menu = openRowMenu(m_window, QLatin1String(name));
            QVERIFY2(menu, name);
            QVERIFY(choose(menu, QStringLiteral("viewInThings")));
        }
        QCOMPARE(links.opened.size(), 1);
    }

    // ---- Keyboard, windows, accessibility ----

    void findShortcutMovesFromTheListToTheSearchField() {
        QVERIFY(startStandIn());
        QVERIFY(importDemo());
        ContentView& view = content(m_window);
        QVERIFY(clickRow(m_window, QStringLiteral("Errands")));
        QTRY_VERIFY(view.list()->hasFocus());

        QTest::keySequence(view.list(), QKeySequence::Find);
        QTRY_VERIFY(view.searchField()->hasFocus());
        QTest::keyClicks(view.searchField(), QStringLiteral("err"));
        QCOMPARE(rowNames(m_window), QStringList{QStringLiteral("Errands")});

        // Again from the list: the search text is selected, so typing replaces it.
        view.list()->setFocus();
        QTRY_VERIFY(view.list()->hasFocus());
        QTest::keySequence(view.list(), QKeySequence::Find);
        QTRY_VERIFY(view.searchField()->hasFocus());
        QTest::keyClicks(view.searchField(), QStringLiteral("kid"));
        QCOMPARE(view.searchField()->text(), QStringLiteral("kid"));
        QCOMPARE(rowNames(m_window), QStringList{QStringLiteral("Kids")});
    }

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

        QCOMPARE(selection(m_window), QStringList{QStringLiteral("Errands")});
        QCOMPARE(selection(second), QStringList{QStringLiteral("Kids")});
        QVERIFY(content(m_window).searchField()->text().isEmpty());
        QCOMPARE(model(m_window).rowCount(), demoTagCount);

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
