#include "search/similargrouping.h"

#include "search/parallelfor.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <thread>

namespace {
// The stretch of candidates one batch call answers for.
constexpr int Span = 4096;

bool withinBytes(const Signature *cells, int count)
{
    for (int i = 0; i < count; ++i) {
        for (int16_t value : cells[i]) {
            if (value & ~0xFF)
                return false;
        }
    }
    return true;
}
} // namespace

SimilarApart::SimilarApart(std::vector<int> classOf, int classes, std::vector<std::pair<int, int>> apart)
    : m_classOf(std::move(classOf))
{
    // Both ways round, each list ascending and without repeats.
    classes = std::max(classes, 0);
    const size_t one = apart.size();
    for (size_t p = 0; p < one; ++p)
        apart.emplace_back(apart[p].second, apart[p].first);
    std::erase_if(apart, [classes](const std::pair<int, int> &pair) {
        return pair.first < 0 || pair.first >= classes || pair.second < 0 || pair.second >= classes;
    });
    std::sort(apart.begin(), apart.end());
    apart.erase(std::unique(apart.begin(), apart.end()), apart.end());
    for (int &cls : m_classOf) {
        if (cls >= classes)
            cls = -1;
    }
    m_first.assign(static_cast<size_t>(classes) + 1, 0);
    m_others.reserve(apart.size());
    for (const auto &[cls, other] : apart) {
        ++m_first[cls + 1];
        m_others.push_back(other);
    }
    for (int c = 0; c < classes; ++c)
        m_first[c + 1] += m_first[c];
}

SimilarCells::SimilarCells(std::vector<Signature> cells, SimilarRule rule)
    : m_rule(rule)
{
    m_colour.cells = std::move(cells);
    if (m_rule.grey) {
        m_grey.cells = m_colour.cells;
        for (Signature &signature : m_grey.cells)
            pixcore::greySignature(signature.data(), signature.data());
    }
    const int count = static_cast<int>(m_colour.cells.size());
    m_batched = count == 0
        || (m_colour.pack.assign(m_colour.cells.front().data(), count)
            && (!m_rule.grey || m_grey.pack.assign(m_grey.cells.front().data(), count)));
    // The packs are the one copy the batch needs.
    if (m_batched) {
        std::vector<Signature>().swap(m_colour.cells);
        std::vector<Signature>().swap(m_grey.cells);
    }
}

SimilarCells::SimilarCells(SimilarRule rule)
    : m_rule(rule)
{
}

bool SimilarCells::reserve(int capacity)
{
    return !m_batched || (m_colour.pack.reserve(capacity) && (!m_rule.grey || m_grey.pack.reserve(capacity)));
}

bool SimilarCells::append(const Signature *cells, int count)
{
    // Checked and reserved first, so that neither kind of grid can fail half-way.
    if (!m_batched || !withinBytes(cells, count))
        return false;
    if (count > 0 && !reserve(m_colour.pack.count() + count))
        return false;
    m_colour.pack.append(cells->data(), count);
    if (!m_rule.grey)
        return true;
    // Made grey in small runs, so no second copy of a whole catalogue is needed.
    std::array<Signature, 64> run;
    for (int done = 0; done < count;) {
        const int n = std::min<int>(run.size(), count - done);
        for (int i = 0; i < n; ++i)
            pixcore::greySignature(cells[done + i].data(), run[i].data());
        m_grey.pack.append(run.front().data(), n);
        done += n;
    }
    return true;
}

void SimilarCells::truncate(int count)
{
    for (Grids *grids : {&m_colour, &m_grey}) {
        if (m_batched)
            grids->pack.truncate(std::min(count, grids->pack.count()));
        else if (count < static_cast<int>(grids->cells.size()))
            grids->cells.resize(std::max(count, 0));
    }
}

Signature SimilarCells::signature(const Grids &grids, int entry) const
{
    if (!m_batched)
        return grids.cells[entry];
    Signature cells;
    grids.pack.signature(entry, cells.data());
    return cells;
}

void SimilarCells::collectIn(const Grids &grids, bool grey, const Signature &baseCells, int first, int end,
                             int level, const uint8_t *skip, std::vector<int> &hits,
                             std::vector<SimilarMatch> *matches) const
{
    // The base's grid as it is, or all its turnings in the order they are tried.
    std::array<Signature, pixcore::GridTurnCount> bases;
    const int baseCount = m_rule.turned ? pixcore::GridTurnCount : 1;
    for (int t = 0; t < baseCount; ++t)
        pixcore::turnSignature(baseCells.data(), pixcore::GridTurn(t), bases[t].data());
    const auto found = [&hits, matches, grey](int entry, int turn) {
        hits.push_back(entry);
        if (matches)
            matches->push_back({pixcore::GridTurn(turn), grey});
    };

    if (!m_batched) {
        for (int j = first; j < end; ++j) {
            for (int t = 0; t < baseCount && !(skip && skip[j]); ++t) {
                if (pixcore::withinLevel(bases[t].data(), grids.cells[j].data(), level)) {
                    found(j, t);
                    break;
                }
            }
        }
        return;
    }
    int32_t spanHits[Span];
    uint8_t spanTurns[Span];
    // A base outside the pack (or of values no pack holds) finds nothing.
    const int32_t n = std::max(0, grids.pack.findWithinLevelOfAny(bases.front().data(), baseCount, first, end, level,
                                                                  spanHits, spanTurns, skip));
    for (int32_t k = 0; k < n; ++k)
        found(spanHits[k], baseCount == 1 ? 0 : spanTurns[k]);
}

