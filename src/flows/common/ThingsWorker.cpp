#include "ThingsWorker.h"

#include <QtConcurrent/QtConcurrentRun>

namespace orvalet {

ThingsWorker::ThingsWorker(std::unique_ptr<ScriptEngine> engine)
    : m_engine(std::move(engine))
    , m_service(*m_engine) {
    // One thread runs the programs in submission order (the pool's queue is first in, first out
    // at equal priority), and it is kept for the life of the worker instead of expiring when idle.
    m_pool.setMaxThreadCount(1);
    m_pool.setExpiryTimeout(-1);
}

ThingsWorker::~ThingsWorker() {
    // The queued jobs hold the service, which holds the engine: neither may go before they have run.
    m_pool.waitForDone();
    *m_onAnswer = {};
}

QFuture<void> ThingsWorker::submit(std::function<void(const ThingsService&)> job) {
    return QtConcurrent::run(&m_pool, [service = &m_service, job = std::move(job)] { job(*service); });
}

} // namespace orvalet
