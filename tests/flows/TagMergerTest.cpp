// "Merge Into…" against the stand-in's library: what Things 3 ends up with, what the store ends up
// with, and the programs sent, above all when the merge must stop before writing anything.
#include "TagMerger.h"

#include "EditFixture.h"

#include <QCoroTask>
#include <QSignalSpy>

using namespace orvalet;
using standin::TodoState;

namespace {

class TagMergerTest : public test::EditTest {
protected:
    // Errands, with the children Shop and Post (and Stamps below Post), goes into Home. Its to-dos:
    // one of each status, one that already carries Home, and one beside them that it does not carry.
    void SetUp() override {
        EditTest::SetUp();
        auto t = tree(u"Home, Mac, Errands>Shop, Errands>Post>Stamps"_qs);
        home = t[u"Home"_qs]->id();
        mac = t[u"Mac"_qs]->id();
        errands = t[u"Errands"_qs]->id();
        shop = t[u"Shop"_qs]->id();
        post = t[u"Post"_qs]->id();
        stamps = t[u"Stamps"_qs]->id();
        open = library.addTodo(u"Milk"_qs, TodoState::Open, {errands});
        completed = library.addTodo(u"Charger"_qs, TodoState::Completed, {errands, mac});
        canceled = library.addTodo(u"Bank"_qs, TodoState::Canceled, {errands});
        both = library.addTodo(u"Keys"_qs, TodoState::Open, {home, errands});
        other = library.addTodo(u"Backup"_qs, TodoState::Open, {mac});
    }

    TagMerger& mergerFor(const QString& sourceId, const QString& destinationId) {
        merger = std::make_unique<TagMerger>(*store, *preferences, *worker, store->tag(sourceId));
        merger->setDestinationId(destinationId);
        return *merger;
    }
    // The names of the tags of each to-do, "; " between to-dos.
    template <typename... Todos>
    QString namesOn(const Todos&... todos) const {
        QStringList lists;
        for (const QString& todo : {todos...}) {
            QStringList names;
            for (const auto record = library.todoRecord(todo); const QString& id : record->tagIds) {
                names.append(library.tag(id)->name);
            }
            lists.append(names.join(u','));
        }
        return lists.join(u"; ");
    }

