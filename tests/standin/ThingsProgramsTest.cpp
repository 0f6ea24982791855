// Orvalet's programs, built and read by its bridge, run against a library: what the bridge relies on
// Things 3 to do, the stand-in must do. Merges use a to-do's tag names, its identifier and the to-do
// found by identifier: the text and the to-do's tags must stay one and the same.
#include "StandInTestSupport.h"
#include "ThingsError.h"
#include "ThingsService.h"

#include <functional>

using orvalet::ThingsError;
using orvalet::ThingsMergeRead;
using orvalet::ThingsService;
using orvalet::ThingsTagRecord;
using standin::LibraryTag;
using standin::ThingsLibrary;
using standin::TodoState;
using standin::testing::LibraryEngine;
using standin::testing::runOn;
using standin::testing::shown;
using standin::testing::tell;
namespace errors = standin::applescript::errors;

namespace {

class ThingsProgramsTest : public ::testing::Test {
protected:
    void SetUp() override {
        home = library.makeTag(u"Home"_qs);
        garden = library.makeTag(u"Garden"_qs, home);
        repairs = library.makeTag(u"Repairs"_qs, home);
        plumbing = library.makeTag(u"Plumbing"_qs, repairs);
        work = library.makeTag(u"Work"_qs);
        mac = library.makeTag(u"Mac"_qs);
        separators = library.makeTag(u"a|||b~~~c"_qs);
        quoted = library.makeTag(u"Say \"Hello\""_qs);
        backslash = library.makeTag(u"C:\\Backups\\new"_qs);
        mow = library.addTodo(u"Mow"_qs, TodoState::Open, {garden, home});
        library.addTodo(u"Weed"_qs, TodoState::Open, {garden});
        library.addTodo(u"Prune"_qs, TodoState::Completed, {garden});
        library.addTodo(u"Hedge"_qs, TodoState::Canceled, {garden});
        library.addTodo(u"Leak"_qs, TodoState::Open, {plumbing, work});
        call = library.addTodo(u"Call"_qs, TodoState::Open, {home, mac});
        fix = library.addTodo(u"Fix"_qs, TodoState::Completed, {home});
        drop = library.addTodo(u"Drop"_qs, TodoState::Canceled, {home});
    }

