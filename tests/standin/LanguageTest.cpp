#include "StandInTestSupport.h"
#include "ThingsService.h"

#include <QElapsedTimer>
#include <atomic>
#include <chrono>
#include <thread>

using orvalet::ThingsService;
using standin::ThingsLibrary;
using standin::applescript::Limits;
using standin::testing::hugeListProgram;
using standin::testing::runOn;
using standin::testing::shown;
using standin::testing::tell;
namespace errors = standin::applescript::errors;

// The error numbers AppleScript and Things 3 give, which Orvalet and its users see. The tests compare
// with these names, so their values are pinned here.
static_assert(errors::outOfMemory == -108 && errors::applicationNotRunning == -600 &&
              errors::connectionInvalid == -609 && errors::cantMakeType == -1700 &&
              errors::doesNotUnderstand == -1708 && errors::timedOut == -1712 && errors::cantGet == -1728 &&
              errors::userError == -2700 && errors::divideByZero == -2701 &&
              errors::numericOverflow == -2702 && errors::stackOverflow == -2706 &&
              errors::expectedButFound == -2741 && errors::undefinedVariable == -2753 &&
              errors::exitOutsideRepeat == -2755 && errors::handlerFailed == -10000 &&
              errors::cantSet == -10006);

namespace {

struct Case {
    QString source;
    QString expected; // the result as `run` prints it, or "error N"
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.source.toStdString();
}

Case ok(const char16_t* source, const char16_t* printed) {
    return {QString::fromUtf16(source), QString::fromUtf16(printed)};
}

Case fails(const char16_t* source, qint64 number) {
    return {QString::fromUtf16(source), QStringLiteral("error ") + QString::number(number)};
}

Case syntaxError(const char16_t* source) {
    return fails(source, errors::expectedButFound);
}

class LanguageTest : public ::testing::TestWithParam<Case> {};

TEST_P(LanguageTest, givesTheResultOrErrorOfTheRealLanguage) {
    ThingsLibrary library;
    library.makeTag(QStringLiteral("Work"));
    library.makeTag(QStringLiteral("Home"));
    const auto answer = runOn(library, GetParam().source);
    EXPECT_EQ(shown(answer), GetParam().expected)
        << (answer.failure ? answer.failure->message().toStdString() : std::string());
}

INSTANTIATE_TEST_SUITE_P(
    Literals, LanguageTest,
    ::testing::Values(
        ok(u"return \"a\\\\b\" & \"say \\\"hi\\\"\" & \"1\\n2\\r3\\t4\"", u"a\\bsay \"hi\"1\n2\r3\t4"),
        syntaxError(u"return \"a\\qb\""), // any other escape
        syntaxError(u"return \"a\\"), syntaxError(u"return \"abc"),
        ok(u"return \"a\nb\rc\r\nd\"", u"a\nb\rc\r\nd"),
        ok(u"return quote & \"end tell\" & \"|||~~~\" & quote", u"\"end tell|||~~~\""),
        // What `&` makes depends on its left operand: text stays text, anything else makes a list.
        ok(u"return {\"n\" & 42 & 0, 1 & 2 & \"x\", \"a\" & missing value, missing value}",
           u"\"n420\", {1, 2, \"x\"}, \"amissing value\", missing value"),
        ok(u"-- line comment\n# another\n(* block (* nested *) *)\nreturn \"a\" & ¬\n  \"b\"", u"ab")));

INSTANTIATE_TEST_SUITE_P(
    Comparison, LanguageTest,
    ::testing::Values(
        // Equality ignores case, also beyond ASCII, but not accents; composed and decomposed forms
        // are equal, and a text is never a number.
        ok(u"return {\"Work\" is \"wORK\", \"Café\" = \"CAFÉ\", \"Cafe\" = \"Café\", \"Cafe\u0301\" = "
           u"\"Café\", \"a\" is not \"A\", 3 is equal to 3, 1 = \"1\", (true and not false) or false}",
           u"true, true, false, true, false, true, false, true"),
        // A lone surrogate is compared as it is, after a letter whose case differs too.
        ok(u"return {\"A\xD800\" = \"a\xD800\", \"A\xD800\" = \"a\xFFFD\", \"b\xDC00\" is in \"AB\xDC00\"}",
           u"true, false, true"),
        fails(u"if \"yes\" then return 1", errors::cantMakeType),
        ok(u"return {3 < 5, 2 ≤ 2, 2 <= 1.5, 2 >= 3, 2.5 > 2, 3 ≥ 3.0, 3 is less than 4, "
           u"4 is greater than or equal to 4, 4 is greater than 4, 1.0 = 1, 1 is not 1.5}",
           u"true, true, false, false, true, true, true, true, false, true, true"),
        // Texts ignore case and an accented letter follows its letter; the left operand decides
        // between number and text.
        ok(u"return {\"a\" < \"B\", \"é\" < \"f\", \"e\" < \"é\", \"ABC\" ≥ \"abc\", \"b\" > "
           u"\"a\", 10 < \"9\", \"10\" < 9}",
           u"true, true, true, true, true, false, true"),
        fails(u"return 1 < \"x\"", errors::cantMakeType), fails(u"return true < false", errors::cantMakeType),
        fails(u"return {1} < {2}", errors::cantMakeType),
        ok(u"return {\"abc\" starts with \"AB\", \"abc\" begins with \"b\", \"abc\" ends with \"BC\", "
           u"\"b\" is in \"abc\", \"x\" is not in \"abc\", \"abc\" does not contain \"C\", "
           u"\"Hardware Store\" contains \"STORE\"}",
           u"true, false, true, true, true, false, true"),
        ok(u"return {2 is in {1, 2}, {2, 3} is in {1, 2, 3}, {1, 2} starts with 1, "
           u"{1, 2} ends with {1}, {1, 2} does not contain 3}",
           u"true, true, true, false, true"),
        fails(u"return {a: 1} contains 1", errors::cantMakeType)));

INSTANTIATE_TEST_SUITE_P(
    Control, LanguageTest,
    ::testing::Values(
        ok(u"try\n    error \"x\"\nend try\nreturn \"after\"", u"after"),
        ok(u"try\n    error \"boom\" number 42\non error m number n\n    return m & \"/\" & n\nend try",
           u"boom/42"),
        ok(u"tell application \"Things3\"\n    try\n        set t to tag \"Nope\"\n    on error m number n\n"
           u"        return m & n\n    end try\nend tell",
           u"Things3 got an error: Can’t get tag \"Nope\".-1728"),
        ok(u"set out to \"\"\nrepeat with x in 1 & 2 & 3 & 4\n    if x = 3 then exit repeat\n"
           u"    set out to out & x\nend repeat\nreturn out",
           u"12"),
        ok(u"set out to \"\"\nrepeat with a in 1 & 2\n    repeat with b in 7 & 8\n        exit repeat\n"
           u"    end repeat\n    set out to out & a\nend repeat\nreturn out",
           u"12"),
        ok(u"set out to \"\"\nrepeat with x in {1, 2, 3}\n    if x = 1 then\n        set out to out & "
           u"\"one\"\n    else if x = 2 then\n        set out to out & \"two\"\n    else\n"
           u"        set out to out & \"many\"\n    end if\nend repeat\nif true then set out to out & \"!\"\n"
           u"return out",
           u"onetwomany!"),
        ok(u"repeat with x in 1 & 2\n    try\n        return \"got \" & x\n    end try\nend repeat\n"
           u"return \"after\"",
           u"got 1"),
        ok(u"set Foo to \"v\"\nset x to FOO", u"v"), // the last statement's result; names ignore case
        // A character outside the Basic Multilingual Plane and an accent written as two code points
        // are one character each, as the user sees them.
        ok(u"return {count of (1 & 2 & 3), count \"abcd\", count of \"\U0001F600e\u0301x\", "
           u"count of {1, {2, 3}}, count {a: 1, b: 2}, count {}}",
           u"3, 4, 3, 2, 2, 0"),
        ok(u"tell application \"Things3\"\n    return {count of (tags whose name is \"work\"), name of every "
           u"tag}\nend tell",
           u"1, {\"Work\", \"Home\"}"),
        fails(u"return y", errors::undefinedVariable),
        fails(u"if false then set z to 1\nreturn z", errors::undefinedVariable),
        fails(u"error \"mine\" number 7", 7),
        fails(u"tell application \"Finder\"\n    return 1\nend tell", errors::cantGet),
        fails(u"return count of tags", errors::cantGet),
        ok(u"set s to 0\nrepeat 4 times\n    set s to s + 1\nend repeat\nrepeat -2 times\n    set s to 9\n"
           u"end repeat\nreturn s",
           u"4"),
        ok(u"set i to 0\nrepeat while i < 3\n    set i to i + 1\nend repeat\n"
           u"repeat until i ≥ 6\n    set i to i + 2\nend repeat\nreturn i",
           u"7"),
        ok(u"set s to {}\nrepeat with i from 1 to 3\n    set s to s & i\nend repeat\n"
           u"repeat with i from 10 to 1 by -3\n    set s to s & i\nend repeat\n"
           u"repeat with x from 1 to 2 by 0.5\n    set s to s & x\nend repeat\nreturn s",
           u"1, 2, 3, 10, 7, 4, 1, 1.0, 1.5, 2.0"),
        // The bounds are taken once, and the count goes on whatever the body does to the variable.
        ok(u"set n to 3\nset s to {}\nrepeat with i from 1 to n\n    set n to 1\n    set s to s & i\n"
           u"    set i to 10\nend repeat\nreturn s",
           u"1, 2, 3"),
        ok(u"set i to 0\nrepeat\n    set i to i + 1\n    if i = 4 then exit repeat\nend repeat\nreturn i",
           u"4"),
        fails(u"repeat 2.5 times\nend repeat", errors::cantMakeType),
        fails(u"repeat while 1\nend repeat", errors::cantMakeType)));

INSTANTIATE_TEST_SUITE_P(
    ListsAndRecords, LanguageTest,
    ::testing::Values(
        ok(u"return {1, \"a\", {2}, {}} & {{1} & {2, {3}} & 4}", u"1, \"a\", {2}, {}, {1, 2, {3}, 4}"),
        // A text's `id` is its code points: one number for one character, a lone surrogate its own.
        ok(u"return {id of \"a|\", id of \"é\", id of \"\U0001F600\xD800\", id of \"\"}",
           u"{97, 124}, 233, {128512, 55296}, {}"),
        ok(u"set L to {\"a\", \"b\", \"c\"}\nreturn item 1 of L & item -1 of L & item 2 of L", u"acb"),
        fails(u"return item 4 of {1, 2, 3}", errors::cantGet),
        fails(u"return item 0 of {1}", errors::cantGet), fails(u"return item 1 of \"abc\"", errors::cantGet),
        fails(u"return item \"1\" of {1}", errors::cantGet),
        ok(u"set L to {1, 2, 3, 4}\nreturn {items 2 thru 3 of L, items 3 through 1 of L, items -2 thru -1 of "
           u"L}",
           u"{2, 3}, {1, 2, 3}, {3, 4}"),
        fails(u"return items 2 thru 5 of {1, 2, 3}", errors::cantGet),
        // A record's labels are its properties too; joined records keep the left one's values.
        ok(u"set r to {name: \"x\", n: 2}\nreturn {r, (name of r) & (n of r), {a: 1} & {b: 2, a: 3}}",
           u"{name:\"x\", n:2}, \"x2\", {a:1, b:2}"),
        fails(u"return m of {n: 1}", errors::cantGet), fails(u"return {a: 1} & 2", errors::cantMakeType),
        // Records are equal whatever the order of their labels and contain another's labels and
        // values; a list contains a run of items.
        ok(u"return {{a: 1, b: \"x\"} = {b: \"X\", a: 1.0}, {a: 1, b: 2} contains {b: 2}, {a: 1} contains "
           u"{a: 2}, {1, 2, 3} contains {2, 3}, {1, 2, 3} contains {1, 3}, {{1}, 2} contains {1}}",
           u"true, true, false, true, false, false")));

INSTANTIATE_TEST_SUITE_P(
    Arithmetic, LanguageTest,
    ::testing::Values(
        ok(u"return {1 + 2 * 3 - 4, (1 + 2) * 3, 2 * 3 mod 4, 10 - 2 - 3, 7 / 2, 4 / 2}",
           u"3, 9, 2, 5, 3.5, 2.0"),
        // div and mod take the sign of the number divided; div of reals is an integer, mod a real.
        ok(u"return {7 div 2, -7 div 2, 7 mod 3, -7 mod 3, 7.5 div 2, 7.5 mod 2}", u"3, -3, 1, -1, 3, 1.5"),
        // ^ makes a real and groups from the right; a sign binds tighter.
        ok(u"return {2 ^ 3, 2 ^ 3 ^ 2, -2 ^ 2, 1 + 1.5, 3 * 1.0, 2.0 - 2}",
           u"8.0, 512.0, 4.0, 2.5, 3.0, 0.0"),
        ok(u"return {536870911 + 1, 536870912, -536870911 - 1}",
           u"5.36870912E+8, 5.36870912E+8, -5.36870912E+8"),
        ok(u"set x to 5\nreturn {-x, - -x, +x, 1 - -1, \"3\" + 4, {2} * \"1.5\"}", u"-5, 5, 5, 2, 7, 3.0"),
        ok(u"return 5--3", u"5"), // `--` starts a comment, also after an operand
        fails(u"return 1 / 0", errors::divideByZero), fails(u"return 1 div 0", errors::divideByZero),
        fails(u"return 1.5 mod 0", errors::divideByZero), fails(u"return 10 ^ 400", errors::numericOverflow),
        fails(u"return \"x\" + 1", errors::cantMakeType), fails(u"return -true", errors::cantMakeType),
        // Reals as the engine writes them: at most twelve significant digits, always a fraction, and an
        // exponent from 10,000 up and from 0.0001 down.
        ok(u"return {2.5, 3., 1.0E+20, 1e20, 10000.0, 9999.5, 0.0001, 0.00015}",
           u"2.5, 3.0, 1.0E+20, 1.0E+20, 1.0E+4, 9999.5, 1.0E-4, 0.00015"),
        ok(u"return {1 / 3, 123456789012345, -0.00001}", u"0.333333333333, 1.23456789012E+14, -1.0E-5"),
        ok(u"return \"r\" & 1.5", u"r1.5")));

INSTANTIATE_TEST_SUITE_P(
    Coercions, LanguageTest,
    ::testing::Values(
        ok(u"return {\"12\" as integer, 2.0 as integer, {5} as integer, \"-3\" as integer, 7 as real, "
           u"\"3.5\" as number, \"3\" as number, 2 as number}",
           u"12, 2, 5, -3, 7.0, 3.5, 3, 2"),
        ok(u"return {1.5 as text, {1, \"a\", 2.5} as string, 12 as text, missing value as text, "
           u"\"abc\" as list, {a: 1, b: 2} as list, {1} as list, \"7\" as integer as real as text}",
           u"\"1.5\", \"1a2.5\", \"12\", \"missing value\", {\"abc\"}, {1, 2}, {1}, \"7.0\""),
        fails(u"return 1.5 as integer", errors::cantMakeType),
        fails(u"return 1.0E+20 as integer", errors::cantMakeType),
        fails(u"return \"1 2\" as number", errors::cantMakeType),
        fails(u"return {1, 2} as integer", errors::cantMakeType),
        fails(u"return true as integer", errors::cantMakeType),
        fails(u"return {a: 1} as text", errors::cantMakeType),
        ok(u"set x to get count of {1, 2}\nreturn get x + 1", u"3")));

INSTANTIATE_TEST_SUITE_P(
    Syntax, LanguageTest,
    ::testing::Values(syntaxError(u"set x to"), syntaxError(u"repeat with i to 3\nend repeat"),
                      syntaxError(u"end tell"), syntaxError(u"tell application \"Things3\"\n    return 1"),
                      syntaxError(u"tell application \"Things3\"\nend repeat"), syntaxError(u"return 2 ** 3"),
                      syntaxError(u"return 1 < 2 < 3"), syntaxError(u"return item 1 {1}"),
                      syntaxError(u"return 1 as boolean"), syntaxError(u"return {a: 1, a: 2}"),
                      syntaxError(u"return {a: 1, 2}"), syntaxError(u"set tell to 1"),
                      fails(u"exit repeat", errors::exitOutsideRepeat),
                      fails(u"try\n    exit repeat\nend try", errors::exitOutsideRepeat),
                      syntaxError(u"(* open"), syntaxError(u"return 1 % 2"), syntaxError(u"return 12abc")));

// Where the reading of a program decides which tag it touches, it follows the language exactly: an
// element's key is one primary, and a filter applies to elements only.
TEST(LanguageGrammar, anElementKeyIsOnePrimaryAndAFilterAppliesToElements) {
    ThingsLibrary library;
    const QString a = library.makeTag(QStringLiteral("a"));
    const QString quoted = library.makeTag(QStringLiteral("a\"b"));
    const QString work = library.makeTag(QStringLiteral("Work"));
    library.addTodo(QStringLiteral("one"), standin::TodoState::Open, {work});
    library.addTodo(QStringLiteral("two"), standin::TodoState::Open, {work, a});
    library.addTodo(QStringLiteral("done"), standin::TodoState::Completed, {work});
    const QString syntax = QStringLiteral("error ") + QString::number(errors::expectedButFound);
    const std::pair<QString, QString> cases[] = {
        {u"return id of tag (\"a\" & quote & \"b\")"_qs, quoted},
        {u"return id of tag id (\""_qs + quoted + u"\")"_qs, quoted},
        // Without parentheses `&` joins to the reference `tag "a"`: never the tag a"b.
        {u"return id of tag \"a\" & quote & \"b\""_qs, a + u"\"b"_qs},
        {u"return tag \"a\" & quote & \"b\""_qs,
         u"tag id \""_qs + a + u"\" of application \"Things3\", \"\\\"\", \"b\""_qs},
        {u"return tag \"x\" & quote & \"b\""_qs, u"error -1728"_qs},
        {u"return count of (to dos of tag \"Work\" whose status is open)"_qs, u"2"_qs},
        {u"return count of (to dos of (tag \"Work\") whose status is open)"_qs, u"2"_qs},
        {u"return count of to dos of tag \"a\" whose status is open"_qs, u"1"_qs},
        {u"return count of ((every tag) whose name is \"a\")"_qs, u"1"_qs},
        // A filter never applies to a text, a variable or one object.
        {u"return \"Work\" whose name is \"Work\""_qs, syntax},
        {u"return to dos of tag \"Work\" & \"x\" whose status is open"_qs, syntax},
        {u"return tag \"Work\" whose name is \"Work\""_qs, syntax},
        {u"set l to tags\nreturn l whose name is \"Work\""_qs, syntax},
        // The key of `to do id` is one primary too: a join after it is no reference to set.
        {u"set tag names of to do id \"x\" & \"y\" to \"Mac\""_qs, syntax},
    };
    for (const auto& [body, expected] : cases) {
        EXPECT_EQ(shown(runOn(library, tell(body))), expected) << body.toStdString();
    }
}

// The engine's own message for a variable never set, and a syntax error anywhere stops the whole
// program before any of it runs. (Things 3's errors, their range and prefix, are checked through
// the command line and the socket.)
TEST(LanguageErrors, haveTheEnginesMessagesAndASyntaxErrorStopsTheWholeProgram) {
    ThingsLibrary library;
    EXPECT_EQ(runOn(library, u"return nothingHere"_qs).failure.value().message(),
              u"The variable nothingHere is not defined."_qs);
    const QString early =
        tell(u"make new tag with properties {name: \"Early\"}"_qs) + u"\nset x to \"a\\qb\""_qs;
    const auto syntax = runOn(library, early);
    ASSERT_TRUE(syntax.failure);
    EXPECT_EQ(syntax.failure->kind, standin::applescript::ScriptFailure::Kind::Syntax);
    EXPECT_EQ(syntax.failure->start, early.indexOf(u"\\q"));
    EXPECT_EQ(library.revision(), 0u);
}

// No program, however written, runs for ever, eats the machine or overflows the stack: it fails with
// the engine's own error, also inside `try`, and a program that fails as it parses changes nothing.
TEST(LanguageLimits, runawayProgramsFailWithTheEngineErrors) {
    // What a program parses into is budgeted like what it makes when it runs.
    const Limits parse{.maxProgramBytes = 4 << 20, .maxParseNodes = 100000};
    const Limits small{
        .maxSteps = 100000, .maxTextLength = 1 << 20, .maxListLength = 100000, .maxBytesMade = 16 << 20};
    const Limits steps{.maxSteps = 1'000'000};
    const int depth = 20000;
    QString variables;
    for (int i = 0; i < 20000; ++i) {
        variables += QStringLiteral("set v%1 to 1\n").arg(i);
    }
    const QString makeFirst =
        QStringLiteral("tell application \"Things3\" to make new tag with properties {name: \"Early\"}\n");
    const QString doubling = u"repeat with a in "_qs + u"1 & "_qs.repeated(19) + u"20\n"_qs; // 20 times
    const struct {
        QString program;
        Limits limits;
        qint64 number;
    } cases[] = {
        {QString(depth, u'(') + u'1' + QString(depth, u')'), {}, errors::stackOverflow},
        {u"return "_qs + u"not "_qs.repeated(depth) + u"true"_qs, {}, errors::stackOverflow},
        {tell(u"return "_qs + u"id of "_qs.repeated(depth) + u"tag \"Work\""_qs), {}, errors::stackOverflow},
        {u"if true then\n"_qs.repeated(depth) + u"end if\n"_qs.repeated(depth), {}, errors::stackOverflow},
        {u"try\n"_qs.repeated(depth) + u"end try\n"_qs.repeated(depth), {}, errors::stackOverflow},
        {makeFirst + u"set x to 1\n"_qs.repeated(40000), parse, errors::outOfMemory}, // nodes
        {makeFirst + u"return false"_qs + u" or false"_qs.repeated(200000), parse, errors::outOfMemory},
        {makeFirst + variables, parse, errors::outOfMemory}, // bytes for variables
        {makeFirst + u"return \"\\n"_qs + QString(1200000, u'x') + u'"', parse,
         errors::outOfMemory}, // a text
        {u"set s to \"xx\"\ntry\n"_qs + doubling + u"set s to s & s\nend repeat\nend try\nreturn 1"_qs, small,
         errors::outOfMemory},
        {u"set l to 1 & 2\n"_qs + doubling + u"set l to l & l\nend repeat"_qs, small, errors::outOfMemory},
        {u"set l to 1"_qs + u" & 1"_qs.repeated(99) + u"\ntry\n"_qs + u"repeat with a in l\n"_qs.repeated(4) +
             u"set x to 1\n"_qs + u"end repeat\n"_qs.repeated(4) + u"end try\nreturn 1"_qs,
         small, errors::timedOut},
        {u"try\n    repeat 1000000000 times\n    end repeat\nend try"_qs, small, errors::timedOut},
        {u"repeat\nend repeat"_qs, small, errors::timedOut},
        {u"repeat with i from 1 to 2 by 0\nend repeat"_qs, small, errors::timedOut},
        // 65,536 items made in doublings take 11.5 MiB; a copy of them all takes 5.8 more.
        {u"set L to {1}\nrepeat 16 times\n    set L to L & L\nend repeat\nreturn count of items 1 thru -1 of L"_qs,
         small, errors::outOfMemory},
        {u"set L to {1}\nrepeat 16 times\n    set L to L & L\nend repeat\nreturn count of items 1 thru 100000000 of L"_qs,
         small, errors::cantGet},
        // A list wrapped in itself again and again would outgrow the stack of everything that reads it.
        {u"set L to {}\nrepeat 1000 times\n    set L to {L}\nend repeat"_qs, small, errors::stackOverflow},
        // A list holding the same list twice, forty deep, has a trillion items for a walk to meet.
        {u"set L to {{}}\nrepeat 40 times\n    set L to {L, L}\nend repeat\nreturn \"\" & L"_qs,
         {},
         errors::timedOut},
        {u"set L to {1}\nrepeat 40 times\n    set L to {L, L}\nend repeat\nreturn L = L"_qs,
         {},
         errors::timedOut},
        // Its printed form, or a record's, is longer than any text may be; nothing walks it to find out.
        {u"set L to {1}\nrepeat 40 times\n    set L to {L, L}\nend repeat\nreturn L"_qs,
         {},
         errors::outOfMemory},
        {u"set R to {a: \"\"}\nrepeat 40 times\n    set R to {a: R, b: R}\nend repeat\nreturn R"_qs,
         {},
         errors::outOfMemory},
        // Joining or printing more than a text may hold, with the default budgets.
        {hugeListProgram(u"return L"_qs), {}, errors::outOfMemory},
        {hugeListProgram(u"return \"\" & L"_qs), {}, errors::outOfMemory},
        {hugeListProgram(u"set t to \"\"\nset t to t & L"_qs), {}, errors::outOfMemory},
        {hugeListProgram(u"return (\"\" & L) contains \"y\""_qs), {}, errors::outOfMemory},
        {hugeListProgram(u"error L"_qs), {}, errors::outOfMemory},
        {u"set L to 1 & 2\nrepeat with i in "_qs + u"1 & "_qs.repeated(29) +
             u"30\n    set L to L & L\nend repeat"_qs,
         {},
         errors::outOfMemory},
        // Comparing text costs steps in proportion to its length: a thousand comparisons on a text of
        // a million characters are far more than a million steps.
        {u"set s to \"x\"\nrepeat with i in "_qs + u"1 & "_qs.repeated(19) +
             u"20\n    set s to s & s\nend repeat\nset L to 1 & 2\nrepeat with i in "_qs +
             u"1 & "_qs.repeated(8) +
             u"9\n    set L to L & L\nend repeat\nrepeat with i in L\n"
             u"    if s contains \"zz\" or s is \"y\" then exit repeat\nend repeat\nreturn 1"_qs,
         steps, errors::timedOut},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(QString(c.program.left(120)).replace(u'\n', u';').toStdString());
        ThingsLibrary library;
        const auto answer = runOn(library, c.program, c.limits);
        ASSERT_TRUE(answer.failure);
        EXPECT_EQ(answer.failure->number, c.number);
        EXPECT_LT(answer.failure->message().size(), 10000);
        if (c.program.startsWith(makeFirst)) {
            EXPECT_EQ(library.tagCount(), 0);
        }
    }
}

// A text may hold as much of the library as the library holds, past the limit on texts, so that the
// import of every tag fits however large the library is; what a program adds itself, and the library
// copied over and over, stay within the limit.
TEST(LanguageLimits, onlyTheLibrarysOwnTextTakesATextPastTheLimit) {
    ThingsLibrary library;
    for (int i = 0; i < 40; ++i) {
        library.makeTag(QString(100, QChar(u'a' + i % 26)) + QString::number(i));
    }
    const Limits limits{.maxTextLength = 1000};
    const auto answer = runOn(library, ThingsService::fetchAllTagsScript(), limits);
    ASSERT_TRUE(answer.result) << shown(answer).toStdString();
    EXPECT_GT(answer.result->size(), 5000);
    EXPECT_EQ(ThingsService::parseTagList(*answer.result).size(), 40);
    EXPECT_EQ(shown(runOn(library, tell(u"return count of (\"\" & name of every tag)"_qs), limits)),
              u"4070"_qs);
    const QString pad =
        u"repeat 101 times\n    set s to s & \"0123456789\"\nend repeat\nreturn count of s"_qs;
    const QString names = u"set s to \"\" & name of every tag\n"_qs;
    for (const QString& program :
         {QString(standin::testing::doubledText(u"x"_qs, 10) + u"return count of s"_qs),
          tell(u"set s to name of item 1 of tags\n"_qs + u"set s to s & s\n"_qs.repeated(10) +
               u"return count of s"_qs),
          tell(names + pad), tell(names + u"return count of (s & s & s & s & s & s & s & s)"_qs)}) {
        EXPECT_EQ(shown(runOn(library, program, limits)), u"error -108"_qs) << program.toStdString();
    }
    EXPECT_EQ(shown(runOn(library, tell(names + QString(pad).replace(u"101"_qs, u"100"_qs)), limits)),
              u"5070"_qs);
    // The library's names in a list, or a list of lists, print past the limit too.
    const QString printed = shown(runOn(library, tell(u"return {{name of every tag}, 1}"_qs), limits));
    EXPECT_EQ(printed.size(), 4235) << printed.left(100).toStdString();
}

// A program told to stop (the server is ending) stops at its next step with the error of an
// application that quits under it, even inside `try`; what it did before stays done.
TEST(LanguageLimits, aProgramToldToStopStopsAtItsNextStep) {
    ThingsLibrary library;
    std::atomic<bool> stop{false};
    Limits limits;
    limits.stop = &stop;
    // Without the stop, the loop runs until its steps are spent: seconds.
    std::thread stopper([&stop] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        stop = true;
    });
    const auto answer =
        runOn(library,
              tell(u"make new tag with properties {name: \"Before\"}\ntry\nrepeat\nend repeat\nend try"_qs),
              limits);
    stopper.join();
    ASSERT_TRUE(answer.failure);
    EXPECT_EQ(answer.failure->number, errors::connectionInvalid);
    EXPECT_EQ(answer.failure->message(), u"Things3 got an error: Connection is invalid."_qs);
    EXPECT_EQ(library.tagCount(), 1);
}

