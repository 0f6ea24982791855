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
