#include "BusyToolButton.h"
#include "FormWidth.h"
#include "ParentPicker.h"
#include "TagCreateView.h"
#include "TagCreator.h"
#include "TagEditView.h"
#include "TagSearchList.h"
#include "WindowFixture.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

using namespace orvalet;

// The tag editor and the creation sheet, driven through the main window as a user drives them.
class TagEditViewTests final : public QObject, protected WindowFixture {
    Q_OBJECT

private:
    TagEditView* editor() { return content(m_window).tagEditView(); }
    template <typename T = QAbstractButton>
    T* control(QWidget* in, const QString& name) {
        T* found = in ? in->findChild<T*>(name) : nullptr;
        return found && found->isVisible() ? found : nullptr;
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
        for (QAbstractButton* button :
             editor()->findChildren<QAbstractButton*>(QStringLiteral("childName"))) {
            names.append(button->text());
        }
        return names;
    }

private Q_SLOTS:
    void init() {
        const QString error = openWindowWithDemo();
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }

    void cleanup() { QVERIFY(closeWindow()); }

    void renameWithReturnFollowsInTheListAndTheTitle() {
        m_app->preferences().setFlag(PreferenceKey::showChildrenCounts, true);
        QVERIFY(clickRow(m_window, QStringLiteral("Work")));
        QVERIFY(editor());
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Work"));
        QCOMPARE(childNames(), (QStringList{QStringLiteral("Admin"), QStringLiteral("Meetings"),
                                            QStringLiteral("Projects")}));
        QVERIFY(screenshot(m_window, QStringLiteral("tag-editor.png")));
        // The picker is labelled "Parent Tag" (on Linux a screen reader takes a combo box's label
        // from this relation); Delete, disabled, has the disabled look.
        QStringList labels;
        const auto labelled = QAccessible::queryAccessibleInterface(editor()->findChild<QComboBox*>())
                                  ->relations(QAccessible::Label);
        for (const auto& [label, relation] : labelled) {
            labels.append(label->text(QAccessible::Name));
        }
        QVERIFY2(labels.contains(QStringLiteral("Parent Tag")), qPrintable(labels.join(u", ")));
        // A wide window centres the form instead of stretching its fields; a narrow one keeps the
        // status lines whole beside "Reset".
        m_window->resize(1440, 700);
        QWidget* form = editor()->findChild<QWidget*>(QStringLiteral("editorForm"));
        QTRY_VERIFY(form->width() <= maximumFormWidth);
        QVERIFY(qAbs(form->geometry().center().x() - form->parentWidget()->rect().center().x()) <= 1);
        QVERIFY(screenshot(m_window, QStringLiteral("tag-editor-wide.png")));
        m_window->resize(m_window->minimumSizeHint());
        QTRY_COMPARE(m_window->size(), m_window->minimumSizeHint());
        auto* reset = m_window->findChild<QWidget*>(QStringLiteral("statusReset"));
        for (QLabel* line : m_window->findChildren<QLabel*>(QStringLiteral("statusLine"))) {
            QVERIFY(line->heightForWidth(line->width()) <= line->height());
            QVERIFY(!line->geometry().intersects(reset->geometry()));
        }
        QVERIFY(screenshot(m_window, QStringLiteral("tag-editor-narrow.png")));
        m_window->resize(900, 600);

        // Tab follows the pane as drawn, top to bottom and left to right, and no container is a stop.
        control<QLineEdit>(editor(), QStringLiteral("nameField"))->setFocus();
        QTRY_VERIFY(QApplication::focusWidget() &&
                    QApplication::focusWidget()->objectName() == u"nameField"_qs);
        QStringList stops;
        for (int i = 0; i < 12; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            stops.append(QApplication::focusWidget()->objectName());
        }
        QCOMPARE(stops.mid(0, 11),
                 (QStringList{u"parentPicker"_qs, u"addChildTag"_qs, u"childName"_qs, u"viewChild"_qs,
                              u"childName"_qs, u"viewChild"_qs, u"childName"_qs, u"viewChild"_qs,
                              u"deleteTag"_qs, u"mergeInto"_qs, u"updateFromThings"_qs}));
        QCOMPARE(stops[11], u"viewInThings"_qs);
        QAbstractButton* remove = control(editor(), QStringLiteral("deleteTag"));
        QCOMPARE(remove->palette().color(QPalette::Disabled, QPalette::ButtonText),
                 QApplication::palette(remove).color(QPalette::Disabled, QPalette::ButtonText));

        auto* name = control<QLineEdit>(editor(), QStringLiteral("nameField"));
        QAbstractButton* save = control(editor(), QStringLiteral("saveChanges"));
        QVERIFY(name && save && !save->isEnabled());
        retype(name, QStringLiteral("Job"));
        QVERIFY(save->isEnabled());
        const qsizetype before = transcriptPrograms().size();
        QTest::keyClick(name, Qt::Key_Return);
        QTRY_COMPARE(m_window->windowTitle(), QStringLiteral("Job"));
        QVERIFY(indexOf(m_window, QStringLiteral("Job")).isValid());
        QVERIFY(!indexOf(m_window, QStringLiteral("Work")).isValid());
        QCOMPARE(selection(m_window), QStringList{QStringLiteral("Job")});
        QVERIFY(!save->isEnabled());
        QCOMPARE(transcriptPrograms().size(), before + 1);
        QVERIFY(transcriptPrograms().last().contains(QStringLiteral("\"Job\"")));
        QTRY_VERIFY(name->hasFocus()); // back where the user typed once the pane is enabled again

        // Edit ▸ Undo takes it back in Things 3 and in the list; Redo again.
        QAction* undo = m_window->findChild<QAction*>(QStringLiteral("undoAction"));
        QCOMPARE(undo->text(), QStringLiteral("Undo Rename"));
        undo->trigger();
        QTRY_COMPARE(m_window->windowTitle(), QStringLiteral("Work"));
        QCOMPARE(name->text(), QStringLiteral("Work"));
        QVERIFY(transcriptPrograms().last().contains(QStringLiteral("\"Work\"")));
        m_window->findChild<QAction*>(QStringLiteral("redoAction"))->trigger();
        QTRY_COMPARE(m_window->windowTitle(), QStringLiteral("Job"));
        const qsizetype afterRedo = transcriptPrograms().size();

        // A name another tag has, ignoring case, is refused before anything is sent.
        retype(name, QStringLiteral("home"));
        QTest::keyClick(name, Qt::Key_Return);
        QTRY_VERIFY(box(QStringLiteral("duplicateNameAlert")));
        QCOMPARE(box(QStringLiteral("duplicateNameAlert"))->text(), QStringLiteral("Tag already exists."));
        QCOMPARE(box(QStringLiteral("duplicateNameAlert"))->icon(), QMessageBox::Warning);
        QTest::keyClick(box(QStringLiteral("duplicateNameAlert")), Qt::Key_Escape);
        QTRY_VERIFY(!box(QStringLiteral("duplicateNameAlert")));
        QCOMPARE(transcriptPrograms().size(), afterRedo);
        QCOMPARE(name->text(), QStringLiteral("home"));
    }

