// The batch editor's rules and runs, against the stand-in's library in memory (its interpreter run
// through Orvalet's engine seam, every program recorded), and the sheet that shows a run's result.
#include "BatchEditor.h"

#include "BatchResultState.h"
#include "EditFixture.h"

#include <QSignalSpy>

using namespace orvalet;
using orvalet::test::names;

namespace {

using BatchEditorTest = test::EditTest;

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

    // A selection change keeps the choice: it is not recomputed to "None".
    const TagPtr a = store->tag(u"a1"_qs), b = store->tag(u"b1"_qs); // below P
    BatchEditor& batch = batchOf({a, b});
    QSignalSpy changes(&batch, &BatchEditor::changed);
    batch.setSelectedTags({store->tag(u"b2"_qs), a, b});
    EXPECT_EQ(changes.size(), 1);
    EXPECT_EQ(batch.selectedParentId(), u"p");
    EXPECT_TRUE(batch.canSave());
    batch.setSelectedParentId(std::nullopt);
    batch.setSelectedTags({a, b});
    EXPECT_EQ(batch.selectedParentId(), std::nullopt);
    batch.setSelectedTags({a});
    EXPECT_EQ(batch.deleteConfirmationTitle(), u"Delete 1 tag?");
}

TEST_F(BatchEditorTest, parentChoicesIgnoreCaseWhileSelectedRowsKeepPlainOrder) {
    auto t = tree(u"Banana>Cherry>Grape, apple, date>Kiwi, Elder, \u00e9clair, yak, Zulu"_qs);
    const TagPtr lime = add(u"l"_qs, u"Lime"_qs, u"ghost"_qs);
    add(u"m"_qs, u"Mango"_qs, u"ghost"_qs); // its parent is unresolved; it is still offered
    BatchEditor& batch = batchOf({t[u"apple"_qs], t[u"Kiwi"_qs], t[u"Banana"_qs], lime});

    QStringList rows;
    for (const BatchEditor::SelectedRow& row : batch.selectedRows()) {
        rows.append(row.tag->name() + u'|' + row.ancestorPath.value_or(u"-"_qs));
    }
    EXPECT_EQ(rows.join(u", "), u"Banana|-, Kiwi|date, Lime|-, apple|-");
    // Neither a selected tag nor anything below one (Cherry, Grape); accents count after the letters.
    EXPECT_EQ(names(batch.parentChoices()).join(u", "), u"date, \u00e9clair, Elder, Mango, yak, Zulu");
    for (const TagPtr& tag : store->allTags()) { // the closed picker's look-up agrees
        EXPECT_EQ(batch.parentChoice(tag->id()) != nullptr, batch.parentChoices().contains(tag));
    }

    // The choices follow the store, and the editor says so.
    QSignalSpy changes(&batch, &BatchEditor::changed);
    add(u"f"_qs, u"fig"_qs);
    add(u"F"_qs, u"Fig"_qs); // equal ignoring case: the plain order decides
    endTurn();
    EXPECT_GE(changes.size(), 1);
    EXPECT_EQ(names(batch.parentChoices()).join(u", "),
              u"date, \u00e9clair, Elder, Fig, fig, Mango, yak, Zulu");
}

// ---- Save ----

