#include "Clock.h"
#include "Preferences.h"
#include "StoreFixture.h"

#include <QProcess>
#include <QSignalSpy>

using namespace orvalet;
using orvalet::test::fileBytes;

namespace {

class PreferencesTest : public ::testing::Test {
protected:
    QString path() const { return m_dir.filePath(QStringLiteral("Orvalet.conf")); }
    std::unique_ptr<Preferences> open() {
        return std::make_unique<Preferences>(std::make_unique<QSettings>(path(), QSettings::IniFormat));
    }
    void writeIni(const QByteArray& text) {
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    QTemporaryDir m_dir;
};

struct StoredText {
    const char* name;
    QByteArray ini;
    TagSortOption sortOption;
    bool showTodoCounts;
    double lastImport;
};

[[maybe_unused]] void PrintTo(const StoredText& text, std::ostream* out) {
    *out << text.name;
}

class StoredTextReading : public PreferencesTest, public ::testing::WithParamInterface<StoredText> {};

} // namespace

TEST_F(PreferencesTest, firstStartReadsEveryDefault) {
    auto preferences = open();
    EXPECT_EQ(preferences->sortOption(), TagSortOption::alphabetical);
    for (PreferenceKey key : {PreferenceKey::showRootTagsOnly, PreferenceKey::showChildrenCounts,
                              PreferenceKey::showTodoCounts}) {
        EXPECT_FALSE(preferences->flag(key));
    }
    EXPECT_EQ(preferences->lastImportTimestamp(), 0.0);
}

// What a text file may hold under each key, and what must be read from it.
TEST_P(StoredTextReading, readsOnlyValuesOfTheKeysType) {
    writeIni("[General]\n" + GetParam().ini);
    auto preferences = open();
    EXPECT_EQ(preferences->sortOption(), GetParam().sortOption);
    EXPECT_EQ(preferences->showTodoCounts(), GetParam().showTodoCounts);
    EXPECT_DOUBLE_EQ(preferences->lastImportTimestamp(), GetParam().lastImport);
}

INSTANTIATE_TEST_SUITE_P(
    Preferences, StoredTextReading,
    ::testing::Values(
        StoredText{"exactRawValues",
                   "tagSortOption=Recently Updated\nshowTodoCounts=true\nlastImportDate=786000000.25\n",
                   TagSortOption::recentlyUpdated, true, 786000000.25},
        StoredText{"mostTodos", "tagSortOption=Highest Todo Count\nshowTodoCounts=false\n",
                   TagSortOption::mostTodos, false, 0},
        StoredText{"letterCaseDiffers", "tagSortOption=recently updated\n", TagSortOption::alphabetical,
                   false, 0},
        StoredText{"trailingSpace", "tagSortOption=\"Highest Todo Count \"\n", TagSortOption::alphabetical,
                   false, 0},
        StoredText{"caseName", "tagSortOption=mostTodos\n", TagSortOption::alphabetical, false, 0},
        StoredText{"junk", "tagSortOption=@ByteArray(\\x1)\nshowTodoCounts=banana\nlastImportDate=soon\n",
                   TagSortOption::alphabetical, false, 0},
        StoredText{"notFinite", "showTodoCounts=2\nlastImportDate=inf\n", TagSortOption::alphabetical, false,
                   0},
        StoredText{"numbersForBooleans", "showTodoCounts=1\nlastImportDate=-5\n", TagSortOption::alphabetical,
                   true, -5}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PreferencesTest, valuesWrittenHereAreReadByAFreshProcess) {
    {
        auto preferences = open();
        preferences->setSortOption(TagSortOption::mostTodos);
        preferences->setFlag(PreferenceKey::showChildrenCounts, true);
        preferences->setFlag(PreferenceKey::showTodoCounts, true);
        preferences->setLastImportDate(Clock::referenceDate().addMSecs(786000000250));
    }
    QProcess probe;
    probe.start(QStringLiteral(PREFERENCES_PROBE), {path()});
    ASSERT_TRUE(probe.waitForFinished(20000));
    EXPECT_EQ(QString::fromUtf8(probe.readAllStandardOutput()),
              QStringLiteral("Highest Todo Count\n0\n1\n1\n786000000.250\n"));
}

TEST_F(PreferencesTest, everyWriteIsAnnouncedAndResetKeepsTheImportDate) {
    auto preferences = open();
    QSignalSpy changed(preferences.get(), &Preferences::changed);
    preferences->setFlag(PreferenceKey::showRootTagsOnly, true);
    preferences->setFlag(PreferenceKey::showRootTagsOnly, true);
    preferences->setLastImportTimestamp(42);
    EXPECT_EQ(changed.count(), 3);

    preferences->setSortOption(TagSortOption::recentlyUpdated);
    preferences->resetDisplayPreferences();
    EXPECT_EQ(preferences->sortOption(), TagSortOption::alphabetical);
    EXPECT_FALSE(preferences->showRootTagsOnly());
    EXPECT_EQ(preferences->lastImportTimestamp(), 42.0);
}

TEST_F(PreferencesTest, unreadableFileIsLeftAloneAndTheSessionStillWorks) {
    const QByteArray damaged("[General\nshowTodoCounts=true\n\xff\xfe garbage");
    writeIni(damaged);
    auto preferences = open();
    ASSERT_FALSE(preferences->isPersistent());
    EXPECT_FALSE(preferences->showTodoCounts());
    QSignalSpy changed(preferences.get(), &Preferences::changed);
    preferences->setFlag(PreferenceKey::showTodoCounts, true);
    EXPECT_TRUE(preferences->showTodoCounts());
    EXPECT_EQ(changed.count(), 1);
    preferences.reset();
    EXPECT_EQ(fileBytes(path()), damaged);
}
