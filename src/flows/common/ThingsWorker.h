#pragma once

#include "ScriptEngine.h"
#include "ThingsError.h"
#include "ThingsService.h"

#include <QCoroSignal>
#include <QCoroTask>
#include <QFuture>
#include <QFutureWatcher>
#include <QThreadPool>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

namespace orvalet {

// What a job of the worker gives back to the interface thread: the job's value, or the ThingsError
// it raised. A job returning void gives a ThingsResult<void>, whose value is std::monostate.
template <typename T>
class ThingsResult final {
public:
    using Value = std::conditional_t<std::is_void_v<T>, std::monostate, T>;

    ThingsResult(Value value)
        : m_outcome(std::in_place_index<0>, std::move(value)) {}
    ThingsResult(ThingsError error)
        : m_outcome(std::in_place_index<1>, std::move(error)) {}

    bool hasValue() const { return m_outcome.index() == 0; }
    explicit operator bool() const { return hasValue(); }

    // Only when hasValue().
    const Value& value() const& { return std::get<0>(m_outcome); }
    Value&& value() && { return std::get<0>(std::move(m_outcome)); }
    // Only when !hasValue().
    const ThingsError& error() const { return std::get<1>(m_outcome); }

private:
    std::variant<Value, ThingsError> m_outcome;
};

// What ThingsWorker::run accepts as a job: a ThingsService operation or a plain function, never a lambda.
template <typename Function>
concept ThingsJob =
    std::is_member_function_pointer_v<Function> || std::is_function_v<std::remove_pointer_t<Function>>;

// Runs every AppleScript program of the application, one at a time, in the order they were
// submitted, on one thread of its own, so that the interface thread never waits for Things 3.
//
// A job is a ThingsService operation, or a function whose first parameter is the service, with the
// other arguments it takes; they are copied into the job. A flow co_awaits run() on the interface
// thread and continues there once the job has finished:
//
//     const auto found = co_await worker.run(&ThingsService::fetchTagById, id);
//     if (found && found.value()) { ... write the store ... }
//
// A ThingsError thrown by the job is caught on the worker thread and comes back as the result's
// error. A job must not touch the store, the preferences or any other object of the interface thread.
//
// Jobs are not lambdas on purpose: GCC 12 destroys the captures of a lambda written inside a
// co_await expression twice, and `co_await worker.run([name] { ... })` would be exactly that. For
// the same reason, never write a capturing lambda inside any co_await expression.
//
// One worker serves the whole application (OrvaletApp::worker()). Destroying it waits for the
// jobs already submitted.
class ThingsWorker final {
public:
    explicit ThingsWorker(std::unique_ptr<ScriptEngine> engine);
    ~ThingsWorker();

    ThingsWorker(const ThingsWorker&) = delete;
    ThingsWorker& operator=(const ThingsWorker&) = delete;

    template <typename Function, typename... Args>
    using ResultOf = ThingsResult<std::invoke_result_t<Function&, const ThingsService&, Args&...>>;

    // Queues the job behind the jobs submitted before it. The task completes on the thread that
    // awaited it.
    template <ThingsJob Function, typename... Args>
    QCoro::Task<ResultOf<Function, Args...>> run(Function function, Args... args);

    // Called on the interface thread after each job that reached Things 3 (its value, or a failure
    // other than Things 3 being closed or silent), once the job's flow has gone on: the moment to ask
    // about changes whose answer was lost before.
    void setOnAnswer(std::function<void()> onAnswer) { *m_onAnswer = std::move(onAnswer); }

private:
    // Queues a job that cannot throw; the future finishes when it has run.
    QFuture<void> submit(std::function<void(const ThingsService&)> job);

    std::unique_ptr<ScriptEngine> m_engine;
    ThingsService m_service;
    QThreadPool m_pool;
    // Shared with the flows waiting for an answer: one that goes on after the worker is gone finds it
    // emptied by the destructor, and calls nothing.
    std::shared_ptr<std::function<void()>> m_onAnswer = std::make_shared<std::function<void()>>();
};

template <ThingsJob Function, typename... Args>
QCoro::Task<ThingsWorker::ResultOf<Function, Args...>> ThingsWorker::run(Function function, Args... args) {
    using Result = ResultOf<Function, Args...>;
    using Returned = std::invoke_result_t<Function&, const ThingsService&, Args&...>;
    // Written on the worker thread before the future finishes, read here after it has: the future
    // orders the two. The job is made in a statement of its own, outside the co_await (see above).
    auto outcome = std::make_shared<std::optional<Result>>();
    const QFuture<void> done =
        submit([function, ... args = std::move(args), outcome](const ThingsService& things) mutable {
            try {
                if constexpr (std::is_void_v<Returned>) {
                    std::invoke(function, things, args...);
                    outcome->emplace(std::monostate{});
                } else {
                    outcome->emplace(std::invoke(function, things, args...));
                }
            } catch (const ThingsError& error) {
                outcome->emplace(error);
            }
        });
    // A watcher reports even a future that is already finished in a later turn of the event loop,
    // so a flow never completes inside the call that started it: its busy state is always seen,
    // and whatever the caller does right after starting it happens before the flow goes on.
    QFutureWatcher<void> watcher;
    watcher.setFuture(done);
    const std::shared_ptr<std::function<void()>> onAnswer = m_onAnswer;
    co_await qCoro(&watcher, &QFutureWatcher<void>::finished);
    if (*onAnswer && ((*outcome)->hasValue() || !(*outcome)->error().isUnreachable()))
        (*onAnswer)();
    co_return std::move(**outcome);
}

} // namespace orvalet