    // The tag as the library holds it, in the form the bridge reads it.
    ThingsTagRecord record(const QString& id) const {
        const LibraryTag* t = library.tag(id);
        return {t->id, t->name, t->parentId.isEmpty() ? std::nullopt : std::optional(t->parentId),
                library.todoCount(id, TodoState::Open)};
    }
    // The result of a program that must succeed.
    QString run(const QString& body) {
        const auto answer = runOn(library, tell(body));
        EXPECT_FALSE(answer.failure) << shown(answer).toStdString();
        return answer.result.value_or(QString());
    }
    ThingsLibrary library;
    LibraryEngine engine{library};
    ThingsService things{engine};
    QString home, garden, repairs, plumbing, work, mac, separators, quoted, backslash;
    QString mow, call, fix, drop;
};

TEST_F(ThingsProgramsTest, fetchAllAndLookUpsGiveTheTagsInTheRecordFormat) {
    QList<ThingsTagRecord> expected;
    for (const QString& id : library.tagIds()) {
        if (id != separators) { // a name holding the record separators cannot be read back
            expected.append(record(id));
        }
    }
    const QString output = things.runAppleScript(ThingsService::fetchAllTagsScript());
    EXPECT_EQ(ThingsService::parseTagList(output), expected);
    EXPECT_TRUE(output.startsWith(home + u"|||Home||||||2~~~"_qs));
    EXPECT_EQ(things.fetchTagById(plumbing), record(plumbing));
    EXPECT_EQ(things.fetchTagById(u"NoSuchIdentifier123456"_qs), std::nullopt);
    EXPECT_EQ(things.fetchTagByName(u"gARDEN"_qs), record(garden));
    EXPECT_EQ(things.fetchTagByName(u"Nowhere"_qs), std::nullopt);
    EXPECT_EQ(things.fetchTagByName(u"Say \"Hello\""_qs), record(quoted));
    EXPECT_EQ(things.fetchTagByName(u"C:\\Backups\\new"_qs), record(backslash));
    // Things 3 finds the tag, but its name splits the answer into more than four fields.
    EXPECT_EQ(things.runAppleScript(ThingsService::fetchTagByNameScript(u"a|||b~~~c"_qs)).count(u'|'), 12);
    EXPECT_EQ(things.fetchTagByName(u"a|||b~~~c"_qs), std::nullopt);

    ThingsLibrary empty;
    EXPECT_EQ(ThingsService(LibraryEngine(empty)).runAppleScript(ThingsService::fetchAllTagsScript()),
              QString());
}

// The programs that find tags by their names, as sent with the setting off: each step renames or
// moves Work, found by its name of the moment in any letter case.
TEST_F(ThingsProgramsTest, renameAndReparent) {
    using Parent = std::optional<QString>;
    const std::tuple<QString, QString, Parent, Parent, QString> steps[] = {
        // The name it is found by, its new name, its new and its old parent, and its parent after.
        {u"Work"_qs, u"Job \"day\""_qs, {}, {}, QString()},
        {u"Job \"day\""_qs, u"Job \"day\""_qs, u"Home"_qs, {}, home},
        {u"job \"DAY\""_qs, u"Career"_qs, u"Garden"_qs, u"Home"_qs, garden}, // renamed first, then moved
        {u"Career"_qs, u"Career"_qs, {}, u"Garden"_qs, QString()},
        {u"Career"_qs, u"CAREER"_qs, {}, {}, QString()}, // only the case changes: the same tag, not a clash
    };
    for (const auto& [name, newName, parent, oldParent, parentAfter] : steps) {
        things.runAppleScript(*ThingsService::updateTagScript(name, newName, parent, oldParent));
        EXPECT_EQ(library.tag(work)->name, newName);
        EXPECT_EQ(library.tag(work)->parentId, parentAfter) << newName.toStdString();
    }
}

// Each refused program fails with the engine's number, reaches the bridge's callers as a Things 3
// error, and changes nothing: not even the part of a to-do's tag names that named a tag.
TEST_F(ThingsProgramsTest, refusedChangesRaiseThingsErrorsAndChangeNothing) {
    const auto update = [](const QString& name, const QString& newName, std::optional<QString> parent) {
        return *ThingsService::updateTagScript(name, newName, std::move(parent), std::nullopt);
    };
    const QString call = u"to do id \""_qs + this->call + u'"';
    const std::pair<QString, qint64> refusals[] = {
        {update(u"Work"_qs, u"home"_qs, {}), errors::handlerFailed},             // another tag's name
        {update(u"Work"_qs, u"  "_qs, {}), errors::handlerFailed},               // a blank name
        {update(u"Home"_qs, u"Home"_qs, u"Plumbing"_qs), errors::handlerFailed}, // below itself
        {update(u"Home"_qs, u"Home"_qs, u"Home"_qs), errors::handlerFailed},
        {update(u"Nowhere"_qs, u"X"_qs, {}), errors::cantGet},
        {update(u"Work"_qs, u"Work"_qs, u"Nowhere"_qs), errors::cantGet},
        {ThingsService::deleteTagScript(u"Nowhere"_qs), errors::cantGet},
        {ThingsService::createTagScript(QString(), std::nullopt), errors::handlerFailed},
        {tell(u"make new tag with properties {name: \"Loose\", parent tag: missing value}"_qs),
         errors::cantSet},
        {tell(u"delete name of tag \"Home\""_qs), errors::handlerFailed},
        {tell(u"set tag names of "_qs + call + u" to \"Work, Nowhere\""_qs), errors::cantSet},
        // Not a text, not a to-do, no such to-do, a property to-dos do not have.
        {tell(u"set tag names of "_qs + call + u" to missing value"_qs), errors::cantSet},
        {tell(u"set tag names of tag \"Home\" to \"Mac\""_qs), errors::cantSet},
        {tell(u"set tag names of to do id \"NoSuchToDo123456789012\" to \"Mac\""_qs), errors::cantGet},
        {tell(u"set name of "_qs + call + u" to \"Other\""_qs), errors::cantSet},
        {tell(u"return tag names of tag \"Home\""_qs), errors::cantGet},
    };
    for (const auto& [program, number] : refusals) {
        SCOPED_TRACE(program.toStdString());
        const QByteArray before = library.toJson();
        EXPECT_EQ(shown(runOn(library, program)), QString(u"error "_qs + QString::number(number)));
        try {
            things.runAppleScript(program);
            ADD_FAILURE() << "the bridge took a refusal for an answer";
        } catch (const ThingsError& error) {
            EXPECT_TRUE(error.errorDescription().startsWith(u"AppleScript error: Things3 got an error: "))
                << error.errorDescription().toStdString();
        }
        EXPECT_EQ(library.toJson(), before);
    }
}

TEST_F(ThingsProgramsTest, createMakesARootOrAChildAndReturnsItsIdentifier) {
    const QString root = things.createTag(u"Errands"_qs, std::nullopt, true);
    ASSERT_TRUE(ThingsLibrary::isIdentifier(root)) << root.toStdString();
    EXPECT_EQ(library.tag(root)->name, u"Errands"_qs);
    EXPECT_TRUE(library.tag(root)->parentId.isEmpty());

    const QString child = things.createTag(u"Tap \"hot\" \\ cold"_qs, {{plumbing, u"plumbing"_qs}}, false);
    EXPECT_EQ(library.tag(child)->name, u"Tap \"hot\" \\ cold"_qs);
    EXPECT_EQ(library.tag(child)->parentId, plumbing);

    // A name Things 3 already has, in any letter case, gives that tag and makes none.
    const qsizetype before = library.tagCount();
    EXPECT_EQ(things.createTag(u"wORK"_qs, std::nullopt, true), work);
    EXPECT_EQ(library.tagCount(), before);
    EXPECT_EQ(library.tag(work)->name, u"Work"_qs);
}

// Deleting takes the tags below (the library's own tests hold the rest of what a deletion changes);
// a tag of the same name can be made again afterwards.
TEST_F(ThingsProgramsTest, deleteTakesDescendantsAndLeavesTheNameFree) {
    EXPECT_EQ(things.runAppleScript(ThingsService::deleteTagScript(u"home"_qs)), QString());
    EXPECT_EQ(library.tagCount(), 5);
    EXPECT_EQ(library.todoRecord(call)->tagIds, QStringList{mac});
    EXPECT_NE(things.createTag(u"Home"_qs, std::nullopt, true), home);
    EXPECT_EQ(library.tagCount(), 6);
}

// Runs each program through `hook`, which runs it on the library or not.
class HookedEngine final : public orvalet::ScriptEngine {
public:
    using Hook = std::function<std::optional<orvalet::ScriptOutcome>(const QString&, const LibraryEngine&)>;
    HookedEngine(ThingsLibrary& library, Hook hook)
        : m_engine(library)
        , m_hook(std::move(hook)) {}
    std::optional<orvalet::ScriptOutcome> run(const QString& source) const override {
        return m_hook(source, m_engine);
    }

private:
    LibraryEngine m_engine;
    Hook m_hook;
};

// Runs programs on a library, counting them. The tag `refused` fails where a program finds it, as
// if Things 3 refused it; with `lose`, every writing program's answer is lost, after it ran in full
// or (with `loseFirst`) before it ran.
class RecountingEngine final : public orvalet::ScriptEngine {
public:
    explicit RecountingEngine(ThingsLibrary& library)
        : m_engine(library) {}
    std::optional<orvalet::ScriptOutcome> run(const QString& source) const override {
        ++programs;
        const QString program = standin::testing::refusing(
            source, refused, u"error \"Things3 got an error: Can\u2019t change that tag.\" number -10000"_qs);
        const bool writes = source.contains(u"delete "_qs) || source.contains(u"set name of"_qs) ||
                            source.contains(u"set parent tag"_qs);
        if (!lose || !writes)
            return m_engine.run(program);
        if (!loseFirst)
            m_engine.run(program);
        return orvalet::ScriptOutcome{std::nullopt,
                                      orvalet::ScriptError{u"Connection is invalid."_qs, {}, -609, {}}};
    }
    QString refused = u"none"_qs;
    bool lose = false, loseFirst = false;
    mutable int programs = 0;

private:
    LibraryEngine m_engine;
};

// A deletion or a move of many tags in one program per hundred reports exactly what one program per
// tag does: the same tags done, in order, with the same names, and the same failure; a tag gone
// already counts as deleted, and stops a move.
TEST(TagGroups, endWhereOneProgramPerTagWouldAndSayTheSame) {
    struct Case {
        const char* name;
        int tags, refused = -1, gone = -1;
        bool lose = false, loseFirst = false;
        int programs = 1, movePrograms = 1;
    };
    const Case cases[] = {{"250 tags", 250, -1, -1, false, false, 3, 3},
                          {"refused at 37", 100, 36},
                          {"refused at 1", 100, 0},
                          {"refused at 100", 100, 99},
                          {"gone at 37", 100, -1, 36, false, false, 1, 1},
                          {"lost after running", 100, -1, -1, true, false, 2, 101},
                          {"lost after stopping at 37", 100, 36, -1, true, false, 2, 38},
                          {"lost before running", 100, -1, -1, true, true, 2, 2}};
    const auto told = [](const std::optional<ThingsError>& error) {
        return error ? error->errorDescription() + u' ' + QString::number(error->number().value_or(0))
                     : u"-"_qs;
    };
    const auto held = [](const ThingsLibrary& library) {
        QStringList tags;
        for (const QString& id : library.tagIds())
            tags.append(id + u'>' + library.tag(id)->name + u'>' + library.tag(id)->parentId);
        return tags;
    };
    for (const bool moving : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (moving ? " moved" : " deleted"));
            ThingsLibrary grouped, single;
            QList<orvalet::ThingsTagChange> changes;
            for (ThingsLibrary* library : {&grouped, &single}) {
                library->seedIdentifiers(7);
                const QString parent = library->makeTag(u"P"_qs);
                changes.clear();
                for (int i = 0; i < c.tags; ++i) {
                    // Every third is renamed, to a name no answer's separators can cut.
                    const QString name = u"T%1"_qs.arg(i);
                    changes.append({{library->makeTag(name), name},
                                    i % 3 ? name : u" a|||b;1,2 \U0001F600~~~ %1"_qs.arg(i),
                                    {},
                                    parent,
                                    {},
                                    u"P"_qs});
                }
                if (c.gone >= 0)
                    library->deleteTag(changes[c.gone].tag.id);
            }
            RecountingEngine groupedEngine(grouped), singleEngine(single);
            for (RecountingEngine* engine : {&groupedEngine, &singleEngine}) {
                std::tie(engine->refused, engine->lose, engine->loseFirst) =
                    std::tuple(c.refused >= 0 ? changes[c.refused].tag.id : u"none"_qs, c.lose, c.loseFirst);
            }
            QList<orvalet::ThingsTagRef> tags;
            for (const orvalet::ThingsTagChange& change : std::as_const(changes))
                tags.append(change.tag);
            orvalet::ThingsChangesOutcome outcome;
            if (moving) {
                outcome = ThingsService(groupedEngine).changeTags(changes, true);
            } else {
                const orvalet::ThingsGroupOutcome deleted =
                    ThingsService(groupedEngine).deleteTags(tags, true);
                outcome = {QList<orvalet::ThingsTagState>(deleted.done), deleted.failure};
            }
            orvalet::ThingsChangesOutcome expected;
            for (const orvalet::ThingsTagChange& change : std::as_const(changes)) {
                try {
                    if (moving)
                        expected.states.append(ThingsService(singleEngine).changeTag(change, true));
                    else
                        ThingsService(singleEngine).deleteTag(change.tag, true);
                    if (!moving)
                        expected.states.append(orvalet::ThingsTagState{});
                } catch (const ThingsError& error) {
                    expected.failure = error;
                    break;
                }
            }
            const auto text = [](const QList<orvalet::ThingsTagState>& states) {
                QStringList lines;
                for (const orvalet::ThingsTagState& state : states)
                    lines.append(state.name + u'>' + state.parentId.value_or(u"-"_qs));
                return lines;
            };
            EXPECT_EQ(text(outcome.states), text(expected.states));
            EXPECT_EQ(told(outcome.failure), told(expected.failure));
            EXPECT_EQ(held(grouped), held(single));
            EXPECT_EQ(groupedEngine.programs, moving ? c.movePrograms : c.programs);
        }
    }
}

