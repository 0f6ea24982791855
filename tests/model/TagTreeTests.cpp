#include "StoreFixture.h"
#include "TagTree.h"

using namespace orvalet;
using namespace orvalet::TagTree;

namespace {

// Tags from "id:name:parent" triples; parent "-" means none. Kept in the given order.
QList<TagPtr> tags(std::initializer_list<const char*> triples) {
    QList<TagPtr> list;
    for (const char* triple : triples) {
        const QStringList parts = QString::fromUtf8(triple).split(QLatin1Char(':'));
        std::optional<QString> parent;
        if (parts[2] != u"-") {
            parent = parts[2];
        }
        list.append(std::make_shared<Tag>(parts[0], parts[1], parent));
    }
    return list;
}

QStringList ids(const QList<TagPtr>& list) {
    QStringList result;
    for (const auto& tag : list) {
        result << tag->id();
    }
    return result;
}

QStringList sorted(const QSet<QString>& set) {
    QStringList list(set.cbegin(), set.cend());
    list.sort();
    return list;
}

const TagPtr& byId(const QList<TagPtr>& list, const char* id) {
    return *std::find_if(list.cbegin(), list.cend(),
                         [id](const TagPtr& t) { return t->id() == QLatin1String(id); });
}

// The paths made once for a whole list are the rule's own, tag by tag.
void expectSamePaths(const QList<TagPtr>& list) {
    const AncestorPaths paths(list);
    for (qsizetype i = 0; i < list.size(); ++i) {
        EXPECT_EQ(paths.at(i), ancestorPath(*list[i], tagsById(list))) << list[i]->id().toStdString();
    }
}

} // namespace

TEST(TagTree, unresolvedParentIsNeitherRootNorPathedButIsOffered) {
    const auto list = tags({"a:Alpha:-", "o:Orphan:gone"});
    const Tag& orphan = *byId(list, "o");
    EXPECT_FALSE(orphan.isRoot());
    EXPECT_FALSE(ancestorPath(orphan, tagsById(list)));
    EXPECT_EQ(ids(parentChoices({u"a"_qs}, list)), QStringList{"o"});
    EXPECT_EQ(childCountsByParentId(list).value(u"gone"_qs), 1);
}

TEST(TagTree, pathsNameEveryReachableAncestorHighestFirst) {
    const auto list =
        tags({"d:Deep:c", "c:Sub:b", "b:Mid:a", "a:Top:-", "x:Stray:missing", "y:Half:m", "m:Mid2:z"});
    const auto map = tagsById(list);
    EXPECT_EQ(ancestorPath(*byId(list, "d"), map), u"Top > Mid > Sub"_qs);
    EXPECT_EQ(ancestorPath(*byId(list, "b"), map), u"Top"_qs);
    EXPECT_FALSE(ancestorPath(*byId(list, "a"), map));
    EXPECT_FALSE(ancestorPath(*byId(list, "x"), map));
    expectSamePaths(list);
    // The grandparent is missing: only the parent's name shows.
    EXPECT_EQ(ancestorPath(*byId(list, "y"), map), u"Mid2"_qs);
}

TEST(TagTree, deletionOrderIsBreadthFirstGroupedByParentInListOrder) {
    // Listed ascending by name, as the main window holds them.
    const auto list = tags(
        {"g1:Apple:c2", "c2:Bravo:r", "g2:Cherry:c1", "c1:Delta:r", "g3:Echo:c2", "r:Root:-", "s:Sibling:-"});
    EXPECT_EQ(ids(descendantsInDeletionOrder(*byId(list, "r"), list)),
              (QStringList{"c2", "c1", "g1", "g3", "g2"}));
    EXPECT_TRUE(descendantsInDeletionOrder(*byId(list, "s"), list).isEmpty());
    EXPECT_EQ(sorted(descendantIds({u"c2"_qs, u"s"_qs}, list)), (QStringList{"c2", "g1", "g3", "s"}));
    EXPECT_EQ(childCount(*byId(list, "r"), childCountsByParentId(list)), 2);
    EXPECT_EQ(childCount(*byId(list, "g1"), childCountsByParentId(list)), 0);
}

