// Changes whose answer was lost while Things 3 went away: each flow says it cannot tell what
// happened, the tags wait marked with their undo step, and once Things 3 answers again the step keeps
// what it made and the store follows it.
#include "EditFixture.h"
#include "TagListActions.h"
#include "UndoHistory.h"

#include <QSignalSpy>

using namespace orvalet;

namespace {

class PendingChangesTest : public test::EditTest {
public:
    // The next program holding `marker` runs in Things 3 when `applied`, then its answer is lost and
    // Things 3 stays away until `away` is cleared.
    void loseAnswerOf(const QString& marker, bool applied) {
        away = false;
        hookPrograms([this, marker, applied,
                      lost = false](const QString& program,
                                    const ScriptEngine& things) mutable -> std::optional<ScriptOutcome> {
            if (away)
                return ScriptOutcome{std::nullopt,
                                     ScriptError{u"Things3 isn\u2019t running."_qs, {}, -600, {}}};
            if (lost || !program.contains(marker))
                return things.run(program);
            lost = away = true;
            if (applied)
                things.run(program);
            return test::connectionLost();
        });
    }
    // Things 3 answers again, and is asked: what the history then says.
    QString settle() {
        away = false;
        QSignalSpy said(&history(), &UndoHistory::settled);
        QCoro::waitFor(history().settlePending(*worker));
        return said.isEmpty() ? QString() : said.first().first().toString();
    }

    bool away = false;
    QString home;
};

// Each flow, once with Things 3 having made the change before the answer was lost and once without.
TEST_F(PendingChangesTest, aLostAnswerWaitsMarkedAndSettlesByWhatThingsHolds) {
    struct Case {
        const char* name;
        QString marker;      // in the program whose answer is lost
        QString unconfirmed; // what the flow says, up to the reason
        // Runs the flow on `tag` (and `other`) and gives what it said.
        std::function<QString(PendingChangesTest&, const TagPtr&, const TagPtr&)> run;
        QString made; // the settled message's sentence when Things 3 made it
    };
    const QList<Case> cases{
        {"editor deletion", u"delete tag"_qs, u"\u201CBills\u201D was deleted"_qs,
         [](PendingChangesTest& t, const TagPtr& tag, const TagPtr&) {
             QCoro::waitFor(t.edit(tag).deleteWithChildren());
             return t.editor->errorMessage().value_or(QString());
         },
         u"\u201CBills\u201D was deleted."_qs},
        {"list deletion of two", u"delete tag"_qs, u"\u201CBills\u201D was deleted"_qs,
         [](PendingChangesTest& t, const TagPtr& tag, const TagPtr& other) {
             TagListActions actions(*t.store, *t.preferences, *t.worker);
             actions.requestDelete({tag, other});
             QCoro::waitFor(actions.confirmDelete());
             return actions.bannerMessage().value_or(QString());
         },
         u"\u201CBills\u201D was deleted."_qs},
        {"editor rename", u"set name of"_qs, u"\u201CBills\u201D was renamed"_qs,
         [](PendingChangesTest& t, const TagPtr& tag, const TagPtr&) {
             return t.save(tag->id(), u"Bills Due"_qs).errorMessage().value_or(QString());
         },
         u"\u201CBills\u201D was renamed."_qs},
        {"batch move", u"set parent tag of"_qs, u"\u201CBills\u201D and 1 other tag were moved"_qs,
         [](PendingChangesTest& t, const TagPtr& tag, const TagPtr& other) {
             const auto result = t.move({tag->id(), other->id()}, t.store->tag(t.home)->id());
             return result ? result->error() : QString();
         },
         u"\u201CBills\u201D was moved."_qs},
        {"editor shortcut", u"keyboard shortcut"_qs, u"the shortcut of \u201CBills\u201D was changed"_qs,
         [](PendingChangesTest& t, const TagPtr& tag, const TagPtr&) {
             t.edit(tag).setShortcutField(u"b"_qs);
             QCoro::waitFor(t.editor->saveChanges());
             return t.editor->errorMessage().value_or(QString());
         },
         u"The shortcut of \u201CBills\u201D was changed."_qs},
    };
    for (const Case& c : cases) {
        for (const bool applied : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (applied ? ", made" : ", not made"));
            for (const TagPtr& tag : store->allTags())
                store->remove(tag);
            for (const QString& id : library.tagIds())
                library.deleteTag(id);
            home = both(u"Home"_qs)->id();
            const TagPtr bills = both(u"Bills"_qs);
            const TagPtr rent = both(u"Rent"_qs);
            const auto both = [this] {
                return inThings(library.tagIdByName(u"Bills"_qs).value_or(QString())) + u' ' +
                       inThings(library.tagIdByName(u"Rent"_qs).value_or(QString()));
            };
            const QString before = both();
            const QString undoBefore = history().undoText();

            loseAnswerOf(c.marker, applied);
            const QString said = c.run(*this, bills, rent);
            EXPECT_EQ(said, u"Orvalet could not confirm whether "_qs + c.unconfirmed +
                                u": Things 3 quit before it answered."_qs);
            EXPECT_TRUE(history().pendingIds().contains(bills->id()));
            EXPECT_NE(store->tag(bills->id()), nullptr); // not known to be gone
            EXPECT_TRUE(history().canUndo());

            // While Things 3 is away, asking learns nothing and changes nothing.
            away = true;
            QCoro::waitFor(history().settlePending(*worker));
            EXPECT_TRUE(history().pendingIds().contains(bills->id()));

            EXPECT_TRUE(
                settle().contains(applied ? c.made : QString(c.made).replace(u" was "_qs, u" was not "_qs)));
            EXPECT_TRUE(history().pendingIds().isEmpty());
            EXPECT_EQ(inStore(bills->id()), inThings(bills->id()));
            EXPECT_EQ(store->tag(bills->id()) ? store->tag(bills->id())->shortcutKey() : QString(),
                      library.tag(bills->id()) ? library.tag(bills->id())->shortcut : QString());
            if (!applied) {
                EXPECT_EQ(history().undoText(), undoBefore); // nothing made, nothing to undo
                continue;
            }
            EXPECT_NE(history().undoText(), undoBefore);
            undo();
            EXPECT_EQ(both(), before);
        }
    }
}

} // namespace
