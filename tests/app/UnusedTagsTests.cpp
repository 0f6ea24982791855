#include "BatchResultSheet.h"
#include "StandInEngine.h"
#include "ThingsService.h"
#include "UnusedTagsWindow.h"
#include "WindowFixture.h"

#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QtTest>

using namespace orvalet;

// The clean-up of unused tags, opened from the Tools menu of the main window and driven as a user
// drives it against a stand-in process.
class UnusedTagsTests final : public WindowFixture {
    Q_OBJECT

private:
    UnusedTagsWindow* cleanupWindow() const {
        auto* window = qobject_cast<UnusedTagsWindow*>(m_app->unusedTagsWindow());
        return window && window->isVisible() ? window : nullptr;
    }
    BatchResultSheet* sheet() { return shown<BatchResultSheet>(u"batchResult"_qs, cleanupWindow()); }
    QString sheetText(const QString& name) {
        auto* label = sheet()->findChild<QLabel*>(name);
        return label ? label->text() : u"(no label "_qs + name + u')';
    }

    // Tools ▸ "Clean Up Unused Tags…", clicked in the menu bar.
    bool openFromToolsMenu() {
        QMenuBar* bar = m_window->menuBar();
        auto* tools = bar->findChild<QMenu*>(u"toolsMenu"_qs);
        if (!tools) {
            return false;
        }
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(tools->menuAction()).center());
        return QTest::qWaitFor([tools] { return tools->isVisible(); }) &&
               choose(tools, u"actionCleanUpUnusedTags"_qs) &&
               QTest::qWaitFor([this] { return cleanupWindow() && cleanupWindow()->isActiveWindow(); });
    }

    // The tree as shown: one line per row, indented by two spaces below a parent, "[x]" or "[ ]" for the
    // check box.
    QStringList treeRows() {
        QStringList rows;
        for (QTreeWidgetItemIterator it(cleanupWindow()->tree()); *it; ++it) {
            rows.append(QString((*it)->parent() ? 2 : 0, u' ') +
                        ((*it)->checkState(0) == Qt::Checked ? u"[x] "_qs : u"[ ] "_qs) + (*it)->text(0));
        }
        return rows;
    }

    // Space on the row, as a keyboard user toggles its check box.
    bool toggle(const QString& name) {
        QTreeWidget* tree = cleanupWindow()->tree();
        const QList<QTreeWidgetItem*> found = tree->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
        if (found.size() != 1) {
            return false;
        }
        tree->setFocus();
        tree->setCurrentItem(found.first());
        QTest::keyClick(tree, Qt::Key_Space);
        return true;
    }

    // Every stored tag gets one open to-do, except the named ones, which get none. In Things 3, the
    // to-dos of the named ones lose all their tags, but for `stillUsed`, which Things 3 keeps using.
    void leaveUnused(const QStringList& names, const QString& stillUsed = {}) {
        for (const TagPtr& tag : m_app->store().allTags()) {
            tag->setTodosCount(names.contains(tag->name()) ? 0 : 1);
        }
        QCoreApplication::processEvents(); // the store announces its changes at the end of the turn
        QString program = u"tell application \"Things3\""_qs;
        for (const QString& name : names) {
            if (name != stillUsed) {
                program += u"\n    repeat with d in to dos of tag "_qs +
                           ThingsService::appleScriptLiteral(name) +
                           u"\n        set tag names of d to \"\"\n    end repeat"_qs;
            }
        }
        const std::optional<ScriptOutcome> cleared = StandInEngine().run(program + u"\nend tell"_qs);
        QVERIFY(cleared && !cleared->error);
    }

