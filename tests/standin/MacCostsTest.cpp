// What programs cost a Mac as the stand-in meters it: Apple events, texts and lists copied, program
// characters. Counts are exact, so a program that sends an event per item where one event would do
// shows here as plainly as in a benchmark.
#include "StandInTestSupport.h"

using standin::ThingsLibrary;
using standin::TodoState;
using standin::applescript::MacCosts;
using standin::testing::runOn;
using standin::testing::shown;
using standin::testing::tell;
namespace errors = standin::applescript::errors;

namespace {

struct Case {
    QString source;
    QString expected; // the result as `run` prints it, or "error N"
    qint64 events = 0;
    qint64 textUnits = 0;
    qint64 listItems = 0;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.source.toStdString();
}

// Home has Garden and Repairs below it and three to-dos; Work has none.
class MacCostsTest : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        home = library.makeTag(u"Home"_qs);
        library.makeTag(u"Garden"_qs, home);
        library.makeTag(u"Repairs"_qs, home);
        library.makeTag(u"Work"_qs);
        library.addTodo(u"Mow"_qs, TodoState::Open, {home});
        library.addTodo(u"Fix"_qs, TodoState::Completed, {home});
        library.addTodo(u"Call"_qs, TodoState::Open, {home});
    }
    ThingsLibrary library;
    QString home;
};

TEST_P(MacCostsTest, countsWhatAMacCharges) {
    const Case& c = GetParam();
    const QString source = tell(c.source);
    const auto answer = runOn(library, source);
    EXPECT_EQ(shown(answer), c.expected) << (answer.failure ? answer.failure->message().toStdString() : "");
    EXPECT_EQ(answer.costs, (MacCosts{c.events, c.textUnits, c.listItems, source.size()}));
}

INSTANTIATE_TEST_SUITE_P(
    ProgramsAndTheirCosts, MacCostsTest,
    ::testing::Values(
        // One event for a whole reference, however long; one for a whole collection.
        Case{u"return name of tag \"Home\""_qs, u"Home"_qs, 1},
        Case{u"return name of every tag of tag \"Home\""_qs, u"\"Garden\", \"Repairs\""_qs, 1},
        Case{u"return count of (to dos of tag \"Home\" whose status is open)"_qs, u"2"_qs, 1},
        Case{u"return count of (every to do of tag \"Home\" whose status is completed)"_qs, u"1"_qs, 1},
        Case{u"return count of tags"_qs, u"4"_qs, 1},
        Case{u"return name of parent tag of tag \"Garden\""_qs, u"Home"_qs, 1},
        Case{u"return name of every tag whose name contains \"a\""_qs, u"\"Garden\", \"Repairs\""_qs, 1},
        // A reference the program keeps is asked for once; each read through it is another event.
        Case{u"set t to tag \"Home\"\nreturn {name of t, count of tags of t}"_qs, u"\"Home\", 2"_qs, 3},
        // A loop over the application's objects counts them, then every use of the variable is
        // `item k of …` resolved again.
        Case{u"set n to 0\nrepeat with t in tags\nset n to n + (count of tags of t)\nend repeat\nreturn n"_qs,
             u"2"_qs, 5},
        Case{
            u"repeat with d in to dos of tag \"Home\"\nset x to {id of d, name of d}\nend repeat\nreturn 1"_qs,
            u"1"_qs, 7},
        // A loop over a list the program holds sends nothing but what its body asks.
        Case{u"set L to every tag\nrepeat with t in L\nset x to 1\nend repeat\nreturn count of L"_qs, u"4"_qs,
             1},
        // Writes: a property, a parent (the new parent is asked for, then set), a property deleted,
        // a tag made, a tag deleted.
        Case{u"set name of tag \"Work\" to \"Job\"\nreturn 1"_qs, u"1"_qs, 1},
        Case{u"set parent tag of tag \"Work\" to tag \"Home\"\nreturn 1"_qs, u"1"_qs, 2},
        Case{u"delete parent tag of tag \"Garden\"\nreturn 1"_qs, u"1"_qs, 1},
        Case{u"set t to make new tag with properties {name: \"New\"}\nreturn 1"_qs, u"1"_qs, 1},
        Case{u"delete every tag of tag \"Home\"\nreturn count of tags"_qs, u"2"_qs, 2},
        // Texts joined one piece at a time copy all that came before at every piece.
        Case{u"set s to \"\"\nrepeat 3 times\nset s to s & \"ab\"\nend repeat\nreturn s"_qs, u"ababab"_qs, 0,
             12},
        Case{u"set s to \"x\"\nset s to s & 7 & \"y\"\nreturn s"_qs, u"x7y"_qs, 0, 1 + 2 + 3},
        // Lists: `&` copies both, `set end of` nothing; coercing a list to text makes one text.
        Case{u"set L to {1} & {2, 3}\nset end of L to 4\nreturn L"_qs, u"1, 2, 3, 4"_qs, 0, 0, 3},
        Case{u"set AppleScript's text item delimiters to \",\"\nset s to (id of \"Hi\") as text\n"
             u"set AppleScript's text item delimiters to \"\"\nreturn s"_qs,
             u"72,105"_qs, 0, 6},
        Case{u"set n to name of tag \"Home\"\nreturn count of (id of n)"_qs, u"4"_qs, 1},
        Case{u"return id of (get name of tag \"Home\")"_qs, u"72, 111, 109, 101"_qs, 1},
        // A property of a value the application gave goes to Things 3 as one reference that names
        // nothing it has, and so does `count` of one: Things 3 fails that event. A list the program
        // holds has no properties.
        Case{u"return id of (name of tag \"Home\")"_qs, u"error -1728"_qs, 1},
        Case{u"return count of (name of tag \"Home\")"_qs, u"error -1728"_qs, 1},
        Case{u"repeat with d in to dos of tag \"Home\"\nreturn {} & (id of (tag names of d))\nend repeat"_qs,
             u"error -1728"_qs, 2},
        Case{u"set L to every tag\nreturn name of L"_qs, u"error -1728"_qs, 1}));

