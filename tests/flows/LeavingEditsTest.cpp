// What the editors do when the window would drop an edit: whether there is one to ask about, and
// whether a save made on the way out went through; and a key the editor cannot send.
#include "BatchEditor.h"
#include "EditFixture.h"
#include "TagCreator.h"
#include "TagEditor.h"

#include <QSignalSpy>

using namespace orvalet;

namespace {

using LeavingEditsTest = test::EditTest;

// Runs `flow` to its end and gives back what it reported.
std::optional<bool> reported(const std::function<QCoro::Task<>(std::function<void(bool)>)>& flow) {
    std::optional<bool> result;
    QCoro::waitFor(flow([&result](bool done) { result = done; }));
    return result;
}

TEST_F(LeavingEditsTest, aKeyThatCannotBeSentIsLeftOutOfTheSaveAndIsNothingToAskAbout) {
    const TagPtr work = tree(u"Work"_qs).value(u"Work"_qs);
    library.setShortcut(work->id(), u"w"_qs);
    work->setShortcut(u"w"_qs);
    TagEditor& editor = edit(work);
    editor.setShortcutField(u" "_qs);
    EXPECT_FALSE(editor.isShortcutFieldValid() || editor.canSave() || editor.hasUnsavedChanges());

    editor.setNameField(u"Job"_qs);
    EXPECT_TRUE(editor.canSave() && editor.hasUnsavedChanges());
    QCoro::waitFor(editor.saveChanges());
    EXPECT_EQ(sent().size(), 1); // the rename alone
    EXPECT_EQ(editor.errorMessage(), std::nullopt);
    EXPECT_EQ(work->name() + u'=' + work->shortcutKey(), u"Job=w");
    EXPECT_EQ(library.tag(work->id())->shortcut, u"w");
    EXPECT_EQ(editor.shortcutField(), u" "); // still there, with the reason beside it
    EXPECT_FALSE(editor.hasUnsavedChanges());
}

TEST_F(LeavingEditsTest, theEditorSavesOnTheWayOutOnlyWhenAllOfItGoesThrough) {
    auto t = tree(u"Family, Home"_qs);
    TagEditor& editor = edit(t[u"Family"_qs]);
    EXPECT_FALSE(editor.hasUnsavedChanges());
    editor.setNameField(u"home"_qs);
    EXPECT_EQ(editor.saveChangesQuestion(), u"Save changes to \u201CFamily\u201D?");
    auto saveBeforeLeaving = [&editor](std::function<void(bool)> done) {
        return editor.saveBeforeLeaving(std::move(done));
    };
    EXPECT_EQ(reported(saveBeforeLeaving), false); // the warning shows instead
    EXPECT_TRUE(editor.showsDuplicateNameAlert());
    editor.dismissDuplicateNameAlert();

    editor.setNameField(u"Relatives"_qs);
    EXPECT_EQ(reported(saveBeforeLeaving), true);
    EXPECT_EQ(inThings(t[u"Family"_qs]->id()), u"Relatives:-");

    // "Don't Save": the fields show the record again.
    editor.setNameField(u"Kin"_qs);
    editor.setSelectedParentId(t[u"Home"_qs]->id());
    editor.discardChanges();
    EXPECT_EQ(editor.nameField() + u':' + editor.selectedParentId().value_or(u"-"_qs), u"Relatives:-");
    EXPECT_FALSE(editor.hasUnsavedChanges());
    EXPECT_EQ(reported(saveBeforeLeaving), false); // nothing to save is no save
}

// "None", shown for tags with different parents, is no choice of the user's; a choice is, until saved
// or given up. Saved on the way out, the move reports nothing.
TEST_F(LeavingEditsTest, theBatchEditorHasSomethingUnsavedOnlyOnceAParentIsChosen) {
    auto t = tree(u"P>A, Q>B, R"_qs);
    BatchEditor& editor = batchOf({t[u"A"_qs], t[u"B"_qs]});
    EXPECT_TRUE(editor.canSave());
    EXPECT_FALSE(editor.hasUnsavedChanges());
    editor.setSelectedParentId(t[u"R"_qs]->id());
    EXPECT_TRUE(editor.hasUnsavedChanges());
    EXPECT_EQ(editor.saveChangesQuestion(), u"Save changes to 2 tags?");
    editor.discardChanges();
    EXPECT_EQ(editor.selectedParentId(), std::nullopt);
    EXPECT_FALSE(editor.hasUnsavedChanges());

    editor.setSelectedParentId(t[u"R"_qs]->id());
    EXPECT_EQ(reported([&editor](auto done) { return editor.saveBeforeLeaving(std::move(done)); }), true);
    EXPECT_EQ(inThings(t[u"A"_qs]->id()) + u' ' + inThings(t[u"B"_qs]->id()), u"A:R B:R");
    EXPECT_FALSE(editor.showResult() || editor.hasUnsavedChanges());
    EXPECT_EQ(doneCalls, 0); // the window goes where it was going, not to an empty selection
}

// A name Things 3 already has is imported, without the alert that would keep the sheet open.
TEST_F(LeavingEditsTest, theSheetCreatesOnTheWayOutAndClosesEvenForAnImport) {
    library.makeTag(u"Errands"_qs);
    TagCreator creator(*store, *preferences, *worker);
    QSignalSpy closes(&creator, &TagCreator::closeRequested);
    creator.setName(u"  "_qs);
    EXPECT_FALSE(creator.hasUnsavedChanges());
    creator.setName(u" errands "_qs);
    EXPECT_TRUE(creator.hasUnsavedChanges());
    EXPECT_EQ(creator.saveQuestion(), u"Save the new tag \u201Cerrands\u201D?");
    EXPECT_EQ(reported([&creator](auto done) { return creator.createBeforeLeaving(std::move(done)); }), true);
    EXPECT_FALSE(creator.showsImportedExistingAlert());
    EXPECT_EQ(closes.size(), 1);
    EXPECT_EQ(storedTags(), u"Errands:-:0");
    EXPECT_FALSE(creator.hasUnsavedChanges());
}

} // namespace
