#include "StoreFixture.h"

#include <QDir>
#include <QProcess>
#include <sqlite3.h>
#include <unistd.h>

using namespace orvalet;
using orvalet::test::fileBytes;

namespace {

// Each case lays out a data folder whose store must be refused. `storePath` is where the store
// would be; `watched` is the file that must stay byte-for-byte as it was.
struct BadStore {
    const char* name;
    std::function<void(const QString& dataHome, QString& watched)> prepare;
};

// Names the case in test output instead of dumping its bytes.
[[maybe_unused]] void PrintTo(const BadStore& store, std::ostream* out) {
    *out << store.name;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

void runSql(const QString& path, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

// The file and its namesakes beside it, so that a refusal is seen to leave no -wal, -shm or -journal.
std::string fileAndNamesakes(const QString& path) {
    const QFileInfo file(path);
    return file.absoluteDir()
        .entryList({file.fileName() + QLatin1Char('*')}, QDir::AllEntries | QDir::Hidden | QDir::System)
        .join(u", "_qs)
        .toStdString();
}

QString storeIn(const QString& dataHome) {
    return dataHome + u"/Orvalet/Orvalet.store"_qs;
}

// Writes a genuine store, so that the other-version case differs from it in the version alone.
void makeStore(const QString& path) {
    QString error;
    auto store = TagStore::open(path, &error);
    ASSERT_TRUE(store) << error.toStdString();
    store->insert(Tag(u"t1"_qs, u"Keep me"_qs));
}

const BadStore badStores[] = {
    {"notADatabase",
     [](const QString& dataHome, QString& watched) {
         watched = storeIn(dataHome);
         writeFile(watched, QByteArray("these are not the bytes of a database\n").repeated(200));
     }},
    {"anotherSchemaVersion",
     [](const QString& dataHome, QString& watched) {
         watched = storeIn(dataHome);
         makeStore(watched);
         runSql(watched, "PRAGMA journal_mode = DELETE; UPDATE metadata SET value = '2.0.0'");
     }},
    {"anotherApplicationsDatabase",
     [](const QString& dataHome, QString& watched) {
         watched = storeIn(dataHome);
         QDir().mkpath(QFileInfo(watched).absolutePath());
         runSql(watched, "CREATE TABLE notes (body TEXT); INSERT INTO notes VALUES ('mine')");
     }},
    {"anotherProgramsDatabaseWithoutTables",
     [](const QString& dataHome, QString& watched) {
         // No tables and no application id, yet not empty: the other program has marked it as its own.
         watched = storeIn(dataHome);
         QDir().mkpath(QFileInfo(watched).absolutePath());
         runSql(watched, "PRAGMA user_version = 42");
         ASSERT_GT(QFileInfo(watched).size(), 0);
     }},
    {"unreadableStore",
     [](const QString& dataHome, QString& watched) {
         // A folder where the file should be cannot be read by anyone, root included.
         QDir().mkpath(storeIn(dataHome));
         watched = storeIn(dataHome) + u"/inside"_qs;
         writeFile(watched, "untouched");
     }},
    {"folderCannotBeCreated",
     [](const QString& dataHome, QString& watched) {
         // The data folder's place is taken by a file, so no folder can be made under it.
         watched = dataHome;
         QDir().rmdir(dataHome);
         writeFile(dataHome, "a file, not a folder");
     }},
};

class StoreOpening : public ::testing::TestWithParam<BadStore> {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_dataHome = m_dir.filePath(u"data"_qs);
        QDir().mkpath(m_dataHome);
        GetParam().prepare(m_dataHome, m_watched);
        m_before = fileBytes(m_watched);
        m_namesakesBefore = fileAndNamesakes(m_watched);
    }
    QTemporaryDir m_dir;
    QString m_dataHome;
    QString m_watched;
    QByteArray m_before;
    std::string m_namesakesBefore;
};

} // namespace

// A store the version before shortcuts wrote (the fixture was made by that code) gains the column in
// one step: every value reads as before, every shortcut as never read, and what is written after
// survives reopening, "none" apart from "never read". The reopening also shows that the new version
// was recorded: a file still saying 1.0.0 would be refused, as the column is there.
TEST(StoreMigration, aVersionOneStoreKeepsEveryValueAndLearnsShortcuts) {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"Orvalet.store"_qs);
    ASSERT_TRUE(QFile::copy(QStringLiteral(ORVALET_TEST_DATA "/store-1.0.0.store"), path));
    QFile(path).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const auto rows = [](const TagStore& store) {
        QStringList lines;
        for (const TagPtr& tag : store.allTags()) {
            lines.append(tag->id() + u'|' + tag->name() + u'|' + tag->parentTagId().value_or(u"-"_qs) + u'|' +
                         (tag->createdAt() ? tag->createdAt()->toString(Qt::ISODate) : u"-"_qs) + u'|' +
                         tag->updatedAt()->toString(Qt::ISODate) + u'|' +
                         (tag->todosCount() ? QString::number(*tag->todosCount()) : u"-"_qs) + u'|' +
                         tag->shortcut().value_or(u"unknown"_qs));
        }
        return lines;
    };
    QString error;
    auto store = TagStore::open(path, &error);
    ASSERT_TRUE(store) << error.toStdString();
    EXPECT_EQ(
        rows(*store),
        (QStringList{u"aGardenIdentifier00002| Garden \u00E9|aHomeIdentifier0000001|2026-05-28T20:26:40Z|"
                     "2026-05-28T20:26:40Z|-|unknown"_qs,
                     u"aHomeIdentifier0000001|Home|-|2026-05-28T20:26:40Z|2026-05-28T20:26:40Z|3|unknown"_qs,
                     u"aOddIdentifier00000003|Say \"7\"|aMissingParent00000004|-|2026-05-28T20:26:40Z|0|"
                     "unknown"_qs}));
    store->tag(u"aHomeIdentifier0000001"_qs)->setShortcut(u"7"_qs);
    store->tag(u"aGardenIdentifier00002"_qs)->setShortcut(QString());
    ASSERT_TRUE(store->flush());
    store.reset();

