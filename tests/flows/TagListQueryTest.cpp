// The sidebar list: which tags it shows in which order, the texts of its rows, the status area.
#include "TagListQuery.h"

#include "StoreFixture.h"
#include "TagOutline.h"
#include "TestPrinters.h"

#include <QCoreApplication>
#include <QLocale>

using namespace orvalet;
using orvalet::test::names;

namespace {

struct Stored {
    const char* id;
    const char* name;
    const char* parent;           // nullptr: a root tag
    std::optional<int> updatedAt; // seconds after the reference date
    std::optional<qint64> todos;
};

// Stored in this order; the store lists them by name: Big Garden, Café, HOMEWORK, Home, Orphan,
// Tasks, Work, Zeta, garden (upper case before lower case).
const Stored library[] = {
    {"w", "Work", nullptr, 30, 3},         {"t", "Tasks", "w", 20, 3},
    {"h", "Home", nullptr, 10, 0},         {"hw", "HOMEWORK", "h", 30, std::nullopt},
    {"g", "garden", "h", std::nullopt, 5}, {"wor1", "Zeta", nullptr, std::nullopt, std::nullopt},
    {"o", "Orphan", "gone", 20, 1},        {"b", "Big Garden", nullptr, 40, 0},
    {"c", "Caf\u00e9", nullptr, 5, 2},
};

class TagListQueryTest : public test::StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        store = openStore();
        ASSERT_TRUE(store);
        const QDateTime at = Clock::referenceDate();
        for (const Stored& s : library) {
            store
                ->insert(Tag(QString::fromUtf8(s.id), QString::fromUtf8(s.name),
                             s.parent ? std::optional(QString::fromUtf8(s.parent)) : std::nullopt, at, at,
                             s.todos))
                ->setUpdatedAt(s.updatedAt ? std::optional(at.addSecs(*s.updatedAt)) : std::nullopt);
        }
        query.emplace(*store);
    }
    void TearDown() override {
        QLocale::setDefault(QLocale::c());
        StoreTest::TearDown();
    }

    const Tag& byId(const char* id) const { return *store->tag(QString::fromUtf8(id)); }
    // The query is brought up to date at each store change from the list of what the turn changed.
    void followStoreChanges() {
        QObject::connect(store.get(), &TagStore::changed, [this] {
            ASSERT_TRUE(store->changedIds());
            query->storeChanged(*store->changedIds());
        });
    }

    std::unique_ptr<TagStore> store;
    std::optional<TagListQuery> query;
};

using enum TagSortOption;

// The names the list shows for a sort, the root-only switch and a search, in that order of application.
TEST_F(TagListQueryTest, visibleTagsFollowSortThenRootOnlyThenSearch) {
    // Every tag: by name, upper case first; latest first, ties by name, none last; most to-dos first,
    // none among the zeros.
    const std::pair<TagSortOption, QString> orders[] = {
        {alphabetical, u"Big Garden, Caf\u00e9, HOMEWORK, Home, Orphan, Tasks, Work, Zeta, garden"_qs},
        {recentlyUpdated, u"Big Garden, HOMEWORK, Work, Orphan, Tasks, Home, Caf\u00e9, Zeta, garden"_qs},
        {mostTodos, u"garden, Tasks, Work, Caf\u00e9, Orphan, Big Garden, HOMEWORK, Home, Zeta"_qs},
    };
    for (const auto& [sort, expected] : orders) {
        EXPECT_EQ(names(query->visibleTags(sort, false, {})).join(u", "), expected);
    }
    // The rows of the selected identifiers that have a tag, in the second order.
    EXPECT_EQ(query->rowsOf(query->visibleTags(recentlyUpdated, false, {}),
                            {u"g"_qs, u"missing"_qs, u"b"_qs, u"o"_qs}),
              (QList<qsizetype>{0, 3, 8}));
    const std::tuple<const char*, TagSortOption, bool, QString, QString> cases[] = {
        {"root only, no orphans", alphabetical, true, {}, u"Big Garden, Caf\u00e9, Home, Work, Zeta"_qs},
        {"root only, sorted", recentlyUpdated, true, {}, u"Big Garden, Work, Home, Caf\u00e9, Zeta"_qs},
        {"search ignores case, not path or id", alphabetical, false, u"wor"_qs, u"HOMEWORK, Work"_qs},
        {"search keeps the sorted order", mostTodos, false, u"O"_qs, u"Work, Orphan, HOMEWORK, Home"_qs},
        {"root only and search", alphabetical, true, u"wor"_qs, u"Work"_qs},
        {"search never spans two names", alphabetical, false, u"nc"_qs, {}},
        {"search finds every matching name", recentlyUpdated, false, u"ta"_qs, u"Tasks, Zeta"_qs},
        {"search of one space", alphabetical, false, u" "_qs, u"Big Garden"_qs},
        {"search of two spaces finds none", alphabetical, false, u"  "_qs, {}},
        {"search is not trimmed", alphabetical, false, u" GARDEN"_qs, u"Big Garden"_qs},
        {"search keeps diacritics", alphabetical, false, u"cafe"_qs, {}},
        {"search folds accented capitals", alphabetical, false, u"CAF\u00c9"_qs, u"Caf\u00e9"_qs},
    };
    for (const auto& [what, sort, rootOnly, search, expected] : cases) {
        SCOPED_TRACE(what);
        EXPECT_EQ(names(query->visibleTags(sort, rootOnly, search)).join(u", "), expected);
    }
}

