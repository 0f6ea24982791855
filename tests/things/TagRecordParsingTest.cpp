#include "TestPrinters.h"
#include "ThingsService.h"

#include <gtest/gtest.h>
#include <limits>
#include <vector>

using orvalet::ThingsService;
using orvalet::ThingsTagRecord;
using Record = std::optional<ThingsTagRecord>;

TEST(TagRecordParsing, listReadsRecordsInOrderAndSkipsUnreadableOnes) {
    const QString output = u"A1|||Work||||||3~~~"
                           "X|||a|||b|||c|||1~~~" // a name holding "|||": five fields
                           "Y|||x~~~y||||||0~~~"  // a name holding "~~~": two broken pieces
                           "Z|||||||||2~~~"       // empty name
                           "|||Home||||||2~~~"    // empty identifier
                           "\n~~~ \r\n"
                           "E5||| \t|||||||1~~~" // a blank name
                           "B2|||  Errands \t|||A1|||x~~~"
                           "D4|||Tilde||||||1~~~~"
                           "C3|||Last|||B2|||-7"_qs; // the last terminator missing
    const QList<ThingsTagRecord> expected = {
        {u"A1"_qs, u"Work"_qs, std::nullopt, 3},
        {u"B2"_qs, u"  Errands \t"_qs, u"A1"_qs, 0}, // a name is Things 3's, white space and all
        {u"D4"_qs, u"Tilde"_qs, std::nullopt, 1},
        {u"~C3"_qs, u"Last"_qs, u"B2"_qs, -7},
    };
    EXPECT_EQ(ThingsService::parseTagList(output), expected);
}

TEST(TagRecordParsing, fieldsSplitAtSeparatorsFromTheLeftWithoutOverlap) {
    const std::pair<QString, Record> cases[] = {
        {u"A|||B||||C|||1"_qs, ThingsTagRecord{u"A"_qs, u"B"_qs, u"|C"_qs, 1}},
        {u"A||||B|||||C|||1"_qs, ThingsTagRecord{u"A"_qs, u"|B"_qs, u"||C"_qs, 1}},
        {u"A|||B|||C||||1"_qs, ThingsTagRecord{u"A"_qs, u"B"_qs, u"C"_qs, 0}}, // count "|1"
        {u"A|||B|||C|||1|||"_qs, std::nullopt},
        {u"A|||B|||C||1"_qs, std::nullopt},
    };
    for (const auto& [chunk, expected] : cases)
        EXPECT_EQ(ThingsService::parseTagRecord(chunk), expected) << qPrintable(chunk);
}

TEST(TagRecordParsing, emptyOrBlankOutputHasNoRecords) {
    for (const QString& output : {u""_qs, u"\n\n"_qs, u"\r\n \u2028~~~\t~~~"_qs, u"~~~"_qs})
        EXPECT_TRUE(ThingsService::parseTagList(output).isEmpty()) << qPrintable(output);
}

TEST(TagRecordParsing, listTrimsEveryFieldButTheNameOfExactlyTheWhiteSpaceAndNewlineClasses) {
    const QString blanks = u" \t\n\v\f\r\u0085\u00a0\u1680\u2003\u202f\u205f\u3000\u2028\u2029"_qs;
    const QString chunk = blanks + u"A1"_qs + blanks + u"|||"_qs + blanks + u"Work"_qs + blanks + u"|||"_qs +
                          blanks + u"B2"_qs + blanks + u"|||"_qs + blanks + u"4"_qs + blanks;
    EXPECT_EQ(ThingsService::parseTagRecord(chunk),
              Record({u"A1"_qs, blanks + u"Work"_qs + blanks, u"B2"_qs, 4}));
    // Zero-width characters, the byte-order mark and other controls are not white space.
    const QString kept = u"\u200bW\ufeff\u001f"_qs;
    EXPECT_EQ(ThingsService::parseTagRecord(QString(u"A1|||"_qs + kept + u"||||||1"_qs))->name, kept);
}

TEST(TagRecordParsing, countIsASignedDecimalWithin64BitsElseZero) {
    constexpr qint64 max = std::numeric_limits<qint64>::max();
    constexpr qint64 min = std::numeric_limits<qint64>::min();
    std::vector<std::pair<QString, qint64>> cases = {{u"12"_qs, 12},
                                                     {u"+5"_qs, 5},
                                                     {u"-5"_qs, -5},
                                                     {u"007"_qs, 7},
                                                     {u" 12\n"_qs, 12},
                                                     {u"-0"_qs, 0},
                                                     {u"9223372036854775807"_qs, max},
                                                     {u"-9223372036854775808"_qs, min}};
    for (const char16_t* unread :
         {u"9223372036854775808", u"-9223372036854775809", u"99999999999999999999", u"", u"+", u"-", u"+-1",
          u"5x", u"1 2", u"1e3", u"0x1F", u"\u0663", u"\uff11", u"missing value"}) {
        cases.emplace_back(QString::fromUtf16(unread), 0);
    }
    for (const auto& [count, expected] : cases) {
        const QString chunk = u"A|||N||||||"_qs + count;
        const Record record = ThingsService::parseTagRecord(chunk);
        ASSERT_TRUE(record) << qPrintable(count);
        EXPECT_EQ(record->todosCount, expected) << qPrintable(count);
        EXPECT_EQ(ThingsService::parseTagLookup(chunk)->todosCount, expected);
    }
}

TEST(TagRecordParsing, lookUpTrimsOnlyTheWholeAnswerAndTheCount) {
    EXPECT_EQ(ThingsService::parseTagLookup(u"\n A1|||  Work  ||| B2 ||| 3 \r\n"_qs),
              Record({u"A1"_qs, u"  Work  "_qs, u" B2 "_qs, 3}));
    // An empty identifier or name is not rejected by a look-up.
    EXPECT_EQ(ThingsService::parseTagLookup(u"||||||||| "_qs),
              Record({QString(), QString(), std::nullopt, 0}));
    for (const QString& output : {u""_qs, u" \n"_qs, u"A1|||Work|||3"_qs, u"A1|||W|||x|||y|||||1"_qs})
        EXPECT_EQ(ThingsService::parseTagLookup(output), std::nullopt) << qPrintable(output);
}
