#include "BatchEditView.h"
#include "BatchResultSheet.h"
#include "BusyToolButton.h"
#include "FormWidth.h"
#include "MergeView.h"
#include "ProgressOverlay.h"
#include "TagCreateView.h"
#include "TagCreator.h"
#include "TagEditView.h"
#include "ThingsService.h"
#include "WindowFixture.h"

#include <QListWidget>
#include <QMenuBar>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTreeWidget>

using namespace orvalet;

// The editors of the main window driven as a user drives them against a stand-in process: the tag
// editor with its creation sheet and merge dialog, the batch editor, and the clean-up of unused tags
// from the Tools menu, with their dialogs and result sheets.
class EditViewTests final : public WindowFixture {
    Q_OBJECT

private:
    MergeView* dialog() { return shown<MergeView>(u"mergeView"_qs); }
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

    QComboBox* picker() { return pane()->findChild<QComboBox*>(u"parentPicker"_qs); }
    QPushButton* saveButton() { return pane()->findChild<QPushButton*>(u"batchSave"_qs); }
    // The result sheet shown over the main window, or over `in`.
    BatchResultSheet* sheet(QWidget* in = nullptr) { return shown<BatchResultSheet>(u"batchResult"_qs, in); }
    static QStringList listTexts(QListWidget* list) {
        QStringList texts;
        for (int row = 0; list && row < list->count(); ++row) {
            texts.append(list->item(row)->text());
        }
        return texts;
    }
    // Selects `names`: the batch editor is shown for them.
    bool showPaneFor(const QStringList& names) {
        return selectRows(m_window, names) && pane() && pane()->isVisible();
    }

    QStringList selectedNamesInRunOrder() {
        QStringList names;
        for (const TagPtr& tag : pane()->editor().selectedTags()) {
            names.append(tag->name());
        }
        return names;
    }