void SimilarCells::collectSimilar(int base, int first, int level, const uint8_t *skip, std::vector<int> &hits,
                                  std::vector<SimilarMatch> *matches) const
{
    collectSimilarTo(signature(base), first, count(), level, skip, hits, matches);
}

void SimilarCells::collectSimilarTo(const Signature &base, int first, int end, int level, const uint8_t *skip,
                                    std::vector<int> &hits, std::vector<SimilarMatch> *matches) const
{
    Signature greyBase;
    if (m_rule.grey)
        pixcore::greySignature(base.data(), greyBase.data());
    // Spans of a fixed size, so that the answers need no allocation of a row's length; the
    // spans after the first start on a block of the pack.
    std::vector<int> greyHits;
    std::vector<SimilarMatch> greyMatches;
    end = std::min(end, count());
    for (int from = std::max(first, 0); from < end;) {
        const int to = std::min((from / Span + 1) * Span, end);
        if (!m_rule.grey) {
            collectIn(m_colour, false, base, from, to, level, skip, hits, matches);
            from = to;
            continue;
        }
        // Both kinds of grid, merged in entry order; a pair alike in colour says so.
        const size_t mark = hits.size();
        collectIn(m_colour, false, base, from, to, level, skip, hits, matches);
        greyHits.clear();
        greyMatches.clear();
        collectIn(m_grey, true, greyBase, from, to, level, skip, greyHits, matches ? &greyMatches : nullptr);
        size_t c = mark;
        for (size_t g = 0; g < greyHits.size(); ++g) {
            while (c < hits.size() && hits[c] < greyHits[g])
                ++c;
            if (c < hits.size() && hits[c] == greyHits[g])
                continue;
            hits.insert(hits.begin() + c, greyHits[g]);
            if (matches)
                matches->insert(matches->begin() + c, greyMatches[g]);
            ++c;
        }
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

std::vector<int> SimilarSearch::Block::row(size_t i, std::vector<SimilarMatch> *matches) const
{
    std::vector<int> hits;
    rows(i, i + 1, &hits, matches);
    return hits;
}

void SimilarSearch::Block::rows(size_t begin, size_t end, std::vector<int> *rows,
                                std::vector<SimilarMatch> *matches) const
{
    struct Base {
        size_t slot;
        int entry;
        Signature cells;
        std::vector<uint8_t> ownSkip; // empty: the block's skip bytes
    };
    std::vector<Base> bases;
    bases.reserve(end - begin);
    for (size_t i = begin; i < end; ++i) {
        rows[i - begin].clear();
        if (matches)
            matches[i - begin].clear();
        Base base{i - begin, (*m_open)[m_begin + i], {}, {}};
        // Candidates kept apart from the base could never join it: they are not compared
        // at all, and a base with nothing else left after it has an empty row. Many copies
        // of one picture decided not alike to each other cost no comparison then.
        const std::span<const int> apart = m_apart ? m_apart->apartFrom(m_apart->classOf(base.entry))
                                                   : std::span<const int>{};
        if (!apart.empty()) {
            size_t kept = 0;
            for (int cls : apart) {
                const std::vector<int> &entries = (*m_classOpen)[cls];
                kept += entries.end() - std::upper_bound(entries.begin(), entries.end(), base.entry);
            }
            if (kept == m_open->size() - (m_begin + i + 1))
                continue;
            if (kept > 0) {
                base.ownSkip = *m_skip;
                for (int cls : apart) {
                    const std::vector<int> &entries = (*m_classOpen)[cls];
                    for (auto e = std::upper_bound(entries.begin(), entries.end(), base.entry); e != entries.end(); ++e)
                        base.ownSkip[*e] = 1;
                }
            }
        }
        base.cells = m_cells->signature(base.entry);
        bases.push_back(std::move(base));
    }
    if (bases.empty())
        return;
    // Bases ascend, so the first one's row is the longest.
    const int count = m_cells->count();
    for (int from = bases.front().entry + 1; from < count;) {
        const int to = std::min((from / SimilarCells::Tile + 1) * SimilarCells::Tile, count);
        for (const Base &base : bases) {
            if (base.entry + 1 < to)
                m_cells->collectSimilarTo(base.cells, std::max(from, base.entry + 1), to, m_level,
                                          base.ownSkip.empty() ? m_skip->data() : base.ownSkip.data(),
                                          rows[base.slot], matches ? &matches[base.slot] : nullptr);
        }
        from = to;
    }
}

void SimilarSearch::openClasses()
{
    auto lists = std::make_shared<std::vector<std::vector<int>>>(m_apart->classes());
    for (size_t p = m_next; p < m_open->size(); ++p) {
        const int cls = m_apart->classOf((*m_open)[p]);
        if (cls >= 0)
            (*lists)[cls].push_back((*m_open)[p]);
    }
    m_classOpen = std::move(lists);
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
        if (m_apart)
            openClasses();
    }
    Block block;
    block.m_cells = m_cells;
    block.m_open = m_open;
    block.m_skip = m_skip;
    block.m_apart = m_apart;
    block.m_classOpen = m_classOpen;
    block.m_level = m_level;
    block.m_begin = m_next;
    block.m_end = std::min(m_next + std::max<size_t>(bases, 1), m_open->size());
    m_next = block.m_end;
    return block;
}

void SimilarSearch::keepApart(std::shared_ptr<const SimilarApart> apart)
{
    m_apart = apart && !apart->empty() ? std::move(apart) : nullptr;
    m_classIn.assign(m_apart ? m_apart->classes() : 0, -1);
    m_classOpen.reset();
    if (m_apart)
        openClasses();
}

void SimilarSearch::take(int entry)
{
    m_taken[entry] = 1;
    m_takenSinceCut = true;
}

bool SimilarSearch::join(int base, int entry)
{
    if (isTaken(entry))
        return false;
    if (m_apart) {
        const int cls = m_apart->classOf(entry);
        const int baseClass = m_apart->classOf(base);
        for (int other : m_apart->apartFrom(cls)) {
            if (other == baseClass || m_classIn[other] == base)
                return false;
        }
        if (cls >= 0)
            m_classIn[cls] = base;
    }
    take(entry);
    return true;
}

std::optional<SimilarGroup> SimilarSearch::settle(int base, const std::vector<int> &row,
                                                  const std::vector<SimilarMatch> *matches)
{
    if (isTaken(base))
        return std::nullopt;
    SimilarGroup group;
    for (size_t k = 0; k < row.size(); ++k) {
        if (join(base, row[k])) {
            group.members.push_back(row[k]);
            if (matches)
                group.matches.push_back((*matches)[k]);
        }
    }
    if (group.members.empty())
        return std::nullopt;
    take(base);
    group.base = base;
    return group;
}

namespace {

// Below this many comparisons a block is not worth starting threads for.
constexpr size_t ThreadedBlockMinimum = 20000;
// Bases a thread takes at once, reading each tile of candidates for all of them.
constexpr size_t BasesTogether = 8;

} // namespace

std::vector<SimilarGroup> findSimilarGroups(const SignatureTable &table, int level, int threads, SimilarRule rule,
                                            std::shared_ptr<const SimilarApart> apart)
{
    return findSimilarGroups(cellsOf(table, rule), unnamedOf(table), level, threads, std::move(apart));
}

std::vector<SimilarGroup> findSimilarGroups(std::shared_ptr<const SimilarCells> cells,
                                            const std::vector<uint8_t> &unnamed, int level, int threads,
                                            std::shared_ptr<const SimilarApart> apart)
{
    threads = std::max(threads, 1);
    const bool withMatches = cells->rule() != SimilarRule{};
    SimilarSearch search(std::move(cells), unnamed, level);
    search.keepApart(std::move(apart));
    std::vector<SimilarGroup> groups;

    // One block per thread would leave threads idle on the short rows near the end;
    // a larger block wastes rows only for bases grouped within it.
    const size_t blockSize = threads == 1 ? 1 : static_cast<size_t>(threads) * 16;
    std::vector<std::vector<int>> rows(blockSize);
    std::vector<std::vector<SimilarMatch>> matches(withMatches ? blockSize : 0);
    for (;;) {
        const SimilarSearch::Block block = search.cut(blockSize);
        if (block.size() == 0)
            break;
        const int used = block.comparisons() < ThreadedBlockMinimum ? 1 : threads;
        const size_t pieces = (block.size() + BasesTogether - 1) / BasesTogether;
        parallelFor(0, pieces, used, [&rows, &matches, &block](size_t p) {
            const size_t begin = p * BasesTogether;
            block.rows(begin, std::min(begin + BasesTogether, block.size()), &rows[begin],
                       matches.empty() ? nullptr : &matches[begin]);
        });

        for (size_t i = 0; i < block.size(); ++i) {
            if (std::optional<SimilarGroup> group = search.settle(block.base(i), rows[i], matches.empty() ? nullptr : &matches[i]))
                groups.push_back(std::move(*group));
        }
    }
    return groups;
}
