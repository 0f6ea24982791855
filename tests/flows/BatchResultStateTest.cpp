// What the batch result sheet shows for each outcome of a save, beyond the headline the window's
// tests read.
#include "BatchResultState.h"

#include <gtest/gtest.h>

using namespace orvalet;
using Tint = BatchResultState::Tint;

namespace {

TEST(BatchResultSheet, successListsEveryUpdatedTagEvenNone) {
    for (const QStringList& updated : {QStringList{u"Home"_qs}, QStringList{}}) {
        const BatchResultState state = BatchResultState::success(updated);
        EXPECT_EQ(state.headlineTint(), Tint::green);
        // One tag still reads "tag(s)".
        EXPECT_EQ(state.summary(), QString::number(updated.size()) + u" tag(s) updated successfully.");
        EXPECT_EQ(state.errorText(), std::nullopt);
        EXPECT_EQ(state.namesCaption(), std::nullopt);
        EXPECT_TRUE(state.showsNames()); // the list shows even when empty
        EXPECT_EQ(state.names(), updated);
    }
}

TEST(BatchResultSheet, failureNamesTheTagVerbatimAndListsWhatWasUpdatedBeforeIt) {
    const QString longError =
        u"AppleScript error: Things3 got an error: Can\u2019t get tag \"Work\". "_qs.repeated(8);
    const BatchResultState first = BatchResultState::failure(u"Work"_qs, longError, {});
    EXPECT_EQ(first.headlineTint(), Tint::red);
    EXPECT_EQ(first.errorText(), longError);
    EXPECT_FALSE(first.showsNames());

    const BatchResultState later =
        BatchResultState::failure(u"Say \"hi\""_qs, u"e"_qs, {u"Zed"_qs, u"alpha"_qs});
    EXPECT_EQ(later.summary(), u"Failed on tag \"Say \"hi\"\":");
    EXPECT_EQ(later.namesCaption(), u"Already updated before failure:");
    EXPECT_TRUE(later.showsNames());
    EXPECT_EQ(later.names(), (QStringList{u"Zed"_qs, u"alpha"_qs}));
}

} // namespace