TEST(TagTree, childListsBuiltOnceKeepTheTreeTheyWereBuiltFrom) {
    const auto list =
        tags({"g1:Apple:c2", "c2:Bravo:r", "g2:Cherry:c1", "c1:Delta:r", "r:Root:-", "u:Under:ghost"});
    const ChildLists children(list);
    EXPECT_EQ(ids(descendantsInDeletionOrder(*byId(list, "r"), children)),
              (QStringList{"c2", "c1", "g1", "g2"}));
    byId(list, "c1")->setParentTagId(std::nullopt); // moved away after the lists were built
    EXPECT_EQ(ids(descendantsInDeletionOrder(*byId(list, "r"), children)),
              (QStringList{"c2", "c1", "g1", "g2"}));
    EXPECT_EQ(ids(descendantsInDeletionOrder(*byId(list, "r"), list)), (QStringList{"c2", "g1"}));
    EXPECT_TRUE(descendantsInDeletionOrder(*byId(list, "u"), children).isEmpty());
    byId(list, "u")->setParentTagId(u"elsewhere"_qs); // the only holder of "ghost" lets go
    const Tag ghost(u"ghost"_qs, u"Ghost"_qs);
    EXPECT_EQ(ids(descendantsInDeletionOrder(ghost, children)), QStringList{"u"});
    const Tag stranger(u"x"_qs, u"Stranger"_qs);
    EXPECT_TRUE(descendantsInDeletionOrder(stranger, children).isEmpty());
}

TEST(TagTree, parentChoicesLeaveOutTheEditedTagsAndEverythingBelowThem) {
    const auto list = tags({"a:A:-", "b:B:a", "c:C:b", "d:D:-", "e:E:d"});
    EXPECT_EQ(ids(parentChoices({u"c"_qs}, list)), (QStringList{"a", "b", "d", "e"}));
    EXPECT_EQ(ids(parentChoices({u"a"_qs}, list)), (QStringList{"d", "e"}));
    EXPECT_EQ(ids(parentChoices({u"b"_qs, u"e"_qs}, list)), (QStringList{"a", "d"}));
}

// Links that loop only come from damaged data, but no rule may loop with them.
TEST(TagTree, cyclesEndEveryWalk) {
    const auto list = tags({"a:A:b", "b:B:a", "s:Self:s", "t:Tail:a"});
    const auto map = tagsById(list);
    EXPECT_EQ(ancestorPath(*byId(list, "t"), map), u"B > A"_qs);
    EXPECT_EQ(ancestorPath(*byId(list, "a"), map), u"A > B"_qs);
    EXPECT_EQ(ancestorPath(*byId(list, "s"), map), u"Self"_qs);
    expectSamePaths(list);
    EXPECT_EQ(ids(descendantsInDeletionOrder(*byId(list, "a"), list)), (QStringList{"b", "t"}));
    EXPECT_TRUE(descendantsInDeletionOrder(*byId(list, "s"), list).isEmpty());
    EXPECT_EQ(sorted(descendantIds({u"b"_qs}, list)), (QStringList{"a", "b", "t"}));
    EXPECT_EQ(ids(parentChoices({u"s"_qs}, list)), (QStringList{"a", "b", "t"}));
}

TEST(TagTree, longChainsAndLongCyclesStayCorrect) {
    // Past the short-chain scan the walk switches to a set; both sides of that switch must agree.
    QList<TagPtr> chain;
    for (int i = 0; i < 40; ++i) {
        chain.append(std::make_shared<Tag>(QString::number(i), u"n%1"_qs.arg(i),
                                           i == 0 ? std::nullopt : std::optional(QString::number(i - 1))));
    }
    const auto path = ancestorPath(*chain.last(), tagsById(chain));
    ASSERT_TRUE(path);
    EXPECT_EQ(path->count(u" > "_qs), 38);
    EXPECT_TRUE(path->startsWith(u"n0 > n1 > "_qs));
    expectSamePaths(chain);

    chain.first()->setParentTagId(u"39"_qs); // close the loop
    const auto loopPath = ancestorPath(*chain.last(), tagsById(chain));
    ASSERT_TRUE(loopPath);
    EXPECT_EQ(loopPath->count(u" > "_qs), 39);
    expectSamePaths(chain);
    EXPECT_EQ(descendantsInDeletionOrder(*chain.first(), chain).size(), 39);
}
