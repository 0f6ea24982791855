// The main window's actions: import and merge, deletion after confirmation, refresh, the context
// menu's targets and the overlay, run against the stand-in's library in memory or a stand-in process.
#include "TagListActions.h"

#include "Preferences.h"
#include "StandInEngine.h"
#include "StandInProcess.h"
#include "StandInTestSupport.h"
#include "StoreFixture.h"
#include "ThingsWorker.h"

#include <QSignalSpy>

using namespace orvalet;
using standin::ThingsLibrary;
using standin::TodoState;
using standin::testing::LibraryEngine;

namespace {

const QString notOpen = u"Things 3 is not open. Please open Things 3 and try again."_qs;

class TagListActionsTest : public test::StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        store = openStore();
        ASSERT_TRUE(store);
        preferences = std::make_unique<Preferences>(
            std::make_unique<QSettings>(m_dir.filePath(u"Orvalet.conf"_qs), QSettings::IniFormat));
    }

    // The actions over the library in memory, or over whatever stand-in the socket leads to.
    TagListActions& actionsOnLibrary() { return makeActions(std::make_unique<LibraryEngine>(library)); }
    TagListActions& actionsOnStandIn() { return makeActions(std::make_unique<StandInEngine>()); }

    TagListActions& makeActions(std::unique_ptr<ScriptEngine> engine) {
        worker = std::make_unique<ThingsWorker>(std::move(engine));
        actions = std::make_unique<TagListActions>(*store, *preferences, *worker);
        return *actions;
    }

    TagPtr add(const QString& id, const QString& name, std::optional<QString> parent = {},
               std::optional<qint64> todos = {}) {
        return store->insert(Tag(id, name, std::move(parent), std::nullopt, std::nullopt, todos));
    }

    // The stored tags as "id:name:parent:todos", by identifier.
    QStringList storedTags() const {
        QStringList rows;
        for (const TagPtr& tag : store->allTagsUnordered()) {
            rows.append(tag->id() + u':' + tag->name() + u':' + tag->parentTagId().value_or(u"-"_qs) + u':' +
                        (tag->todosCount() ? QString::number(*tag->todosCount()) : u"-"_qs));
        }
        rows.sort();
        return rows;
    }

    ThingsLibrary library;
    std::unique_ptr<TagStore> store;
    std::unique_ptr<Preferences> preferences;
    std::unique_ptr<ThingsWorker> worker;
    std::unique_ptr<TagListActions> actions;
};

QStringList sorted(QStringList rows) {
    rows.sort();
    return rows;
}

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
    QSignalSpy storeChanges(store.get(), &TagStore::changed);

    TagListActions& list = actionsOnLibrary();
    list.mergeImportedTags({
        record("a", "Alpha 2", nullptr, 4), // renamed
        record("b", "Beta", "c"),           // moved
        record("c", "Gamma"),
        record("d", "Delta"),            // made a root
        record("e", "Echo", nullptr, 2), // unchanged
        record("g", "Golf", "f"),        // its parent is gone from Things 3, it is not
        record("n", "November", "a", 7),
    });
    EXPECT_EQ(storedTags(), (QStringList{"a:Alpha 2:-:4", "b:Beta:c:0", "c:Gamma:-:0", "d:Delta:-:0",
                                         "e:Echo:-:2", "g:Golf:f:0", "n:November:a:7"}));
    for (const TagPtr& tag : store->allTags()) {
        EXPECT_GT(*tag->updatedAt(), beforeMerge) << tag->name().toStdString();
    }
    EXPECT_EQ(*store->tag(u"a"_qs)->createdAt(), createdA);
    EXPECT_GT(*store->tag(u"n"_qs)->createdAt(), beforeMerge);
    EXPECT_GT(preferences->lastImportTimestamp(), Clock::secondsSinceReferenceDate(beforeMerge));

    endTurn();
    EXPECT_EQ(store->commitCount(), commits + 1);
    EXPECT_EQ(storeChanges.size(), 1);
}

