#include "samcomparison.h"

#include <QFutureWatcher>

namespace {

// Bases per block: a block is one task, so that the user-interface thread hears once per
// block (not once per row) and the pool threads are not kept from their work by it.
constexpr size_t BlockSize = 16;

// Blocks in flight: one for every pool thread and one more, so that no thread waits while
// the user-interface thread settles the oldest.
size_t blocksInFlight(const WorkPool &pool)
{
    return static_cast<size_t>(std::max(pool.maxThreadCount(), 1)) * 2 + 1;
}

} // namespace

// Computes the rows of a block; holds the block (and with it the signatures) by value, so
// rows still running when their search is dropped read nothing that has gone.
struct SamComparison::RowsOf
{
    SimilarSearch::Block block;
    bool withMatches;
    Rows operator()() const
    {
        Rows rows;
        rows.entries.resize(block.size());
        if (withMatches)
            rows.matches.resize(block.size());
        block.rows(0, block.size(), rows.entries.data(), withMatches ? rows.matches.data() : nullptr);
        return rows;
    }
};

SamComparison::SamComparison(QObject *parent)
    : QObject(parent), m_waitingFor(new QFutureWatcher<Rows>(this)),
      m_preparation(new QFutureWatcher<std::shared_ptr<SimilarSearch>>(this))
{
    connect(m_waitingFor, &QFutureWatcherBase::finished, this, &SamComparison::rowsReady);
    connect(m_preparation, &QFutureWatcherBase::finished, this, &SamComparison::prepared);
}

SamComparison::~SamComparison()
{
    cancel();
}

void SamComparison::start(const SignatureTable &table, int level, SimilarRule rule,
                          std::shared_ptr<const SimilarApart> apart)
{
    cancel();
    m_withMatches = rule != SimilarRule{};
    m_position = 0;
    m_preparing = m_pool.run([&table, level, rule, apart = std::move(apart)] {
        auto search = std::make_shared<SimilarSearch>(table, level, rule);
        search->keepApart(apart);
        return search;
    });
    m_preparation->setFuture(m_preparing);
}

void SamComparison::prepared()
{
    if (!m_preparing.isValid() || m_preparing.isCanceled())
        return;
    m_search = m_preparing.result();
    m_preparing = {};
    m_allCut = false;
    launch();
    emit rowsReady();
}

void SamComparison::cancel()
{
    if (m_preparing.isValid()) {
        // It reads the table, which may change once this returns.
        m_preparation->setFuture({});
        m_preparing.waitForFinished();
        m_preparing = {};
    }
    m_waitingFor->setFuture({});
    for (Pending &pending : m_blocks)
        pending.future.cancel();
    m_blocks.clear();
    m_allCut = true;
    m_search.reset();
}

void SamComparison::launch()
{
    while (!m_allCut && m_blocks.size() < blocksInFlight(m_pool)) {
        SimilarSearch::Block block = m_search->cut(BlockSize);
        if (block.size() == 0) {
            m_allCut = true;
            break;
        }
        Pending pending;
        pending.future = m_pool.run(RowsOf{block, m_withMatches});
        pending.block = std::move(block);
        m_blocks.push_back(std::move(pending));
    }
}

std::optional<SamComparison::Base> SamComparison::current()
{
    if (m_blocks.empty())
        return std::nullopt;
    Pending &front = m_blocks.front();
    if (!front.collected) {
        if (!front.future.isFinished()) {
            // Wake when the middle block is done (or the first after it still running, else
            // the front): the pool still has the later ones to do while this thread settles
            // up to there and cuts new blocks.
            size_t awaited = m_blocks.size() / 2;
            while (awaited < m_blocks.size() && m_blocks[awaited].future.isFinished())
                ++awaited;
            m_waitingFor->setFuture(m_blocks[awaited < m_blocks.size() ? awaited : 0].future);
            return std::nullopt;
        }
        front.rows = front.future.takeResult();
        front.collected = true;
    }
    return Base{front.block.base(m_position), &front.rows.entries[m_position],
                m_withMatches ? &front.rows.matches[m_position] : nullptr};
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