    QString home, mac, errands, shop, post, stamps;
    QString open, completed, canceled, both, other;
    std::unique_ptr<TagMerger> merger;
};

TEST_F(TagMergerTest, mergeMovesEveryToDoAndChildThenDeletesTheSource) {
    TagMerger& m = mergerFor(errands, home);
    // The source and the tags below it are never a destination.
    EXPECT_EQ(test::names(m.destinationChoices()), (QStringList{u"Home"_qs, u"Mac"_qs}));
    for (const QString& below : {stamps, errands}) {
        m.setDestinationId(below);
        EXPECT_FALSE(m.canMerge());
    }
    m.setDestinationId(home);
    EXPECT_TRUE(m.canMerge());

    QCoro::waitFor(m.prepareMerge());
    EXPECT_EQ(m.confirmationTitle(), u"Merge \u201CErrands\u201D into \u201CHome\u201D?"_qs);
    EXPECT_EQ(m.confirmationMessage(),
              u"4 to-dos will carry \u201CHome\u201D instead of \u201CErrands\u201D (open, completed and "
              u"canceled). 2 child tags will move under \u201CHome\u201D. \u201CErrands\u201D will then be "
              u"deleted from this app AND Things 3. You can undo this with Edit \u25B8 Undo."_qs);
    EXPECT_EQ(sent().size(), 1); // the read only, until confirmed

    QCoro::waitFor(m.merge());
    ASSERT_TRUE(m.outcome()) << m.errorMessage().value_or(QString()).toStdString();
    EXPECT_EQ(m.outcome()->todosMoved, 4);
    EXPECT_EQ(m.outcome()->childrenMoved, 2);

    // Things 3: every status moved, the to-do with both keeps one, the order of the others kept.
    EXPECT_EQ(namesOn(open, completed, canceled, both, other), u"Home; Home,Mac; Home; Home; Mac");
    EXPECT_EQ(inThings(errands) + u' ' + inThings(shop) + u' ' + inThings(post) + u' ' + inThings(stamps),
              u"gone Shop:Home Post:Home Stamps:Post");

    // The store follows, the destination's open count read again from Things 3.
    endTurn();
    EXPECT_EQ(storedTags(), u"Home:-:2, Mac:-:-, Post:Home:-, Shop:Home:-, Stamps:Post:-");
    // The read, the same read again right before the write, the children's move in one program, the
    // deletion, the destination read again.
    const QStringList programs = sent();
    ASSERT_EQ(programs.size(), 6);
    EXPECT_EQ(programs[0], ThingsService::mergeReadScript(u"Errands"_qs, u"Home"_qs));
    EXPECT_EQ(programs[1], programs[0]);
    const auto listed = [](const QString& program, const QString& list) {
        return program.section(u"set "_qs + list + u" to {"_qs, 1).section(u'}', 0, 0).split(u", "_qs).size();
    };
    EXPECT_EQ(listed(programs[2], u"todoIds"_qs), 4);
    EXPECT_EQ(listed(programs[3], u"tagIds"_qs), 2);
    // Deleted only while it carries no to-do and no child tag: none tagged with it since is lost.
    EXPECT_EQ(programs[4],
              ThingsService::deleteTagGroupScript({{errands, u"Errands"_qs}}, {{{errands}, {0}, {0}}}));
    EXPECT_EQ(programs[5], ThingsService::fetchTagsByIdScript({home}));
}

// A to-do whose tag names text cannot be split back into names stops the merge after the read:
// the error says why, no confirmation, and nothing was written anywhere.
TEST_F(TagMergerTest, aNameThatCannotBeSplitStopsBeforeAnyWrite) {
    // Why, the source, the destination, and another tag on the source's to-do when given.
    const std::tuple<const char*, QString, QString, QString> cases[] = {
        {"another tag with a comma", u"Src 1"_qs, u"Home 1"_qs, u"Cats, Dogs"_qs},
        {"a tag beginning with a space", u"Src 2"_qs, u"Home 2"_qs, u" Mac Mini"_qs},
        {"a tag ending with a space", u"Src 3"_qs, u"Home 3"_qs, u"Mac Mini "_qs},
        {"a destination with a comma", u"Src 4"_qs, u"Home, Away"_qs, {}},
        {"a source with a comma", u"Src, 5"_qs, u"Home 5"_qs, {}},
    };
    for (const auto& [why, sourceName, destinationName, other] : cases) {
        SCOPED_TRACE(why);
        const QString source = library.makeTag(sourceName);
        const QString destination = library.makeTag(destinationName);
        library.addTodo(u"Todo"_qs, TodoState::Completed,
                        other.isEmpty() ? QStringList{source} : QStringList{source, library.makeTag(other)});
        storeLibrary();
        endTurn();
        const QByteArray before = library.toJson();
        const QString stored = storedTags();
        const qsizetype programs = sent().size();

        TagMerger& m = mergerFor(source, destination);
        QCoro::waitFor(m.prepareMerge());
        EXPECT_EQ(m.errorMessage(), TagMerger::unsplittableMessage(sourceName));
        EXPECT_FALSE(m.showsConfirmation());
        QCoro::waitFor(m.merge()); // no confirmation: nothing to do
        EXPECT_EQ(sent().mid(programs),
                  QStringList{ThingsService::mergeReadScript(sourceName, destinationName)});
        EXPECT_EQ(library.toJson(), before);
        EXPECT_EQ(storedTags(), stored);
    }
}

// A comma-named tag on a to-do the source does not carry is no reason to refuse.
TEST_F(TagMergerTest, namesWithQuotesBackslashesAndUnrelatedCommasMergeExactly) {
    library.renameTag(errands, u"Say \"Hi\" \\ now"_qs);
    library.renameTag(home, u"C:\\Temp\\\"new\""_qs);
    library.setTodoTags(other, {mac, library.makeTag(u"Cats, Dogs"_qs)});
    storeLibrary();
    endTurn();

    TagMerger& m = mergerFor(errands, home);
    QCoro::waitFor(m.prepareMerge());
    QCoro::waitFor(m.merge());
    ASSERT_FALSE(m.errorMessage()) << m.errorMessage()->toStdString();
    EXPECT_EQ(namesOn(completed, both), u"C:\\Temp\\\"new\",Mac; C:\\Temp\\\"new\"");
    EXPECT_EQ(inThings(errands) + inStore(errands), u"gonegone");
}

// What the read reports must still be the stored tree: a destination renamed in Things 3, a child
// the store does not know of (the deletion would take it). What the confirmation showed must still
// hold when the merge writes. A move that fails later stops the merge before the deletion.
TEST_F(TagMergerTest, aChangedTreeOrChangedToDosStopTheMergeBeforeTheDeletion) {
    library.renameTag(home, u"House"_qs);
    library.renameTag(mac, u"Home"_qs);
    TagMerger& m = mergerFor(errands, home);
    QCoro::waitFor(m.prepareMerge());
    EXPECT_EQ(m.errorMessage(), ThingsError::changedInThings(u"Home"_qs).errorDescription());
    library.renameTag(mac, u"Mac"_qs);
    library.renameTag(home, u"Home"_qs);

    const QString unknown = library.makeTag(u"Unknown"_qs, errands);
    QCoro::waitFor(m.prepareMerge());
    EXPECT_EQ(m.errorMessage(), ThingsError::changedInThings(u"Errands"_qs).errorDescription());
    library.deleteTag(unknown);
    EXPECT_EQ(sent().size(), 2);

    // A to-do took Errands while the confirmation was open: nothing is written.
    QCoro::waitFor(m.prepareMerge());
    ASSERT_TRUE(m.showsConfirmation()) << m.errorMessage().value_or(QString()).toStdString();
    const QString late = library.addTodo(u"Stamps"_qs, TodoState::Open, {mac, errands});
    const QByteArray before = library.toJson();
    QCoro::waitFor(m.merge());
    EXPECT_EQ(m.errorMessage(),
              u"The to-dos of \u201CErrands\u201D changed in Things 3. Look at the merge again.");
    EXPECT_EQ(library.toJson(), before);
    library.setTodoTags(late, {mac});

    // Home went below Post in Things 3 after the confirmation: Post's move is refused, Errands stays.
    QCoro::waitFor(m.prepareMerge());
    ASSERT_TRUE(m.showsConfirmation()) << m.errorMessage().value_or(QString()).toStdString();
    library.setParent(home, post);
    QCoro::waitFor(m.merge());
    EXPECT_TRUE(m.errorMessage().value_or(QString()).contains(u"can\u2019t be put inside itself"_qs));
    EXPECT_EQ(inThings(post), u"Post:Errands");
    EXPECT_NE(store->tag(errands), nullptr);
    EXPECT_EQ(namesOn(open), u"Home"); // the to-dos were written before the move
}

// Things 3 refuses the new tag names of the to-dos: the merge fails there and says why; no child
// moves and the source, still carried by its to-do, is not deleted.
TEST_F(TagMergerTest, aFailedWriteOfTheToDosStopsTheMergeAsAFailure) {
    const QString letter = library.addTodo(u"Letter"_qs, TodoState::Open, {post});
    hookPrograms([](const QString& program, const ScriptEngine& things) {
        return program.contains(u"set tag names of to do"_qs) ? test::connectionLost() : things.run(program);
    });
    TagMerger& m = mergerFor(post, home);
    QSignalSpy merged(&m, &TagMerger::merged);
    QCoro::waitFor(m.prepareMerge());
    EXPECT_EQ(
        m.confirmationMessage(),
        u"1 to-do will carry \u201CHome\u201D instead of \u201CPost\u201D (open, completed and canceled). "
        u"1 child tag will move under \u201CHome\u201D. \u201CPost\u201D will then be deleted from this "
        u"app AND Things 3. You can undo this with Edit \u25B8 Undo."_qs);

    QCoro::waitFor(m.merge());
    EXPECT_EQ(m.errorMessage(),
              u"Orvalet could not confirm whether \u201CPost\u201D was merged into \u201CHome\u201D: "_qs +
                  test::connectionLostMessage);
    EXPECT_FALSE(m.outcome());
    EXPECT_EQ(merged.size(), 0);
    EXPECT_EQ(sent().size(), 3); // the read, then the read again and the write in one job
    EXPECT_EQ(namesOn(letter), u"Post");
    EXPECT_EQ(inThings(stamps), u"Stamps:Post");
    EXPECT_NE(store->tag(post), nullptr);
}

} // namespace
