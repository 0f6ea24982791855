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
protected:
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
    TagEditor& edit(const QString& id) {
        editor = std::make_unique<TagEditor>(
            *store, *preferences, *worker, store->tag(id), [] {}, [](TagPtr) {}, [](bool) {});
        return *editor;
    }
    void move(const QList<QString>& ids, const std::optional<QString>& parent) {
        QList<TagPtr> tags;
        for (const QString& id : ids) {
            tags.append(store->tag(id));
        }
        BatchEditor batch(
            *store, *preferences, *worker, tags, [] {}, [](bool, int) {});
        batch.setSelectedParentId(parent);
        QCoro::waitFor(batch.saveChanges());
        lastResult = batch.resultState();
    }
    // A tag's name and parent's name in Things 3 ("-" for none), or "gone".
    QString inThings(const QString& id) const {
        const standin::LibraryTag* tag = library.tag(id);
        if (!tag) {
            return u"gone"_qs;
        }
        return tag->name + u':' + (tag->parentId.isEmpty() ? u"-"_qs : library.tag(tag->parentId)->name);
    }
    // The same of the stored record.
    QString inStore(const QString& id) const {
        const TagPtr tag = store->tag(id);
        if (!tag) {
            return u"gone"_qs;
        }
        const TagPtr parent = tag->parentTagId() ? store->tag(*tag->parentTagId()) : nullptr;
        return tag->name() + u':' + (parent ? parent->name() : u"-"_qs);
    }

    QString someday, home, kid;
    std::unique_ptr<TagEditor> editor;
    std::optional<BatchResultState> lastResult;
};

class SomedayFlows;

struct FlowCase {
    const char* label;
    std::function<void(SomedayFlows&)> run;
    QString after; // " Someday " in Things 3 and in the store afterwards
};

void PrintTo(const FlowCase& c, std::ostream* os) {
    *os << c.label;
}

class SomedayFlows : public WritesByIdTest, public ::testing::WithParamInterface<FlowCase> {
public:
    using WritesByIdTest::edit;
    using WritesByIdTest::move;
    QString somedayId() const { return someday; }
    QString homeId() const { return home; }
    QString kidId() const { return kid; }
    TagStore& tags() { return *store; }
    Preferences& settings() { return *preferences; }
    ThingsWorker& things() { return *worker; }
};

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
        FlowCase{"editorRename",
                 [](SomedayFlows& t) {
                     TagEditor& editor = t.edit(t.somedayId());
                     editor.setNameField(u"Maybe"_qs);
                     QCoro::waitFor(editor.saveChanges());
                 },
                 u"Maybe:-"_qs},
        FlowCase{"editorMove",
                 [](SomedayFlows& t) {
                     TagEditor& editor = t.edit(t.somedayId());
                     editor.setSelectedParentId(t.homeId());
                     QCoro::waitFor(editor.saveChanges());
                 },
                 u" Someday :Home"_qs},
        FlowCase{"editorDelete",
                 [](SomedayFlows& t) { QCoro::waitFor(t.edit(t.somedayId()).deleteWithChildren()); },
                 u"gone"_qs},
        FlowCase{"listDelete",
                 [](SomedayFlows& t) {
                     TagListActions actions(t.tags(), t.settings(), t.things());
                     QCoro::waitFor(actions.deleteTagFromList(t.tags().tag(t.somedayId())));
                 },
                 u"gone"_qs},
        FlowCase{"batchMoveAndUndo",
                 [](SomedayFlows& t) {
                     t.move({t.somedayId()}, t.homeId());
                     QCoro::waitFor(UndoHistory::forStore(t.tags()).undo(t.things(), t.settings()));
                     QCoro::waitFor(UndoHistory::forStore(t.tags()).redo(t.things(), t.settings()));
                 },
                 u" Someday :Home"_qs},
        FlowCase{"batchDelete",
                 [](SomedayFlows& t) {
                     BatchEditor batch(
                         t.tags(), t.settings(), t.things(), {t.tags().tag(t.somedayId())}, [] {},
                         [](bool, int) {});
                     QCoro::waitFor(batch.confirmDelete());
                 },
                 u"gone"_qs},
        FlowCase{"cleanUp",
                 [](SomedayFlows& t) {
                     UnusedTagsCleanup cleanup(t.tags(), t.settings(), t.things());
                     cleanup.setChecked(t.homeId(), false);
                     cleanup.setChecked(t.kidId(), false);
                     QCoro::waitFor(cleanup.confirmDelete());
                 },
                 u"gone"_qs},
        FlowCase{"mergeIntoHome",
                 [](SomedayFlows& t) {
                     TagMerger merger(t.tags(), t.settings(), t.things(), t.tags().tag(t.somedayId()));
                     merger.setDestinationId(t.homeId());
                     QCoro::waitFor(merger.prepareMerge());
                     QCoro::waitFor(merger.merge());
                 },
                 u"gone"_qs}),
    [](const ::testing::TestParamInfo<FlowCase>& info) { return std::string(info.param.label); });

