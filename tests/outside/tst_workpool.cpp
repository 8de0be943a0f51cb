#include "outside/workpool.h"

#include <QFutureWatcher>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <memory>

// What the tasks of these tests share with them: a gate they wait at, and what they did.
struct Shared {
    QSemaphore entered;
    QSemaphore gate;
    std::atomic_int ran{0};
    std::atomic_bool stopped{false};
};

class tst_WorkPool : public QObject
{
    Q_OBJECT

private slots:
    void endingDoesNotWaitForAStuckTask();
    void endingRaisesTheStopFlag();
    void cancelFinishesTheWatchersAndTheNextTaskRuns();
};

// A pool whose task is stuck ends at once; the task never started is dropped, and the
// stuck one still finishes once let go.
void tst_WorkPool::endingDoesNotWaitForAStuckTask()
{
    auto shared = std::make_shared<Shared>();
    {
        WorkPool pool(1);
        pool.run([shared] {
            shared->entered.release();
            shared->gate.acquire(); // stuck, as in a read that never returns
            ++shared->ran;
        });
        pool.run([shared] { ++shared->ran; });
        QVERIFY(shared->entered.tryAcquire(1, 5000));
    } // here the window has gone, the task still stuck
    QCOMPARE(shared->ran.load(), 0);
    shared->gate.release();
    QTRY_COMPARE_WITH_TIMEOUT(shared->ran.load(), 1, 5000);
    QTest::qWait(50);
    QCOMPARE(shared->ran.load(), 1);
}

// A long task that polls the stop flag stops when its pool ends.
void tst_WorkPool::endingRaisesTheStopFlag()
{
    auto shared = std::make_shared<Shared>();
    {
        WorkPool pool(2);
        pool.run([shared, stop = pool.stopFlag()] {
            shared->entered.release();
            while (!stop->load())
                QThread::msleep(1);
            shared->stopped = true;
        });
        QVERIFY(shared->entered.tryAcquire(1, 5000));
    }
    QTRY_VERIFY_WITH_TIMEOUT(shared->stopped.load(), 5000);
}

// Cancelled, a queued task tells its watcher it finished, cancelled; the pool then runs the
// next task with a flag that is not raised.
void tst_WorkPool::cancelFinishesTheWatchersAndTheNextTaskRuns()
{
    auto shared = std::make_shared<Shared>();
    WorkPool pool(1);
    pool.run([shared] {
        shared->entered.release();
        shared->gate.acquire();
    });
    QFutureWatcher<int> queued;
    QSignalSpy finished(&queued, &QFutureWatcherBase::finished);
    queued.setFuture(pool.run([] { return 1; }));
    QVERIFY(shared->entered.tryAcquire(1, 5000));
    const auto oldFlag = pool.stopFlag();
    pool.cancel();
    QVERIFY(oldFlag->load());
    shared->gate.release();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 5000);
    QVERIFY(queued.isCanceled());

    QFutureWatcher<bool> next;
    next.setFuture(pool.run([stop = pool.stopFlag()] { return stop->load(); }));
    next.waitForFinished();
    QCOMPARE(next.result(), false);
}

QTEST_GUILESS_MAIN(tst_WorkPool)
#include "tst_workpool.moc"
