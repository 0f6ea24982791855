// The tag editor's and the creation sheet's logic: the name rules, the parent picker, the children, and
// their actions, against the stand-in's library in memory, or a stand-in that is not running.
#include "TagEditor.h"

#include "EditFixture.h"
#include "EditRules.h"
#include "StandInProcess.h"
#include "TagCreator.h"

#include <QSignalSpy>

using namespace orvalet;
using orvalet::test::names;

namespace {

using TagEditorTest = test::EditTest;

TEST(EditRules, trimsSpacesAndTabsAndComparesIgnoringCaseButNotMarks) {
    const std::pair<QString, QString> trims[] = {
        {u"\t\u00a0Home\u3000\u202f"_qs, u"Home"_qs}, // tab, no-break, ideographic, narrow no-break
        {u"\nHome\u2028"_qs, u"\nHome\u2028"_qs},     // line breaks stay
        {u"\u200bHome"_qs, u"\u200bHome"_qs},         // a zero-width space is no space separator
    };
    for (const auto& [typed, trimmed] : trims) {
        EXPECT_EQ(EditRules::trimmedName(typed), trimmed) << typed.toStdString();
    }
    const QList<TagPtr> tags{std::make_shared<Tag>(u"w"_qs, u"Work"_qs),
                             std::make_shared<Tag>(u"c"_qs, u"Caf\u00e9"_qs),
                             std::make_shared<Tag>(u"s"_qs, u" Spaced"_qs)};
    const std::tuple<QString, std::optional<QString>, bool> names[] = {
        {u"work"_qs, std::nullopt, true},    {u"WORK"_qs, u"w"_qs, false}, // a tag is no rival to itself
        {u"Cafe"_qs, std::nullopt, false},   {u"CAFE\u0301"_qs, std::nullopt, true}, // decomposed É
        {u"Spaced"_qs, std::nullopt, false}, {QString(), std::nullopt, false},
    };
    for (const auto& [name, except, taken] : names) {
        EXPECT_EQ(EditRules::isNameTaken(name, tags, except), taken) << name.toStdString();
    }
}

TEST_F(TagEditorTest, changesAreTheTypedNameAsItIsAndTheParentIdentifier) {
    add(u"w"_qs, u"Work"_qs);
    TagEditor& editor = edit(add(u"c"_qs, u"Caf\u00e9"_qs));
    const std::tuple<QString, std::optional<QString>, bool> cases[] = {
        {u"Cafe\u0301"_qs, std::nullopt, false},
        {u"caf\u00e9"_qs, std::nullopt, true},
        {u"Caf\u00e9 "_qs, std::nullopt, true},
        {u"Caf\u00e9"_qs, u"w"_qs, true},
    };
    for (const auto& [name, parent, changed] : cases) {
        editor.setNameField(name);
        editor.setSelectedParentId(parent);
        EXPECT_EQ(editor.canSave(), changed) << name.toStdString();
    }
}

// ---- Save ----

struct SaveCase {
    const char* label;
    QString edited, typed;
    bool refused;  // the duplicate-name alert, nothing sent
    QString error; // Things 3 refused it: the error row, nothing changed
};

class SaveName : public TagEditorTest, public ::testing::WithParamInterface<SaveCase> {};

TEST_P(SaveName, refusesAnotherTagsNameAndSendsTheRestAsTyped) {
    const SaveCase& c = GetParam();
    auto t = tree(u"Work, home, Errands"_qs);
    add(u"twin"_qs, u"errands"_qs); // a case twin only the store has
    TagEditor& editor = edit(t[c.edited]);
    editor.setNameField(c.typed);
    if (c.edited == u"Errands") {
        editor.setSelectedParentId(t[u"Work"_qs]->id()); // only the parent changes
    }
    QCoro::Task<> save = editor.saveChanges();
    EXPECT_EQ(editor.isSaving(), !c.refused);
    QCoro::waitFor(std::move(save));

    const bool saved = !c.refused && c.error.isEmpty();
    EXPECT_EQ(editor.showsDuplicateNameAlert(), c.refused);
    EXPECT_EQ(sent().size(), c.refused ? 0 : 1);
    EXPECT_EQ(editor.tag()->name(), saved ? c.typed : c.edited);
    EXPECT_EQ(inThings(editor.tag()->id()).section(u':', 0, 0), saved ? c.typed : c.edited);
    EXPECT_EQ(editor.errorMessage().value_or(QString()), c.error);
    EXPECT_EQ(editor.hasChanges(), !saved);
}

INSTANTIATE_TEST_SUITE_P(
    TagEditor, SaveName,
    ::testing::Values(
        SaveCase{"caseOfItsOwnName", u"Work"_qs, u"work"_qs, false, {}},
        SaveCase{"anotherTagsName", u"Work"_qs, u"Home"_qs, true, {}},
        SaveCase{"anotherTagsNameSpaced", u"Work"_qs, u" HOME\t"_qs, true, {}},
        SaveCase{"leadingSpacesKept", u"Work"_qs, u"  Office"_qs, false, {}},
        SaveCase{"parentOnlyOnACaseTwin", u"Errands"_qs, u"Errands"_qs, true, {}},
        SaveCase{"onlySpacesSentAndRefused", u"Work"_qs, u"   "_qs, false,
                 u"AppleScript error: Things3 got an error: A tag\u2019s name can\u2019t be empty."_qs}),
    [](const ::testing::TestParamInfo<SaveCase>& info) { return std::string(info.param.label); });

TEST_F(TagEditorTest, aChosenParentThatLeftTheStoreIsRefusedAnUnresolvedOneKept) {
    const TagPtr home = add(u"h"_qs, u"Home"_qs);
    const TagPtr kids = add(library.makeTag(u"Kids"_qs), u"Kids"_qs);
    const TagPtr orphan = add(library.makeTag(u"Orphan"_qs), u"Orphan"_qs, u"gone"_qs);
    edit(kids).setSelectedParentId(home->id());
    store->remove(home);
    QCoro::waitFor(editor->saveChanges());
    EXPECT_EQ(editor->errorMessage(), u"The chosen parent tag no longer exists.");
    EXPECT_TRUE(sent().isEmpty());
    EXPECT_EQ(kids->parentTagId(), std::nullopt);

    // A parent link the record already had, unresolved, is no choice: the rename goes through.
    edit(orphan).setNameField(u"Foundling"_qs);
    QCoro::waitFor(editor->saveChanges());
    EXPECT_EQ(editor->errorMessage(), std::nullopt);
    EXPECT_EQ(orphan->name(), u"Foundling");
    EXPECT_EQ(orphan->parentTagId(), u"gone");
}

// ---- Picker and children ----

TEST_F(TagEditorTest, pickerOffersNoneOnlyForARootAndNeverTheTagOrItsDescendantsAndChildRowsHaveCounts) {
    auto t = tree(u"Home>Kids>Homework=3, Home>Garden=0, Work, apple"_qs);
    t.insert(u"Orphan"_qs, add(u"o"_qs, u"Orphan"_qs, u"gone"_qs));
    const std::tuple<QString, bool, QStringList> cases[] = {
        {u"Home"_qs, true, {u"Orphan"_qs, u"Work"_qs, u"apple"_qs}},
        {u"Kids"_qs, false, {u"Garden"_qs, u"Home"_qs, u"Orphan"_qs, u"Work"_qs, u"apple"_qs}},
        {u"Orphan"_qs,
         false,
         {u"Garden"_qs, u"Home"_qs, u"Homework"_qs, u"Kids"_qs, u"Work"_qs, u"apple"_qs}},
    };
    for (const auto& [name, offersNone, choices] : cases) {
        TagEditor& editor = edit(t[name]);
        EXPECT_EQ(editor.offersNoParent(), offersNone) << name.toStdString();
        EXPECT_EQ(names(editor.parentChoices()), choices) << name.toStdString();
        for (const TagPtr& tag : std::as_const(t)) { // the closed picker's look-up agrees
            EXPECT_EQ(editor.parentChoice(tag->id()) != nullptr, choices.contains(tag->name()));
        }
    }
    // "View" beside the picker selects the parent chosen, saved or not, when it is stored.
    edit(t[u"Kids"_qs]).setSelectedParentId(t[u"Work"_qs]->id());
    editor->viewSelectedParent();
    editor->setSelectedParentId(u"gone"_qs);
    editor->viewSelectedParent();
    EXPECT_EQ(selected, QStringList{u"Work"_qs});

    // Home's children, with the counts the preferences ask for.
    TagEditor& home = edit(t[u"Home"_qs]);
    const std::tuple<bool, bool, QStringList> counts[] = {
        // Garden's texts, then Kids'
        {false, false, {QString(), QString(), QString(), QString()}},
        {true, true, {u"0 child tags"_qs, u"0 todos"_qs, u"1 child tags"_qs, QString()}}};
    for (const auto& [children, todos, texts] : counts) {
        preferences->setFlag(PreferenceKey::showChildrenCounts, children);
        preferences->setFlag(PreferenceKey::showTodoCounts, todos);
        QStringList shown;
        for (const TagEditor::ChildRow& row : home.childRows()) {
            shown << row.childCountText.value_or(QString()) << row.todoCountText.value_or(QString());
        }
        EXPECT_EQ(shown, texts);
    }
    EXPECT_EQ(names(home.childTags()), (QStringList{u"Garden"_qs, u"Kids"_qs}));
}

// ---- Update from Things ----

TEST_F(TagEditorTest, reloadOverwritesUnsavedEditsAndAMissingTagChangesNothing) {
    const QString home = library.makeTag(u"Home"_qs);
    const QString kids = library.makeTag(u"Kids"_qs, home);
    library.addTodo(u"Pack"_qs, standin::TodoState::Open, {kids});
    add(home, u"Home"_qs);
    const TagPtr gone = add(u"gone"_qs, u"Gone"_qs, std::nullopt, 4);
    const QDateTime goneUpdatedAt = *gone->updatedAt();
    TagEditor& editor = edit(add(kids, u"Kids old"_qs));
    editor.setNameField(u"Typed"_qs);

    QCoro::Task<> reload = editor.refreshFromThings();
    EXPECT_FALSE(editor.isEnabled());
    QCoro::waitFor(std::move(reload));
    EXPECT_EQ(refreshing, (QList<bool>{true, false}));
    EXPECT_EQ(storedTags(), u"Gone:-:4, Home:-:-, Kids:Home:1");
    EXPECT_EQ(editor.nameField(), u"Kids");
    EXPECT_EQ(editor.selectedParentId(), home);

    edit(gone).setNameField(u"Typed"_qs);
    QCoro::waitFor(this->editor->refreshFromThings());
    EXPECT_EQ(this->editor->errorMessage(), std::nullopt);
    EXPECT_EQ(this->editor->nameField(), u"Typed");
    EXPECT_EQ(*gone->updatedAt(), goneUpdatedAt);
    EXPECT_EQ(storedTags(), u"Gone:-:4, Home:-:-, Kids:Home:1");
}

// ---- Delete ----

// Without Things 3 a reload or a deletion changes nothing and says why. (With it, a deletion sends one
// program and the tree leaves the store: UndoDeletionTest, and the editor's window in EditViewTests.)
TEST_F(TagEditorTest, withoutThingsAReloadOrADeletionChangesNothingAndSaysWhy) {
    const QString home = tree(u"Home>Kids=2, Work"_qs)[u"Home"_qs]->id();
    StandInProcess nothingListening; // its socket, never opened
    useStandIn();
    QCoro::waitFor(edit(home).refreshFromThings());
    EXPECT_EQ(editor->errorMessage(), test::notOpenMessage);
    editor->dismissError();
    QCoro::waitFor(editor->deleteWithChildren());
    EXPECT_EQ(editor->errorMessage(), test::notOpenMessage);
    EXPECT_EQ(deletedCalls, 0);
    EXPECT_EQ(storedTags(), u"Home:-:-, Kids:Home:2, Work:-:-");
}

// ---- Another tag, a closed editor ----

TEST_F(TagEditorTest, anotherTagResetsTheFieldsAndFlowsFinishOnTheirOwnTag) {
    auto t = tree(u"Work, Home, Errands, Gone"_qs);
    const QString work = t[u"Work"_qs]->id(), home = t[u"Home"_qs]->id(), errands = t[u"Errands"_qs]->id(),
                  gone = t[u"Gone"_qs]->id();
    library.deleteTag(gone);
    TagEditor& editor = edit(store->tag(gone));
    editor.setSelectedParentId(work);
    QCoro::waitFor(editor.saveChanges());
    EXPECT_EQ(editor.errorMessage(),
              u"\u201CGone\u201D is no longer in Things 3. Import from Things to bring the list up to date.");

    // The selection moves while Home, renamed in Things 3, is reloaded: the record is updated,
    // Work's fields stay Work's.
    library.renameTag(home, u"House"_qs);
    editor.setTag(store->tag(home));
    EXPECT_EQ(editor.errorMessage(), std::nullopt);
    EXPECT_EQ(editor.selectedParentId(), std::nullopt);
    QCoro::Task<> reload = editor.refreshFromThings();
    editor.setTag(store->tag(work));
    EXPECT_TRUE(editor.isRefreshing());
    QCoro::waitFor(std::move(reload));
    EXPECT_EQ(store->tag(home)->name(), u"House");
    EXPECT_EQ(editor.nameField(), u"Work");

    // Work is deleted while Errands takes its place: Errands' selection is not cleared.
    QCoro::Task<> deletion = editor.deleteWithChildren();
    editor.setTag(store->tag(errands));
    QCoro::waitFor(std::move(deletion));
    EXPECT_EQ(store->tag(work), nullptr);
    EXPECT_EQ(deletedCalls, 0);

    // The editor is closed while a rename is under way: the rename still lands.
    editor.setNameField(u"Chores"_qs);
    QCoro::Task<> save = editor.saveChanges();
    this->editor.reset();
    QCoro::waitFor(std::move(save));
    EXPECT_EQ(inThings(errands) + u' ' + inStore(errands), u"Chores:- Chores:-");
}

// ---- Texts ----

TEST(TagEditorTexts, theUpdateLineSaysHowLongAgo) {
    const std::pair<qint64, const char*> phrases[] = {
        {-5, "0 seconds"},        {1, "1 second"},
        {300, "5 minutes"},       {7200, "2 hours"},
        {6 * 86400, "6 days"},    {30 * 86400, "4 weeks"},
        {31 * 86400, "1 month"},  {364 * 86400, "12 months"},
        {730 * 86400, "2 years"},
    };
    const QDateTime since = Clock::referenceDate();
    for (const auto& [seconds, phrase] : phrases) {
        EXPECT_EQ(TagEditor::elapsedPhrase(since, since.addSecs(seconds)), QString::fromUtf8(phrase))
            << seconds;
    }
}

// ---- The creation sheet: when "Create Tag" is enabled, the name check, the look-up that imports a
// tag Things 3 already has, the creation under a parent, failures, and a sheet closed meanwhile ----

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
    EXPECT_EQ(sent().size(), 1); // the look-up only
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
}

} // namespace