    store = TagStore::open(path, &error);
    ASSERT_TRUE(store) << error.toStdString();
    const QStringList after = rows(*store);
    EXPECT_TRUE(after[0].endsWith(u"|-|"_qs)) << after[0].toStdString(); // none, not unknown
    EXPECT_TRUE(after[1].endsWith(u"|3|7"_qs));
    EXPECT_TRUE(after[2].endsWith(u"|unknown"_qs));
}

TEST_P(StoreOpening, isRefusedAndLeavesTheFileAsItWas) {
    QString error;
    EXPECT_FALSE(TagStore::open(storeIn(m_dataHome), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(fileBytes(m_watched), m_before);
    EXPECT_EQ(fileAndNamesakes(m_watched), m_namesakesBefore);
}

TEST_P(StoreOpening, stopsTheApplicationBeforeAnyWindow) {
    QProcess orvalet;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"XDG_DATA_HOME"_qs, m_dataHome);
    env.insert(u"XDG_CONFIG_HOME"_qs, m_dir.filePath(u"config"_qs));
    env.insert(u"QT_QPA_PLATFORM"_qs, u"offscreen"_qs);
    // Without a runtime folder Qt prints a warning of its own; the message must stand alone.
    const QString runtimeDir = m_dir.filePath(u"runtime"_qs);
    QDir().mkpath(runtimeDir);
    QFile::setPermissions(runtimeDir,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    env.insert(u"XDG_RUNTIME_DIR"_qs, runtimeDir);
    orvalet.setProcessEnvironment(env);
    orvalet.start(QStringLiteral(ORVALET_BINARY), {});
    ASSERT_TRUE(orvalet.waitForFinished(20000)) << "orvalet kept running: it opened a window";
    EXPECT_EQ(orvalet.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(orvalet.exitCode(), 1);
    const QString stderrText = QString::fromUtf8(orvalet.readAllStandardError());
    EXPECT_TRUE(stderrText.startsWith(u"Could not create ModelContainer: "_qs)) << stderrText.toStdString();
    EXPECT_EQ(stderrText.count(QLatin1Char('\n')), 1) << stderrText.toStdString();
    EXPECT_EQ(fileBytes(m_watched), m_before);
    EXPECT_EQ(fileAndNamesakes(m_watched), m_namesakesBefore);
}

INSTANTIATE_TEST_SUITE_P(BadStores, StoreOpening, ::testing::ValuesIn(badStores),
                         [](const auto& info) { return std::string(info.param.name); });

// A store is created only where no file is or the file is empty; a file with any content belongs to
// someone and is refused like the cases above.
TEST(StoreAdoption, aMissingOrEmptyFileBecomesANewStore) {
    QTemporaryDir dir;
    const QString missing = dir.filePath(u"new/Orvalet.store"_qs);
    const QString empty = dir.filePath(u"Orvalet.store"_qs);
    writeFile(empty, QByteArray());
    ASSERT_TRUE(QFileInfo::exists(empty));
    ASSERT_EQ(QFileInfo(empty).size(), 0);
    for (const QString& path : {missing, empty}) {
        SCOPED_TRACE(path.toStdString());
        {
            QString error;
            auto store = TagStore::open(path, &error);
            ASSERT_TRUE(store) << error.toStdString();
            EXPECT_EQ(store->count(), 0);
            store->insert(Tag(u"t1"_qs, u"Kept"_qs));
        }
        // Opened again, the file is known as a store and holds what was written.
        QString error;
        auto again = TagStore::open(path, &error);
        ASSERT_TRUE(again) << error.toStdString();
        ASSERT_TRUE(again->tag(u"t1"_qs));
    }
}

TEST(StoreOpeningPermissions, unreadableOrReadOnlyFileIsRefused) {
    if (geteuid() == 0) {
        GTEST_SKIP()
            << "file permissions do not bind root; the folder-in-place case covers unreadable stores";
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(u"Orvalet.store"_qs);
    makeStore(path);
    const QByteArray before = fileBytes(path);
    for (auto mode : {QFileDevice::Permissions(), QFileDevice::Permissions(QFileDevice::ReadOwner)}) {
        QFile::setPermissions(path, mode);
        QString error;
        EXPECT_FALSE(TagStore::open(path, &error));
        EXPECT_FALSE(error.isEmpty());
    }
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(fileBytes(path), before);
}
