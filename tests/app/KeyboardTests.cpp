#include "ParentPicker.h"
#include "TagDropController.h"
#include "TagSearchList.h"
#include "WindowFixture.h"

#include <QMenuBar>

using namespace orvalet;

// "Move to Top Level" from the row's menu and the Edit menu, and the searchable parent picker with a
// large library and to a screen reader.
class KeyboardTests final : public WindowFixture {
    Q_OBJECT

private:
    QAction* action(const QString& name) { return m_window->findChild<QAction*>(name); }
    TagEditView* editor() { return content(m_window).tagEditView(); }
    bool isRoot(const QString& name) { return storedTag(name) && storedTag(name)->isRoot(); }
    bool isMoving() { return content(m_window).drops().isMoving(); }

    // Opens the picker of the tag editor shown, with the keyboard: its popup list.
    TagSearchList* openPicker() {
        auto* picker = editor() ? editor()->findChild<ParentPicker*>(u"parentPicker"_qs) : nullptr;
        if (!picker) {
            return nullptr;
        }
        picker->setFocus();
        QTest::keyClick(picker, Qt::Key_Space);
        return picker->popupList();
    }
    static void retype(QLineEdit* field, const QString& text) {
        field->clear();
        QTest::keyClicks(field, text);
    }
    static QString currentName(TagSearchList* popup) {
        return popup->list()->currentIndex().data().toString();
    }
    // Whether the current row is drawn inside the list's viewport.
    static bool currentInView(TagSearchList* popup) {
        QListView* list = popup->list();
        QCoreApplication::sendPostedEvents(); // the list lays out its rows before it paints
        return list->currentIndex().isValid() &&
               list->viewport()->rect().contains(list->visualRect(list->currentIndex()));
    }

private Q_SLOTS:
    // "Move to Top Level" is offered for tags with a parent, in the row's menu and in the Edit menu,
    // and is one step to undo and redo.
    void moveToTopLevelFromBothMenusIsOneStepToUndo() {
        QMenu* menu = openRowMenu(m_window, u"Home"_qs);
        QVERIFY(menu && !menu->findChild<QAction*>(u"moveToTopLevel"_qs)->isEnabled());
        menu->close();
        QAction* undo = action(u"undoAction"_qs);
        QAction* redo = action(u"redoAction"_qs);

        // One tag, from its row's menu.
        QVERIFY(choose(openRowMenu(m_window, u"Garden"_qs), u"moveToTopLevel"_qs));
        QTRY_VERIFY_WITH_TIMEOUT(isRoot(u"Garden"_qs) && !isMoving(), importTimeout);
        QCOMPARE(undo->text(), u"Undo Move"_qs);
        undo->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(storedTag(u"Garden"_qs)->parentTagId(), storedTag(u"Home"_qs)->id(),
                                  importTimeout);
        QTRY_VERIFY(redo->isEnabled());
        redo->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(isRoot(u"Garden"_qs), importTimeout);

        // Several, from the Edit menu, for the selection; a top-level tag among them stays as it is.
        QAction* toTop = action(u"moveToTopLevelAction"_qs);
        QVERIFY(m_window->menuBar()->findChild<QMenu*>(u"editMenu"_qs)->actions().contains(toTop));
        QVERIFY(selectRows(m_window, {u"Home"_qs, u"Work"_qs}));
        QVERIFY(!toTop->isEnabled());
        QVERIFY(selectRows(m_window, {u"Kitchen"_qs, u"Repairs"_qs, u"Work"_qs}));
        QVERIFY(toTop->isEnabled());
        toTop->trigger();
        QVERIFY(isMoving() && !toTop->isEnabled()); // one move at a time
        QTRY_VERIFY_WITH_TIMEOUT(!isMoving(), importTimeout);
        QVERIFY(isRoot(u"Kitchen"_qs) && isRoot(u"Repairs"_qs));
        QCOMPARE(storedTag(u"Plumbing"_qs)->parentTagId(), storedTag(u"Repairs"_qs)->id());
        QVERIFY(!toTop->isEnabled()); // all three are top-level now
        QCOMPARE(undo->text(), u"Undo Move 2 Tags"_qs);
        undo->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!isRoot(u"Kitchen"_qs) && !isRoot(u"Repairs"_qs), importTimeout);
        QTRY_VERIFY(toTop->isEnabled());
        QTRY_VERIFY(redo->isEnabled());
        redo->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(isRoot(u"Kitchen"_qs) && isRoot(u"Repairs"_qs), importTimeout);

