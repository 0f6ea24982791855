#include "LiveStatus.h"
#include "SimilarTagsWindow.h"
#include "WindowFixture.h"

#include <QCheckBox>
#include <QMenuBar>
#include <QStackedWidget>
#include <QTreeWidget>

using namespace orvalet;

// Tools ▸ "Find Similar Tags…" as a user and a screen reader meet it, against a real stand-in whose
// demo library was given two pairs of alike names before the import.
class SimilarTagsWindowTests final : public WindowFixture {
    Q_OBJECT

private:
    bool startsWithDemo() const override { return false; }

    SimilarTagsWindow* window() const {
        auto* window = qobject_cast<SimilarTagsWindow*>(m_app->similarTagsWindow());
        return window && window->isVisible() ? window : nullptr;
    }
    // The rows of the tree as a screen reader reads them, one after another.
    QStringList heardRows() const {
        QAccessibleInterface* tree = QAccessible::queryAccessibleInterface(window()->tree());
        QStringList rows;
        for (int row = 0; row < tree->tableInterface()->rowCount(); ++row)
            rows.append(tree->tableInterface()->cellAt(row, 0)->text(QAccessible::Name));
        return rows;
    }

private Q_SLOTS:
    void aGroupIsSetAsideThenMergedAndTheMergeUndone() {
        QVERIFY(startStandIn());
        QVERIFY(runInThings(
            u"set name of tag \"Calls\" to \"errand\"\nset name of tag \"Office\" to \"cafe\""_qs));
        QVERIFY(importDemo());
        QMenu* tools = m_window->menuBar()->findChild<QMenu*>(u"toolsMenu"_qs);
        tools->findChild<QAction*>(u"actionFindSimilarTags"_qs)->trigger();
        QTRY_VERIFY(window());
        QCOMPARE(window()->windowTitle(), u"Find Similar Tags"_qs);
        VERIFY_ALL_NAMED(window());
        // Each group, then its members with their place and counts, the fullest first.
        QCOMPARE(heardRows(),
                 (QStringList{u"cafe and Café"_qs, u"cafe, in Places, 3 open to-dos, 0 child tags"_qs,
                              u"Café, in Places, 2 open to-dos, 0 child tags"_qs, u"Errands and errand"_qs,
                              u"Errands, in Contexts, 4 open to-dos, 0 child tags"_qs,
                              u"errand, in Contexts, 3 open to-dos, 0 child tags"_qs}));

        // "Not Similar" on the café group: gone from the list, shown again on demand.
        QTreeWidget* tree = window()->tree();
        tree->setCurrentItem(tree->topLevelItem(0));
        QCOMPARE(window()->dismissButton()->text(), u"Not Similar"_qs);
        QTest::mouseClick(window()->dismissButton(), Qt::LeftButton);
        QCOMPARE(heardRows().size(), 3);
        QCheckBox* showDismissed = window()->showDismissedBox();
        QVERIFY(showDismissed->isVisible());
        QCOMPARE(showDismissed->accessibleName(), u"Show groups marked Not Similar (1)"_qs);
        showDismissed->click();
        QCOMPARE(heardRows().size(), 6);
        showDismissed->click();

        // The errand group merged into its default choice: the fullest.
        tree->setCurrentItem(tree->topLevelItem(0));
        QCOMPARE(window()->destinationBox()->currentText(), u"Errands (in Contexts)"_qs);
        QTest::mouseClick(window()->mergeButton(), Qt::LeftButton);
        QVERIFY(answer(u"similarTagsConfirmation"_qs, u"confirmSimilarTagsMerge"_qs, window()));
        QTRY_VERIFY_WITH_TIMEOUT(!storedTag(u"errand"_qs), importTimeout);
        QTRY_COMPARE(window()->findChild<QStackedWidget*>()->currentWidget()->objectName(),
                     u"similarTagsEmpty"_qs);
        QTRY_COMPARE(window()->findChild<LiveStatus*>()->text(),
                     u"Merged \u201Cerrand\u201D into \u201CErrands\u201D."_qs);

        // Edit ▸ Undo brings the tag back, and with it the group.
        QCOMPARE(m_app->store().allTags().size(), demoTagCount - 1);
        QAction* undo = m_window->findChild<QAction*>(u"undoAction"_qs);
        QVERIFY(undo);
        QCOMPARE(undo->text(), u"Undo Merge \u201Cerrand\u201D"_qs);
        undo->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(storedTag(u"errand"_qs), importTimeout);
        QTRY_COMPARE(heardRows().size(), 3);

        QTest::keyClick(window(), Qt::Key_Escape);
        QTRY_VERIFY(!window());
    }
};

QTEST_MAIN(SimilarTagsWindowTests)
#include "SimilarTagsWindowTests.moc"
