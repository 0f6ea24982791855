// Undo and redo through Things 3: renames, moves and creations go back and forth in Things 3 and in
// the store; a step that no longer fits what is stored is dropped with a message.
#include "UndoHistory.h"

#include "EditFixture.h"
#include "TagCreator.h"

#include <QRegularExpression>
#include <QSignalSpy>

using namespace orvalet;

namespace {

class UndoHistoryTest : public test::EditTest {
public:
    void SetUp() override {
        EditTest::SetUp();
        auto t = tree(u"Home>Kids, Work"_qs);
        home = t[u"Home"_qs]->id();
        work = t[u"Work"_qs]->id();
        kids = t[u"Kids"_qs]->id();
    }
    // The store's tags as "name:parent's name", sorted, as inThings() gives Things 3's.
    QString stored() const { return storedTags().replace(QRegularExpression(u":[^:,]*(,|$)"_qs), u"\\1"_qs); }

    QString home, work, kids;
};

// Home goes back to the top level on undo, which Things 3 takes only as a deleted parent.
TEST_F(UndoHistoryTest, aRenameAndABatchMoveGoBackAndForthInThingsAndTheStore) {
    save(kids, u"Children"_qs, work);
    move({home, kids}, work);
    const QString after = u"Children:Work, Home:Work, Work:-"_qs;
    ASSERT_EQ(inThings(), after);
    EXPECT_EQ(history().undoText(), u"Undo Move"); // Kids was under Work already: only Home moved

    undo();
    EXPECT_EQ(inThings(), u"Children:Work, Home:-, Work:-");
    undo();
    const QString before = u"Home:-, Kids:Home, Work:-"_qs;
    EXPECT_EQ(inThings(), before);
    EXPECT_EQ(stored(), before);
    endTurn();
    EXPECT_EQ(editor->nameField(), u"Kids"); // an editor without typed edits follows its record
    EXPECT_FALSE(editor->hasChanges());
    EXPECT_FALSE(history().canUndo());
    EXPECT_EQ(history().redoText(), u"Redo Rename and Move");
    redo();
    redo();
    EXPECT_EQ(inThings(), after);
    EXPECT_EQ(stored(), after);
}

// A batch move of several tags is one step named by their count. Things 3 refuses the undo of one
// of its tags: the user reads why, and the rest stays to be undone once more. A new step ends what
// could be redone.
TEST_F(UndoHistoryTest, aBatchMoveIsOneStepWhoseRefusedPartIsKeptForAnotherTry) {
    const QString garden = add(library.makeTag(u"Garden"_qs), u"Garden"_qs)->id();
    move({garden, work}, home);
    EXPECT_EQ(history().undoText(), u"Undo Move 2 Tags");
    undo();
    EXPECT_EQ(history().undoText(), u"Undo");
    EXPECT_EQ(history().redoText(), u"Redo Move 2 Tags");
    redo();

    hookPrograms([this](const QString& program, const ScriptEngine& things) {
        return things.run(test::refusing(program, work, u"error \"Can\u2019t move Work.\" number -10000"_qs));
    });
    QSignalSpy problems(&history(), &UndoHistory::problem);
    undo();
    ASSERT_EQ(problems.size(), 1);
    EXPECT_EQ(problems.first().first().toString(), u"AppleScript error: Can\u2019t move Work."_qs);
    EXPECT_EQ(inThings(), u"Garden:-, Home:-, Kids:Home, Work:Home");
    EXPECT_EQ(stored(), inThings());
    hookPrograms([](const QString& program, const ScriptEngine& things) { return things.run(program); });
    undo();
    EXPECT_EQ(inThings(), u"Garden:-, Home:-, Kids:Home, Work:-");
    EXPECT_EQ(stored(), inThings());
    EXPECT_FALSE(history().canUndo());

    save(kids, u"Children"_qs);
    EXPECT_EQ(history().undoText(), u"Undo Rename");
    EXPECT_FALSE(history().canRedo());
    EXPECT_EQ(history().redoText(), u"Redo");
}

// The last hundred steps are kept: the hundred and first pushes out the first. None fits the store
// (Work was never renamed so): each is dropped on undo with a message naming it, and nothing is sent.
TEST_F(UndoHistoryTest, keepsTheLastHundredStepsAndLetsTheOldestGoFirst) {
    for (int step = 1; step <= 101; ++step) {
        history().recordRename(
            {work, u"S"_qs + QString::number(step - 1), u"S"_qs + QString::number(step), {}, {}});
    }
    QSignalSpy problems(&history(), &UndoHistory::problem);
    for (int step = 0; step < 200 && history().canUndo(); ++step) {
        undo();
    }
    ASSERT_EQ(problems.size(), 100);
    const QString rest = u"\u201D changed since; this step can no longer be undone."_qs;
    EXPECT_EQ(problems.first().first().toString(), u"\u201CS101"_qs + rest);
    EXPECT_EQ(problems.last().first().toString(), u"\u201CS2"_qs + rest);
    EXPECT_TRUE(sent().isEmpty());
}

TEST_F(UndoHistoryTest, aCreationIsDeletedAgainOnlyWhileItHasNoTodosAndMadeAgainOnRedo) {
    TagCreator creator(*store, *preferences, *worker, store->tag(home));
    creator.setName(u"Garden"_qs);
    QCoro::waitFor(creator.submitNewTag());
    undo();
    EXPECT_FALSE(library.tagIdByName(u"Garden"_qs));
    EXPECT_EQ(stored(), u"Home:-, Kids:Home, Work:-");
    redo();
    const std::optional<QString> again = library.tagIdByName(u"Garden"_qs);
    EXPECT_EQ(inStore(again.value_or(QString())), u"Garden:Home");

    // Once a to-do carries it, undoing would lose that: the step is dropped instead.
    library.addTodo(u"Plant roses"_qs, standin::TodoState::Open, {*again});
    QSignalSpy problems(&history(), &UndoHistory::problem);
    undo();
    EXPECT_TRUE(library.tagIdByName(u"Garden"_qs));
    ASSERT_EQ(problems.size(), 1);
    EXPECT_EQ(problems.first().first().toString(),
              u"\u201CGarden\u201D has to-dos or child tags now, or is gone; it is not deleted."_qs);
    EXPECT_FALSE(history().canUndo());

    // Things 3 would hand back a tag it has of that name, which the next undo would then delete
    // with all it holds: redo refuses.
    TagCreator another(*store, *preferences, *worker);
    another.setName(u"Shed"_qs);
    QCoro::waitFor(another.submitNewTag());
    undo();
    const QString twin = library.makeTag(u"SHED"_qs, work);
    const QByteArray before = library.toJson();
    redo();
    ASSERT_EQ(problems.size(), 2);
    EXPECT_EQ(problems.last().first().toString(),
              u"\u201CShed\u201D is in Things 3 already; it is not made again."_qs);
    EXPECT_EQ(library.toJson(), before);
    EXPECT_EQ(store->tag(twin), nullptr);
    EXPECT_FALSE(history().canRedo());
}

} // namespace
