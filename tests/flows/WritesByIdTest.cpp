// Every write reaches the tag the user chose, found in Things 3 by its identifier: a name with spaces
// at its ends or the record separators in it, a name changed in Things 3 since the import, two tags
// whose names look alike, a tag Things 3 deleted with its parent, an answer lost on its way back.
#include "BatchEditor.h"
#include "EditFixture.h"
#include "TagEditor.h"
#include "TagListActions.h"
#include "TagMerger.h"
#include "UndoHistory.h"
#include "UnusedTagsCleanup.h"

#include <QCoroTask>
#include <functional>

using namespace orvalet;
using standin::TodoState;

namespace {

class WritesByIdTest : public test::EditTest {
public:
    // Things 3 has " Someday " (spaces at both ends, as in the demo library) with one completed
    // to-do, Home, and a Kid below Home; the store has them as an import reads them.
    void SetUp() override {
        EditTest::SetUp();
        someday = library.makeTag(u" Someday "_qs);
        home = library.makeTag(u"Home"_qs);
        kid = library.makeTag(u"Kid"_qs, home);
        library.addTodo(u"Read"_qs, TodoState::Completed, {someday});
        importAll();
    }

    void importAll() {
        TagListActions actions(*store, *preferences, *worker);
        QCoro::waitFor(actions.importAllTags());
        endTurn();
    }
    void undo() { QCoro::waitFor(UndoHistory::forStore(*store).undo(*worker, *preferences)); }