    // The picker opens on a search over every choice, each row with its place in the tree.
    void parentPickerSearchesAndShowsWhereEachTagSits() {
        QVERIFY(clickRow(m_window, QStringLiteral("Yoga")));
        auto* picker = editor()->findChild<ParentPicker*>(QStringLiteral("parentPicker"));
        QTest::keyClick(picker, Qt::Key_Space);
        TagSearchList* popup = picker->popupList();
        QVERIFY(popup && popup->searchField()->hasFocus());
        QCOMPARE(popup->current(), storedTag(QStringLiteral("Fitness"))->id());
        QTest::keyClicks(popup->searchField(), QStringLiteral("RUNN"));
        const QModelIndex first = popup->list()->model()->index(0, 0);
        QCOMPARE(first.data().toString(), QStringLiteral("Running"));
        QCOMPARE(first.data(Qt::AccessibleTextRole).toString(),
                 QStringLiteral("Running, in Health > Fitness"));
        QVERIFY(screenshot(popup->window(), QStringLiteral("parent-picker.png")));
        QCOMPARE(popup->rowCount(), 1);
        // Down takes the keyboard into the rows, where a screen reader reads them; typing comes back.
        QTest::keyClick(popup->searchField(), Qt::Key_Down);
        QVERIFY(popup->list()->hasFocus());
        QTest::keyClick(popup->list(), Qt::Key_I);
        QVERIFY(popup->searchField()->hasFocus());
        QCOMPARE(popup->searchField()->text(), QStringLiteral("RUNNi"));
        QTest::keyClick(popup->searchField(), Qt::Key_Return); // the first match is chosen
        QVERIFY(!picker->popupList());
        QCOMPARE(picker->currentText(), QStringLiteral("Running"));
        QVERIFY(control(editor(), QStringLiteral("saveChanges"))->isEnabled());
    }

