// "Find Similar Tags" against the stand-in's library: the groups the store gives, the groups set
// aside and kept in the store's file, and a group merged into one member, undone and redone.
#include "SimilarTagsReview.h"

#include "EditFixture.h"

#include <QCoroTask>
#include <QSignalSpy>

using namespace orvalet;
using standin::TodoState;

namespace {

class SimilarTagsReviewTest : public test::EditTest {
protected:
    // Each group as "name(path)=to-dos/children" of its members in order, "|" between members; the
    // groups sorted, a "*" after one set aside.
    static QStringList shown(const SimilarTagsReview& review) {
        QStringList groups;
        for (const SimilarTagsReview::Group& group : review.groups()) {
            QStringList members;
            for (const SimilarTagsReview::Member& m : group.members) {
                members.append(m.tag->name() + (m.ancestorPath ? u'(' + *m.ancestorPath + u')' : QString()) +
                               u'=' + QString::number(m.tag->todosCount().value_or(0)) + u'/' +
                               QString::number(m.childCount));
            }
            groups.append(members.join(u'|') + (group.dismissed ? u"*"_qs : QString()));
        }
        groups.sort();
        return groups;
    }
    static QString keyOf(const SimilarTagsReview& review, const QString& firstName) {
        for (const SimilarTagsReview::Group& group : review.groups())
            if (group.members.first().tag->name() == firstName)
                return group.key;
        return {};
    }
    // The names of the tags of each to-do, "; " between to-dos.
    QString namesOn(const QStringList& todos) const {
        QStringList lists;
        for (const QString& todo : todos) {
            QStringList names;
            for (const auto record = library.todoRecord(todo); const QString& id : record->tagIds)
                names.append(library.tag(id)->name);
            lists.append(names.join(u','));
        }
        return lists.join(u"; ");
    }
};

TEST_F(SimilarTagsReviewTest, groupsFollowTheStoreAndStaySetAsideAcrossARestart) {
    tree(u"Errand=5, Errands=1, @errand=9, Work=2, Workout=3, Café, Cafe=1, Home>To-Read, to read, "
         u"Home>home , Errands>Shop"_qs);
    SimilarTagsReview review(*store, *preferences, *worker);
    // The fullest first: open to-dos, then child tags. "Work" and "Workout" only share a beginning.
    EXPECT_EQ(shown(review),
              (QStringList{u"@errand=9/0|Errand=5/0|Errands=1/1"_qs, u"Cafe=1/0|Café=0/0"_qs,
                           u"Home=0/2|home (Home)=0/0"_qs, u"To-Read(Home)=0/0|to read=0/0"_qs}));
    EXPECT_TRUE(sent().isEmpty()); // found from the store alone

    // Set aside, the group is hidden, for this store and the next time it is opened.
    review.dismiss(keyOf(review, u"@errand"_qs));
    EXPECT_EQ(review.groups().size(), 3);
    EXPECT_EQ(review.dismissedCount(), 1);
    store->flush();
    auto reopened = openStore();
    SimilarTagsReview again(*reopened, *preferences, *worker);
    EXPECT_EQ(again.dismissedCount(), 1);
    again.setShowsDismissed(true);
    EXPECT_TRUE(shown(again).contains(u"@errand=9/0|Errand=5/0|Errands=1/1*"_qs));

    // A member gone keeps it aside; a tag it did not have brings it back.
    QSignalSpy changed(&review, &SimilarTagsReview::changed);
    store->remove(store->tag(keyOf(again, u"@errand"_qs).section(u' ', 0, 0)));
    endTurn();
    EXPECT_GE(changed.size(), 1);
    EXPECT_EQ(review.dismissedCount(), 1);
    add(u"errandsId"_qs, u"errands."_qs);
    endTurn();
    EXPECT_EQ(review.dismissedCount(), 0);
    EXPECT_TRUE(shown(review).contains(u"Errand=5/0|Errands=1/1|errands.=0/0"_qs));

    // Shown again by hand, it is no longer kept in the file.
    review.dismiss(keyOf(review, u"Cafe"_qs));
    EXPECT_EQ(openStore()->note(SimilarTagsReview::dismissedNoteKey()).count(u'\n'), 1);
    review.setShowsDismissed(true);
    review.restore(keyOf(review, u"Cafe"_qs));
    EXPECT_EQ(review.dismissedCount(), 0);
    EXPECT_EQ(openStore()->note(SimilarTagsReview::dismissedNoteKey()).count(u'\n'), 0);
}

TEST_F(SimilarTagsReviewTest, aGroupMergedIsOneStepToUndoAndRedo) {
    auto t = tree(u"Errand=1, Errands>Shop, @errand, Mac"_qs);
    const QString errand = t[u"Errand"_qs]->id(), errands = t[u"Errands"_qs]->id();
    const QString at = t[u"@errand"_qs]->id(), mac = t[u"Mac"_qs]->id();
    const QStringList todos{
        library.addTodo(u"Milk"_qs, TodoState::Open, {errand}),
        library.addTodo(u"Bank"_qs, TodoState::Completed, {errands, mac}),
        library.addTodo(u"Keys"_qs, TodoState::Open, {at, errand}),
        library.addTodo(u"Post"_qs, TodoState::Canceled, {errands, at}),
    };
    const QString before = namesOn(todos);
    SimilarTagsReview review(*store, *preferences, *worker);
    ASSERT_EQ(review.groups().size(), 1);
    const SimilarTagsReview::Group group = review.groups().first();
    EXPECT_EQ(group.members.first().tag->id(), errand); // the most to-dos: the default choice

    QCoro::waitFor(review.prepareMerge(group.key, errand));
    ASSERT_TRUE(review.showsConfirmation()) << review.errorMessage().value_or(QString()).toStdString();
    EXPECT_EQ(review.confirmationTitle(), u"Merge 2 tags into \u201CErrand\u201D?"_qs);
    EXPECT_EQ(review.confirmationMessage(),
              u"3 to-dos will carry \u201CErrand\u201D instead (open, completed and canceled). 1 child tag "
              u"will move under \u201CErrand\u201D. \u201CErrands\u201D and \u201C@errand\u201D will then be "
              u"deleted from this app AND Things 3. You can undo this with Edit \u25B8 Undo."_qs);
    QCoro::waitFor(review.merge());
    ASSERT_FALSE(review.errorMessage()) << review.errorMessage()->toStdString();
    EXPECT_EQ(*review.report(),
              u"Merged \u201CErrands\u201D and \u201C@errand\u201D into \u201CErrand\u201D."_qs);
    const QString merged = u"Errand; Errand,Mac; Errand; Errand"_qs;
    EXPECT_EQ(namesOn(todos), merged);
    endTurn();
    EXPECT_EQ(storedTags(), u"Errand:-:2, Mac:-:-, Shop:Errand:-");
    EXPECT_TRUE(review.groups().isEmpty());

    UndoHistory& history = UndoHistory::forStore(*store);
    EXPECT_EQ(history.undoText(), u"Undo Merge 3 Tags"_qs);
    QSignalSpy reports(&history, &UndoHistory::report);
    QCoro::waitFor(history.undo(*worker, *preferences));
    EXPECT_EQ(namesOn(todos), before);
    endTurn();
    EXPECT_EQ(storedTags(), u"@errand:-:1, Errand:-:2, Errands:-:0, Mac:-:-, Shop:Errands:-");
    ASSERT_EQ(reports.size(), 1); // one report for the step
    EXPECT_TRUE(reports.first().first().toString().contains(u"Restored \u201C@errand\u201D"_qs));
    EXPECT_EQ(history.redoText(), u"Redo Merge 3 Tags"_qs);
    QCoro::waitFor(history.redo(*worker, *preferences));
    EXPECT_EQ(namesOn(todos), merged);
    QCoro::waitFor(history.undo(*worker, *preferences));
    EXPECT_EQ(namesOn(todos), before);
}

// A member renamed in Things 3 after the confirmation stops the run there: the merges before it stay
// made, and are the step to undo.
TEST_F(SimilarTagsReviewTest, aMergeThatStopsPartWayKeepsWhatItMadeUndoable) {
    auto t = tree(u"Errand=2, Errands, errand."_qs);
    const QString errand = t[u"Errand"_qs]->id();
    const QString milk = library.addTodo(u"Milk"_qs, TodoState::Open, {t[u"Errands"_qs]->id()});
    SimilarTagsReview review(*store, *preferences, *worker);
    QCoro::waitFor(review.prepareMerge(review.groups().first().key, errand));
    ASSERT_TRUE(review.showsConfirmation());
    library.renameTag(t[u"errand."_qs]->id(), u"Chores"_qs);
    QCoro::waitFor(review.merge());
    ASSERT_TRUE(review.errorMessage());
    EXPECT_TRUE(review.errorMessage()->startsWith(u"Merging stopped at \u201Cerrand.\u201D: "_qs));
    EXPECT_TRUE(review.errorMessage()->endsWith(u" Merged \u201CErrands\u201D into \u201CErrand\u201D."_qs));
    EXPECT_EQ(namesOn({milk}), u"Errand");
    UndoHistory& history = UndoHistory::forStore(*store);
    EXPECT_EQ(history.undoText(), u"Undo Merge \u201CErrands\u201D"_qs);
    QCoro::waitFor(history.undo(*worker, *preferences));
    EXPECT_EQ(namesOn({milk}), u"Errands");
}

} // namespace
