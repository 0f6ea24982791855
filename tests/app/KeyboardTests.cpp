#include "EmptyStateView.h"
#include "TagDropController.h"
#include "TagOutlineView.h"
#include "WindowFixture.h"

#include <QMenuBar>

using namespace orvalet;

// The keyboard around deletions and Undo, "Move to Top Level" from the row's menu and the Edit menu,
// and the searchable parent picker with a large library and to a screen reader.
class KeyboardTests final : public WindowFixture {
    Q_OBJECT

private:
    QAction* action(const QString& name) { return m_window->findChild<QAction*>(name); }
    bool isRoot(const QString& name) { return storedTag(name) && storedTag(name)->isRoot(); }
    bool isMoving() { return content(m_window).drops().isMoving(); }

    // Selects the tag's row in the view shown, the keyboard in it, as a keyboard user would.
    bool selectInView(const QString& name) {
        QAbstractItemView* view = content(m_window).tagView();
        const QModelIndex index = view == content(m_window).list()
                                      ? indexOf(m_window, name)
                                      : content(m_window).outlineModel().indexOf(storedTag(name)->id());
        view->setFocus();
        view->setCurrentIndex(index);
        return index.isValid() && QTest::qWaitFor([view] { return view->hasFocus(); });
    }
    // The widget the window gives the keyboard to once it is active again, as a window manager makes
    // it when a dialog over it closes (the offscreen platform leaves no window active).
    QWidget* keyboardWidget() {
        m_window->activateWindow();
        return QTest::qWaitForWindowActive(m_window) ? QApplication::focusWidget() : nullptr;
    }

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
    // Each way of deleting leaves the keyboard in the list, on the row that came after the deleted
    // one (the one before, after the last row), with the selection a deletion leaves; from there
    // Ctrl+Z is the Edit menu's Undo.
    void focusGoesToTheRowAfterADeletion_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QStringList>("targets"); // the first is the row acted on
        QTest::addColumn<QString>("kept");        // selected, and not deleted
        QTest::addColumn<QString>("next");
        QTest::addColumn<bool>("outline");
        QTest::addRow("editor") << u"editor"_qs << QStringList{u"Garden"_qs} << QString() << u"Grandma"_qs
                                << false;
        QTest::addRow("row menu") << u"menu"_qs << QStringList{u"Kitchen"_qs} << QString() << u"Low Energy"_qs
                                  << false;
        QTest::addRow("row menu of an unselected row")
            << u"menu"_qs << QStringList{u"Parents"_qs} << u"Calls"_qs << u"Calls"_qs << false;
        QTest::addRow("Delete key") << u"key"_qs << QStringList{u"Doctor"_qs} << QString() << u"Dr. Okafor"_qs
                                    << false;
        QTest::addRow("last row") << u"key"_qs << QStringList{u"Yoga"_qs} << QString() << u"Work"_qs << false;
        QTest::addRow("batch") << u"batch"_qs << QStringList{u"Anna"_qs, u"Ben"_qs} << QString()
                               << u"Bills"_qs << false;
        // Its children go with it; Undo could not give some to-dos their tags, so it asks once more.
        QTest::addRow("outline") << u"key"_qs << QStringList{u"Energy"_qs} << QString() << u"Family"_qs
                                 << true;
    }
    void focusGoesToTheRowAfterADeletion() {
        QFETCH(QString, how);
        QFETCH(QStringList, targets);
        QFETCH(QString, kept);
        QFETCH(QString, next);
        QFETCH(bool, outline);
        m_app->preferences().setFlag(PreferenceKey::showAsOutline, outline);
        QAbstractItemView* view = content(m_window).tagView();
        if (!kept.isEmpty()) {
            QVERIFY(clickRow(m_window, kept));
        } else if (how == u"batch"_qs) {
            QVERIFY(selectRows(m_window, targets));
        } else {
            QVERIFY(selectInView(targets.first()));
        }

        if (how == u"editor"_qs) {
            QVERIFY(press(u"deleteTag"_qs, editor()));
            QVERIFY(answer(u"deleteConfirmation"_qs, u"confirmDelete"_qs, editor()));
        } else if (how == u"menu"_qs) {
            QVERIFY(choose(openRowMenu(m_window, targets.first()), u"deleteTags"_qs));
            QVERIFY(answer(u"deleteConfirmation"_qs, u"confirmDelete"_qs));
        } else if (how == u"key"_qs) {
            QTest::keyClick(view, Qt::Key_Delete);
            QVERIFY(answer(u"deleteConfirmation"_qs, u"confirmDelete"_qs));
        } else {
            QVERIFY(press(u"batchDelete"_qs, m_window->findChild<BatchEditView*>()));
            QVERIFY(answer(u"batchDeleteConfirmation"_qs, u"confirmBatchDelete"_qs));
        }
        const auto deleted = [&] {
            return std::none_of(targets.begin(), targets.end(),
                                [this](const QString& t) { return storedTag(t); });
        };
        QVERIFY(QTest::qWaitFor([&] { return box(u"deleteWithoutUndoConfirmation"_qs) || deleted(); },
                                importTimeout));
        if (QMessageBox* again = box(u"deleteWithoutUndoConfirmation"_qs)) {
            QVERIFY(press(u"confirmDeleteWithoutUndo"_qs, again));
        }
        QTRY_VERIFY_WITH_TIMEOUT(deleted(), importTimeout);
        QTRY_COMPARE(m_window->focusWidget(), view);
        QCOMPARE(keyboardWidget(), view);
        QTRY_COMPARE(view->currentIndex().data().toString(), next);
        QCOMPARE(actions(m_window).selectedTagIds().size(), kept.isEmpty() ? 0 : 1);

        if (how == u"editor"_qs) { // Undo from the list, by its key
            QTest::keySequence(QApplication::focusWidget(), QKeySequence::Undo);
            QTRY_VERIFY_WITH_TIMEOUT(storedTag(targets.first()), importTimeout);
        }
    }

    // With no row left, the empty state takes the keyboard and says why, though the hidden rows
    // left it to the toolbar.
    void focusGoesToTheEmptyStateWhenNoRowIsLeft() {
        QTest::keyClicks(content(m_window).searchField(), u"Bills"_qs);
        content(m_window).list()->setFocus(); // nothing selected
        QVERIFY(choose(openRowMenu(m_window, u"Bills"_qs), u"deleteTags"_qs));
        QVERIFY(answer(u"deleteConfirmation"_qs, u"confirmDelete"_qs));
        QTRY_VERIFY_WITH_TIMEOUT(!storedTag(u"Bills"_qs), importTimeout);
        auto* empty = m_window->findChild<EmptyStateView*>(u"sidebarEmpty"_qs);
        QTRY_COMPARE(m_window->focusWidget(), empty);
        QCOMPARE(keyboardWidget(), empty);
        QCOMPARE(QAccessible::queryAccessibleInterface(empty)->text(QAccessible::Name),
                 u"No tags match \u201CBills\u201D"_qs);
    }

    // Someone who went on to the search field while Things 3 was deleting stays there.
    void focusMovedElsewhereDuringADeletionStaysThere() {
        m_standIn->stop();
        QVERIFY(startStandIn({u"--delay-ms"_qs, u"500"_qs}));
        QVERIFY(selectInView(u"Garden"_qs));
        QTest::keyClick(content(m_window).list(), Qt::Key_Delete);
        QVERIFY(answer(u"deleteConfirmation"_qs, u"confirmDelete"_qs));
        QLineEdit* search = content(m_window).searchField();
        QCOMPARE(keyboardWidget(), content(m_window).list());
        QTest::mouseClick(search, Qt::LeftButton);
        QVERIFY(search->hasFocus());
        QTRY_VERIFY_WITH_TIMEOUT(!storedTag(u"Garden"_qs), importTimeout);
        QTest::qWait(100);
        QCOMPARE(QApplication::focusWidget(), search);
    }

    // In a text field with nothing of its own to undo, the keys are the Edit menu's Undo and Redo
    // (Ctrl+Shift+Z, and every other key the platform gives Redo); a field that can undo keeps them.
    void undoKeysReachTheEditMenuUnlessTheFieldCanUndoItself() {
        QVERIFY(choose(openRowMenu(m_window, u"Garden"_qs), u"moveToTopLevel"_qs));
        QTRY_VERIFY_WITH_TIMEOUT(isRoot(u"Garden"_qs) && !isMoving(), importTimeout);
        QLineEdit* search = content(m_window).searchField();
        search->setFocus();
        QTRY_VERIFY(search->hasFocus());
        QList<QKeySequence> redoKeys = QKeySequence::keyBindings(QKeySequence::Redo);
        if (!redoKeys.contains(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z))) {
            redoKeys.append(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
        }
        for (const QKeySequence& redo : std::as_const(redoKeys)) {
            QTest::keySequence(search, QKeySequence::Undo);
            QTRY_VERIFY_WITH_TIMEOUT(!isRoot(u"Garden"_qs), importTimeout);
            QTRY_VERIFY(action(u"redoAction"_qs)->isEnabled()); // the undo run is over
            QTest::keySequence(search, redo);
            QTRY_VERIFY2_WITH_TIMEOUT(isRoot(u"Garden"_qs), qPrintable(redo.toString()), importTimeout);
            QTRY_VERIFY(action(u"undoAction"_qs)->isEnabled());
        }

        // Typed text is the field's to undo and redo; the moved tag stays moved.
        QTest::keyClicks(search, u"Gar"_qs);
        QTest::keySequence(search, QKeySequence::Undo);
        QCOMPARE(search->text(), QString());
        QTest::keySequence(search, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
        QCOMPARE(search->text(), u"Gar"_qs);
        QTest::qWait(100);
        QVERIFY(isRoot(u"Garden"_qs) && action(u"undoAction"_qs)->isEnabled());
    }

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
        QVERIFY(shown(u"saveChanges"_qs, editor())->isEnabled());
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
        // Down takes the keyboard into the rows, where a screen reader reads them; typing comes back.
        QTest::keyClick(popup->searchField(), Qt::Key_Down);
        QVERIFY(popup->list()->hasFocus());
        QTest::keyClick(popup->list(), Qt::Key_I);
        QVERIFY(popup->searchField()->hasFocus());
        QCOMPARE(popup->searchField()->text(), u"RUNNi"_qs);

        QTest::keyClick(popup->searchField(), Qt::Key_Escape);
        QVERIFY(!picker->popupList());
        QCOMPARE(accessible->childCount(), 1);
        QVERIFY(!accessible->state().expanded);
    }
};

QTEST_MAIN(KeyboardTests)
#include "KeyboardTests.moc"
