#include "TestPrinters.h"
#include "ThingsService.h"

#include <gtest/gtest.h>

using orvalet::ThingsService;

TEST(ThingsScripts, literalEvaluatesToTheTextWhateverItHolds) {
    const std::pair<QString, QString> cases[] = {
        {u""_qs, uR"("")"_qs},
        {u"ab"_qs, uR"("ab")"_qs},
        {uR"(a"b)"_qs, uR"(("a" & quote & "b"))"_qs},
        {uR"(")"_qs, uR"(("" & quote & ""))"_qs},
        {uR"(a\)"_qs, uR"("a\\")"_qs},
        {uR"(\"\n)"_qs, uR"(("\\" & quote & "\\n"))"_qs},
        // A name crafted to close the literal and run a command stays inside the literal.
        {uR"(\" & (do shell script "id") & ")"_qs,
         uR"(("\\" & quote & " & (do shell script " & quote & "id" & quote & ") & " & quote & ""))"_qs},
        {u"a\nb\r\u2028"_qs, u"\"a\nb\r\u2028\""_qs},
        {u"  Work\t "_qs, u"\"  Work\t \""_qs},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(ThingsService::appleScriptLiteral(text), expected) << qPrintable(text);
}

// How each program runs is tested through the stand-in's interpreter; here, only what a reading of
// the program shows: every value goes in as its literal, quoted as above and never trimmed.
TEST(ThingsScripts, programsCarryEveryValueAsItsLiteral) {
    const QString odd = uR"( say "hi"\)"_qs + u"\n"_qs;
    const QString literal = ThingsService::appleScriptLiteral(odd);
    ASSERT_TRUE(literal.startsWith(u'('));
    EXPECT_EQ(ThingsService::fetchTagByIdScript(odd).count(literal), 2);
    EXPECT_TRUE(ThingsService::fetchTagByNameScript(odd).contains(u"set t to tag " + literal + u'\n'));
    EXPECT_TRUE(ThingsService::deleteTagScript(odd).contains(u"delete tag " + literal + u'\n'));
    EXPECT_TRUE(ThingsService::createTagScript(odd, odd).contains(u"{name: " + literal + u"}"));
    EXPECT_TRUE(ThingsService::createTagScript(odd, odd).contains(u"to tag " + literal + u'\n'));
    EXPECT_FALSE(ThingsService::createTagScript(odd, {}).contains(u"parent"_qs));
    EXPECT_TRUE(ThingsService::updateTagScript(u"Old"_qs, odd, {}, {})->contains(u"to " + literal + u'\n'));
}

TEST(ThingsScripts, updateThatChangesNothingIsNoProgram) {
    using Parent = std::optional<QString>;
    const QString nfc = u"Caf\u00e9"_qs;
    const QString nfd = u"Cafe\u0301"_qs;
    // Canonically equivalent names and parents are equal, two absent parents too.
    EXPECT_EQ(ThingsService::updateTagScript(nfc, nfd, Parent(nfd), Parent(nfc)), std::nullopt);
    EXPECT_EQ(ThingsService::updateTagScript(u"A"_qs, u"A"_qs, {}, {}), std::nullopt);
    EXPECT_NE(ThingsService::updateTagScript(u"A"_qs, u"A"_qs, {}, u"P"_qs), std::nullopt);
    EXPECT_NE(ThingsService::updateTagScript(u"A"_qs, u"a"_qs, {}, {}), std::nullopt);
}

// Writes find their tag by identifier and then use only the forms Things 3 is known to take: the
// name read by `name of tag id`, a rename and a new parent by `tag id`, and the by-name forms only
// where no other is known (a deleted parent for the top level, never `missing value`, which Things 3
// refuses; a deletion), after a check that no other tag has the name.
TEST(ThingsScripts, writesByIdentifierUseOnlyFormsThingsIsKnownToTake) {
    using orvalet::ThingsTagChange;
    const QString namesakeCheck = u"    if (count of (tags whose name is tagName)) > 1 then\n"
                                  "        set sameNames to name of every tag whose name is tagName\n"
                                  "        repeat with k from 1 to count of sameNames\n"
                                  "            if (id of (item k of sameNames)) is not (id of tagName) then "
                                  "error (item k of sameNames) "
                                  "number 9301\n"
                                  "        end repeat\n"
                                  "        error tagName number 9301\n"
                                  "    end if\n"_qs;
    const ThingsTagChange move{{u"T1"_qs, u"Old"_qs}, u"Old"_qs, u"P0"_qs, u"P7"_qs, u"Zero"_qs, u"Seven"_qs};
    EXPECT_EQ(*ThingsService::changeTagScript(move, true),
              u"tell application \"Things3\"\n"
              "    set tagName to name of tag id \"T1\"\n"
              "    set parent tag of tag id \"T1\" to tag id \"P7\"\n"
              "    return tagName\n"
              "end tell");
    const ThingsTagChange renameToTop{{u"T1"_qs, u"Old"_qs}, u"New"_qs, u"P0"_qs, {}, u"Zero"_qs, {}};
    EXPECT_EQ(*ThingsService::changeTagScript(renameToTop, true),
              u"tell application \"Things3\"\n"
              "    set tagName to name of tag id \"T1\"\n"
              "    set name of tag id \"T1\" to \"New\"\n"
              "    set tagName to name of tag id \"T1\"\n" %
                  namesakeCheck %
                  u"    delete parent tag of tag tagName\n"
                  "    return tagName\n"
                  "end tell");
    // By identifier the parents compare by identifier: an unresolved parent is a parent too.
    EXPECT_EQ(
        ThingsService::changeTagScript({{u"T1"_qs, u"Old"_qs}, u"Old"_qs, u"P0"_qs, u"P0"_qs, {}, {}}, true),
        std::nullopt);
    EXPECT_NE(ThingsService::changeTagScript({{u"T1"_qs, u"Old"_qs}, u"Old"_qs, u"P0"_qs, {}, {}, {}}, true),
              std::nullopt);
    EXPECT_EQ(ThingsService::changeTagScript({{u"T1"_qs, u"Old"_qs}, u"Old"_qs, u"P0"_qs, {}, {}, {}}, false),
              std::nullopt);
    for (const bool byId : {true, false}) {
        EXPECT_FALSE(ThingsService::changeTagScript(renameToTop, byId)->contains(u"missing value"_qs));
    }
    EXPECT_EQ(ThingsService::deleteTagScript({u"T1"_qs, u"Old"_qs}, true),
              u"tell application \"Things3\"\n    set tagName to name of tag id \"T1\"\n" % namesakeCheck %
                  u"    delete tag tagName\nend tell");
    EXPECT_EQ(ThingsService::deleteTagScript({u"T1"_qs, u"Old"_qs}, false),
              ThingsService::deleteTagScript(u"Old"_qs));
    // The parent is read before the tag is made, so a parent that is gone makes nothing.
    const QString create = ThingsService::createTagScript(u"Kid"_qs, {{u"P7"_qs, u"Seven"_qs}}, true);
    EXPECT_LT(create.indexOf(u"set parentName to name of tag id \"P7\""), create.indexOf(u"make new tag"));
    EXPECT_TRUE(create.contains(u"set parent tag of newTag to tag id \"P7\"\n"));
}
