#include "OsascriptEngine.h"

#include "TestPrinters.h"
#include "ThingsError.h"
#include "ThingsService.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

using namespace orvalet;

namespace {

const OsascriptEngine fake(QStringLiteral(ORVALET_TEST_DATA "/fake-osascript"));

// The fake's answer to a program whose first line is `mode`.
ScriptOutcome answer(const QString& mode, const QString& rest = {}) {
    const std::optional<ScriptOutcome> outcome = fake.run(mode + u'\n' + rest);
    EXPECT_TRUE(outcome);
    return outcome.value_or(ScriptOutcome{});
}

} // namespace

TEST(OsascriptEngine, resultIsStandardOutputLessOneLineFeed) {
    // The whole program reaches the tool's standard input, byte for byte, large ones too.
    const QString program = u"tell \"Caf\u00e9\"\r\n    say \"\\\"\nend tell"_qs;
    EXPECT_EQ(answer(u"echo"_qs, program).result, program);
    const QString large(1 << 20, u'x');
    EXPECT_EQ(answer(u"echo"_qs, large).result, large);

    EXPECT_EQ(answer(u"cr"_qs).result, u"A1\rB2");
    EXPECT_EQ(answer(u"two-line-feeds"_qs).result, u"x\n");
}

TEST(OsascriptEngine, errorReportGivesMessageAndNumberByItsForm) {
    const std::tuple<QString, QString, qint64> cases[] = {
        {u"not-found"_qs, u"Things3 got an error: Can\u2019t get tag \"Nope\"."_qs, -1728},
        {u"not-running"_qs, u"Things3 got an error: Application isn\u2019t running."_qs, -600},
        {u"syntax"_qs, u"Expected end of line but found identifier."_qs, -2741},
        {u"localized"_qs,
         u"Things3 a rencontr\u00e9 une erreur : Il est impossible d\u2019obtenir tag \"a:b (1)\"."_qs,
         -1728},
        {u"multi-line"_qs, u"Things3 got an error: Can\u2019t get tag \"a\nb\"."_qs, -1728},
    };
    for (const auto& [mode, message, number] : cases) {
        const std::optional<ScriptError> error = answer(mode).error;
        ASSERT_TRUE(error) << qPrintable(mode);
        EXPECT_EQ(error->message, message);
        EXPECT_EQ(error->number, number);
        EXPECT_TRUE(error->description.endsWith(u" (" + QString::number(number) + u')'));
    }
}

TEST(OsascriptEngine, anyOtherFailureBecomesTheDescription) {
    const ScriptError garbage = *answer(u"garbage"_qs).error;
    EXPECT_EQ(garbage.message, std::nullopt);
    EXPECT_EQ(garbage.number, std::nullopt);
    EXPECT_EQ(garbage.description, u"osascript: no such component \"AppleScript\"");
    for (const QString& mode : {u"silent"_qs, u"crash"_qs}) {
        const std::optional<ScriptError> error = answer(mode).error;
        ASSERT_TRUE(error) << qPrintable(mode);
        EXPECT_FALSE(error->description.isEmpty());
    }
}

TEST(OsascriptEngine, toolThatCannotStartIsAnErrorNotAHang) {
    for (const QString& path :
         {u"/nonexistent/osascript"_qs, QStringLiteral(ORVALET_TEST_DATA "/osascript-not-executable")}) {
        QElapsedTimer timer;
        timer.start();
        const std::optional<ScriptOutcome> outcome = OsascriptEngine(path).run(u"return 1"_qs);
        ASSERT_TRUE(outcome && outcome->error) << qPrintable(path);
        EXPECT_TRUE(outcome->error->message->contains(path));
        EXPECT_LT(timer.elapsed(), 5000);
        EXPECT_THROW(ThingsService(OsascriptEngine(path)).runAppleScript(u"return 1"_qs), ThingsError);
    }
}
