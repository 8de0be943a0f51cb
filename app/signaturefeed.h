#pragma once
// The signatures of an add's pictures, computed some pictures ahead in a thread pool
// while the main window takes the pictures one by one, in order, on its own thread. The
// pool's work gets the path and nothing else; what is never taken (a stopped add) is
// cancelled before it starts or, when already running, finishes unseen: it cannot reach
// the catalogue.
//
//     SignatureFeed feed(pool);               // the window's WorkPool
//     feed.append(path, listed);               // computed now unless listed
//     ...
//     if (!listed && !feed.waitForNext()) ...  // waits in the event loop
//     std::optional<PictureSignature> picture = feed.takeNext();

#include "outside/workpool.h"
#include "pictures/picturesignature.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFuture>
#include <QQueue>
#include <QSet>
#include <QString>

#include <optional>

class SignatureFeed
{
public:
    // Pictures computed ahead per pool thread: enough to keep every thread busy through a
    // turn of the event loop, few enough that memory stays small (a result is 17 KB).
    static constexpr int AheadPerThread = 16;

    // `pool`: where the signatures are computed, outliving the feed. `waitFlags`: the events
    // a wait lets through.
    explicit SignatureFeed(WorkPool &pool, QEventLoop::ProcessEventsFlags waitFlags = QEventLoop::AllEvents);
    ~SignatureFeed();
    SignatureFeed(const SignatureFeed &) = delete;
    SignatureFeed &operator=(const SignatureFeed &) = delete;

    // Queues a picture. Its signature is started at once unless `listed` (the window has
    // its row already) or the same path waits in the queue with its signature started.
    void append(const QString &path, bool listed);
    bool isEmpty() const { return m_queue.isEmpty(); }
    // As many pictures are queued as the look-ahead allows.
    bool isFull() const { return m_queue.size() >= m_limit; }
    QString nextPath() const { return m_queue.head().path; }

    // Waits until the next picture's signature is known, starting it first if it was
    // queued without. The wait runs the event loop (the caller stays on the stack, the
    // window repaints), and lingers up to 40 ms after the last wait so that the pictures
    // behind get ready too; false when that loop was told to end first (the program quits).
    bool waitForNext();
    // Takes the next picture off the queue: its signature when one was computed and the
    // file is a picture.
    std::optional<PictureSignature> takeNext();
    // Forgets every queued picture.
    void clear();

private:
    using Result = std::optional<PictureSignature>;
    struct Pending
    {
        QString path;
        bool started = false;
        QFuture<Result> signature;
    };
    void start(Pending &pending);

    WorkPool &m_pool;
    QEventLoop::ProcessEventsFlags m_waitFlags;
    qsizetype m_limit;
    QQueue<Pending> m_queue;
    QSet<QString> m_started; // queued paths whose signature is being computed
    QElapsedTimer m_sinceTurn; // since the last wait ended
};
