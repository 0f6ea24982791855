#include "Clock.h"
#include "Preferences.h"
#include "StoreFixture.h"

#include <QSignalSpy>

using namespace orvalet;
using orvalet::test::fileBytes;

namespace {

class PreferencesTest : public ::testing::Test {
protected:
    QString path() const { return m_dir.filePath(m_file); }
    std::unique_ptr<Preferences> open() {
        return std::make_unique<Preferences>(std::make_unique<QSettings>(path(), QSettings::IniFormat));
    }
    void writeIni(const QByteArray& text) {
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    QTemporaryDir m_dir;
    QString m_file = u"Orvalet.conf"_qs;
};

} // namespace

// What a text file may hold under each key, and what must be read from it: only values of the key's
// type, spelled exactly; the defaults (an empty file is a first start) for anything else.
TEST_F(PreferencesTest, storedTextGivesOnlyValuesOfTheKeysType) {
    const std::tuple<QByteArray, TagSortOption, bool, double> cases[] = {
        {"", TagSortOption::alphabetical, false, 0},
        {"tagSortOption=Recently Updated\nshowTodoCounts=true\nlastImportDate=786000000.25\n",
         TagSortOption::recentlyUpdated, true, 786000000.25},
        {"tagSortOption=Highest Todo Count\nshowTodoCounts=false\n", TagSortOption::mostTodos, false, 0},
        {"tagSortOption=recently updated\n", TagSortOption::alphabetical, false, 0},
        {"tagSortOption=\"Highest Todo Count \"\n", TagSortOption::alphabetical, false, 0},
        {"tagSortOption=mostTodos\n", TagSortOption::alphabetical, false, 0},
        {"tagSortOption=@ByteArray(\\x1)\nshowTodoCounts=banana\nlastImportDate=soon\n",
         TagSortOption::alphabetical, false, 0},
        {"showTodoCounts=2\nlastImportDate=inf\n", TagSortOption::alphabetical, false, 0},
        {"showTodoCounts=1\nlastImportDate=-5\n", TagSortOption::alphabetical, true, -5},
    };
    int file = 0;
    for (const auto& [ini, sortOption, showTodoCounts, lastImport] : cases) {
        SCOPED_TRACE(ini.toStdString());
        m_file = u"%1.conf"_qs.arg(++file); // a file of its own: no settings cached from the last one
        writeIni("[General]\n" + ini);
        auto preferences = open();
        EXPECT_EQ(preferences->sortOption(), sortOption);
        EXPECT_EQ(preferences->showTodoCounts(), showTodoCounts);
        EXPECT_DOUBLE_EQ(preferences->lastImportTimestamp(), lastImport);
        EXPECT_FALSE(preferences->showRootTagsOnly() || preferences->showChildrenCounts());
    }
}

// What is set reaches the file, in the text the cases above read back.
TEST_F(PreferencesTest, valuesWrittenHereReachTheFileAsTheTextAStartReads) {
    {
        auto preferences = open();
        preferences->setSortOption(TagSortOption::mostTodos);
        preferences->setFlag(PreferenceKey::showChildrenCounts, true);
        preferences->setFlag(PreferenceKey::showTodoCounts, true);
        preferences->setLastImportDate(Clock::referenceDate().addMSecs(786000000250));
    }
    const QByteArray text = fileBytes(path());
    for (const char* line : {"tagSortOption=Highest Todo Count\n", "showChildrenCounts=true\n",
                             "showTodoCounts=true\n", "lastImportDate=786000000.25\n"}) {
        EXPECT_TRUE(text.contains(line)) << line << " not in " << text.toStdString();
    }
    EXPECT_FALSE(text.contains("showRootTagsOnly=true"));
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

// Window places reach the file (or, while it cannot be read, the session only), announce nothing
// to the views, and stay through "Reset".
TEST_F(PreferencesTest, windowPlacesAreKeptApartFromThePreferences) {
    for (const bool damaged : {false, true}) {
        SCOPED_TRACE(damaged);
        m_file = damaged ? u"damaged.conf"_qs : u"good.conf"_qs;
        if (damaged) {
            writeIni("[General\n\xff garbage");
        }
        const QByteArray before = fileBytes(path());
        {
            auto preferences = open();
            QSignalSpy changed(preferences.get(), &Preferences::changed);
            preferences->setWindowGeometry(u"mainWindow"_qs, QRect(5, 6, 700, 500), true);
            preferences->setSidebarWidth(333);
            preferences->resetDisplayPreferences();
            EXPECT_EQ(changed.count(), 5); // the reset's own five
            EXPECT_EQ(preferences->windowGeometry(u"mainWindow"_qs), QRect(5, 6, 700, 500));
            EXPECT_TRUE(preferences->windowMaximized(u"mainWindow"_qs));
            EXPECT_EQ(preferences->sidebarWidth(), 333);
        }
        if (damaged) {
            EXPECT_EQ(fileBytes(path()), before);
        } else {
            auto again = open();
            EXPECT_EQ(again->windowGeometry(u"mainWindow"_qs), QRect(5, 6, 700, 500));
            EXPECT_EQ(again->sidebarWidth(), 333);
        }
    }
}