TEST_F(TagListQueryTest, storeChangeReplacesKeptOrdersAndNamesAndSearchFollowsTheLocale) {
    // Build the kept orders and lower-cased names, then change the store under them, turn by turn,
    // bringing the query up to date from the store's list of what each turn changed.
    ASSERT_EQ(names(query->visibleTags(recentlyUpdated, false, u"zeta"_qs)), QStringList{"Zeta"});
    ASSERT_EQ(names(query->visibleTags(mostTodos, false, {})).first(), u"garden");
    const TagListOptions counts{alphabetical, false, true};
    ASSERT_EQ(query->rowTexts(byId("h"), counts).childCountText, u"2 child tags");
    ASSERT_EQ(query->childCount(byId("w")), 1);
    followStoreChanges();
    const auto sameAsMadeAfresh = [this] {
        const TagListQuery fresh(*store);
        for (const TagSortOption sort : {alphabetical, recentlyUpdated, mostTodos}) {
            for (const QString& search : {QString(), u"a"_qs}) {
                EXPECT_EQ(names(query->visibleTags(sort, false, search)),
                          names(fresh.visibleTags(sort, false, search)));
            }
        }
        for (const TagPtr& tag : store->allTags()) {
            EXPECT_EQ(query->childCount(*tag), fresh.childCount(*tag)) << tag->name().toStdString();
            EXPECT_EQ(query->hasAncestorPathAt(query->positionOf(tag->id())), fresh.hasAncestorPath(*tag));
        }
    };
    store->tag(u"wor1"_qs)->setUpdatedAt(Clock::referenceDate().addSecs(99));
    store->tag(u"wor1"_qs)->setName(u"Alpha"_qs);
    store->tag(u"h"_qs)->setTodosCount(9);
    store->tag(u"t"_qs)->setParentTagId(u"h"_qs); // Tasks moves from Work to Home
    QCoreApplication::processEvents();
    sameAsMadeAfresh();
    store->remove(store->tag(u"g"_qs));
    store->insert(Tag(u"n"_qs, u"New"_qs, u"b"_qs, Clock::referenceDate(), Clock::referenceDate()));
    QCoreApplication::processEvents();
    sameAsMadeAfresh();

    EXPECT_TRUE(query->visibleTags(recentlyUpdated, false, u"zeta"_qs).isEmpty());
    EXPECT_EQ(names(query->visibleTags(recentlyUpdated, false, u"ALPHA"_qs)), QStringList{"Alpha"});
    EXPECT_EQ(names(query->visibleTags(recentlyUpdated, false, {})).first(), u"Alpha");
    EXPECT_EQ(names(query->visibleTags(mostTodos, false, {})).first(), u"Home");
    EXPECT_EQ(query->rowTexts(byId("h"), counts).childCountText, u"2 child tags"); // HOMEWORK, Tasks
    EXPECT_EQ(query->childCount(byId("w")), 0);
    EXPECT_EQ(query->rowTexts(byId("b"), counts).childCountText, u"1 child tags");

    // Orphan's parent comes; a search lowers under the user's locale: in Turkish, I lowers to the
    // dotless \u0131.
    store->insert(Tag(u"gone"_qs, u"Found"_qs));
    store->insert(Tag(u"k"_qs, u"KIRMIZI"_qs));
    QCoreApplication::processEvents();
    sameAsMadeAfresh();
    QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey));
    EXPECT_EQ(names(query->visibleTags(alphabetical, false, u"k\u0131rm\u0131z\u0131"_qs)),
              QStringList{"KIRMIZI"});
    EXPECT_TRUE(query->visibleTags(alphabetical, false, u"kirmizi"_qs).isEmpty());
}