TEST_F(TagListActionsTest, mergeOfNoRecordsEmptiesTheStoreAndRecordsTheImport) {
    add(u"a"_qs, u"Alpha"_qs);
    add(u"b"_qs, u"Beta"_qs, u"a"_qs);
    ASSERT_EQ(preferences->lastImportTimestamp(), 0.0);
    actionsOnLibrary().mergeImportedTags({});
    EXPECT_EQ(store->count(), 0);
    EXPECT_GT(preferences->lastImportTimestamp(), 0.0);
}

// ---- Import ----

TEST_F(TagListActionsTest, importCopiesThingsAndShowsTheOverlayMeanwhile) {
    const QString home = library.makeTag(u"Home"_qs);
    const QString garden = library.makeTag(u"Garden"_qs, home);
    library.addTodo(u"Mow"_qs, TodoState::Open, {garden});
    library.addTodo(u"Weed"_qs, TodoState::Completed, {garden});
    add(u"stale"_qs, u"Stale"_qs);
    TagListActions& list = actionsOnLibrary();
    QSignalSpy changes(&list, &TagListActions::changed);

    QCoro::Task<> import = list.importAllTags();
    list.setRefreshingTagCount(2);
    EXPECT_TRUE(list.isImporting());
    EXPECT_TRUE(list.isOverlayShown());
    EXPECT_EQ(list.overlayTitle(), u"Importing tags from Things\u2026");
    QCoro::waitFor(std::move(import));

    EXPECT_FALSE(list.isImporting());
    EXPECT_EQ(list.importError(), std::nullopt);
    EXPECT_EQ(storedTags(), sorted({garden + u":Garden:" + home + u":1", home + u":Home:-:0"}));
    EXPECT_GE(changes.size(), 2);
}

TEST_F(TagListActionsTest, failedImportChangesNothingAndSaysWhy) {
    StandInProcess nothingListening; // its socket, never opened
    add(u"a"_qs, u"Alpha"_qs, {}, 3);
    preferences->setLastImportTimestamp(42.0);
    endTurn();
    const QByteArray storeBytes = test::fileBytes(storePath());
    const QByteArray walBytes = test::fileBytes(storePath() + u"-wal"_qs);

    TagListActions& list = actionsOnStandIn();
    QCoro::waitFor(list.importAllTags());
    endTurn();
    EXPECT_EQ(list.importError(), notOpen);
    EXPECT_FALSE(list.isImporting());
    EXPECT_FALSE(list.isOverlayShown());
    EXPECT_EQ(preferences->lastImportTimestamp(), 42.0);
    EXPECT_EQ(storedTags(), QStringList{"a:Alpha:-:3"});
    EXPECT_EQ(test::fileBytes(storePath()), storeBytes);
    EXPECT_EQ(test::fileBytes(storePath() + u"-wal"_qs), walBytes);

    list.dismissImportError();
    EXPECT_EQ(list.importError(), std::nullopt);
}

// ---- Deletion ----

class DeletionOnStandIn : public TagListActionsTest {
protected:
    // Home with two children, Kids and Garden, and a grandchild under Kids; Work beside them.
    void SetUp() override {
        TagListActionsTest::SetUp();
        home = library.makeTag(u"Home"_qs);
        kids = library.makeTag(u"Kids"_qs, home);
        garden = library.makeTag(u"Garden"_qs, home);
        homework = library.makeTag(u"Homework"_qs, kids);
        work = library.makeTag(u"Work"_qs);
        library.save(standIn.libraryPath());
    }

    QStringList transcriptPrograms() const {
        QFile file(standIn.filePath(u"transcript"_qs));
        if (!file.open(QIODevice::ReadOnly)) {
            return {};
        }
        QStringList programs;
        for (const QString& entry :
             QString::fromUtf8(file.readAll()).split(u"=== program "_qs, Qt::SkipEmptyParts)) {
            const qsizetype start = entry.indexOf(u'\n') + 1;
            programs.append(entry.mid(start, entry.indexOf(u"\n=== answer"_qs) - start));
        }
        return programs;
    }

    StandInProcess standIn;
    QString home, kids, garden, homework, work;
};

