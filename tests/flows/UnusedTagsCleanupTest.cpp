// The clean-up of unused tags without widgets: which tags it offers, how the checks behave, and the
// delete run against the stand-in's library in memory, every program recorded.
#include "UnusedTagsCleanup.h"

#include "EditFixture.h"
#include "TestPrinters.h"

#include <QCoroTask>
#include <QSemaphore>

using namespace orvalet;

namespace orvalet {
void PrintTo(const BatchResultState& state, std::ostream* os) {
    *os << (state.isSuccess() ? "success" : "failure on ") << state.failedTag().toStdString() << " ("
        << state.error().toStdString() << ") " << state.names().join(u", ").toStdString();
}
} // namespace orvalet

namespace {

class UnusedTagsCleanupTest : public test::EditTest {
public:
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

    // What a run sends for each tree: what Things 3 holds now for every tag of it, then the deletion
    // of its top.
    static QStringList programsFor(const QList<QList<TagPtr>>& trees) {
        QStringList programs;
        for (const QList<TagPtr>& tree : trees) {
            QStringList ids;
            for (const TagPtr& tag : tree) {
                ids.append(tag->id());
            }
            programs << ThingsService::tagUseScript(ids)
                     << ThingsService::deleteTagScript({tree.first()->id(), tree.first()->name()}, true);
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

// A used tag keeps every tag above it out of the offer, wherever it sits: a root, or deep in the first
// tree of the forest or in the last.
TEST_F(UnusedTagsCleanupTest, aUsedTagKeepsEveryAncestorOutOfTheOffer) {
    add(u"a"_qs, u"A"_qs, {}, 0);
    add(u"a1"_qs, u"A1"_qs, u"a"_qs, 0);
    add(u"a11"_qs, u"A11"_qs, u"a1"_qs, 0);
    add(u"b"_qs, u"B"_qs, {}, 0);
    add(u"c"_qs, u"C"_qs, {}, 0);
    add(u"c1"_qs, u"C1"_qs, u"c"_qs, 0);
    const std::pair<QString, QStringList> cases[] = {
        {u"a"_qs, {u"[x] A1"_qs, u"  [x] A11"_qs, u"[x] B"_qs, u"[x] C"_qs, u"  [x] C1"_qs}},
        {u"a11"_qs, {u"[x] B"_qs, u"[x] C"_qs, u"  [x] C1"_qs}},
        {u"c1"_qs, {u"[x] A"_qs, u"  [x] A1"_qs, u"    [x] A11"_qs, u"[x] B"_qs}},
    };
    for (const auto& [used, offered] : cases) {
        store->tag(used)->setTodosCount(1);
        endTurn();
        EXPECT_EQ(rows(UnusedTagsCleanup(*store, *preferences, *worker)), offered) << used.toStdString();
        store->tag(used)->setTodosCount(0);
    }
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
    const TagPtr other = both(u"Other"_qs, old);
    const TagPtr keep = both(u"Keep"_qs);
    const TagPtr spare = both(u"Spare"_qs);
    const TagPtr work = both(u"Work"_qs, nullptr, 3);
    library.addTodo(u"Report"_qs, standin::TodoState::Open, {work->id()});
    const TagPtr desk = both(u"Desk"_qs, work);
    const TagPtr drawer = both(u"Drawer"_qs, desk);
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
    EXPECT_EQ(sent(), programsFor({{other}, {spare}, {desk, drawer}}));
    EXPECT_EQ(storedTags(), (QStringList{u"Keep:-:-"_qs, u"Old:-:-"_qs, u"Older:Old:-"_qs,
                                         u"Oldest:Older:-"_qs, u"Work:-:3"_qs}));
    EXPECT_EQ(library.tagCount(), 5);
    EXPECT_FALSE(cleanup.isDeleting());
    ASSERT_TRUE(cleanup.showResult());
    EXPECT_EQ(cleanup.resultState(),
              BatchResultState::success({u"Other"_qs, u"Spare"_qs, u"Desk"_qs, u"Drawer"_qs}).asDeletion());
    cleanup.dismissResult();
    EXPECT_FALSE(cleanup.showResult());
    EXPECT_EQ(rows(cleanup),
              (QStringList{u"[ ] Keep"_qs, u"[ ] Old"_qs, u"  [ ] Older"_qs, u"    [ ] Oldest"_qs}));
}

// A tree that left the offer comes back unchecked: the run leaves it alone.
TEST_F(UnusedTagsCleanupTest, aTreeThatLostItsCheckBeforeTheRunIsNotDeleted) {
    const TagPtr keep = both(u"Keep"_qs);
    const TagPtr below = both(u"Below"_qs, keep);
    const TagPtr spare = both(u"Spare"_qs);
    endTurn();
    UnusedTagsCleanup cleanup(*store, *preferences, *worker);
    below->setTodosCount(1);
    endTurn();
    below->setTodosCount(0);
    endTurn();
    EXPECT_EQ(rows(cleanup), (QStringList{u"[ ] Keep"_qs, u"  [ ] Below"_qs, u"[x] Spare"_qs}));
    QCoro::waitFor(cleanup.confirmDelete());
    EXPECT_EQ(sent(), programsFor({{spare}}));
    EXPECT_EQ(library.tagCount(), 2);
    EXPECT_EQ(storedTags(), (QStringList{u"Below:Keep:0"_qs, u"Keep:-:-"_qs}));
}

TEST_F(UnusedTagsCleanupTest, aTreeThatGainedOpenTodosDuringTheRunIsLeftAlone) {
    const TagPtr alpha = both(u"Alpha"_qs);
    const TagPtr beta = both(u"Beta"_qs);
    const TagPtr gamma = both(u"Gamma"_qs);
    endTurn();
    UnusedTagsCleanup cleanup(*store, *preferences, *worker);

    QCoro::Task<> run = cleanup.confirmDelete();
    // An import lands while Things 3 deletes Alpha: Beta has an open to-do now.
    beta->setTodosCount(1);
    QCoro::waitFor(std::move(run));

    EXPECT_EQ(sent(), programsFor({{alpha}, {gamma}}));
    EXPECT_EQ(storedTags(), QStringList{u"Beta:-:1"_qs});
    EXPECT_EQ(cleanup.resultState(), BatchResultState::success({u"Alpha"_qs, u"Gamma"_qs}).asDeletion());
}

// The offer rests on the last import; Things 3 has the last word on each tree before it goes.
TEST_F(UnusedTagsCleanupTest, aTreeUsedInThingsSinceTheImportIsSkippedAndListed) {
    const TagPtr used = both(u"Used"_qs);
    const TagPtr usedBelow = both(u"Used below"_qs);
    const TagPtr leaf = both(u"Leaf"_qs, usedBelow);
    const TagPtr grown = both(u"Grown"_qs);
    const TagPtr spare = both(u"Spare"_qs);
    endTurn();
    library.addTodo(u"Call"_qs, standin::TodoState::Open, {used->id()});
    library.addTodo(u"Write"_qs, standin::TodoState::Open, {leaf->id()});
    library.makeTag(u"Unseen"_qs, grown->id());
    UnusedTagsCleanup cleanup(*store, *preferences, *worker);
    ASSERT_EQ(cleanup.checkedCount(), 5);

    QCoro::waitFor(cleanup.confirmDelete());
    EXPECT_EQ(sent().size(), 5); // four checks, one deletion
    EXPECT_EQ(library.tagCount(), 5);
    EXPECT_EQ(storedTags(),
              (QStringList{u"Grown:-:0"_qs, u"Leaf:Used below:1"_qs, u"Used below:-:0"_qs, u"Used:-:1"_qs}));
    EXPECT_EQ(
        cleanup.resultState(),
        BatchResultState::success({u"Spare"_qs})
            .asDeletion()
            .withSkipped({{u"Grown"_qs, u"\u201CGrown\u201D has other child tags in Things 3 than this "
                                        u"list shows. Import from Things to bring the list up to date."_qs},
                          {u"Used"_qs, u"\u201CUsed\u201D has open to-dos in Things 3 now."_qs},
                          {u"Used below"_qs, u"\u201CLeaf\u201D has open to-dos in Things 3 now."_qs}}));
}

// Things 3 no longer has Ghost. Found by identifier, it is deleted already: it leaves the list like
// the others. Found by its stored name, its program fails: the run stops there and says so; Alpha,
// deleted before, is named, and Zulu is neither sent nor touched.
TEST_F(UnusedTagsCleanupTest, aTagGoneFromThingsIsDeletedAlreadyOrStopsTheRunByName) {
    both(u"Alpha"_qs);
    add(u"ghost"_qs, u"Ghost"_qs, {}, 0);
    both(u"Zulu"_qs);
    endTurn();
    auto cleanup = std::make_unique<UnusedTagsCleanup>(*store, *preferences, *worker);
    QCoro::waitFor(cleanup->confirmDelete());
    EXPECT_EQ(cleanup->resultState(),
              BatchResultState::success({u"Alpha"_qs, u"Ghost"_qs, u"Zulu"_qs}).asDeletion());
    EXPECT_TRUE(storedTags().isEmpty());

    preferences->setFlag(PreferenceKey::findTagsById, false);
    both(u"Alpha"_qs);
    add(u"ghost"_qs, u"Ghost"_qs, {}, 0);
    both(u"Zulu"_qs);
    endTurn();
    cleanup = std::make_unique<UnusedTagsCleanup>(*store, *preferences, *worker);
    const qsizetype programs = sent().size();
    QCoro::waitFor(cleanup->confirmDelete());
    EXPECT_EQ(sent().size(), programs + 4);
    EXPECT_EQ(sent().last(), ThingsService::deleteTagScript(u"Ghost"_qs));
    EXPECT_EQ(storedTags(), (QStringList{u"Ghost:-:0"_qs, u"Zulu:-:-"_qs}));
    EXPECT_EQ(cleanup->resultState(),
              BatchResultState::failure(
                  u"Ghost"_qs, u"AppleScript error: Things3 got an error: Can\u2019t get tag \"Ghost\"."_qs,
                  {u"Alpha"_qs})
                  .asDeletion());
    EXPECT_EQ(rows(*cleanup), (QStringList{u"[x] Ghost"_qs, u"[x] Zulu"_qs}));
}

// Closed while Things 3 answers the check, the run sends nothing more; closed while it deletes a
// tree, that tree finishes, in Things 3 and in the store, and no other tree is sent.
TEST_F(UnusedTagsCleanupTest, discardedDuringTheRunFinishesTheTreeInProgressAndSendsNoOther) {
    const TagPtr alpha = both(u"Alpha"_qs);
    both(u"Beta"_qs);
    endTurn();
    auto cleanup = std::make_unique<UnusedTagsCleanup>(*store, *preferences, *worker);
    QCoro::Task<> checking = cleanup->confirmDelete();
    cleanup.reset();
    QCoro::waitFor(std::move(checking));
    EXPECT_EQ(sent(), programsFor({{alpha}}).mid(0, 1));
    EXPECT_EQ(storedTags(), (QStringList{u"Alpha:-:-"_qs, u"Beta:-:-"_qs}));

    // Things 3 holds the deletion of Alpha until the window is closed.
    QSemaphore gate;
    hookPrograms([&gate](const QString& program, const ScriptEngine& things) {
        if (program.contains(u"delete tag")) {
            gate.acquire();
        }
        return things.run(program);
    });
    cleanup = std::make_unique<UnusedTagsCleanup>(*store, *preferences, *worker);
    QCoro::Task<> deleting = cleanup->confirmDelete();
    for (int turn = 0; turn < 10'000 && sent().size() < 3; ++turn) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    cleanup.reset();
    gate.release();
    QCoro::waitFor(std::move(deleting));
    endTurn();
    EXPECT_EQ(sent().mid(1), programsFor({{alpha}}));
    EXPECT_EQ(storedTags(), QStringList{u"Beta:-:-"_qs});
    EXPECT_EQ(library.tagCount(), 1);
}

} // namespace
