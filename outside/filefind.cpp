#include "filefind.h"

#include "files/folderscan.h"
#include "workpool.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QPointer>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

namespace {
constexpr qint64 YieldIntervalMs = 50;
// Files handed over at once at most, and batches read ahead: enough that the window never
// waits for a fast disk, few enough that a huge tree costs no memory before it is added.
constexpr std::size_t BatchFiles = 256;
constexpr std::size_t BatchesAhead = 8;

using Batch = std::vector<ScannedFile>;
} // namespace

// What the worker and Find share; it outlives whichever of them ends first.
struct FileFind::Scan
{
    std::mutex mutex;
    std::condition_variable room;
    std::deque<Batch> batches;
    bool ended = false;
    bool stopped = false;
    QEventLoop *waiting = nullptr; // woken for each batch and at the end

    void wake()
    {
        if (waiting)
            QMetaObject::invokeMethod(waiting, &QEventLoop::quit, Qt::QueuedConnection);
    }

    // Waits while the batches ahead are many; false once the scan was stopped.
    bool hand(Batch &batch)
    {
        std::unique_lock lock(mutex);
        room.wait(lock, [this] { return stopped || batches.size() < BatchesAhead; });
        if (stopped)
            return false;
        batches.push_back(std::move(batch));
        batch.clear();
        wake();
        return true;
    }

    void end()
    {
        const std::lock_guard lock(mutex);
        ended = true;
        wake();
    }

    void stop()
    {
        {
            const std::lock_guard lock(mutex);
            stopped = true;
            batches.clear();
        }
        room.notify_all();
    }

    // On the worker: the matching files in the scan's order. The files at hand go over before
    // each folder is read, so a slow folder does not keep back those found before it.
    void read(const QString &folder, bool subFolders, const QStringList &patterns,
              const std::function<void()> &beforeStep)
    {
        FolderScan walk(folder, subFolders);
        ScannedFile file;
        Batch batch;
        for (;;) {
            if (beforeStep)
                beforeStep();
            {
                const std::lock_guard lock(mutex);
                if (stopped)
                    break;
            }
            if (walk.readsNext() && !batch.empty() && !hand(batch))
                break;
            const FolderScan::Step step = walk.next(file);
            if (step == FolderScan::Step::End)
                break;
            // Name filters match ignoring letter case, as QDir's do.
            if (step != FolderScan::Step::File || (!patterns.isEmpty() && !QDir::match(patterns, file.name)))
                continue;
            batch.push_back(std::move(file));
            if (batch.size() >= BatchFiles && !hand(batch))
                break;
        }
        if (!batch.empty())
            hand(batch);
        end();
    }
};

FileFind::FileFind(QObject *parent)
    : QObject(parent)
{
}

FileFind::~FileFind()
{
    // Deleted from an event that Find served: the worker stops, and Find returns.
    if (m_scan)
        m_scan->stop();
    if (m_waiting)
        m_waiting->quit();
}

void FileFind::Find(QString &folder, const QString &pattern, int flags)
{
    if (m_running)
        return;
    m_running = true;
    m_cancel = false;
    m_found = 0;
    m_unreadable.clear();

    const QString trimmed = pattern.trimmed();
    QStringList patterns;
    if (!trimmed.isEmpty() && trimmed != QLatin1String("*") && trimmed != QLatin1String("*.*"))
        patterns = QDir::nameFiltersFromString(trimmed);

    // A pool of this scan's own: a worker stuck in a read (a share that went away) holds no
    // thread of the window's work and no later scan; it is left to end on its own.
    WorkPool reader(1, WorkPool::Ending::Abandon);
    const auto scan = std::make_shared<Scan>();
    m_scan = scan;
    reader.run([scan, folder, subFolders = !(flags & TopOnly), patterns, beforeStep = m_beforeStep] {
        scan->read(folder, subFolders, patterns, beforeStep);
    });

    const QPointer<FileFind> alive(this);
    m_sinceYield.start();
    Batch batch;
    for (;;) {
        // The next batch, serving events until it comes.
        bool ended = false;
        for (;;) {
            QEventLoop wait;
            {
                const std::lock_guard lock(scan->mutex);
                if (!scan->batches.empty()) {
                    batch = std::move(scan->batches.front());
                    scan->batches.pop_front();
                    scan->room.notify_one();
                    break;
                }
                ended = scan->ended;
                if (!ended && !m_cancel)
                    scan->waiting = &wait;
            }
            if (ended || m_cancel)
                break;
            m_waiting = &wait;
            wait.exec();
            {
                const std::lock_guard lock(scan->mutex);
                scan->waiting = nullptr;
            }
            if (!alive)
                return;
            m_waiting = nullptr;
            m_sinceYield.restart();
        }
        if (ended || m_cancel)
            break;

        for (ScannedFile &file : batch) {
            if (m_sinceYield.elapsed() >= YieldIntervalMs) {
                QCoreApplication::processEvents();
                if (!alive)
                    return;
                m_sinceYield.restart();
            }
            if (m_cancel)
                break;
            if (!file.readable) {
                m_unreadable.append(file.nativePath);
                continue;
            }
            bool cancel = false;
            ++m_found;
            emit FileFound(file.folder, file.name, cancel);
            if (!alive)
                return;
            if (cancel) {
                m_cancel = true;
                break;
            }
        }
        if (m_cancel)
            break;
    }
    scan->stop();
    m_scan.reset();
    m_running = false;
}

void FileFind::Cancel()
{
    m_cancel = true;
    if (m_waiting)
        m_waiting->quit();
}
