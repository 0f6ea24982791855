#include "TagEditView.h"
#include "WindowFixture.h"

using namespace orvalet;

// A key the editor cannot send says why under its field.
class UnsavedEditTests final : public WindowFixture {
    Q_OBJECT

private:
    TagEditView* editor() { return content(m_window).tagEditView(); }
    QLineEdit* nameField(QWidget* in) { return shown<QLineEdit>(u"nameField"_qs, in); }
    static void retype(QLineEdit* field, const QString& text) {
        field->setFocus();
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, text);
    }
    static QString spokenName(QWidget* widget) {
        return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
    }

private Q_SLOTS:
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
        // The key alone is nothing to save.
        QVERIFY(!saveChanges->isEnabled());

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
};

QTEST_MAIN(UnsavedEditTests)
#include "UnsavedEditTests.moc"
