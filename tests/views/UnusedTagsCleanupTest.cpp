// The clean-up of unused tags without widgets: which tags it offers, how the checks behave, and the
// delete run against the stand-in's library in memory, every program recorded.
#include "UnusedTagsCleanup.h"

#include "EditFixture.h"
#include "TestPrinters.h"

#include <QCoroTask>

using namespace orvalet;

namespace orvalet {
void PrintTo(const BatchResultState& state, std::ostream* os) {
    *os << (state.isSuccess() ? "success" : "failure on ") << state.failedTag().toStdString() << " ("
        << state.error().toStdString() << ") " << state.names().join(u", ").toStdString();
}
} // namespace orvalet

namespace {

class UnusedTagsCleanupTest : public test::EditTest {
protected:
    // A tag in the library and the same tag in the store, with the store's open to-do count.
    TagPtr both(const QString& name, const TagPtr& parent = nullptr, std::optional<qint64> todos = 0) {
        const QString id = library.makeTag(name, parent ? parent->id() : QString());
        return add(id, name, parent ? std::optional(parent->id()) : std::nullopt, todos);
    }

    // The tree as the window lists it: one line per row, indented two spaces per level, "[x]" or
    // "[ ]" for the check.
    static QStringList rows(const UnusedTagsCleanup& cleanup) {
        QStringList lines;
        for (const UnusedTagsCleanup::Candidate& candidate : cleanup.candidates()) {
            lines.append(QString(candidate.depth * 2, u' ') + (candidate.checked ? u"[x] "_qs : u"[ ] "_qs) +
                         candidate.tag->name());
        }
        return lines;
    }