    UnusedTagsWindow* cleanupWindow() const {
        auto* window = qobject_cast<UnusedTagsWindow*>(m_app->unusedTagsWindow());
        return window && window->isVisible() ? window : nullptr;
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

    // Every stored tag gets one open to-do, except the named ones, which get none. In Things 3, the
    // to-dos of the named ones lose all their tags, but for `stillUsed`, which Things 3 keeps using.
    void leaveUnused(const QStringList& names, const QString& stillUsed = {}) {
        for (const TagPtr& tag : m_app->store().allTags()) {
            tag->setTodosCount(names.contains(tag->name()) ? 0 : 1);
        }
        QCoreApplication::processEvents(); // the store announces its changes at the end of the turn
        QString program;
        for (const QString& name : names) {
            if (name != stillUsed) {
                // The to-dos asked for once: a loop over `to dos of tag` itself would find them again
                // at every turn, each time without the one just untagged.
                program += u"\n    repeat with d in (get to dos of tag "_qs +
                           ThingsService::appleScriptLiteral(name) +
                           u")\n        set tag names of d to \"\"\n    end repeat"_qs;
            }
        }
        QVERIFY(runInThings(program));
    }

private Q_SLOTS:
    // The field takes one key, the last typed; a key Important and Urgent have is asked about, by its
    // exact question, and "Yes" moves it from both in Things 3 and in the list's key caps.
    void keyboardShortcutFieldTakesOneKeyAndAsksBeforeTakingAnothersKey() {
        QVERIFY(clickRow(m_window, u"Work"_qs));
        QLineEdit* key = shown<QLineEdit>(u"shortcutField"_qs, editor());
        QVERIFY(key);
        QCOMPARE(spokenName(key), u"Keyboard Shortcut"_qs);
        QCOMPARE(key->text(), u"w"_qs);
        retype(key, u"x!"_qs);
        QCOMPARE(key->text(), u"!"_qs);
        QVERIFY(shown<QPushButton>(u"saveChanges"_qs, editor())->isEnabled());
        QTest::keyClick(key, Qt::Key_Return);
        QTRY_VERIFY(box(u"shortcutConflict"_qs));
        QMessageBox* question = box(u"shortcutConflict"_qs);
        QCOMPARE(
            question->text(),
            u"\u201CImportant\u201D and \u201CUrgent\u201D use !. Give ! to \u201CWork\u201D instead?"_qs);
        // A short title and buttons that say what they do, read without mnemonics' ampersands.
        QCOMPARE(question->windowTitle(), u"Give \u201C!\u201D to \u201CWork\u201D?"_qs);
        for (const auto& [name, text] :
             {std::pair{u"confirmShortcutTransfer"_qs, u"Give to \u201CWork\u201D"_qs},
              std::pair{u"cancelShortcutTransfer"_qs, u"Cancel"_qs}}) {
            QCOMPARE(spokenName(question->findChild<QPushButton*>(name)), text);
        }
        VERIFY_ALL_NAMED(question);
        QTest::mouseClick(question->findChild<QPushButton*>(u"confirmShortcutTransfer"_qs), Qt::LeftButton);
        QTRY_COMPARE(indexOf(m_window, u"Work"_qs).data(Qt::AccessibleTextRole).toString(),
                     u"Work, shortcut !"_qs); // Urgent gave it up too
    }

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
        QStringList stops;
        for (int i = 0; i < 12; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            stops.append(QApplication::focusWidget()->objectName());
        }
        QCOMPARE(stops,
                 (QStringList{u"parentPicker"_qs, u"shortcutField"_qs, u"addChildTag"_qs, u"childName"_qs,
                              u"viewChild"_qs, u"childName"_qs, u"viewChild"_qs, u"childName"_qs,
                              u"viewChild"_qs, u"deleteTag"_qs, u"mergeInto"_qs, u"updateFromThings"_qs}));

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
        // Saved, and the keyboard is back where the user typed once the pane is enabled again.
        QTRY_VERIFY(!save->isEnabled() && name->hasFocus());

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

    void childRowsAndParentViewMoveTheSelection() {
        QVERIFY(clickRow(m_window, u"Kids"_qs));
        TagEditView* view = editor();
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
        QVERIFY(childNames().isEmpty() && shown<QLabel>(u"noChildTags"_qs, editor()));
        QVERIFY(press(u"addChildTag"_qs, editor()));
        TagCreateView* creation = editor()->createSheet();
        QVERIFY(creation && creation->isVisible() && creation->windowModality() == Qt::WindowModal);
        QCOMPARE(shown<QComboBox>(u"parentPicker"_qs, creation)->currentText(), u"Garden"_qs);
        QAbstractButton* create = shown(u"createTagButton"_qs, creation);
        QVERIFY(!create->isEnabled());
        QTest::keyClicks(nameField(creation), u"  Roses "_qs);
        QVERIFY(create->isEnabled());
        VERIFY_ALL_NAMED(creation);

        QTest::keyClick(nameField(creation), Qt::Key_Return);
        QTRY_VERIFY(!editor()->createSheet() && indexOf(m_window, u"Roses"_qs).isValid());
        QTRY_COMPARE(childNames(), QStringList{u"Roses"_qs});
        QCOMPARE(selection(m_window), QStringList{u"Garden"_qs}); // the new tag is not selected
    }

    // Without Things 3, the creation sheet shows why and keeps what was typed.
    void newTagSheetCancelsWithEscapeAndFailuresShowInPlace() {
        content(m_window).newTagAction()->trigger();
        TagCreateView* creation = content(m_window).createSheet();
        QVERIFY(creation && creation->isVisible());
        QCOMPARE(shown<QComboBox>(u"parentPicker"_qs, creation)->currentText(), u"None"_qs);
        verifyDuplicateRefused(nameField(creation)); // the editor's warning for the same mistake
        retype(nameField(creation), u"Ideas"_qs);
        QTest::keyClick(creation, Qt::Key_Escape);
        QTRY_VERIFY(!content(m_window).createSheet());
        QVERIFY(!storedTag(u"Ideas"_qs));

        // Things 3 goes away: the creation fails, the sheet stays with the name typed (the editor's
        // save: UnsavedEditTests).
        m_standIn->stop();
        content(m_window).newTagAction()->trigger();
        creation = content(m_window).createSheet();
        QTest::keyClicks(nameField(creation), u"Ideas"_qs);
        QVERIFY(press(u"createTagButton"_qs, creation));
        QTRY_COMPARE(labelText(u"errorMessage"_qs, creation), thingsNotOpen);
        QCOMPARE(nameField(creation)->text(), u"Ideas"_qs);
        QVERIFY(press(u"dismissError"_qs, creation));
        QCOMPARE(labelText(u"errorMessage"_qs, creation), QString());
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

        // A deletion reads the tree for Undo, the button turning, then asks, saying what goes; then it
        // leaves the window with nothing selected.
        auto* remove = editor()->findChild<BusyPushButton*>(u"deleteTag"_qs);
        QTest::mouseClick(remove, Qt::LeftButton);
        QTRY_VERIFY(remove->isBusy());
        QTRY_VERIFY_WITH_TIMEOUT(box(u"deleteConfirmation"_qs), importTimeout);
        QVERIFY(!remove->isBusy());
        QCOMPARE(box(u"deleteConfirmation"_qs)->text(), u"Delete \"Stretching\" on Things 3?"_qs);
        QVERIFY(box(u"deleteConfirmation"_qs)
                    ->informativeText()
                    .startsWith(u"This deletes \u201CStretching\u201D"_qs));
        QVERIFY(
            box(u"deleteConfirmation"_qs)
                ->informativeText()
                .endsWith(u"Are you sure you want to do this? You can undo this with Edit \u25B8 Undo."_qs));
        QVERIFY(answer(u"deleteConfirmation"_qs, u"confirmDelete"_qs));
        QTRY_VERIFY(remove->isBusy());
        QVERIFY(!save->isBusy());
        QTRY_COMPARE_WITH_TIMEOUT(content(m_window).detail()->objectName(), u"noTagSelected"_qs,
                                  importTimeout);
        QCOMPARE(m_window->windowTitle(), u"Orvalet"_qs);
        QCOMPARE(selection(m_window), QStringList{});

        content(m_window).newTagAction()->trigger();
        TagCreateView* creation = content(m_window).createSheet();
        QTest::keyClicks(nameField(creation), u"Ideas"_qs);
        QVERIFY(press(u"createTagButton"_qs, creation));
        QTRY_COMPARE(labelText(u"creatingLabel"_qs, creation), u"Creating…"_qs);
        QTRY_VERIFY_WITH_TIMEOUT(!content(m_window).createSheet(), importTimeout);
    }

    // "Update from Things" in the editor takes what Things 3 holds now, into the fields and the list.
    // The line telling when the tag was updated shows only for a record with an update time.
    void updateFromThingsTakesARenameAndTheUpdateLineItsTime() {
        QVERIFY(clickRow(m_window, u"Errands"_qs));
        QVERIFY(runInThings(u"set name of tag \"Errands\" to \"Chores\""_qs));
        QVERIFY(press(u"updateFromThings"_qs, editor()));
        QTRY_COMPARE(nameField(editor())->text(), u"Chores"_qs);
        QTRY_VERIFY(indexOf(m_window, u"Chores"_qs).isValid());
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
        QAction* merge = menu ? menu->findChild<QAction*>(u"mergeInto"_qs) : nullptr;
        QVERIFY(merge && !merge->isEnabled());
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

    void movingThreeTagsUnderAParentReportsSuccessAndTheListFollows() {
        QVERIFY(showPaneFor({u"Urgent"_qs, u"Errands"_qs, u"Important"_qs}));
        // Plain text order, each row read out with its path.
        auto* rows = pane()->findChild<QListWidget*>(u"selectedTags"_qs);
        QCOMPARE(listTexts(rows), (QStringList{u"Errands"_qs, u"Important"_qs, u"Urgent"_qs}));
        QCOMPARE(rows->item(0)->data(Qt::AccessibleTextRole).toString(), u"Errands, Contexts"_qs);
        // Different parents: "None" is chosen, and saving would already change something.
        QCOMPARE(picker()->currentText(), u"None"_qs);
        QVERIFY(saveButton()->isEnabled());
        VERIFY_ALL_NAMED(pane());
        QVERIFY(chooseParent(pane(), u"Work"_qs));

        const QStringList order = selectedNamesInRunOrder();
        QTest::mouseClick(saveButton(), Qt::LeftButton);
        QVERIFY(!pane()->isEnabled()); // the whole pane, while Things 3 answers
        QTRY_VERIFY_WITH_TIMEOUT(sheet(), importTimeout);
        QCOMPARE(sheet()->windowModality(), Qt::WindowModal);
        QCOMPARE(labelText(u"batchResultTitle"_qs, sheet()), u"All Tags Successfully Updated"_qs);
        QCOMPARE(listTexts(sheet()->nameList()), order);
        VERIFY_ALL_NAMED(sheet());
        QTRY_COMPARE(indexOf(m_window, u"Errands"_qs).data(TagListModel::AncestorPathRole).toString(),
                     u"Work"_qs);

        // Return is "OK": the sheet closes and the window leaves the batch editor.
        QTest::keyClick(sheet(), Qt::Key_Return);
        QTRY_VERIFY(!sheet());
        QCOMPARE(selection(m_window), QStringList());
        QCOMPARE(content(m_window).detail()->objectName(), u"noTagSelected"_qs);
        QTRY_VERIFY(!pane());
    }

    void aFailingSaveShowsTheErrorAndKeepsThePaneForAnotherTry() {
        QVERIFY(showPaneFor({u"Urgent"_qs, u"Errands"_qs, u"Important"_qs}));
        QVERIFY(chooseParent(pane(), u"Health"_qs));
        // The last tag of the run is deleted in Things 3 behind the window's back.
        const QStringList order = selectedNamesInRunOrder();
        QVERIFY(runInThings(u"delete tag \""_qs + order.last() + u"\""_qs));

        const int reads = pane()->parentChoiceReads();
        QTest::mouseClick(saveButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(sheet(), importTimeout);
        QCOMPARE(pane()->parentChoiceReads(), reads); // not for each tag, nor before the picker opens
        QCOMPARE(labelText(u"batchResultTitle"_qs, sheet()), u"Update Failed"_qs);
        QCOMPARE(labelText(u"batchResultError"_qs, sheet()),
                 u"\u201C"_qs + order.last() +
                     u"\u201D is no longer in Things 3. Import from Things to bring the list up to date."_qs);
        QCOMPARE(listTexts(sheet()->nameList()), order.mid(0, 2));
        VERIFY_ALL_NAMED(sheet());

        // Escape closes it too; the pane stays as it was, ready to send what is left.
        QTest::keyClick(sheet(), Qt::Key_Escape);
        QTRY_VERIFY(!sheet());
        QVERIFY(pane() && pane()->isVisible() && pane()->isEnabled() && saveButton()->isEnabled());
        QCOMPARE(selection(m_window).size(), 3);
        QCOMPARE(picker()->currentText(), u"Health"_qs);
    }

    void thePaneFollowsTheSelectionAndReadsItsChoicesOnlyWhenTheyCanChange() {
        QVERIFY(showPaneFor({u"Urgent"_qs, u"Important"_qs}));
        QPointer<BatchEditView> view = pane();
        QVERIFY(chooseParent(pane(), u"Work"_qs));
        const int reads = view->parentChoiceReads();
        QVERIFY(chooseParent(pane(), u"Health"_qs));
        QCOMPARE(view->parentChoiceReads(), reads);

        // A refresh disables the pane under the window's overlay; the records it writes leave the
        // choices as they were, so the picker keeps its entries.
        QSignalSpy pickerResets(picker()->model(), &QAbstractItemModel::modelReset);
        auto* refresh = pane()->findChild<BusyToolButton*>(u"batchRefresh"_qs);
        QTest::mouseClick(refresh, Qt::LeftButton);
        QVERIFY(refresh->isBusy() && !view->isEnabled() && content(m_window).overlay()->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!refresh->isBusy() && view->isEnabled(), importTimeout);
        QCOMPARE(pickerResets.size(), 0);
        QCOMPARE(picker()->currentText(), u"Health"_qs);

        // Another selected tag: the same pane, the same choice, and the picker, opened, no longer
        // offers the tag.
        QVERIFY(clickRow(m_window, u"Work"_qs, Qt::ControlModifier));
        QCOMPARE(pane(), view.data());
        QCOMPARE(picker()->currentText(), u"Health"_qs);
        picker()->showPopup();
        QCOMPARE(picker()->findText(u"Work"_qs), -1);
        picker()->hidePopup();
        QVERIFY(clickRow(m_window, u"Urgent"_qs, Qt::ControlModifier));
        QCOMPARE(pane(), view.data());
        QVERIFY(clickRow(m_window, u"Important"_qs, Qt::ControlModifier));
        // One tag left: the pane goes, once its choice is given up.
        QVERIFY(answer(u"saveChangesQuestion"_qs, u"answerDontSave"_qs));
        QTRY_VERIFY(!view);
    }

    void theSheetKeepsLongResultsReadable() {
        QStringList names;
        for (int i = 0; i < 40; ++i) {
            names.append(u"Tag "_qs + QString::number(i));
        }
        const QString error = u"AppleScript error: "_qs + u"a long reason "_qs.repeated(30);
        BatchResultSheet sheet(BatchResultState::failure(u"Tag 40"_qs, error, names), m_window);
        sheet.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sheet));
        // The names scroll inside 200 pixels; "OK" stays on the sheet.
        QCOMPARE(sheet.nameList()->height(), BatchResultSheet::maximumListHeight);
        QVERIFY(sheet.nameList()->verticalScrollBar()->isVisible());
        QVERIFY(sheet.rect().contains(sheet.okButton()->geometry()));
        // The error wraps rather than being cut.
        auto* errorLabel = sheet.findChild<QLabel*>(u"batchResultError"_qs);
        QVERIFY(errorLabel->height() > 2 * errorLabel->fontMetrics().height());
        QVERIFY(errorLabel->width() <= sheet.width());

        // Failing on the first tag: no caption and no list.
        BatchResultSheet first(BatchResultState::failure(u"Tag 0"_qs, u"AppleScript error: no"_qs, {}),
                               m_window);
        QVERIFY(!first.nameList() && !first.findChild<QLabel*>(u"batchResultNamesCaption"_qs));

        // The tags never tried are named last, under their caption, a row each for a reader.
        BatchResultSheet rest(
            BatchResultState::failure(u"Tag 1"_qs, u"AppleScript error: no"_qs, {u"Tag 0"_qs})
                .withNotAttempted({u"Tag 2"_qs, u"Tag 3"_qs}),
            m_window);
        rest.show();
        QVERIFY(QTest::qWaitForWindowExposed(&rest));
        QCOMPARE(rest.findChild<QLabel*>(u"batchResultNotAttemptedCaption"_qs)->text(), u"Not attempted:"_qs);
        QAccessibleInterface* list =
            QAccessible::queryAccessibleInterface(rest.findChild<QWidget*>(u"batchResultNotAttempted"_qs));
        QCOMPARE(list->text(QAccessible::Name), u"Tags Not Attempted"_qs);
        QCOMPARE(list->childCount(), 2);
        QCOMPARE(list->child(1)->text(QAccessible::Name), u"Tag 3"_qs);
        VERIFY_ALL_NAMED(&rest);
    }

    // Asked first, with "Cancel" as a way out; once confirmed, the tags leave the list with the tags
    // below them, and the pane goes with the selection.
    void deletingTheSelectionAsksFirstAndThePaneFollows() {
        QVERIFY(showPaneFor({u"Home"_qs, u"Family"_qs, u"Kids"_qs}));
        QVERIFY(press(u"batchDelete"_qs, pane()));
        QTRY_VERIFY(box(u"batchDeleteConfirmation"_qs));
        QMessageBox* confirmation = box(u"batchDeleteConfirmation"_qs);
        QCOMPARE(confirmation->windowModality(), Qt::WindowModal);
        VERIFY_ALL_NAMED(confirmation);
        QTest::keyClick(confirmation, Qt::Key_Escape);
        QTRY_VERIFY(!box(u"batchDeleteConfirmation"_qs));
        QCOMPARE(model(m_window).rowCount(), demoTagCount);

        QVERIFY(press(u"batchDelete"_qs, pane()));
        QVERIFY(answer(u"batchDeleteConfirmation"_qs, u"confirmBatchDelete"_qs));
        QTRY_VERIFY_WITH_TIMEOUT(!indexOf(m_window, u"Home"_qs).isValid(), importTimeout);
        QTRY_VERIFY(!indexOf(m_window, u"Family"_qs).isValid() && !indexOf(m_window, u"Garden"_qs).isValid());
        QTRY_COMPARE(selection(m_window), QStringList());
        QTRY_VERIFY(!pane());
    }

    void deletingTheCheckedTagsRemovesThemEverywhereAndTheListFollows() {
        // Things 3 still uses Say "Hello", which the list's counts say nothing of.
        leaveUnused({u"Repairs"_qs, u"Plumbing"_qs, u"Electrical"_qs, u"Kitchen"_qs, u"Say \"Hello\""_qs},
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
        QCOMPARE(QAccessible::queryAccessibleInterface(window)->role(), QAccessible::Window);
        QCOMPARE(treeRows(), (QStringList{u"[x] Kitchen"_qs, u"[x] Repairs"_qs, u"  [x] Electrical"_qs,
                                          u"  [x] Plumbing"_qs, u"[x] Say \"Hello\""_qs}));
        QCOMPARE(window->deleteButton()->text(), u"Delete 5 Tags"_qs);
        QTreeWidgetItem* kitchen = window->tree()->topLevelItem(0);
        QCOMPARE(kitchen->text(1), u"Home"_qs);
        QCOMPARE(kitchen->data(0, Qt::AccessibleTextRole).toString(), u"Kitchen, in Home"_qs);

        // Plumbing stays, so Repairs must stay too.
        // Space on the row, as a keyboard user toggles its check box.
        window->tree()->setFocus();
        window->tree()->setCurrentItem(
            window->tree()->findItems(u"Plumbing"_qs, Qt::MatchExactly | Qt::MatchRecursive).value(0));
        QTest::keyClick(window->tree(), Qt::Key_Space);
        QCOMPARE(treeRows(), (QStringList{u"[x] Kitchen"_qs, u"[ ] Repairs"_qs, u"  [x] Electrical"_qs,
                                          u"  [ ] Plumbing"_qs, u"[x] Say \"Hello\""_qs}));
        QCOMPARE(window->deleteButton()->text(), u"Delete 3 Tags"_qs);
        VERIFY_ALL_NAMED(window);

        QTest::mouseClick(window->deleteButton(), Qt::LeftButton);
        QVERIFY(answer(u"unusedTagsDeleteConfirmation"_qs, u"confirmUnusedTagsDelete"_qs, window));
        QTRY_VERIFY_WITH_TIMEOUT(sheet(window), importTimeout);
        QCOMPARE(labelText(u"batchResultTitle"_qs, sheet(window)), u"Tags Deleted"_qs);
        QCOMPARE(labelText(u"batchResultSummary"_qs, sheet(window)), u"Deleted 2 tags:"_qs);
        QCOMPARE(sheet(window)->nameList()->accessibleName(), u"Deleted Tags"_qs);
        QCOMPARE(
            listTexts(sheet(window)->findChild<QListWidget*>(u"batchResultSkipped"_qs)),
            QStringList{u"Say \"Hello\": \u201CSay \"Hello\"\u201D has open to-dos in Things 3 now."_qs});
        VERIFY_ALL_NAMED(sheet(window));
        QTRY_COMPARE(model(m_window).rowCount(), demoTagCount - 2);
        QVERIFY(!indexOf(m_window, u"Kitchen"_qs).isValid());

        QTest::keyClick(sheet(window), Qt::Key_Return);
        QTRY_VERIFY(!sheet(window));
        // Say "Hello" has the count Things 3 told: it is no longer offered.
        QCOMPARE(treeRows(), (QStringList{u"[ ] Repairs"_qs, u"  [ ] Plumbing"_qs}));
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
        QVERIFY(!cleanupWindow()->deleteButton()->isEnabled());
    }
};

QTEST_MAIN(EditViewTests)
#include "EditViewTests.moc"
