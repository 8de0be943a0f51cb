#include "similargrouping.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <thread>

SimilarCells::SimilarCells(std::vector<Signature> cells, SimilarRule rule)
    : m_cells(std::move(cells)), m_rule(rule)
{
    if (m_rule.grey) {
        for (Signature &signature : m_cells)
            pixcore::greySignature(signature.data(), signature.data());
    }
    m_batched = m_cells.empty() || m_pack.assign(m_cells.front().data(), static_cast<int32_t>(m_cells.size()));
    // The pack is the one copy the batch needs.
    if (m_batched)
        std::vector<Signature>().swap(m_cells);
}

SimilarCells::SimilarCells(SimilarRule rule)
    : m_rule(rule)
{
}

bool SimilarCells::reserve(int capacity)
{
    return !m_batched || m_pack.reserve(capacity);
}

bool SimilarCells::append(const Signature *cells, int count)
{
    if (!m_batched)
        return false;
    if (!m_rule.grey)
        return m_pack.append(cells->data(), count);
    // Made grey in small runs, so no second copy of a whole catalogue is needed; checked and
    // reserved first, so no run can fail half-way.
    for (int i = 0; i < count; ++i) {
        for (int16_t value : cells[i]) {
            if (value & ~0xFF)
                return false;
        }
    }
    if (count > 0 && !m_pack.reserve(m_pack.count() + count))
        return false;
    std::array<Signature, 64> run;
    for (int done = 0; done < count;) {
        const int n = std::min<int>(run.size(), count - done);
        for (int i = 0; i < n; ++i)
            pixcore::greySignature(cells[done + i].data(), run[i].data());
        m_pack.append(run.front().data(), n);
        done += n;
    }
    return true;
}

void SimilarCells::truncate(int count)
{
    if (m_batched)
        m_pack.truncate(count);
    else if (count < static_cast<int>(m_cells.size()))
        m_cells.resize(std::max(count, 0));
}

Signature SimilarCells::signature(int entry) const
{
    if (!m_batched)
        return m_cells[entry];
    Signature cells;
    m_pack.signature(entry, cells.data());
    return cells;
}

void SimilarCells::collectSimilar(int base, int first, int level, const uint8_t *skip, std::vector<int> &hits,
                                  std::vector<pixcore::GridTurn> *turns) const
{
    // The base's grid as it is, or all its turnings in the order they are tried.
    std::array<Signature, pixcore::GridTurnCount> bases;
    const int baseCount = m_rule.turned ? pixcore::GridTurnCount : 1;
    const Signature baseCells = signature(base);
    for (int t = 0; t < baseCount; ++t)
        pixcore::turnSignature(baseCells.data(), pixcore::GridTurn(t), bases[t].data());
    const auto found = [&hits, turns](int entry, int turn) {
        hits.push_back(entry);
        if (turns)
            turns->push_back(pixcore::GridTurn(turn));
    };

    if (!batched()) {
        for (int j = first; j < count(); ++j) {
            for (int t = 0; t < baseCount && !skip[j]; ++t) {
                if (pixcore::withinLevel(bases[t].data(), m_cells[j].data(), level)) {
                    found(j, t);
                    break;
                }
            }
        }
        return;
    }
    // Spans of a fixed size, so that the answers need no allocation of a row's length; the
    // spans after the first start on a block of the pack.
    constexpr int Span = 4096;
    int32_t spanHits[Span];
    uint8_t spanTurns[Span];
    for (int from = first; from < count();) {
        const int to = std::min((from / Span + 1) * Span, count());
        const int32_t n = baseCount == 1
            ? m_pack.findWithinLevel(base, from, to, level, spanHits, skip)
            : m_pack.findWithinLevelOfAny(bases.front().data(), baseCount, from, to, level, spanHits, spanTurns, skip);
        for (int32_t k = 0; k < n; ++k)
            found(spanHits[k], baseCount == 1 ? 0 : spanTurns[k]);
        from = to;
    }
}

namespace {

std::shared_ptr<const SimilarCells> cellsOf(const SignatureTable &table, SimilarRule rule)
{
    const std::vector<Signature> &all = table.allCells();
    return std::make_shared<const SimilarCells>(std::vector<Signature>(all.begin(), all.begin() + table.count()), rule);
}

std::vector<uint8_t> unnamedOf(const SignatureTable &table)
{
    std::vector<uint8_t> unnamed(table.count());
    for (int i = 0; i < table.count(); ++i)
        unnamed[i] = table.name(i).isEmpty();
    return unnamed;
}

} // namespace