TEST_F(TagListQueryTest, rowTextsShowWhatTheOptionsAsk) {
    const TagListOptions all{alphabetical, true, true, true};
    // Root-only hides Home's two children; they are still counted.
    // A count never reported reads 0; one child is still "child tags"; an unstored parent is no path.
    const std::tuple<const char*, TagListOptions, QString> cases[] = {
        {"h", all, u"Home|2 child tags|0 todos|-|Home, 2 child tags, 0 todos"_qs},
        {"hw", all, u"HOMEWORK|0 child tags|0 todos|Home|HOMEWORK, 0 child tags, 0 todos, Home"_qs},
        {"w", all, u"Work|1 child tags|3 todos|-|Work, 1 child tags, 3 todos"_qs},
        {"t", {}, u"Tasks|-|-|Work|Tasks, Work"_qs},
        {"o", {}, u"Orphan|-|-|-|Orphan"_qs},
    };
    for (const auto& [id, options, texts] : cases) {
        const TagRowTexts row = query->rowTexts(byId(id), options);
        EXPECT_EQ(
            (QStringList{row.name, row.childCountText.value_or(u"-"_qs), row.todoCountText.value_or(u"-"_qs),
                         row.ancestorPath.value_or(u"-"_qs), row.accessibleText})
                .join(u'|'),
            texts)
            << id;
    }
}

// The status area names each preference away from its default, in a fixed order.
TEST(TagListStatus, linesNameEachPreferenceAwayFromItsDefault) {
    const std::pair<TagListOptions, QStringList> cases[] = {
        {{}, {}},
        {{alphabetical, false, false, true}, {"Showing todo counts"}},
        {{recentlyUpdated, false, false, false}, {"Sorted by: Recently Updated"}},
        {{mostTodos, true, true, true},
         {"Sorted by: Highest Todo Count", "Showing only root tags", "Showing children counts",
          "Showing todo counts"}},
    };
    for (const auto& [options, lines] : cases) {
        EXPECT_EQ(TagListQuery::statusLines(options), lines);
    }
}

} // namespace

// ---- The outline ----

namespace {

// The outline drawn as text: one line per shown node, indented two spaces per level; a flagged root
// ends in " !", a context row is in brackets, and "=N" is the subtree's to-do count.
QStringList drawn(const TagOutline& outline) {
    QStringList lines;
    std::function<void(int, int)> draw = [&](int node, int depth) {
        QString line = QString(depth * 2, u' ');
        line += outline.isContext(node) ? u'[' + outline.tag(node)->name() + u']' : outline.tag(node)->name();
        line += u'=' + QString::number(outline.subtreeTodos(node));
        if (outline.hasMissingParent(node)) {
            line += u" !"_qs;
        }
        lines.append(line);
        for (int row = 0; row < outline.childCount(node); ++row) {
            EXPECT_EQ(outline.parent(outline.child(node, row)), node);
            EXPECT_EQ(outline.row(outline.child(node, row)), row);
            draw(outline.child(node, row), depth + 1);
        }
    };
    for (int row = 0; row < outline.rootCount(); ++row) {
        draw(outline.root(row), 0);
    }
    return lines;
}

} // namespace

