#include "BatchResultSheet.h"
#include "TagCreateView.h"
#include "TagEditView.h"
#include "WindowFixture.h"

#include <QWindow>

using namespace orvalet;

// An edit the window would drop (another tag clicked, a child's "View", the window closed, the
// application quit) is asked about first, in the tag editor, the batch editor and the creation sheet,
// and each answer does what it says; and a key the editor cannot send says why under its field.
class UnsavedEditTests final : public WindowFixture {
    Q_OBJECT

private:
    enum Trigger { anotherTag, childView, windowClosed, quitting };
    enum Answer { save, dontSave, cancel, returnKey, escapeKey };

    QMessageBox* question(QWidget* in = nullptr) {
        return QTest::qWaitFor([&] { return box(u"saveChangesQuestion"_qs, in); })
                   ? box(u"saveChangesQuestion"_qs, in)
                   : nullptr;
    }
    // Does what takes the edit of `window` away.
    static void leave(MainWindow* window, Trigger trigger, QWidget* editor = nullptr) {
        switch (trigger) {
        case anotherTag:
            break; // a row click: clickRow
        case childView:
            QTest::mouseClick(editor->findChild<QPushButton*>(u"viewChild"_qs), Qt::LeftButton);
            break;
        case windowClosed:
            window->windowHandle()->close(); // as the window manager asks
            break;
        case quitting:
            window->findChild<QAction*>(u"actionQuit"_qs)->trigger();
            break;
        }
    }
    static void reply(QMessageBox* asked, Answer answer) {
        switch (answer) {
        case returnKey:
            QTest::keyClick(asked, Qt::Key_Return);
            break;
        case escapeKey:
            QTest::keyClick(asked, Qt::Key_Escape);
            break;
        default:
            QTest::mouseClick(asked->findChild<QPushButton*>(answer == save       ? u"answerSave"_qs
                                                             : answer == dontSave ? u"answerDontSave"_qs
                                                                                  : u"answerCancel"_qs),
                              Qt::LeftButton);
        }
    }
    // The tag's parent's name, "-" for none.
    QString parentOf(const QString& name) {
        const std::optional<QString> parent = storedTag(name)->parentTagId();
        return parent ? m_app->store().tag(*parent)->name() : u"-"_qs;
    }

private Q_SLOTS:
    void theEditorAsksBeforeItsChangesAreLost_data() {
        QTest::addColumn<int>("trigger");
        QTest::addColumn<int>("answer");
        const std::pair<const char*, int> triggers[] = {{"another tag", anotherTag},
                                                        {"child's View", childView},
                                                        {"window closed", windowClosed},
                                                        {"quit", quitting}};
        const std::pair<const char*, int> answers[] = {
            {"Save", save}, {"Don't Save", dontSave}, {"Cancel", cancel}};
        for (const auto& [triggerName, trigger] : triggers) {
            for (const auto& [answerName, answer] : answers) {
                QTest::addRow("%s, %s", triggerName, answerName) << trigger << answer;
            }
        }
        QTest::addRow("another tag, Return") << int(anotherTag) << int(returnKey);
        QTest::addRow("quit, Escape") << int(quitting) << int(escapeKey);
    }
    void theEditorAsksBeforeItsChangesAreLost() {
        QFETCH(int, trigger);
        QFETCH(int, answer);
        const bool saves = answer == save || answer == returnKey;
        const bool goes = answer == save || answer == returnKey || answer == dontSave;
        QPointer<MainWindow> window = m_window;
        QVERIFY(clickRow(m_window, u"Family"_qs));
        retype(nameField(editor()), u"Relatives"_qs);
        if (trigger == anotherTag) {
            QVERIFY(clickRow(m_window, u"Work"_qs));
        } else {
            leave(m_window, Trigger(trigger), editor());
        }

        QMessageBox* asked = question();
        QVERIFY(asked);
        QCOMPARE(asked->text(), u"Save changes to \u201CFamily\u201D?"_qs);
        QCOMPARE(spokenName(asked), asked->text());
        QCOMPARE(asked->windowModality(), Qt::WindowModal);
        QCOMPARE(asked->defaultButton()->objectName(), u"answerSave"_qs);
        QCOMPARE(asked->escapeButton()->objectName(), u"answerCancel"_qs);
        for (const auto& [name, spoken] :
             {std::pair{u"answerSave"_qs, u"Save"_qs}, std::pair{u"answerDontSave"_qs, u"Don't Save"_qs},
              std::pair{u"answerCancel"_qs, u"Cancel"_qs}}) {
            QCOMPARE(spokenName(asked->findChild<QPushButton*>(name)), spoken);
        }
        if (trigger == anotherTag) { // the edited tag stays selected while the question is open
            QCOMPARE(selection(m_window), QStringList{u"Family"_qs});
        }
        reply(asked, Answer(answer));

        QTRY_VERIFY(storedTag(saves ? u"Relatives"_qs : u"Family"_qs));
        QVERIFY(!storedTag(saves ? u"Family"_qs : u"Relatives"_qs));
        if (trigger == windowClosed || trigger == quitting) {
            QTRY_COMPARE(window && window->isVisible(), !goes);
        } else if (goes) {
            QTRY_COMPARE(selection(m_window), QStringList{trigger == anotherTag ? u"Work"_qs : u"Kids"_qs});
        } else {
            QCOMPARE(selection(m_window), QStringList{u"Family"_qs});
        }
        if (!goes) { // nothing typed is lost
            QCOMPARE(nameField(editor())->text(), u"Relatives"_qs);
            QVERIFY(!box(u"saveChangesQuestion"_qs));
        }
    }

