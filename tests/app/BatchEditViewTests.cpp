#include "BatchEditView.h"
#include "BatchResultSheet.h"
#include "BusyToolButton.h"
#include "ParentPicker.h"
#include "ProgressOverlay.h"
#include "StandInEngine.h"
#include "TagSearchList.h"
#include "WindowFixture.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

using namespace orvalet;

// The batch editor in the main window, driven as a user drives it against a stand-in process: the
// pane, its dialogs and the result sheets.
class BatchEditViewTests final : public QObject, protected WindowFixture {
    Q_OBJECT

private:
    static constexpr int runTimeout = 10000;

    BatchEditView* pane() { return m_window->findChild<BatchEditView*>(QStringLiteral("batchEditor")); }
    template <typename T>
    T* control(const QString& name) {
        BatchEditView* view = pane();
        return view ? view->findChild<T*>(name) : nullptr;
    }
    QComboBox* picker() { return control<QComboBox>(QStringLiteral("parentPicker")); }
    QPushButton* saveButton() { return control<QPushButton>(QStringLiteral("batchSave")); }
    BatchResultSheet* sheet() {
        auto* found = m_window->findChild<BatchResultSheet*>(QStringLiteral("batchResult"));
        return found && found->isVisible() ? found : nullptr;
    }
    QString sheetText(const QString& name) {
        QLabel* label = sheet()->findChild<QLabel*>(name);
        return label ? label->text() : QStringLiteral("(no label %1)").arg(name);
    }
    static QStringList listTexts(QListWidget* list) {
        QStringList texts;
        for (int row = 0; list && row < list->count(); ++row) {
            texts.append(list->item(row)->text());
        }
        return texts;
    }

    // Imports the demo tags and selects `names`: the batch editor is shown for them.
    bool showPaneFor(const QStringList& names) {
        return startStandIn() && importDemo() && selectRows(m_window, names) && pane() && pane()->isVisible();
    }

    // Opens the picker, searches for the name and clicks its entry, as a user picks a parent.
    bool chooseParent(const QString& name) {
        auto* combo = qobject_cast<ParentPicker*>(picker());
        if (!combo) {
            return false;
        }
        combo->showPopup();
        TagSearchList* popup = combo->popupList();
        if (!popup || !popup->searchField()->hasFocus()) {
            return false;
        }
        QTest::keyClicks(popup->searchField(), name);
        QAbstractItemView* list = popup->list();
        for (int row = 0; row < list->model()->rowCount(); ++row) {
            const QModelIndex index = list->model()->index(row, 0);
            if (index.data().toString() == name) {
                list->scrollTo(index);
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(index).center());
                return !combo->popupList() && combo->currentText() == name;
            }
        }
        return false;
    }

    QStringList selectedNamesInRunOrder() {
        QStringList names;
        for (const TagPtr& tag : pane()->editor().selectedTags()) {
            names.append(tag->name());
        }
        return names;
    }

    // What a screen reader could not name under `root`: the fixture's controls, the dialog itself
    // and each row of the item views.
    static QStringList unnamed(QWidget* root) {
        QStringList found = unnamedControls(root);
        if (root->isWindow() && root->accessibleName().isEmpty() && root->windowTitle().isEmpty()) {
            found.append(QStringLiteral("the window"));
        }
        for (QAbstractItemView* view : root->findChildren<QAbstractItemView*>()) {
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(view);
            QAccessibleTableInterface* table = accessible ? accessible->tableInterface() : nullptr;
            for (int row = 0; table && view->isVisibleTo(root) && row < table->rowCount(); ++row) {
                if (table->cellAt(row, 0)->text(QAccessible::Name).trimmed().isEmpty()) {
                    found.append(view->objectName() + QStringLiteral(" row ") + QString::number(row));
                }
            }
        }
        return found;
    }