// Found by identifier, a tag is reached whatever its name holds, and a tag Things 3 no longer has
// is told apart from every other failure.
TEST_F(ThingsProgramsTest, writesByIdentifierReachTheTagWhateverItsName) {
    const auto change = [&](const QString& id, const QString& newName, std::optional<QString> parent) {
        const LibraryTag* t = library.tag(id);
        const auto oldParent = !t || t->parentId.isEmpty() ? std::nullopt : std::optional(t->parentId);
        return things.changeTag({{id, u"stale name"_qs}, newName, oldParent, std::move(parent), {}, {}},
                                true);
    };
    EXPECT_EQ(change(separators, u" x|||y~~~ "_qs, home), (orvalet::ThingsTagState{u" x|||y~~~ "_qs, home}));
    EXPECT_EQ(library.tag(separators)->parentId, home);
    EXPECT_EQ(change(separators, u"stale name"_qs, std::nullopt).name, u" x|||y~~~ ");
    EXPECT_TRUE(library.tag(separators)->parentId.isEmpty());
    EXPECT_EQ(things.readTagState(garden), (orvalet::ThingsTagState{u"Garden"_qs, home}));
    EXPECT_EQ(things.readTagState(separators), (orvalet::ThingsTagState{u" x|||y~~~ "_qs, {}}));
    EXPECT_EQ(things.readTagUse({repairs, garden}),
              (QList<orvalet::ThingsTagUse>{{repairs, 0, {plumbing}}, {garden, 2, {}}}));

    const QString gone = u"NoSuchIdentifier123456"_qs;
    EXPECT_EQ(things.readTagState(gone), std::nullopt);
    things.deleteTag({gone, u"Gone"_qs}, true); // deleted already
    try {
        change(gone, u"New"_qs, std::nullopt);
        ADD_FAILURE() << "a change of a tag Things 3 does not have went through";
    } catch (const ThingsError& error) {
        EXPECT_EQ(error.kind(), ThingsError::Kind::refused);
        EXPECT_EQ(error.errorDescription(),
                  u"\u201Cstale name\u201D is no longer in Things 3. Import from Things "
                  u"to bring the list up to date.");
    }
    things.deleteTag({home, u"stale name"_qs}, true);
    EXPECT_EQ(library.tag(plumbing), nullptr);
}