TEST_F(BatchEditorTest, theSecondOfThreeFailingStopsTheRunAndARetrySendsOnlyWhatIsLeft) {
    auto t = tree(u"Target, Alpha, Bravo, Charlie"_qs);
    const QString target = t[u"Target"_qs]->id();
    library.setParent(target, t[u"Bravo"_qs]->id()); // in Things 3 only: Bravo cannot go below Target
    BatchEditor& batch = batchOf({t[u"Alpha"_qs], t[u"Bravo"_qs], t[u"Charlie"_qs]});
    batch.setSelectedParentId(target);

    QCoro::Task<> save = batch.saveChanges();
    EXPECT_FALSE(batch.canSave() || batch.canDelete() || batch.canRefresh());
    QCoro::waitFor(batch.refreshFromThings()); // refused while busy
    QCoro::waitFor(std::move(save));

    EXPECT_EQ(sent().size(), 1); // the three in one program, which stops at Bravo
    EXPECT_TRUE(refreshingCalls.isEmpty());
    EXPECT_EQ(storedTags(), u"Alpha:Target:-, Bravo:-:-, Charlie:-:-, Target:-:-");
    EXPECT_EQ(
        batch.resultState(),
        BatchResultState::failure(u"Bravo"_qs,
                                  u"AppleScript error: Things3 got an error: Tag \"Bravo\" can\u2019t be "
                                  u"put inside itself or a tag below it."_qs,
                                  {u"Alpha"_qs})
            .withNotAttempted({u"Charlie"_qs})); // never tried: named too

    batch.dismissResult();
    EXPECT_EQ(doneCalls, 0);
    EXPECT_TRUE(batch.canSave());

    library.setParent(target, QString()); // the way is clear now
    QCoro::waitFor(batch.saveChanges());
    EXPECT_EQ(sent().size(), 2);
    EXPECT_EQ(storedTags(), u"Alpha:Target:-, Bravo:Target:-, Charlie:Target:-, Target:-:-");
    EXPECT_EQ(batch.resultState(), BatchResultState::success({u"Alpha"_qs, u"Bravo"_qs, u"Charlie"_qs}));
    batch.dismissResult();
    EXPECT_EQ(doneCalls, 1);
}

// Things 3 refuses a parent of `missing value`, as the stand-in does: "None" deletes the parent, also
// of a tag whose stored parent is not stored (whatever it is in Things 3, the tag ends up top-level).
// A chosen parent deleted from the list while the pane was open sends nothing.
TEST_F(BatchEditorTest, toNoneDeletesTheParentsAndAParentGoneFromTheStoreSendsNothing) {
    auto t = tree(u"Home>Kid, Top, Target>Already, Moving"_qs);
    const TagPtr stray = add(library.makeTag(u"Stray"_qs), u"Stray"_qs, u"ghost"_qs);
    QCoro::waitFor(batchOf({stray, t[u"Kid"_qs], t[u"Top"_qs]}).saveChanges());
    ASSERT_EQ(sent().size(), 1);
    EXPECT_TRUE(sent().first().contains(u"set newParents to {\"\", \"\"}"_qs))
        << sent().first().toStdString();
    EXPECT_EQ(inThings(t[u"Kid"_qs]->id()), u"Kid:-");
    EXPECT_EQ(storedTags(),
              u"Already:Target:-, Home:-:-, Kid:-:-, Moving:-:-, Stray:-:-, Target:-:-, Top:-:-");
    EXPECT_EQ(batch->resultState(), BatchResultState::success({u"Stray"_qs, u"Kid"_qs, u"Top"_qs}));

    batchOf({t[u"Already"_qs], t[u"Moving"_qs]}).setSelectedParentId(t[u"Target"_qs]->id());
    store->remove(t[u"Target"_qs]);
    QCoro::waitFor(batch->saveChanges());
    EXPECT_EQ(sent().size(), 1);
    EXPECT_EQ(inThings(t[u"Moving"_qs]->id()), u"Moving:-");
    EXPECT_EQ(batch->resultState(),
              BatchResultState::failure(u"Moving"_qs, BatchEditor::missingParentMessage(), {u"Already"_qs}));
}

// ---- Refresh ----

TEST_F(BatchEditorTest, refreshTakesWhatThingsReportsAndLeavesTheMissingAlone) {
    const RefreshCase c = prepareRefresh();
    BatchEditor& batch = batchOf({store->tag(c.a), store->tag(u"gone"_qs), store->tag(c.b)});
    QCoro::Task<> refresh = batch.refreshFromThings();
    EXPECT_FALSE(batch.canSave() || batch.canDelete() || batch.canRefresh());
    QCoro::waitFor(std::move(refresh));

    EXPECT_EQ(refreshingCalls, (QStringList{u"on:3"_qs, u"off:0"_qs}));
    expectRefreshed(c);
    EXPECT_EQ(batch.resultState(), std::nullopt); // no result sheet
}