private Q_SLOTS:
    void deletingTheCheckedTagsRemovesThemEverywhereAndTheListFollows() {
        // Things 3 still uses Say "Hello", which the list's counts say nothing of.
        leaveUnused({u"Home"_qs, u"Repairs"_qs, u"Plumbing"_qs, u"Electrical"_qs, u"Kitchen"_qs,
                     u"Meetings"_qs, u"Stand-ups"_qs, u"Important"_qs, u"Say \"Hello\""_qs},
                    u"Say \"Hello\""_qs);
        QStringList menus;
        for (QAction* menu : m_window->menuBar()->actions()) {
            menus.append(menu->text());
        }
        QCOMPARE(menus.mid(menus.indexOf(u"&View"_qs), 3),
                 (QStringList{u"&View"_qs, u"&Tools"_qs, u"&Help"_qs}));
        QVERIFY(openFromToolsMenu());
        UnusedTagsWindow* window = cleanupWindow();
        QCOMPARE(window->windowTitle(), u"Clean Up Unused Tags"_qs);
        QCOMPARE(window->findChild<QLabel*>(u"unusedTagsHeading"_qs)->text(),
                 u"These tags have no open to-dos, and neither do the tags below them"_qs);
        QCOMPARE(QAccessible::queryAccessibleInterface(window)->role(), QAccessible::Window);
        QCOMPARE(window->findChild<QLabel*>(u"unusedTagsNote"_qs)->text(),
                 u"Counts cover open to-dos only; tags used only by completed to-dos, projects or areas are "
                 u"listed too."_qs);
        // Home is not offered, as Garden below it is used; nor is Meetings, which One-on-ones keeps in
        // use, while Stand-ups below it is offered.
        QCOMPARE(treeRows(), (QStringList{u"[x] Kitchen"_qs, u"[x] Repairs"_qs, u"  [x] Electrical"_qs,
                                          u"  [x] Plumbing"_qs, u"[x] Important"_qs, u"[x] Say \"Hello\""_qs,
                                          u"[x] Stand-ups"_qs}));
        QCOMPARE(window->deleteButton()->text(), u"Delete 7 Tags"_qs);
        QTreeWidgetItem* kitchen = window->tree()->topLevelItem(0);
        QCOMPARE(kitchen->text(1), u"Home"_qs);
        QCOMPARE(kitchen->data(0, Qt::AccessibleTextRole).toString(), u"Kitchen, in Home"_qs);

        // Plumbing stays, so Repairs must stay too; so does Important.
        QVERIFY(toggle(u"Plumbing"_qs));
        QVERIFY(toggle(u"Important"_qs));
        QCOMPARE(treeRows(), (QStringList{u"[x] Kitchen"_qs, u"[ ] Repairs"_qs, u"  [x] Electrical"_qs,
                                          u"  [ ] Plumbing"_qs, u"[ ] Important"_qs, u"[x] Say \"Hello\""_qs,
                                          u"[x] Stand-ups"_qs}));
        QCOMPARE(window->deleteButton()->text(), u"Delete 4 Tags"_qs);
        VERIFY_ALL_NAMED(window);

        const qsizetype programsBefore = transcriptPrograms().size();
        const QStringList deleted{u"Kitchen"_qs, u"Electrical"_qs, u"Stand-ups"_qs};
        // Each tag is a tree of its own: what Things 3 holds for it now, then its deletion, but for
        // Say "Hello", which Things 3 uses.
        QStringList expected;
        for (const QString& name : {u"Kitchen"_qs, u"Electrical"_qs, u"Say \"Hello\""_qs, u"Stand-ups"_qs}) {
            const QString id = storedTag(name)->id();
            expected << ThingsService::tagUseScript({id});
            if (deleted.contains(name)) {
                expected << ThingsService::deleteTagScript({id, name}, true);
            }
        }
        QTest::mouseClick(window->deleteButton(), Qt::LeftButton);
        QTRY_VERIFY(box(u"unusedTagsDeleteConfirmation"_qs, window));
        QCOMPARE(box(u"unusedTagsDeleteConfirmation"_qs, window)->windowTitle(), u"Delete 4 tags?"_qs);
        QVERIFY(answer(u"unusedTagsDeleteConfirmation"_qs, u"confirmUnusedTagsDelete"_qs, window));
        QTRY_VERIFY_WITH_TIMEOUT(sheet(), importTimeout);
        QCOMPARE(sheetText(u"batchResultTitle"_qs), u"Tags Deleted"_qs);
        QCOMPARE(sheetText(u"batchResultSummary"_qs), u"Deleted 3 tags:"_qs);
        QCOMPARE(sheet()->nameList()->accessibleName(), u"Deleted Tags"_qs);
        QCOMPARE(sheetText(u"batchResultSkippedCaption"_qs), u"Not deleted:"_qs);
        auto* skipped = sheet()->findChild<QListWidget*>(u"batchResultSkipped"_qs);
        QCOMPARE(skipped->count(), 1);
        QCOMPARE(skipped->item(0)->text(),
                 u"Say \"Hello\": \u201CSay \"Hello\"\u201D has open to-dos in Things 3 now."_qs);
        VERIFY_ALL_NAMED(sheet());

        QCOMPARE(transcriptPrograms().mid(programsBefore), expected);
        QTRY_COMPARE(model(m_window).rowCount(), demoTagCount - int(deleted.size()));
        for (const QString& name : deleted) {
            QVERIFY2(!storedTag(name), qPrintable(name));
        }

        QTest::keyClick(sheet(), Qt::Key_Return);
        QTRY_VERIFY(!sheet());
        // Say "Hello" has the count Things 3 told: it is no longer offered.
        QCOMPARE(treeRows(), (QStringList{u"[ ] Repairs"_qs, u"  [ ] Plumbing"_qs, u"[ ] Important"_qs}));
        QCOMPARE(window->deleteButton()->text(), u"Delete 0 Tags"_qs);
        QVERIFY(!window->deleteButton()->isEnabled());

        // Escape closes the window.
        QTest::keyClick(window->tree(), Qt::Key_Escape);
        QTRY_VERIFY(!cleanupWindow());
    }

    void nothingUnusedShowsTheEmptyState() {
        leaveUnused({});
        QVERIFY(openFromToolsMenu());
        auto* pages = cleanupWindow()->findChild<QStackedWidget*>();
        QCOMPARE(pages->currentWidget()->objectName(), u"unusedTagsEmpty"_qs);
        QCOMPARE(pages->currentWidget()->findChild<QLabel*>(u"emptyStateTitle"_qs)->text(),
                 u"No Unused Tags"_qs);
        QVERIFY(!cleanupWindow()->deleteButton()->isEnabled());
    }
};

QTEST_MAIN(UnusedTagsTests)
#include "UnusedTagsTests.moc"