    // A save that does not go through shows why, and the editor stays as it was.
    void aFailedSaveKeepsTheEditorAndItsEdit() {
        QVERIFY(clickRow(m_window, u"Family"_qs));
        retype(nameField(editor()), u"Relatives"_qs);
        m_standIn->stop();
        for (const Trigger trigger : {anotherTag, childView, windowClosed, quitting}) {
            if (trigger == anotherTag) {
                QVERIFY(clickRow(m_window, u"Work"_qs));
            } else {
                leave(m_window, trigger, editor());
            }
            QVERIFY(press(u"answerSave"_qs, question()));
            QTRY_COMPARE(labelText(u"errorMessage"_qs, editor()), thingsNotOpen);
            QVERIFY(!box(u"saveChangesQuestion"_qs)); // nor asked again as if it had gone through
            QVERIFY(m_window->isVisible());
            QCOMPARE(selection(m_window), QStringList{u"Family"_qs});
            QCOMPARE(nameField(editor())->text(), u"Relatives"_qs);
            QVERIFY(press(u"dismissError"_qs, editor()));
        }
    }

    // A space typed as the key is refused where it was typed, and the rest of the form still saves.
    void aKeyThatCannotBeAShortcutSaysWhyAndTheRestStillSaves() {
        QVERIFY(clickRow(m_window, u"Work"_qs));
        QLineEdit* key = shown<QLineEdit>(u"shortcutField"_qs, editor());
        QAbstractButton* saveChanges = shown(u"saveChanges"_qs, editor());
        QVERIFY(!shown<QLabel>(u"shortcutProblem"_qs, editor()));
        retype(key, u" "_qs);
        const QString why = u"A shortcut is one letter, digit or symbol"_qs;
        QLabel* problem = shown<QLabel>(u"shortcutProblem"_qs, editor());
        QVERIFY(problem && problem->text() == why && spokenName(problem) == why);
        QVERIFY(problem->parentWidget() == key->parentWidget() && problem->y() > key->geometry().bottom());
        QCOMPARE(QAccessible::queryAccessibleInterface(key)->text(QAccessible::Description), why);
        // The key alone is nothing to save, nor to ask about on the way out.
        QVERIFY(!saveChanges->isEnabled());
        QVERIFY(!content(m_window).hasUnsavedEdits());

        retype(nameField(editor()), u"Job"_qs);
        QVERIFY(saveChanges->isEnabled());
        QTest::mouseClick(saveChanges, Qt::LeftButton);
        QTRY_VERIFY(storedTag(u"Job"_qs) && !saveChanges->isEnabled());
        QCOMPARE(storedTag(u"Job"_qs)->shortcutKey(), u"w"_qs); // the key as Things 3 has it
        QCOMPARE(key->text(), u" "_qs);                         // and the one typed, with why
        QVERIFY(shown<QLabel>(u"shortcutProblem"_qs, editor()));

        retype(key, u"j"_qs);
        QVERIFY(!shown<QLabel>(u"shortcutProblem"_qs, editor()) && saveChanges->isEnabled());
        QVERIFY(!QAccessible::queryAccessibleInterface(key)->text(QAccessible::Description).contains(why));
    }

