// The creation sheet's logic: when "Create Tag" is enabled, the name check, the look-up that imports
// a tag Things 3 already has, the creation under a parent, failures, and a sheet closed meanwhile.
#include "TagCreator.h"

#include "EditFixture.h"
#include "StandInProcess.h"

#include <QSignalSpy>

using namespace orvalet;

namespace {

class TagCreatorTest : public test::EditTest {
protected:
    TagCreator& sheet(TagPtr presetParent = nullptr) {
        closes.reset();
        creator = std::make_unique<TagCreator>(*store, *preferences, *worker, std::move(presetParent));
        closes = std::make_unique<QSignalSpy>(creator.get(), &TagCreator::closeRequested);
        return *creator;
    }

    std::unique_ptr<TagCreator> creator;
    std::unique_ptr<QSignalSpy> closes;
};

TEST_F(TagCreatorTest, createIsEnabledForANameBeyondSpacesAndTabs) {
    const std::pair<QString, bool> cases[] = {
        {QString(), false}, {u"\t\u00a0\u3000 "_qs, false}, {u" a "_qs, true}, {u"\n"_qs, true}};
    for (const auto& [name, enabled] : cases) {
        sheet().setName(name);
        EXPECT_EQ(creator->canCreate(), enabled) << name.toStdString();
    }
}

TEST_F(TagCreatorTest, createsUnderTheChosenParentWithTheTrimmedName) {
    library.makeTag(u"Home "_qs);
    const QString home = library.makeTag(u"Home"_qs);
    storeLibrary();
    TagCreator& creator = sheet(store->tag(home));
    EXPECT_EQ(creator.selectedParentId(), home);
    creator.setName(u"  Garden\t"_qs);
    QCoro::Task<> creation = creator.submitNewTag();
    EXPECT_FALSE(creator.canCreate()); // while creating
    QCoro::waitFor(std::move(creation));

    EXPECT_EQ(closes->size(), 1);
    EXPECT_EQ(sent(),
              (QStringList{ThingsService::fetchTagByNameScript(u"Garden"_qs),
                           ThingsService::createTagScript(u"Garden"_qs, {{home, u"Home"_qs}}, true)}));
    const QString id = library.tagIdByName(u"Garden"_qs).value_or(QString());
    EXPECT_EQ(inThings(id) + u' ' + inStore(id), u"Garden:Home Garden:Home");
    EXPECT_EQ(storedTags(), u"Garden:Home:-, Home :-:-, Home:-:-");
}

TEST_F(TagCreatorTest, aTagThingsAlreadyHasIsImportedAsReported) {
    const QString home = library.makeTag(u"Home"_qs);
    const QString errands = library.makeTag(u"Errands"_qs, home);
    library.addTodo(u"Post"_qs, standin::TodoState::Open, {errands});
    add(home, u"Home"_qs);
    const TagPtr work = add(u"w"_qs, u"Work"_qs);
    TagCreator& creator = sheet(work); // the chosen parent is not applied to an imported tag
    creator.setName(u"errands"_qs);
    QCoro::waitFor(creator.submitNewTag());
    EXPECT_EQ(sent().size(), 1);
    EXPECT_EQ(library.tagCount(), 2);
    EXPECT_EQ(storedTags(), u"Errands:Home:1, Home:-:-, Work:-:-");
    EXPECT_TRUE(creator.showsImportedExistingAlert());
    EXPECT_EQ(closes->size(), 0); // open until the alert closes
    creator.dismissImportedExistingAlert();
    EXPECT_EQ(closes->size(), 1);
}

// A stored name or a parent that left the store sends nothing; a failed look-up or creation keeps
// the sheet open with the error.
TEST_F(TagCreatorTest, refusalsAndFailuresKeepTheSheetOpenWithTheError) {
    add(u"w"_qs, u"Work"_qs);
    const TagPtr home = add(u"h"_qs, u"Home"_qs);
    TagCreator& creator = sheet(home);
    creator.setName(u" work "_qs);
    QCoro::waitFor(creator.submitNewTag());
    EXPECT_TRUE(creator.showsDuplicateNameAlert());
    creator.setName(u"Garden"_qs);
    store->remove(home);
    QCoro::waitFor(creator.submitNewTag());
    EXPECT_EQ(creator.errorMessage(), u"The chosen parent tag no longer exists.");
    EXPECT_TRUE(sent().isEmpty());

    // Things 3 cannot find the parent that only the store still has, and makes nothing.
    TagCreator& ghost = sheet(add(u"ghost"_qs, u"Ghost"_qs));
    ghost.setName(u"Garden"_qs);
    QCoro::waitFor(ghost.submitNewTag());
    EXPECT_EQ(
        ghost.errorMessage(),
        u"\u201CGhost\u201D is no longer in Things 3. Import from Things to bring the list up to date.");
    EXPECT_EQ(library.tagIdByName(u"Garden"_qs), std::nullopt);
    EXPECT_TRUE(ghost.canCreate());

    StandInProcess nothingListening; // its socket, never opened
    useStandIn();
    TagCreator& offline = sheet();
    offline.setName(u"Garden"_qs);
    QCoro::waitFor(offline.submitNewTag());
    EXPECT_EQ(offline.errorMessage(), test::notOpenMessage);
    EXPECT_EQ(offline.name(), u"Garden");
    EXPECT_EQ(closes->size(), 0);
    EXPECT_EQ(storedTags(), u"Ghost:-:-, Work:-:-");
}

TEST_F(TagCreatorTest, cancelClosesAtOnceAndTheCreationStillLands) {
    sheet().setName(u"Garden"_qs);
    QCoro::Task<> creation = creator->submitNewTag();
    creator->cancel();
    EXPECT_EQ(closes->size(), 1);
    closes.reset();
    creator.reset(); // the sheet is gone while Things 3 answers
    QCoro::waitFor(std::move(creation));
    EXPECT_EQ(storedTags(), u"Garden:-:-");
    EXPECT_TRUE(library.tagIdByName(u"Garden"_qs));
}

} // namespace
