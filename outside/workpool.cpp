#include "outside/workpool.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFutureWatcher>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>

namespace {

// Pools whose owner ended while a task still ran, deleted on the user-interface thread once
// they are idle. Never freed itself: a pool still busy when the program ends is left to the
// process's end, which does not wait for its threads (deleting it would).
class Abandoned
{
public:
    static void adopt(QThreadPool *pool)
    {
        static Abandoned *const abandoned = new Abandoned;
        abandoned->m_pools.push_back(pool);
        if (!QCoreApplication::instance())
            return; // nothing to sweep with: left to the process's end
        if (!abandoned->m_sweep) {
            abandoned->m_sweep = new QTimer;
            abandoned->m_sweep->setInterval(SweepMs);
            QObject::connect(abandoned->m_sweep, &QTimer::timeout, [] { abandoned->sweep(); });
        }
        abandoned->m_sweep->start();
    }

private:
    static constexpr int SweepMs = 500;

    void sweep()
    {
        std::erase_if(m_pools, [](QThreadPool *pool) {
            if (!pool->waitForDone(0))
                return false;
            delete pool;
            return true;
        });
        if (m_pools.empty())
            m_sweep->stop();
    }

    std::vector<QThreadPool *> m_pools;
    QTimer *m_sweep = nullptr;
};

} // namespace

WorkPool::WorkPool(int threads, Ending ending)
    : m_pool(new QThreadPool), m_ending(ending), m_stop(std::make_shared<std::atomic_bool>(false))
{
    setMaxThreadCount(threads);
}

WorkPool::~WorkPool()
{
    // Cancelled, a task still queued ends as soon as it starts. Not cleared from the queue:
    // the pool would drop a mapped job's engine without deleting it (it is not auto-deleted),
    // and a run task's future would never finish.
    cancel();
    if (m_ending == Ending::Wait || m_pool->waitForDone(0))
        delete m_pool;
    else
        Abandoned::adopt(m_pool);
}

void WorkPool::setMaxThreadCount(int threads)
{
    m_pool->setMaxThreadCount(std::max(1, threads));
}

int WorkPool::maxThreadCount() const
{
    return m_pool->maxThreadCount();
}

void WorkPool::cancel()
{
    m_stop->store(true);
    m_stop = std::make_shared<std::atomic_bool>(false);
    for (QFuture<void> &future : m_futures)
        future.cancel();
    m_futures.clear();
}

bool WorkPool::waitForDone(int msecs)
{
    return m_pool->waitForDone(msecs);
}

void WorkPool::serveUntilFinished(const QFuture<void> &future)
{
    QFutureWatcher<void> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(future);
    // The watcher tells of the end through the loop, also when it came before exec().
    if (!future.isFinished())
        loop.exec();
}

void WorkPool::keep(const QFuture<void> &future)
{
    std::erase_if(m_futures, [](const QFuture<void> &kept) { return kept.isFinished(); });
    m_futures.push_back(future);
}