    // Tags with different parents show "None" as the batch editor opens: no choice of the user's,
    // nothing asked. A parent chosen is asked about when another tag is clicked, the window closes or
    // the application quits.
    void theBatchEditorAsksBeforeAParentChosenIsLost() {
        QVERIFY(selectRows(m_window, {u"Errands"_qs, u"Important"_qs}) && pane());
        QVERIFY(clickRow(m_window, u"Home"_qs));
        QCOMPARE(selection(m_window), QStringList{u"Home"_qs});
        QVERIFY(!box(u"saveChangesQuestion"_qs));

        // "Save" moves them, with no result to dismiss, and the click goes through.
        QVERIFY(selectRows(m_window, {u"Urgent"_qs, u"Important"_qs}) && pane());
        QVERIFY(chooseParent(pane(), u"Work"_qs));
        QVERIFY(clickRow(m_window, u"Home"_qs));
        QMessageBox* asked = question();
        QVERIFY(asked && asked->text() == u"Save changes to 2 tags?"_qs);
        QCOMPARE(selection(m_window), (QStringList{u"Important"_qs, u"Urgent"_qs}));
        QVERIFY(press(u"answerSave"_qs, asked));
        QTRY_COMPARE(selection(m_window), QStringList{u"Home"_qs});
        QCOMPARE(parentOf(u"Urgent"_qs) + parentOf(u"Important"_qs), u"WorkWork"_qs);
        QVERIFY(!shown<BatchResultSheet>(u"batchResult"_qs));

        // The window closed: "Cancel" keeps it and the choice. Quit: "Don't Save" gives the choice up.
        QVERIFY(selectRows(m_window, {u"Anna"_qs, u"Ben"_qs}) && pane());
        QVERIFY(chooseParent(pane(), u"Family"_qs));
        leave(m_window, windowClosed);
        QVERIFY(press(u"answerCancel"_qs, question()));
        QVERIFY(m_window->isVisible());
        QCOMPARE(pane()->findChild<QComboBox*>(u"parentPicker"_qs)->currentText(), u"Family"_qs);
        QPointer<MainWindow> window = m_window;
        leave(m_window, quitting);
        QVERIFY(press(u"answerDontSave"_qs, question()));
        QTRY_VERIFY(!window);
        QCOMPARE(parentOf(u"Anna"_qs) + parentOf(u"Ben"_qs), u"PeoplePeople"_qs);
    }

    // The sheet stands in front of its window: the window closing or a quit from another window asks
    // about the name typed there, with the sheet's own "Create Tag".
    void theCreationSheetAsksBeforeANameTypedIsLost() {
        content(m_window).newTagAction()->trigger();
        TagCreateView* sheet = content(m_window).createSheet();
        QTest::keyClicks(nameField(sheet), u" Ideas "_qs);
        QPointer<MainWindow> first = m_window;
        MainWindow* second = m_app->newMainWindow();
        second->show();
        leave(second, quitting);
        QMessageBox* asked = question(sheet);
        QVERIFY(asked && asked->text() == u"Save the new tag \u201CIdeas\u201D?"_qs);
        QCOMPARE(spokenName(asked->findChild<QPushButton*>(u"answerSave"_qs)), u"Create Tag"_qs);
        QVERIFY(press(u"answerCancel"_qs, asked));
        QVERIFY(first->isVisible() && second->isVisible() && content(first).createSheet());

        // "Create Tag": the tag is made, the sheet and its window close, and the quit goes on.
        leave(second, quitting);
        QVERIFY(press(u"answerSave"_qs, question(sheet)));
        QTRY_VERIFY(!first && !second->isVisible());
        QVERIFY(storedTag(u"Ideas"_qs));

        // "Don't Save" as the window closes: no tag, and the window goes.
        m_window = m_app->newMainWindow();
        m_window->show();
        content(m_window).newTagAction()->trigger();
        sheet = content(m_window).createSheet();
        QTest::keyClicks(nameField(sheet), u"Someday Maybe"_qs);
        QPointer<MainWindow> window = m_window;
        leave(m_window, windowClosed);
        QVERIFY(press(u"answerDontSave"_qs, question(sheet)));
        QTRY_VERIFY(!window);
        QVERIFY(!storedTag(u"Someday Maybe"_qs));
    }
};

QTEST_MAIN(UnsavedEditTests)
#include "UnsavedEditTests.moc"