// A loop over the application's objects names `item k of` them: what it names moves when the
// collection changes under it, as in AppleScript, so deleting as it goes skips every other one and
// runs past the end.
TEST(MacCostsLoops, aLoopVariableIsFoundAgainAtEveryUse) {
    ThingsLibrary library;
    const QString home = library.makeTag(u"Home"_qs);
    for (const QString& name : {u"A"_qs, u"B"_qs, u"C"_qs, u"D"_qs}) {
        library.makeTag(name, home);
    }
    const auto answer = runOn(library, tell(u"repeat with t in tags of tag \"Home\"\n"
                                            u"    delete t\n"
                                            u"end repeat"_qs));
    ASSERT_TRUE(answer.failure);
    EXPECT_EQ(answer.failure->message(),
              u"Things3 got an error: Can’t get item 3 of every tag of tag id \""_qs + home +
                  u"\" of application \"Things3\"."_qs);
    QStringList left;
    for (const QString& id : library.childTagIds(home)) {
        left.append(library.tag(id)->name);
    }
    EXPECT_EQ(left, (QStringList{u"B"_qs, u"D"_qs}));
    // The count, then per turn one event that resolves t and deletes it, the third failed by Things 3.
    EXPECT_EQ(answer.costs.events, 1 + 3);
}

// AppleScript's text item delimiters: read as a list, set from a text or a list, put back; they
// split texts (ignoring case, as AppleScript compares) and join lists coerced to text.
TEST(MacCostsLanguage, textItemDelimitersSplitAndJoin) {
    ThingsLibrary library;
    const QString program =
        u"set saved to AppleScript's text item delimiters\n"
        u"set AppleScript's text item delimiters to {\"x\", \"--\"}\n"
        u"set parts to text items of \"aXb--c\"\n"
        u"set joined to {1, {2, 3}} as text\n"
        u"set text item delimiters of AppleScript to saved\n"
        u"return {saved, parts, joined, {4, 5} as text, count of text items of \"ab\"}"_qs;
    EXPECT_EQ(shown(runOn(library, program)), u"{\"\"}, {\"a\", \"b\", \"c\"}, \"1x2x3\", \"45\", 2"_qs);
    EXPECT_EQ(shown(runOn(library, u"set AppleScript's text item delimiters to 5"_qs)), u"error -1700"_qs);
    EXPECT_EQ(shown(runOn(library, u"set s to \"a\"\nset end of s to \"b\""_qs)), u"error -10006"_qs);
}

} // namespace
