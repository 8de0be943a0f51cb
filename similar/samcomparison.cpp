#include "samcomparison.h"

#include <QFutureWatcher>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>

#include <numeric>

namespace {

// The comparisons have their own pool, so that thumbnail decodes on the global pool never
// queue behind a search.
QThreadPool &comparisonPool()
{
    static QThreadPool pool;
    return pool;
}

size_t blockSize()
{
    // As lumo-cli cuts its blocks: enough rows per thread to keep every thread busy.
    return static_cast<size_t>(std::max(QThread::idealThreadCount(), 2)) * 16;
}

// Computes one row of a block; holds the block (and with it the signatures) by value, so
// a row still running when its search is dropped reads nothing that has gone.
struct RowOf
{
    SimilarSearch::Block block;
    std::vector<int> operator()(size_t i) const { return block.row(i); }
};

} // namespace

SamComparison::SamComparison(QObject *parent)
    : QObject(parent)
{
}

SamComparison::~SamComparison()
{
    cancel();
}

void SamComparison::start(const SignatureTable &table, int level)
{
    cancel();
    m_search.emplace(table, level);
    m_allCut = false;
    m_position = 0;
    launch();
}

void SamComparison::cancel()
{
    for (Pending &pending : m_blocks)
        pending.future.cancel();
    m_blocks.clear();
    m_allCut = true;
    m_search.reset();
}

void SamComparison::launch()
{
    // Three blocks in flight: the pool computes the others while the first is settled, and
    // does not run dry when the user-interface thread comes late to settle it.
    while (!m_allCut && m_blocks.size() < 3) {
        SimilarSearch::Block block = m_search->cut(blockSize());
        if (block.size() == 0) {
            m_allCut = true;
            break;
        }
        std::vector<size_t> rows(block.size());
        std::iota(rows.begin(), rows.end(), size_t(0));
        Pending pending;
        pending.future = QtConcurrent::mapped(&comparisonPool(), std::move(rows), RowOf{block});
        pending.block = std::move(block);
        pending.watcher = std::make_unique<QFutureWatcher<std::vector<int>>>();
        connect(pending.watcher.get(), &QFutureWatcherBase::finished, this, &SamComparison::rowsReady);
        pending.watcher->setFuture(pending.future);
        m_blocks.push_back(std::move(pending));
    }
}

std::optional<SamComparison::Base> SamComparison::current()
{
    if (m_blocks.empty())
        return std::nullopt;
    Pending &front = m_blocks.front();
    if (!front.collected) {
        if (!front.future.isFinished())
            return std::nullopt;
        front.rows = front.future.results();
        front.collected = true;
    }
    return Base{front.block.base(m_position), &front.rows[qsizetype(m_position)]};
}

bool SamComparison::advance()
{
    if (m_blocks.empty())
        return false;
    if (++m_position < m_blocks.front().block.size())
        return false;
    m_blocks.pop_front();
    m_position = 0;
    // Cut after settling, so the new block leaves out what this one grouped.
    launch();
    return true;
}
