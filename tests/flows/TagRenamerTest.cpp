// Renaming many tags by a pattern: what the rules make of the names, which renames are flagged, and
// the run against the stand-in's library in memory.
#include "TagRenamer.h"

#include "EditFixture.h"

using namespace orvalet;

namespace {

using TagRenamerTest = test::EditTest;
using Rules = TagRenamer::Rules;
using Case = TagRenamer::CaseChange;

// The plan as "old→new" per row, with a short word for the flag of a flagged one.
QString shown(const TagRenamer::Plan& plan) {
    if (plan.patternError) {
        return *plan.patternError;
    }
    QStringList rows;
    for (const TagRenamer::Row& row : plan.rows) {
        QString flag;
        if (row.problem) {
            const QString& p = *row.problem;
            flag = p.contains(u"empty")         ? u"empty"_qs
                   : p.contains(u"already has") ? u"taken"_qs
                   : p.contains(u"same name")   ? u"collides"_qs
                                                : p.section(u' ', 5, -5); // "a comma", "a tab"…
            flag = u" !"_qs + flag;
        }
        rows.append(row.oldName + u"→"_qs + row.newName + flag);
    }
    return rows.join(u"; ");
}

TEST_F(TagRenamerTest, theRulesRenameInTheirOrderAndFlagWhatThings3WouldRefuse) {
    tree(u"Home>Kids, Home>Garden, Work>Desk, Errands, errands list, Old: Taxes, Old: Bills, Kids2"_qs);
    const struct {
        const char* what;
        Rules rules;
        QStringList scope; // every tag when empty
        QString expected;
    } cases[] = {
        {"regular expression with groups",
         {u"^(\\w+) (\\w+)$"_qs, u"\\2 \\1"_qs, true},
         {},
         u"errands list→list errands"_qs},
        {"plain text ignoring case", {u"HOME"_qs, u"House"_qs}, {}, u"Home→House"_qs},
        {"plain text matching case", {u"HOME"_qs, u"House"_qs, false, true}, {}, u""_qs},
        {"title case, the tag's own name in another case is not taken",
         {{}, {}, false, false, Case::title},
         {},
         u"errands list→Errands List"_qs},
        {"upper case",
         {{}, {}, false, false, Case::upper},
         {u"Desk"_qs, u"Old: Bills"_qs},
         u"Desk→DESK; Old: Bills→OLD: BILLS"_qs},
        {"prefix removed first, then replaced, cased, and added last",
         {u"b"_qs, u"p"_qs, false, false, Case::lower, u"old: "_qs, u"Archive/"_qs},
         {u"Old: Taxes"_qs, u"Old: Bills"_qs},
         u"Old: Bills→Archive/pills; Old: Taxes→Archive/taxes"_qs},
        {"a name another tag has, ignoring case",
         {u"Errands"_qs, u"home"_qs, false, true},
         {},
         u"Errands→home !taken"_qs},
        // Kids is renamed too, but has its name until Things 3 took that: no order could send both.
        {"a name a renamed tag has now",
         {u"2$|s$"_qs, u""_qs, true, true},
         {u"Kids"_qs, u"Kids2"_qs},
         u"Kids→Kid; Kids2→Kids !taken"_qs},
        {"two renames to one name, ignoring case",
         {u"^(Garden|desk)$"_qs, u"Yard"_qs, true},
         {},
         u"Desk→Yard !collides; Garden→Yard !collides"_qs},
        {"empty and space-only",
         {u"^(Desk|Garden)$"_qs, u" "_qs, true},
         {},
         u"Desk→  !empty; Garden→  !empty"_qs},
        {"a comma", {u"s"_qs, u","_qs, false, true}, {u"Desk"_qs}, u"Desk→De,k !a comma"_qs},
        {"a line break", {u"s"_qs, u"\n"_qs, false, true}, {u"Desk"_qs}, u"Desk→De\nk !a line break"_qs},
        {"a tab", {u"s"_qs, u"\t"_qs, false, true}, {u"Desk"_qs}, u"Desk→De\tk !a tab"_qs},
        {"a control character",
         {u"s"_qs, u"\u0007"_qs, false, true},
         {u"Desk"_qs},
         u"Desk→De\u0007k !a control character"_qs},
        {"an invalid regular expression",
         {u"(abc"_qs, u"x"_qs, true},
         {},
         u"Invalid regular expression: missing closing parenthesis (at offset 4)."_qs},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::optional<QSet<QString>> scope;
        if (!c.scope.isEmpty()) {
            scope.emplace();
            for (const TagPtr& tag : store->allTags()) {
                if (c.scope.contains(tag->name())) {
                    scope->insert(tag->id());
                }
            }
        }
        EXPECT_EQ(shown(TagRenamer::plan(c.rules, TagRenamer::snapshot(store->allTags(), scope))),
                  c.expected);
    }
}

// The preview shows each row with its place in the tree, and the run sends the renames that can go,
// after the question that says how many are left out; undo puts every name back in one step.
TEST_F(TagRenamerTest, renamesGoToThings3AndTheStoreAndUndoPutsEveryNameBack) {
    auto t = tree(u"Home>Errands list, Home>Chores list, Calls list, Reading list, Reading, errands-list"_qs);
    endTurn();
    TagRenamer renamer(*store, *preferences, *worker, {});
    EXPECT_FALSE(renamer.onlySelected());
    renamer.setRules({u"^(\\w+)[ -]list$"_qs, u"\\1"_qs, true});
    EXPECT_TRUE(renamer.isComputing());
    EXPECT_FALSE(renamer.canRename()); // not before the preview follows the rules
    QCoro::waitFor(renamer.updatePreview());
    EXPECT_EQ(shown(renamer.preview()),
              u"Calls list→Calls; Chores list→Chores; Errands list→Errands !collides; "
              u"Reading list→Reading !taken; errands-list→errands !collides"_qs);
    EXPECT_EQ(renamer.preview().rows[1].ancestorPath, u"Home"_qs);
    EXPECT_EQ(renamer.renameLabel(), u"Rename 2 Tags"_qs);

    QCoro::waitFor(renamer.requestRename());
    ASSERT_TRUE(renamer.showLeftOutQuestion());
    EXPECT_EQ(renamer.leftOutMessage(), u"3 renames have problems and are left out."_qs);
    EXPECT_TRUE(sent().isEmpty());
    QCoro::waitFor(renamer.confirmRename());

    EXPECT_EQ(sent().size(), 1); // by identifier, in one program
    EXPECT_EQ(renamer.resultState(), BatchResultState::success({u"Calls list"_qs, u"Chores list"_qs}));
    EXPECT_EQ(inThings(t[u"Chores list"_qs]->id()), u"Chores:Home");
    EXPECT_EQ(storedTags(), u"Calls:-:-, Chores:Home:-, Errands list:Home:-, Home:-:-, Reading list:-:-, "
                            u"Reading:-:-, errands-list:-:-"_qs);
    // The preview follows the store: the renamed tags no longer match.
    endTurn();
    QCoro::waitFor(renamer.updatePreview());
    EXPECT_EQ(renamer.preview().rows.size(), 3);

    UndoHistory& history = UndoHistory::forStore(*store);
    EXPECT_EQ(history.undoText(), u"Undo Rename 2 Tags"_qs);
    QCoro::waitFor(history.undo(*worker, *preferences));
    EXPECT_EQ(inThings(t[u"Chores list"_qs]->id()), u"Chores list:Home");
    EXPECT_EQ(inThings(t[u"Calls list"_qs]->id()), u"Calls list:-");
    EXPECT_EQ(storedTags(), u"Calls list:-:-, Chores list:Home:-, Errands list:Home:-, Home:-:-, "
                            u"Reading list:-:-, Reading:-:-, errands-list:-:-"_qs);
}

// A tag gone from Things 3 stops the run there, as the batch move stops; by name, a program a tag.
TEST_F(TagRenamerTest, aFailurePartWayIsReportedAsTheBatchReportsIt) {
    for (const bool byId : {true, false}) {
        SCOPED_TRACE(byId ? "by identifier" : "by name");
        preferences->setFlag(PreferenceKey::findTagsById, byId);
        const QString n = byId ? u"1"_qs : u"2"_qs;
        auto t = tree(u"a"_qs + n + u", b"_qs + n + u", c"_qs + n + u", d"_qs + n);
        library.deleteTag(t[u"c"_qs + n]->id());
        endTurn();
        TagRenamer renamer(
            *store, *preferences, *worker,
            {t[u"a"_qs + n]->id(), t[u"b"_qs + n]->id(), t[u"c"_qs + n]->id(), t[u"d"_qs + n]->id()});
        renamer.setRules({{}, {}, false, false, Case::upper});
        QCoro::waitFor(renamer.updatePreview());
        const qsizetype before = sent().size();
        QCoro::waitFor(renamer.requestRename());

        EXPECT_EQ(sent().size() - before, byId ? 1 : 3);
        const BatchResultState& result = *renamer.resultState();
        EXPECT_EQ(result.failedTag(), u"c"_qs + n);
        EXPECT_TRUE(result.error().contains(byId ? u"no longer in Things 3"_qs : u"Can\u2019t get tag"_qs))
            << result.error().toStdString();
        EXPECT_EQ(result.alreadyUpdated(), (QStringList{u"a"_qs + n, u"b"_qs + n}));
        EXPECT_EQ(result.notAttempted(), QStringList{u"d"_qs + n});
        EXPECT_EQ(inStore(t[u"b"_qs + n]->id()), u"B"_qs + n + u":-"_qs);
        EXPECT_EQ(inThings(t[u"d"_qs + n]->id()), u"d"_qs + n + u":-"_qs);
        EXPECT_EQ(UndoHistory::forStore(*store).undoText(), u"Undo Rename 2 Tags"_qs);
    }
}

// Each change of the rules makes the answer of every earlier one count for nothing.
TEST_F(TagRenamerTest, onlyTheNewestPreviewIsShown) {
    tree(u"Alpha, Beta"_qs);
    endTurn();
    TagRenamer renamer(*store, *preferences, *worker, {});
    renamer.setRules({u"a"_qs, u"o"_qs});
    QCoro::Task<> stale = renamer.updatePreview();
    renamer.setRules({u"e"_qs, u"i"_qs});
    QCoro::waitFor(std::move(stale));
    // Still waiting for the newest, unless the newest came in first (its moment may have passed).
    EXPECT_TRUE(renamer.isComputing() || shown(renamer.preview()) == u"Beta→Bita"_qs);
    QCoro::waitFor(renamer.updatePreview());
    EXPECT_EQ(shown(renamer.preview()), u"Beta→Bita"_qs);
}

} // namespace
