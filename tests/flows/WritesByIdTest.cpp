// Every write reaches the tag the user chose, found in Things 3 by its identifier: a name with spaces
// at its ends or the record separators in it, a name changed in Things 3 since the import, two tags
// whose names look alike, a tag Things 3 deleted with its parent, an answer lost on its way back.
#include "BatchEditor.h"
#include "EditFixture.h"
#include "ShortcutWrites.h"
#include "TagEditor.h"
#include "TagListActions.h"
#include "TagMerger.h"
#include "UndoHistory.h"
#include "UnusedTagsCleanup.h"

#include <QCoroTask>
#include <QSignalSpy>
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
                     t.redo();
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
        QCoro::waitFor(actions.requestDelete(parentFirst ? tags : QList<TagPtr>{tags[1], tags[0]}));
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
    QCoro::waitFor(actions.requestDelete({t[u"Alpha"_qs], t[u"Beta"_qs], t[u"Gamma"_qs]}));
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

// A key Things 3 holds but no key types (two characters, as a library can hold) does not stop a rename:
// the save leaves the key it did not change alone.
TEST_F(WritesByIdTest, aKeyTheFieldCannotShowDoesNotStopARename) {
    library.setShortcut(home, u"ab"_qs);
    store->tag(home)->setShortcut(u"ab"_qs);
    TagEditor& editor = edit(home);
    editor.setNameField(u"House"_qs);
    EXPECT_TRUE(editor.canSave());
    QCoro::waitFor(editor.saveChanges());
    EXPECT_EQ(editor.errorMessage(), std::nullopt);
    EXPECT_EQ(inThings(home) + u'=' + library.tag(home)->shortcut, u"House:-=ab"_qs);
    editor.setShortcutField(u"cd"_qs);
    EXPECT_FALSE(editor.canSave());
}

// A parent selected with its 249 children: Things 3 deletes them with it, and each program goes on past
// those already gone, so a program a hundred tags deletes them all, with nothing reported.
TEST_F(WritesByIdTest, aParentSelectedWithItsChildrenGoesInAProgramAHundredTags) {
    QList<TagPtr> tags{both(u"Parent"_qs)};
    for (int i = 0; i < 249; ++i)
        tags.append(both(u"Child "_qs + QString::number(i), tags.first()));
    const qsizetype before = sent().size();
    QCoro::waitFor(batchOf(tags).confirmDelete());
    EXPECT_LE(test::withoutTreeReads(sent().mid(before)).size(), 3);
    EXPECT_TRUE(batch->deleteFailures().isEmpty());
    EXPECT_EQ(inStore(tags.first()->id()) + inStore(tags.last()->id()) + inThings(tags.last()->id()),
              u"gonegonegone"_qs);
}

// Things 3 holds "Home" and "home", which it takes for the same name: a by-name write meant for one
// could reach the other. Each flow acts on "home" (below Work, with a key and a to-do of its own):
// what Things 3 takes by identifier goes through, what it takes only by name is refused with the other
// tag named, and "Home" is never touched.
class NamesakeTest : public WritesByIdTest {
public:
    void SetUp() override {
        WritesByIdTest::SetUp();
        work = library.makeTag(u"Work"_qs);
        twin = library.makeTag(u"Namesake of Home"_qs, work);
        library.setShortcut(twin, u"t"_qs);
        library.addTodo(u"Dishes"_qs, TodoState::Open, {home});
        library.addTodo(u"Chores"_qs, TodoState::Open, {twin});
        // A library file holds names that Things 3 would not let a change make.
        library =
            standin::ThingsLibrary::fromJson(library.toJson().replace("\"Namesake of Home\"", "\"home\""));
        importAll();
        homeBefore = homeState();
    }
    // Home's name, parent, key and to-dos, in Things 3 and in the store.
    QString homeState() const {
        QStringList todos;
        for (const QString& id : library.todoIdsOfTag(home))
            todos.append(library.todoRecord(id)->name);
        return inThings(home) + u'=' + library.tag(home)->shortcut + u' ' + todos.join(u',') + u" | " +
               inStore(home) + u'=' + store->tag(home)->shortcutKey();
    }
    QString twinState() const {
        return inThings(twin) + u'=' + (library.tag(twin) ? library.tag(twin)->shortcut : QString()) +
               u" | " + inStore(twin);
    }

    QString work, twin, homeBefore;
};

struct NamesakeCase {
    const char* label;
    std::function<std::optional<QString>(NamesakeTest&)> run; // the message the user reads, if any
    QString after;                                            // "home" in Things 3 and in the store
};

class NamesakeFlows : public NamesakeTest, public ::testing::WithParamInterface<NamesakeCase> {};

const QString refusal =
    u"Things 3 has another tag named \u201CHome\u201D; rename one of them in Things 3 first."_qs;

