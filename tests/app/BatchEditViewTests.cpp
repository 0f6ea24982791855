#include "BatchEditView.h"
#include "BatchResultSheet.h"
#include "BusyToolButton.h"
#include "ParentPicker.h"
#include "ProgressOverlay.h"
#include "StandInEngine.h"
#include "TagSearchList.h"
#include "WindowFixture.h"

#include <QListWidget>
#include <QScrollBar>

using namespace orvalet;

// The batch editor in the main window, driven as a user drives it against a stand-in process: the
// pane, its dialogs and the result sheets.
class BatchEditViewTests final : public WindowFixture {
    Q_OBJECT

private:
    BatchEditView* pane() { return m_window->findChild<BatchEditView*>(u"batchEditor"_qs); }
    QComboBox* picker() { return pane()->findChild<QComboBox*>(u"parentPicker"_qs); }
    QPushButton* saveButton() { return pane()->findChild<QPushButton*>(u"batchSave"_qs); }
    BatchResultSheet* sheet() { return shown<BatchResultSheet>(u"batchResult"_qs); }
    QString sheetText(const QString& name) {
        QLabel* label = sheet()->findChild<QLabel*>(name);
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

private Q_SLOTS:
    void movingThreeTagsUnderAParentReportsSuccessAndTheListFollows() {
        const QStringList names{u"Urgent"_qs, u"Errands"_qs, u"Important"_qs};
        QVERIFY(showPaneFor(names));
        // Plain text order, each row read out with its path.
        auto* rows = pane()->findChild<QListWidget*>(u"selectedTags"_qs);
        QCOMPARE(listTexts(rows), (QStringList{u"Errands"_qs, u"Important"_qs, u"Urgent"_qs}));
        QCOMPARE(rows->item(0)->data(Qt::AccessibleTextRole).toString(), u"Errands, Contexts"_qs);
        // Different parents: "None" is chosen, and saving would already change something.
        QCOMPARE(picker()->currentText(), u"None"_qs);
        QVERIFY(saveButton()->isEnabled());
        VERIFY_ALL_NAMED(pane());
        QVERIFY(chooseParent(u"Work"_qs));

        const qsizetype programsBefore = transcriptPrograms().size();
        const QStringList order = selectedNamesInRunOrder();
        QTest::mouseClick(saveButton(), Qt::LeftButton);
        QVERIFY(!pane()->isEnabled()); // the whole pane, while Things 3 answers
        QTRY_VERIFY_WITH_TIMEOUT(sheet(), importTimeout);
        QCOMPARE(sheet()->windowModality(), Qt::WindowModal);
        QCOMPARE(sheetText(u"batchResultTitle"_qs), u"All Tags Successfully Updated"_qs);
        QCOMPARE(listTexts(sheet()->nameList()), order);
        VERIFY_ALL_NAMED(sheet());
        QCOMPARE(transcriptPrograms().size(), programsBefore + 3);
        for (const QString& name : names) {
            QTRY_COMPARE(indexOf(m_window, name).data(TagListModel::AncestorPathRole).toString(), u"Work"_qs);
        }

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

    void deletingTheSelectionRemovesEveryTagWithItsDescendants() {
        // Kids lies below Family: whichever of the two comes first, it is removed once.
        const QStringList selected{u"Home"_qs, u"Family"_qs, u"Kids"_qs};
        const QStringList gone =
            selected + QStringList{u"Garden"_qs,  u"Repairs"_qs, u"Plumbing"_qs, u"Electrical"_qs,
                                   u"Kitchen"_qs, u"School"_qs,  u"Homework"_qs, u"Parents"_qs};
        QVERIFY(showPaneFor(selected));
        const QStringList order = selectedNamesInRunOrder();
        const qsizetype programsBefore = transcriptPrograms().size();

        // "Cancel" first: nothing happens.
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
        QCOMPARE(transcriptPrograms().size(), programsBefore);

        QVERIFY(press(u"batchDelete"_qs, pane()));
        QVERIFY(answer(u"batchDeleteConfirmation"_qs, u"confirmBatchDelete"_qs));
        QTRY_COMPARE_WITH_TIMEOUT(model(m_window).rowCount(), demoTagCount - int(gone.size()), importTimeout);
        for (const QString& name : gone) {
            QVERIFY2(!indexOf(m_window, name).isValid(), qPrintable(name));
        }
        QTRY_COMPARE(selection(m_window), QStringList());
        QTRY_VERIFY(!pane());
        // One program per selected tag still stored when its turn came.
        const bool kidsFirst = order.indexOf(u"Kids"_qs) < order.indexOf(u"Family"_qs);
        QCOMPARE(transcriptPrograms().size(), programsBefore + (kidsFirst ? 3 : 2));
    }
};

QTEST_MAIN(BatchEditViewTests)
#include "BatchEditViewTests.moc"