TEST_F(WritesByIdTest, aNameWithTheRecordSeparatorsOrChangedInThingsIsRenamedAndMoved) {
    const QString odd = library.makeTag(u"A|||B~~~"_qs);
    add(odd, u"A|||B~~~"_qs); // an import cannot read it; a creation or a rename here stores it
    edit(odd).setNameField(u"C|||D"_qs);
    QCoro::waitFor(editor->saveChanges());
    EXPECT_EQ(editor->errorMessage(), std::nullopt);
    EXPECT_EQ(inThings(odd), u"C|||D:-");
    EXPECT_EQ(inStore(odd), u"C|||D:-");

    // Renamed in Things 3 since: a move still reaches it, and the store takes the name it has there.
    library.renameTag(odd, u"  Renamed"_qs);
    move({odd}, home);
    EXPECT_EQ(lastResult, BatchResultState::success({u"C|||D"_qs}));
    EXPECT_EQ(inThings(odd), u"  Renamed:Home");
    EXPECT_EQ(inStore(odd), u"  Renamed:Home");
}

// " Home" and "Home" are two tags; the one chosen is the one Things 3 gets, in each flow.
TEST_F(WritesByIdTest, ofTwoAlikeNamesTheChosenParentIsTheOneInThings) {
    const QString spaced = library.makeTag(u" Home"_qs);
    const QString free = library.makeTag(u"Free"_qs);
    importAll();
    move({free}, home);
    EXPECT_EQ(library.tag(free)->parentId, home);
    move({free}, spaced);
    EXPECT_EQ(library.tag(free)->parentId, spaced);
    EXPECT_EQ(store->tag(free)->parentTagId(), spaced);
    edit(kid).setSelectedParentId(spaced);
    QCoro::waitFor(editor->saveChanges());
    EXPECT_EQ(library.tag(kid)->parentId, spaced);
    QCoro::waitFor(UndoHistory::forStore(*store).undo(*worker, *preferences));
    EXPECT_EQ(library.tag(kid)->parentId, home);
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
        const TagPtr parentTag = store->tag(parent);
        const TagPtr childTag = store->tag(child);
        actions.requestDelete(parentFirst ? QList<TagPtr>{parentTag, childTag}
                                          : QList<TagPtr>{childTag, parentTag});
        QCoro::waitFor(actions.confirmDelete());
        EXPECT_EQ(actions.bannerMessage(), std::nullopt);
        EXPECT_EQ(inStore(parent), u"gone");
        EXPECT_EQ(inStore(child), u"gone");
        EXPECT_EQ(inThings(parent), u"gone");
    }
}

