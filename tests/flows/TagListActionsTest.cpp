// The main window's actions: import and merge, deletion after confirmation, refresh, the context
// menu's targets and the overlay, run against the stand-in's library in memory or a stand-in process.
#include "TagListActions.h"

#include "EditFixture.h"
#include "SqliteDatabase.h"
#include "StandInProcess.h"

#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QThread>
#include <algorithm>

using namespace orvalet;
using standin::ThingsLibrary;
using standin::TodoState;

namespace {

class TagListActionsTest : public test::EditTest {
protected:
    // The actions over the fixture's worker, on the library in memory unless the test chose a stand-in.
    TagListActions& makeActions() {
        actions = std::make_unique<TagListActions>(*store, *preferences, *worker);
        return *actions;
    }

    std::unique_ptr<TagListActions> actions;
};

ThingsTagRecord record(const char* id, const char* name, const char* parent = nullptr, qint64 todos = 0) {
    return ThingsTagRecord{QString::fromUtf8(id), QString::fromUtf8(name),
                           parent ? std::optional(QString::fromUtf8(parent)) : std::nullopt, todos};
}

// ---- Merge ----

TEST_F(TagListActionsTest, mergeMakesTheStoreACopyOfThingsInOneTransaction) {
    add(u"a"_qs, u"Alpha"_qs, {}, 1);
    add(u"b"_qs, u"Beta"_qs, u"a"_qs);
    add(u"c"_qs, u"Gamma"_qs);
    add(u"d"_qs, u"Delta"_qs, u"c"_qs);
    add(u"e"_qs, u"Echo"_qs, {}, 2);
    add(u"f"_qs, u"Foxtrot"_qs);
    add(u"g"_qs, u"Golf"_qs, u"f"_qs);
    endTurn();
    const QDateTime createdA = *store->tag(u"a"_qs)->createdAt();
    const QDateTime beforeMerge = Clock::now();
    const int commits = store->commitCount();

    TagListActions& list = makeActions();
    list.mergeImportedTags({
        record("a", "Alpha 2", nullptr, 4), // renamed
        record("b", "Beta", "c"),           // moved
        record("c", "Gamma"),
        record("d", "Delta"),            // made a root
        record("e", "Echo", nullptr, 2), // unchanged
        record("g", "Golf", "f"),        // its parent is gone from Things 3, it is not
        record("n", "November", "a", 7),
    });
    EXPECT_EQ(storedTags(),
              u"Alpha 2:-:4, Beta:Gamma:0, Delta:-:0, Echo:-:2, Gamma:-:0, Golf:?:0, November:Alpha 2:7");
    for (const TagPtr& tag : store->allTags()) {
        EXPECT_GT(*tag->updatedAt(), beforeMerge) << tag->name().toStdString();
    }
    EXPECT_EQ(*store->tag(u"a"_qs)->createdAt(), createdA);
    EXPECT_GT(*store->tag(u"n"_qs)->createdAt(), beforeMerge);
    EXPECT_GT(preferences->lastImportTimestamp(), Clock::secondsSinceReferenceDate(beforeMerge));

    endTurn();
    EXPECT_EQ(store->commitCount(), commits + 1);
    list.mergeImportedTags({}); // Things 3 has no tags
    EXPECT_EQ(store->count(), 0);
}

// ---- A store that cannot be written, no Things 3 ----

// Without Things 3 neither a deletion nor an import changes the store, the import date or the selection.
// A store whose file cannot be written (another connection holds it locked) keeps the import in
// memory and says so once, above the list, until a later change is saved with it.
TEST_F(TagListActionsTest, aFailedSaveIsShownUntilASaveSucceedsAndLosesNothing) {
    TagListActions& list = makeActions();
    SqliteDatabase other;
    ASSERT_TRUE(other.open(storePath(), nullptr));
    ASSERT_TRUE(other.exec("BEGIN EXCLUSIVE"));
    list.mergeImportedTags({record("a", "Alpha"), record("b", "Beta", "a")});
    endTurn();
    ASSERT_TRUE(store->saveFailure());
    EXPECT_TRUE(list.bannerMessage()->startsWith(u"Orvalet could not save its tag list: database is locked"));
    const std::optional<QString> shown = list.bannerMessage();
    store->tag(u"a"_qs)->setTodosCount(4);
    endTurn();
    EXPECT_EQ(list.bannerMessage(), shown);

    ASSERT_TRUE(other.exec("ROLLBACK"));
    store->tag(u"b"_qs)->setName(u"Bravo"_qs);
    endTurn();
    EXPECT_FALSE(list.bannerMessage());
    actions.reset();
    store.reset();
    store = openStore();
    EXPECT_EQ(storedTags(), u"Alpha:-:4, Bravo:Alpha:0");
}

TEST_F(TagListActionsTest, withoutThingsDeletionAndImportChangeNothing) {
    StandInProcess nothingListening; // its socket, never opened
    useStandIn();
    const TagPtr home = add(u"h"_qs, u"Home"_qs, {}, 3);
    add(u"k"_qs, u"Kids"_qs, u"h"_qs);
    preferences->setLastImportTimestamp(42.0);
    endTurn();
    const QByteArray storeBytes = test::fileBytes(storePath());
    const QByteArray walBytes = test::fileBytes(storePath() + u"-wal"_qs);
    TagListActions& list = makeActions();
    list.setSelectedTagIds({home->id()});

    // The rows show busy while Things 3 is asked, and the banner says nothing was deleted, and why.
    auto deletion = list.deleteTagFromList(home);
    EXPECT_TRUE(list.isDeleting(u"h"_qs) && list.isDeleting(u"k"_qs));
    QCoro::waitFor(std::move(deletion));
    EXPECT_FALSE(list.hasDeletions());
    EXPECT_EQ(list.selectedTagIds(), QSet<QString>{home->id()});
    EXPECT_EQ(list.bannerMessage(), u"\u201CHome\u201D was not deleted. "_qs + test::notOpenMessage);

    QCoro::waitFor(list.importAllTags());
    endTurn();
    EXPECT_EQ(list.importError(), test::notOpenMessage);
    EXPECT_FALSE(list.isOverlayShown());
    EXPECT_EQ(preferences->lastImportTimestamp(), 42.0);
    EXPECT_EQ(storedTags(), u"Home:-:3, Kids:Home:-");
    EXPECT_EQ(test::fileBytes(storePath()), storeBytes);
    EXPECT_EQ(test::fileBytes(storePath() + u"-wal"_qs), walBytes);
}

// ---- Deletion ----

// Through a stand-in process: one program naming the tag, then its whole tree leaves the store.
TEST_F(TagListActionsTest, deleteSendsOneProgramNamingTheTagThenRemovesTheTreeLocally) {
    StandInProcess standIn;
    auto t = tree(u"Home>Kids>Homework, Home>Garden, Work"_qs);
    const QString home = t[u"Home"_qs]->id(), homework = t[u"Homework"_qs]->id();
    library.save(standIn.libraryPath());
    ASSERT_TRUE(standIn.start());
    useStandIn();
    TagListActions& list = makeActions();
    list.setSelectedTagIds({home, homework});
    QSignalSpy selectionChanges(&list, &TagListActions::selectionChanged);

    QCoro::waitFor(list.requestDelete({store->tag(home)}));
    EXPECT_TRUE(list.showDeleteConfirmationForListTags());
    QCoro::Task<> deletion = list.confirmDelete();
    EXPECT_FALSE(list.showDeleteConfirmationForListTags());
    QCoro::waitFor(std::move(deletion));

    EXPECT_EQ(storedTags(), u"Work:-:-");
    EXPECT_EQ(list.selectedTagIds(), QSet<QString>{homework}); // a descendant's identifier stays
    EXPECT_EQ(selectionChanges.size(), 1);
    EXPECT_EQ(test::withoutTreeReads(sent()),
              QStringList{ThingsService::deleteTagGroupScript({{home, u"Home"_qs}})});
    EXPECT_EQ(ThingsLibrary::load(standIn.libraryPath()).tagCount(), 1);
}

TEST_F(TagListActionsTest, flowsStartedByAClosedWindowStillReachTheStore) {
    TagListActions& list = makeActions();
    auto deletion = list.deleteTagFromList(tree(u"Parent>Child, Other"_qs)[u"Parent"_qs]);
    QCoro::Task<> import = list.importAllTags();
    actions.reset(); // the window closes while Things 3 is still answering
    QCoro::waitFor(std::move(deletion));
    QCoro::waitFor(std::move(import));
    EXPECT_EQ(storedTags(), u"Other:-:0");
    EXPECT_GT(preferences->lastImportTimestamp(), 0.0);
}

// ---- Refresh and import ----

// A refresh takes what Things 3 reports and skips the rest; an import then makes the store a copy of
// Things 3, open to-dos counted. The overlay shows meanwhile.
TEST_F(TagListActionsTest, refreshAndImportTakeWhatThingsReportsWithTheOverlayMeanwhile) {
    const RefreshCase c = prepareRefresh();
    TagListActions& list = makeActions();
    QCoro::Task<> refresh = list.refreshTags({store->tag(c.a), store->tag(u"gone"_qs), store->tag(c.b)});
    EXPECT_EQ(list.refreshingTagCount(), 3);
    QCoro::waitFor(std::move(refresh));
    EXPECT_FALSE(list.isOverlayShown());
    expectRefreshed(c);
    list.setRefreshingTagCount(1);
    EXPECT_EQ(list.overlayTitle(), u"Importing tag from Things\u2026");

    library.addTodo(u"Weed"_qs, TodoState::Completed, {c.a});
    QSignalSpy changes(&list, &TagListActions::changed);
    QCoro::Task<> import = list.importAllTags();
    EXPECT_TRUE(list.isImporting());
    EXPECT_EQ(list.overlayTitle(), u"Importing tags from Things\u2026"); // over the refresh's title
    QCoro::waitFor(std::move(import));
    EXPECT_EQ(storedTags(), u"A new:B:2, B:-:0");
    EXPECT_GE(changes.size(), 2);
}

// The import's records are worked out and committed off the interface thread; what the store is
// told meanwhile is newer than Things 3's answer and wins, in memory and in the file: a rename (the
// rest of that tag is Things 3's), a deletion, a new tag. Another connection holds the file, so the
// import's transaction waits until these are in.
TEST_F(TagListActionsTest, writesMadeWhileAnImportIsWorkedOutWinInMemoryAndInTheFile) {
    auto t = tree(u"Home>Kids, Work, Gone"_qs);
    library.renameTag(t[u"Home"_qs]->id(), u"House"_qs);
    library.deleteTag(t[u"Gone"_qs]->id());
    library.makeTag(u"Fresh"_qs);
    endTurn();
    SqliteDatabase other;
    ASSERT_TRUE(other.open(storePath(), nullptr) && other.exec("BEGIN EXCLUSIVE"));
    QCoro::Task<> import = makeActions().importAllTags();
    // processEvents with a time returns at once when nothing is pending: the wait is by the clock, so
    // that a worker slowed by a busy machine still gets there.
    for (QDeadlineTimer deadline(10'000); !store->isReplacing() && !deadline.hasExpired();) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    ASSERT_TRUE(store->isReplacing());
    t[u"Kids"_qs]->setName(u"Children"_qs);
    store->remove(t[u"Work"_qs]);
    add(u"new"_qs, u"New"_qs);
    ASSERT_TRUE(other.exec("ROLLBACK"));
    QCoro::waitFor(std::move(import));
    endTurn();
    const QString expected = u"Children:House:0, Fresh:-:0, House:-:0, New:-:-"_qs;
    EXPECT_EQ(storedTags(), expected);
    actions.reset();
    store.reset();
    store = openStore();
    EXPECT_EQ(storedTags(), expected);
}

// ---- Context menu and confirmation ----

TEST_F(TagListActionsTest, menuTargetsTheSelectionOnlyFromASelectedRowAndTheConfirmationNamesOrCounts) {
    for (const char* id : {"a", "b", "c", "d"}) {
        add(QString::fromUtf8(id), QString::fromUtf8(id).toUpper());
    }
    const TagPtr errands = add(u"e"_qs, u"Errands"_qs);
    TagListActions& list = makeActions();
    const QSet<QString> selection{u"a"_qs, u"b"_qs, u"c"_qs, u"missing"_qs};
    list.setSelectedTagIds(selection);

    const QList<TagPtr> single = list.menuTargets(u"d"_qs);
    ASSERT_EQ(single.size(), 1);
    EXPECT_EQ(single.first()->id(), u"d");
    EXPECT_EQ(list.selectedTagIds(), selection);
    QList<TagPtr> targets = list.menuTargets(u"b"_qs); // without the identifier that has no tag
    std::ranges::sort(targets, {}, &Tag::id);
    EXPECT_EQ(test::names(targets), (QStringList{u"A"_qs, u"B"_qs, u"C"_qs}));

    const QString rest =
        u" and all their child tags from this app AND Things 3. This action cannot be undone!"_qs;
    QCoro::waitFor(list.requestDelete({errands}));
    EXPECT_EQ(list.confirmationTitle(), u"Delete \"Errands\"?");
    EXPECT_EQ(list.permanentConfirmationMessage(), u"This will permanently delete the tag" + rest);
    list.cancelDelete();
    QCoro::waitFor(list.requestDelete(targets));
    EXPECT_EQ(list.confirmationTitle(), u"Delete 3 tags?");
    EXPECT_EQ(list.permanentConfirmationMessage(), u"This will permanently delete the tags" + rest);
    list.cancelDelete();
    EXPECT_TRUE(list.tagsPendingDelete().isEmpty());
    EXPECT_FALSE(list.showDeleteConfirmationForListTags());
    EXPECT_EQ(store->count(), 5);
}

// A tag Things 3 reports that the store did not hold when the import took its picture, made in the
// store and deleted again while the import is worked out (the user made it, then changed their mind):
// the import's answer is older, and the tag stays deleted, in memory and in the file.
TEST_F(TagListActionsTest, aTagMadeAndDeletedWhileAnImportIsWorkedOutStaysDeleted) {
    tree(u"Home>Kids"_qs);
    const QString fresh = library.makeTag(u"Fresh"_qs);
    endTurn();
    SqliteDatabase other;
    ASSERT_TRUE(other.open(storePath(), nullptr) && other.exec("BEGIN EXCLUSIVE"));
    QCoro::Task<> import = makeActions().importAllTags();
    for (QDeadlineTimer deadline(10'000); !store->isReplacing() && !deadline.hasExpired();) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    ASSERT_TRUE(store->isReplacing());
    add(fresh, u"Fresh"_qs);
    endTurn();
    library.deleteTag(fresh);
    store->remove(store->tag(fresh));
    ASSERT_TRUE(other.exec("ROLLBACK"));
    QCoro::waitFor(std::move(import));
    endTurn();
    const QString expected = u"Home:-:0, Kids:Home:0"_qs;
    EXPECT_EQ(storedTags(), expected);
    actions.reset();
    store.reset();
    store = openStore();
    EXPECT_EQ(storedTags(), expected);
}

} // namespace
