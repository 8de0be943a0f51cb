#include "signaturefeed.h"

#include <QFutureWatcher>
#include <QTimer>

#include <algorithm>

namespace {
// A wait lets the window take what is ready about this often, not after every picture:
// each turn of the event loop repaints the window (1 to 2 ms), fifty times what adding a
// row costs, and that time would go to the pool's threads.
constexpr qint64 TurnMs = 40;
} // namespace

SignatureFeed::SignatureFeed(WorkPool &pool, QEventLoop::ProcessEventsFlags waitFlags)
    : m_pool(pool)
    , m_waitFlags(waitFlags)
    , m_limit(qsizetype(AheadPerThread) * std::max(1, m_pool.maxThreadCount()))
{
}

SignatureFeed::~SignatureFeed()
{
    clear();
}

void SignatureFeed::append(const QString &path, bool listed)
{
    Pending pending;
    pending.path = path;
    if (!listed && !m_started.contains(path))
        start(pending);
    m_queue.enqueue(std::move(pending));
}

void SignatureFeed::start(Pending &pending)
{
    // The path is copied into the task: nothing of the window or of this feed is shared.
    using FromFile = std::optional<PictureSignature> (*)(const QString &);
    pending.signature = m_pool.run(static_cast<FromFile>(&computePictureSignature), pending.path);
    pending.started = true;
    m_started.insert(pending.path);
}

bool SignatureFeed::waitForNext()
{
    Pending &next = m_queue.head();
    if (!next.started)
        start(next);
    // Copies: whatever runs during the wait cannot take the futures away from it.
    const QFuture<Result> front = next.signature;
    if (front.isFinished())
        return true;
    // The last picture being computed: once it is there, the pool has nothing left to do.
    QFuture<Result> back = front;
    for (auto it = m_queue.crbegin(); it != m_queue.crend(); ++it) {
        if (it->started) {
            back = it->signature;
            break;
        }
    }

    // The turn ends when the next picture is there and either a turn's time has passed
    // since the last one or the pool has run out of work.
    QEventLoop loop;
    QTimer pace;
    pace.setSingleShot(true);
    const auto endTurn = [&] {
        if (front.isFinished() && (!pace.isActive() || back.isFinished()))
            loop.quit();
    };
    const qint64 sinceTurn = m_sinceTurn.isValid() ? m_sinceTurn.elapsed() : TurnMs;
    if (sinceTurn < TurnMs)
        pace.start(int(TurnMs - sinceTurn));
    QFutureWatcher<Result> frontWatcher;
    QFutureWatcher<Result> backWatcher;
    QObject::connect(&pace, &QTimer::timeout, &loop, endTurn);
    QObject::connect(&frontWatcher, &QFutureWatcherBase::finished, &loop, endTurn);
    QObject::connect(&backWatcher, &QFutureWatcherBase::finished, &loop, endTurn);
    frontWatcher.setFuture(front);
    backWatcher.setFuture(back);
    loop.exec(m_waitFlags);
    m_sinceTurn.start();
    return front.isFinished();
}

std::optional<PictureSignature> SignatureFeed::takeNext()
{
    Pending next = m_queue.dequeue();
    if (!next.started)
        return std::nullopt;
    m_started.remove(next.path);
    if (!next.signature.isFinished()) {
        next.signature.cancel(); // not waited for: not wanted
        return std::nullopt;
    }
    return next.signature.result();
}

void SignatureFeed::clear()
{
    // Not yet started: never runs. Running: its result is dropped with the last copy.
    for (Pending &pending : m_queue) {
        if (pending.started)
            pending.signature.cancel();
    }
    m_queue.clear();
    m_started.clear();
}
