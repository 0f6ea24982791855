#include "SqliteDatabase.h"
#include "StoreFixture.h"
#include "TextOrder.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <sqlite3.h>
#include <thread>

using namespace orvalet;
using orvalet::test::names;
using orvalet::test::StoreTest;

namespace {

// Rows as another connection sees them on disk, to tell committed from merely in memory.
int rowsOnDisk(const QString& path) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, "SELECT count(*) FROM tag", -1, &statement, nullptr);
    const int rows = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int(statement, 0) : -1;
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return rows;
}

} // namespace

TEST_F(StoreTest, insertingAStoredIdReplacesThatRecordsValuesAndOnlyThat) {
    auto store = openStore();
    const TagPtr first =
        store->insert(Tag(u"t1"_qs, u"Errands"_qs, std::nullopt, std::nullopt, std::nullopt, 2));
    const TagPtr second =
        store->insert(Tag(u"t1"_qs, u"Errands & Shops"_qs, u"p"_qs, std::nullopt, std::nullopt, 7));
    EXPECT_EQ(first, second);
    ASSERT_EQ(store->count(), 1);
    EXPECT_EQ(first->name(), u"Errands & Shops"_qs);
    EXPECT_EQ(first->parentTagId(), u"p"_qs);
    EXPECT_EQ(first->todosCount(), 7);
    // An equal name under another identifier is another record.
    store->insert(Tag(u"t2"_qs, u"Errands & Shops"_qs));
    EXPECT_EQ(store->count(), 2);

    endTurn();
    store.reset();
    store = openStore();
    ASSERT_EQ(store->count(), 2);
    EXPECT_EQ(store->tag(u"t1"_qs)->name(), u"Errands & Shops"_qs);
}

TEST_F(StoreTest, everythingSurvivesCloseAndReopen) {
    const QString hardName = u"Say \"hi\" \\ back\nslash \u00e9 \U0001F600 ||| ~~~"_qs;
    {
        auto store = openStore();
        store->insert(Tag(u"root"_qs, hardName));
        const TagPtr child = store->insert(Tag(u"child"_qs, u"Child"_qs, u"root"_qs));
        store->insert(Tag(u"orphan"_qs, u"Orphan"_qs, u"missing-parent"_qs));
        const TagPtr gone = store->insert(Tag(u"gone"_qs, u"Gone"_qs));
        endTurn();
        // Field writes and a deletion in a later turn, some flushed only when the store closes.
        child->setName(u"Renamed"_qs);
        child->setParentTagId(std::nullopt);
        child->setTodosCount(-3);
        child->setUpdatedAt(Clock::referenceDate().addMSecs(123456789));
        store->remove(gone);
        EXPECT_FALSE(gone->isStored());
    }
    auto store = openStore();
    ASSERT_EQ(store->count(), 3);
    EXPECT_EQ(store->tag(u"root"_qs)->name(), hardName);
    EXPECT_FALSE(store->tag(u"gone"_qs));
    EXPECT_EQ(store->tag(u"orphan"_qs)->parentTagId(), u"missing-parent"_qs);
    const TagPtr child = store->tag(u"child"_qs);
    EXPECT_EQ(child->name(), u"Renamed"_qs);
    EXPECT_FALSE(child->parentTagId());
    EXPECT_EQ(child->todosCount(), -3);
    EXPECT_EQ(*child->updatedAt(), Clock::referenceDate().addMSecs(123456789));
    EXPECT_EQ(*child->createdAt(), Clock::referenceDate().addSecs(1002));
}