TEST_F(DeletionOnStandIn, deletesTheTreeLocallyAfterOneProgramNamingTheTag) {
    ASSERT_TRUE(standIn.start({u"--transcript"_qs, standIn.filePath(u"transcript"_qs)}));
    TagListActions& list = actionsOnStandIn();
    QCoro::waitFor(list.importAllTags());
    ASSERT_EQ(store->count(), 5);
    list.setSelectedTagIds({home, homework});
    QSignalSpy selectionChanges(&list, &TagListActions::selectionChanged);

    list.requestDelete({store->tag(home)});
    EXPECT_TRUE(list.showDeleteConfirmationForListTags());
    QCoro::Task<> deletion = list.confirmDelete();
    EXPECT_FALSE(list.showDeleteConfirmationForListTags());
    EXPECT_TRUE(list.tagsPendingDelete().isEmpty());
    QCoro::waitFor(std::move(deletion));

    EXPECT_EQ(storedTags(), QStringList{work + u":Work:-:0"});
    EXPECT_EQ(list.selectedTagIds(), QSet<QString>{homework}); // a descendant's identifier stays
    EXPECT_EQ(selectionChanges.size(), 1);
    const QStringList programs = transcriptPrograms();
    ASSERT_EQ(programs.size(), 2); // the import, then the one deletion
    EXPECT_EQ(programs[1], ThingsService::deleteTagScript(u"Home"_qs));
    EXPECT_EQ(ThingsLibrary::load(standIn.libraryPath()).tagCount(), 1);
}

TEST_F(DeletionOnStandIn, withoutThingsNothingChangesAndNothingIsShown) {
    add(home, u"Home"_qs);
    add(kids, u"Kids"_qs, home);
    add(work, u"Work"_qs);
    endTurn();
    const QStringList before = storedTags();
    TagListActions& list = actionsOnStandIn(); // no stand-in was started
    list.setSelectedTagIds({home});
    QSignalSpy changes(&list, &TagListActions::changed);

    QCoro::waitFor(list.deleteTagFromList(store->tag(home)));
    EXPECT_EQ(storedTags(), before);
    EXPECT_FALSE(store->hasPendingWrites());
    EXPECT_EQ(list.selectedTagIds(), QSet<QString>{home});
    EXPECT_EQ(changes.size(), 0);
    EXPECT_EQ(list.importError(), std::nullopt);
}

TEST_F(TagListActionsTest, flowsStartedByAClosedWindowStillReachTheStore) {
    const QString parent = library.makeTag(u"Parent"_qs);
    const QString child = library.makeTag(u"Child"_qs, parent);
    const QString other = library.makeTag(u"Other"_qs);
    add(parent, u"Parent"_qs);
    add(child, u"Child"_qs, parent);
    add(other, u"Other"_qs);
    TagListActions& list = actionsOnLibrary();

    QCoro::Task<> deletion = list.deleteTagFromList(store->tag(parent));
    QCoro::Task<> import = list.importAllTags();
    actions.reset(); // the window closes while Things 3 is still answering
    QCoro::waitFor(std::move(deletion));
    QCoro::waitFor(std::move(import));
    EXPECT_EQ(storedTags(), QStringList{other + u":Other:-:0"});
    EXPECT_GT(preferences->lastImportTimestamp(), 0.0);
}

TEST_F(TagListActionsTest, confirmationNamesOneTagOrCountsThem) {
    const TagPtr errands = add(u"e"_qs, u"Errands"_qs);
    const TagPtr a = add(u"a"_qs, u"A"_qs);
    const TagPtr b = add(u"b"_qs, u"B"_qs);
    TagListActions& list = actionsOnLibrary();
    const QString rest =
        u" and all their child tags from this app AND Things 3. This action cannot be undone!"_qs;

    list.requestDelete({errands});
    EXPECT_EQ(list.confirmationTitle(), u"Delete \"Errands\"?");
    EXPECT_EQ(list.confirmationMessage(), u"This will permanently delete the tag" + rest);
    list.requestDelete({errands, a, b});
    EXPECT_EQ(list.confirmationTitle(), u"Delete 3 tags?");
    EXPECT_EQ(list.confirmationMessage(), u"This will permanently delete the tags" + rest);

    list.cancelDelete();
    EXPECT_TRUE(list.tagsPendingDelete().isEmpty());
    EXPECT_FALSE(list.showDeleteConfirmationForListTags());
    EXPECT_EQ(store->count(), 3);
}

// ---- Refresh ----