// Things 3 refuses a parent of `missing value`; `delete parent tag of` makes a tag top-level, and
// leaves a top-level one as it is.
TEST_F(ThingsProgramsTest, aTagIsMadeTopLevelByDeletingItsParentNeverByMissingValue) {
    const auto refused = runOn(library, tell(u"    set parent tag of tag \"Garden\" to missing value"_qs));
    ASSERT_TRUE(refused.failure);
    EXPECT_EQ(refused.failure->number, errors::cantSet);
    EXPECT_EQ(refused.failure->message(),
              u"Things3 got an error: Can\u2019t set parent tag of tag \"Garden\" to missing value.");
    EXPECT_EQ(library.tag(garden)->parentId, home);

    run(u"delete parent tag of tag "_qs + ThingsService::appleScriptLiteral(u"Garden"_qs));
    run(u"delete parent tag of tag \"Home\""_qs);
    EXPECT_TRUE(library.tag(garden)->parentId.isEmpty());
    EXPECT_EQ(library.tag(repairs)->parentId, home);
    EXPECT_EQ(library.tagCount(), 9);
}

TEST_F(ThingsProgramsTest, tagNamesReadAndWriteTheToDosTags) {
    const QString byId = u"to do id \""_qs + call + u'"';
    EXPECT_EQ(run(u"return tag names of "_qs + byId), u"Home, Mac"_qs);
    // Every status is listed, in the order the to-dos were given the tag.
    EXPECT_EQ(run(u"set s to \"\"\nrepeat with d in to dos of tag \"home\"\nset s to s & id of d & \";\"\n"
                  u"end repeat\nreturn s"_qs),
              mow + u';' + call + u';' + fix + u';' + drop + u';');

    // Names are found in any letter case and trimmed; the to-do carries the tags themselves, once
    // each, and the open counts follow.
    run(u"set tag names of "_qs + byId + u" to \" work ,mac, WORK\""_qs);
    EXPECT_EQ(library.todoRecord(call)->tagIds, (QStringList{work, mac}));
    EXPECT_EQ(run(u"return tag names of "_qs + byId), u"Work, Mac"_qs);
    const QString openOf = u"count of (to dos of tag \"%1\" whose status is open)"_qs;
    EXPECT_EQ(run(openOf.arg(u"Home")), u"1"_qs);
    EXPECT_EQ(run(openOf.arg(u"Work")), u"2"_qs);

    // The empty text takes every tag off; a deleted tag leaves the text too.
    run(u"set tag names of to do id \""_qs + fix + u"\" to \"\""_qs);
    EXPECT_TRUE(library.todoRecord(fix)->tagIds.isEmpty());
    run(u"delete tag \"Mac\""_qs);
    EXPECT_EQ(run(u"return tag names of "_qs + byId), u"Work"_qs);
}

