#include "BusyToolButton.h"
#include "FormWidth.h"
#include "MergeView.h"
#include "ParentPicker.h"
#include "StandInEngine.h"
#include "TagCreateView.h"
#include "TagCreator.h"
#include "TagEditView.h"
#include "TagSearchList.h"
#include "WindowFixture.h"

using namespace orvalet;

// The tag editor, the creation sheet and the merge dialog, driven through the main window as a user
// drives them.
class TagEditViewTests final : public WindowFixture {
    Q_OBJECT

private:
    MergeView* dialog() { return shown<MergeView>(u"mergeView"_qs); }
    TagEditView* editor() { return content(m_window).tagEditView(); }
    QLineEdit* nameField(QWidget* in) { return shown<QLineEdit>(u"nameField"_qs, in); }
    QString error(QWidget* in) {
        QLabel* label = shown<QLabel>(u"errorMessage"_qs, in);
        return label ? label->text() : QString();
    }
    // Types into the field as a user does, replacing what it held.
    static void retype(QLineEdit* field, const QString& text) {
        field->setFocus();
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, text);
    }
    QStringList childNames() {
        QStringList names;
        for (QAbstractButton* button : editor()->findChildren<QAbstractButton*>(u"childName"_qs)) {
            names.append(button->text());
        }
        return names;
    }
    // A name another tag has, ignoring case, gets a warning and the typed name stays.
    void verifyDuplicateRefused(QLineEdit* field) {
        retype(field, u"home"_qs);
        QTest::keyClick(field, Qt::Key_Return);
        QTRY_VERIFY(box(u"duplicateNameAlert"_qs));
        QCOMPARE(box(u"duplicateNameAlert"_qs)->text(), u"Tag already exists."_qs);
        QCOMPARE(box(u"duplicateNameAlert"_qs)->icon(), QMessageBox::Warning);
        QTest::keyClick(box(u"duplicateNameAlert"_qs), Qt::Key_Escape);
        QTRY_VERIFY(!box(u"duplicateNameAlert"_qs));
        QCOMPARE(field->text(), u"home"_qs);
    }