SimilarSearch::SimilarSearch(const SignatureTable &table, int level, SimilarRule rule)
    : SimilarSearch(cellsOf(table, rule), unnamedOf(table), level)
{
}

SimilarSearch::SimilarSearch(std::shared_ptr<const SimilarCells> cells, const std::vector<uint8_t> &unnamed, int level)
    : m_cells(std::move(cells)), m_level(level)
{
    const int count = m_cells->count();
    auto open = std::make_shared<std::vector<int>>();
    open->reserve(count);
    m_taken.assign(count, 0);
    for (int i = 0; i < count; ++i) {
        if (i < static_cast<int>(unnamed.size()) && unnamed[i])
            m_taken[i] = 1;
        else
            open->push_back(i);
    }
    m_open = std::move(open);
    m_skip = std::make_shared<const std::vector<uint8_t>>(m_taken);
}

std::vector<int> SimilarSearch::Block::row(size_t i, std::vector<pixcore::GridTurn> *turns) const
{
    std::vector<int> hits;
    const int base = (*m_open)[m_begin + i];
    m_cells->collectSimilar(base, base + 1, m_level, m_skip->data(), hits, turns);
    return hits;
}

SimilarSearch::Block SimilarSearch::cut(size_t bases)
{
    // Later blocks need not step over entries that are already placed; blocks cut earlier
    // keep the list and the skip bytes they were cut with, which nobody writes.
    if (m_takenSinceCut) {
        auto open = std::make_shared<std::vector<int>>();
        open->reserve(m_open->size() - m_next);
        for (size_t p = m_next; p < m_open->size(); ++p) {
            if (!m_taken[(*m_open)[p]])
                open->push_back((*m_open)[p]);
        }
        m_open = std::move(open);
        m_next = 0;
        m_skip = std::make_shared<const std::vector<uint8_t>>(m_taken);
        m_takenSinceCut = false;
    }
    Block block;
    block.m_cells = m_cells;
    block.m_open = m_open;
    block.m_skip = m_skip;
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

std::optional<SimilarGroup> SimilarSearch::settle(int base, const std::vector<int> &row,
                                                  const std::vector<pixcore::GridTurn> *turns)
{
    if (isTaken(base))
        return std::nullopt;
    SimilarGroup group;
    for (size_t k = 0; k < row.size(); ++k) {
        if (!isTaken(row[k])) {
            take(row[k]);
            group.members.push_back(row[k]);
            if (turns)
                group.turns.push_back((*turns)[k]);
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

std::vector<SimilarGroup> findSimilarGroups(const SignatureTable &table, int level, int threads, SimilarRule rule)
{
    return findSimilarGroups(cellsOf(table, rule), unnamedOf(table), level, threads);
}

std::vector<SimilarGroup> findSimilarGroups(std::shared_ptr<const SimilarCells> cells,
                                            const std::vector<uint8_t> &unnamed, int level, int threads)
{
    threads = std::max(threads, 1);
    const bool turned = cells->turned();
    SimilarSearch search(std::move(cells), unnamed, level);
    std::vector<SimilarGroup> groups;

    // One block per thread would leave threads idle on the short rows near the end;
    // a larger block wastes rows only for bases grouped within it.
    const size_t blockSize = threads == 1 ? 1 : static_cast<size_t>(threads) * 16;
    std::vector<std::vector<int>> rows(blockSize);
    std::vector<std::vector<pixcore::GridTurn>> turns(turned ? blockSize : 0);
    for (;;) {
        const SimilarSearch::Block block = search.cut(blockSize);
        if (block.size() == 0)
            break;
        const int used = block.comparisons() < ThreadedBlockMinimum ? 1 : threads;
        parallelFor(0, block.size(), used, [&rows, &turns, &block](size_t i) {
            if (!turns.empty())
                turns[i].clear();
            rows[i] = block.row(i, turns.empty() ? nullptr : &turns[i]);
        });

        for (size_t i = 0; i < block.size(); ++i) {
            if (std::optional<SimilarGroup> group = search.settle(block.base(i), rows[i], turns.empty() ? nullptr : &turns[i]))
                groups.push_back(std::move(*group));
        }
    }
    return groups;
}