// The read program of a merge, and how its answer is read: exactly, or not at all.
TEST_F(ThingsProgramsTest, mergeReadIsExactOrUnreadable) {
    const QString commas = library.makeTag(u"Cats, Dogs"_qs);
    const QString pets = library.addTodo(u"Feed"_qs, TodoState::Open, {commas, home});
    library.addTodo(u"Walk"_qs, TodoState::Open, {commas}); // not a to-do of Home

    const std::optional<ThingsMergeRead> read = things.readMerge(u"home"_qs, u"Work"_qs);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->sourceId, home);
    EXPECT_EQ(read->destinationId, work);
    EXPECT_EQ(read->childIds, (QStringList{garden, repairs}));
    EXPECT_EQ(read->todos, (QList<ThingsMergeRead::Todo>{{mow, u"Garden, Home"_qs},
                                                         {call, u"Home, Mac"_qs},
                                                         {fix, u"Home"_qs},
                                                         {drop, u"Home"_qs},
                                                         {pets, u"Cats, Dogs, Home"_qs}}));
    EXPECT_TRUE(read->todosWithCommaTags.contains(pets));
    EXPECT_EQ(read->todosWithCommaTags.size(), 2);

    // A name holding "~~~" followed by what looks like a whole record, or ending in "~", shifts the
    // records: the reader notices instead of reading a to-do that does not exist.
    for (const QString& name : QStringList{u"x~~~"_qs + work + u"|||Work"_qs, u"tilde~"_qs, u"~~~"_qs}) {
        SCOPED_TRACE(name.toStdString());
        const QString tag = library.makeTag(name);
        library.setTodoTags(fix, {home, tag});
        EXPECT_FALSE(things.readMerge(u"Home"_qs, u"Work"_qs));
        library.deleteTag(tag);
    }
    EXPECT_TRUE(things.readMerge(u"Home"_qs, u"Work"_qs));
    for (const QString& answer :
         {u"A|||B|||C,|||2~~~D|||Home~~~"_qs, u"A|||B||||||1~~~D|||Home~~~E|||Home~~~"_qs,
          u"A|||B||||||2~~~D|||Home~~~D|||Home~~~"_qs}) {
        EXPECT_FALSE(ThingsService::parseMergeRead(answer)) << answer.toStdString();
    }
}