    QString someday, home, kid;
};

struct FlowCase {
    const char* label;
    std::function<void(WritesByIdTest&)> run;
    QString after; // " Someday " in Things 3 and in the store afterwards
};

class SomedayFlows : public WritesByIdTest, public ::testing::WithParamInterface<FlowCase> {};

// The import keeps the name exactly, and each flow reaches the tag with it.
TEST_P(SomedayFlows, reachTheTagWhoseNameHasSpacesAtItsEnds) {
    ASSERT_EQ(inStore(someday), u" Someday :-");
    GetParam().run(*this);
    endTurn();
    EXPECT_EQ(inThings(someday), GetParam().after);
    EXPECT_EQ(inStore(someday), GetParam().after);
    EXPECT_EQ(inThings(home), u"Home:-");
}

INSTANTIATE_TEST_SUITE_P(
    WritesById, SomedayFlows,
    ::testing::Values(
        FlowCase{"editorRename", [](WritesByIdTest& t) { t.save(t.someday, u"Maybe"_qs); }, u"Maybe:-"_qs},
        FlowCase{"editorMove", [](WritesByIdTest& t) { t.save(t.someday, u" Someday "_qs, t.home); },
                 u" Someday :Home"_qs},
        FlowCase{"editorDelete",
                 [](WritesByIdTest& t) { QCoro::waitFor(t.edit(t.someday).deleteWithChildren()); },
                 u"gone"_qs},
        FlowCase{"listDelete",
                 [](WritesByIdTest& t) {
                     TagListActions actions(*t.store, *t.preferences, *t.worker);
                     QCoro::waitFor(actions.deleteTagFromList(t.store->tag(t.someday)));
                 },
                 u"gone"_qs},
        FlowCase{"batchMoveAndUndo",
                 [](WritesByIdTest& t) {
                     t.move({t.someday}, t.home);
                     t.undo();
                     QCoro::waitFor(UndoHistory::forStore(*t.store).redo(*t.worker, *t.preferences));
                 },
                 u" Someday :Home"_qs},
        FlowCase{
            "batchDelete",
            [](WritesByIdTest& t) { QCoro::waitFor(t.batchOf({t.store->tag(t.someday)}).confirmDelete()); },
            u"gone"_qs},
        FlowCase{"cleanUp",
                 [](WritesByIdTest& t) {
                     UnusedTagsCleanup cleanup(*t.store, *t.preferences, *t.worker);
                     cleanup.setChecked(t.kid, false); // Home cannot go without it
                     QCoro::waitFor(cleanup.confirmDelete());
                 },
                 u"gone"_qs},
        FlowCase{"mergeIntoHome",
                 [](WritesByIdTest& t) {
                     TagMerger merger(*t.store, *t.preferences, *t.worker, t.store->tag(t.someday));
                     merger.setDestinationId(t.home);
                     QCoro::waitFor(merger.prepareMerge());
                     QCoro::waitFor(merger.merge());
                 },
                 u"gone"_qs}),
    [](const ::testing::TestParamInfo<FlowCase>& info) { return std::string(info.param.label); });

// " Home" and "Home" are two tags; the one chosen is the one Things 3 gets, in each flow. A name with
// the record separators in it, or changed in Things 3 since, is reached all the same.
TEST_F(WritesByIdTest, theChosenTagIsTheOneWrittenWhateverItsNameOrItsLookAlikes) {
    const QString spaced = library.makeTag(u" Home"_qs);
    const QString free = library.makeTag(u"Free"_qs);
    importAll();
    move({free}, home);
    EXPECT_EQ(inThings(free), u"Free:Home");
    move({free}, spaced);
    EXPECT_EQ(inThings(free) + u',' + inStore(free), u"Free: Home,Free: Home");
    save(kid, u"Kid"_qs, spaced);
    EXPECT_EQ(inThings(kid) + u',' + inStore(kid), u"Kid: Home,Kid: Home");
    undo();
    EXPECT_EQ(inThings(kid), u"Kid:Home");

    const QString odd = library.makeTag(u"A|||B~~~"_qs);
    add(odd, u"A|||B~~~"_qs); // an import cannot read it; a creation or a rename here stores it
    save(odd, u"C|||D"_qs);
    EXPECT_EQ(inThings(odd) + u' ' + inStore(odd), u"C|||D:- C|||D:-");
    // Renamed in Things 3 since: a move still reaches it, and the store takes the name it has there.
    library.renameTag(odd, u"  Renamed"_qs);
    EXPECT_EQ(move({odd}, home), BatchResultState::success({u"C|||D"_qs}));
    EXPECT_EQ(inThings(odd) + u' ' + inStore(odd), u"  Renamed:Home   Renamed:Home");
}

// Things 3 deletes a tag's children with it: a child deleted next is gone already, which is what
// was asked, whichever of the two goes first.
TEST_F(WritesByIdTest, aParentAndItsChildDeletedTogetherFromTheListIsNoFailure) {
    for (const bool parentFirst : {true, false}) {
        SCOPED_TRACE(parentFirst ? "parent first" : "child first");
        const QString parent = library.makeTag(u"Health"_qs);
        const QString child = library.makeTag(u"Doctor"_qs, parent);
        importAll();
        TagListActions actions(*store, *preferences, *worker);
        QList<TagPtr> tags{store->tag(parent), store->tag(child)};
        actions.requestDelete(parentFirst ? tags : QList<TagPtr>{tags[1], tags[0]});
        QCoro::waitFor(actions.confirmDelete());
        EXPECT_EQ(actions.bannerMessage(), std::nullopt);
        EXPECT_EQ(inStore(parent) + inStore(child) + inThings(parent), u"gonegonegone");
    }
    // Several tags go in one program. One that Things 3 refuses is named in the banner; those before
    // and after it are deleted, as they would be one by one.
    auto t = tree(u"Alpha, Beta, Gamma"_qs);
    hookPrograms([beta = t[u"Beta"_qs]->id()](const QString& program, const ScriptEngine& things) {
        return things.run(test::refusing(program, beta, u"error \"Refused.\" number -10000"_qs));
    });
    TagListActions actions(*store, *preferences, *worker);
    const qsizetype before = sent().size();
    actions.requestDelete({t[u"Alpha"_qs], t[u"Beta"_qs], t[u"Gamma"_qs]});
    QCoro::waitFor(actions.confirmDelete());
    EXPECT_EQ(test::withoutTreeReads(sent().mid(before)).size(), 2); // the three, then Gamma alone
    EXPECT_EQ(inStore(t[u"Alpha"_qs]->id()) + inStore(t[u"Beta"_qs]->id()) + inStore(t[u"Gamma"_qs]->id()),
              u"goneBeta:-gone");
    EXPECT_TRUE(actions.bannerMessage()->startsWith(u"\u201CBeta\u201D was not deleted."_qs));
    EXPECT_FALSE(actions.hasDeletions());
}

// With the setting off, the designed programs go out as they are, except that a tag is made
// top-level by deleting its parent: Things 3 refuses a parent of `missing value`.
TEST_F(WritesByIdTest, theSettingOffSendsTheProgramsThatAddressTagsByName) {
    preferences->setFlag(PreferenceKey::findTagsById, false);
    move({kid}, std::nullopt);
    EXPECT_EQ(sent().last(), *ThingsService::updateTagScript(u"Kid"_qs, u"Kid"_qs, std::nullopt, u"Home"_qs));
    EXPECT_EQ(sent().last(), u"tell application \"Things3\"\n    delete parent tag of tag \"Kid\"\nend tell");
    EXPECT_EQ(inThings(kid), u"Kid:-");
    save(kid, u"Child"_qs);
    EXPECT_EQ(sent().last(),
              *ThingsService::updateTagScript(u"Kid"_qs, u"Child"_qs, std::nullopt, std::nullopt));
    QCoro::waitFor(edit(kid).deleteWithChildren());
    EXPECT_EQ(sent().last(), ThingsService::deleteTagScript(u"Child"_qs));
    EXPECT_EQ(inThings(kid), u"gone");
}

// ---- An answer lost on its way back ----

// The answer of a write is lost after running it in full, before running it at all, or after running
// it while Things 3 put every tag back under the parent it had (as if the program had stopped after
// a rename).
enum class Loss { afterRunning, beforeRunning, afterRunningWithoutTheMove };

TEST_F(WritesByIdTest, afterALostAnswerTheOutcomeFollowsWhatThingsHolds) {
    const QString away = library.makeTag(u"Away"_qs);
    importAll();
    const auto lose = [this](Loss loss) {
        hookPrograms([this, loss](const QString& program, const ScriptEngine& things) {
            if (!program.contains(u"set parent tag") && !program.contains(u"delete tag")) {
                return things.run(program);
            }
            QHash<QString, QString> parents;
            for (const QString& id : library.tagIds()) {
                parents.insert(id, library.tag(id)->parentId);
            }
            if (loss != Loss::beforeRunning) {
                things.run(program);
            }
            for (auto it = parents.cbegin(); loss == Loss::afterRunningWithoutTheMove && it != parents.cend();
                 ++it) {
                library.setParent(it.key(), it.value());
            }
            return std::optional(test::connectionLost());
        });
    };

    // Not run: a failure, and nothing changes.
    lose(Loss::beforeRunning);
    EXPECT_EQ(move({someday}, home),
              BatchResultState::failure(u" Someday "_qs, test::connectionLostMessage, {}));
    EXPECT_EQ(inStore(someday), u" Someday :-");

    // Run in full: the move and the deletion went through, and are reported so.
    lose(Loss::afterRunning);
    EXPECT_EQ(move({someday}, home), BatchResultState::success({u" Someday "_qs}));
    EXPECT_EQ(inStore(someday), u" Someday :Home");
    QCoro::waitFor(edit(someday).deleteWithChildren());
    EXPECT_EQ(editor->errorMessage(), std::nullopt);
    EXPECT_EQ(inStore(someday), u"gone");

    // Renamed, but not moved: a failure, and the record follows Things 3.
    lose(Loss::afterRunningWithoutTheMove);
    EXPECT_EQ(save(kid, u"Child"_qs, away).errorMessage(), test::connectionLostMessage);
    EXPECT_EQ(inThings(kid), u"Child:Home");
    EXPECT_EQ(inStore(kid), u"Child:Home");
}

} // namespace