private Q_SLOTS:
    void renameWithReturnFollowsInTheListAndTheTitle() {
        QVERIFY(clickRow(m_window, u"Work"_qs));
        QCOMPARE(m_window->windowTitle(), u"Work"_qs);
        QCOMPARE(childNames(), (QStringList{u"Admin"_qs, u"Meetings"_qs, u"Projects"_qs}));
        // The picker is labelled "Parent Tag" (on Linux a screen reader takes a combo box's label
        // from this relation).
        QStringList labels;
        for (const auto& [label, relation] :
             QAccessible::queryAccessibleInterface(editor()->findChild<QComboBox*>())
                 ->relations(QAccessible::Label)) {
            labels.append(label->text(QAccessible::Name));
        }
        QVERIFY2(labels.contains(u"Parent Tag"_qs), qPrintable(labels.join(u", ")));
        // A wide window centres the form instead of stretching its fields; a narrow one keeps the
        // status lines whole beside "Reset".
        m_window->resize(1440, 700);
        QWidget* form = editor()->findChild<QWidget*>(u"editorForm"_qs);
        QTRY_VERIFY(form->width() <= maximumFormWidth);
        QVERIFY(qAbs(form->geometry().center().x() - form->parentWidget()->rect().center().x()) <= 1);
        m_window->resize(m_window->minimumSizeHint());
        QTRY_COMPARE(m_window->size(), m_window->minimumSizeHint());
        for (QLabel* line : m_window->findChildren<QLabel*>(u"statusLine"_qs)) {
            QVERIFY(line->heightForWidth(line->width()) <= line->height());
            QVERIFY(
                !line->geometry().intersects(m_window->findChild<QWidget*>(u"statusReset"_qs)->geometry()));
        }
        m_window->resize(900, 600);

        // Tab follows the pane as drawn, top to bottom and left to right, and no container is a stop.
        QLineEdit* name = nameField(editor());
        name->setFocus();
        QTRY_VERIFY(name->hasFocus());
        QStringList stops;
        for (int i = 0; i < 12; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            stops.append(QApplication::focusWidget()->objectName());
        }
        QCOMPARE(stops,
                 (QStringList{u"parentPicker"_qs, u"addChildTag"_qs, u"childName"_qs, u"viewChild"_qs,
                              u"childName"_qs, u"viewChild"_qs, u"childName"_qs, u"viewChild"_qs,
                              u"deleteTag"_qs, u"mergeInto"_qs, u"updateFromThings"_qs, u"viewInThings"_qs}));

        // Delete, destructive, keeps the disabled look when disabled.
        QAbstractButton* remove = shown(u"deleteTag"_qs, editor());
        QCOMPARE(remove->palette().color(QPalette::Disabled, QPalette::ButtonText),
                 QApplication::palette(remove).color(QPalette::Disabled, QPalette::ButtonText));
        QAbstractButton* save = shown(u"saveChanges"_qs, editor());
        QVERIFY(!save->isEnabled());
        retype(name, u"Job"_qs);
        QVERIFY(save->isEnabled());
        QTest::keyClick(name, Qt::Key_Return);
        QTRY_COMPARE(m_window->windowTitle(), u"Job"_qs);
        QVERIFY(indexOf(m_window, u"Job"_qs).isValid() && !indexOf(m_window, u"Work"_qs).isValid());
        QCOMPARE(selection(m_window), QStringList{u"Job"_qs});
        QVERIFY(!save->isEnabled());
        QTRY_VERIFY(name->hasFocus()); // back where the user typed once the pane is enabled again

        // Edit ▸ Undo takes the rename back; Redo again.
        QAction* undo = m_window->findChild<QAction*>(u"undoAction"_qs);
        QCOMPARE(undo->text(), u"Undo Rename"_qs);
        undo->trigger();
        QTRY_COMPARE(m_window->windowTitle(), u"Work"_qs);
        QCOMPARE(name->text(), u"Work"_qs);
        m_window->findChild<QAction*>(u"redoAction"_qs)->trigger();
        QTRY_COMPARE(m_window->windowTitle(), u"Job"_qs);
        verifyDuplicateRefused(name);
    }

    // The picker opens on a search over every choice, each row with its place in the tree.
    void parentPickerSearchesAndShowsWhereEachTagSits() {
        QVERIFY(clickRow(m_window, u"Yoga"_qs));
        auto* picker = editor()->findChild<ParentPicker*>(u"parentPicker"_qs);
        QTest::keyClick(picker, Qt::Key_Space);
        TagSearchList* popup = picker->popupList();
        QVERIFY(popup && popup->searchField()->hasFocus());
        QCOMPARE(popup->current(), storedTag(u"Fitness"_qs)->id());
        QTest::keyClicks(popup->searchField(), u"RUNN"_qs);
        const QModelIndex first = popup->list()->model()->index(0, 0);
        QCOMPARE(first.data().toString(), u"Running"_qs);
        QCOMPARE(first.data(Qt::AccessibleTextRole).toString(), u"Running, in Health > Fitness"_qs);
        QCOMPARE(popup->rowCount(), 1);
        // Down takes the keyboard into the rows, where a screen reader reads them; typing comes back.
        QTest::keyClick(popup->searchField(), Qt::Key_Down);
        QVERIFY(popup->list()->hasFocus());
        QTest::keyClick(popup->list(), Qt::Key_I);
        QVERIFY(popup->searchField()->hasFocus());
        QCOMPARE(popup->searchField()->text(), u"RUNNi"_qs);
        QTest::keyClick(popup->searchField(), Qt::Key_Return); // the first match is chosen
        QVERIFY(!picker->popupList());
        QCOMPARE(picker->currentText(), u"Running"_qs);
        QVERIFY(shown(u"saveChanges"_qs, editor())->isEnabled());
    }

    void childRowsAndParentViewMoveTheSelection() {
        QVERIFY(clickRow(m_window, u"Kids"_qs));
        TagEditView* view = editor();
        QCOMPARE(childNames(), QStringList{u"School"_qs});
        QVERIFY(press(u"childName"_qs, view));
        QTRY_COMPARE(selection(m_window), QStringList{u"School"_qs});
        QCOMPARE(editor(), view); // the same pane, now showing the child
        QCOMPARE(nameField(view)->text(), u"School"_qs);
        QVERIFY(press(u"viewParent"_qs, view));
        QTRY_COMPARE(selection(m_window), QStringList{u"Kids"_qs});
        QCOMPARE(m_window->windowTitle(), u"Kids"_qs);
    }

    void addChildFromTheEditorCreatesItUnderTheTag() {
        QVERIFY(clickRow(m_window, u"Garden"_qs));
        QCOMPARE(childNames(), QStringList{});
        QVERIFY(shown<QLabel>(u"noChildTags"_qs, editor()));
        QVERIFY(press(u"addChildTag"_qs, editor()));
        TagCreateView* sheet = editor()->createSheet();
        QVERIFY(sheet && sheet->isVisible());
        QCOMPARE(sheet->windowModality(), Qt::WindowModal);
        QCOMPARE(shown<QComboBox>(u"parentPicker"_qs, sheet)->currentText(), u"Garden"_qs);
        QAbstractButton* create = shown(u"createTagButton"_qs, sheet);
        QVERIFY(!create->isEnabled());
        QTest::keyClicks(nameField(sheet), u"  Roses "_qs);
        QVERIFY(create->isEnabled());
        VERIFY_ALL_NAMED(sheet);

        QTest::keyClick(nameField(sheet), Qt::Key_Return);
        QTRY_VERIFY(!editor()->createSheet());
        QTRY_COMPARE(childNames(), QStringList{u"Roses"_qs});
        QVERIFY(indexOf(m_window, u"Roses"_qs).isValid());
        QCOMPARE(selection(m_window), QStringList{u"Garden"_qs}); // the new tag is not selected
    }

    // Without Things 3, the editor and the creation sheet show why and keep what was typed.
    void newTagSheetCancelsWithEscapeAndFailuresShowInPlace() {
        content(m_window).newTagAction()->trigger();
        TagCreateView* sheet = content(m_window).createSheet();
        QVERIFY(sheet && sheet->isVisible());
        QCOMPARE(shown<QComboBox>(u"parentPicker"_qs, sheet)->currentText(), u"None"_qs);
        verifyDuplicateRefused(nameField(sheet)); // the editor's warning for the same mistake
        retype(nameField(sheet), u"Ideas"_qs);
        QTest::keyClick(sheet, Qt::Key_Escape);
        QTRY_VERIFY(!content(m_window).createSheet());
        QVERIFY(!storedTag(u"Ideas"_qs));

        // Things 3 goes away: the save fails, the editor keeps the name typed.
        m_standIn->stop();
        QVERIFY(clickRow(m_window, u"Taxes"_qs));
        retype(nameField(editor()), u"Tax"_qs);
        QVERIFY(press(u"saveChanges"_qs, editor()));
        QTRY_COMPARE(error(editor()), u"Things 3 is not open. Please open Things 3 and try again."_qs);
        QCOMPARE(nameField(editor())->text(), u"Tax"_qs);
        // So does a creation, and the sheet stays.
        content(m_window).newTagAction()->trigger();
        sheet = content(m_window).createSheet();
        QTest::keyClicks(nameField(sheet), u"Ideas"_qs);
        QVERIFY(press(u"createTagButton"_qs, sheet));
        QTRY_COMPARE(error(sheet), u"Things 3 is not open. Please open Things 3 and try again."_qs);
        QCOMPARE(nameField(sheet)->text(), u"Ideas"_qs);
        QVERIFY(press(u"dismissError"_qs, sheet));
        QCOMPARE(error(sheet), QString());
    }

    // With a slow Things 3, the button that was pressed turns until it answers; the creation sheet
    // says what it waits for.
    void slowActionsShowTheirProgressWhereTheyWerePressed() {
        m_standIn->stop();
        QVERIFY(startStandIn({u"--delay-ms"_qs, u"700"_qs}));
        QVERIFY(clickRow(m_window, u"Yoga"_qs));
        retype(nameField(editor()), u"Stretching"_qs);
        auto* save = editor()->findChild<BusyPushButton*>(u"saveChanges"_qs);
        QTest::mouseClick(save, Qt::LeftButton);
        QTRY_VERIFY(save->isBusy());
        QTRY_VERIFY_WITH_TIMEOUT(!save->isBusy(), importTimeout);

        // A deletion asks first, then leaves the window with nothing selected.
        auto* remove = editor()->findChild<BusyPushButton*>(u"deleteTag"_qs);
        QTest::mouseClick(remove, Qt::LeftButton);
        QTRY_VERIFY(box(u"deleteConfirmation"_qs));
        QMessageBox* confirmation = box(u"deleteConfirmation"_qs);
        QCOMPARE(confirmation->text(), u"Delete \"Stretching\" on Things 3?"_qs);
        QCOMPARE(confirmation->informativeText(),
                 u"This will permanently delete the tag and all its child tags from this app AND Things 3. "
                 u"This action cannot be undone! Are you sure you want to do this?"_qs);
        QVERIFY(press(u"confirmDelete"_qs, confirmation));
        QTRY_VERIFY(remove->isBusy());
        QVERIFY(!save->isBusy());
        QTRY_COMPARE_WITH_TIMEOUT(content(m_window).detail()->objectName(), u"noTagSelected"_qs,
                                  importTimeout);
        QCOMPARE(m_window->windowTitle(), u"Orvalet"_qs);
        QCOMPARE(selection(m_window), QStringList{});

        content(m_window).newTagAction()->trigger();
        TagCreateView* sheet = content(m_window).createSheet();
        QTest::keyClicks(nameField(sheet), u"Ideas"_qs);
        QVERIFY(press(u"createTagButton"_qs, sheet));
        QTRY_VERIFY(shown<QLabel>(u"creatingLabel"_qs, sheet));
        QCOMPARE(shown<QLabel>(u"creatingLabel"_qs, sheet)->text(), u"Creating…"_qs);
        QTRY_VERIFY_WITH_TIMEOUT(!content(m_window).createSheet(), importTimeout);
    }

    // "Update from Things" in the editor takes what Things 3 holds now, into the fields and the list.
    void updateFromThingsTakesARenameMadeInThings() {
        QVERIFY(clickRow(m_window, u"Errands"_qs));
        const std::optional<ScriptOutcome> renamed = StandInEngine().run(
            u"tell application \"Things3\" to set name of tag \"Errands\" to \"Chores\""_qs);
        QVERIFY(renamed && !renamed->error);
        QVERIFY(press(u"updateFromThings"_qs, editor()));
        QTRY_COMPARE(nameField(editor())->text(), u"Chores"_qs);
        QTRY_VERIFY(indexOf(m_window, u"Chores"_qs).isValid());
    }

    void updateLineOnlyForARecordWithAnUpdateTime() {
        QVERIFY(clickRow(m_window, u"Yoga"_qs));
        auto* line = shown<QLabel>(u"updateLine"_qs, editor());
        QVERIFY(line && line->text().startsWith(u"Updated: "_qs) && line->text().endsWith(u" ago)"_qs));
        storedTag(u"Running"_qs)->setUpdatedAt(std::nullopt);
        QVERIFY(clickRow(m_window, u"Running"_qs));
        QTRY_VERIFY(!shown<QLabel>(u"updateLine"_qs, editor()));
    }

    // "Merge Into…", from the row's menu and from the editor, where Escape closes it.
    void mergeIntoOpensFromTheEditorAndTheRowMenu() {

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
        // The search, shared with the parent pickers, finds the destination and shows where it sits.
        QTest::keyClicks(view->searchField(), u"err"_qs);
        QCOMPARE(view->destinationList()->model()->rowCount(), 1);
        QCOMPARE(view->destinationList()->currentIndex().data().toString(), u"Errands"_qs);
        QCOMPARE(view->destinationList()->currentIndex().data(Qt::AccessibleTextRole).toString(),
                 u"Errands, in Contexts"_qs);
        VERIFY_ALL_NAMED(view);

        QTest::keyClick(view->searchField(), Qt::Key_Return);
        QTRY_VERIFY(view->confirmation() && view->confirmation()->isVisible());
        QMessageBox* confirmation = view->confirmation();
        QCOMPARE(confirmation->text(), u"Merge \u201CComputer\u201D into \u201CErrands\u201D?"_qs);
        QVERIFY(press(u"confirmMerge"_qs, confirmation));

        // The dialog closes once every step is done, and the list follows.
        QTRY_VERIFY_WITH_TIMEOUT(!dialog(), importTimeout);
        QVERIFY(!indexOf(m_window, u"Computer"_qs).isValid());

        QVERIFY(clickRow(m_window, u"Work"_qs));
        QVERIFY(press(u"mergeInto"_qs, editor()));
        QTRY_VERIFY(dialog());
        QVERIFY(!dialog()->findChild<QPushButton*>(u"startMerge"_qs)->isEnabled());
        QTest::keyClick(dialog()->searchField(), Qt::Key_Escape);
        QTRY_VERIFY(!dialog());
    }
};

QTEST_MAIN(TagEditViewTests)
#include "TagEditViewTests.moc"