TEST_F(TagListQueryTest, outlineGroupsChildrenUnderParentsInEachSortOrder) {
    TagOutline outline(*query);
    outline.rebuild(alphabetical, {});
    EXPECT_EQ(drawn(outline), (QStringList{"Big Garden=0", "Caf\u00e9=2", "Home=5", "  HOMEWORK=0",
                                           "  garden=5", "Orphan=1 !", "Work=6", "  Tasks=3", "Zeta=0"}));
    outline.rebuild(recentlyUpdated, {});
    EXPECT_EQ(drawn(outline), (QStringList{"Big Garden=0", "Work=6", "  Tasks=3", "Orphan=1 !", "Home=5",
                                           "  HOMEWORK=0", "  garden=5", "Caf\u00e9=2", "Zeta=0"}));
    outline.rebuild(mostTodos, {});
    EXPECT_EQ(drawn(outline), (QStringList{"Work=6", "  Tasks=3", "Caf\u00e9=2", "Orphan=1 !", "Big Garden=0",
                                           "Home=5", "  garden=5", "  HOMEWORK=0", "Zeta=0"}));
}

TEST_F(TagListQueryTest, outlineSearchKeepsTheAncestorsOfEachMatchAsContext) {
    TagOutline outline(*query);
    outline.rebuild(alphabetical, u"gar"_qs);
    EXPECT_EQ(drawn(outline), (QStringList{"Big Garden=0", "[Home]=5", "  garden=5"}));
    EXPECT_EQ(outline.nodeOf(u"w"), -1);
    outline.rebuild(alphabetical, u"o"_qs); // Home matches itself and is no context row
    EXPECT_EQ(drawn(outline), (QStringList{"Home=5", "  HOMEWORK=0", "Orphan=1 !", "Work=6"}));
}

TEST_F(TagListQueryTest, outlineShowsEveryTagOfAParentLoopOnceAsAFlaggedRoot) {
    // a -> b -> c -> a, with d below b; e below itself.
    for (const auto& [id, parent] : {std::pair{"a", "c"}, {"b", "a"}, {"c", "b"}, {"d", "b"}, {"e", "e"}}) {
        store->insert(Tag(QString::fromUtf8(id), u"loop "_qs + QString::fromUtf8(id),
                          QString::fromUtf8(parent), std::nullopt, std::nullopt, 1));
    }
    endTurn();
    query->storeChanged();
    TagOutline outline(*query);
    outline.rebuild(alphabetical, u"loop"_qs);
    EXPECT_EQ(drawn(outline),
              (QStringList{"loop a=1 !", "loop b=2 !", "  loop d=1", "loop c=1 !", "loop e=1 !"}));
}

// A turn that changes more tags than the query moves one by one (an import, a batch move) makes every
// count again: the child counts the rows show follow a hundred tags moved from one parent to another.
TEST_F(TagListQueryTest, childCountsFollowAChangeOfManyTagsAtOnce) {
    followStoreChanges();
    QList<TagPtr> moved;
    for (int i = 0; i < 100; ++i) {
        moved.append(
            store->insert(Tag(u"sub%1"_qs.arg(i), u"Sub %1"_qs.arg(i, 3, 10, QChar(u'0')), u"h"_qs)));
    }
    endTurn();
    const TagListOptions counts{alphabetical, false, true};
    ASSERT_EQ(query->rowTexts(byId("h"), counts).childCountText, u"102 child tags"_qs);
    ASSERT_EQ(query->childCount(byId("w")), 1);

    for (const TagPtr& tag : std::as_const(moved)) {
        tag->setParentTagId(u"w"_qs);
    }
    endTurn();
    EXPECT_EQ(query->rowTexts(byId("h"), counts).childCountText, u"2 child tags"_qs);
    EXPECT_EQ(query->rowTexts(byId("w"), counts).childCountText, u"101 child tags"_qs);
    const TagListQuery fresh(*store);
    for (const TagPtr& tag : store->allTags()) {
        EXPECT_EQ(query->childCount(*tag), fresh.childCount(*tag)) << tag->name().toStdString();
    }
}
