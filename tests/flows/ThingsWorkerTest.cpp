// The worker that runs every program: one thread, submission order, results back on the awaiting
// thread, errors as values, and an interface thread that stays free meanwhile.
#include "ThingsWorker.h"

#include "StandInEngine.h"
#include "StandInProcess.h"
#include "TestPrinters.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QTimer>
#include <gtest/gtest.h>

using namespace orvalet;

namespace {

// An engine for jobs that do not reach Things 3, or that fail the way it does when it is not running.
class NotRunningEngine final : public ScriptEngine {
public:
    std::optional<ScriptOutcome> run(const QString&) const override {
        return ScriptOutcome{std::nullopt,
                             ScriptError{u"Things3 got an error: Application isn\u2019t running."_qs,
                                         u"Application isn\u2019t running."_qs,
                                         -600,
                                         {}}};
    }
};

// QCoro::waitFor wants a result it can default-construct; a ThingsResult always holds a value or an error.
template <typename T>
ThingsResult<T> finish(QCoro::Task<ThingsResult<T>> task) {
    std::optional<ThingsResult<T>> result;
    QCoro::waitFor([&]() -> QCoro::Task<> {
        result.emplace(co_await task);
    }());
    return std::move(*result);
}

struct Journal {
    QMutex mutex;
    QList<int> order;
    QSet<QThread*> threads;
};

void record(const ThingsService&, int index, Journal* journal) {
    QThread::msleep(5); // long enough for a second thread, if there were one, to overtake
    const QMutexLocker lock(&journal->mutex);
    journal->order.append(index);
    journal->threads.insert(QThread::currentThread());
}

QCoro::Task<QThread*> runRecorded(ThingsWorker& worker, int index, Journal& journal) {
    co_await worker.run(record, index, &journal);
    co_return QThread::currentThread();
}

int answer(const ThingsService&) {
    return 42;
}

void nothing(const ThingsService&) {}

void fail(const ThingsService&, const QString& message) {
    throw ThingsError::appleScriptFailed(message);
}

TEST(ThingsWorker, runsJobsInOrderOnOneThreadAndReturnsTheirResultsOnTheAwaitingThread) {
    ThingsWorker worker(std::make_unique<NotRunningEngine>());
    Journal journal;
    std::vector<QCoro::Task<QThread*>> tasks;
    for (int i = 0; i < 6; ++i) {
        tasks.push_back(runRecorded(worker, i, journal));
    }
    for (auto& task : tasks) {
        EXPECT_EQ(QCoro::waitFor(std::move(task)), QThread::currentThread());
    }
    EXPECT_EQ(journal.order, (QList<int>{0, 1, 2, 3, 4, 5}));
    ASSERT_EQ(journal.threads.size(), 1);
    EXPECT_NE(*journal.threads.begin(), QThread::currentThread());

    // Values and Things 3's errors, thrown or answered, come back as results.
    const auto failed = finish(worker.run(&ThingsService::runAppleScript, u"return 1"_qs));
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error().errorDescription(),
              u"Things 3 is not open. Please open Things 3 and try again.");
    EXPECT_EQ(finish(worker.run(answer)).value(), 42);
    EXPECT_TRUE(finish(worker.run(nothing)).hasValue());
    const auto thrown = finish(worker.run(fail, u"x"_qs));
    ASSERT_FALSE(thrown);
    EXPECT_EQ(thrown.error().message(), u"x");
}

TEST(ThingsWorker, interfaceThreadKeepsRunningWhileThingsAnswersSlowly) {
    StandInProcess standIn;
    ASSERT_TRUE(standIn.start({u"--delay-ms"_qs, u"600"_qs}));
    ThingsWorker worker(std::make_unique<StandInEngine>());

    int ticks = 0;
    QTimer timer;
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
    timer.start();
    QElapsedTimer elapsed;
    elapsed.start();
    const auto count =
        finish(worker.run(&ThingsService::runAppleScript,
                          u"tell application \"Things3\"\n    return count of tags\nend tell"_qs));
    ASSERT_TRUE(count) << count.error().message().toStdString();
    EXPECT_EQ(count.value(), u"0");
    EXPECT_GE(elapsed.elapsed(), 600);
    // About 30 ticks fit in the delay; a blocked interface thread would see none.
    EXPECT_GE(ticks, 10);
}

} // namespace