// Home is replaced by the destination in a to-do's tag names, kept once when it is there already. There
// is no answer when Home is not among them (not what was read), when spaces around a comma would
// come back otherwise (" Mac" would come back "Mac"), or when the destination would split.
TEST(ReplacedTagNames, keepTheOrderAndOneDestinationOrAreNone) {
    const std::tuple<QString, QString, std::optional<QString>> cases[] = {
        {u"Home, Mac"_qs, u"Work"_qs, u"Work, Mac"_qs},
        {u"Mac, HOME"_qs, u"Work"_qs, u"Mac, Work"_qs},
        {u"Work, Home"_qs, u"work"_qs, u"Work"_qs},
        {u"Home"_qs, u"Say \"Hi\" \\ there"_qs, u"Say \"Hi\" \\ there"_qs},
        {u"Mac"_qs, u"Work"_qs, std::nullopt},
        {u"Home,  Mac"_qs, u"Work"_qs, std::nullopt},
        {u"Home,Mac"_qs, u"Work"_qs, std::nullopt},
        {u"Home, Mac "_qs, u"Work"_qs, std::nullopt},
        {u"Home"_qs, u"A, B"_qs, std::nullopt},
        {QString(), u"Work"_qs, std::nullopt}};
    for (const auto& [names, destination, expected] : cases) {
        EXPECT_EQ(ThingsService::replacedTagNames(names, u"Home"_qs, destination), expected)
            << names.toStdString();
    }
}

} // namespace

// Trees read before a deletion, made again and their to-dos given their tags back: the library ends
// as it began, whatever the names of the to-dos' other tags hold.
TEST_F(ThingsProgramsTest, treesComeBackWithTheirToDosTags) {
    const QString emoji = library.makeTag(u"Pipes \U0001F6B0 \"1\""_qs, plumbing);
    const QString odd = library.addTodo(u"Odd"_qs, TodoState::Canceled, {separators, emoji, quoted});
    library.setShortcut(emoji, u"~"_qs);
    // Each to-do's tags, and each tag's path, by name.
    const auto picture = [this] {
        QStringList lines;
        for (const QString& todo : library.todoIds()) {
            QStringList names;
            for (const auto record = library.todoRecord(todo); const QString& id : record->tagIds)
                names.append(library.tag(id)->name);
            lines.append(library.todoRecord(todo)->name + u": " + names.join(u", "));
        }
        for (const QString& id : library.tagIds())
            lines.append(library.tag(id)->name + u" [" + library.tag(id)->shortcut + u"] < " +
                         (library.tag(id)->parentId.isEmpty()
                              ? QString()
                              : library.tag(library.tag(id)->parentId)->name));
        lines.sort();
        return lines;
    };
    const QStringList before = picture();
    // Plumbing is inside Home's tree: read twice, kept once, after its parent.
    const auto read = things.readTrees({plumbing, home, u"NoSuchTag123"_qs});
    ASSERT_TRUE(read);
    EXPECT_EQ(read->goneIds, QStringList{u"NoSuchTag123"_qs});
    QList<orvalet::ThingsTagToMake> toMake;
    QHash<QString, qsizetype> made;
    for (const auto& tag : read->tags) {
        made.insert(tag.id, toMake.size());
        toMake.append(
            {tag.name, std::nullopt, tag.parentId ? made.value(*tag.parentId, -1) : -1, tag.shortcut});
    }
    ASSERT_EQ(toMake.size(), 5);
    for (qsizetype i = 1; i < toMake.size(); ++i)
        EXPECT_GE(toMake[i].parentIndex, 0) << toMake[i].name.toStdString();
    things.deleteTag({home, u"Home"_qs}, true);

    // A name Things 3 has stops the program before anything is made.
    const QString twin = library.makeTag(u"GARDEN"_qs);
    const QByteArray held = library.toJson();
    EXPECT_EQ(things.makeTagsAgain(toMake).takenIndexes, QList<qsizetype>{made.value(garden)});
    EXPECT_EQ(library.toJson(), held);
    library.deleteTag(twin);

    EXPECT_EQ(things.makeTagsAgain(toMake).madeIds.size(), 5);
    QList<orvalet::ThingsTodoRestore> todos;
    for (const auto& todo : read->todos) {
        QStringList names;
        for (const auto& tag : read->tags)
            if (tag.todoIds.contains(todo.id))
                names.append(tag.name);
        todos.append({todo.id, todo.tagNames, names, std::nullopt});
    }
    EXPECT_EQ(things.restoreTodoTags(todos), (orvalet::ThingsTodoRestoreCount{todos.size(), 0, 0, 0}));
    EXPECT_EQ(picture(), before);
    EXPECT_EQ(library.todoRecord(odd)->tagIds.size(), 3);
}

