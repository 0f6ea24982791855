// A to-do's tag names, its identifier and the to-do found by identifier, as merges use them: the
// text and the to-do's tags must stay one and the same, and what Things 3 would refuse changes
// nothing.
#include "StandInTestSupport.h"
#include "ThingsService.h"

using orvalet::ThingsMergeRead;
using orvalet::ThingsService;
using standin::ThingsLibrary;
using standin::TodoState;
using standin::testing::LibraryEngine;
using standin::testing::runOn;
namespace errors = standin::applescript::errors;

namespace {

class TodoTagNamesTest : public ::testing::Test {
protected:
    void SetUp() override {
        home = library.makeTag(u"Home"_qs);
        mac = library.makeTag(u"Mac"_qs);
        work = library.makeTag(u"Work"_qs);
        open = library.addTodo(u"Call"_qs, TodoState::Open, {home, mac});
        done = library.addTodo(u"Fix"_qs, TodoState::Completed, {home});
        dropped = library.addTodo(u"Drop"_qs, TodoState::Canceled, {home});
    }

    QString run(const QString& body) {
        const auto answer = runOn(library, u"tell application \"Things3\"\n"_qs + body + u"\nend tell"_qs);
        EXPECT_FALSE(answer.failure) << answer.failure->message().toStdString();
        return answer.result.value_or(QString());
    }
    qint64 refusal(const QString& body) {
        const QByteArray before = library.toJson();
        const auto answer = runOn(library, u"tell application \"Things3\"\n"_qs + body + u"\nend tell"_qs);
        EXPECT_EQ(library.toJson(), before) << "a refused program changed the library";
        return answer.failure ? answer.failure->number : 0;
    }
    QString openCount(const QString& tag) {
        return run(u"count of (to dos of tag \""_qs + tag + u"\" whose status is open)"_qs);
    }

    ThingsLibrary library;
    QString home, mac, work, open, done, dropped;
};

TEST_F(TodoTagNamesTest, tagNamesReadAndWriteTheToDosTags) {
    const QString byId = u"to do id \""_qs + open + u'"';
    EXPECT_EQ(run(u"return tag names of "_qs + byId), u"Home, Mac"_qs);
    EXPECT_EQ(run(u"return id of "_qs + byId), open);
    // Every status is listed, in the order the to-dos were given the tag.
    EXPECT_EQ(
        run(u"set s to \"\"\nrepeat with d in to dos of tag \"home\"\nset s to s & id of d & \";\"\nend "
            u"repeat\nreturn s"_qs),
        open + u';' + done + u';' + dropped + u';');

    // Names are found in any letter case and trimmed; the to-do carries the tags themselves, once
    // each, and the open counts follow.
    run(u"set tag names of "_qs + byId + u" to \" work ,mac, WORK\""_qs);
    EXPECT_EQ(library.todo(open)->tagIds, (QStringList{work, mac}));
    EXPECT_EQ(run(u"return tag names of "_qs + byId), u"Work, Mac"_qs);
    EXPECT_EQ(openCount(u"Home"_qs), u"0"_qs);
    EXPECT_EQ(openCount(u"Work"_qs), u"1"_qs);

    // The empty text takes every tag off; a deleted tag leaves the text too.
    run(u"set tag names of to do id \""_qs + done + u"\" to \"\""_qs);
    EXPECT_TRUE(library.todo(done)->tagIds.isEmpty());
    run(u"delete tag \"Mac\""_qs);
    EXPECT_EQ(run(u"return tag names of "_qs + byId), u"Work"_qs);
}

TEST_F(TodoTagNamesTest, whatThingsWouldRefuseChangesNothing) {
    const QString byId = u"to do id \""_qs + open + u'"';
    // A name that is no tag: nothing is made and no other name of the text is applied.
    EXPECT_EQ(refusal(u"set tag names of "_qs + byId + u" to \"Work, Nowhere\""_qs), errors::cantSet);
    // Not a text, not a to-do, no such to-do, a property to-dos do not have.
    EXPECT_EQ(refusal(u"set tag names of "_qs + byId + u" to missing value"_qs), errors::cantSet);
    EXPECT_EQ(refusal(u"set tag names of tag \"Home\" to \"Mac\""_qs), errors::cantSet);
    EXPECT_EQ(refusal(u"set tag names of to do id \"NoSuchToDo123456789012\" to \"Mac\""_qs),
              errors::cantGet);
    EXPECT_EQ(refusal(u"set name of "_qs + byId + u" to \"Other\""_qs), errors::cantSet);
    EXPECT_EQ(refusal(u"return tag names of tag \"Home\""_qs), errors::cantGet);
    // The key of `to do id` is one primary: a join after it is no reference to set.
    EXPECT_EQ(refusal(u"set tag names of to do id \"x\" & \"y\" to \"Mac\""_qs), errors::expectedButFound);
}

// The read program of a merge, and how its answer is read: exactly, or not at all.
TEST_F(TodoTagNamesTest, mergeReadIsExactOrUnreadable) {
    const QString garden = library.makeTag(u"Garden"_qs, home);
    const QString commas = library.makeTag(u"Cats, Dogs"_qs);
    const QString pets = library.addTodo(u"Feed"_qs, TodoState::Open, {commas, home});
    library.addTodo(u"Walk"_qs, TodoState::Open, {commas}); // not a to-do of Home

    const LibraryEngine engine(library);
    const ThingsService things(engine);
    const std::optional<ThingsMergeRead> read = things.readMerge(u"home"_qs, u"Work"_qs);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->sourceId, home);
    EXPECT_EQ(read->destinationId, work);
    EXPECT_EQ(read->childIds, QStringList{garden});
    EXPECT_EQ(read->todos, (QList<ThingsMergeRead::Todo>{{open, u"Home, Mac"_qs},
                                                         {done, u"Home"_qs},
                                                         {dropped, u"Home"_qs},
                                                         {pets, u"Cats, Dogs, Home"_qs}}));
    EXPECT_TRUE(read->todosWithCommaTags.contains(pets));
    EXPECT_EQ(read->todosWithCommaTags.size(), 2);