// The budgets leave room for every program Orvalet writes and for much longer ones.
TEST(LanguageLimits, longProgramsAndLargeValuesRunWithinTheBudgets) {
    ThingsLibrary library;
    const QString appends = QStringLiteral("set x to \"\"\n") +
                            QStringLiteral("set x to x & \"ab\"\n").repeated(200000) +
                            QStringLiteral("return count of x");
    EXPECT_EQ(shown(runOn(library, appends)), QStringLiteral("400000"));
    const QString chain = QStringLiteral("return \"\"") + QStringLiteral(" & \"z\"").repeated(100000);
    EXPECT_EQ(shown(runOn(library, chain)), QString(100000, u'z')); // one expression of 100,000 operands
    // A text may be 16 Mi characters long, and not one more.
    const QString longest = standin::testing::doubledText(u"x"_qs, 24);
    EXPECT_EQ(shown(runOn(library, longest + u"return count of s"_qs)), u"16777216"_qs);
    EXPECT_EQ(shown(runOn(library, longest + u"return count of (s & \"x\")"_qs)), u"error -108"_qs);
    const QString nested = QStringLiteral("if true then\n").repeated(40) +
                           QStringLiteral("return \"deep\"\n") + QStringLiteral("end if\n").repeated(40);
    EXPECT_EQ(shown(runOn(library, nested)), QStringLiteral("deep"));

    // Joining many small pieces costs each piece, not the whole text built so far: a literal of
    // 120,000 double quotes, as Orvalet writes it, runs within the default budget, and so does a
    // name of a million characters with a double quote every second one.
    const QString quotes(120000, u'"');
    EXPECT_EQ(runOn(library, QStringLiteral("return ") + ThingsService::appleScriptLiteral(quotes)).result,
              quotes);
    const QString name = QStringLiteral("a\"").repeated(500000);
    const auto created = runOn(library, ThingsService::createTagScript(name, std::nullopt));
    ASSERT_TRUE(created.result) << shown(created).toStdString();
    EXPECT_EQ(library.tag(*created.result)->name, name);

    // Records' labels are unordered, so comparing two records looks every label up in the other: by
    // hash, so that two records of 100,000 labels compare in moments, not in many seconds.
    QStringList fields;
    for (int i = 0; i < 100000; ++i) {
        fields.append(QStringLiteral("label%1: %1").arg(i));
    }
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(shown(runOn(library, QStringLiteral("set r to {") + fields.join(QStringLiteral(", ")) +
                                       QStringLiteral("}\nreturn r = r"))),
              QStringLiteral("true"));
    EXPECT_LT(clock.elapsed(), 3000);
}

} // namespace
