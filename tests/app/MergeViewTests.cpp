#include "MergeView.h"
#include "WindowFixture.h"

#include <QListView>
#include <QPushButton>

using namespace orvalet;

// "Merge Into…" driven through the main window as a user drives it, against the demo library.
class MergeViewTests final : public WindowFixture {
    Q_OBJECT

private:
    MergeView* dialog() { return shown<MergeView>(u"mergeView"_qs); }

private Q_SLOTS:
    void rowMenuMergesTheTagIntoTheSearchedDestination() {
        // One source at a time: the entry is there but disabled for two selected tags.
        QVERIFY(selectRows(m_window, {u"Computer"_qs, u"Calls"_qs}));
        QMenu* menu = openRowMenu(m_window, u"Computer"_qs);
        QVERIFY(menu && entry(menu, u"mergeInto"_qs));
        QVERIFY(!entry(menu, u"mergeInto"_qs)->isEnabled());
        menu->close();

        QVERIFY(clickRow(m_window, u"Computer"_qs));
        menu = openRowMenu(m_window, u"Computer"_qs);
        QVERIFY(menu && choose(menu, u"mergeInto"_qs));
        QTRY_VERIFY(dialog());
        MergeView* view = dialog();
        QCOMPARE(view->windowModality(), Qt::WindowModal);
        QCOMPARE(view->windowTitle(), u"Merge \u201CComputer\u201D Into\u2026"_qs);
        // The source and the tag below it are never offered.
        QAbstractItemModel* rows = view->destinationList()->model();
        QCOMPARE(rows->rowCount(), demoTagCount - 2);
        QVERIFY(rows->match(rows->index(0, 0), Qt::DisplayRole, u"Online"_qs, 1, Qt::MatchExactly).isEmpty());

        // The search, shared with the parent pickers, finds the destination and shows where it sits.
        QTest::keyClicks(view->searchField(), u"err"_qs);
        QCOMPARE(rows->rowCount(), 1);
        QCOMPARE(view->destinationList()->currentIndex().data().toString(), u"Errands"_qs);
        QCOMPARE(view->destinationList()->currentIndex().data(Qt::AccessibleTextRole).toString(),
                 u"Errands, in Contexts"_qs);
        int checked = 0;
        const QStringList unnamed = unnamedControls(view, &checked);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(u"; ")));
        QVERIFY(checked >= 4);

        const TagPtr computer = storedTag(u"Computer"_qs);
        const TagPtr errands = storedTag(u"Errands"_qs);
        QTest::keyClick(view->searchField(), Qt::Key_Return);
        QTRY_VERIFY(view->confirmation() && view->confirmation()->isVisible());
        QMessageBox* confirmation = view->confirmation();
        QCOMPARE(confirmation->text(), u"Merge \u201CComputer\u201D into \u201CErrands\u201D?"_qs);
        const QString todos = QString::number(view->merger().todosToMove());
        QVERIFY2(confirmation->informativeText().startsWith(todos + u" to-do"),
                 qPrintable(confirmation->informativeText()));
        QVERIFY(press(u"confirmMerge"_qs, confirmation));

        // The dialog closes once every step is done; the store follows Things 3.
        QTRY_VERIFY_WITH_TIMEOUT(!dialog(), importTimeout);
        QVERIFY(!computer->isStored());
        QCOMPARE(storedTag(u"Online"_qs)->parentTagId(), std::optional(errands->id()));
        QVERIFY(indexOf(m_window, u"Computer"_qs) == QModelIndex());
        const QStringList programs = transcriptPrograms();
        QVERIFY(programs.size() >= 4);
        QVERIFY(programs.contains(ThingsService::mergeReadScript(u"Computer"_qs, u"Errands"_qs)));
    }

    void editorActionOpensTheDialogAndEscapeClosesIt() {
        QVERIFY(clickRow(m_window, u"Work"_qs));
        QVERIFY(press(u"mergeInto"_qs, content(m_window).tagEditView()));
        QTRY_VERIFY(dialog());
        QVERIFY(!dialog()->findChild<QPushButton*>(u"startMerge"_qs)->isEnabled());
        QTest::keyClick(dialog()->searchField(), Qt::Key_Escape);
        QTRY_VERIFY(!dialog());
        QVERIFY(storedTag(u"Work"_qs));
    }
};

QTEST_MAIN(MergeViewTests)
#include "MergeViewTests.moc"