// With the setting off, the designed programs go out as they are, except that a tag is made
// top-level by deleting its parent: Things 3 refuses a parent of `missing value`.
TEST_F(WritesByIdTest, theSettingOffSendsTheProgramsThatAddressTagsByName) {
    preferences->setFlag(PreferenceKey::findTagsById, false);
    move({kid}, std::nullopt);
    ASSERT_EQ(sent().size(), 2); // the import, then the move
    EXPECT_EQ(sent().last(), *ThingsService::updateTagScript(u"Kid"_qs, u"Kid"_qs, std::nullopt, u"Home"_qs));
    EXPECT_EQ(sent().last(), u"tell application \"Things3\"\n    delete parent tag of tag \"Kid\"\nend tell");
    EXPECT_EQ(inThings(kid), u"Kid:-");
    edit(kid).setNameField(u"Child"_qs);
    QCoro::waitFor(editor->saveChanges());
    EXPECT_EQ(sent().last(),
              *ThingsService::updateTagScript(u"Kid"_qs, u"Child"_qs, std::nullopt, std::nullopt));
    QCoro::waitFor(edit(kid).deleteWithChildren());
    EXPECT_EQ(sent().last(), ThingsService::deleteTagScript(u"Child"_qs));
    EXPECT_EQ(inThings(kid), u"gone");
}

// ---- An answer lost on its way back ----

// Runs every program on the library, but loses the answer of a write: after running it in full,
// before running it at all, or after running it while Things 3 put every tag back under the parent
// it had (as if the program had stopped after a rename).
class LosingEngine final : public ScriptEngine {
public:
    enum class Loss { afterRunning, beforeRunning, afterRunningWithoutTheMove };

    LosingEngine(standin::ThingsLibrary& library, Loss loss)
        : m_engine(library)
        , m_library(library)
        , m_loss(loss) {}

    std::optional<ScriptOutcome> run(const QString& source) const override {
        const bool write = source.contains(u"set parent tag") || source.contains(u"delete tag");
        if (!write) {
            return m_engine.run(source);
        }
        QHash<QString, QString> parents;
        for (const QString& id : m_library.tagIds()) {
            parents.insert(id, m_library.tag(id)->parentId);
        }
        if (m_loss != Loss::beforeRunning) {
            m_engine.run(source);
        }
        if (m_loss == Loss::afterRunningWithoutTheMove) {
            for (auto it = parents.cbegin(); it != parents.cend(); ++it) {
                m_library.setParent(it.key(), it.value());
            }
        }
        const QString brief = u"Connection is invalid."_qs;
        return ScriptOutcome{std::nullopt,
                             ScriptError{u"Things3 got an error: "_qs + brief, brief, -609, brief}};
    }

private:
    standin::testing::LibraryEngine m_engine;
    standin::ThingsLibrary& m_library;
    Loss m_loss;
};

TEST_F(WritesByIdTest, afterALostAnswerTheOutcomeFollowsWhatThingsHolds) {
    const QString connectionLost = u"AppleScript error: Things3 got an error: Connection is invalid."_qs;
    const QString away = library.makeTag(u"Away"_qs);
    importAll();

    // Not run: a failure, and nothing changes.
    useEngine(std::make_unique<LosingEngine>(library, LosingEngine::Loss::beforeRunning));
    move({someday}, home);
    EXPECT_EQ(lastResult, BatchResultState::failure(u" Someday "_qs, connectionLost, {}));
    EXPECT_EQ(inStore(someday), u" Someday :-");

    // Run in full: the move and the deletion went through, and are reported so.
    useEngine(std::make_unique<LosingEngine>(library, LosingEngine::Loss::afterRunning));
    move({someday}, home);
    EXPECT_EQ(lastResult, BatchResultState::success({u" Someday "_qs}));
    EXPECT_EQ(inStore(someday), u" Someday :Home");
    QCoro::waitFor(edit(someday).deleteWithChildren());
    EXPECT_EQ(editor->errorMessage(), std::nullopt);
    EXPECT_EQ(inStore(someday), u"gone");

    // Renamed, but not moved: a failure, and the record follows Things 3.
    useEngine(std::make_unique<LosingEngine>(library, LosingEngine::Loss::afterRunningWithoutTheMove));
    TagEditor& editor = edit(kid);
    editor.setNameField(u"Child"_qs);
    editor.setSelectedParentId(away);
    QCoro::waitFor(editor.saveChanges());
    EXPECT_EQ(editor.errorMessage(), connectionLost);
    EXPECT_EQ(inThings(kid), u"Child:Home");
    EXPECT_EQ(inStore(kid), u"Child:Home");
}

} // namespace
