#pragma once
// Work off the user-interface thread: a pool of threads that one window (or one object of a
// window) owns and that ends with it. Every window runs its decodes, facts and comparisons
// here, so none shares a queue with another window and none outlives its window.
//
// A task takes values and shared state only, never its window: ending cancels every task
// (those not started never start; those running see stopFlag() raised) and, unless asked to
// wait, does not wait. A task stuck in a read (a pipe under a picture's name, a share that
// went away) keeps its thread until the read returns; the pool is deleted once it is idle,
// while the window has long gone. A program that ends meanwhile does not wait for it either.

#include <QFuture>
#include <QThread>
#include <QtConcurrent/QtConcurrentMap>
#include <QtConcurrent/QtConcurrentRun>

#include <atomic>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

class QThreadPool;

class WorkPool
{
public:
    enum class Ending {
        Abandon, // tasks still running finish on their own
        Wait,    // the end waits for the tasks still running (not for those queued)
    };

    explicit WorkPool(int threads = QThread::idealThreadCount(), Ending ending = Ending::Abandon);
    ~WorkPool();
    WorkPool(const WorkPool &) = delete;
    WorkPool &operator=(const WorkPool &) = delete;

    void setMaxThreadCount(int threads);
    int maxThreadCount() const;

    // QtConcurrent::run on this pool.
    template <typename Function, typename... Args>
    auto run(Function &&function, Args &&...args)
    {
        auto future = QtConcurrent::run(m_pool, std::forward<Function>(function), std::forward<Args>(args)...);
        keep(QFuture<void>(future));
        return future;
    }

    // Runs `function` here while the calling thread, the user-interface thread, goes on
    // serving events, and returns its result: long work in a command whose window keeps
    // answering. The pool must not be cancelled meanwhile.
    template <typename Function>
    auto runServingEvents(Function &&function)
    {
        auto future = run(std::forward<Function>(function));
        serveUntilFinished(QFuture<void>(future));
        if constexpr (!std::is_void_v<std::invoke_result_t<Function>>)
            return future.result();
    }

    // QtConcurrent::mapped on this pool.
    template <typename Sequence, typename Map>
    auto mapped(Sequence &&sequence, Map &&map)
    {
        auto future = QtConcurrent::mapped(m_pool, std::forward<Sequence>(sequence), std::forward<Map>(map));
        keep(QFuture<void>(future));
        return future;
    }

    // QtConcurrent::blockingMap on this pool: `map` runs on every element, and this waits.
    template <typename Sequence, typename Map>
    void blockingMap(Sequence &sequence, Map &&map)
    {
        QtConcurrent::blockingMap(m_pool, sequence, std::forward<Map>(map));
    }

    // Cancels every task started here and raises the stop flag of those running; tasks started
    // afterwards see a new flag. Their watchers still hear that they finished, cancelled.
    void cancel();

    // Raised when the pool is cancelled or ends: a long task polls it to stop between steps.
    std::shared_ptr<const std::atomic_bool> stopFlag() const { return m_stop; }

    // Whether every task has ended within `msecs` (-1: however long it takes); for the tests.
    bool waitForDone(int msecs = -1);

private:
    void keep(const QFuture<void> &future);
    static void serveUntilFinished(const QFuture<void> &future);

    QThreadPool *m_pool; // owned; handed over at the end when a task still runs
    Ending m_ending;
    std::shared_ptr<std::atomic_bool> m_stop;
    std::vector<QFuture<void>> m_futures; // not yet seen finished
};
