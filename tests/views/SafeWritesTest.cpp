// Changes checked against Things 3 before they are sent: a name that stands for another tag there
// now refuses the change; the stored tag's own name lets it through after one look-up.
#include "BatchEditor.h"
#include "EditFixture.h"
#include "TagEditor.h"
#include "TagListActions.h"

#include <QCoroTask>

using namespace orvalet;

namespace {

class SafeWritesTest : public test::EditTest {
protected:
    // In Things 3 "Work" was renamed "Job" and "Home" renamed "Work" since the last import; the store
    // still has Work (w) and Home (h) as they were, and Kids under Home.
    void SetUp() override {
        EditTest::SetUp();
        preferences->setFlag(PreferenceKey::checkTagsBeforeChanging, true);
        work = library.makeTag(u"Work"_qs);
        home = library.makeTag(u"Home"_qs);
        kids = library.makeTag(u"Kids"_qs, home);
        storeLibrary();
        library.renameTag(work, u"Job"_qs);
        library.renameTag(home, u"Work"_qs);
        endTurn();
    }

    TagEditor& edit(const QString& id) {
        editor = std::make_unique<TagEditor>(
            *store, *preferences, *worker, store->tag(id), [] {}, [](TagPtr) {}, [](bool) {});
        return *editor;
    }
    QStringList libraryNames() const {
        QStringList names;
        for (const QString& id : library.tagIds()) {
            names.append(library.tag(id)->name);
        }
        names.sort();
        return names;
    }

    QString work, home, kids;
    std::unique_ptr<TagEditor> editor;
    static inline const QString refusal =
        u"\u201CWork\u201D changed in Things 3 since the last import. Import again, then try once more."_qs;
};

TEST_F(SafeWritesTest, aNameThatNowStandsForAnotherTagIsRefusedInEveryFlow) {
    const QStringList stored = storedTags();
    const QStringList inThings = libraryNames();
    const QStringList lookUp{ThingsService::fetchTagByNameScript(u"Work"_qs)};

    // The editor's deletion and save: one look-up each, the error shown, nothing else sent.
    TagEditor& editor = edit(work);
    QCoro::waitFor(editor.deleteWithChildren());
    EXPECT_EQ(editor.errorMessage(), refusal);
    editor.setNameField(u"Office"_qs);
    QCoro::waitFor(editor.saveChanges());
    EXPECT_EQ(editor.errorMessage(), refusal);

    // The batch editor's move, and the list's deletion with its banner.
    BatchEditor batch(
        *store, *preferences, *worker, {store->tag(work)}, [] {}, [](bool, int) {});
    batch.setSelectedParentId(home);
    QCoro::waitFor(batch.saveChanges());
    ASSERT_TRUE(batch.resultState());
    EXPECT_FALSE(batch.resultState()->isSuccess());
    EXPECT_EQ(batch.resultState()->error(), refusal);
    TagListActions actions(*store, *preferences, *worker);
    actions.requestDelete({store->tag(work)});
    QCoro::waitFor(actions.confirmDelete());
    EXPECT_EQ(actions.bannerMessage(), refusal);
    actions.dismissBanner();
    EXPECT_FALSE(actions.bannerMessage());

    EXPECT_EQ(sent(), lookUp + lookUp + lookUp + lookUp);
    EXPECT_EQ(storedTags(), stored);
    EXPECT_EQ(libraryNames(), inThings);
}

TEST_F(SafeWritesTest, theStoredTagsOwnNameGoesAheadAfterOneLookUpAndTheSwitchRestoresTheDesign) {
    // Kids is still Kids, and still the stored Kids.
    TagEditor& editor = edit(kids);
    editor.setNameField(u"Children"_qs);
    QCoro::waitFor(editor.saveChanges());
    EXPECT_FALSE(editor.errorMessage());
    EXPECT_EQ(sent(), (QStringList{ThingsService::fetchTagByNameScript(u"Kids"_qs),
                                   *ThingsService::updateTagScript(u"Kids"_qs, u"Children"_qs, u"Home"_qs,
                                                                   u"Home"_qs)}));
    EXPECT_EQ(store->tag(kids)->name(), u"Children");

    // Switched off: the delete program alone, which here deletes the wrong tag in Things 3.
    preferences->setFlag(PreferenceKey::checkTagsBeforeChanging, false);
    QCoro::waitFor(edit(work).deleteWithChildren());
    EXPECT_EQ(sent().last(), ThingsService::deleteTagScript(u"Work"_qs));
    EXPECT_EQ(sent().size(), 3);
    EXPECT_EQ(libraryNames(), QStringList{u"Job"_qs});
}

} // namespace
