// Keyboard shortcuts from Things 3 to the store and back: the import's second program and what its
// failure leaves, a key moved between tags by the editor, the batch editor clearing keys, and undo.
#include "EditFixture.h"
#include "StandInProcess.h"
#include "TagListActions.h"
#include "UndoHistory.h"

#include <QRegularExpression>
#include <QSignalSpy>

using namespace orvalet;

namespace {

class ShortcutFlowsTest : public test::EditTest {
public:
    // Each tag as "name=key" in Things 3, then "|", then in the store ("?" for a key never read).
    QString keys() const {
        QStringList things, stored;
        for (const QString& id : library.tagIds()) {
            things.append(library.tag(id)->name + u'=' + library.tag(id)->shortcut);
        }
        for (const TagPtr& tag : store->allTags()) {
            stored.append(tag->name() + u'=' + tag->shortcut().value_or(u"?"_qs));
        }
        things.sort();
        return things.join(u' ') + u" | "_qs + stored.join(u' ');
    }
};

// Through a stand-in process, keys that are the answers' separators included. When the shortcuts'
// program fails the import still stands and the stored keys are kept, not cleared.
TEST_F(ShortcutFlowsTest, importReadsKeysAndAFailedSecondProgramKeepsTheImportAndTheKeys) {
    StandInProcess standIn;
    const QString home = library.makeTag(u"Home"_qs), work = library.makeTag(u"Work"_qs);
    library.setShortcut(home, u"|"_qs);
    library.setShortcut(library.makeTag(u"Say \"7\""_qs), u"~"_qs);
    library.setShortcut(library.makeTag(u"Smile"_qs), u"\U0001F600"_qs);
    add(work, u"Work"_qs)->setShortcut(u"w"_qs); // stale: Things 3 has none for it
    library.save(standIn.libraryPath());
    ASSERT_TRUE(standIn.start());
    bool fail = false;
    useEngine(std::make_unique<StandInEngine>(), [&fail](const QString& program, const ScriptEngine& things) {
        return fail && program.contains(u"keyboard shortcut"_qs) ? test::connectionLost()
                                                                 : things.run(program);
    });
    TagListActions list(*store, *preferences, *worker);
    QCoro::waitFor(list.importAllTags());
    EXPECT_TRUE(keys().endsWith(u"| Home=| Say \"7\"=~ Smile=\U0001F600 Work="_qs));
    EXPECT_EQ(sent(),
              (QStringList{ThingsService::fetchAllTagsScript(), ThingsService::fetchAllShortcutsScript()}));

    fail = true;
    library.renameTag(work, u"Office"_qs);
    library.setShortcut(home, u"h"_qs);
    library.makeTag(u"New"_qs);
    library.save(standIn.libraryPath());
    standIn.stop();
    ASSERT_TRUE(standIn.start());
    QCoro::waitFor(list.importAllTags());
    EXPECT_EQ(list.importError(), std::nullopt);
    EXPECT_TRUE(keys().endsWith(u"| Home=| New=? Office= Say \"7\"=~ Smile=\U0001F600"_qs));
}

// Work takes 7 from Home once the user agrees, in one program that clears Home's key first, each tag
// found by identifier; undo gives it back on both sides, redo moves it again. A tag Things 3 no longer
// has fails a write by name (ThingsProgramsTest), which the batch run below shows.
TEST_F(ShortcutFlowsTest, aKeyAnotherTagHasMovesOnlyWhenAskedAndUndoGivesItBack) {
    const TagPtr home = both(u"Home"_qs), work = both(u"Work"_qs);
    library.setShortcut(home->id(), u"7"_qs);
    home->setShortcut(u"7"_qs);
    TagEditor& editor = edit(work);
    editor.setShortcutField(u"7"_qs);
    QCoro::waitFor(editor.saveChanges());
    ASSERT_TRUE(editor.showsShortcutConflict());
    EXPECT_EQ(editor.shortcutConflictTitle(),
              u"\u201CHome\u201D uses 7. Give 7 to \u201CWork\u201D instead?"_qs);
    editor.cancelShortcutTransfer();
    EXPECT_TRUE(sent().isEmpty() && editor.hasChanges()); // the key stays typed

    QCoro::waitFor(editor.saveChanges());
    QCoro::waitFor(editor.confirmShortcutTransfer());
    ASSERT_EQ(sent().size(), 1);
    const QString& program = sent().first();
    // Home's key is taken off first, then Work's is set.
    EXPECT_TRUE(
        program.contains(u"set tagList to {\""_qs + home->id() + u"\", \""_qs + work->id() + u"\"}"_qs));
    EXPECT_TRUE(program.contains(u"set newKeys to {missing value, \"7\"}"_qs));
    const QString moved = u"Home= Work=7 | Home= Work=7"_qs, before = u"Home=7 Work= | Home=7 Work="_qs;
    EXPECT_EQ(keys(), moved);
    undo();
    EXPECT_EQ(keys(), before);
    redo();
    EXPECT_EQ(keys(), moved);
}

// A hundred and two tags, one without a key (left out): two programs; a key never read is cleared
// too. Undo puts back the keys Things 3 held, the one never read included. A tag Things 3 no longer
// has is named in the result and the run goes on past it; a lost answer leaves the keys it was to
// clear unknown, as the program may have run.
TEST_F(ShortcutFlowsTest, clearShortcutsGroupsTheTagsAndUndoPutsTheKeysBack) {
    QList<TagPtr> tags;
    for (int i = 0; i < 102; ++i) {
        tags.append(both(u"Tag %1"_qs.arg(i, 3, 10, QChar(u'0'))));
        library.setShortcut(tags.last()->id(), QString(QChar(u'a' + i % 26)));
        tags.last()->setShortcut(QString(QChar(u'a' + i % 26)));
    }
    tags[1]->setShortcut(std::nullopt);
    tags[2]->setShortcut(QString());
    library.setShortcut(tags[2]->id(), QString());
    BatchEditor& batch = batchOf(tags);
    QCoro::waitFor(batch.clearShortcuts());
    EXPECT_EQ(sent().size(), 2);
    EXPECT_FALSE(batch.showResult() || batch.canClearShortcuts());
    EXPECT_FALSE(keys().contains(QRegularExpression(u"=[^ |]"_qs))) << keys().toStdString();
    undo();
    EXPECT_EQ(library.tag(tags[101]->id())->shortcut + tags[101]->shortcut().value_or(QString()), u"xx"_qs);
    EXPECT_EQ(tags[1]->shortcut(), u"b"_qs); // never read: undone to what Things 3 held

    library.deleteTag(tags[4]->id());
    BatchEditor& again = batchOf({tags[0], tags[3], tags[4], tags[5]});
    QCoro::waitFor(again.clearShortcuts());
    EXPECT_EQ(again.resultState()->failedTag(), u"Tag 004"_qs);
    EXPECT_EQ(again.resultState()->alreadyUpdated(),
              (QStringList{u"Tag 000"_qs, u"Tag 003"_qs, u"Tag 005"_qs}));
    EXPECT_EQ(tags[4]->shortcut().value_or(QString()) + library.tag(tags[5]->id())->shortcut, u"e"_qs);

    hookPrograms([](const QString& program, const ScriptEngine& things) {
        things.run(program);
        return test::connectionLost();
    });
    QCoro::waitFor(batchOf({tags[6], tags[7]}).clearShortcuts());
    EXPECT_EQ(this->batch->resultState()->error(),
              u"Orvalet could not confirm whether the shortcuts of 2 tags were cleared: "_qs +
                  test::connectionLostMessage);
    EXPECT_TRUE(!tags[6]->shortcut() && !tags[7]->shortcut());
}

// A clear that Things 3 refuses for one tag (gone there) clears the others, after it too, and its
// undo gives back what Things 3 held: Beta's key changed there since the import, Delta's was never
// read. Undo goes on past a key Things 3 will not set again (Alpha's two characters), keeps only that
// one in the step, and says so; the refused tag is never in the step.
TEST_F(ShortcutFlowsTest, clearShortcutsRecordsWhatThingsHeldAndUndoGoesOnPastARefusedKey) {
    QList<TagPtr> tags;
    for (const QString& name : {u"Alpha"_qs, u"Beta"_qs, u"Gamma"_qs, u"Delta"_qs}) {
        tags.append(both(name));
        library.setShortcut(tags.last()->id(), name.left(1).toLower());
        tags.last()->setShortcut(name.left(1).toLower());
    }
    library.setShortcut(tags[0]->id(), u"ab"_qs);
    library.setShortcut(tags[1]->id(), u"x"_qs);
    tags[3]->setShortcut(std::nullopt);
    library.deleteTag(tags[2]->id());
    BatchEditor& batch = batchOf(tags);
    QCoro::waitFor(batch.clearShortcuts());
    ASSERT_EQ(batch.resultState()->failedTag(), u"Gamma"_qs);
    EXPECT_EQ(batch.resultState()->alreadyUpdated(), (QStringList{u"Alpha"_qs, u"Beta"_qs, u"Delta"_qs}));
    ASSERT_EQ(keys(), u"Alpha= Beta= Delta= | Alpha= Beta= Delta= Gamma=g"_qs);

    UndoHistory& history = UndoHistory::forStore(*store);
    QSignalSpy problems(&history, &UndoHistory::problem);
    undo();
    EXPECT_EQ(keys(), u"Alpha= Beta=x Delta=d | Alpha= Beta=x Delta=d Gamma=g"_qs);
    ASSERT_EQ(problems.size(), 1);
    EXPECT_TRUE(history.canUndo() && history.canRedo());
    redo();
    EXPECT_EQ(keys(), u"Alpha= Beta= Delta= | Alpha= Beta= Delta= Gamma=g"_qs);
}

} // namespace
