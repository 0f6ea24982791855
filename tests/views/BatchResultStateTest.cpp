// What the batch result sheet shows for each outcome of a save.
#include "BatchResultState.h"

#include <gtest/gtest.h>

using namespace orvalet;

namespace {

struct SheetCase {
    const char* label;
    BatchResultState state;
    QString headline;
    QString symbol;
    BatchResultState::Tint tint;
    QString summary;
    std::optional<QString> errorText;
    std::optional<QString> namesCaption;
    bool showsNames;
    QStringList names;
};

void PrintTo(const SheetCase& c, std::ostream* os) {
    *os << c.label;
}

class BatchResultSheetTexts : public ::testing::TestWithParam<SheetCase> {};

TEST_P(BatchResultSheetTexts, showWhatTheOutcomeHolds) {
    const SheetCase& c = GetParam();
    EXPECT_EQ(c.state.headline(), c.headline);
    EXPECT_EQ(c.state.headlineSymbol(), c.symbol);
    EXPECT_EQ(c.state.headlineTint(), c.tint);
    EXPECT_EQ(c.state.summary(), c.summary);
    EXPECT_EQ(c.state.errorText(), c.errorText);
    EXPECT_EQ(c.state.namesCaption(), c.namesCaption);
    EXPECT_EQ(c.state.showsNames(), c.showsNames);
    EXPECT_EQ(c.state.names(), c.names);
}

const QString success = u"All Tags Successfully Updated"_qs;
const QString failed = u"Update Failed"_qs;
const QString tick = u"checkmark.circle.fill"_qs;
const QString cross = u"xmark.circle.fill"_qs;
const QString longError =
    u"AppleScript error: Things3 got an error: Can\u2019t get tag \"Work\". "_qs.repeated(8);
using Tint = BatchResultState::Tint;

INSTANTIATE_TEST_SUITE_P(
    Outcomes, BatchResultSheetTexts,
    ::testing::Values(
        // One tag still reads "tag(s)".
        SheetCase{"oneUpdated",
                  BatchResultState::success({u"Home"_qs}),
                  success,
                  tick,
                  Tint::green,
                  u"1 tag(s) updated successfully."_qs,
                  std::nullopt,
                  std::nullopt,
                  true,
                  {u"Home"_qs}},
        // The list shows even when empty.
        SheetCase{"noneUpdated",
                  BatchResultState::success({}),
                  success,
                  tick,
                  Tint::green,
                  u"0 tag(s) updated successfully."_qs,
                  std::nullopt,
                  std::nullopt,
                  true,
                  {}},
        SheetCase{"failedFirst",
                  BatchResultState::failure(u"Work"_qs, longError, {}),
                  failed,
                  cross,
                  Tint::red,
                  u"Failed on tag \"Work\":"_qs,
                  longError,
                  std::nullopt,
                  false,
                  {}},
        // Names are verbatim, a double quote in one included.
        SheetCase{"failedAfterTwo",
                  BatchResultState::failure(u"Say \"hi\""_qs, u"e"_qs, {u"Zed"_qs, u"alpha"_qs}),
                  failed,
                  cross,
                  Tint::red,
                  u"Failed on tag \"Say \"hi\"\":"_qs,
                  u"e"_qs,
                  u"Already updated before failure:"_qs,
                  true,
                  {u"Zed"_qs, u"alpha"_qs}}),
    [](const ::testing::TestParamInfo<SheetCase>& info) { return std::string(info.param.label); });

} // namespace
