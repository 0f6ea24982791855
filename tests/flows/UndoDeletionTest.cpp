// Undo of deletions and merges through Things 3: the trees come back with their parents, and every
// to-do, of any status, carries exactly the tags it had; what changed meanwhile is refused or
// skipped and counted, never overwritten.
#include "EditFixture.h"
#include "TagListActions.h"
#include "TagMerger.h"
#include "UndoHistory.h"
#include "UnusedTagsCleanup.h"

#include <QRegularExpression>
#include <QSignalSpy>

using namespace orvalet;
using standin::TodoState;

namespace {

class UndoDeletionTest : public test::EditTest {
public:
    // Home>Repairs>Plumbing and Home>Garden, beside Work; to-dos of every status carry them, with
    // tags outside the tree before, between and after theirs.
    void SetUp() override {
        EditTest::SetUp();
        auto t = tree(u"Home>Repairs>Plumbing, Home>Garden, Work, Mac"_qs);
        for (const QString& name : t.keys()) {
            ids.insert(name, t[name]->id());
        }
        todos = {
            library.addTodo(u"Leak"_qs, TodoState::Open, {ids[u"Work"_qs], ids[u"Plumbing"_qs]}),
            library.addTodo(u"Mow"_qs, TodoState::Completed,
                            {ids[u"Garden"_qs], ids[u"Mac"_qs], ids[u"Home"_qs]}),
            library.addTodo(u"Paint"_qs, TodoState::Canceled, {ids[u"Repairs"_qs]}),
            library.addTodo(u"Call"_qs, TodoState::Open, {ids[u"Mac"_qs]}),
        };
        before = todoTags();
    }
    // Each to-do's tags by name, in order, "; " between to-dos.
    QString todoTags() const {
        QStringList lists;
        for (const QString& todo : todos) {
            QStringList names;
            for (const auto record = library.todoRecord(todo); const QString& id : record->tagIds) {
                names.append(library.tag(id)->name);
            }
            lists.append(names.join(u", "));
        }
        return lists.join(u"; ");
    }
    void deleteInEditor(const QString& name) {
        edit(store->tag(ids[name]));
        QCoro::waitFor(editor->deleteWithChildren());
    }