private Q_SLOTS:
    void init() {
        const QString error = openWindow();
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }

    void cleanup() { QVERIFY(closeWindow()); }

    void movingThreeTagsUnderAParentReportsSuccessAndTheListFollows() {
        const QStringList names{QStringLiteral("Urgent"), QStringLiteral("Errands"),
                                QStringLiteral("Important")};
        QVERIFY(showPaneFor(names));
        // Plain text order, each row read out with its path.
        auto* rows = control<QListWidget>(QStringLiteral("selectedTags"));
        QCOMPARE(listTexts(rows), (QStringList{u"Errands"_qs, u"Important"_qs, u"Urgent"_qs}));
        QCOMPARE(rows->item(0)->data(Qt::AccessibleTextRole).toString(), QStringLiteral("Errands, Contexts"));
        // Different parents: "None" is chosen, and saving would already change something.
        QCOMPARE(picker()->currentText(), QStringLiteral("None"));
        QVERIFY(saveButton()->isEnabled());
        QVERIFY2(unnamed(pane()).isEmpty(), qPrintable(unnamed(pane()).join(u"; ")));
        QVERIFY(chooseParent(QStringLiteral("Work")));
        QVERIFY(screenshot(m_window, QStringLiteral("batch-editor.png")));

        const qsizetype programsBefore = transcriptPrograms().size();
        const QStringList order = selectedNamesInRunOrder();
        QTest::mouseClick(saveButton(), Qt::LeftButton);
        QVERIFY(!pane()->isEnabled()); // the whole pane, while Things 3 answers
        QTRY_VERIFY_WITH_TIMEOUT(sheet(), runTimeout);

        QCOMPARE(sheet()->windowModality(), Qt::WindowModal);
        QCOMPARE(sheetText(QStringLiteral("batchResultTitle")),
                 QStringLiteral("All Tags Successfully Updated"));
        QCOMPARE(listTexts(sheet()->nameList()), order);
        QVERIFY2(unnamed(sheet()).isEmpty(), qPrintable(unnamed(sheet()).join(u"; ")));
        QVERIFY(screenshot(sheet(), QStringLiteral("batch-result-success.png")));

        QCOMPARE(transcriptPrograms().size(), programsBefore + 3);
        for (const QString& name : names) {
            QTRY_COMPARE(indexOf(m_window, name).data(TagListModel::AncestorPathRole).toString(), u"Work"_qs);
        }

        // Return is "OK": the sheet closes and the window leaves the batch editor.
        QTest::keyClick(sheet(), Qt::Key_Return);
        QTRY_VERIFY(!sheet());
        QCOMPARE(selection(m_window), QStringList());
        QCOMPARE(content(m_window).detail()->objectName(), QStringLiteral("noTagSelected"));
        QTRY_VERIFY(!pane());
    }

    void aFailingSaveShowsTheErrorAndKeepsThePaneForAnotherTry() {
        QVERIFY(
            showPaneFor({QStringLiteral("Urgent"), QStringLiteral("Errands"), QStringLiteral("Important")}));
        QVERIFY(chooseParent(QStringLiteral("Health")));
        // The last tag of the run is deleted in Things 3 behind the window's back.
        const QStringList order = selectedNamesInRunOrder();
        const std::optional<ScriptOutcome> deleted =
            StandInEngine().run(QStringLiteral("tell application \"Things3\"\n    delete tag \"") +
                                order.last() + QStringLiteral("\"\nend tell"));
        QVERIFY(deleted && !deleted->error);

        QTest::mouseClick(saveButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(sheet(), runTimeout);
        QCOMPARE(sheetText(QStringLiteral("batchResultTitle")), QStringLiteral("Update Failed"));
        QCOMPARE(sheetText(QStringLiteral("batchResultError")),
                 u"\u201C"_qs + order.last() +
                     u"\u201D is no longer in Things 3. Import from Things to bring the list up to date."_qs);
        QCOMPARE(listTexts(sheet()->nameList()), order.mid(0, 2));
        QVERIFY2(unnamed(sheet()).isEmpty(), qPrintable(unnamed(sheet()).join(u"; ")));
        QVERIFY(screenshot(sheet(), QStringLiteral("batch-result-failure.png")));

        // Escape closes it too; the pane stays as it was, ready to send what is left.
        QTest::keyClick(sheet(), Qt::Key_Escape);
        QTRY_VERIFY(!sheet());
        QVERIFY(pane() && pane()->isVisible() && pane()->isEnabled());
        QCOMPARE(selection(m_window).size(), 3);
        QCOMPARE(picker()->currentText(), QStringLiteral("Health"));
        QVERIFY(saveButton()->isEnabled());
    }

    void thePaneFollowsTheSelectionAndReadsItsChoicesOnlyWhenTheyCanChange() {
        QVERIFY(showPaneFor({QStringLiteral("Urgent"), QStringLiteral("Important")}));
        QPointer<BatchEditView> shown = pane();
        QVERIFY(chooseParent(QStringLiteral("Work")));
        const int reads = shown->parentChoiceReads();
        QVERIFY(chooseParent(QStringLiteral("Health")));
        QCOMPARE(shown->parentChoiceReads(), reads);

        // A refresh disables the pane under the window's overlay; the records it writes leave the
        // choices as they were, so the picker keeps its entries.
        QSignalSpy pickerResets(picker()->model(), &QAbstractItemModel::modelReset);
        auto* refresh = control<BusyToolButton>(QStringLiteral("batchRefresh"));
        QTest::mouseClick(refresh, Qt::LeftButton);
        QVERIFY(refresh->isBusy());
        QVERIFY(!shown->isEnabled());
        QVERIFY(content(m_window).overlay()->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!refresh->isBusy(), runTimeout);
        QVERIFY(shown->isEnabled());
        QCOMPARE(pickerResets.size(), 0);
        QCOMPARE(picker()->currentText(), QStringLiteral("Health"));

        // Another selected tag: the same pane, the same choice, one new reading of the choices.
        QVERIFY(clickRow(m_window, QStringLiteral("Work"), Qt::ControlModifier));
        QCOMPARE(pane(), shown.data());
        QCOMPARE(picker()->currentText(), QStringLiteral("Health"));
        QCOMPARE(picker()->findText(QStringLiteral("Work")), -1); // the picker follows the selection
        QCOMPARE(pickerResets.size(), 1);

        QVERIFY(clickRow(m_window, QStringLiteral("Urgent"), Qt::ControlModifier));
        QCOMPARE(pane(), shown.data());
        QVERIFY(clickRow(m_window, QStringLiteral("Important"), Qt::ControlModifier));
        QTRY_VERIFY(!shown); // one tag left: the pane goes
    }

    void theSheetKeepsLongResultsReadable() {
        QStringList names;
        for (int i = 0; i < 40; ++i) {
            names.append(QStringLiteral("Tag ") + QString::number(i));
        }
        const QString error =
            QStringLiteral("AppleScript error: ") + QStringLiteral("a long reason ").repeated(30);
        BatchResultSheet sheet(BatchResultState::failure(u"Tag 40"_qs, error, names), m_window);
        sheet.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sheet));
        // The names scroll inside 200 pixels; "OK" stays on the sheet.
        QCOMPARE(sheet.nameList()->height(), BatchResultSheet::maximumListHeight);
        QVERIFY(sheet.nameList()->verticalScrollBar()->isVisible());
        QVERIFY(sheet.rect().contains(sheet.okButton()->geometry()));
        // The error wraps rather than being cut.
        auto* errorLabel = sheet.findChild<QLabel*>(QStringLiteral("batchResultError"));
        QVERIFY(errorLabel->height() > 2 * errorLabel->fontMetrics().height());
        QVERIFY(errorLabel->width() <= sheet.width());

        // Failing on the first tag: no caption and no list.
        BatchResultSheet first(BatchResultState::failure(u"Tag 0"_qs, u"AppleScript error: no"_qs, {}),
                               m_window);
        QVERIFY(!first.nameList());
        QVERIFY(!first.findChild<QLabel*>(QStringLiteral("batchResultNamesCaption")));
    }

    void deletingTheSelectionRemovesEveryTagWithItsDescendants() {
        // Kids lies below Family: whichever of the two comes first, it is removed once.
        const QStringList selected{QStringLiteral("Home"), QStringLiteral("Family"), QStringLiteral("Kids")};
        const QStringList gone =
            selected + QStringList{u"Garden"_qs,  u"Repairs"_qs, u"Plumbing"_qs, u"Electrical"_qs,
                                   u"Kitchen"_qs, u"School"_qs,  u"Homework"_qs, u"Parents"_qs};
        QVERIFY(showPaneFor(selected));
        const QStringList order = selectedNamesInRunOrder();
        const qsizetype programsBefore = transcriptPrograms().size();

        // "Cancel" first: nothing happens.
        QTest::mouseClick(control<QPushButton>(QStringLiteral("batchDelete")), Qt::LeftButton);
        QTRY_VERIFY(box(QStringLiteral("batchDeleteConfirmation")));
        QMessageBox* confirmation = box(QStringLiteral("batchDeleteConfirmation"));
        QCOMPARE(confirmation->windowModality(), Qt::WindowModal);
        QCOMPARE(confirmation->windowTitle(), QStringLiteral("Delete 3 tags?"));
        QCOMPARE(
            confirmation->informativeText(),
            QStringLiteral("This will permanently delete the selected tags and all their child tags from "
                           "this app AND Things 3. This action cannot be undone!"));
        QVERIFY2(unnamed(confirmation).isEmpty(), qPrintable(unnamed(confirmation).join(u"; ")));
        QTest::keyClick(confirmation, Qt::Key_Escape);
        QTRY_VERIFY(!box(QStringLiteral("batchDeleteConfirmation")));
        QCOMPARE(transcriptPrograms().size(), programsBefore);

        QTest::mouseClick(control<QPushButton>(QStringLiteral("batchDelete")), Qt::LeftButton);
        QTRY_VERIFY(box(QStringLiteral("batchDeleteConfirmation")));
        QTest::mouseClick(
            box(QStringLiteral("batchDeleteConfirmation"))->findChild<QPushButton*>(u"confirmBatchDelete"_qs),
            Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(model(m_window).rowCount(), demoTagCount - int(gone.size()), runTimeout);
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
