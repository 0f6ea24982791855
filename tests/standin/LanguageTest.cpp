#include "StandInTestSupport.h"
#include "ThingsService.h"
#include "applescript/Parser.h"

#include <QElapsedTimer>

using orvalet::ThingsService;
using standin::ThingsLibrary;
using standin::testing::hugeListProgram;
using standin::testing::runOn;
namespace errors = standin::applescript::errors;

namespace {

struct Case {
    const char* what;
    QString source;
    QString printed;      // the expected result as `run` prints it, when the program succeeds
    qint64 errorNumber{}; // the expected error number, when it fails
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.what;
}

Case ok(const char* what, const char16_t* source, const char16_t* printed) {
    return Case{what, QString::fromUtf16(source), QString::fromUtf16(printed), 0};
}

Case fails(const char* what, const char16_t* source, qint64 number) {
    return Case{what, QString::fromUtf16(source), {}, number};
}

class LanguageTest : public ::testing::TestWithParam<Case> {};

TEST_P(LanguageTest, givesTheResultOrErrorOfTheRealLanguage) {
    const Case& c = GetParam();
    ThingsLibrary library;
    library.makeTag(QStringLiteral("Work"));
    library.makeTag(QStringLiteral("Home"));
    const auto answer = runOn(library, c.source);
    if (c.errorNumber != 0) {
        ASSERT_TRUE(answer.failure) << "printed " << answer.printed.value_or(QString()).toStdString();
        EXPECT_EQ(answer.failure->number, c.errorNumber) << answer.failure->message().toStdString();
    } else {
        ASSERT_FALSE(answer.failure) << answer.failure->message().toStdString();
        EXPECT_EQ(answer.printed.value_or(QString()), c.printed);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Literals, LanguageTest,
    ::testing::Values(
        ok("backslash escape", u"return \"a\\\\b\"", u"a\\b"),
        ok("quote escape", u"return \"say \\\"hi\\\"\"", u"say \"hi\""),
        ok("line feed, return and tab escapes", u"return \"1\\n2\\r3\\t4\"", u"1\n2\r3\t4"),
        fails("any other escape is a syntax error", u"return \"a\\qb\"", errors::expectedButFound),
        fails("escaped end of script", u"return \"a\\", errors::expectedButFound),
        fails("unterminated literal", u"return \"abc", errors::expectedButFound),
        ok("raw line breaks stay in the literal", u"return \"a\nb\rc\r\nd\"", u"a\nb\rc\r\nd"),
        ok("quote constant", u"return quote & \"x\" & quote", u"\"x\""),
        ok("keywords inside a literal are text", u"return \"end tell\" & \"|||~~~\"", u"end tell|||~~~"),
        ok("integer after text becomes its digits", u"return \"n\" & 42 & 0", u"n420"),
        ok("integer first makes a list", u"return 1 & 2 & \"x\"", u"1, 2, \"x\""),
        ok("missing value", u"return missing value", u"missing value"),
        ok("missing value after text", u"return \"a\" & missing value", u"amissing value"),
        ok("comments and continuation",
           u"-- line comment\n# another\n(* block (* nested *) *)\nreturn \"a\" & ¬\n  \"b\"", u"ab")));

INSTANTIATE_TEST_SUITE_P(
    Comparison, LanguageTest,
    ::testing::Values(
        ok("equality ignores case", u"return \"Work\" is \"wORK\"", u"true"),
        ok("equality ignores case beyond ASCII", u"return \"Café\" = \"CAFÉ\"", u"true"),
        ok("accents still count", u"return \"Cafe\" = \"Café\"", u"false"),
        ok("composed and decomposed forms are equal", u"return \"Cafe\u0301\" = \"Café\"", u"true"),
        ok("is not", u"return \"a\" is not \"A\"", u"false"),
        ok("is equal to", u"return 3 is equal to 3", u"true"),
        ok("text is never a number", u"return 1 = \"1\"", u"false"),
        ok("contains ignores case", u"return \"Hardware Store\" contains \"STORE\"", u"true"),
        ok("and, or, not", u"return (true and not false) or false", u"true"),
        fails("a condition must be true or false", u"if \"yes\" then return 1", errors::cantMakeType)));

INSTANTIATE_TEST_SUITE_P(
    Control, LanguageTest,
    ::testing::Values(
        ok("try without on error swallows the error", u"try\n    error \"x\"\nend try\nreturn \"after\"",
           u"after"),
        ok("on error gets the message and number",
           u"try\n    error \"boom\" number 42\non error m number n\n    return m & \"/\" & n\nend try",
           u"boom/42"),
        ok("on error gets an application error's full message",
           u"tell application \"Things3\"\n    try\n        set t to tag \"Nope\"\n    on error m number n\n"
           u"        return m & n\n    end try\nend tell",
           u"Things3 got an error: Can’t get tag \"Nope\".-1728"),
        ok("repeat with and exit repeat",
           u"set out to \"\"\nrepeat with x in 1 & 2 & 3 & 4\n    if x = 3 then exit repeat\n    set out to "
           u"out & x\n"
           u"end repeat\nreturn out",
           u"12"),
        ok("exit repeat leaves only the inner loop",
           u"set out to \"\"\nrepeat with a in 1 & 2\n    repeat with b in 7 & 8\n        exit repeat\n    "
           u"end repeat\n"
           u"    set out to out & a\nend repeat\nreturn out",
           u"12"),
        ok("if, else if, else",
           u"set x to 2\nif x = 1 then\n    return \"one\"\nelse if x = 2 then\n    return \"two\"\nelse\n"
           u"    return \"many\"\nend if",
           u"two"),
        ok("else branch", u"if false then\n    return \"a\"\nelse\n    return \"b\"\nend if", u"b"),
        ok("one-line if", u"set x to \"a\"\nif true then set x to \"b\"\nreturn x", u"b"),
        ok("return ends the program at once", u"return \"a\"\nreturn \"b\"", u"a"),
        ok("return from inside a loop inside a try",
           u"repeat with x in 1 & 2\n    try\n        return \"got \" & x\n    end try\nend repeat",
           u"got 1"),
        ok("result of the last statement", u"set x to \"last\"", u"last"),
        ok("variables ignore case", u"set Foo to \"v\"\nreturn FOO", u"v"),
        ok("count of a list and of a text", u"return (count of (1 & 2 & 3)) & \"/\" & (count \"abcd\")",
           u"3, \"/\", 4"),
        // A character outside the Basic Multilingual Plane and an accent written as two code points
        // are one character each, as the user sees them.
        ok("count of a text counts characters", u"return count of \"\U0001F600e\u0301x\"", u"3"),
        ok("whose filters by a property",
           u"tell application \"Things3\"\n    return count of (tags whose name is \"work\")\nend tell",
           u"1"),
        ok("name of every tag", u"tell application \"Things3\"\n    return name of every tag\nend tell",
           u"\"Work\", \"Home\""),
        fails("undefined variable", u"return y", errors::undefinedVariable),
        fails("variable read before it is set", u"if false then set z to 1\nreturn z",
              errors::undefinedVariable),
        fails("error statement", u"error \"mine\" number 7", 7),
        fails("another application", u"tell application \"Finder\"\n    return 1\nend tell", errors::cantGet),
        fails("tags outside tell", u"return count of tags", errors::cantGet)));

INSTANTIATE_TEST_SUITE_P(
    ListsAndRecords, LanguageTest,
    ::testing::Values(
        ok("list literal", u"return {1, \"a\", {2}, {}}", u"1, \"a\", {2}, {}"),
        ok("item counts from 1, and from the end when negative",
           u"set L to {\"a\", \"b\", \"c\"}\nreturn item 1 of L & item -1 of L & item 2 of L", u"acb"),
        fails("item past the end", u"return item 4 of {1, 2, 3}", errors::cantGet),
        fails("item 0", u"return item 0 of {1, 2, 3}", errors::cantGet),
        fails("item of a text", u"return item 1 of \"abc\"", errors::cantGet),
        fails("item by a text", u"return item \"1\" of {1}", errors::cantGet),
        ok("count of a list and of a record", u"return {count of {1, {2, 3}}, count {a: 1, b: 2}, count {}}",
           u"2, 2, 0"),
        ok("& joins lists, and adds anything else as an item", u"return {1} & {2, {3}} & 4", u"1, 2, {3}, 4"),
        ok("items a thru b, either way round, from the end too",
           u"set L to {1, 2, 3, 4}\nreturn {items 2 thru 3 of L, items 3 through 1 of L, items -2 thru -1 of "
           u"L}",
           u"{2, 3}, {1, 2, 3}, {3, 4}"),
        fails("items past the end", u"return items 2 thru 5 of {1, 2, 3}", errors::cantGet),
        ok("record literal", u"return {name: \"x\", n: 2}", u"name:\"x\", n:2"),
        ok("a label or a property of a record",
           u"set r to {name: \"x\", n: 2}\nreturn (name of r) & (n of r)", u"x2"),
        fails("a label the record does not have", u"return m of {n: 1}", errors::cantGet),
        ok("records join, the left one winning", u"return {a: 1} & {b: 2, a: 3}", u"a:1, b:2"),
        fails("a record joins only a record", u"return {a: 1} & 2", errors::cantMakeType),
        ok("records are equal whatever the order of their labels",
           u"return {a: 1, b: \"x\"} = {b: \"X\", a: 1.0}", u"true"),
        ok("a record contains another's labels and values",
           u"return {{a: 1, b: 2} contains {b: 2}, "
           u"{a: 1} contains {a: 2}}",
           u"true, false"),
        ok("a list contains a run of items",
           u"return {{1, 2, 3} contains {2, 3}, {1, 2, 3} contains {1, 3}, {{1}, 2} contains {1}}",
           u"true, false, false")));

INSTANTIATE_TEST_SUITE_P(
    Arithmetic, LanguageTest,
    ::testing::Values(
        ok("precedence", u"return {1 + 2 * 3 - 4, (1 + 2) * 3, 2 * 3 mod 4, 10 - 2 - 3}", u"3, 9, 2, 5"),
        ok("/ always makes a real", u"return {7 / 2, 4 / 2}", u"3.5, 2.0"),
        ok("div and mod of integers, with the sign of the number divided",
           u"return {7 div 2, -7 div 2, 7 mod 3, -7 mod 3}", u"3, -3, 1, -1"),
        ok("div of reals is an integer, mod a real", u"return {7.5 div 2, 7.5 mod 2}", u"3, 1.5"),
        ok("^ makes a real and groups from the right; a sign binds tighter",
           u"return {2 ^ 3, 2 ^ 3 ^ 2, -2 ^ 2}", u"8.0, 512.0, 4.0"),
        ok("a real operand makes a real", u"return {1 + 1.5, 3 * 1.0, 2.0 - 2}", u"2.5, 3.0, 0.0"),
        ok("integers past 536870911 are reals", u"return {536870911 + 1, 536870912, -536870911 - 1}",
           u"5.36870912E+8, 5.36870912E+8, -5.36870912E+8"),
        ok("unary minus and plus", u"set x to 5\nreturn {-x, - -x, +x, 1 - -1}", u"-5, 5, 5, 2"),
        ok("a text or a one-item list that is a number counts as one", u"return {\"3\" + 4, {2} * \"1.5\"}",
           u"7, 3.0"),
        ok("-- starts a comment, also after an operand", u"return 5--3", u"5"),
        fails("division by zero", u"return 1 / 0", errors::divideByZero),
        fails("div by zero", u"return 1 div 0", errors::divideByZero),
        fails("mod by zero", u"return 1.5 mod 0", errors::divideByZero),
        fails("a result too large", u"return 10 ^ 400", errors::numericOverflow),
        fails("a text that is no number", u"return \"x\" + 1", errors::cantMakeType),
        fails("true is no number", u"return -true", errors::cantMakeType)));

// Reals as the engine writes them: at most twelve significant digits, always a fraction, and an
// exponent from 10,000 up and from 0.0001 down.
INSTANTIATE_TEST_SUITE_P(
    Reals, LanguageTest,
    ::testing::Values(ok("fraction", u"return 2.5", u"2.5"), ok("whole real", u"return 3.", u"3.0"),
                      ok("large", u"return 1.0E+20", u"1.0E+20"),
                      ok("exponent in lower case", u"return 1e20", u"1.0E+20"),
                      ok("10,000 takes the exponent", u"return 10000.0", u"1.0E+4"),
                      ok("just below", u"return 9999.5", u"9999.5"),
                      ok("0.0001 takes the exponent", u"return 0.0001", u"1.0E-4"),
                      ok("just above", u"return 0.00015", u"0.00015"),
                      ok("twelve digits", u"return 1 / 3", u"0.333333333333"),
                      ok("rounded to twelve digits", u"return 123456789012345", u"1.23456789012E+14"),
                      ok("negative", u"return -0.00001", u"-1.0E-5"),
                      ok("in text", u"return \"r\" & 1.5", u"r1.5")));

INSTANTIATE_TEST_SUITE_P(
    Ordering, LanguageTest,
    ::testing::Values(
        ok("numbers", u"return {3 < 5, 2 ≤ 2, 2 <= 1.5, 2 >= 3, 2.5 > 2, 3 ≥ 3.0}",
           u"true, true, false, false, true, true"),
        ok("in words", u"return {3 is less than 4, 4 is greater than or equal to 4, 4 is greater than 4}",
           u"true, true, false"),
        ok("texts ignore case; an accented letter follows its letter",
           u"return {\"a\" < \"B\", \"é\" < \"f\", \"e\" < \"é\", \"ABC\" ≥ \"abc\", \"b\" > \"a\"}",
           u"true, true, true, true, true"),
        ok("the left operand decides between number and text", u"return {10 < \"9\", \"10\" < 9}",
           u"false, true"),
        ok("numbers of both kinds are equal by value", u"return {1.0 = 1, 1 is not 1.5}", u"true, true"),
        fails("a number and a text that is none", u"return 1 < \"x\"", errors::cantMakeType),
        fails("true and false have no order", u"return true < false", errors::cantMakeType),
        fails("neither have lists", u"return {1} < {2}", errors::cantMakeType)));

INSTANTIATE_TEST_SUITE_P(
    Containment, LanguageTest,
    ::testing::Values(
        ok("texts, ignoring case",
           u"return {\"abc\" starts with \"AB\", \"abc\" begins with \"b\", \"abc\" ends with \"BC\", "
           u"\"b\" is in \"abc\", \"x\" is not in \"abc\", \"abc\" does not contain \"C\"}",
           u"true, false, true, true, true, false"),
        ok("lists",
           u"return {2 is in {1, 2}, {2, 3} is in {1, 2, 3}, {1, 2} starts with 1, "
           u"{1, 2} ends with {1}, {1, 2} does not contain 3}",
           u"true, true, true, false, true"),
        fails("a record only contains a record", u"return {a: 1} contains 1", errors::cantMakeType)));

INSTANTIATE_TEST_SUITE_P(
    Coercions, LanguageTest,
    ::testing::Values(
        ok("to integer", u"return {\"12\" as integer, 2.0 as integer, {5} as integer, \"-3\" as integer}",
           u"12, 2, 5, -3"),
        ok("to real and number", u"return {7 as real, \"3.5\" as number, \"3\" as number, 2 as number}",
           u"7.0, 3.5, 3, 2"),
        ok("to text", u"return {1.5 as text, {1, \"a\", 2.5} as string, 12 as text, missing value as text}",
           u"\"1.5\", \"1a2.5\", \"12\", \"missing value\""),
        ok("to list", u"return {\"abc\" as list, {a: 1, b: 2} as list, {1} as list}",
           u"{\"abc\"}, {1, 2}, {1}"),
        ok("one after another", u"return \"7\" as integer as real as text", u"7.0"),
        fails("a fraction to integer", u"return 1.5 as integer", errors::cantMakeType),
        fails("a real past the integers", u"return 1.0E+20 as integer", errors::cantMakeType),
        fails("a text that is no number", u"return \"1 2\" as number", errors::cantMakeType),
        fails("a list of two to integer", u"return {1, 2} as integer", errors::cantMakeType),
        fails("true to integer", u"return true as integer", errors::cantMakeType),
        fails("a record to text", u"return {a: 1} as text", errors::cantMakeType),
        ok("get", u"set x to get count of {1, 2}\nreturn get x + 1", u"3")));

INSTANTIATE_TEST_SUITE_P(
    Loops, LanguageTest,
    ::testing::Values(
        ok("repeat N times", u"set s to 0\nrepeat 4 times\n    set s to s + 1\nend repeat\nreturn s", u"4"),
        ok("repeat zero and fewer times",
           u"set s to 0\nrepeat -2 times\n    set s to 1\nend repeat\nreturn s", u"0"),
        ok("repeat while", u"set i to 0\nrepeat while i < 3\n    set i to i + 1\nend repeat\nreturn i", u"3"),
        ok("repeat until", u"set i to 0\nrepeat until i ≥ 3\n    set i to i + 2\nend repeat\nreturn i", u"4"),
        ok("repeat with from to",
           u"set s to 0\nrepeat with i from 1 to 10\n    set s to s + i\nend repeat\nreturn s", u"55"),
        ok("repeat with from to by, downward and by a fraction",
           u"set s to {}\nrepeat with i from 10 to 1 by -3\n    set s to s & i\nend repeat\n"
           u"repeat with x from 1 to 2 by 0.5\n    set s to s & x\nend repeat\nreturn s",
           u"10, 7, 4, 1, 1.0, 1.5, 2.0"),
        ok("the bounds are taken once and the count goes on",
           u"set n to 3\nset s to {}\nrepeat with i from 1 to n\n    set n to 1\n    set s to s & i\n"
           u"    set i to 10\nend repeat\nreturn s",
           u"1, 2, 3"),
        ok("repeat for ever, left by exit repeat",
           u"set i to 0\nrepeat\n    set i to i + 1\n    if i = 4 then exit repeat\nend repeat\nreturn i",
           u"4"),
        fails("a fraction of times", u"repeat 2.5 times\nend repeat", errors::cantMakeType),
        fails("a condition that is not true or false", u"repeat while 1\nend repeat", errors::cantMakeType)));

INSTANTIATE_TEST_SUITE_P(
    Syntax, LanguageTest,
    ::testing::Values(
        fails("set without a value", u"set x to", errors::expectedButFound),
        fails("unknown repeat form", u"repeat with i to 3\nend repeat", errors::expectedButFound),
        fails("end without a block", u"end tell", errors::expectedButFound),
        fails("tell without end", u"tell application \"Things3\"\n    return 1", errors::expectedButFound),
        fails("mismatched end", u"tell application \"Things3\"\nend repeat", errors::expectedButFound),
        fails("unknown operator", u"return 2 ** 3", errors::expectedButFound),
        fails("comparisons do not chain", u"return 1 < 2 < 3", errors::expectedButFound),
        fails("item without of", u"return item 1 {1}", errors::expectedButFound),
        fails("unknown class after as", u"return 1 as boolean", errors::expectedButFound),
        fails("a label twice in a record", u"return {a: 1, a: 2}", errors::expectedButFound),
        fails("a record with an item that has no label", u"return {a: 1, 2}", errors::expectedButFound),
        fails("reserved word as a variable", u"set tell to 1", errors::expectedButFound),
        fails("exit outside a repeat", u"exit repeat", errors::exitOutsideRepeat),
        fails("exit in a try outside a repeat", u"try\n    exit repeat\nend try", errors::exitOutsideRepeat),
        fails("unterminated block comment", u"(* open", errors::expectedButFound),
        fails("unknown character", u"return 1 % 2", errors::expectedButFound),
        fails("number glued to a word", u"return 12abc", errors::expectedButFound)));

// Where the reading of a program decides which tag it touches, it follows the language exactly.
TEST(LanguageGrammar, anElementKeyIsOnePrimaryAndAFilterAppliesToElements) {
    ThingsLibrary library;
    const QString a = library.makeTag(QStringLiteral("a"));
    const QString quoted = library.makeTag(QStringLiteral("a\"b"));
    const QString work = library.makeTag(QStringLiteral("Work"));
    library.addTodo(QStringLiteral("one"), standin::TodoState::Open, {work});
    library.addTodo(QStringLiteral("two"), standin::TodoState::Open, {work, a});
    library.addTodo(QStringLiteral("done"), standin::TodoState::Completed, {work});
    const auto result = [&](const QString& body) {
        const auto answer = runOn(library, QStringLiteral("tell application \"Things3\"\n") + body +
                                               QStringLiteral("\nend tell"));
        return answer.failure ? QStringLiteral("error ") + QString::number(answer.failure->number)
                              : answer.printed.value_or(QString());
    };

    EXPECT_EQ(result(QStringLiteral("return id of tag (\"a\" & quote & \"b\")")), quoted);
    EXPECT_EQ(result(QStringLiteral("return id of tag id (\"") + quoted + QStringLiteral("\")")), quoted);
    // Without parentheses `&` joins to the reference `tag "a"`: never the tag a"b.
    EXPECT_EQ(result(QStringLiteral("return id of tag \"a\" & quote & \"b\"")), a + QStringLiteral("\"b"));
    EXPECT_EQ(result(QStringLiteral("return tag \"a\" & quote & \"b\"")),
              QStringLiteral("tag id \"") + a +
                  QStringLiteral("\" of application \"Things3\", \"\\\"\", \"b\""));
    EXPECT_EQ(result(QStringLiteral("return tag \"x\" & quote & \"b\"")), QStringLiteral("error -1728"));

    EXPECT_EQ(result(QStringLiteral("return count of (to dos of tag \"Work\" whose status is open)")),
              QStringLiteral("2"));
    EXPECT_EQ(result(QStringLiteral("return count of (to dos of (tag \"Work\") whose status is open)")),
              QStringLiteral("2"));
    EXPECT_EQ(result(QStringLiteral("return count of to dos of tag \"a\" whose status is open")),
              QStringLiteral("1"));
    EXPECT_EQ(result(QStringLiteral("return count of ((every tag) whose name is \"a\")")),
              QStringLiteral("1"));
    // A filter never applies to a text, a variable or one object.
    const QString syntaxError = QStringLiteral("error ") + QString::number(errors::expectedButFound);
    EXPECT_EQ(result(QStringLiteral("return \"Work\" whose name is \"Work\"")), syntaxError);
    EXPECT_EQ(result(QStringLiteral("return to dos of tag \"Work\" & \"x\" whose status is open")),
              syntaxError);
    EXPECT_EQ(result(QStringLiteral("return tag \"Work\" whose name is \"Work\"")), syntaxError);
    EXPECT_EQ(result(QStringLiteral("set l to tags\nreturn l whose name is \"Work\"")), syntaxError);
}

TEST(LanguageErrors, languageErrorsHaveNoApplicationPrefixButThingsErrorsDo) {
    ThingsLibrary library;
    auto own = runOn(library, QStringLiteral("return nothingHere"));
    ASSERT_TRUE(own.failure);
    EXPECT_EQ(own.failure->message(), QStringLiteral("The variable nothingHere is not defined."));

    auto things =
        runOn(library, QStringLiteral("tell application \"Things3\"\n    delete tag \"Work\"\nend tell"));
    ASSERT_TRUE(things.failure);
    EXPECT_EQ(things.failure->message(), QStringLiteral("Things3 got an error: Can’t get tag \"Work\"."));
    EXPECT_EQ(things.failure->briefMessage, QStringLiteral("Can’t get tag \"Work\"."));
    EXPECT_EQ(things.failure->number, errors::cantGet);
    // The range points at the reference that failed, which osascript reports as START:END.
    EXPECT_EQ(things.failure->start, 38);
    EXPECT_EQ(things.failure->end, 48);

    auto syntax = runOn(library, QStringLiteral("set x to \"a\\qb\""));
    ASSERT_TRUE(syntax.failure);
    EXPECT_EQ(syntax.failure->kind, standin::applescript::ScriptFailure::Kind::Syntax);
    EXPECT_EQ(syntax.failure->start, 11);
}

TEST(LanguageErrors, aSyntaxErrorAnywhereStopsTheWholeProgramBeforeItRuns) {
    ThingsLibrary library;
    const auto answer = runOn(library, QStringLiteral("tell application \"Things3\"\n"
                                                      "    make new tag with properties {name: \"Early\"}\n"
                                                      "end tell\n"
                                                      "return \"\\x\""));
    ASSERT_TRUE(answer.failure);
    EXPECT_EQ(answer.failure->number, errors::expectedButFound);
    EXPECT_EQ(library.tagCount(), 0);
    EXPECT_EQ(library.revision(), 0u);
}

TEST(LanguageLimits, deepNestingIsAnErrorNotACrash) {
    ThingsLibrary library;
    const int depth = 20000;
    const QStringList programs = {
        QString(depth, u'(') + u'1' + QString(depth, u')'),
        QStringLiteral("return ") + QStringLiteral("not ").repeated(depth) + QStringLiteral("true"),
        QStringLiteral("tell application \"Things3\"\nreturn ") + QStringLiteral("id of ").repeated(depth) +
            QStringLiteral("tag \"Work\"\nend tell"),
        QStringLiteral("if true then\n").repeated(depth) + QStringLiteral("end if\n").repeated(depth),
        QStringLiteral("try\n").repeated(depth) + QStringLiteral("end try\n").repeated(depth),
    };
    for (const QString& program : programs) {
        const auto answer = runOn(library, program);
        ASSERT_TRUE(answer.failure);
        EXPECT_EQ(answer.failure->number, errors::stackOverflow);
    }
    // Nesting that real programs use is well inside the bound.
    const QString nested = QStringLiteral("if true then\n").repeated(40) +
                           QStringLiteral("return \"deep\"\n") + QStringLiteral("end if\n").repeated(40);
    EXPECT_EQ(runOn(library, nested).printed.value_or(QString()), QStringLiteral("deep"));
}

// What a program parses into is budgeted like what it makes when it runs: past the nodes or the
// bytes allowed, it fails with "Out of memory." before anything runs.
TEST(LanguageLimits, aProgramThatParsesIntoTooMuchFailsBeforeItRuns) {
    standin::applescript::Limits limits;
    limits.maxProgramBytes = 4 << 20;
    limits.maxParseNodes = 100000;
    QString variables;
    for (int i = 0; i < 20000; ++i) {
        variables += QStringLiteral("set v%1 to 1\n").arg(i);
    }
    const QString makeFirst =
        QStringLiteral("tell application \"Things3\" to make new tag with properties {name: \"Early\"}\n");
    const QStringList programs = {
        makeFirst + QStringLiteral("set x to 1\n").repeated(40000), // nodes
        makeFirst + QStringLiteral("return false") + QStringLiteral(" or false").repeated(200000),
        makeFirst + variables,                                                      // bytes for variables
        makeFirst + QStringLiteral("return \"\\n") + QString(1200000, u'x') + u'"', // and for a text
    };
    for (const QString& program : programs) {
        ThingsLibrary library;
        const auto answer = runOn(library, program, limits);
        ASSERT_TRUE(answer.failure) << program.left(80).toStdString();
        EXPECT_EQ(answer.failure->number, errors::outOfMemory) << program.left(80).toStdString();
        EXPECT_EQ(library.tagCount(), 0);
    }
}

TEST(LanguageLimits, veryLongProgramsRunInFull) {
    ThingsLibrary library;
    const int statements = 200000;
    const QString appends = QStringLiteral("set x to \"\"\n") +
                            QStringLiteral("set x to x & \"ab\"\n").repeated(statements) +
                            QStringLiteral("return count of x");
    EXPECT_EQ(runOn(library, appends).printed.value_or(QString()), QString::number(2 * statements));

    // One expression of a hundred thousand operands.
    const QString chain = QStringLiteral("return \"\"") + QStringLiteral(" & \"z\"").repeated(100000);
    EXPECT_EQ(runOn(library, chain).printed.value_or(QString()).size(), 100000);
}

TEST(LanguageLimits, runawayProgramsStopWithTheEngineErrorsEvenInsideTry) {
    ThingsLibrary library;
    standin::applescript::Limits limits;
    limits.maxSteps = 100000;
    limits.maxTextLength = 1 << 20;
    limits.maxListLength = 100000;

    const QString doubling =
        QStringLiteral("set s to \"x\"\nset l to 1 & 2\n"
                       "try\n    repeat with a in l & l & l & l & l & l & l & l & l & l & l & l\n"
                       "        set s to s & s\n    end repeat\nend try\nreturn 1");
    auto grown = runOn(library, doubling, limits);
    ASSERT_TRUE(grown.failure);
    EXPECT_EQ(grown.failure->number, errors::outOfMemory);

    const QString lists =
        QStringLiteral("set l to 1 & 2\nrepeat with a in 1 & 2 & 3 & 4 & 5 & 6 & 7 & 8 & 9 & 10 & 11 & "
                       "12 & 13 & 14 & 15 & 16 & 17 & 18 & 19 & 20\n"
                       "    set l to l & l\nend repeat");
    auto listed = runOn(library, lists, limits);
    ASSERT_TRUE(listed.failure);
    EXPECT_EQ(listed.failure->number, errors::outOfMemory);

    QString loops = QStringLiteral("set l to 1") + QStringLiteral(" & 1").repeated(99) + u'\n';
    loops += QStringLiteral("try\n") + QStringLiteral("repeat with a in l\n").repeated(4) +
             QStringLiteral("set x to 1\n") + QStringLiteral("end repeat\n").repeated(4) +
             QStringLiteral("end try\nreturn 1");
    auto looped = runOn(library, loops, limits);
    ASSERT_TRUE(looped.failure);
    EXPECT_EQ(looped.failure->number, errors::timedOut);
}

// Loops, lists and items stay within the budgets like everything else.
TEST(LanguageLimits, newLoopsAndListsStayWithinTheBudgets) {
    standin::applescript::Limits limits;
    limits.maxSteps = 100000;
    limits.maxBytesMade = 16 << 20;
    const std::pair<QString, qint64> cases[] = {
        {QStringLiteral("try\n    repeat 1000000000 times\n    end repeat\nend try"), errors::timedOut},
        {QStringLiteral("repeat\nend repeat"), errors::timedOut},
        {QStringLiteral("repeat with i from 1 to 2 by 0\nend repeat"), errors::timedOut},
        // 65,536 items made in doublings take 11.5 MiB; a copy of them all takes 5.8 more.
        {QStringLiteral("set L to {1}\nrepeat 16 times\n    set L to L & L\nend repeat\n"
                        "return count of items 1 thru -1 of L"),
         errors::outOfMemory},
        {QStringLiteral("set L to {1}\nrepeat 16 times\n    set L to L & L\nend repeat\n"
                        "return count of items 1 thru 100000000 of L"),
         errors::cantGet},
        // A list wrapped in itself again and again would outgrow the stack of everything that
        // reads it.
        {QStringLiteral("set L to {}\nrepeat 1000 times\n    set L to {L}\nend repeat"),
         errors::stackOverflow},
    };
    for (const auto& [program, number] : cases) {
        ThingsLibrary library;
        const auto answer = runOn(library, program, limits);
        ASSERT_TRUE(answer.failure) << program.toStdString();
        EXPECT_EQ(answer.failure->number, number) << program.toStdString();
    }
}

// Records' labels are unordered, so comparing two records looks every label up in the other: by
// hash, so that two records of 100,000 labels compare in moments, not in the many seconds that
// looking each one up in turn takes.
TEST(LanguageLimits, largeRecordsCompareInTimeProportionalToTheirSize) {
    QStringList fields;
    for (int i = 0; i < 100000; ++i) {
        fields.append(QStringLiteral("label%1: %1").arg(i));
    }
    ThingsLibrary library;
    QElapsedTimer clock;
    clock.start();
    const auto answer = runOn(library, QStringLiteral("set r to {") + fields.join(QStringLiteral(", ")) +
                                           QStringLiteral("}\nreturn r = r"));
    EXPECT_EQ(answer.printed.value_or(QString()), QStringLiteral("true"));
    EXPECT_LT(clock.elapsed(), 3000);
}

TEST(LanguageLimits, joiningOrPrintingMoreThanATextMayHoldIsOutOfMemory) {
    ThingsLibrary library;
    for (const QString& use :
         {QStringLiteral("return L"), QStringLiteral("return \"\" & L"),
          QStringLiteral("set t to \"\"\nset t to t & L"), QStringLiteral("return (\"\" & L) contains \"y\""),
          QStringLiteral("error L")}) {
        const auto answer = runOn(library, hugeListProgram(use));
        ASSERT_TRUE(answer.failure) << use.toStdString();
        EXPECT_EQ(answer.failure->number, errors::outOfMemory) << use.toStdString();
        EXPECT_LT(answer.failure->message().size(), 10000) << use.toStdString();
    }
    // Lists of values are bounded too, long before they could take the machine's memory.
    const QString lists = QStringLiteral("set L to 1 & 2\nrepeat with i in ") +
                          QStringLiteral("1 & ").repeated(29) +
                          QStringLiteral("30\n    set L to L & L\nend repeat");
    const auto answer = runOn(library, lists);
    ASSERT_TRUE(answer.failure);
    EXPECT_EQ(answer.failure->number, errors::outOfMemory);
}

TEST(LanguageLimits, textCostsStepsInProportionToItsLength) {
    ThingsLibrary library;
    standin::applescript::Limits limits;
    limits.maxSteps = 1'000'000;
    // A thousand comparisons on a text of a million characters are far more than a million steps.
    const QString comparisons =
        QStringLiteral("set s to \"x\"\nrepeat with i in ") + QStringLiteral("1 & ").repeated(19) +
        QStringLiteral("20\n    set s to s & s\nend repeat\nset L to 1 & 2\nrepeat with i in ") +
        QStringLiteral("1 & ").repeated(8) + QStringLiteral("9\n    set L to L & L\nend repeat\n") +
        QStringLiteral("repeat with i in L\n    if s contains \"zz\" or s is \"y\" then exit repeat\nend "
                       "repeat\nreturn 1");
    const auto compared = runOn(library, comparisons, limits);
    ASSERT_TRUE(compared.failure);
    EXPECT_EQ(compared.failure->number, errors::timedOut);

    // Joining many small pieces costs each piece, not the whole text built so far: a literal of
    // 120,000 double quotes, as Orvalet writes it, runs within the default budget.
    const QString quotes(120000, u'"');
    const auto joined = runOn(library, QStringLiteral("return ") + ThingsService::appleScriptLiteral(quotes));
    ASSERT_FALSE(joined.failure) << joined.failure->message().toStdString();
    EXPECT_EQ(joined.result, quotes);

    // A name of a million characters with a double quote every second one.
    const QString name = QStringLiteral("a\"").repeated(500000);
    const auto created = runOn(library, ThingsService::createTagScript(name, std::nullopt));
    ASSERT_FALSE(created.failure) << created.failure->message().toStdString();
    EXPECT_EQ(library.tag(*created.result)->name, name);
}

} // namespace
