// Tags alike once their names are folded: the accidents a grown tag set collects.
#include "SimilarTags.h"

#include <gtest/gtest.h>

using namespace orvalet;

namespace {

// The groups among these names, each "a|b", groups joined by "; ".
QString groupsOf(const QStringList& names) {
    QList<TagPtr> tags;
    for (const QString& name : names) {
        tags.append(std::make_shared<Tag>(QString::number(tags.size()), name, std::nullopt));
    }
    QStringList groups;
    for (const QList<TagPtr>& group : SimilarTags::find(tags)) {
        QStringList members;
        for (const TagPtr& tag : group) {
            members.append(tag->name());
        }
        groups.append(members.join(u'|'));
    }
    return groups.join(QStringLiteral("; "));
}

TEST(SimilarTagsTest, foldsCaseSpacesAccentsSeparatorsMarkersAndPlurals) {
    EXPECT_EQ(groupsOf({u"Errand"_qs, u"Errands"_qs}), u"Errand|Errands"_qs);
    EXPECT_EQ(groupsOf({u"home"_qs, u"Home "_qs, u"  HOME"_qs}), u"home|Home |  HOME"_qs);
    EXPECT_EQ(groupsOf({u"@work"_qs, u"Work"_qs, u"#work"_qs}), u"@work|Work|#work"_qs);
    EXPECT_EQ(groupsOf({u"Caf\u00E9"_qs, u"Cafe"_qs, u"Cafe\u0301"_qs}), u"Caf\u00E9|Cafe|Cafe\u0301"_qs);
    EXPECT_EQ(groupsOf({u"to read"_qs, u"To-Read"_qs, u"to_read"_qs, u"to.read"_qs, u"to/read"_qs,
                        u"to   read"_qs}),
              u"to read|To-Read|to_read|to.read|to/read|to   read"_qs);
    EXPECT_EQ(groupsOf({u"Box"_qs, u"Boxes"_qs, u"Task"_qs, u"Tasks"_qs}), u"Box|Boxes; Task|Tasks"_qs);
}

TEST(SimilarTagsTest, namesThatOnlyShareABeginningOrALetterAreNotAlike) {
    EXPECT_EQ(groupsOf({u"Work"_qs, u"Workout"_qs, u"Works out"_qs}), QString());
    EXPECT_EQ(groupsOf({u"S"_qs, u"Es"_qs, u"E"_qs, u"@"_qs, u"#"_qs, u"-"_qs}), QString());
    EXPECT_EQ(groupsOf({u"Home"_qs, u"Homework"_qs, u"Hom"_qs}), QString());
    EXPECT_EQ(groupsOf({}), QString());
}

} // namespace