    QHash<QString, QString> ids;
    QStringList todos;
    QString before;
};

TEST_F(UndoDeletionTest, aDeletedTreeComesBackWithEveryToDosTagsAndGoesAgainOnRedo) {
    const QString things = inThings();
    const QString storedBefore = storedTags().remove(QRegularExpression(u":[^:,]*(?=,|$)"_qs));
    const qsizetype sentBefore = sent().size();
    deleteInEditor(u"Home"_qs);
    ASSERT_EQ(sent().size() - sentBefore, 2); // the trees read, then the deletion
    EXPECT_EQ(todoTags(), u"Work; Mac; ; Mac"_qs);
    EXPECT_EQ(history().undoText(), u"Undo Delete \u201CHome\u201D"_qs);

    QSignalSpy reports(&history(), &UndoHistory::report);
    const qsizetype sentBeforeUndo = sent().size();
    undo();
    // Made again, to-dos read and written, counts read: a program each.
    EXPECT_EQ(sent().size() - sentBeforeUndo, 4);
    EXPECT_EQ(inThings(), things);
    EXPECT_EQ(todoTags(), before);
    endTurn();
    // The counts of open to-dos are Things 3's, read once the to-dos have their tags.
    EXPECT_EQ(storedTags().remove(QRegularExpression(u":[^:,]*(?=,|$)"_qs)), storedBefore);
    EXPECT_EQ(store->tag(library.tagIdByName(u"Plumbing"_qs).value())->todosCount(), 1);
    ASSERT_EQ(reports.size(), 1);
    EXPECT_EQ(reports.first().first().toString(), u"Restored 4 tags on 3 to-dos."_qs);

    // Redo deletes the tags made again, by their new identifiers; undo brings them back once more.
    redo();
    EXPECT_FALSE(library.tagIdByName(u"Plumbing"_qs));
    EXPECT_EQ(todoTags(), u"Work; Mac; ; Mac"_qs);
    // A to-do Things 3 no longer has is skipped and counted; the others get their tags.
    const QString gone = todos[2];
    hookPrograms([gone](const QString& program, const ScriptEngine& engine) {
        return engine.run(QString(program).replace(gone, u"NoSuchToDo"_qs));
    });
    undo();
    EXPECT_EQ(inThings(), things);
    EXPECT_EQ(todoTags(), u"Work, Plumbing; Garden, Mac, Home; ; Mac"_qs);
    ASSERT_EQ(reports.size(), 2);
    EXPECT_EQ(reports.last().first().toString(),
              u"Restored 4 tags on 2 to-dos. 1 to-do is no longer in Things 3 and was skipped."_qs);
}

// Every confirmation is shown after the read for Undo and says what it found: the tags that go, the
// to-dos that lose them (each once), and that Undo brings them back. The deletion then reads nothing again.
TEST_F(UndoDeletionTest, theConfirmationSaysWhatTheReadFoundAndTheDeletionTakesThatRead) {
    const auto tag = [this](const QString& name) {
        return store->tag(ids[name]);
    };
    const QString undoable = u" You can undo this with Edit \u25B8 Undo."_qs;
    TagListActions list(*store, *preferences, *worker);
    const auto listSays = [&list](const QList<TagPtr>& targets) {
        QCoro::waitFor(list.requestDelete(targets));
        const QString message =
            list.showDeleteConfirmationForListTags() ? list.confirmationMessage() : QString();
        list.cancelDelete();
        return message;
    };
    EXPECT_EQ(listSays({tag(u"Garden"_qs), tag(u"Plumbing"_qs)}),
              u"This deletes 2 tags from this app AND Things 3 and takes them off 2 to-dos."_qs + undoable);
    EXPECT_EQ(listSays({tag(u"Home"_qs), tag(u"Work"_qs)}),
              u"This deletes 2 tags and their 3 child tags from this app AND Things 3 and takes them off "
              u"3 to-dos."_qs +
                  undoable);
    EXPECT_EQ(listSays({tag(u"Repairs"_qs)}),
              u"This deletes \u201CRepairs\u201D and its 1 child tag from this app AND Things 3 and takes "
              u"them off 2 to-dos."_qs +
                  undoable);

    BatchEditor& batch = batchOf({tag(u"Work"_qs)});
    QCoro::waitFor(batch.requestDelete());
    ASSERT_TRUE(batch.showDeleteConfirmation());
    EXPECT_EQ(batch.deleteConfirmationMessage(),
              u"This deletes \u201CWork\u201D from this app AND Things 3 and takes it off 1 to-do."_qs +
                  undoable);
    batch.cancelDelete();

    // The clean-up counts every checked tag as chosen; a tree without to-dos takes none off.
    for (const TagPtr& stored : store->allTagsUnordered()) {
        stored->setTodosCount(1);
    }
    const TagPtr old = both(u"Old"_qs, nullptr, 0);
    const TagPtr older = both(u"Older"_qs, old, 0);
    both(u"Spare"_qs, nullptr, 0);
    library.addTodo(u"Filed"_qs, TodoState::Completed, {older->id()});
    UnusedTagsCleanup cleanup(*store, *preferences, *worker);
    const auto cleanupSays = [&cleanup] {
        QCoro::waitFor(cleanup.requestDelete());
        const QString message =
            cleanup.showDeleteConfirmation() ? cleanup.deleteConfirmationMessage() : QString();
        cleanup.cancelDelete();
        return message;
    };
    EXPECT_EQ(cleanupSays(),
              u"This deletes 3 tags from this app AND Things 3 and takes them off 1 to-do."_qs + undoable);
    cleanup.setChecked(old->id(), false);
    cleanup.setChecked(older->id(), false);
    EXPECT_EQ(cleanupSays(), u"This deletes \u201CSpare\u201D from this app AND Things 3."_qs + undoable);

    TagEditor& editor = edit(tag(u"Home"_qs));
    QCoro::waitFor(editor.requestDelete());
    ASSERT_TRUE(editor.showDeleteConfirmation());
    EXPECT_EQ(editor.deleteConfirmationMessage(),
              u"This deletes \u201CHome\u201D and its 3 child tags from this app AND Things 3 and takes them "
              u"off 3 to-dos. Are you sure you want to do this?"_qs +
                  undoable);
    const qsizetype sentBefore = sent().size();
    QCoro::waitFor(editor.deleteWithChildren());
    EXPECT_EQ(sent().size() - sentBefore, 1); // the deletion alone
    EXPECT_FALSE(library.tagIdByName(u"Plumbing"_qs));
    undo();
    EXPECT_EQ(todoTags(), before);
}

// When the trees cannot be kept for Undo, the one confirmation says why, then that it cannot be undone,
// as designed; its yes deletes with no second question.
TEST_F(UndoDeletionTest, withoutASnapshotTheConfirmationSaysSoAndAsksNothingMore) {
    library.addTodo(u"Sort"_qs, TodoState::Open,
                    {both(u"Nuts, Bolts"_qs, store->tag(ids[u"Repairs"_qs]))->id()});
    TagEditor& editor = edit(store->tag(ids[u"Home"_qs]));
    QCoro::waitFor(editor.requestDelete());
    ASSERT_TRUE(editor.showDeleteConfirmation());
    EXPECT_TRUE(
        editor.deleteConfirmationMessage().startsWith(u"\u201CNuts, Bolts\u201D could not be given back"_qs));
    EXPECT_TRUE(
        editor.deleteConfirmationMessage().endsWith(u"\n\n"_qs + TagEditor::permanentDeleteMessage()));
    deleteWithoutUndo = false; // a second question would keep the tags
    QCoro::waitFor(editor.deleteWithChildren());
    EXPECT_TRUE(questions.isEmpty());
    EXPECT_FALSE(library.tagIdByName(u"Home"_qs));
    EXPECT_FALSE(history().canUndo());
}

// A key a library holds but Things 3 will not set again (two characters) does not lose the tag made
// with it: the tag is recorded, its to-dos get it back, the report says the key is not back, and the
// step can be redone and undone again.
TEST_F(UndoDeletionTest, aKeyThingsRefusesLeavesTheTagBackWithoutIt) {
    library.setShortcut(ids[u"Garden"_qs], u"ab"_qs);
    store->tag(ids[u"Garden"_qs])->setShortcut(u"ab"_qs);
    const QString things = inThings();
    QSignalSpy reports(&history(), &UndoHistory::report);
    QSignalSpy problems(&history(), &UndoHistory::problem);
    deleteInEditor(u"Home"_qs);
    undo();
    EXPECT_EQ(inThings(), things);
    EXPECT_EQ(todoTags(), before);
    ASSERT_EQ(reports.size(), 1);
    EXPECT_EQ(
        reports.first().first().toString(),
        u"Restored 4 tags on 3 to-dos. \u201CGarden\u201D is back without its shortcut \u201Cab\u201D, which "
        u"Things 3 does not take."_qs);
    const QString garden = library.tagIdByName(u"Garden"_qs).value_or(QString());
    EXPECT_EQ(library.tag(garden)->shortcut + u'|' + store->tag(garden)->shortcutKey(), u"|"_qs);
    redo();
    undo();
    EXPECT_EQ(todoTags(), before);
    EXPECT_TRUE(problems.isEmpty());
}

// A tag carried by thirty thousand completed to-dos (years of them, as a clean-up finds) comes back on
// every one: the undo's reads and writes go in programs of bounded size.
TEST_F(UndoDeletionTest, aTagOnThirtyThousandToDosComesBackOnEach) {
    const TagPtr old = both(u"Old"_qs);
    QStringList carriers;
    for (int i = 0; i < 30'000; ++i)
        carriers.append(library.addTodo(u"Done "_qs + QString::number(i), TodoState::Completed,
                                        {ids[u"Mac"_qs], old->id()}));
    QCoro::waitFor(edit(old).deleteWithChildren());
    ASSERT_EQ(editor->errorMessage(), std::nullopt);
    ASSERT_FALSE(library.tagIdByName(u"Old"_qs));
    QSignalSpy problems(&history(), &UndoHistory::problem);
    const qsizetype from = sent().size();
    undo();
    EXPECT_TRUE(problems.isEmpty()) << (problems.isEmpty()
                                            ? ""
                                            : problems.first().first().toString().toStdString());
    const QString made = library.tagIdByName(u"Old"_qs).value_or(QString());
    EXPECT_EQ(library.todoIdsOfTag(made).size(), 30'000u);
    EXPECT_EQ(library.todoRecord(carriers.last())->tagIds, (QStringList{ids[u"Mac"_qs], made}));
    qsizetype longest = 0;
    for (const QString& program : sent().mid(from))
        longest = std::max(longest, program.size());
    EXPECT_LT(longest, 200'000);
}

// Things 3 quits while it deletes a group of 250 tags, at several points of the second program, and
// stays away for the rest of the run: the tags it deleted before the answer was lost are not known to
// be gone, so they stay listed, and the undo step asks Things 3 about them once it is back. Every tag
// of the snapshot that is gone comes back on its to-do; none that stayed is made twice.
TEST_F(UndoDeletionTest, tagsALostGroupMayHaveDeletedAreSettledByUndo) {
    for (const int cut : {0, 37, 100}) {
        SCOPED_TRACE(cut);
        QList<TagPtr> tags;
        QStringList carriers;
        for (int i = 0; i < 250; ++i) {
            tags.append(both(u"Group %1 %2"_qs.arg(cut).arg(i)));
            carriers.append(library.addTodo(u"To-do %1"_qs.arg(i), TodoState::Open, {tags.last()->id()}));
        }
        int deletions = 0;
        hookPrograms([&deletions, cut, tags](const QString& program,
                                             const ScriptEngine& things) -> std::optional<ScriptOutcome> {
            if (deletions < 2 && (!program.contains(u"delete tag"_qs) || ++deletions < 2))
                return things.run(program);
            if (deletions++ == 2) { // the second hundred: Things 3 quits after `cut` of them
                QString partial = program;
                for (int i = 100 + cut; i < 200; ++i)
                    partial.replace(u'"' + tags[i]->id() + u'"', u"\"gone\""_qs);
                things.run(partial);
                return test::connectionLost();
            }
            return ScriptOutcome{std::nullopt, ScriptError{u"Things3 isn\u2019t running."_qs, {}, -600, {}}};
        });
        QCoro::waitFor(batchOf(tags).confirmDelete());
        EXPECT_EQ(store->tag(tags[0]->id()), nullptr);
        EXPECT_NE(store->tag(tags[100]->id()), nullptr); // not known to be gone
        useEngine(std::make_unique<standin::testing::LibraryEngine>(library, &costs));
        undo();
        QStringList wrong;
        for (int i = 0; i < 250; ++i) {
            const auto named = library.tagIdByName(u"Group %1 %2"_qs.arg(cut).arg(i));
            const auto record = library.todoRecord(carriers[i]);
            if (!named || record->tagIds != QStringList{*named} || !store->tag(*named))
                wrong.append(QString::number(i));
        }
        EXPECT_TRUE(wrong.isEmpty()) << wrong.join(u',').toStdString();
        EXPECT_EQ(store->allTags().size(), library.tagCount());
    }
}

// A to-do tagged, or a child tag made, in Things 3 between the read for undo and the deletion: the
// program that deletes checks the tree against the read and leaves it, so nothing the undo step does
// not hold is lost. The same for a merge's source tagged between the write and its deletion.
TEST_F(UndoDeletionTest, aTreeChangedBetweenItsReadAndItsDeletionIsNotDeleted) {
    for (const bool child : {false, true}) {
        SCOPED_TRACE(child);
        const TagPtr spare = both(child ? u"Spare B"_qs : u"Spare A"_qs);
        QString added;
        hookPrograms([&](const QString& program, const ScriptEngine& things) {
            if (program.contains(u"delete tag"_qs) && added.isEmpty()) {
                added = child ? library.makeTag(u"Late"_qs, spare->id())
                              : library.addTodo(u"Late"_qs, TodoState::Open, {spare->id()});
            }
            return things.run(program);
        });
        QCoro::waitFor(edit(spare).deleteWithChildren());
        EXPECT_TRUE(editor->errorMessage().has_value());
        EXPECT_NE(library.tag(spare->id()), nullptr);
        EXPECT_NE(store->tag(spare->id()), nullptr);
    }

    const TagPtr source = both(u"Source"_qs);
    library.addTodo(u"Early"_qs, TodoState::Open, {source->id()});
    QString late;
    hookPrograms([&](const QString& program, const ScriptEngine& things) {
        if (program.contains(u"delete tag"_qs) && late.isEmpty())
            late = library.addTodo(u"Late"_qs, TodoState::Open, {source->id()});
        return things.run(program);
    });
    TagMerger merger(*store, *preferences, *worker, source);
    merger.setDestinationId(ids[u"Work"_qs]);
    QCoro::waitFor(merger.prepareMerge());
    QCoro::waitFor(merger.merge());
    EXPECT_TRUE(merger.errorMessage().has_value());
    EXPECT_EQ(library.todoRecord(late)->tagIds, QStringList{source->id()});
}

// A tag given to a to-do in Things 3 between undo's read of the to-dos and its write is kept: the write
// compares in its own program and, finding another text, reads the to-do again.
TEST_F(UndoDeletionTest, undoKeepsATagGivenToAToDoBetweenItsReadAndItsWrite) {
    deleteInEditor(u"Home"_qs);
    bool given = false;
    hookPrograms([&](const QString& program, const ScriptEngine& things) {
        if (program.contains(u"set tag names of to do id"_qs) && !given) {
            given = true;
            auto record = library.todoRecord(todos[0]);
            library.setTodoTags(todos[0], record->tagIds + QStringList{ids[u"Mac"_qs]});
        }
        return things.run(program);
    });
    undo();
    EXPECT_TRUE(given);
    EXPECT_EQ(todoTags(), u"Work, Mac, Plumbing; Garden, Mac, Home; Repairs; Mac"_qs);
}

TEST_F(UndoDeletionTest, undoMakesNothingWhileThingsHasOneOfTheNamesAndTriesAgainLater) {
    deleteInEditor(u"Home"_qs);
    const QString twin = library.makeTag(u"garden"_qs, ids[u"Work"_qs]);
    const QByteArray held = library.toJson();
    QSignalSpy problems(&history(), &UndoHistory::problem);
    undo();
    EXPECT_EQ(library.toJson(), held);
    ASSERT_EQ(problems.size(), 1);
    EXPECT_EQ(
        problems.first().first().toString(),
        u"\u201CGarden\u201D is in Things 3 already, so nothing was restored. Rename or delete it there, "
        u"then undo once more."_qs);
    EXPECT_TRUE(history().canUndo());

    library.renameTag(twin, u"Lawn"_qs);
    undo();
    EXPECT_EQ(todoTags(), before);
}

// A tree whose names cannot come back through a to-do's tag names is deleted only on a second yes,
// which says it cannot be undone; a no leaves everything as it was.
TEST_F(UndoDeletionTest, withoutASnapshotTheDeletionAsksAgainAndRecordsNoStep) {
    library.addTodo(u"Sort"_qs, TodoState::Open,
                    {both(u"Nuts, Bolts"_qs, store->tag(ids[u"Repairs"_qs]))->id()});
    deleteWithoutUndo = false;
    const QByteArray held = library.toJson();
    deleteInEditor(u"Home"_qs);
    EXPECT_EQ(library.toJson(), held);
    ASSERT_EQ(questions.size(), 1);
    EXPECT_TRUE(
        questions[0].startsWith(u"Delete Without Undo?|\u201CNuts, Bolts\u201D could not be given back"_qs));
    EXPECT_TRUE(questions[0].endsWith(
        u"Things 3. This action cannot be undone! Are you sure you want to do this?"_qs));

    // So could a to-do of the tree that also carries a tag with a comma elsewhere.
    library.addTodo(u"Mixed"_qs, TodoState::Open, {ids[u"Garden"_qs], both(u"x,y"_qs)->id()});
    deleteInEditor(u"Garden"_qs);
    ASSERT_EQ(questions.size(), 2);
    EXPECT_TRUE(questions[1].startsWith(u"Delete Without Undo?|Some to-dos of these tags also carry"_qs));
    EXPECT_TRUE(library.tagIdByName(u"Garden"_qs));

    deleteWithoutUndo = true;
    deleteInEditor(u"Home"_qs);
    EXPECT_FALSE(library.tagIdByName(u"Home"_qs));
    EXPECT_FALSE(history().canUndo());
}

// Things 3 not open, or not answering, when the trees are read for Undo: the deletion would fail the
// same way, so that is its failure, said where each flow says it, with no second question.
TEST_F(UndoDeletionTest, aReadThatFindsThingsClosedIsTheDeletionsFailureWithNoQuestion) {
    for (const qint64 number : {qint64(-600), qint64(-609)}) {
        hookPrograms([number](const QString&, const ScriptEngine&) -> std::optional<ScriptOutcome> {
            return ScriptOutcome{std::nullopt, ScriptError{number == -600 ? u"Things3 isn\u2019t running."_qs
                                                                          : u"Connection is invalid."_qs,
                                                           {},
                                                           number,
                                                           {}}};
        });
        // Asked to delete, the editor reads first and shows the failure instead of a confirmation.
        QCoro::waitFor(edit(store->tag(ids[u"Home"_qs])).requestDelete());
        EXPECT_FALSE(editor->showDeleteConfirmation());
        EXPECT_TRUE(editor->errorMessage().has_value());
        deleteInEditor(u"Home"_qs);
        EXPECT_TRUE(questions.isEmpty());
        EXPECT_TRUE(editor->errorMessage().has_value());
        EXPECT_TRUE(store->tag(ids[u"Home"_qs]));
        QCoro::waitFor(batchOf({store->tag(ids[u"Work"_qs])}).confirmDelete());
        EXPECT_TRUE(questions.isEmpty());
        EXPECT_EQ(batch->deleteFailures().size(), 1);
    }
}

// The list, the batch editor and the clean-up record one step for all they deleted.
TEST_F(UndoDeletionTest, listBatchAndCleanUpDeletionsAreOneStepEach) {
    const QString things = inThings();
    TagListActions list(*store, *preferences, *worker);
    QCoro::waitFor(list.requestDelete({store->tag(ids[u"Garden"_qs]), store->tag(ids[u"Plumbing"_qs])}));
    QCoro::waitFor(list.confirmDelete());
    EXPECT_EQ(history().undoText(), u"Undo Delete 2 Tags"_qs);
    batchOf({store->tag(ids[u"Work"_qs]), store->tag(ids[u"Mac"_qs])});
    QCoro::waitFor(batch->deleteWithChildren());
    EXPECT_EQ(history().undoText(), u"Undo Delete 2 Tags"_qs);
    undo();
    undo();
    EXPECT_EQ(inThings(), things);
    EXPECT_EQ(todoTags(), before);

    for (const TagPtr& tag : store->allTagsUnordered()) {
        tag->setTodosCount(1);
    }
    both(u"Old"_qs, nullptr, 0);
    UnusedTagsCleanup cleanup(*store, *preferences, *worker);
    QCoro::waitFor(cleanup.confirmDelete());
    EXPECT_EQ(history().undoText(), u"Undo Delete \u201COld\u201D"_qs);
}

// Undoing a merge makes the source again under its parent, moves its children back and gives each
// to-do its text back, unless the to-do changed since; redo merges again.
TEST_F(UndoDeletionTest, aMergeIsUndoneToTheToDoUnlessItChangedSince) {
    const QString things = inThings();
    TagMerger merger(*store, *preferences, *worker, store->tag(ids[u"Repairs"_qs]));
    merger.setDestinationId(ids[u"Work"_qs]);
    QCoro::waitFor(merger.prepareMerge());
    EXPECT_TRUE(merger.confirmationMessage().endsWith(u"You can undo this with Edit \u25B8 Undo."_qs));
    QCoro::waitFor(merger.merge());
    ASSERT_TRUE(merger.outcome());
    EXPECT_EQ(todoTags(), u"Work, Plumbing; Garden, Mac, Home; Work; Mac"_qs);
    EXPECT_EQ(history().undoText(), u"Undo Merge \u201CRepairs\u201D"_qs);

    undo();
    EXPECT_EQ(inThings(), things);
    EXPECT_EQ(todoTags(), before);
    redo();
    EXPECT_EQ(todoTags(), u"Work, Plumbing; Garden, Mac, Home; Work; Mac"_qs);
    EXPECT_EQ(EditTest::inThings(ids[u"Plumbing"_qs]), u"Plumbing:Work"_qs);

    library.setTodoTags(todos[2], {ids[u"Work"_qs], ids[u"Mac"_qs]}); // changed since the merge
    QSignalSpy reports(&history(), &UndoHistory::report);
    undo();
    EXPECT_EQ(inThings(), things);
    EXPECT_EQ(todoTags(), u"Work, Plumbing; Garden, Mac, Home; Work, Mac; Mac"_qs);
    ASSERT_EQ(reports.size(), 1);
    EXPECT_EQ(reports.first().first().toString(),
              u"Restored \u201CRepairs\u201D. 1 to-do changed since and was left as it is."_qs);
}

// More trees than one program reads before a deletion: every one of them is kept for Undo, and comes
// back with its child and the tags of its to-do.
TEST_F(UndoDeletionTest, aDeletionOfMoreTreesThanOneReadTakesComesBackWhole) {
    QList<TagPtr> tops;
    for (int i = 0; i < 120; ++i) {
        const QString number = u"%1"_qs.arg(i, 3, 10, QChar(u'0'));
        tops.append(both(u"Top "_qs + number));
        const TagPtr child = both(u"Child "_qs + number, tops.last());
        todos.append(library.addTodo(u"Do "_qs + number, TodoState::Open,
                                     {ids[u"Mac"_qs], tops.last()->id(), child->id()}));
    }
    endTurn();
    const QString things = inThings();
    before = todoTags();
    QCoro::waitFor(batchOf(tops).deleteWithChildren());
    ASSERT_EQ(library.tagCount(), 6);
    EXPECT_EQ(history().undoText(), u"Undo Delete 120 Tags"_qs);

    undo();
    EXPECT_EQ(inThings(), things);
    EXPECT_EQ(todoTags(), before);
    endTurn();
    EXPECT_EQ(store->count(), 246);
}

} // namespace
