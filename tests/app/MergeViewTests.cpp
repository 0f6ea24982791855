#include "MergeView.h"
#include "WindowFixture.h"

#include <QListView>
#include <QPushButton>

using namespace orvalet;

// "Merge Into…" driven through the main window as a user drives it, against the demo library.
class MergeViewTests final : public QObject, protected WindowFixture {
    Q_OBJECT

private:
    MergeView* dialog() {
        auto* found = m_window->findChild<MergeView*>(QStringLiteral("mergeView"));
        return found && found->isVisible() ? found : nullptr;
    }

private Q_SLOTS:
    void init() {
        const QString error = openWindowWithDemo();
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }

    void cleanup() { QVERIFY(closeWindow()); }

    void rowMenuMergesTheTagIntoTheSearchedDestination() {
        // One source at a time: the entry is there but disabled for two selected tags.
        QVERIFY(selectRows(m_window, {QStringLiteral("Computer"), QStringLiteral("Calls")}));
        QMenu* menu = openRowMenu(m_window, QStringLiteral("Computer"));
        QVERIFY(menu && entry(menu, QStringLiteral("mergeInto")));
        QVERIFY(!entry(menu, QStringLiteral("mergeInto"))->isEnabled());
        menu->close();

        QVERIFY(clickRow(m_window, QStringLiteral("Computer")));
        menu = openRowMenu(m_window, QStringLiteral("Computer"));
        QVERIFY(menu && choose(menu, QStringLiteral("mergeInto")));
        QTRY_VERIFY(dialog());
        MergeView* view = dialog();
        QCOMPARE(view->windowModality(), Qt::WindowModal);
        QCOMPARE(view->windowTitle(), QStringLiteral("Merge \u201CComputer\u201D Into\u2026"));
        // The source and the tag below it are never offered.
        QAbstractItemModel* rows = view->destinationList()->model();
        QCOMPARE(rows->rowCount(), demoTagCount - 2);
        QVERIFY(rows->match(rows->index(0, 0), Qt::DisplayRole, QStringLiteral("Online"), 1, Qt::MatchExactly)
                    .isEmpty());

        // The search, shared with the parent pickers, finds the destination and shows where it sits.
        QTest::keyClicks(view->searchField(), QStringLiteral("err"));
        QCOMPARE(rows->rowCount(), 1);
        QCOMPARE(view->destinationList()->currentIndex().data().toString(), QStringLiteral("Errands"));
        QCOMPARE(view->destinationList()->currentIndex().data(Qt::AccessibleTextRole).toString(),
                 QStringLiteral("Errands, in Contexts"));
        int checked = 0;
        const QStringList unnamed = unnamedControls(view, &checked);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(u"; ")));
        QVERIFY(checked >= 4);
        QVERIFY(screenshot(view, QStringLiteral("merge-view.png")));

        const TagPtr computer = storedTag(QStringLiteral("Computer"));
        const TagPtr errands = storedTag(QStringLiteral("Errands"));
        QTest::keyClick(view->searchField(), Qt::Key_Return);
        QTRY_VERIFY(view->confirmation() && view->confirmation()->isVisible());
        QMessageBox* confirmation = view->confirmation();
        QCOMPARE(confirmation->text(),
                 QStringLiteral("Merge \u201CComputer\u201D into \u201CErrands\u201D?"));
        const QString todos = QString::number(view->merger().todosToMove());
        QVERIFY2(confirmation->informativeText().startsWith(todos + u" to-do"),
                 qPrintable(confirmation->informativeText()));
        QVERIFY(screenshot(confirmation, QStringLiteral("merge-confirmation.png")));
        auto* merge = confirmation->findChild<QPushButton*>(QStringLiteral("confirmMerge"));
        QVERIFY(merge);
        merge->click();

        // The dialog closes once every step is done; the store follows Things 3.
        QTRY_VERIFY_WITH_TIMEOUT(!dialog(), importTimeout);
        QVERIFY(!computer->isStored());
        QCOMPARE(storedTag(QStringLiteral("Online"))->parentTagId(), std::optional(errands->id()));
        QVERIFY(indexOf(m_window, QStringLiteral("Computer")) == QModelIndex());
        const QStringList programs = transcriptPrograms();
        QVERIFY(programs.size() >= 4);
        QVERIFY(programs.contains(
            ThingsService::mergeReadScript(QStringLiteral("Computer"), QStringLiteral("Errands"))));
    }

    void editorActionOpensTheDialogAndEscapeClosesIt() {
        QVERIFY(clickRow(m_window, QStringLiteral("Work")));
        TagEditView* editor = content(m_window).tagEditView();
        QVERIFY(editor);
        auto* action = editor->findChild<QPushButton*>(QStringLiteral("mergeInto"));
        QVERIFY(action && action->isVisible() && action->isEnabled());
        action->click();
        QTRY_VERIFY(dialog());
        QVERIFY(!dialog()->findChild<QPushButton*>(QStringLiteral("startMerge"))->isEnabled());
        QTest::keyClick(dialog()->searchField(), Qt::Key_Escape);
        QTRY_VERIFY(!dialog());
        QVERIFY(storedTag(QStringLiteral("Work")));
    }
};

QTEST_MAIN(MergeViewTests)
#include "MergeViewTests.moc"
