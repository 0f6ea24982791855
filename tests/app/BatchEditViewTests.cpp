#include "BatchEditView.h"
#include "BatchResultSheet.h"
#include "BusyToolButton.h"
#include "ParentPicker.h"
#include "ProgressOverlay.h"
#include "StandInEngine.h"
#include "TagSearchList.h"
#include "ThingsService.h"
#include "WindowFixture.h"

#include <QListWidget>
#include <QMenuBar>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTreeWidget>

using namespace orvalet;

// The batch editor in the main window and the clean-up of unused tags from its Tools menu, driven as a
// user drives them against a stand-in process: the pane, the window, their dialogs and result sheets.
class BatchEditViewTests final : public WindowFixture {
    Q_OBJECT

private:
    BatchEditView* pane() { return m_window->findChild<BatchEditView*>(u"batchEditor"_qs); }
    QComboBox* picker() { return pane()->findChild<QComboBox*>(u"parentPicker"_qs); }
    QPushButton* saveButton() { return pane()->findChild<QPushButton*>(u"batchSave"_qs); }
    // The result sheet shown over the main window, or over `in`.
    BatchResultSheet* sheet(QWidget* in = nullptr) { return shown<BatchResultSheet>(u"batchResult"_qs, in); }
    QString sheetText(const QString& name, QWidget* in = nullptr) {
        QLabel* label = sheet(in)->findChild<QLabel*>(name);
        return label ? label->text() : u"(no label %1)"_qs.arg(name);
    }
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

    // Opens the picker, searches for the name and clicks its entry, as a user picks a parent.
    bool chooseParent(const QString& name) {
        auto* combo = qobject_cast<ParentPicker*>(picker());
        combo->showPopup();
        TagSearchList* popup = combo->popupList();
        if (!popup || !popup->searchField()->hasFocus()) {
            return false;
        }
        QTest::keyClicks(popup->searchField(), name);
        QAbstractItemView* list = popup->list();
        const QModelIndexList found =
            list->model()->match(list->model()->index(0, 0), Qt::DisplayRole, name, 1, Qt::MatchExactly);
        if (found.isEmpty()) {
            return false;
        }
        list->scrollTo(found.first());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(found.first()).center());
        return !combo->popupList() && combo->currentText() == name;
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
        QVERIFY(chooseParent(u"Work"_qs));

        const QStringList order = selectedNamesInRunOrder();
        QTest::mouseClick(saveButton(), Qt::LeftButton);
        QVERIFY(!pane()->isEnabled()); // the whole pane, while Things 3 answers
        QTRY_VERIFY_WITH_TIMEOUT(sheet(), importTimeout);
        QCOMPARE(sheet()->windowModality(), Qt::WindowModal);
        QCOMPARE(sheetText(u"batchResultTitle"_qs), u"All Tags Successfully Updated"_qs);
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
        QVERIFY(chooseParent(u"Health"_qs));
        // The last tag of the run is deleted in Things 3 behind the window's back.
        const QStringList order = selectedNamesInRunOrder();
        const std::optional<ScriptOutcome> deleted = StandInEngine().run(
            u"tell application \"Things3\"\n    delete tag \""_qs + order.last() + u"\"\nend tell"_qs);
        QVERIFY(deleted && !deleted->error);

        QTest::mouseClick(saveButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(sheet(), importTimeout);
        QCOMPARE(sheetText(u"batchResultTitle"_qs), u"Update Failed"_qs);
        QCOMPARE(sheetText(u"batchResultError"_qs),
                 u"\u201C"_qs + order.last() +
                     u"\u201D is no longer in Things 3. Import from Things to bring the list up to date."_qs);
        QCOMPARE(listTexts(sheet()->nameList()), order.mid(0, 2));
        VERIFY_ALL_NAMED(sheet());

        // Escape closes it too; the pane stays as it was, ready to send what is left.
        QTest::keyClick(sheet(), Qt::Key_Escape);
        QTRY_VERIFY(!sheet());
        QVERIFY(pane() && pane()->isVisible() && pane()->isEnabled());
        QCOMPARE(selection(m_window).size(), 3);
        QCOMPARE(picker()->currentText(), u"Health"_qs);
        QVERIFY(saveButton()->isEnabled());
    }

    void thePaneFollowsTheSelectionAndReadsItsChoicesOnlyWhenTheyCanChange() {
        QVERIFY(showPaneFor({u"Urgent"_qs, u"Important"_qs}));
        QPointer<BatchEditView> view = pane();
        QVERIFY(chooseParent(u"Work"_qs));
        const int reads = view->parentChoiceReads();
        QVERIFY(chooseParent(u"Health"_qs));
        QCOMPARE(view->parentChoiceReads(), reads);

        // A refresh disables the pane under the window's overlay; the records it writes leave the
        // choices as they were, so the picker keeps its entries.
        QSignalSpy pickerResets(picker()->model(), &QAbstractItemModel::modelReset);
        auto* refresh = pane()->findChild<BusyToolButton*>(u"batchRefresh"_qs);
        QTest::mouseClick(refresh, Qt::LeftButton);
        QVERIFY(refresh->isBusy() && !view->isEnabled());
        QVERIFY(content(m_window).overlay()->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!refresh->isBusy(), importTimeout);
        QVERIFY(view->isEnabled());
        QCOMPARE(pickerResets.size(), 0);
        QCOMPARE(picker()->currentText(), u"Health"_qs);

        // Another selected tag: the same pane, the same choice, one new reading of the choices.
        QVERIFY(clickRow(m_window, u"Work"_qs, Qt::ControlModifier));
        QCOMPARE(pane(), view.data());
        QCOMPARE(picker()->currentText(), u"Health"_qs);
        QCOMPARE(picker()->findText(u"Work"_qs), -1); // the picker follows the selection
        QCOMPARE(pickerResets.size(), 1);
        QVERIFY(clickRow(m_window, u"Urgent"_qs, Qt::ControlModifier));
        QCOMPARE(pane(), view.data());
        QVERIFY(clickRow(m_window, u"Important"_qs, Qt::ControlModifier));
        QTRY_VERIFY(!view); // one tag left: the pane goes
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
    }