TEST_F(TagListActionsTest, refreshUpdatesWhatThingsReportsAndSkipsTheRest) {
    const QString a = library.makeTag(u"A new"_qs);
    const QString b = library.makeTag(u"B"_qs);
    library.setParent(a, b);
    library.addTodo(u"one"_qs, TodoState::Open, {a});
    library.addTodo(u"two"_qs, TodoState::Open, {a});
    add(a, u"A old"_qs);
    add(b, u"B"_qs, {}, 5);
    add(u"gone"_qs, u"Gone"_qs, {}, 1);
    endTurn();
    const QDateTime before = Clock::now();
    const QDateTime goneUpdatedAt = *store->tag(u"gone"_qs)->updatedAt();
    TagListActions& list = actionsOnLibrary();

    QCoro::Task<> refresh = list.refreshTags({store->tag(a), store->tag(u"gone"_qs), store->tag(b)});
    EXPECT_EQ(list.refreshingTagCount(), 3);
    EXPECT_EQ(list.overlayTitle(), u"Importing 3 tags from Things\u2026");
    QCoro::waitFor(std::move(refresh));

    EXPECT_EQ(list.refreshingTagCount(), 0);
    EXPECT_FALSE(list.isOverlayShown());
    EXPECT_EQ(storedTags(), sorted({a + u":A new:" + b + u":2", b + u":B:-:0", u"gone:Gone:-:1"_qs}));
    EXPECT_GT(*store->tag(a)->updatedAt(), before);
    EXPECT_GT(*store->tag(b)->updatedAt(), before);
    EXPECT_EQ(*store->tag(u"gone"_qs)->updatedAt(), goneUpdatedAt);
}

TEST_F(TagListActionsTest, overlayTitleFollowsTheRefreshCount) {
    TagListActions& list = actionsOnLibrary();
    EXPECT_FALSE(list.isOverlayShown());
    list.setRefreshingTagCount(1);
    EXPECT_TRUE(list.isOverlayShown());
    EXPECT_EQ(list.overlayTitle(), u"Importing tag from Things\u2026");
    list.setRefreshingTagCount(12);
    EXPECT_EQ(list.overlayTitle(), u"Importing 12 tags from Things\u2026");
    EXPECT_EQ(TagListActions::overlayMessage(), u"Please wait while the import completes.");
}

// ---- Context menu ----

TEST_F(TagListActionsTest, menuTargetsTheSelectionOnlyFromASelectedRow) {
    for (const char* id : {"a", "b", "c", "d"}) {
        add(QString::fromUtf8(id), QString::fromUtf8(id).toUpper());
    }
    TagListActions& list = actionsOnLibrary();
    const QSet<QString> selection{u"a"_qs, u"b"_qs, u"c"_qs, u"missing"_qs};
    list.setSelectedTagIds(selection);

    const QList<TagPtr> single = list.menuTargets(u"d"_qs);
    ASSERT_EQ(single.size(), 1);
    EXPECT_EQ(single.first()->id(), u"d");
    EXPECT_EQ(TagListActions::deleteMenuTitle(single.size()), u"Delete Tag");
    EXPECT_EQ(list.selectedTagIds(), selection);

    QStringList expected; // the set's own order, without the identifier that has no tag
    for (const QString& id : selection) {
        if (id != u"missing") {
            expected.append(id);
        }
    }
    QStringList targets;
    for (const TagPtr& tag : list.menuTargets(u"b"_qs)) {
        targets.append(tag->id());
    }
    EXPECT_EQ(targets, expected);
    EXPECT_EQ(TagListActions::deleteMenuTitle(targets.size()), u"Delete Tags");
}

TEST(TagListLinks, viewInThingsTakesTheIdentifierUnchangedOrNothing) {
    const std::pair<QString, QString> cases[] = {
        {u"2Wd8Q4fKxTmP9aLq3RzV1c"_qs, u"things:///show?id=2Wd8Q4fKxTmP9aLq3RzV1c"_qs},
        {u"a b"_qs, QString()},
        {u"a%zz"_qs, QString()},
    };
    for (const auto& [id, link] : cases) {
        const std::optional<QUrl> url = TagListActions::viewInThingsUrl(id);
        EXPECT_EQ(url ? url->toString(QUrl::FullyEncoded) : QString(), link) << id.toStdString();
    }
}

} // namespace
