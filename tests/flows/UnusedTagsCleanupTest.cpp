// The clean-up of unused tags without widgets: which tags it offers, how the checks behave, and the
// delete run against the stand-in's library in memory, every program recorded.
#include "UnusedTagsCleanup.h"

#include "EditFixture.h"
#include "TestPrinters.h"

#include <QCoroTask>
#include <QSemaphore>

using namespace orvalet;

namespace {

class UnusedTagsCleanupTest : public test::EditTest {
public:
    // The tree as the window lists it, ", " between rows: a ">" per level below the top, then "[x]" or
    // "[ ]" for the check, the name, and where a top sits, when it sits below a used tag, in brackets.
    static QString rows(const UnusedTagsCleanup& cleanup) {
        QStringList lines;
        for (const UnusedTagsCleanup::Candidate& c : cleanup.candidates()) {
            lines.append(QString(c.depth, u'>') + (c.checked ? u"[x] "_qs : u"[ ] "_qs) + c.tag->name() +
                         (c.ancestorPath ? u" ("_qs + *c.ancestorPath + u')' : QString()));
        }
        return lines.join(u", ");
    }

    // What a run sends for each tree: what Things 3 holds now for every tag of it, then the deletion
    // of its top.
    // The read of every tag of these trees, then the deletion of their tops.
    // The read for Undo tells what the trees hold now; after it, only the deletion goes out.
    static QStringList programsFor(const QList<QList<TagPtr>>& trees) {
        QList<ThingsTagRef> tops;
        for (const QList<TagPtr>& tree : trees) {
            tops.append({tree.first()->id(), tree.first()->name()});
        }
        return {ThingsService::deleteTagGroupScript(tops)};
    }
};

TEST_F(UnusedTagsCleanupTest, offersExactlyTheSubtreesWithoutOpenTodos) {
    // Homework is used two levels below Home, Roses has no count reported (unused), Desk is an unused
    // child of a used tag, and Odd's count read as negative must not cancel out Even's below it.
    auto t =
        tree(u"Home=0>Kids=0>Homework=2, Home>Garden=0>Roses, Work=3>Desk=0, Old>Older=0, Odd=-2>Even=2"_qs);
    add(u"stray"_qs, u"Stray"_qs, u"not stored"_qs, 0);
    endTurn();

    UnusedTagsCleanup cleanup(*store, *preferences, *worker);
    // The tops say where they sit: below a used tag, or nowhere for a tag whose parent is missing.
    EXPECT_EQ(rows(cleanup),
              u"[x] Garden (Home), >[x] Roses, [x] Old, >[x] Older, [x] Stray, [x] Desk (Work)");
    EXPECT_TRUE(sent().isEmpty());

    // The list follows the store: Homework's to-dos are done, so Home's whole tree is unused now. The
    // tags new to the list start unchecked, and Garden, already offered, keeps its check.
    t[u"Homework"_qs]->setTodosCount(0);
    endTurn();
    EXPECT_EQ(rows(cleanup), u"[ ] Home, >[x] Garden, >>[x] Roses, >[ ] Kids, >>[ ] Homework, [x] Old, "
                             u">[x] Older, [x] Stray, [x] Desk (Work)");
}

// A used tag keeps every tag above it out of the offer, wherever it sits: a root, or deep in the first
// tree of the forest or in the last.
TEST_F(UnusedTagsCleanupTest, aUsedTagKeepsEveryAncestorOutOfTheOffer) {
    auto t = tree(u"A=0>A1=0>A11=0, B=0, C=0>C1=0"_qs);
    const std::pair<QString, QString> cases[] = {
        {u"A"_qs, u"[x] A1 (A), >[x] A11, [x] B, [x] C, >[x] C1"_qs},
        {u"A11"_qs, u"[x] B, [x] C, >[x] C1"_qs},
        {u"C1"_qs, u"[x] A, >[x] A1, >>[x] A11, [x] B"_qs},
    };
    for (const auto& [used, offered] : cases) {
        t[used]->setTodosCount(1);
        endTurn();
        EXPECT_EQ(rows(UnusedTagsCleanup(*store, *preferences, *worker)), offered) << used.toStdString();
        t[used]->setTodosCount(0);
    }
}

TEST_F(UnusedTagsCleanupTest, checksFollowWhatThingsDeletesWithATag) {
    auto t = tree(u"Old>Older>Oldest, Old>Other"_qs);
    endTurn();
    UnusedTagsCleanup cleanup(*store, *preferences, *worker);

    // Old cannot go without Oldest: unchecking Oldest unchecks every tag above it.
    cleanup.setChecked(t[u"Oldest"_qs]->id(), false);
    EXPECT_EQ(rows(cleanup), u"[ ] Old, >[ ] Older, >>[ ] Oldest, >[x] Other");

    // Checking a tag checks its whole subtree; its parent may stay unchecked.
    cleanup.setChecked(t[u"Older"_qs]->id(), true);
    EXPECT_EQ(rows(cleanup), u"[x] Old, >[x] Older, >>[x] Oldest, >[x] Other");

    // Unchecking a parent leaves the tags below it checked: each is deleted on its own.
    cleanup.setChecked(t[u"Old"_qs]->id(), false);
    EXPECT_EQ(rows(cleanup), u"[ ] Old, >[x] Older, >>[x] Oldest, >[x] Other");
}

TEST_F(UnusedTagsCleanupTest, theRunReadsAndDeletesOnlyCheckedTreesInOneProgramEach) {
    auto t = tree(u"Old>Older>Oldest, Old>Other, Keep, Spare, Work=3>Desk>Drawer"_qs);
    library.addTodo(u"Report"_qs, standin::TodoState::Open, {t[u"Work"_qs]->id()});
    endTurn();
    UnusedTagsCleanup cleanup(*store, *preferences, *worker);
    cleanup.setChecked(t[u"Keep"_qs]->id(), false);
    cleanup.setChecked(t[u"Oldest"_qs]->id(), false); // Old and Older cannot go without it
    EXPECT_EQ(cleanup.checkedNames(), (QStringList{u"Other"_qs, u"Spare"_qs, u"Desk"_qs, u"Drawer"_qs}));

    QCoro::waitFor(cleanup.requestDelete());
    EXPECT_TRUE(cleanup.showDeleteConfirmation());
    cleanup.cancelDelete();
    EXPECT_FALSE(cleanup.showDeleteConfirmation());
    QCoro::waitFor(cleanup.requestDelete());
    QCoro::Task<> run = cleanup.confirmDelete();
    EXPECT_FALSE(cleanup.canDelete());
    QCoro::waitFor(std::move(run));
    endTurn();

    // Drawer goes with Desk, in Things 3 and in the store.
    EXPECT_EQ(test::withoutTreeReads(sent()),
              programsFor({{t[u"Other"_qs]}, {t[u"Spare"_qs]}, {t[u"Desk"_qs], t[u"Drawer"_qs]}}));
    EXPECT_EQ(storedTags(), u"Keep:-:-, Old:-:-, Older:Old:-, Oldest:Older:-, Work:-:3");
    ASSERT_TRUE(cleanup.showResult());
    EXPECT_EQ(cleanup.resultState(),
              BatchResultState::success({u"Other"_qs, u"Spare"_qs, u"Desk"_qs, u"Drawer"_qs}).asDeletion());
    cleanup.dismissResult();
    EXPECT_FALSE(cleanup.showResult());
    EXPECT_EQ(rows(cleanup), u"[ ] Keep, [ ] Old, >[ ] Older, >>[ ] Oldest");
}

// A tree that left the offer comes back unchecked, and one that gained open to-dos while the run was
// under way is left alone. The offer rests on the last import: Things 3 has the last word on each tree
// before it goes, and one used there, or with other child tags there, is skipped and listed.
TEST_F(UnusedTagsCleanupTest, aTreeUsedSinceTheOfferInTheStoreOrInThingsIsNotDeleted) {
    auto t = tree(u"Alpha, Beta, Grown, Keep>Below, Used, Used below>Leaf"_qs);
    endTurn();
    library.addTodo(u"Call"_qs, standin::TodoState::Open, {t[u"Used"_qs]->id()});
    library.addTodo(u"Write"_qs, standin::TodoState::Open, {t[u"Leaf"_qs]->id()});
    library.makeTag(u"Unseen"_qs, t[u"Grown"_qs]->id());
    UnusedTagsCleanup cleanup(*store, *preferences, *worker);
    t[u"Below"_qs]->setTodosCount(1);
    endTurn();
    t[u"Below"_qs]->setTodosCount(0);
    endTurn();
    EXPECT_EQ(rows(cleanup),
              u"[x] Alpha, [x] Beta, [x] Grown, [ ] Keep, >[ ] Below, [x] Used, [x] Used below, >[x] Leaf");
    QCoro::Task<> run = cleanup.confirmDelete();
    // An import lands while Things 3 reads the trees: Beta has an open to-do now.
    t[u"Beta"_qs]->setTodosCount(1);
    QCoro::waitFor(std::move(run));

    EXPECT_EQ(test::withoutTreeReads(sent()).size(), 1); // the trees read together, then Alpha deleted
    EXPECT_EQ(test::withoutTreeReads(sent()).last(), programsFor({{t[u"Alpha"_qs]}}).last());
    EXPECT_EQ(storedTags(),
              u"Below:Keep:0, Beta:-:1, Grown:-:0, Keep:-:-, Leaf:Used below:1, Used below:-:0, Used:-:1");
    EXPECT_EQ(
        cleanup.resultState(),
        BatchResultState::success({u"Alpha"_qs})
            .asDeletion()
            .withSkipped({{u"Grown"_qs, u"\u201CGrown\u201D has other child tags in Things 3 than this "
                                        u"list shows. Import from Things to bring the list up to date."_qs},
                          {u"Used"_qs, u"\u201CUsed\u201D has open to-dos in Things 3 now."_qs},
                          {u"Used below"_qs, u"\u201CLeaf\u201D has open to-dos in Things 3 now."_qs}}));
}

// Things 3 no longer has Ghost. Found by identifier, it is deleted already: it leaves the list like
// the others; a tree with a tag below its top gone (Lost) is left alone. Found by its stored name,
// Ghost's program fails: the run stops there and says so; Alpha, deleted before, is named, and Zulu
// is neither sent nor touched.
TEST_F(UnusedTagsCleanupTest, aTagGoneFromThingsIsDeletedAlreadyOrStopsTheRunByName) {
    std::unique_ptr<UnusedTagsCleanup> cleanup;
    qsizetype programs = 0;
    for (const bool byId : {true, false}) {
        preferences->setFlag(PreferenceKey::findTagsById, byId);
        tree(u"Alpha"_qs);
        add(u"ghost"_qs, u"Ghost"_qs, {}, 0);
        tree(u"Zulu"_qs);
        const TagPtr lost = byId ? add(u"lost"_qs, u"Lost"_qs, both(u"Kept"_qs)->id(), 0) : nullptr;
        endTurn();
        programs = test::withoutTreeReads(sent()).size();
        cleanup = std::make_unique<UnusedTagsCleanup>(*store, *preferences, *worker);
        QCoro::waitFor(cleanup->confirmDelete());
        if (byId) {
            EXPECT_EQ(
                cleanup->resultState(),
                BatchResultState::success({u"Alpha"_qs, u"Ghost"_qs, u"Zulu"_qs})
                    .asDeletion()
                    .withSkipped({{u"Kept"_qs, u"\u201CLost\u201D is no longer in Things 3. Import from "
                                               u"Things to bring the list up to date."_qs}}));
            EXPECT_EQ(storedTags(), u"Kept:-:-, Lost:Kept:0");
            store->remove(store->tag(lost->parentTagId().value()));
            store->remove(lost);
        }
    }
    EXPECT_EQ(test::withoutTreeReads(sent()).size(), programs + 2); // Alpha, then Ghost, which fails
    EXPECT_EQ(sent().last(), ThingsService::deleteTagScript(u"Ghost"_qs));
    EXPECT_EQ(storedTags(), u"Ghost:-:0, Zulu:-:-");
    EXPECT_EQ(cleanup->resultState(),
              BatchResultState::failure(
                  u"Ghost"_qs, u"AppleScript error: Things3 got an error: Can\u2019t get tag \"Ghost\"."_qs,
                  {u"Alpha"_qs})
                  .asDeletion());
    EXPECT_EQ(rows(*cleanup), u"[x] Ghost, [x] Zulu");
}

// Closed while Things 3 answers the check, the run sends nothing more; closed while it deletes a
// hundred trees, they finish, in Things 3 and in the store, and no other tree is sent.
TEST_F(UnusedTagsCleanupTest, discardedDuringTheRunFinishesTheTreesInProgressAndSendsNoOther) {
    QList<QList<TagPtr>> trees;
    for (int i = 0; i <= 100; ++i) {
        trees.append(QList<TagPtr>{both(u"T"_qs + QString::number(i).rightJustified(3, u'0'))});
    }
    endTurn();
    auto cleanup = std::make_unique<UnusedTagsCleanup>(*store, *preferences, *worker);
    QCoro::Task<> checking = cleanup->confirmDelete();
    cleanup.reset();
    QCoro::waitFor(std::move(checking));
    EXPECT_TRUE(test::withoutTreeReads(sent()).isEmpty());
    EXPECT_EQ(store->count(), 101);

    // Things 3 holds the deletion until the window is closed.
    QSemaphore gate;
    hookPrograms([&gate](const QString& program, const ScriptEngine& things) {
        if (program.contains(u"delete tag")) {
            gate.acquire();
        }
        return things.run(program);
    });
    cleanup = std::make_unique<UnusedTagsCleanup>(*store, *preferences, *worker);
    QCoro::Task<> deleting = cleanup->confirmDelete();
    for (int turn = 0; turn < 10'000 && test::withoutTreeReads(sent()).size() < 2; ++turn) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    cleanup.reset();
    gate.release();
    QCoro::waitFor(std::move(deleting));
    endTurn();
    EXPECT_EQ(test::withoutTreeReads(sent()), programsFor(trees.mid(0, 100)));
    EXPECT_EQ(storedTags(), u"T100:-:-");
}

// An import that lands while the run reads the trees brings a tag the list never showed below a
// checked tree, so that tree shows unchecked now. The run leaves it alone, in Things 3 and in the
// store, although Things 3 holds just the tags the list now shows below it.
TEST_F(UnusedTagsCleanupTest, aTreeThatGainedAnUncheckedTagDuringTheRunIsNotDeleted) {
    auto t = tree(u"Alpha, Grown>Known"_qs);
    const QString unseen = library.makeTag(u"Unseen"_qs, t[u"Known"_qs]->id());
    endTurn();
    UnusedTagsCleanup cleanup(*store, *preferences, *worker);
    ASSERT_EQ(rows(cleanup), u"[x] Alpha, [x] Grown, >[x] Known");
    QCoro::Task<> run = cleanup.confirmDelete();
    add(unseen, u"Unseen"_qs, t[u"Known"_qs]->id(), 0);
    QCoro::waitFor(std::move(run));
    endTurn();

    EXPECT_EQ(storedTags(), u"Grown:-:-, Known:Grown:-, Unseen:Known:0"_qs);
    EXPECT_EQ(QString(inThings(t[u"Grown"_qs]->id()) + u' ' + inThings(unseen)), u"Grown:- Unseen:Known"_qs);
    EXPECT_EQ(inThings(t[u"Alpha"_qs]->id()), u"gone"_qs);
    EXPECT_EQ(cleanup.resultState(), BatchResultState::success({u"Alpha"_qs}).asDeletion());
    EXPECT_EQ(rows(cleanup), u"[ ] Grown, >[ ] Known, >>[ ] Unseen"_qs);
}

} // namespace
