// Keyboard shortcuts from Things 3 to the store and back: the import's second program (and what its
// failure leaves), the editor giving a key another tag has, the batch editor clearing keys, and undo
// of both, each checked on both sides.
#include "EditFixture.h"
#include "StandInProcess.h"
#include "TagListActions.h"
#include "UndoHistory.h"

using namespace orvalet;
using standin::ThingsLibrary;

namespace {

class ShortcutFlowsTest : public test::EditTest {
public:
    // Each tag as "name=key" in Things 3's library, then in the store ("?" for a key never read).
    QString keys(const ThingsLibrary& things) const {
        QStringList rows;
        for (const QString& id : things.tagIds()) {
            rows.append(things.tag(id)->name + u'=' + things.tag(id)->shortcut);
        }
        rows.sort();
        return rows.join(u", ");
    }
    QString storedKeys() const {
        QStringList rows;
        for (const TagPtr& tag : store->allTags()) {
            rows.append(tag->name() + u'=' + tag->shortcut().value_or(u"?"_qs));
        }
        return rows.join(u", ");
    }
    UndoHistory& history() { return UndoHistory::forStore(*store); }
    void undo() { QCoro::waitFor(history().undo(*worker, *preferences)); }
    void redo() { QCoro::waitFor(history().redo(*worker, *preferences)); }
};

// Through a stand-in process. A key read back whatever character it is; "none" is stored as such.
// When the shortcuts' program fails the import still stands, and the keys stored are kept, not
// cleared; a tag new to the store has none known.
TEST_F(ShortcutFlowsTest, importReadsKeysAndAFailedSecondProgramKeepsTheImportAndTheKeys) {
    StandInProcess standIn;
    const QString home = library.makeTag(u"Home"_qs), work = library.makeTag(u"Work"_qs);
    library.setShortcut(home, u"|"_qs);
    library.makeTag(u"Say \"7\""_qs);
    library.setShortcut(*library.tagIdByName(u"Say \"7\""_qs), u"~"_qs);
    add(work, u"Work"_qs)->setShortcut(u"w"_qs); // stale: Things 3 has none for it
    library.save(standIn.libraryPath());
    ASSERT_TRUE(standIn.start());
    bool failShortcuts = false;
    useEngine(std::make_unique<StandInEngine>(),
              [&failShortcuts](const QString& program, const ScriptEngine& things) {
                  return failShortcuts && program.contains(u"keyboard shortcut"_qs) ? test::connectionLost()
                                                                                    : things.run(program);
              });
    TagListActions list(*store, *preferences, *worker);
    QCoro::waitFor(list.importAllTags());
    EXPECT_EQ(storedKeys(), u"Home=|, Say \"7\"=~, Work="_qs);
    EXPECT_EQ(sent(),
              (QStringList{ThingsService::fetchAllTagsScript(), ThingsService::fetchAllShortcutsScript()}));

    failShortcuts = true;
    ThingsLibrary changed = ThingsLibrary::load(standIn.libraryPath());
    changed.renameTag(work, u"Office"_qs);
    changed.setShortcut(home, u"h"_qs);
    changed.makeTag(u"New"_qs);
    changed.save(standIn.libraryPath());
    standIn.stop();
    ASSERT_TRUE(standIn.start());
    QCoro::waitFor(list.importAllTags());
    EXPECT_EQ(list.importError(), std::nullopt);
    EXPECT_EQ(storedKeys(), u"Home=|, New=?, Office=, Say \"7\"=~"_qs);
}

// "Work" takes 7 from "Home" once the user agrees: one program clears Home's key, then sets Work's,
// each tag found by identifier. Undo gives 7 back to Home in Things 3 and the store; redo moves it again.
TEST_F(ShortcutFlowsTest, aKeyAnotherTagHasMovesOnlyWhenAskedAndUndoGivesItBack) {
    const TagPtr home = both(u"Home"_qs), work = both(u"Work"_qs), kids = both(u"Kids"_qs);
    library.setShortcut(home->id(), u"7"_qs);
    home->setShortcut(u"7"_qs);
    kids->setShortcut(QString());
    TagEditor& editor = edit(work);
    editor.setShortcutField(u"77"_qs);
    EXPECT_FALSE(editor.canSave()); // one character, or none
    editor.setShortcutField(u"7"_qs);
    QCoro::waitFor(editor.saveChanges());
    ASSERT_TRUE(editor.showsShortcutConflict());
    EXPECT_EQ(editor.shortcutConflictTitle(),
              u"\u201CHome\u201D uses 7. Give 7 to \u201CWork\u201D instead?"_qs);
    EXPECT_TRUE(sent().isEmpty());
    editor.cancelShortcutTransfer();
    EXPECT_TRUE(editor.hasChanges()); // the key stays typed

    QCoro::waitFor(editor.saveChanges());
    QCoro::waitFor(editor.confirmShortcutTransfer());
    ASSERT_EQ(sent().size(), 1);
    const QString& program = sent().first();
    EXPECT_LT(program.indexOf(u"name of tag id \""_qs + home->id()),
              program.indexOf(u"delete keyboard shortcut"_qs));
    EXPECT_LT(program.indexOf(u"delete keyboard shortcut"_qs),
              program.indexOf(u"set keyboard shortcut of tag tagName to \"7\""_qs));
    const QString moved = u"Home=, Kids=, Work=7"_qs;
    EXPECT_EQ(keys(library), moved);
    EXPECT_EQ(storedKeys(), moved);
    EXPECT_FALSE(editor.hasChanges());
    EXPECT_EQ(history().undoText(), u"Undo Keyboard Shortcut");

    undo();
    EXPECT_EQ(keys(library), u"Home=7, Kids=, Work="_qs);
    EXPECT_EQ(storedKeys(), u"Home=7, Kids=, Work="_qs);
    redo();
    EXPECT_EQ(keys(library), moved);
    EXPECT_EQ(storedKeys(), moved);

    // Taking the key off sends the delete form; Things 3 no longer having the tag is told by name.
    editor.setShortcutField(QString());
    QCoro::waitFor(editor.saveChanges());
    EXPECT_TRUE(sent().last().contains(u"delete keyboard shortcut of tag tagName"_qs));
    EXPECT_EQ(library.tag(work->id())->shortcut, QString());
    editor.setShortcutField(u"\u00E9"_qs);
    library.deleteTag(work->id());
    QCoro::waitFor(editor.saveChanges());
    EXPECT_TRUE(editor.errorMessage().value_or(QString()).contains(u"Work"_qs));
    EXPECT_EQ(work->shortcut(), QString());
}

// A hundred and two tags, one without a key, which is left out: two programs. A key never read is
// cleared too.
// A tag Things 3 no longer has ends the run with the result naming it and the tags cleared before it;
// undo puts back the keys that were cleared.
TEST_F(ShortcutFlowsTest, clearShortcutsGroupsTheTagsAndUndoPutsTheKeysBack) {
    QList<TagPtr> tags;
    for (int i = 0; i < 102; ++i) {
        tags.append(both(u"Tag %1"_qs.arg(i, 3, 10, QChar(u'0'))));
        const QString key = QString(QChar(u'a' + i % 26));
        library.setShortcut(tags.last()->id(), key);
        tags.last()->setShortcut(key);
    }
    tags[1]->setShortcut(std::nullopt);
    tags[2]->setShortcut(QString());
    library.setShortcut(tags[2]->id(), QString());
    BatchEditor& batch = batchOf(tags);
    ASSERT_TRUE(batch.canClearShortcuts());
    QCoro::waitFor(batch.clearShortcuts());
    EXPECT_EQ(sent().size(), 2);
    EXPECT_FALSE(batch.showResult());
    for (const TagPtr& tag : tags) {
        EXPECT_EQ(tag->shortcut(), QString()) << tag->name().toStdString();
        EXPECT_EQ(library.tag(tag->id())->shortcut, QString());
    }
    EXPECT_FALSE(batch.canClearShortcuts());
    undo();
    EXPECT_EQ(library.tag(tags[0]->id())->shortcut, u"a"_qs);
    EXPECT_EQ(library.tag(tags[100]->id())->shortcut, u"w"_qs);
    EXPECT_EQ(tags[100]->shortcut(), u"w"_qs);
    EXPECT_EQ(tags[1]->shortcut(), QString()); // never read: undone to none
    EXPECT_EQ(tags[2]->shortcut(), QString());

    library.deleteTag(tags[4]->id());
    BatchEditor& again = batchOf({tags[0], tags[3], tags[4], tags[5]});
    QCoro::waitFor(again.clearShortcuts());
    ASSERT_TRUE(again.showResult());
    EXPECT_EQ(again.resultState()->failedTag(), u"Tag 004"_qs);
    EXPECT_EQ(again.resultState()->alreadyUpdated(), (QStringList{u"Tag 000"_qs, u"Tag 003"_qs}));
    EXPECT_EQ(tags[0]->shortcut(), QString());
    EXPECT_EQ(tags[4]->shortcut(), u"e"_qs);
    EXPECT_EQ(tags[5]->shortcut(), u"f"_qs);
    EXPECT_EQ(library.tag(tags[5]->id())->shortcut, u"f"_qs);

    // An answer lost on the way back may come after the program ran: the keys it was to clear are
    // no longer known, rather than kept as they were.
    hookPrograms([](const QString& program, const ScriptEngine& things) {
        things.run(program);
        return test::connectionLost();
    });
    BatchEditor& lost = batchOf({tags[5], tags[6]});
    QCoro::waitFor(lost.clearShortcuts());
    EXPECT_EQ(lost.resultState()->error(), test::connectionLostMessage);
    EXPECT_EQ(tags[5]->shortcut(), std::nullopt);
    EXPECT_EQ(tags[6]->shortcut(), std::nullopt);
}

} // namespace