// Names come from Things 3 and from the user's typing; whatever a QString holds comes back.
TEST_F(StoreTest, everyNameSurvivesCloseAndReopenExactly) {
    const QString names[] = {
        u"Say \"hi\""_qs,
        u"C:\\Temp\\"_qs,
        u"a|||b"_qs,
        u"a~~~b"_qs,
        u" Someday "_qs,
        u"\tTabbed\t"_qs,
        u"two\nlines\r\n"_qs,
        QString(u"nul\0inside"_qs.data(), 11),
        QString(QChar(0xd800)) + u"lone high"_qs,
        u"lone low"_qs + QChar(0xdc00),
        QString(QChar(0xdc00)) + QChar(0xd800),
        u"\ufeffBOM first"_qs,
        u"BOM\ufeffinside"_qs,
        u"\u200fRTL \u202eevil\u202c"_qs,
        u"emoji \U0001F600\U0001F1EB\U0001F1F7"_qs,
        u"Caf\u00e9 Cafe\u0301"_qs,
        QString(10'000, u'x') + QChar(0xdbff),
    };
    {
        auto store = openStore();
        for (qsizetype i = 0; i < qsizetype(std::size(names)); ++i) {
            store->insert(Tag(u"t"_qs + QString::number(i), names[i]));
        }
    }
    auto store = openStore();
    for (qsizetype i = 0; i < qsizetype(std::size(names)); ++i) {
        EXPECT_EQ(store->tag(u"t"_qs + QString::number(i))->name(), names[i]) << i;
    }
}

TEST_F(StoreTest, oneTurnOfWritesIsOneTransactionAndOneChangedSignal) {
    auto store = openStore();
    QSignalSpy changed(store.get(), &TagStore::changed);
    const int commitsBefore = store->commitCount();
    for (int i = 0; i < 500; ++i) {
        const TagPtr tag = store->insert(Tag(QString::number(i), u"Tag %1"_qs.arg(i)));
        tag->setTodosCount(i);
    }
    store->remove(store->tag(u"7"_qs));
    // Nothing reaches the disk until the turn ends, and reads already see every write.
    EXPECT_EQ(rowsOnDisk(storePath()), 0);
    EXPECT_EQ(store->count(), 499);
    EXPECT_EQ(changed.count(), 0);

    endTurn();
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(store->commitCount(), commitsBefore + 1);
    EXPECT_EQ(rowsOnDisk(storePath()), 499);

    endTurn(); // a turn without writes commits and announces nothing
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(store->commitCount(), commitsBefore + 1);
}

// While another connection holds the file, a commit fails at once instead of holding the interface
// thread for SQLite's busy timeout (2 s): the writes stay in memory, the failure is told, and the
// commit is tried again shortly, so that the writes reach the file once the lock is gone, with no
// further change. Only the last flush, as the application quits, waits for the lock.
TEST_F(StoreTest, aFileLockedByAnotherConnectionHoldsNoCommitAndLosesNoWrite) {
    auto store = openStore();
    SqliteDatabase other;
    ASSERT_TRUE(other.open(storePath(), nullptr));
    ASSERT_TRUE(other.exec("BEGIN EXCLUSIVE"));
    QSignalSpy failureChanges(store.get(), &TagStore::saveFailureChanged);
    store->insert(Tag(u"a"_qs, u"Alpha"_qs));
    QElapsedTimer clock;
    clock.start();
    endTurn();
    EXPECT_LT(clock.elapsed(), SqliteDatabase::defaultBusyTimeoutMs / 2);
    ASSERT_TRUE(store->saveFailure());
    EXPECT_EQ(*store->saveFailure(), u"database is locked"_qs);
    EXPECT_TRUE(store->hasPendingWrites());
    EXPECT_EQ(failureChanges.count(), 1);

    ASSERT_TRUE(other.exec("ROLLBACK"));
    for (QDeadlineTimer deadline(10000); store->hasPendingWrites() && !deadline.hasExpired();) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    EXPECT_FALSE(store->hasPendingWrites());
    EXPECT_FALSE(store->saveFailure());
    EXPECT_EQ(failureChanges.count(), 2);
    EXPECT_EQ(rowsOnDisk(storePath()), 1);

    // The other connection lets go of the file while the last flush waits for it.
    store->tag(u"a"_qs)->setName(u"Alef"_qs);
    ASSERT_TRUE(other.exec("BEGIN EXCLUSIVE"));
    std::thread letGo([&other] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        other.exec("ROLLBACK");
    });
    EXPECT_TRUE(store->finalFlush());
    letGo.join();
    store.reset();
    store = openStore();
    EXPECT_EQ(store->tag(u"a"_qs)->name(), u"Alef"_qs);
}

TEST_F(StoreTest, allTagsIsInPlainTextOrder) {
    auto store = openStore();
    for (const QString& name : {u"beta"_qs, u"Alpha"_qs, u"alpha"_qs, u"\u00c9clair"_qs, u"Zulu"_qs}) {
        store->insert(Tag(name, name));
    }
    // Upper case before lower case, accented letters after ASCII: no locale, no case folding.
    EXPECT_EQ(names(store->allTags()), (QStringList{"Alpha", "Zulu", "alpha", "beta", u"\u00c9clair"_qs}));
}

// The order is kept between reads and mended record by record after small changes; after any mix
// of renames, inserts, replacements and deletions, few or many between two reads, it must be the
// order a full sort gives.
TEST_F(StoreTest, allTagsStaysInOrderThroughAnyMixOfChanges) {
    auto store = openStore();
    QRandomGenerator random(11);
    const auto name = [&]() -> QString {
        return QString::number(random.bounded(60)).prepend(u'n');
    };
    int nextId = 0;
    for (int round = 0; round < 300; ++round) {
        const int changes = round % 10 == 0 ? 50 : int(random.bounded(4)) + 1;
        for (int i = 0; i < changes; ++i) {
            const QList<TagPtr> all = store->allTagsUnordered();
            const int pick = int(random.bounded(4));
            if (all.isEmpty() || pick == 0) {
                store->insert(Tag(QString::number(nextId++), name()));
            } else if (pick == 1) {
                store->insert(Tag(all[random.bounded(all.size())]->id(), name()));
            } else if (pick == 2) {
                all[random.bounded(all.size())]->setName(name());
            } else {
                store->remove(all[random.bounded(all.size())]);
            }
        }
        QList<TagPtr> expected = store->allTagsUnordered();
        std::sort(expected.begin(), expected.end(), [](const TagPtr& a, const TagPtr& b) {
            const int order = TextOrder::compare(a->name(), b->name());
            return order != 0 ? order < 0 : TextOrder::compare(a->id(), b->id()) < 0;
        });
        ASSERT_TRUE(store->allTags() == expected) << "round " << round;
        if (round % 3 == 0) {
            endTurn();
        }
    }
}

TEST(TextOrder, comparesCodePointsAfterCanonicalEquivalence) {
    const QString composed = u"\u00e9"_qs;    // é as one code point
    const QString decomposed = u"e\u0301"_qs; // e + combining acute
    EXPECT_EQ(TextOrder::compare(composed, decomposed), 0);
    EXPECT_LT(TextOrder::compare(u"Z"_qs, u"a"_qs), 0);
    // UTF-16 would put U+1F600 (a surrogate pair) before U+FF21; code-point order puts it after.
    EXPECT_LT(TextOrder::compare(u"\uFF21"_qs, u"\U0001F600"_qs), 0);
    EXPECT_LT(TextOrder::compare(u"ab"_qs, u"abc"_qs), 0);
}
