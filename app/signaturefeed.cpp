#include "signaturefeed.h"

#include <QFutureWatcher>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

SignatureFeed::SignatureFeed(QEventLoop::ProcessEventsFlags waitFlags)
    : m_pool(pool())
    , m_waitFlags(waitFlags)
    , m_limit(qsizetype(AheadPerThread) * std::max(1, m_pool->maxThreadCount()))
{
}

QThreadPool *SignatureFeed::pool()
{
    static QThreadPool signatures;
    return &signatures;
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
    pending.signature = QtConcurrent::run(m_pool, &computePictureSignature, pending.path);
    pending.started = true;
    m_started.insert(pending.path);
}

bool SignatureFeed::waitForNext()
{
    Pending &next = m_queue.head();
    if (!next.started)
        start(next);
    // A copy: whatever runs during the wait cannot take the future away from it.
    const QFuture<Result> signature = next.signature;
    if (signature.isFinished())
        return true;
    QFutureWatcher<Result> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(signature);
    loop.exec(m_waitFlags);
    return signature.isFinished();
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
