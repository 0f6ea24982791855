// What each flow costs a Mac in Apple events, counted exactly: each runs on a library with n items and
// with three times as many, and its events follow a formula in n. Reads take whole collections, so
// they do not grow with the to-dos; what grows is what a Mac can only do an item at a time (a to-do's
// tag names are written one to-do at a time). A change that adds an event per item where one event
// did for all fails here.
#include "EditFixture.h"
#include "TagListActions.h"
#include "TagMerger.h"
#include "UndoHistory.h"
#include "UnusedTagsCleanup.h"

#include <cctype>
#include <functional>
#include <string>

using namespace orvalet;
using standin::TodoState;

namespace {

struct Flow {
    const char* name;
    // Sets up a library of size n, runs the flow and gives the position in the tally where what is
    // measured begins (what comes before it is set-up).
    std::function<qsizetype(test::EditTest&, int n)> run;
    std::function<qint64(qint64 n)> events;
};

class MacCostsFlowTest : public test::EditTest,
                         public ::testing::WithParamInterface<std::tuple<Flow, int>> {};

void PrintTo(const std::tuple<Flow, int>& param, std::ostream* os) {
    *os << std::get<0>(param).name << ", n = " << std::get<1>(param);
}

TEST_P(MacCostsFlowTest, sendsTheEventsOfItsFormula) {
    const auto& [flow, n] = GetParam();
    const qsizetype from = flow.run(*this, n);
    EXPECT_EQ(costs.total(from).events, flow.events(n));
    // No program is longer than a Mac compiles quickly, nor builds its answer a piece at a time.
    for (const auto& program : costs.programs().mid(from)) {
        EXPECT_LE(program.programCharacters, 256 << 10);
        EXPECT_LE(program.textUnitsCopied, 8 * 1024 * 1024);
    }
}

// A top-level "Tree" with three children, each carried by n to-dos that also carry "Other".
QHash<QString, TagPtr> treeCarriedBy(test::EditTest& t, int n) {
    auto tags = t.tree(u"Tree>A, Tree>B, Tree>C, Other"_qs);
    for (const QString& name : {u"A"_qs, u"B"_qs, u"C"_qs}) {
        for (int i = 0; i < n; ++i) {
            t.library.addTodo(name + QString::number(i), i % 2 ? TodoState::Completed : TodoState::Open,
                              {tags[name]->id(), tags[u"Other"_qs]->id()});
        }
    }
    return tags;
}

QList<TagPtr> topLevelTags(test::EditTest& t, int n) {
    QList<TagPtr> tags;
    for (int i = 0; i < n; ++i) {
        tags.append(t.both(u"Tag "_qs + QString::number(i)));
    }
    return tags;
}

const Flow flows[] = {
    // The import's own program after the designed one: identifiers and shortcuts, two reads.
    {"import",
     [](test::EditTest& t, int n) -> qsizetype {
         for (const TagPtr& tag : topLevelTags(t, n)) {
             t.library.setShortcut(tag->id(), u"k"_qs);
         }
         TagListActions actions(*t.store, *t.preferences, *t.worker);
         QCoro::waitFor(actions.importAllTags());
         return 1; // after the designed fetch-all
     },
     [](qint64) -> qint64 {
         return 2;
     }},
    // "Update from Things" by identifier: name, parent and open to-dos, three reads a tag.
    {"update from Things",
     [](test::EditTest& t, int n) -> qsizetype {
         TagListActions actions(*t.store, *t.preferences, *t.worker);
         QCoro::waitFor(actions.refreshTags(topLevelTags(t, n)));
         return 0;
     },
     [](qint64 n) {
         return 3 * n;
     }},
    // The read before a deletion: the top alone (name, parent, shortcut), then per tag its to-dos'
    // identifiers and tag names and its children's identifiers, for a parent its children's names and
    // shortcuts; and the tags whose name holds a comma.
    {"snapshot before a deletion",
     [](test::EditTest& t, int n) -> qsizetype {
         const auto tags = treeCarriedBy(t, n);
         QCoro::waitFor(
             UndoHistory::forStore(*t.store).prepareDeletion(*t.worker, {tags[u"Tree"_qs]->id()}, {}));
         return 0;
     },
     [](qint64) -> qint64 {
         return 3 + (1 + 1 + 2) + 3 * 3 + 1;
     }},
    // Its undo: each tag's name checked, made, put under its parent, its identifier read; the to-dos
    // read through "Other", then each read again and written in the same program; the open counts read again.
    {"undo of a deletion",
     [](test::EditTest& t, int n) -> qsizetype {
         const auto tags = treeCarriedBy(t, n);
         QCoro::waitFor(t.batchOf({tags[u"Tree"_qs]}).deleteWithChildren());
         const qsizetype from = t.costs.programs().size();
         t.undo();
         EXPECT_EQ(t.library.todoRecord(t.library.todoIds().back())->tagIds.size(), 2);
         return from;
     },
     [](qint64 n) {
         return (4 * 3 + 3) + (2 + 1) + 2 * 3 * n + 4;
     }},
    // A merge's read: both names checked as one tag's alone and found, the source's children, its
    // to-dos' identifiers and tag names, the tags whose name holds a comma.
    {"merge read",
     [](test::EditTest& t, int n) -> qsizetype {
         const auto tags = treeCarriedBy(t, n);
         TagMerger merger(*t.store, *t.preferences, *t.worker, tags[u"A"_qs]);
         merger.setDestinationId(tags[u"Other"_qs]->id());
         QCoro::waitFor(merger.prepareMerge());
         EXPECT_TRUE(merger.showsConfirmation());
         return 0;
     },
     [](qint64) -> qint64 {
         return 8;
     }},
    // Its write: the read again, a write per to-do, the source deleted (its name read, its to-dos and
    // child tags counted as none, its name checked as no other tag's, then deleted), the destination
    // read again by identifier.
    {"merge write",
     [](test::EditTest& t, int n) -> qsizetype {
         const auto tags = treeCarriedBy(t, n);
         TagMerger merger(*t.store, *t.preferences, *t.worker, tags[u"A"_qs]);
         merger.setDestinationId(tags[u"B"_qs]->id());
         QCoro::waitFor(merger.prepareMerge());
         const qsizetype from = t.costs.programs().size();
         QCoro::waitFor(merger.merge());
         EXPECT_TRUE(merger.outcome());
         return from;
     },
     [](qint64 n) {
         return 8 + n + 5 + 3;
     }},
    // The clean-up of n unused top-level tags: each read for undo (name, parent, shortcut, to-dos,
    // children), which tells that it is unused, then deleted (its name read, its to-dos and children
    // counted against the read, its name checked, then deleted).
    {"clean-up",
     [](test::EditTest& t, int n) -> qsizetype {
         for (int i = 0; i < n; ++i) {
             t.both(u"Unused "_qs + QString::number(i), nullptr, 0);
         }
         UnusedTagsCleanup cleanup(*t.store, *t.preferences, *t.worker);
         QCoro::waitFor(cleanup.confirmDelete());
         EXPECT_EQ(t.library.tagCount(), 0);
         return 0;
     },
     [](qint64 n) {
         return 5 * n + 1 + 5 * n;
     }},
    // A batch move: each tag's name read, the new parent asked for and set.
    {"batch move",
     [](test::EditTest& t, int n) -> qsizetype {
         const TagPtr parent = t.both(u"Parent"_qs);
         t.batchOf(topLevelTags(t, n)).setSelectedParentId(parent->id());
         QCoro::waitFor(t.batch->saveChanges());
         return 0;
     },
     [](qint64 n) {
         return 3 * n;
     }},
    // A deletion of Home, Kids below it, and Desk below Work: one read for undo, where Kids is met in
    // Home's tree and read no more (Home and Desk as tops: name, parent, shortcut; Home's children's
    // names and shortcuts; Kids' n to-dos), then Home and Desk deleted (a name read, each tag of the
    // tree counted against the read, the name checked, a deletion).
    {"nested delete",
     [](test::EditTest& t, int n) -> qsizetype {
         auto tags = t.tree(u"Home>Kids, Work>Desk"_qs);
         for (int i = 0; i < n; ++i) {
             t.library.addTodo(u"Homework "_qs + QString::number(i), TodoState::Open,
                               {tags[u"Kids"_qs]->id()});
         }
         QCoro::waitFor(
             t.batchOf({tags[u"Home"_qs], tags[u"Kids"_qs], tags[u"Desk"_qs]}).deleteWithChildren());
         EXPECT_EQ(t.costs.programs().size(), 2); // the read, the deletion
         return 0;
     },
     [](qint64) -> qint64 {
         return (3 + 1 + 1 + 2) + (1 + 1 + 1) + (3 + 1 + 1) + 1 + 2 * 3 + 3 * 2;
     }},
    // A batch deletion: the read for undo, then each tag's name read, its to-dos and children counted,
    // its name checked, and the tag deleted.
    {"batch delete",
     [](test::EditTest& t, int n) -> qsizetype {
         QCoro::waitFor(t.batchOf(topLevelTags(t, n)).deleteWithChildren());
         EXPECT_EQ(t.library.tagCount(), 0);
         return 0;
     },
     [](qint64 n) {
         return 5 * n + 1 + 5 * n;
     }},
};

INSTANTIATE_TEST_SUITE_P(EveryFlow, MacCostsFlowTest,
                         ::testing::Combine(::testing::ValuesIn(flows), ::testing::Values(5, 15)),
                         [](const ::testing::TestParamInfo<std::tuple<Flow, int>>& info) {
                             // "merge read", 5: mergeRead5
                             std::string name;
                             bool upper = false;
                             for (const char* c = std::get<0>(info.param).name; *c != 0; ++c) {
                                 if (std::isalnum(static_cast<unsigned char>(*c)) == 0) {
                                     upper = true;
                                     continue;
                                 }
                                 name += upper ? char(std::toupper(static_cast<unsigned char>(*c))) : *c;
                                 upper = false;
                             }
                             return name + std::to_string(std::get<1>(info.param));
                         });

// The undo of a deletion from twelve thousand to-dos gives every one its tags back, checking and
// writing each once, in several programs that a Mac compiles quickly.
class MacCostsAtSize : public test::EditTest {};

TEST_F(MacCostsAtSize, anUndoOfTwelveThousandToDosWritesInProgramsAMacCompilesQuickly) {
    const auto tags = treeCarriedBy(*this, 4000);
    QCoro::waitFor(batchOf({tags[u"Tree"_qs]}).deleteWithChildren());
    const qsizetype from = costs.programs().size();
    UndoHistory& history = UndoHistory::forStore(*store);
    QString said;
    QObject::connect(&history, &UndoHistory::report, [&said](const QString& text) { said = text; });
    QCoro::waitFor(history.undo(*worker, *preferences));
    EXPECT_EQ(said, u"Restored 4 tags on 12000 to-dos."_qs);
    const QList<standin::applescript::MacCosts> programs = costs.programs().mid(from);
    EXPECT_GT(programs.size(), 5); // made, read, at least two of writes, counted
    for (const auto& program : programs) {
        EXPECT_LE(program.programCharacters, 256 << 10);
    }
    EXPECT_EQ(costs.total(from).events, (4 * 3 + 3) + (2 + 1) + 2 * 12'000 + 4);
}

} // namespace