    void childRowsAndParentViewMoveTheSelection() {
        QVERIFY(clickRow(m_window, QStringLiteral("Kids")));
        TagEditView* view = editor();
        QCOMPARE(childNames(), QStringList{QStringLiteral("School")});
        QTest::mouseClick(control(view, QStringLiteral("childName")), Qt::LeftButton);
        QTRY_COMPARE(selection(m_window), QStringList{QStringLiteral("School")});
        QCOMPARE(editor(), view); // the same pane, now showing the child
        QCOMPARE(control<QLineEdit>(view, QStringLiteral("nameField"))->text(), QStringLiteral("School"));

        QTest::mouseClick(control(view, QStringLiteral("viewParent")), Qt::LeftButton);
        QTRY_COMPARE(selection(m_window), QStringList{QStringLiteral("Kids")});
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Kids"));
    }

    void addChildFromTheEditorCreatesItUnderTheTag() {
        QVERIFY(clickRow(m_window, QStringLiteral("Garden")));
        QCOMPARE(childNames(), QStringList{});
        QVERIFY(control<QLabel>(editor(), QStringLiteral("noChildTags")));
        QTest::mouseClick(control(editor(), QStringLiteral("addChildTag")), Qt::LeftButton);
        TagCreateView* sheet = editor()->createSheet();
        QVERIFY(sheet && sheet->isVisible());
        QCOMPARE(sheet->windowModality(), Qt::WindowModal);
        QCOMPARE(control<QComboBox>(sheet, QStringLiteral("parentPicker"))->currentText(),
                 QStringLiteral("Garden"));
        auto* create = control(sheet, QStringLiteral("createTagButton"));
        QVERIFY(!create->isEnabled());
        QTest::keyClicks(control<QLineEdit>(sheet, QStringLiteral("nameField")), QStringLiteral("  Roses "));
        QVERIFY(create->isEnabled());
        QStringList unnamed = unnamedControls(sheet);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QStringLiteral("; "))));
        QVERIFY(screenshot(sheet, QStringLiteral("tag-create-sheet.png")));

        QTest::keyClick(control<QLineEdit>(sheet, QStringLiteral("nameField")), Qt::Key_Return);
        QTRY_VERIFY(!editor()->createSheet());
        QTRY_COMPARE(childNames(), QStringList{QStringLiteral("Roses")});
        const TagPtr roses = storedTag(QStringLiteral("Roses"));
        QVERIFY(roses);
        QCOMPARE(roses->parentTagId(), storedTag(QStringLiteral("Garden"))->id());
        QVERIFY(indexOf(m_window, QStringLiteral("Roses")).isValid());
        QCOMPARE(selection(m_window), QStringList{QStringLiteral("Garden")}); // the new tag is not selected
    }

    void newTagSheetCancelsWithEscapeAndFailsInPlace() {
        content(m_window).newTagAction()->trigger();
        TagCreateView* sheet = content(m_window).createSheet();
        QVERIFY(sheet && sheet->isVisible());
        QCOMPARE(control<QComboBox>(sheet, QStringLiteral("parentPicker"))->currentText(),
                 QStringLiteral("None"));
        // A name another tag has gets the editor's warning for the same mistake.
        QTest::keyClicks(control<QLineEdit>(sheet, QStringLiteral("nameField")), QStringLiteral("home"));
        QTest::keyClick(control<QLineEdit>(sheet, QStringLiteral("nameField")), Qt::Key_Return);
        QTRY_VERIFY(box(QStringLiteral("duplicateNameAlert")));
        QCOMPARE(box(QStringLiteral("duplicateNameAlert"))->icon(), QMessageBox::Warning);
        QTest::keyClick(box(QStringLiteral("duplicateNameAlert")), Qt::Key_Escape);
        QTRY_VERIFY(!box(QStringLiteral("duplicateNameAlert")));
        retype(control<QLineEdit>(sheet, QStringLiteral("nameField")), QStringLiteral("Ideas"));
        QTest::keyClick(sheet, Qt::Key_Escape);
        QTRY_VERIFY(!content(m_window).createSheet());
        QVERIFY(!storedTag(QStringLiteral("Ideas")));

        // Things 3 goes away: the creation fails, the sheet stays with the error and the name.
        content(m_window).newTagAction()->trigger();
        sheet = content(m_window).createSheet();
        QTest::keyClicks(control<QLineEdit>(sheet, QStringLiteral("nameField")), QStringLiteral("Ideas"));
        m_standIn->stop();
        QTest::mouseClick(control(sheet, QStringLiteral("createTagButton")), Qt::LeftButton);
        QTRY_VERIFY(control<QLabel>(sheet, QStringLiteral("errorMessage")));
        QCOMPARE(control<QLabel>(sheet, QStringLiteral("errorMessage"))->text(),
                 QStringLiteral("Things 3 is not open. Please open Things 3 and try again."));
        QCOMPARE(control<QLineEdit>(sheet, QStringLiteral("nameField"))->text(), QStringLiteral("Ideas"));
        QVERIFY(screenshot(sheet, QStringLiteral("tag-create-sheet-error.png")));
        QTest::mouseClick(control(sheet, QStringLiteral("dismissError")), Qt::LeftButton);
        QVERIFY(!control<QLabel>(sheet, QStringLiteral("errorMessage")));
        QVERIFY(!storedTag(QStringLiteral("Ideas")));
    }

    void failedSaveShowsTheErrorAndKeepsTheRecord() {
        QVERIFY(clickRow(m_window, QStringLiteral("Taxes")));
        auto* name = control<QLineEdit>(editor(), QStringLiteral("nameField"));
        retype(name, QStringLiteral("Tax"));
        m_standIn->stop();
        QTest::mouseClick(control(editor(), QStringLiteral("saveChanges")), Qt::LeftButton);
        QTRY_VERIFY(control<QLabel>(editor(), QStringLiteral("errorMessage")));
        QVERIFY(storedTag(QStringLiteral("Taxes")));
        QCOMPARE(name->text(), QStringLiteral("Tax"));
        QVERIFY(screenshot(m_window, QStringLiteral("tag-editor-error.png")));
    }

    // With a slow Things 3, the button that was pressed turns until it answers; the creation sheet
    // says what it waits for.
    void slowActionsShowTheirProgressWhereTheyWerePressed() {
        m_standIn->stop();
        QVERIFY(startStandIn({QStringLiteral("--delay-ms"), QStringLiteral("700")}));
        QVERIFY(clickRow(m_window, QStringLiteral("Yoga")));
        retype(control<QLineEdit>(editor(), QStringLiteral("nameField")), QStringLiteral("Stretching"));
        auto* save = editor()->findChild<BusyPushButton*>(QStringLiteral("saveChanges"));
        QTest::mouseClick(save, Qt::LeftButton);
        QTRY_VERIFY(save->isBusy());
        QVERIFY(screenshot(m_window, QStringLiteral("tag-editor-saving.png")));
        QTRY_VERIFY_WITH_TIMEOUT(!save->isBusy(), importTimeout);

        auto* remove = editor()->findChild<BusyPushButton*>(QStringLiteral("deleteTag"));
        QTest::mouseClick(remove, Qt::LeftButton);
        QTRY_VERIFY(box(QStringLiteral("deleteConfirmation")));
        QTest::mouseClick(
            box(QStringLiteral("deleteConfirmation"))->findChild<QPushButton*>(u"confirmDelete"_qs),
            Qt::LeftButton);
        QTRY_VERIFY(remove->isBusy());
        QVERIFY(!save->isBusy());
        QTRY_VERIFY_WITH_TIMEOUT(!storedTag(QStringLiteral("Stretching")), importTimeout);

        content(m_window).newTagAction()->trigger();
        TagCreateView* sheet = content(m_window).createSheet();
        QTest::keyClicks(control<QLineEdit>(sheet, QStringLiteral("nameField")), QStringLiteral("Ideas"));
        QTest::mouseClick(control(sheet, QStringLiteral("createTagButton")), Qt::LeftButton);
        QTRY_VERIFY(control<QLabel>(sheet, QStringLiteral("creatingLabel")));
        QCOMPARE(control<QLabel>(sheet, QStringLiteral("creatingLabel"))->text(),
                 QStringLiteral("Creating…"));
        QVERIFY(screenshot(sheet, QStringLiteral("tag-create-sheet-creating.png")));
        QTRY_VERIFY_WITH_TIMEOUT(!content(m_window).createSheet(), importTimeout);
    }

    void deleteFromTheEditorRemovesTheTreeAndShowsThePlaceholder() {
        QVERIFY(clickRow(m_window, QStringLiteral("Kids")));
        const qsizetype before = transcriptPrograms().size();
        QTest::mouseClick(control(editor(), QStringLiteral("deleteTag")), Qt::LeftButton);
        QTRY_VERIFY(box(QStringLiteral("deleteConfirmation")));
        QMessageBox* confirmation = box(QStringLiteral("deleteConfirmation"));
        QCOMPARE(confirmation->text(), QStringLiteral("Delete \"Kids\" on Things 3?"));
        QCOMPARE(confirmation->informativeText(),
                 QStringLiteral("This will permanently delete the tag and all its child tags from this app "
                                "AND Things 3. This action cannot be undone! Are you sure you want to do "
                                "this?"));
        QTest::mouseClick(confirmation->findChild<QPushButton*>(QStringLiteral("confirmDelete")),
                          Qt::LeftButton);

        QTRY_VERIFY(content(m_window).detail()->objectName() == QStringLiteral("noTagSelected"));
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Orvalet"));
        for (const char* name : {"Kids", "School", "Homework"}) {
            QVERIFY2(!storedTag(QString::fromLatin1(name)), name);
        }
        QVERIFY(storedTag(QStringLiteral("Family")));
        QCOMPARE(transcriptPrograms().size(), before + 1);
        QCOMPARE(selection(m_window), QStringList{});
    }

    void updateLineOnlyForARecordWithAnUpdateTime() {
        QVERIFY(clickRow(m_window, QStringLiteral("Yoga")));
        auto* line = control<QLabel>(editor(), QStringLiteral("updateLine"));
        QVERIFY(line);
        QVERIFY(line->text().startsWith(QStringLiteral("Updated: ")));
        QVERIFY(line->text().endsWith(QStringLiteral(" ago)")));

        storedTag(QStringLiteral("Running"))->setUpdatedAt(std::nullopt);
        QVERIFY(clickRow(m_window, QStringLiteral("Running")));
        QTRY_VERIFY(!control<QLabel>(editor(), QStringLiteral("updateLine")));
    }
};

QTEST_MAIN(TagEditViewTests)
#include "TagEditViewTests.moc"