    // A name holding "~~~" followed by what looks like a whole record, or ending in "~", shifts the
    // records: the reader notices instead of reading a to-do that does not exist.
    const QString forged = u"x~~~"_qs + work + u"|||Work"_qs;
    for (const QString& name : {forged, u"tilde~"_qs, u"~~~"_qs}) {
        SCOPED_TRACE(name.toStdString());
        const QString tag = library.makeTag(name);
        library.setTodoTags(done, {home, tag});
        EXPECT_FALSE(things.readMerge(u"Home"_qs, u"Work"_qs));
        library.deleteTag(tag);
    }
    EXPECT_TRUE(things.readMerge(u"Home"_qs, u"Work"_qs));
    EXPECT_FALSE(ThingsService::parseMergeRead(u"A|||B|||C,|||2~~~D|||Home~~~"_qs));
    EXPECT_FALSE(ThingsService::parseMergeRead(u"A|||B||||||1~~~D|||Home~~~E|||Home~~~"_qs));
    EXPECT_FALSE(ThingsService::parseMergeRead(u"A|||B||||||2~~~D|||Home~~~D|||Home~~~"_qs));
}

TEST_F(TodoTagNamesTest, replacedTagNamesKeepsOrderAndOneDestination) {
    const std::tuple<QString, QString, QString, std::optional<QString>> cases[] = {
        {u"Home, Mac"_qs, u"Home"_qs, u"Work"_qs, u"Work, Mac"_qs},
        {u"Mac, HOME"_qs, u"Home"_qs, u"Work"_qs, u"Mac, Work"_qs},
        {u"Work, Home"_qs, u"Home"_qs, u"work"_qs, u"Work"_qs}, // already there: kept once
        {u"Home"_qs, u"Home"_qs, u"Say \"Hi\" \\ there"_qs, u"Say \"Hi\" \\ there"_qs},
        {u"Mac"_qs, u"Home"_qs, u"Work"_qs, std::nullopt},        // no source: not what was read
        {u"Home,  Mac"_qs, u"Home"_qs, u"Work"_qs, std::nullopt}, // " Mac" would come back "Mac"
        {u"Home,Mac"_qs, u"Home"_qs, u"Work"_qs, std::nullopt},
        {u"Home, Mac "_qs, u"Home"_qs, u"Work"_qs, std::nullopt},
        {u"Home"_qs, u"Home"_qs, u"A, B"_qs, std::nullopt}, // a destination that would split
        {QString(), u"Home"_qs, u"Work"_qs, std::nullopt},
    };
    for (const auto& [names, source, destination, expected] : cases) {
        SCOPED_TRACE(names.toStdString());
        EXPECT_EQ(ThingsService::replacedTagNames(names, source, destination), expected);
    }
}

} // namespace