    // Asked first, with "Cancel" as a way out; once confirmed, the tags leave the list with the tags
    // below them, and the pane goes with the selection.
    void deletingTheSelectionAsksFirstAndThePaneFollows() {
        QVERIFY(showPaneFor({u"Home"_qs, u"Family"_qs, u"Kids"_qs}));
        QVERIFY(press(u"batchDelete"_qs, pane()));
        QTRY_VERIFY(box(u"batchDeleteConfirmation"_qs));
        QMessageBox* confirmation = box(u"batchDeleteConfirmation"_qs);
        QCOMPARE(confirmation->windowModality(), Qt::WindowModal);
        QCOMPARE(confirmation->windowTitle(), u"Delete 3 tags?"_qs);
        QCOMPARE(confirmation->informativeText(),
                 u"This will permanently delete the selected tags and all their child tags from this app AND "
                 u"Things 3. This action cannot be undone!"_qs);
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
        QCOMPARE(window->findChild<QLabel*>(u"unusedTagsHeading"_qs)->text(),
                 u"These tags have no open to-dos, and neither do the tags below them"_qs);
        QCOMPARE(QAccessible::queryAccessibleInterface(window)->role(), QAccessible::Window);
        QCOMPARE(window->findChild<QLabel*>(u"unusedTagsNote"_qs)->text(),
                 u"Counts cover open to-dos only; tags used only by completed to-dos, projects or areas are "
                 u"listed too."_qs);
        QCOMPARE(treeRows(), (QStringList{u"[x] Kitchen"_qs, u"[x] Repairs"_qs, u"  [x] Electrical"_qs,
                                          u"  [x] Plumbing"_qs, u"[x] Say \"Hello\""_qs}));
        QCOMPARE(window->deleteButton()->text(), u"Delete 5 Tags"_qs);
        QTreeWidgetItem* kitchen = window->tree()->topLevelItem(0);
        QCOMPARE(kitchen->text(1), u"Home"_qs);
        QCOMPARE(kitchen->data(0, Qt::AccessibleTextRole).toString(), u"Kitchen, in Home"_qs);

        // Plumbing stays, so Repairs must stay too.
        QVERIFY(toggle(u"Plumbing"_qs));
        QCOMPARE(treeRows(), (QStringList{u"[x] Kitchen"_qs, u"[ ] Repairs"_qs, u"  [x] Electrical"_qs,
                                          u"  [ ] Plumbing"_qs, u"[x] Say \"Hello\""_qs}));
        QCOMPARE(window->deleteButton()->text(), u"Delete 3 Tags"_qs);
        VERIFY_ALL_NAMED(window);

        QTest::mouseClick(window->deleteButton(), Qt::LeftButton);
        QTRY_VERIFY(box(u"unusedTagsDeleteConfirmation"_qs, window));
        QCOMPARE(box(u"unusedTagsDeleteConfirmation"_qs, window)->windowTitle(), u"Delete 3 tags?"_qs);
        QVERIFY(answer(u"unusedTagsDeleteConfirmation"_qs, u"confirmUnusedTagsDelete"_qs, window));
        QTRY_VERIFY_WITH_TIMEOUT(sheet(window), importTimeout);
        QCOMPARE(sheetText(u"batchResultTitle"_qs, window), u"Tags Deleted"_qs);
        QCOMPARE(sheetText(u"batchResultSummary"_qs, window), u"Deleted 2 tags:"_qs);
        QCOMPARE(sheet(window)->nameList()->accessibleName(), u"Deleted Tags"_qs);
        QCOMPARE(sheetText(u"batchResultSkippedCaption"_qs, window), u"Not deleted:"_qs);
        auto* skipped = sheet(window)->findChild<QListWidget*>(u"batchResultSkipped"_qs);
        QCOMPARE(skipped->count(), 1);
        QCOMPARE(skipped->item(0)->text(),
                 u"Say \"Hello\": \u201CSay \"Hello\"\u201D has open to-dos in Things 3 now."_qs);
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
        QCOMPARE(pages->currentWidget()->findChild<QLabel*>(u"emptyStateTitle"_qs)->text(),
                 u"No Unused Tags"_qs);
        QVERIFY(!cleanupWindow()->deleteButton()->isEnabled());
    }
};

QTEST_MAIN(BatchEditViewTests)
#include "BatchEditViewTests.moc"
