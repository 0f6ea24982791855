// Orvalet's programs, built and read by its bridge, run against a library: what the bridge relies on
// Things 3 to do, the stand-in must do.
#include "StandInTestSupport.h"
#include "ThingsError.h"
#include "ThingsService.h"

using orvalet::ThingsError;
using orvalet::ThingsService;
using orvalet::ThingsTagRecord;
using standin::LibraryTag;
using standin::ThingsLibrary;
using standin::TodoState;
using standin::testing::LibraryEngine;
using standin::testing::runOn;
namespace errors = standin::applescript::errors;

namespace {

class ThingsProgramsTest : public ::testing::Test {
protected:
    void SetUp() override {
        home = library.makeTag(QStringLiteral("Home"));
        garden = library.makeTag(QStringLiteral("Garden"), home);
        repairs = library.makeTag(QStringLiteral("Repairs"), home);
        plumbing = library.makeTag(QStringLiteral("Plumbing"), repairs);
        work = library.makeTag(QStringLiteral("Work"));
        separators = library.makeTag(QStringLiteral("a|||b~~~c"));
        quoted = library.makeTag(QStringLiteral("Say \"Hello\""));
        backslash = library.makeTag(QStringLiteral("C:\\Backups\\new"));
        library.addTodo(QStringLiteral("Mow"), TodoState::Open, {garden, home});
        library.addTodo(QStringLiteral("Weed"), TodoState::Open, {garden});
        library.addTodo(QStringLiteral("Prune"), TodoState::Completed, {garden});
        library.addTodo(QStringLiteral("Hedge"), TodoState::Canceled, {garden});
        library.addTodo(QStringLiteral("Leak"), TodoState::Open, {plumbing, work});
    }

    // The tag as the library holds it, in the form the bridge reads it.
    ThingsTagRecord record(const QString& id) const {
        const LibraryTag* t = library.tag(id);
        return {t->id, t->name, t->parentId.isEmpty() ? std::nullopt : std::optional(t->parentId),
                library.todoCount(id, TodoState::Open)};
    }