// Looked up by identifier, a hundred to a program, a tag reads as the designed look-up reads it, and a
// name holding the record's separators reads exactly too; a tag Things 3 no longer has is nothing.
TEST_F(ThingsProgramsTest, lookUpsByIdentifierReadEveryNameExactly) {
    EXPECT_EQ(things.fetchTagsById({plumbing, separators, u"NoSuchIdentifier123456"_qs, home}),
              (QList<std::optional<ThingsTagRecord>>{record(plumbing), record(separators), std::nullopt,
                                                     record(home)}));
    EXPECT_EQ(things.fetchTag(garden, true), things.fetchTag(garden, false));
    EXPECT_EQ(things.fetchTag(separators, false), std::nullopt); // the designed look-up cannot read it
    EXPECT_EQ(things.readOpenCounts({home, garden, work}), (QList<qint64>{2, 2, 1}));
}

// To-dos' tag names are read through tags they carry, two reads a tag, and on their own otherwise; a
// name Things 3 does not have is passed over, a to-do it no longer has is nothing, and the to-dos of
// every tag with a comma are told.
TEST_F(ThingsProgramsTest, toDosAreReadThroughTheirTagsAndOnTheirOwn) {
    const QString commas = library.makeTag(u"Cats, Dogs"_qs);
    const QString pets = library.addTodo(u"Pets"_qs, TodoState::Completed, {commas, home});
    int programs = 0;
    HookedEngine counting(library, [&programs](const QString& program, const LibraryEngine& engine) {
        ++programs;
        return engine.run(program);
    });
    const auto texts = ThingsService(counting).readTodoTagNames({mow, call, pets, u"NoSuchToDo"_qs},
                                                                {u"Garden"_qs, u"Nowhere"_qs});
    EXPECT_EQ(programs, 2);           // Garden's to-dos, then the rest one by one
    EXPECT_EQ(texts.texts.size(), 4); // only those asked for, though Garden carries more
    EXPECT_EQ(texts.texts.value(mow), u"Garden, Home"_qs);
    EXPECT_EQ(texts.texts.value(call), u"Home, Mac"_qs);
    EXPECT_EQ(texts.texts.value(pets), u"Cats, Dogs, Home"_qs);
    EXPECT_TRUE(texts.texts.contains(u"NoSuchToDo"_qs));
    EXPECT_EQ(texts.texts.value(u"NoSuchToDo"_qs), std::nullopt);
    EXPECT_EQ(texts.withCommaTags, QSet<QString>{pets});
}