        // A failure is reported as a failed batch move is: "Doctor" is gone from Things 3.
        QVERIFY(runInThings(u"delete tag \"Doctor\""_qs));
        QVERIFY(choose(openRowMenu(m_window, u"Doctor"_qs), u"moveToTopLevel"_qs));
        QTRY_VERIFY_WITH_TIMEOUT(shown<QWidget>(u"dropResult"_qs), importTimeout);
        QCOMPARE(shown<QLabel>(u"batchResultTitle"_qs, shown<QWidget>(u"dropResult"_qs))->text(),
                 u"Update Failed"_qs);
        QVERIFY(!isRoot(u"Doctor"_qs));
    }

    // Typing in the picker makes the best match current and brings it into view, among 20,000 tags:
    // a name equal to the text ignoring case, else the first that starts with it, else the first row.
    void pickerTypingChoosesTheBestMatchAndShowsIt() {
        for (int i = 0; i < 20000; ++i) {
            m_app->store().insert(Tag(u"many-"_qs + QString::number(i), u"Tag "_qs + QString::number(i)));
        }
        m_app->store().insert(Tag(u"allowance"_qs, u"Allowance"_qs));
        QTRY_COMPARE(model(m_window).rowCount(), demoTagCount + 20001);
        QVERIFY(clickRow(m_window, u"Yoga"_qs));
        TagSearchList* popup = openPicker();
        QVERIFY(popup);
        QCOMPARE(currentName(popup), u"Fitness"_qs);
        popup->list()->scrollToBottom();

        retype(popup->searchField(), u"Tag 77"_qs); // "Tag 1077" and many more come before it
        QCOMPARE(currentName(popup), u"Tag 77"_qs);
        QVERIFY(currentInView(popup));
        retype(popup->searchField(), u"energy"_qs); // before "High Energy" and "Low Energy"
        QCOMPARE(currentName(popup), u"Energy"_qs);
        retype(popup->searchField(), u"low"_qs); // "Allowance" comes first, and does not start with it
        QCOMPARE(currentName(popup), u"Low Energy"_qs);
        retype(popup->searchField(), u"igh ener"_qs);
        QCOMPARE(currentName(popup), u"High Energy"_qs);

        retype(popup->searchField(), u"tag 19999"_qs);
        QVERIFY(currentInView(popup));
        QTest::keyClick(popup->searchField(), Qt::Key_Return);
        auto* picker = editor()->findChild<ParentPicker*>(u"parentPicker"_qs);
        QVERIFY(!picker->popupList());
        QCOMPARE(picker->currentText(), u"Tag 19999"_qs);
    }

    // The popup is a window of its own, which the accessibility tree leaves out: while it is open,
    // its rows and its search field are the picker's children.
    void pickerPopupRowsAreThePickersChildrenWhileOpen() {
        QVERIFY(clickRow(m_window, u"Yoga"_qs));
        auto* picker = editor()->findChild<ParentPicker*>(u"parentPicker"_qs);
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(picker);
        QCOMPARE(accessible->role(), QAccessible::ComboBox);
        QCOMPARE(accessible->text(QAccessible::Value), u"Fitness"_qs);
        QCOMPARE(accessible->childCount(), 1); // closed: the combo box's own list, as Qt has it
        QVERIFY(!accessible->state().expanded);

        TagSearchList* popup = openPicker();
        QVERIFY(popup);
        QVERIFY(accessible->state().expanded);
        QCOMPARE(accessible->childCount(), 2);
        QAccessibleInterface* rows = accessible->child(0);
        QCOMPARE(rows->object(), popup->list());
        QCOMPARE(accessible->indexOfChild(rows), 0);
        QCOMPARE(accessible->child(1)->text(QAccessible::Name), u"Search tags"_qs);
        QTest::keyClicks(popup->searchField(), u"RUNN"_qs);
        QAccessibleTableInterface* table = rows->tableInterface();
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(table->cellAt(0, 0)->text(QAccessible::Name), u"Running, in Health > Fitness"_qs);

        QTest::keyClick(popup->searchField(), Qt::Key_Escape);
        QVERIFY(!picker->popupList());
        QCOMPARE(accessible->childCount(), 1);
        QVERIFY(!accessible->state().expanded);
    }
};

QTEST_MAIN(KeyboardTests)
#include "KeyboardTests.moc"