    QStringList deletePrograms(const QStringList& tagNames) const {
        QStringList programs;
        for (const QString& name : tagNames) {
            programs.append(ThingsService::deleteTagScript(name));
        }
        return programs;
    }
};

TEST_F(UnusedTagsCleanupTest, offersExactlyTheSubtreesWithoutOpenTodos) {
    const TagPtr home = add(u"home"_qs, u"Home"_qs, {}, 0);
    const TagPtr kids = add(u"kids"_qs, u"Kids"_qs, u"home"_qs, 0);
    add(u"homework"_qs, u"Homework"_qs, kids->id(), 2); // used two levels below Home
    const TagPtr garden = add(u"garden"_qs, u"Garden"_qs, home->id(), 0);
    add(u"roses"_qs, u"Roses"_qs, garden->id()); // no count reported: unused
    add(u"work"_qs, u"Work"_qs, {}, 3);
    add(u"desk"_qs, u"Desk"_qs, u"work"_qs, 0); // unused child of a used tag
    add(u"old"_qs, u"Old"_qs);
    add(u"older"_qs, u"Older"_qs, u"old"_qs, 0);
    add(u"stray"_qs, u"Stray"_qs, u"not stored"_qs, 0);
    // A count read as negative must not cancel out a used tag below it.
    add(u"odd"_qs, u"Odd"_qs, {}, -2);
    add(u"even"_qs, u"Even"_qs, u"odd"_qs, 2);
    endTurn();

    UnusedTagsCleanup cleanup(*store, *preferences, *worker);
    EXPECT_EQ(rows(cleanup), (QStringList{u"[x] Garden"_qs, u"  [x] Roses"_qs, u"[x] Old"_qs,
                                          u"  [x] Older"_qs, u"[x] Stray"_qs, u"[x] Desk"_qs}));
    // The roots say where they sit: below a used tag, or nowhere for a tag whose parent is missing.
    QStringList paths;
    for (const UnusedTagsCleanup::Candidate& candidate : cleanup.candidates()) {
        paths.append(candidate.ancestorPath.value_or(u"-"_qs));
    }
    EXPECT_EQ(paths, (QStringList{u"Home"_qs, u"-"_qs, u"-"_qs, u"-"_qs, u"-"_qs, u"Work"_qs}));
    EXPECT_EQ(cleanup.checkedCount(), 6);
    EXPECT_EQ(cleanup.deleteLabel(), u"Delete 6 Tags");
    EXPECT_TRUE(cleanup.canDelete());
    EXPECT_TRUE(sent().isEmpty());

    // The list follows the store: Homework's to-dos are done, so Home's whole tree is unused now. The
    // tags new to the list start unchecked, and Garden, already offered, keeps its check.
    store->tag(u"homework"_qs)->setTodosCount(0);
    endTurn();
    EXPECT_EQ(rows(cleanup), (QStringList{u"[ ] Home"_qs, u"  [x] Garden"_qs, u"    [x] Roses"_qs,
                                          u"  [ ] Kids"_qs, u"    [ ] Homework"_qs, u"[x] Old"_qs,
                                          u"  [x] Older"_qs, u"[x] Stray"_qs, u"[x] Desk"_qs}));
}

TEST_F(UnusedTagsCleanupTest, checksFollowWhatThingsDeletesWithATag) {
    const TagPtr old = add(u"old"_qs, u"Old"_qs);
    add(u"older"_qs, u"Older"_qs, old->id());
    add(u"oldest"_qs, u"Oldest"_qs, u"older"_qs);
    add(u"other"_qs, u"Other"_qs, old->id());
    endTurn();
    UnusedTagsCleanup cleanup(*store, *preferences, *worker);

    // Old cannot go without Oldest: unchecking Oldest unchecks every tag above it.
    cleanup.setChecked(u"oldest"_qs, false);
    EXPECT_EQ(rows(cleanup),
              (QStringList{u"[ ] Old"_qs, u"  [ ] Older"_qs, u"    [ ] Oldest"_qs, u"  [x] Other"_qs}));
    EXPECT_EQ(cleanup.deleteLabel(), u"Delete 1 Tag");
    EXPECT_EQ(cleanup.deleteConfirmationTitle(), u"Delete 1 tag?");

    // Checking a tag checks its whole subtree; its parent may stay unchecked.
    cleanup.setChecked(u"older"_qs, true);
    EXPECT_EQ(rows(cleanup),
              (QStringList{u"[x] Old"_qs, u"  [x] Older"_qs, u"    [x] Oldest"_qs, u"  [x] Other"_qs}));

    // Unchecking a parent leaves the tags below it checked: each is deleted on its own.
    cleanup.setChecked(u"old"_qs, false);
    EXPECT_EQ(rows(cleanup),
              (QStringList{u"[ ] Old"_qs, u"  [x] Older"_qs, u"    [x] Oldest"_qs, u"  [x] Other"_qs}));
    EXPECT_EQ(cleanup.checkedCount(), 3);
}

TEST_F(UnusedTagsCleanupTest, theRunDeletesOnlyCheckedTagsWithOneProgramPerTree) {
    const TagPtr old = both(u"Old"_qs);
    const TagPtr older = both(u"Older"_qs, old);
    const TagPtr oldest = both(u"Oldest"_qs, older);
    both(u"Other"_qs, old);
    const TagPtr keep = both(u"Keep"_qs);
    both(u"Spare"_qs);
    const TagPtr work = both(u"Work"_qs, nullptr, 3);
    const TagPtr desk = both(u"Desk"_qs, work);
    both(u"Drawer"_qs, desk);
    endTurn();
    UnusedTagsCleanup cleanup(*store, *preferences, *worker);
    cleanup.setChecked(keep->id(), false);
    cleanup.setChecked(oldest->id(), false); // Old and Older cannot go without it
    EXPECT_EQ(cleanup.checkedNames(), (QStringList{u"Other"_qs, u"Spare"_qs, u"Desk"_qs, u"Drawer"_qs}));

    cleanup.requestDelete();
    EXPECT_TRUE(cleanup.showDeleteConfirmation());
    EXPECT_EQ(cleanup.deleteConfirmationTitle(), u"Delete 4 tags?");
    cleanup.cancelDelete();
    EXPECT_FALSE(cleanup.showDeleteConfirmation());
    EXPECT_TRUE(sent().isEmpty());

    cleanup.requestDelete();
    QCoro::Task<> run = cleanup.confirmDelete();
    EXPECT_TRUE(cleanup.isDeleting());
    EXPECT_FALSE(cleanup.canDelete());
    QCoro::waitFor(std::move(run));
    endTurn();

    // Drawer goes with Desk, in Things 3 and in the store.
    EXPECT_EQ(sent(), deletePrograms({u"Other"_qs, u"Spare"_qs, u"Desk"_qs}));
    EXPECT_EQ(storedTags(), (QStringList{u"Keep:-:0"_qs, u"Old:-:0"_qs, u"Older:Old:0"_qs,
                                         u"Oldest:Older:0"_qs, u"Work:-:3"_qs}));
    EXPECT_EQ(library.tagCount(), 5);
    EXPECT_FALSE(cleanup.isDeleting());
    ASSERT_TRUE(cleanup.showResult());
    EXPECT_EQ(cleanup.resultState(),
              BatchResultState::success({u"Other"_qs, u"Spare"_qs, u"Desk"_qs, u"Drawer"_qs}));
    cleanup.dismissResult();
    EXPECT_FALSE(cleanup.showResult());
    EXPECT_EQ(rows(cleanup),
              (QStringList{u"[ ] Keep"_qs, u"[ ] Old"_qs, u"  [ ] Older"_qs, u"    [ ] Oldest"_qs}));
}

TEST_F(UnusedTagsCleanupTest, aTreeThatGainedOpenTodosDuringTheRunIsLeftAlone) {
    both(u"Alpha"_qs);
    const TagPtr beta = both(u"Beta"_qs);
    both(u"Gamma"_qs);
    endTurn();
    UnusedTagsCleanup cleanup(*store, *preferences, *worker);

    QCoro::Task<> run = cleanup.confirmDelete();
    // An import lands while Things 3 deletes Alpha: Beta has an open to-do now.
    beta->setTodosCount(1);
    QCoro::waitFor(std::move(run));

    EXPECT_EQ(sent(), deletePrograms({u"Alpha"_qs, u"Gamma"_qs}));
    EXPECT_EQ(storedTags(), QStringList{u"Beta:-:1"_qs});
    EXPECT_EQ(cleanup.resultState(), BatchResultState::success({u"Alpha"_qs, u"Gamma"_qs}));
}

struct FailureCase {
    const char* label;
    bool checkBeforeChanging;
    QString error;
    QStringList programsAfterAlpha; // what the run sends for Ghost
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.label;
}

class UnusedTagsFailure : public UnusedTagsCleanupTest, public ::testing::WithParamInterface<FailureCase> {};

// Things 3 no longer has Ghost: its program fails, or the look-up before it refuses. The run stops
// there and says so; Alpha, deleted before, is named, and Zulu is neither sent nor touched.
TEST_P(UnusedTagsFailure, stopsTheRunAndIsReportedAsAFailure) {
    const FailureCase& c = GetParam();
    preferences->setFlag(PreferenceKey::checkTagsBeforeChanging, c.checkBeforeChanging);
    both(u"Alpha"_qs);
    add(u"ghost"_qs, u"Ghost"_qs, {}, 0);
    both(u"Zulu"_qs);
    endTurn();
    UnusedTagsCleanup cleanup(*store, *preferences, *worker);

    QCoro::waitFor(cleanup.confirmDelete());

    EXPECT_EQ(sent().size(), (c.checkBeforeChanging ? 2 : 1) + c.programsAfterAlpha.size());
    EXPECT_EQ(sent().mid(sent().size() - c.programsAfterAlpha.size()), c.programsAfterAlpha);
    EXPECT_EQ(storedTags(), (QStringList{u"Ghost:-:0"_qs, u"Zulu:-:0"_qs}));
    ASSERT_TRUE(cleanup.showResult());
    ASSERT_TRUE(cleanup.resultState());
    EXPECT_FALSE(cleanup.resultState()->isSuccess());
    EXPECT_EQ(cleanup.resultState()->failedTag(), u"Ghost");
    EXPECT_EQ(cleanup.resultState()->error(), c.error);
    EXPECT_EQ(cleanup.resultState()->alreadyUpdated(), QStringList{u"Alpha"_qs});
    EXPECT_EQ(rows(cleanup), (QStringList{u"[x] Ghost"_qs, u"[x] Zulu"_qs}));
}

INSTANTIATE_TEST_SUITE_P(
    Causes, UnusedTagsFailure,
    ::testing::Values(
        FailureCase{"programFails",
                    false,
                    u"AppleScript error: Things3 got an error: Can\u2019t get tag \"Ghost\"."_qs,
                    {ThingsService::deleteTagScript(u"Ghost"_qs)}},
        FailureCase{
            "lookUpRefuses",
            true,
            u"\u201CGhost\u201D changed in Things 3 since the last import. Import again, then try once "
            u"more."_qs,
            {ThingsService::fetchTagByNameScript(u"Ghost"_qs)}}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.label); });

TEST_F(UnusedTagsCleanupTest, discardedDuringTheRunFinishesTheTreeInProgressAndSendsNoOther) {
    both(u"Alpha"_qs);
    both(u"Beta"_qs);
    endTurn();
    auto cleanup = std::make_unique<UnusedTagsCleanup>(*store, *preferences, *worker);

    QCoro::Task<> run = cleanup->confirmDelete();
    cleanup.reset(); // the window was closed
    QCoro::waitFor(std::move(run));
    endTurn();

    EXPECT_EQ(sent(), deletePrograms({u"Alpha"_qs}));
    EXPECT_EQ(storedTags(), QStringList{u"Beta:-:0"_qs});
}

} // namespace
