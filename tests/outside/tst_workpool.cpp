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
    void aQueuedTaskFinishesCancelledAfterTheEnd_data();
    void aQueuedTaskFinishesCancelledAfterTheEnd();
    void cancelFinishesTheWatchersAndTheNextTaskRuns();
    void runServingEventsAnswersMeanwhile_data();
    void runServingEventsAnswersMeanwhile();
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

void tst_WorkPool::aQueuedTaskFinishesCancelledAfterTheEnd_data()
{
    QTest::addColumn<bool>("mapped");
    QTest::newRow("run") << false;
    QTest::newRow("mapped") << true;
}

// A task still queued when its pool ends is not dropped unfinished: its future ends,
// cancelled, once the thread is free (a dropped mapped job would also leak its engine).
void tst_WorkPool::aQueuedTaskFinishesCancelledAfterTheEnd()
{
    QFETCH(bool, mapped);
    auto shared = std::make_shared<Shared>();
    QFuture<void> queued;
    const QList<int> items{1, 2, 3};
    {
        WorkPool pool(1);
        pool.run([shared] {
            shared->entered.release();
            shared->gate.acquire();
        });
        if (mapped)
            queued = QFuture<void>(pool.mapped(items, [shared](int item) { return item + ++shared->ran; }));
        else
            queued = pool.run([shared] { ++shared->ran; });
        QVERIFY(shared->entered.tryAcquire(1, 5000));
    }
    shared->gate.release();
    QTRY_VERIFY_WITH_TIMEOUT(queued.isFinished(), 5000);
    QVERIFY(queued.isCanceled());
    QCOMPARE(shared->ran.load(), 0);
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

void tst_WorkPool::runServingEventsAnswersMeanwhile_data()
{
    QTest::addColumn<bool>("finishedAtOnce");
    QTest::newRow("long task") << false;
    QTest::newRow("finished before the wait") << true;
}

// The calling thread serves its events while the task runs (here, an event posted by the
// task itself lets it go on), and gets the task's result once it has finished.
void tst_WorkPool::runServingEventsAnswersMeanwhile()
{
    QFETCH(bool, finishedAtOnce);
    auto shared = std::make_shared<Shared>();
    WorkPool pool(1, WorkPool::Ending::Wait);
    QObject receiver;
    int served = 0;
    const int result = pool.runServingEvents([shared, &receiver, &served, finishedAtOnce] {
        if (finishedAtOnce)
            return 7;
        QMetaObject::invokeMethod(&receiver, [shared, &served] {
            ++served;
            shared->gate.release();
        }, Qt::QueuedConnection);
        // Without events served by the waiting thread this never comes.
        return shared->gate.tryAcquire(1, 10000) ? 42 : -1;
    });
    QCOMPARE(result, finishedAtOnce ? 7 : 42);
    QCOMPARE(served, finishedAtOnce ? 0 : 1);

    bool ran = false;
    pool.runServingEvents([&ran] { ran = true; });
    QVERIFY(ran);
}

QTEST_GUILESS_MAIN(tst_WorkPool)
#include "tst_workpool.moc"
