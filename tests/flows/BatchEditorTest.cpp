// The batch editor's rules and runs, against the stand-in's library in memory (its interpreter run
// through Orvalet's engine seam, every program recorded).
#include "BatchEditor.h"

#include "EditFixture.h"

#include <QSignalSpy>

using namespace orvalet;
using orvalet::test::names;

namespace {

class BatchEditorTest : public test::EditTest {
public:
    // The library's parent of the tag called `name`, by name; "-" for none.
    QString libraryParent(const QString& name) const {
        const standin::LibraryTag* tag = library.tag(*library.tagIdByName(name));
        return tag->parentId.isEmpty() ? u"-"_qs : library.tag(tag->parentId)->name;
    }
};

// ---- Parent choice and enabled rules ----

// The parent the selected tags share is chosen at first, and has nothing to save; another choice has.
TEST_F(BatchEditorTest, theInitialParentIsTheOneAllSelectedTagsShare) {
    add(u"p"_qs, u"P"_qs);
    add(u"q"_qs, u"Q"_qs);
    const std::tuple<const char*, std::optional<QString>, std::optional<QString>, std::optional<QString>>
        cases[] = {
            {"same parent", u"p"_qs, u"p"_qs, u"p"_qs},
            {"different parents", u"p"_qs, u"q"_qs, std::nullopt},
            {"both top-level", std::nullopt, std::nullopt, std::nullopt},
            {"one top-level", u"p"_qs, std::nullopt, std::nullopt},
            {"the same unresolved parent", u"ghost"_qs, u"ghost"_qs, u"ghost"_qs},
        };
    int round = 0;
    for (const auto& [what, first, second, chosen] : cases) {
        SCOPED_TRACE(what);
        const QString n = QString::number(++round);
        BatchEditor& editor =
            batchOf({add(u"a"_qs + n, u"A"_qs + n, first), add(u"b"_qs + n, u"B"_qs + n, second)});
        EXPECT_EQ(editor.selectedParentId(), chosen);
        EXPECT_EQ(editor.canSave(), first != second);
        EXPECT_TRUE(editor.canDelete() && editor.canRefresh());
        editor.setSelectedParentId(chosen == u"q" ? u"p"_qs : u"q"_qs);
        EXPECT_TRUE(editor.canSave());
    }
}

TEST_F(BatchEditorTest, parentChoicesIgnoreCaseWhileSelectedRowsKeepPlainOrder) {
    const TagPtr banana = add(u"b"_qs, u"Banana"_qs);
    add(u"c"_qs, u"Cherry"_qs, u"b"_qs);
    add(u"g"_qs, u"Grape"_qs, u"c"_qs);
    const TagPtr apple = add(u"a"_qs, u"apple"_qs);
    add(u"d"_qs, u"date"_qs);
    const TagPtr kiwi = add(u"k"_qs, u"Kiwi"_qs, u"d"_qs);
    const TagPtr lime = add(u"l"_qs, u"Lime"_qs, u"ghost"_qs);
    add(u"e"_qs, u"Elder"_qs);
    add(u"\u00e9"_qs, u"\u00e9clair"_qs);
    add(u"m"_qs, u"Mango"_qs, u"ghost"_qs); // its parent is unresolved; it is still offered
    add(u"y"_qs, u"yak"_qs);
    add(u"z"_qs, u"Zulu"_qs);
    BatchEditor& batch = batchOf({apple, kiwi, banana, lime});

    EXPECT_EQ(batch.selectedTagsHeader(), u"Selected Tags (4)");
    QStringList rows;
    for (const BatchEditor::SelectedRow& row : batch.selectedRows()) {
        rows.append(row.tag->name() + u'|' + row.ancestorPath.value_or(u"-"_qs));
    }
    EXPECT_EQ(rows, (QStringList{u"Banana|-"_qs, u"Kiwi|date"_qs, u"Lime|-"_qs, u"apple|-"_qs}));
    // Neither a selected tag nor anything below one (Cherry, Grape); accents count after the letters.
    EXPECT_EQ(names(batch.parentChoices()),
              (QStringList{u"date"_qs, u"\u00e9clair"_qs, u"Elder"_qs, u"Mango"_qs, u"yak"_qs, u"Zulu"_qs}));

    // The choices follow the store, and the editor says so.
    QSignalSpy changes(&batch, &BatchEditor::changed);
    add(u"f"_qs, u"fig"_qs);
    add(u"F"_qs, u"Fig"_qs); // equal ignoring case: the plain order decides
    endTurn();
    EXPECT_GE(changes.size(), 1);
    EXPECT_EQ(names(batch.parentChoices()),
              (QStringList{u"date"_qs, u"\u00e9clair"_qs, u"Elder"_qs, u"Fig"_qs, u"fig"_qs, u"Mango"_qs,
                           u"yak"_qs, u"Zulu"_qs}));
}

TEST_F(BatchEditorTest, aSelectionChangeKeepsTheParentChoice) {
    add(u"p"_qs, u"P"_qs);
    add(u"q"_qs, u"Q"_qs);
    const TagPtr a = add(u"a"_qs, u"A"_qs, u"p"_qs);
    const TagPtr b = add(u"b"_qs, u"B"_qs, u"p"_qs);
    const TagPtr c = add(u"c"_qs, u"C"_qs, u"q"_qs);
    BatchEditor& batch = batchOf({a, b});
    ASSERT_EQ(batch.selectedParentId(), u"p");

    QSignalSpy changes(&batch, &BatchEditor::changed);
    batch.setSelectedTags({c, a, b});
    EXPECT_EQ(changes.size(), 1);
    EXPECT_EQ(batch.selectedParentId(), u"p"); // not recomputed to "None"
    EXPECT_TRUE(batch.canSave());
    EXPECT_EQ(batch.selectedTagsHeader(), u"Selected Tags (3)");
    EXPECT_EQ(batch.deleteConfirmationTitle(), u"Delete 3 tags?");
    EXPECT_EQ(names(batch.parentChoices()), (QStringList{u"P"_qs, u"Q"_qs}));

    batch.setSelectedParentId(std::nullopt);
    batch.setSelectedTags({a, b});
    EXPECT_EQ(batch.selectedParentId(), std::nullopt);
    batch.setSelectedTags({a});
    EXPECT_EQ(batch.deleteConfirmationTitle(), u"Delete 1 tag?");
}

// ---- Save ----

TEST_F(BatchEditorTest, theSecondOfThreeFailingStopsTheRunAndARetrySendsOnlyWhatIsLeft) {
    const TagPtr target = both(u"Target"_qs);
    const TagPtr alpha = both(u"Alpha"_qs);
    const TagPtr bravo = both(u"Bravo"_qs);
    const TagPtr charlie = both(u"Charlie"_qs);
    library.setParent(target->id(), bravo->id()); // in Things 3 only: Bravo cannot go below Target
    endTurn();
    const QDateTime charlieUpdatedAt = *charlie->updatedAt();
    BatchEditor& batch = batchOf({alpha, bravo, charlie});
    batch.setSelectedParentId(target->id());

    QCoro::Task<> save = batch.saveChanges();
    EXPECT_TRUE(batch.isSaving());
    EXPECT_FALSE(batch.canSave() || batch.canDelete() || batch.canRefresh());
    QCoro::waitFor(batch.refreshFromThings()); // refused while busy
    QCoro::waitFor(std::move(save));

    EXPECT_EQ(sent().size(), 2);
    EXPECT_TRUE(refreshingCalls.isEmpty());
    EXPECT_EQ(storedTags(),
              (QStringList{u"Alpha:Target:-"_qs, u"Bravo:-:-"_qs, u"Charlie:-:-"_qs, u"Target:-:-"_qs}));
    EXPECT_EQ(libraryParent(u"Alpha"_qs), u"Target");
    EXPECT_EQ(libraryParent(u"Charlie"_qs), u"-");
    EXPECT_EQ(*charlie->updatedAt(), charlieUpdatedAt);
    EXPECT_EQ(
        batch.resultState(),
        BatchResultState::failure(u"Bravo"_qs,
                                  u"AppleScript error: Things3 got an error: Tag \"Bravo\" can\u2019t be "
                                  u"put inside itself or a tag below it."_qs,
                                  {u"Alpha"_qs}));

    EXPECT_TRUE(batch.showResult());
    batch.dismissResult();
    EXPECT_FALSE(batch.showResult());
    EXPECT_EQ(doneCalls, 0);
    EXPECT_TRUE(batch.canSave());

    library.setParent(target->id(), QString()); // the way is clear now
    QCoro::waitFor(batch.saveChanges());
    EXPECT_EQ(sent().size(), 4);
    EXPECT_EQ(storedTags(), (QStringList{u"Alpha:Target:-"_qs, u"Bravo:Target:-"_qs, u"Charlie:Target:-"_qs,
                                         u"Target:-:-"_qs}));
    EXPECT_EQ(batch.resultState(), BatchResultState::success({u"Alpha"_qs, u"Bravo"_qs, u"Charlie"_qs}));
    EXPECT_FALSE(batch.canSave());
    batch.dismissResult();
    EXPECT_EQ(doneCalls, 1);
}

// Things 3 refuses a parent of `missing value`, as the stand-in does: "None" deletes the parent, also
// of a tag whose stored parent is not stored (whatever it is in Things 3, the tag ends up top-level).
TEST_F(BatchEditorTest, toNoneMakesTopLevelTagsByDeletingTheirParents) {
    const TagPtr home = both(u"Home"_qs);
    const TagPtr kid = both(u"Kid"_qs, home);
    const TagPtr stray = add(library.makeTag(u"Stray"_qs), u"Stray"_qs, u"ghost"_qs);
    const TagPtr top = both(u"Top"_qs);
    BatchEditor& batch = batchOf({stray, kid, top});
    ASSERT_EQ(batch.selectedParentId(), std::nullopt);
    ASSERT_TRUE(batch.canSave());

    QCoro::waitFor(batch.saveChanges());
    ASSERT_EQ(sent().size(), 2);
    for (const QString& program : sent()) {
        EXPECT_TRUE(program.contains(u"\n    delete parent tag of tag tagName\n"));
    }
    EXPECT_EQ(libraryParent(u"Kid"_qs), u"-");
    EXPECT_EQ(storedTags(), (QStringList{u"Home:-:-"_qs, u"Kid:-:-"_qs, u"Stray:-:-"_qs, u"Top:-:-"_qs}));
    EXPECT_EQ(batch.resultState(), BatchResultState::success({u"Stray"_qs, u"Kid"_qs, u"Top"_qs}));
}

TEST_F(BatchEditorTest, aChosenParentGoneFromTheStoreSendsNothing) {
    const TagPtr target = both(u"Target"_qs);
    const TagPtr already = add(library.makeTag(u"Already"_qs), u"Already"_qs, target->id());
    const TagPtr moving = both(u"Moving"_qs);
    BatchEditor& batch = batchOf({already, moving});
    batch.setSelectedParentId(target->id());
    store->remove(target); // deleted from the list while the pane was open

    QCoro::waitFor(batch.saveChanges());
    EXPECT_TRUE(sent().isEmpty());
    EXPECT_EQ(moving->parentTagId(), std::nullopt);
    EXPECT_EQ(libraryParent(u"Moving"_qs), u"-");
    EXPECT_EQ(batch.resultState(),
              BatchResultState::failure(u"Moving"_qs, BatchEditor::missingParentMessage(), {u"Already"_qs}));
}

// ---- Refresh ----

TEST_F(BatchEditorTest, refreshTakesWhatThingsReportsAndLeavesTheMissingAlone) {
    const RefreshCase c = prepareRefresh();
    BatchEditor& batch = batchOf({store->tag(c.a), store->tag(u"gone"_qs), store->tag(c.b)});
    QCoro::Task<> refresh = batch.refreshFromThings();
    EXPECT_TRUE(batch.isRefreshing());
    EXPECT_FALSE(batch.canSave() || batch.canDelete() || batch.canRefresh());
    EXPECT_EQ(refreshingCalls, QStringList{u"on:3"_qs});
    QCoro::waitFor(std::move(refresh));

    EXPECT_EQ(refreshingCalls, (QStringList{u"on:3"_qs, u"off:0"_qs}));
    expectRefreshed(c);
    EXPECT_FALSE(batch.showResult());
    EXPECT_EQ(batch.resultState(), std::nullopt);
    EXPECT_EQ(doneCalls, 0);
}

TEST_F(BatchEditorTest, runsThatOutliveThePaneStillReachTheStoreAndLowerTheOverlay) {
    const TagPtr target = both(u"Target"_qs);
    const TagPtr moving = both(u"Moving"_qs);
    const TagPtr renamed = add(library.makeTag(u"Renamed"_qs), u"Old name"_qs);
    BatchEditor& saving = batchOf({moving});
    saving.setSelectedParentId(target->id());
    std::unique_ptr<BatchEditor> refreshing = makeBatch({renamed});
    QCoro::Task<> save = saving.saveChanges();
    QCoro::Task<> refresh = refreshing->refreshFromThings();

    batch.reset(); // the selection changed while Things 3 was answering: both panes are gone
    refreshing.reset();
    QCoro::waitFor(std::move(save));
    QCoro::waitFor(std::move(refresh));
    EXPECT_EQ(storedTags(), (QStringList{u"Moving:Target:-"_qs, u"Renamed:-:0"_qs, u"Target:-:-"_qs}));
    EXPECT_EQ(refreshingCalls, (QStringList{u"on:1"_qs, u"off:0"_qs}));
    EXPECT_EQ(doneCalls, 0);
}

// ---- Delete ----

// With tags found by their stored names, as the plain programs do, a tag Things 3 no longer has fails.
TEST_F(BatchEditorTest, deleteRemovesEachTreeAndCallsDoneEvenWhenSomeFail) {
    preferences->setFlag(PreferenceKey::findTagsById, false);
    const TagPtr home = both(u"Home"_qs);
    const TagPtr kids = both(u"Kids"_qs, home);
    both(u"Homework"_qs, kids);
    both(u"Garden"_qs, home);
    const TagPtr old = add(u"old"_qs, u"Old"_qs); // Things 3 no longer has it
    add(u"older"_qs, u"Older"_qs, u"old"_qs);
    const TagPtr work = both(u"Work"_qs);
    both(u"Desk"_qs, work);
    both(u"Other"_qs);
    BatchEditor& batch = batchOf({home, old, work});

    batch.requestDelete();
    EXPECT_TRUE(batch.showDeleteConfirmation());
    EXPECT_EQ(batch.deleteConfirmationTitle(), u"Delete 3 tags?");
    batch.cancelDelete();
    EXPECT_FALSE(batch.showDeleteConfirmation());
    EXPECT_TRUE(sent().isEmpty());

    batch.requestDelete();
    QCoro::Task<> deletion = batch.confirmDelete();
    EXPECT_FALSE(batch.showDeleteConfirmation());
    EXPECT_TRUE(batch.isDeleting());
    EXPECT_FALSE(batch.canDelete() || batch.canRefresh());
    QCoro::waitFor(std::move(deletion));

    EXPECT_EQ(sent(), (QStringList{ThingsService::deleteTagScript(u"Home"_qs),
                                   ThingsService::deleteTagScript(u"Old"_qs),
                                   ThingsService::deleteTagScript(u"Work"_qs)}));
    EXPECT_EQ(storedTags(), (QStringList{u"Old:-:-"_qs, u"Older:Old:-"_qs, u"Other:-:-"_qs}));
    EXPECT_EQ(library.tagCount(), 1);
    EXPECT_FALSE(batch.isDeleting());
    EXPECT_EQ(doneCalls, 1);
    EXPECT_FALSE(batch.showResult());
}

// A selected tag below another selected tag: whichever comes first, every record leaves the store
// once, and a tag already gone with its ancestor is not sent.
TEST_F(BatchEditorTest, nestedSelectionsRemoveEveryRecordOnceAndSendNothingForATagAlreadyGone) {
    both(u"Work"_qs);
    for (const bool ancestorFirst : {true, false}) {
        SCOPED_TRACE(ancestorFirst ? "ancestor first" : "descendant first");
        const TagPtr home = both(u"Home"_qs);
        const TagPtr kids = both(u"Kids"_qs, home);
        both(u"Homework"_qs, kids);
        both(u"Garden"_qs, home);
        const qsizetype before = sent().size();
        QCoro::waitFor(
            batchOf(ancestorFirst ? QList<TagPtr>{home, kids} : QList<TagPtr>{kids, home}).confirmDelete());
        QStringList expected;
        for (const TagPtr& tag : ancestorFirst ? QList<TagPtr>{home} : QList<TagPtr>{kids, home}) {
            expected.append(ThingsService::deleteTagScript({tag->id(), tag->name()}, true));
        }
        EXPECT_EQ(sent().mid(before), expected);
        EXPECT_EQ(storedTags(), QStringList{u"Work:-:-"_qs});
        EXPECT_EQ(library.tagCount(), 1);
    }
    EXPECT_EQ(doneCalls, 2);
}

} // namespace
