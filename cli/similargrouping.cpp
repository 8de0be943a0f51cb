#include "similargrouping.h"

#include <algorithm>
#include <atomic>
#include <numeric>
#include <thread>

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

// Bases are taken in blocks. The rows of a block (each base against every later entry
// still ungrouped when the block starts) are computed in parallel; the block is then
// settled base by base in order, dropping bases and candidates that an earlier base of
// the same block took. Grouping only ever removes candidates, so this settles exactly
// as the one-base-at-a-time run does, whatever the block size or thread count.
std::vector<SimilarGroup> findSimilarGroups(const SignatureTable &table, int level, int threads)
{
    threads = std::max(threads, 1);
    const int count = table.count();
    const Signature *cells = table.allCells().data();

    std::vector<int> open(count); // ungrouped entries, ascending
    std::iota(open.begin(), open.end(), 0);
    std::vector<char> grouped(count, 0);
    std::vector<SimilarGroup> groups;

    // One block per thread would leave threads idle on the short rows near the end;
    // a larger block wastes rows only for bases grouped within it.
    const size_t blockSize = threads == 1 ? 1 : static_cast<size_t>(threads) * 16;
    std::vector<std::vector<int>> rows(blockSize);

    size_t position = 0;
    while (position < open.size()) {
        const size_t blockEnd = std::min(position + blockSize, open.size());
        auto computeRow = [&](size_t p) {
            std::vector<int> &row = rows[p - position];
            row.clear();
            const int16_t *base = cells[open[p]].data();
            for (size_t k = p + 1; k < open.size(); ++k) {
                const int candidate = open[k];
                if (pixcore::withinLevel(base, cells[candidate].data(), level))
                    row.push_back(candidate);
            }
        };
        const size_t comparisons = (blockEnd - position) * (open.size() - position);
        parallelFor(position, blockEnd, comparisons < ThreadedBlockMinimum ? 1 : threads, computeRow);

        bool anyGrouped = false;
        for (size_t p = position; p < blockEnd; ++p) {
            const int base = open[p];
            if (grouped[base])
                continue;
            SimilarGroup group;
            for (int candidate : rows[p - position]) {
                if (!grouped[candidate]) {
                    grouped[candidate] = 1;
                    group.members.push_back(candidate);
                }
            }
            if (group.members.empty())
                continue;
            grouped[base] = 1;
            group.base = base;
            groups.push_back(std::move(group));
            anyGrouped = true;
        }
        // Later blocks need not step over entries that are already placed.
        if (anyGrouped) {
            open.erase(std::remove_if(open.begin() + blockEnd, open.end(),
                                      [&grouped](int entry) { return grouped[entry] != 0; }),
                       open.end());
        }
        position = blockEnd;
    }
    return groups;
}
