#include "ThingsService.h"

#include "ScriptEngine.h"
#include "TestPrinters.h"
#include "ThingsError.h"

#include <gtest/gtest.h>

using namespace orvalet;

namespace {

// Answers every program with one prepared outcome, or the next of several, and keeps the programs
// it was given.
class RecordingEngine final : public ScriptEngine {
public:
    std::optional<ScriptOutcome> answer = ScriptOutcome{};
    mutable QList<std::optional<ScriptOutcome>> nextAnswers;
    mutable QStringList programs;

    std::optional<ScriptOutcome> run(const QString& source) const override {
        programs.append(source);
        return nextAnswers.isEmpty() ? answer : nextAnswers.takeFirst();
    }
};

QString failureMessage(const ThingsService& service) {
    try {
        service.runAppleScript(u"x"_qs);
    } catch (const ThingsError& error) {
        return error.message();
    }
    ADD_FAILURE() << "no ThingsError";
    return {};
}

} // namespace

TEST(ThingsService, runnerTurnsEveryOutcomeIntoATextOrOneError) {
    RecordingEngine engine;
    const ThingsService service(engine);
    engine.answer = std::nullopt;
    EXPECT_EQ(failureMessage(service), u"Could not compile AppleScript.");

    const ScriptError full{u"full"_qs, u"brief"_qs, -1728, u"{dictionary}"_qs};
    engine.answer = ScriptOutcome{u"a result"_qs, full}; // the dictionary wins over the result
    EXPECT_EQ(failureMessage(service), u"full");
    engine.answer = ScriptOutcome{{}, ScriptError{{}, u"brief"_qs, -1728, u"{dictionary}"_qs}};
    EXPECT_EQ(failureMessage(service), u"brief");
    engine.answer = ScriptOutcome{{}, ScriptError{{}, {}, {}, u"{number = -600}"_qs}};
    EXPECT_EQ(failureMessage(service), u"{number = -600}");

    engine.answer = ScriptOutcome{};
    EXPECT_EQ(service.runAppleScript(u"x"_qs), QString());
    engine.answer = ScriptOutcome{u" id\n"_qs, {}};
    EXPECT_EQ(service.runAppleScript(u"x"_qs), u" id\n"); // unchanged
}

TEST(ThingsService, errorDescriptionTellsWhenThingsIsNotOpen) {
    const QString notOpen = u"Things 3 is not open. Please open Things 3 and try again."_qs;
    const std::pair<QString, QString> cases[] = {
        {u"Things3 got an error: Application isn\u2019t running."_qs, notOpen},
        {u"Application isn't running."_qs, notOpen},
        {u"APPLICATION ISN\u2019T RUNNING"_qs, notOpen},
        {u"Helper NOT Running"_qs, notOpen},
        {u"{NSAppleScriptErrorNumber = -600;}"_qs, notOpen},
        {u"error-600x"_qs, notOpen},
        {u"isnt running"_qs, u"AppleScript error: isnt running"_qs},
        {u"Can\u2019t get tag \"a\"."_qs, u"AppleScript error: Can\u2019t get tag \"a\"."_qs},
        {u"Could not compile AppleScript."_qs, u"AppleScript error: Could not compile AppleScript."_qs},
        {u"x"_qs, u"AppleScript error: x"_qs},
        {QString(), u"AppleScript error: "_qs},
    };
    for (const auto& [message, expected] : cases) {
        const ThingsError error = ThingsError::appleScriptFailed(message);
        EXPECT_EQ(error.message(), message);
        EXPECT_EQ(error.errorDescription(), expected) << qPrintable(message);
    }
}

TEST(ThingsService, operationsRunOneProgramAndReadItsAnswer) {
    RecordingEngine engine;
    const ThingsService service(engine);
    engine.answer = ScriptOutcome{u"T1|||Home|||||| 2\n"_qs, {}};
    EXPECT_EQ(service.fetchTagById(u"T1"_qs), ThingsTagRecord({u"T1"_qs, u"Home"_qs, {}, 2}));
    EXPECT_EQ(engine.programs, QStringList{ThingsService::fetchTagByIdScript(u"T1"_qs)});
    // Nothing changes: nothing runs.
    EXPECT_EQ(service.changeTag({{u"T1"_qs, u"Same"_qs}, u"Same"_qs, u"P"_qs, u"P"_qs, {}, {}}, true).name,
              u"Same");
    EXPECT_EQ(engine.programs.size(), 1);
    engine.answer = ScriptOutcome{u"NEW-ID\r\n"_qs, {}};
    EXPECT_EQ(service.createTag(u"New"_qs, std::nullopt, true), u"NEW-ID");
}

// A connection lost or an answer too late leaves the change unknown: Things 3 is asked what it holds
// now, and what it holds decides. Any other failure is told as it came.
TEST(ThingsService, aLostOrLateAnswerIsSettledByWhatThingsHolds) {
    RecordingEngine engine;
    const ThingsService service(engine);
    const ThingsTagChange move{{u"T1"_qs, u"Kid"_qs}, u"Kid"_qs, {}, u"P7"_qs, {}, u"Seven"_qs};
    const auto failed = [](int number) {
        return ScriptOutcome{std::nullopt, ScriptError{u"lost"_qs, u"lost"_qs, number, u"lost"_qs}};
    };
    for (const int number : {-609, -1712}) {
        engine.programs.clear();
        engine.nextAnswers = {failed(number), ScriptOutcome{u"P7|||Kid"_qs, {}}};
        EXPECT_EQ(service.changeTag(move, true), ThingsTagState({u"Kid"_qs, u"P7"_qs})) << number;
        EXPECT_EQ(engine.programs.value(1), ThingsService::tagStateScript(u"T1"_qs));

        engine.nextAnswers = {failed(number), ScriptOutcome{u"|||Kid"_qs, {}}};
        try {
            service.changeTag(move, true);
            ADD_FAILURE() << "a move Things 3 does not hold was reported as done";
        } catch (const ThingsError& error) {
            EXPECT_EQ(error.tagNow(), ThingsTagState({u"Kid"_qs, std::nullopt}));
        }
    }
    engine.programs.clear();
    engine.nextAnswers = {failed(-10000)};
    EXPECT_THROW(service.changeTag(move, true), ThingsError);
    EXPECT_EQ(engine.programs.size(), 1);
}
