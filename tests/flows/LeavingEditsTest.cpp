// A key the editor cannot send.
#include "EditFixture.h"
#include "TagEditor.h"

using namespace orvalet;

namespace {

using LeavingEditsTest = test::EditTest;

TEST_F(LeavingEditsTest, aKeyThatCannotBeSentIsLeftOutOfTheSave) {
    const TagPtr work = tree(u"Work"_qs).value(u"Work"_qs);
    library.setShortcut(work->id(), u"w"_qs);
    work->setShortcut(u"w"_qs);
    TagEditor& editor = edit(work);
    editor.setShortcutField(u" "_qs);
    EXPECT_FALSE(editor.isShortcutFieldValid() || editor.canSave());

    editor.setNameField(u"Job"_qs);
    EXPECT_TRUE(editor.canSave());
    QCoro::waitFor(editor.saveChanges());
    EXPECT_EQ(sent().size(), 1); // the rename alone
    EXPECT_EQ(editor.errorMessage(), std::nullopt);
    EXPECT_EQ(work->name() + u'=' + work->shortcutKey(), u"Job=w");
    EXPECT_EQ(library.tag(work->id())->shortcut, u"w");
    EXPECT_EQ(editor.shortcutField(), u" "); // still there, with the reason beside it
    EXPECT_FALSE(editor.canSave());
}

} // namespace