    ThingsLibrary library;
    LibraryEngine engine{library};
    ThingsService things{engine};
    QString home, garden, repairs, plumbing, work, separators, quoted, backslash;
};

TEST_F(ThingsProgramsTest, fetchAllGivesEveryTagOnceInTheRecordFormat) {
    QList<ThingsTagRecord> expected;
    for (const QString& id : library.tagIds()) {
        if (id != separators) { // a name holding the record separators cannot be read back
            expected.append(record(id));
        }
    }
    const QString output = things.runAppleScript(ThingsService::fetchAllTagsScript());
    EXPECT_EQ(ThingsService::parseTagList(output), expected);
    EXPECT_TRUE(output.startsWith(home + QStringLiteral("|||Home||||||1~~~")));
    EXPECT_TRUE(output.contains(garden + QStringLiteral("|||Garden|||") + home + QStringLiteral("|||2~~~")));

    ThingsLibrary empty;
    const LibraryEngine emptyEngine(empty);
    EXPECT_EQ(ThingsService(emptyEngine).runAppleScript(ThingsService::fetchAllTagsScript()), QString());
}

TEST_F(ThingsProgramsTest, lookUpsFindTheTagOrNothing) {
    EXPECT_EQ(things.fetchTagById(plumbing), record(plumbing));
    EXPECT_EQ(things.fetchTagById(QStringLiteral("NoSuchIdentifier123456")), std::nullopt);
    EXPECT_EQ(things.fetchTagByName(QStringLiteral("Garden")), record(garden));
    EXPECT_EQ(things.fetchTagByName(QStringLiteral("gARDEN")), record(garden));
    EXPECT_EQ(things.fetchTagByName(QStringLiteral("Nowhere")), std::nullopt);
    EXPECT_EQ(things.fetchTagByName(QStringLiteral("Say \"Hello\"")), record(quoted));
    EXPECT_EQ(things.fetchTagByName(QStringLiteral("C:\\Backups\\new")), record(backslash));
    // Things 3 finds the tag, but its name splits the answer into more than four fields.
    EXPECT_EQ(
        things.runAppleScript(ThingsService::fetchTagByNameScript(QStringLiteral("a|||b~~~c"))).count(u'|'),
        12);
    EXPECT_EQ(things.fetchTagByName(QStringLiteral("a|||b~~~c")), std::nullopt);
}

// The programs that find tags by their names, as sent with the setting off.
TEST_F(ThingsProgramsTest, renameAndReparent) {
    const auto update = [this](const QString& name, const QString& newName,
                               const std::optional<QString>& parent,
                               const std::optional<QString>& oldParent) {
        things.runAppleScript(*ThingsService::updateTagScript(name, newName, parent, oldParent));
    };
    const QString home = QStringLiteral("Home");
    update(QStringLiteral("Work"), QStringLiteral("Job \"day\""), std::nullopt, std::nullopt);
    EXPECT_EQ(library.tag(work)->name, QStringLiteral("Job \"day\""));

    update(QStringLiteral("Job \"day\""), QStringLiteral("Job \"day\""), home, std::nullopt);
    EXPECT_EQ(library.tag(work)->parentId, this->home);

    // Renamed first, then addressed by the new name; Things 3 finds names in any letter case.
    update(QStringLiteral("job \"DAY\""), QStringLiteral("Career"), QStringLiteral("Garden"), home);
    EXPECT_EQ(library.tag(work)->name, QStringLiteral("Career"));
    EXPECT_EQ(library.tag(work)->parentId, garden);

    update(QStringLiteral("Career"), QStringLiteral("Career"), std::nullopt, QStringLiteral("Garden"));
    EXPECT_TRUE(library.tag(work)->parentId.isEmpty());

    // A rename that only changes case is the same tag, not a clash.
    update(QStringLiteral("Career"), QStringLiteral("CAREER"), std::nullopt, std::nullopt);
    EXPECT_EQ(library.tag(work)->name, QStringLiteral("CAREER"));
}

// Each refused program fails with the engine's number, reaches the bridge's callers as a Things 3
// error, and changes nothing.
TEST_F(ThingsProgramsTest, refusedChangesRaiseThingsErrorsAndChangeNothing) {
    const auto update = [](const QString& name, const QString& newName, std::optional<QString> parent) {
        return *ThingsService::updateTagScript(name, newName, std::move(parent), std::nullopt);
    };
    const std::pair<QString, qint64> refusals[] = {
        {update(u"Work"_qs, u"home"_qs, {}), errors::handlerFailed},             // another tag's name
        {update(u"Work"_qs, u"  "_qs, {}), errors::handlerFailed},               // a blank name
        {update(u"Home"_qs, u"Home"_qs, u"Plumbing"_qs), errors::handlerFailed}, // below itself
        {update(u"Home"_qs, u"Home"_qs, u"Home"_qs), errors::handlerFailed},
        {update(u"Nowhere"_qs, u"X"_qs, {}), errors::cantGet},
        {update(u"Work"_qs, u"Work"_qs, u"Nowhere"_qs), errors::cantGet},
        {ThingsService::deleteTagScript(u"Nowhere"_qs), errors::cantGet},
        {ThingsService::createTagScript(QString(), std::nullopt), errors::handlerFailed},
    };
    for (const auto& [program, number] : refusals) {
        SCOPED_TRACE(program.toStdString());
        const QByteArray before = library.toJson();
        const auto answer = runOn(library, program);
        ASSERT_TRUE(answer.failure);
        EXPECT_EQ(answer.failure->number, number);
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
    const QString root = things.createTag(QStringLiteral("Errands"), std::nullopt, true);
    ASSERT_TRUE(ThingsLibrary::isIdentifier(root)) << root.toStdString();
    EXPECT_EQ(library.tag(root)->name, QStringLiteral("Errands"));
    EXPECT_TRUE(library.tag(root)->parentId.isEmpty());

    const QString child = things.createTag(QStringLiteral("Tap \"hot\" \\ cold"),
                                           {{plumbing, QStringLiteral("plumbing")}}, false);
    ASSERT_TRUE(ThingsLibrary::isIdentifier(child));
    EXPECT_EQ(library.tag(child)->name, QStringLiteral("Tap \"hot\" \\ cold"));
    EXPECT_EQ(library.tag(child)->parentId, plumbing);

    // A name Things 3 already has, in any letter case, gives that tag and makes none.
    const qsizetype before = library.tagCount();
    EXPECT_EQ(things.createTag(QStringLiteral("wORK"), std::nullopt, true), work);
    EXPECT_EQ(library.tagCount(), before);
    EXPECT_EQ(library.tag(work)->name, QStringLiteral("Work"));
}

TEST_F(ThingsProgramsTest, deleteTakesDescendantsAndClearsThemFromToDos) {
    EXPECT_EQ(things.runAppleScript(ThingsService::deleteTagScript(QStringLiteral("home"))), QString());
    for (const QString& gone : {home, garden, repairs, plumbing}) {
        EXPECT_EQ(library.tag(gone), nullptr);
        EXPECT_EQ(library.todoCount(gone, TodoState::Open), 0);
    }
    EXPECT_EQ(library.tagCount(), 4);
    for (const QString& id : library.todoIds()) {
        for (const QString& tagId : library.todo(id)->tagIds) {
            EXPECT_NE(library.tag(tagId), nullptr);
        }
    }
    EXPECT_EQ(library.todoCount(work, TodoState::Open), 1);
    // A tag of the same name can be made again afterwards.
    EXPECT_TRUE(ThingsLibrary::isIdentifier(things.createTag(QStringLiteral("Home"), std::nullopt, true)));
}

// Found by identifier, a tag is reached whatever its name holds, and a tag Things 3 no longer has
// is told apart from every other failure.
TEST_F(ThingsProgramsTest, writesByIdentifierReachTheTagWhateverItsName) {
    const auto change = [&](const QString& id, const QString& newName, std::optional<QString> parent) {
        const LibraryTag* t = library.tag(id);
        return things.changeTag({{id, QStringLiteral("stale name")},
                                 newName,
                                 !t || t->parentId.isEmpty() ? std::nullopt : std::optional(t->parentId),
                                 std::move(parent),
                                 {},
                                 {}},
                                true);
    };
    EXPECT_EQ(change(separators, QStringLiteral(" x|||y~~~ "), home),
              (orvalet::ThingsTagState{u" x|||y~~~ "_qs, home}));
    EXPECT_EQ(library.tag(separators)->parentId, home);
    EXPECT_EQ(change(separators, QStringLiteral("stale name"), std::nullopt).name, u" x|||y~~~ ");
    EXPECT_TRUE(library.tag(separators)->parentId.isEmpty());
    EXPECT_EQ(things.readTagState(garden), (orvalet::ThingsTagState{u"Garden"_qs, home}));
    EXPECT_EQ(things.readTagState(separators), (orvalet::ThingsTagState{u" x|||y~~~ "_qs, {}}));

    const QList<orvalet::ThingsTagUse> use = things.readTagUse({repairs, garden});
    EXPECT_EQ(use, (QList<orvalet::ThingsTagUse>{{repairs, 0, {plumbing}}, {garden, 2, {}}}));

    const QString gone = QStringLiteral("NoSuchIdentifier123456");
    EXPECT_EQ(things.readTagState(gone), std::nullopt);
    things.deleteTag({gone, QStringLiteral("Gone")}, true); // deleted already
    try {
        change(gone, QStringLiteral("New"), std::nullopt);
        ADD_FAILURE() << "a change of a tag Things 3 does not have went through";
    } catch (const ThingsError& error) {
        EXPECT_EQ(error.kind(), ThingsError::Kind::refused);
        EXPECT_EQ(error.errorDescription(),
                  u"\u201Cstale name\u201D is no longer in Things 3. Import from Things "
                  u"to bring the list up to date.");
    }
    things.deleteTag({home, QStringLiteral("stale name")}, true);
    EXPECT_EQ(library.tag(plumbing), nullptr);
}

// Things 3 refuses a parent of `missing value`; `delete parent tag of` makes a tag top-level.
TEST_F(ThingsProgramsTest, aTagIsMadeTopLevelByDeletingItsParentNeverByMissingValue) {
    const QByteArray before = library.toJson();
    const auto refused =
        runOn(library, QStringLiteral("tell application \"Things3\"\n"
                                      "    set parent tag of tag \"Garden\" to missing value\n"
                                      "end tell"));
    ASSERT_TRUE(refused.failure);
    EXPECT_EQ(refused.failure->number, errors::cantSet);
    EXPECT_EQ(refused.failure->message(),
              u"Things3 got an error: Can\u2019t set parent tag of tag \"Garden\" to missing value.");
    const auto made =
        runOn(library, QStringLiteral("tell application \"Things3\" to make new tag with "
                                      "properties {name: \"Loose\", parent tag: missing value}"));
    EXPECT_TRUE(made.failure);
    EXPECT_EQ(library.toJson(), before);

    for (const QString& name : {QStringLiteral("Garden"), QStringLiteral("Home")}) { // with and without
        const auto answer =
            runOn(library, QStringLiteral("tell application \"Things3\" to delete parent tag of tag ") +
                               ThingsService::appleScriptLiteral(name));
        EXPECT_FALSE(answer.failure) << name.toStdString();
    }
    EXPECT_TRUE(library.tag(garden)->parentId.isEmpty());
    EXPECT_EQ(library.tag(repairs)->parentId, home);
    EXPECT_EQ(library.tagCount(), 8);
    const auto other =
        runOn(library, QStringLiteral("tell application \"Things3\" to delete name of tag \"Home\""));
    EXPECT_TRUE(other.failure);
    EXPECT_EQ(library.tag(home)->name, u"Home");
}

} // namespace
