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

TEST(ThingsScripts, fetchAllProgramIsFixed) {
    const QString expected = uR"(tell application "Things3"
    set tagList to tags
    set output to ""
    repeat with t in tagList
        set tid to id of t
        set tname to name of t
        set tparent to ""
        try
            set tparent to id of parent tag of t
        end try
        set tcount to count of (to dos of t whose status is open)
        set output to output & tid & "|||" & tname & "|||" & tparent & "|||" & tcount & "~~~"
    end repeat
    return output
end tell)"_qs;
    const QString script = ThingsService::fetchAllTagsScript();
    EXPECT_EQ(script, expected);
    EXPECT_EQ(script.size(), 463);
    EXPECT_EQ(script.split(u'\n').size(), 15);
}

TEST(ThingsScripts, lookUpByIdPlacesTheIdentifierTwice) {
    EXPECT_EQ(ThingsService::fetchTagByIdScript(uR"(A"1\)"_qs), uR"(tell application "Things3"
    set output to ""
    repeat with t in tags
        if id of t is ("A" & quote & "1\\") then
            set tname to name of t
            set tparent to ""
            try
                set tparent to id of parent tag of t
            end try
            set tcount to count of (to dos of t whose status is open)
            set output to ("A" & quote & "1\\") & "|||" & tname & "|||" & tparent & "|||" & tcount
            exit repeat
        end if
    end repeat
    return output
end tell)"_qs);
}

TEST(ThingsScripts, lookUpByNameKeepsSpacesAndLineBreaksOfTheName) {
    EXPECT_EQ(ThingsService::fetchTagByNameScript(u" Two\nlines "_qs), uR"(tell application "Things3"
    set output to ""
    try
        set t to tag " Two
lines "
        set tid to id of t
        set tname to name of t
        set tparent to ""
        try
            set tparent to id of parent tag of t
        end try
        set tcount to count of (to dos of t whose status is open)
        set output to tid & "|||" & tname & "|||" & tparent & "|||" & tcount
    end try
    return output
end tell)"_qs);
}

TEST(ThingsScripts, deleteProgramQuotesTheName) {
    EXPECT_EQ(ThingsService::deleteTagScript(u"Home"_qs), u"tell application \"Things3\"\n"
                                                          "    delete tag \"Home\"\nend tell"_qs);
    EXPECT_EQ(ThingsService::deleteTagScript(uR"(say "hi"\)"_qs), uR"(tell application "Things3"
    delete tag ("say " & quote & "hi" & quote & "\\")
end tell)"_qs);
}

TEST(ThingsScripts, updateSendsOnlyWhatChanges) {
    using Parent = std::optional<QString>;
    const QString nfc = u"Caf\u00e9"_qs;
    const QString nfd = u"Cafe\u0301"_qs;
    // Nothing changes: canonically equivalent names and parents are equal, two absent parents too.
    EXPECT_EQ(ThingsService::updateTagScript(nfc, nfd, Parent(nfd), Parent(nfc)), std::nullopt);
    EXPECT_EQ(ThingsService::updateTagScript(u"A"_qs, u"A"_qs, {}, {}), std::nullopt);

    EXPECT_EQ(ThingsService::updateTagScript(u"Old"_qs, u"New"_qs, {}, {}), uR"(tell application "Things3"
    set name of tag "Old" to "New"
end tell)"_qs);
    EXPECT_EQ(ThingsService::updateTagScript(u"Old"_qs, u"Old"_qs, u"P\""_qs, {}),
              uR"(tell application "Things3"
    set parent tag of tag "Old" to tag ("P" & quote & "")
end tell)"_qs);
    // Renamed first, then addressed by the new name; no new parent makes it a root tag.
    EXPECT_EQ(ThingsService::updateTagScript(u"Old"_qs, u"New"_qs, {}, u"P"_qs),
              uR"(tell application "Things3"
    set name of tag "Old" to "New"
    set parent tag of tag "New" to missing value
end tell)"_qs);
}

TEST(ThingsScripts, createSetsTheParentOnlyWhenGiven) {
    EXPECT_EQ(ThingsService::createTagScript(u"New"_qs, {}), uR"(tell application "Things3"
    set newTag to make new tag with properties {name: "New"}
    return id of newTag
end tell)"_qs);
    EXPECT_EQ(ThingsService::createTagScript(u"a\\b"_qs, u"P \"1\""_qs), uR"(tell application "Things3"
    set newTag to make new tag with properties {name: "a\\b"}
    set parent tag of newTag to tag ("P " & quote & "1" & quote & "")
    return id of newTag
end tell)"_qs);
}
