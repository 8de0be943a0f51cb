#include "search/chosengrouping.h"

#include "search/parallelfor.h"

#include <algorithm>

namespace {

// Bases whose rows are computed before any of them is settled.
constexpr size_t BlockBases = 16;

struct Base {
    int entry = -1; // -1: a picture outside the catalogue
    int id = 0;     // what its group names as base
    Signature cells;
};

std::vector<SimilarGroup> groupAround(const std::shared_ptr<const SimilarCells> &cells,
                                      const std::vector<uint8_t> &unnamed, const std::vector<Base> &bases,
                                      int level, int threads, std::shared_ptr<const SimilarApart> apart,
                                      const std::atomic_bool *stop)
{
    const int count = cells->count();
    const bool withMatches = cells->rule() != SimilarRule{};
    SimilarSearch search(cells, unnamed, level);
    search.keepApart(std::move(apart));
    std::vector<uint8_t> taken(count, 0); // skip bytes: unnamed and grouped entries
    for (int i = 0; i < count && i < static_cast<int>(unnamed.size()); ++i)
        taken[i] = unnamed[i] != 0;

    const int tiles = (count + SimilarCells::Tile - 1) / SimilarCells::Tile;
    std::vector<SimilarGroup> groups;
    std::vector<std::vector<int>> hits;
    std::vector<std::vector<SimilarMatch>> matches;
    for (size_t from = 0; from < bases.size(); from += BlockBases) {
        if (stop && stop->load(std::memory_order_relaxed))
            break;
        const size_t block = std::min(BlockBases, bases.size() - from);
        // Rows of the block's bases, tile by tile; taken entries skipped as of the block's start.
        hits.assign(block * tiles, {});
        matches.assign(withMatches ? block * tiles : 0, {});
        parallelFor(0, static_cast<size_t>(tiles), threads, [&](size_t t) {
            const int first = static_cast<int>(t) * SimilarCells::Tile;
            const int end = std::min(first + SimilarCells::Tile, count);
            for (size_t b = 0; b < block; ++b) {
                const Base &base = bases[from + b];
                if (base.entry >= 0 && taken[base.entry])
                    continue;
                const size_t slot = b * tiles + t;
                cells->collectSimilarTo(base.cells, first, end, level, taken.data(), hits[slot],
                                        withMatches ? &matches[slot] : nullptr);
            }
        });
        for (size_t b = 0; b < block; ++b) {
            const Base &base = bases[from + b];
            if (base.entry >= 0 && search.isTaken(base.entry))
                continue;
            SimilarGroup group;
            for (int t = 0; t < tiles; ++t) {
                const size_t slot = b * tiles + t;
                for (size_t k = 0; k < hits[slot].size(); ++k) {
                    const int entry = hits[slot][k];
                    if (entry == base.entry || !search.join(base.id, entry))
                        continue;
                    group.members.push_back(entry);
                    if (withMatches)
                        group.matches.push_back(matches[slot][k]);
                    taken[entry] = 1;
                }
            }
            if (group.members.empty())
                continue;
            if (base.entry >= 0) {
                search.take(base.entry);
                taken[base.entry] = 1;
            }
            group.base = base.id;
            groups.push_back(std::move(group));
        }
    }
    return groups;
}

// The chosen entries as bases: repeats, unnamed and unknown entries left out, in catalogue order.
void addEntries(std::vector<Base> &chosen, const SimilarCells &cells, const std::vector<uint8_t> &unnamed,
                std::vector<int> entries)
{
    std::sort(entries.begin(), entries.end());
    entries.erase(std::unique(entries.begin(), entries.end()), entries.end());
    for (int entry : entries) {
        if (entry < 0 || entry >= cells.count() || (entry < static_cast<int>(unnamed.size()) && unnamed[entry]))
            continue;
        chosen.push_back({entry, entry, cells.signature(entry)});
    }
}

void addPictures(std::vector<Base> &chosen, const SimilarCells &cells, const std::vector<Signature> &pictures)
{
    for (size_t k = 0; k < pictures.size(); ++k)
        chosen.push_back({-1, cells.count() + static_cast<int>(k), pictures[k]});
}

} // namespace

std::vector<SimilarGroup> findSimilarToEntries(std::shared_ptr<const SimilarCells> cells,
                                               const std::vector<uint8_t> &unnamed, std::vector<int> bases,
                                               int level, int threads, std::shared_ptr<const SimilarApart> apart)
{
    return findSimilarToChosen(std::move(cells), unnamed, {std::move(bases), {}}, level, threads, std::move(apart));
}

std::vector<SimilarGroup> findSimilarToPictures(std::shared_ptr<const SimilarCells> cells,
                                                const std::vector<uint8_t> &unnamed,
                                                const std::vector<Signature> &pictures, int level, int threads,
                                                std::shared_ptr<const SimilarApart> apart)
{
    return findSimilarToChosen(std::move(cells), unnamed, {{}, pictures}, level, threads, std::move(apart));
}

std::vector<SimilarGroup> findSimilarToChosen(std::shared_ptr<const SimilarCells> cells,
                                              const std::vector<uint8_t> &unnamed, ChosenBases bases, int level,
                                              int threads, std::shared_ptr<const SimilarApart> apart,
                                              const std::atomic_bool *stop)
{
    std::vector<Base> chosen;
    addEntries(chosen, *cells, unnamed, std::move(bases.entries));
    addPictures(chosen, *cells, bases.pictures);
    return groupAround(cells, unnamed, chosen, level, threads, std::move(apart), stop);
}
