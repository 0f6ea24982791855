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

TEST_F(ThingsProgramsTest, renameAndReparent) {
    const QString home = QStringLiteral("Home");
    things.updateTag(QStringLiteral("Work"), QStringLiteral("Job \"day\""), std::nullopt, std::nullopt);
    EXPECT_EQ(library.tag(work)->name, QStringLiteral("Job \"day\""));

    things.updateTag(QStringLiteral("Job \"day\""), QStringLiteral("Job \"day\""), home, std::nullopt);
    EXPECT_EQ(library.tag(work)->parentId, this->home);

    // Renamed first, then addressed by the new name; Things 3 finds names in any letter case.
    things.updateTag(QStringLiteral("job \"DAY\""), QStringLiteral("Career"), QStringLiteral("Garden"), home);
    EXPECT_EQ(library.tag(work)->name, QStringLiteral("Career"));
    EXPECT_EQ(library.tag(work)->parentId, garden);

    things.updateTag(QStringLiteral("Career"), QStringLiteral("Career"), std::nullopt,
                     QStringLiteral("Garden"));
    EXPECT_TRUE(library.tag(work)->parentId.isEmpty());

    // A rename that only changes case is the same tag, not a clash.
    things.updateTag(QStringLiteral("Career"), QStringLiteral("CAREER"), std::nullopt, std::nullopt);
    EXPECT_EQ(library.tag(work)->name, QStringLiteral("CAREER"));
}

TEST_F(ThingsProgramsTest, refusedChangesRaiseThingsErrorsAndChangeNothing) {
    struct Refusal {
        std::function<void()> change;
        qint64 number;
    };
    const std::optional<QString> none;
    const Refusal refusals[] = {
        {[&] { things.updateTag(QStringLiteral("Work"), QStringLiteral("home"), none, none); },
         errors::handlerFailed},
        {[&] { things.updateTag(QStringLiteral("Work"), QStringLiteral("  "), none, none); },
         errors::handlerFailed},
        {[&] {
             things.updateTag(QStringLiteral("Home"), QStringLiteral("Home"), QStringLiteral("Plumbing"),
                              none);
         },
         errors::handlerFailed},
        {[&] {
             things.updateTag(QStringLiteral("Home"), QStringLiteral("Home"), QStringLiteral("Home"), none);
         },
         errors::handlerFailed},
        {[&] { things.updateTag(QStringLiteral("Nowhere"), QStringLiteral("X"), none, none); },
         errors::cantGet},
        {[&] {
             things.updateTag(QStringLiteral("Work"), QStringLiteral("Work"), QStringLiteral("Nowhere"),
                              none);
         },
         errors::cantGet},
        {[&] { things.runAppleScript(ThingsService::deleteTagScript(QStringLiteral("Nowhere"))); },
         errors::cantGet},
        {[&] { things.createTag(QString(), none); }, errors::handlerFailed},
    };
    for (const Refusal& refusal : refusals) {
        const QByteArray before = library.toJson();
        try {
            refusal.change();
            ADD_FAILURE() << "refusal #" << (&refusal - refusals) << " was accepted";
        } catch (const ThingsError& error) {
            EXPECT_TRUE(error.message().startsWith(QStringLiteral("Things3 got an error: ")))
                << error.message().toStdString();
            EXPECT_TRUE(error.errorDescription().startsWith(
                QStringLiteral("AppleScript error: Things3 got an error: ")));
        }
        EXPECT_EQ(library.toJson(), before) << "refusal #" << (&refusal - refusals);
    }
    // The numbers are the engine's, as the bridge's callers never see them: check them directly.
    EXPECT_EQ(runOn(library, ThingsService::deleteTagScript(QStringLiteral("Nowhere"))).failure->number,
              errors::cantGet);
}

TEST_F(ThingsProgramsTest, createMakesARootOrAChildAndReturnsItsIdentifier) {
    const QString root = things.createTag(QStringLiteral("Errands"), std::nullopt);
    ASSERT_TRUE(ThingsLibrary::isIdentifier(root)) << root.toStdString();
    EXPECT_EQ(library.tag(root)->name, QStringLiteral("Errands"));
    EXPECT_TRUE(library.tag(root)->parentId.isEmpty());

    const QString child = things.createTag(QStringLiteral("Tap \"hot\" \\ cold"), QStringLiteral("plumbing"));
    ASSERT_TRUE(ThingsLibrary::isIdentifier(child));
    EXPECT_EQ(library.tag(child)->name, QStringLiteral("Tap \"hot\" \\ cold"));
    EXPECT_EQ(library.tag(child)->parentId, plumbing);

    // A name Things 3 already has, in any letter case, gives that tag and makes none.
    const qsizetype before = library.tagCount();
    EXPECT_EQ(things.createTag(QStringLiteral("wORK"), std::nullopt), work);
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
    EXPECT_TRUE(ThingsLibrary::isIdentifier(things.createTag(QStringLiteral("Home"), std::nullopt)));
}

} // namespace
