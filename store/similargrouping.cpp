#include "similargrouping.h"

#include <algorithm>
#include <atomic>
#include <thread>

void collectSimilar(const Signature &base, const Signature *cells, const int *candidates, size_t count, int level,
                    std::vector<int> &hits)
{
    for (size_t k = 0; k < count; ++k) {
        if (pixcore::withinLevel(base.data(), cells[candidates[k]].data(), level))
            hits.push_back(candidates[k]);
    }
}

SimilarSearch::SimilarSearch(const SignatureTable &table, int level)
    : m_level(level)
{
    const int count = table.count();
    const std::vector<Signature> &all = table.allCells();
    m_cells = std::make_shared<const std::vector<Signature>>(all.begin(), all.begin() + count);
    auto open = std::make_shared<std::vector<int>>();
    open->reserve(count);
    for (int i = 0; i < count; ++i) {
        if (!table.name(i).isEmpty())
            open->push_back(i);
    }
    m_open = std::move(open);
    m_taken.assign(count, 0);
}

std::vector<int> SimilarSearch::Block::row(size_t i) const
{
    std::vector<int> hits;
    const size_t position = m_begin + i;
    const std::vector<int> &open = *m_open;
    const std::vector<Signature> &cells = *m_cells;
    collectSimilar(cells[open[position]], cells.data(), open.data() + position + 1, open.size() - position - 1,
                   m_level, hits);
    return hits;
}

SimilarSearch::Block SimilarSearch::cut(size_t bases)
{
    // Later blocks need not step over entries that are already placed; blocks cut earlier
    // keep the list they were cut from.
    if (m_takenSinceCut) {
        auto open = std::make_shared<std::vector<int>>();
        open->reserve(m_open->size() - m_next);
        for (size_t p = m_next; p < m_open->size(); ++p) {
            if (!m_taken[(*m_open)[p]])
                open->push_back((*m_open)[p]);
        }
        m_open = std::move(open);
        m_next = 0;
        m_takenSinceCut = false;
    }
    Block block;
    block.m_cells = m_cells;
    block.m_open = m_open;
    block.m_level = m_level;
    block.m_begin = m_next;
    block.m_end = std::min(m_next + std::max<size_t>(bases, 1), m_open->size());
    m_next = block.m_end;
    return block;
}

void SimilarSearch::take(int entry)
{
    m_taken[entry] = 1;
    m_takenSinceCut = true;
}

std::optional<SimilarGroup> SimilarSearch::settle(int base, const std::vector<int> &row)
{
    if (isTaken(base))
        return std::nullopt;
    SimilarGroup group;
    for (int candidate : row) {
        if (!isTaken(candidate)) {
            take(candidate);
            group.members.push_back(candidate);
        }
    }
    if (group.members.empty())
        return std::nullopt;
    take(base);
    group.base = base;
    return group;
}

namespace {

// Calls work(i) for every i in [begin, end), spread over `threads` threads (this one included).
template <typename Work>
void parallelFor(size_t begin, size_t end, int threads, const Work &work)
{
    std::atomic<size_t> next{begin};
    auto drain = [&next, end, &work] {
        for (size_t i = next++; i < end; i = next++)
            work(i);
    };
    std::vector<std::thread> helpers;
    const size_t wanted = std::min<size_t>(threads, end - begin);
    for (size_t t = 1; t < wanted; ++t)
        helpers.emplace_back(drain);
    drain();
    for (std::thread &helper : helpers)
        helper.join();
}

// Below this many comparisons a block is not worth starting threads for.
constexpr size_t ThreadedBlockMinimum = 20000;

} // namespace

std::vector<SimilarGroup> findSimilarGroups(const SignatureTable &table, int level, int threads)
{
    threads = std::max(threads, 1);
    SimilarSearch search(table, level);
    std::vector<SimilarGroup> groups;

    // One block per thread would leave threads idle on the short rows near the end;
    // a larger block wastes rows only for bases grouped within it.
    const size_t blockSize = threads == 1 ? 1 : static_cast<size_t>(threads) * 16;
    std::vector<std::vector<int>> rows(blockSize);
    for (;;) {
        const SimilarSearch::Block block = search.cut(blockSize);
        if (block.size() == 0)
            break;
        const int used = block.comparisons() < ThreadedBlockMinimum ? 1 : threads;
        parallelFor(0, block.size(), used, [&rows, &block](size_t i) { rows[i] = block.row(i); });

        for (size_t i = 0; i < block.size(); ++i) {
            if (std::optional<SimilarGroup> group = search.settle(block.base(i), rows[i]))
                groups.push_back(std::move(*group));
        }
    }
    return groups;
}