TEST_F(BatchEditorTest, runsThatOutliveThePaneStillReachTheStoreAndLowerTheOverlay) {
    auto t = tree(u"Target, Moving"_qs);
    const TagPtr renamed = add(library.makeTag(u"Renamed"_qs), u"Old name"_qs);
    batchOf({t[u"Moving"_qs]}).setSelectedParentId(t[u"Target"_qs]->id());
    std::unique_ptr<BatchEditor> saving = std::move(batch);
    QCoro::Task<> save = saving->saveChanges();
    QCoro::Task<> refresh = batchOf({renamed}).refreshFromThings();

    saving.reset(); // the selection changed while Things 3 was answering: both panes are gone
    batch.reset();
    QCoro::waitFor(std::move(save));
    QCoro::waitFor(std::move(refresh));
    EXPECT_EQ(storedTags(), u"Moving:Target:-, Renamed:-:0, Target:-:-");
    EXPECT_EQ(refreshingCalls, (QStringList{u"on:1"_qs, u"off:0"_qs}));
    EXPECT_EQ(doneCalls, 0);
}

// ---- Delete ----

// With tags found by their stored names, as the plain programs do, a tag Things 3 no longer has fails.
TEST_F(BatchEditorTest, deleteRemovesEachTreeAndCallsDoneEvenWhenSomeFail) {
    preferences->setFlag(PreferenceKey::findTagsById, false);
    auto t = tree(u"Home>Kids>Homework, Home>Garden, Work>Desk, Other"_qs);
    const TagPtr old = add(u"old"_qs, u"Old"_qs); // Things 3 no longer has it
    add(u"older"_qs, u"Older"_qs, u"old"_qs);
    BatchEditor& batch = batchOf({t[u"Home"_qs], old, t[u"Work"_qs]});

    QCoro::waitFor(batch.requestDelete());
    EXPECT_TRUE(batch.showDeleteConfirmation());
    batch.cancelDelete();
    EXPECT_FALSE(batch.showDeleteConfirmation());
    QCoro::waitFor(batch.requestDelete());
    QCoro::Task<> deletion = batch.confirmDelete();
    EXPECT_FALSE(batch.showDeleteConfirmation());
    EXPECT_FALSE(batch.canDelete() || batch.canRefresh());
    QCoro::waitFor(std::move(deletion));

    EXPECT_EQ(test::withoutTreeReads(sent()), (QStringList{ThingsService::deleteTagScript(u"Home"_qs),
                                                           ThingsService::deleteTagScript(u"Old"_qs),
                                                           ThingsService::deleteTagScript(u"Work"_qs)}));
    EXPECT_EQ(storedTags(), u"Old:-:-, Older:Old:-, Other:-:-");
    EXPECT_EQ(library.tagCount(), 1);
    EXPECT_EQ(doneCalls, 1);
    EXPECT_FALSE(batch.showResult());

    // By identifier the three go in one program. The one Things 3 refuses stops it, and the run goes
    // on after it, in a program of its own for the one tag left, as it would with a program each.
    preferences->setFlag(PreferenceKey::findTagsById, true);
    auto u = tree(u"Shed>Tools, Attic, Cellar"_qs);
    hookPrograms([attic = u[u"Attic"_qs]->id()](const QString& program, const ScriptEngine& things) {
        return things.run(test::refusing(program, attic, u"error \"Refused.\" number -10000"_qs));
    });
    BatchEditor& byId = batchOf({u[u"Shed"_qs], u[u"Attic"_qs], u[u"Cellar"_qs]});
    const qsizetype before = sent().size();
    QCoro::waitFor(byId.confirmDelete());
    EXPECT_EQ(test::withoutTreeReads(sent().mid(before)).size(), 2);
    EXPECT_EQ(storedTags(), u"Attic:-:-, Old:-:-, Older:Old:-, Other:-:-");
    ASSERT_EQ(byId.deleteFailures().size(), 1);
    EXPECT_EQ(byId.deleteFailures().first().name + u": "_qs + byId.deleteFailures().first().error,
              u"Attic: AppleScript error: Refused."_qs);
}