TEST_P(NamesakeFlows, reachOnlyTheTagChosen) {
    ASSERT_EQ(twinState(), u"home:Work=t | home:Work"_qs);
    const std::optional<QString> message = GetParam().run(*this);
    endTurn();
    EXPECT_EQ(twinState(), GetParam().after);
    EXPECT_EQ(homeState(), homeBefore);
    if (library.tag(twin)) {
        EXPECT_EQ(library.todoIdsOfTag(twin).size(), 1u);
    }
    if (GetParam().after.startsWith(u"home:Work=t | home:Work"))
        EXPECT_EQ(message, refusal);
    else
        EXPECT_EQ(message, std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    WritesById, NamesakeFlows,
    ::testing::Values(
        NamesakeCase{"rename", [](NamesakeTest& t) { return t.save(t.twin, u"House"_qs).errorMessage(); },
                     u"House:Work=t | House:Work"_qs},
        NamesakeCase{"groupedMove",
                     [](NamesakeTest& t) -> std::optional<QString> {
                         const auto result = t.move({t.twin, t.someday}, t.kid);
                         return result && !result->isSuccess() ? std::optional(result->error())
                                                               : std::nullopt;
                     },
                     u"home:Kid=t | home:Kid"_qs},
        NamesakeCase{"moveToTopLevel",
                     [](NamesakeTest& t) -> std::optional<QString> {
                         const auto result = t.move({t.twin}, std::nullopt);
                         return result ? std::optional(result->error()) : std::nullopt;
                     },
                     u"home:Work=t | home:Work"_qs},
        NamesakeCase{"editorDelete",
                     [](NamesakeTest& t) {
                         QCoro::waitFor(t.edit(t.twin).deleteWithChildren());
                         return t.editor->errorMessage();
                     },
                     u"home:Work=t | home:Work"_qs},
        NamesakeCase{
            "groupedDelete",
            [](NamesakeTest& t) -> std::optional<QString> {
                QCoro::waitFor(t.batchOf({t.store->tag(t.twin), t.store->tag(t.someday)}).confirmDelete());
                const auto failures = t.batch->deleteFailures();
                return failures.isEmpty() ? std::nullopt : std::optional(failures.first().error);
            },
            u"home:Work=t | home:Work"_qs},
        NamesakeCase{"shortcutSet",
                     [](NamesakeTest& t) -> std::optional<QString> {
                         const QList<ShortcutWrites::Write> writes{{t.store->tag(t.twin), u"7"_qs}};
                         const auto sent = QCoro::waitFor(ShortcutWrites::send(*t.worker, true, writes));
                         const auto failure = sent.upToFirstFailure().failure;
                         return failure ? std::optional(failure->errorDescription()) : std::nullopt;
                     },
                     u"home:Work=t | home:Work"_qs},
        NamesakeCase{"shortcutClear",
                     [](NamesakeTest& t) -> std::optional<QString> {
                         QCoro::waitFor(t.batchOf({t.store->tag(t.twin)}).clearShortcuts());
                         const auto result = t.batch->resultState();
                         return result ? std::optional(result->error()) : std::nullopt;
                     },
                     u"home:Work=t | home:Work"_qs},
        NamesakeCase{"merge",
                     [](NamesakeTest& t) {
                         TagMerger merger(*t.store, *t.preferences, *t.worker, t.store->tag(t.twin));
                         merger.setDestinationId(t.work);
                         QCoro::waitFor(merger.prepareMerge());
                         return merger.errorMessage();
                     },
                     u"home:Work=t | home:Work"_qs},
        NamesakeCase{"moveUndoneAndRedone",
                     [](NamesakeTest& t) -> std::optional<QString> {
                         t.move({t.twin}, t.someday);
                         t.undo();
                         EXPECT_EQ(t.twinState(), u"home:Work=t | home:Work"_qs);
                         t.redo();
                         return std::nullopt;
                     },
                     u"home: Someday =t | home: Someday "_qs},
        NamesakeCase{"deletionRedone",
                     [](NamesakeTest& t) -> std::optional<QString> {
                         // Deleted while "Home" was "House", then redone once Things 3 has both again.
                         t.library.renameTag(t.home, u"House"_qs);
                         QCoro::waitFor(t.edit(t.twin).deleteWithChildren());
                         t.undo();
                         EXPECT_TRUE(t.library.tagIdByName(u"home"_qs));
                         t.twin = t.library.tagIdByName(u"home"_qs).value_or(t.twin); // made again
                         t.library = standin::ThingsLibrary::fromJson(
                             t.library.toJson().replace("\"House\"", "\"Home\""));
                         QSignalSpy problems(&t.history(), &UndoHistory::problem);
                         t.redo();
                         return problems.isEmpty() ? std::nullopt
                                                   : std::optional(problems.first().first().toString());
                     },
                     u"home:Work=t | home:Work"_qs}),
    [](const ::testing::TestParamInfo<NamesakeCase>& info) { return std::string(info.param.label); });

} // namespace

namespace {

// Identifiers a library file can hold: one with a double quote and a backslash, which Things 3 writes
// back escaped in its messages, and one with the fetch-all program's record separator, which would
// read as a tag Things 3 does not have. The first is stored, and deleting it once it is gone already
// is no failure; the second, and no phantom of it, is stored.
TEST_F(WritesByIdTest, identifiersAreMatchedAsThingsWritesThem) {
    const QString quoted = library.makeTag(u"Quoted"_qs);
    const QString split = library.makeTag(u"Split"_qs);
    library = standin::ThingsLibrary::fromJson(
        library.toJson().replace(quoted.toUtf8(), "q\\\"uo\\\\ted").replace(split.toUtf8(), "spl~~~phantom"));
    importAll();
    ASSERT_EQ(inStore(u"q\"uo\\ted"_qs), u"Quoted:-"_qs);
    QStringList stored;
    for (const TagPtr& tag : store->allTags())
        stored.append(tag->id());
    EXPECT_FALSE(stored.contains(u"phantom"_qs) || stored.contains(u"spl~~~phantom"_qs))
        << stored.join(u' ').toStdString();

    library.deleteTag(u"q\"uo\\ted"_qs);
    QCoro::waitFor(edit(u"q\"uo\\ted"_qs).deleteWithChildren());
    EXPECT_EQ(editor->errorMessage(), std::nullopt);
    EXPECT_EQ(inStore(u"q\"uo\\ted"_qs), u"gone"_qs);
}

} // namespace