// Past a thousand tags, making them again takes a program that checks every name first, then a
// program a thousand; a parent made by an earlier program is found by its new identifier. A name
// taken between the programs ends the making there, with what was made reported.
TEST_F(ThingsProgramsTest, manyTagsAreMadeAgainInProgramsOfAThousandCheckedFirst) {
    QList<orvalet::ThingsTagToMake> toMake;
    for (qsizetype i = 0; i < 1500; ++i) {
        toMake.append({u"Made "_qs + QString::number(i), i % 4 == 0 ? std::optional(home) : std::nullopt,
                       i % 4 == 0 ? -1 : i - 3, i % 7 == 0 ? u"k"_qs : QString()});
    }
    int programs = 0;
    QString takenLater;
    HookedEngine counting(library, [&](const QString& program, const LibraryEngine& engine) {
        ++programs;
        const auto answer = engine.run(program);
        if (!takenLater.isEmpty() && programs == 2)
            library.makeTag(takenLater);
        return answer;
    });
    const ThingsService service(counting);

    library.makeTag(u"made 1200"_qs);
    const QByteArray held = library.toJson();
    EXPECT_EQ(service.makeTagsAgain(toMake).takenIndexes, QList<qsizetype>{1200});
    EXPECT_EQ(programs, 1);
    EXPECT_EQ(library.toJson(), held);
    library.deleteTag(library.tagIdByName(u"made 1200"_qs).value());

    programs = 0;
    takenLater = u"Made 1300"_qs;
    const orvalet::ThingsMadeTags part = service.makeTagsAgain(toMake);
    EXPECT_EQ(part.madeIds.size(), 1000);
    ASSERT_TRUE(part.failure);
    EXPECT_EQ(part.failure->errorDescription(),
              u"\u201CMade 1300\u201D is in Things 3 already, so it was not made again. Rename or delete it "
              u"there, then undo once more."_qs);
    for (const QString& id : part.madeIds)
        if (library.tag(id)) // else gone with its parent
            library.deleteTag(id);
    library.deleteTag(library.tagIdByName(takenLater).value());

    programs = 0;
    takenLater.clear();
    const orvalet::ThingsMadeTags all = service.makeTagsAgain(toMake);
    EXPECT_EQ(programs, 3);
    ASSERT_EQ(all.madeIds.size(), 1500);
    EXPECT_FALSE(all.failure);
    for (const qsizetype i : {qsizetype(7), qsizetype(1001), qsizetype(1499)}) {
        const standin::LibraryTag* made = library.tag(all.madeIds[i]);
        EXPECT_EQ(made->name, toMake[i].name);
        EXPECT_EQ(made->parentId, i % 4 == 0 ? home : all.madeIds[i - 3]);
        EXPECT_EQ(made->shortcut, toMake[i].shortcut);
    }
}

TEST(RestoredTagNames, keepTheOldOrderWhileTheRestIsAsItWasAndAddAtTheEndOtherwise) {
    const auto restored = [](const char16_t* now, const char16_t* before) {
        return ThingsService::restoredTagNames(QStringView(now), QStringView(before),
                                               {u"Repairs"_qs, u"Home"_qs})
            .value_or(u"(none)"_qs);
    };
    EXPECT_EQ(restored(u"Work, Mac", u"Home, Work, Repairs, Mac"), u"Home, Work, Repairs, Mac");
    EXPECT_EQ(restored(u"", u"Repairs, Home"), u"Repairs, Home");
    EXPECT_EQ(restored(u"Mac, Work", u"Home, Work, Repairs, Mac"), u"Mac, Work, Repairs, Home");
    EXPECT_EQ(restored(u"Mac, home", u"Repairs, Mac"), u"Mac, home, Repairs");
    EXPECT_EQ(restored(u"Mac,Work", u"Repairs"), u"(none)");
    EXPECT_EQ(restored(u" Someday , Mac", u"Repairs"), u"(none)");
}

// `keyboard shortcut` is a tag property: missing value for none, one character set with `set`, taken
// off only with `delete`.
TEST_F(ThingsProgramsTest, keyboardShortcutsAreReadSetAndDeletedOneCharacterAtATime) {
    const QString isNone = u"return keyboard shortcut of tag \"Home\" is missing value"_qs;
    EXPECT_EQ(run(isNone), u"true"_qs);
    run(u"set keyboard shortcut of tag \"Home\" to \"7\""_qs);
    EXPECT_EQ(run(u"return keyboard shortcut of tag id \""_qs + home + u'"'), u"7"_qs);
    const QByteArray before = library.toJson();
    for (const QString& refused : QStringList{u"\"\""_qs, u"\"77\""_qs, u"missing value"_qs, u"7"_qs,
                                              u"\" \""_qs, u"\"\\t\""_qs, u'"' + QString(QChar(1)) + u'"'}) {
        EXPECT_EQ(shown(runOn(library, tell(u"set keyboard shortcut of tag \"Home\" to "_qs + refused))),
                  u"error -10006"_qs)
            << refused.toStdString();
    }
    EXPECT_EQ(library.toJson(), before);
    run(u"delete keyboard shortcut of tag \"Home\""_qs);
    EXPECT_EQ(run(isNone), u"true"_qs);

    // By name, and read back: the import's program (a key that is a separator, through a stand-in
    // process, in ShortcutFlowsTest); an answer cut short is not read.
    EXPECT_EQ(
        things.setShortcuts({{{mac, u"Mac"_qs}, u"\U0001F600"_qs}, {{work, u"Work"_qs}, u"\\"_qs}}, false)
            .failure,
        std::nullopt);
    EXPECT_EQ(things.readShortcuts().value(mac) + things.readShortcuts().value(work), u"\U0001F600\\"_qs);
    EXPECT_EQ(ThingsService::parseShortcuts(u"abc|||55,"_qs), std::nullopt);
}