// A selected tag below another selected tag: whichever comes first, every record leaves the store
// once, and a tag already gone with its ancestor is not sent.
TEST_F(BatchEditorTest, nestedSelectionsRemoveEveryRecordOnceAndSendNothingForATagAlreadyGone) {
    both(u"Work"_qs);
    for (const bool ancestorFirst : {true, false}) {
        SCOPED_TRACE(ancestorFirst ? "ancestor first" : "descendant first");
        auto t = tree(u"Home>Kids>Homework, Home>Garden"_qs);
        const TagPtr home = t[u"Home"_qs], kids = t[u"Kids"_qs];
        const qsizetype before = sent().size();
        QCoro::waitFor(
            batchOf(ancestorFirst ? QList<TagPtr>{home, kids} : QList<TagPtr>{kids, home}).confirmDelete());
        // By identifier, the tags sent go in one program; Homework, below both, is never named.
        EXPECT_EQ(test::withoutTreeReads(sent().mid(before)),
                  QStringList{ancestorFirst ? ThingsService::deleteTagGroupScript({{home->id(), u"Home"_qs}})
                                            : ThingsService::deleteTagGroupScript(
                                                  {{kids->id(), u"Kids"_qs}, {home->id(), u"Home"_qs}})});
        EXPECT_EQ(storedTags(), u"Work:-:-");
    }
    EXPECT_EQ(doneCalls, 2);
}

// ---- The result sheet: what it shows for each outcome, beyond the headline the window's tests read ----

// The sheet as one line: the tint, the summary, the error, the caption of the names, and the names
// when it lists them.
QString sheet(const BatchResultState& state) {
    return QStringList{state.headlineTint() == BatchResultState::Tint::green ? u"green"_qs : u"red"_qs,
                       state.summary(), state.errorText().value_or(u"-"_qs),
                       state.namesCaption().value_or(u"-"_qs),
                       state.showsNames() ? u'[' + state.names().join(u", ") + u']' : u"no list"_qs}
        .join(u" | ");
}

TEST(BatchResultSheet, showsTheOutcomeTheErrorVerbatimAndWhatWasDoneBeforeIt) {
    using State = BatchResultState;
    const QString longError =
        u"AppleScript error: Things3 got an error: Can\u2019t get tag \"Work\". "_qs.repeated(8);
    const std::pair<State, QString> cases[] = {
        // One tag still reads "tag(s)"; the list shows even when empty.
        {State::success({u"Home"_qs}), u"green | 1 tag(s) updated successfully. | - | - | [Home]"_qs},
        {State::success({}), u"green | 0 tag(s) updated successfully. | - | - | []"_qs},
        {State::success({}).asDeletion(), u"green | No tag was deleted. | - | - | no list"_qs},
        {State::success({u"A"_qs}).asDeletion(), u"green | Deleted 1 tag: | - | - | [A]"_qs},
        {State::failure(u"Work"_qs, longError, {}),
         u"red | Failed on tag \"Work\": | "_qs + longError + u" | - | no list"_qs},
        {State::failure(u"Say \"hi\""_qs, u"e"_qs, {u"Zed"_qs, u"alpha"_qs}),
         u"red | Failed on tag \"Say \"hi\"\": | e | Already updated before failure: | [Zed, alpha]"_qs},
        {State::failure(u"B"_qs, u"e"_qs, {u"A"_qs}).asDeletion(),
         u"red | Failed on tag \"B\": | e | Deleted before the failure: | [A]"_qs},
    };
    for (const auto& [state, shown] : cases) {
        EXPECT_EQ(sheet(state), shown);
    }
}

} // namespace
