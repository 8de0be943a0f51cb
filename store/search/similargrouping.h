#pragma once
// The grouping of the similarity search, the one rule that the window's comparison run and
// lumo-cli both follow: each entry in catalogue order is a base unless already grouped;
// every later ungrouped entry whose check value with it is at most the level joins its
// group. A group lists its members in ascending order and its base after them; groups
// come in the order of their bases. An entry without a name takes part in no comparison.
// On request (--turned and --grey, in lumo-cli and the window) "within the level" also
// takes in the base's grid turned and mirrored, or the two grids' brightness alone; the
// grouping stays the same. Either option only ever finds more.
// Entries the user decided are not alike (store/notalike.h) never share a group: an entry
// within the level joins only when it is apart from neither the base nor a member that
// joined before it; otherwise it stays free for a later base.

#include "sigboxcore_export.h"
#include "entries/signaturetable.h"

#include <signaturepack.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <utility>
#include <vector>

// How a member came within the level of its base.
struct SimilarMatch {
    pixcore::GridTurn turn = pixcore::GridTurn::Identity; // of the base's grid
    bool grey = false; // by brightness alone: the colours are not within the level
    bool operator==(const SimilarMatch &) const = default;
};

struct SimilarGroup {
    std::vector<int> members; // ascending entry indexes
    int base = -1;            // placed after its members
    // When asked for: how each member matched (the colour grids before the brightness
    // grids, each turning in the order of pixcore::GridTurn). Empty otherwise.
    std::vector<SimilarMatch> matches;
    bool operator==(const SimilarGroup &) const = default;
};

// What else counts as alike, beyond the check value of the two grids as they are.
struct SimilarRule {
    // A candidate within the level of any of the 8 turnings and mirrorings of the base's
    // grid (pixcore::GridTurn, tried in that order) is similar too.
    bool turned = false;
    // Also alike when the two grids' brightness is within the level (each cell's luma in
    // all three values): a grey copy, or one whose colours were changed. The colour
    // comparison still holds, so this finds every pair the plain rule finds.
    bool grey = false;
    bool operator==(const SimilarRule &) const = default;
};

// Entries that never share a group, by class: the entries of one look form a class, and
// two classes (or a class and itself) are kept apart. Its size goes with the entries and
// the pairs of classes, never with the pairs of entries they stand for.
class SIGBOXCORE_EXPORT SimilarApart
{
public:
    // `classOf`: each entry's class, 0 .. classes - 1, or -1 for none; `apart`: pairs of
    // classes, either way round.
    SimilarApart(std::vector<int> classOf, int classes, std::vector<std::pair<int, int>> apart);
    bool empty() const { return m_others.empty(); }
    int classes() const { return static_cast<int>(m_first.size()) - 1; }
    int classOf(int entry) const
    {
        return entry >= 0 && static_cast<size_t>(entry) < m_classOf.size() ? m_classOf[entry] : -1;
    }
    // The classes kept apart from `cls`, ascending.
    std::span<const int> apartFrom(int cls) const
    {
        if (cls < 0)
            return {};
        return {m_others.data() + m_first[cls], m_others.data() + m_first[cls + 1]};
    }

private:
    std::vector<int> m_classOf;
    std::vector<int> m_first; // where each class's list starts in m_others; one more at the end
    std::vector<int> m_others;
};

// The signatures a search compares (and their brightness grids when the rule says so),
// kept once: packed for the batch comparison. Read-only once made, so any number of
// threads may compare at once.
class SIGBOXCORE_EXPORT SimilarCells
{
public:
    explicit SimilarCells(std::vector<Signature> cells, SimilarRule rule = {});
    // Empty, to be filled with append(): a collection larger than one table, packed as it
    // is read so that its signatures never stand in memory twice.
    explicit SimilarCells(SimilarRule rule);

    // Room for `capacity` entries in all; false when memory runs out.
    bool reserve(int capacity);
    // Appends signatures after the last entry; false (nothing changed) when a value lies
    // outside 0..255, as in no catalogue file, or memory runs out.
    bool append(const Signature *cells, int count);
    // Drops the entries from `count` on.
    void truncate(int count);

    int count() const { return m_batched ? m_colour.pack.count() : static_cast<int>(m_colour.cells.size()); }
    // The comparisons run on the batch; only a table built in memory with values outside
    // 0..255 (no catalogue file holds them) is compared one pair at a time instead.
    bool batched() const { return m_batched; }
    const SimilarRule &rule() const { return m_rule; }
    // An entry's grid as the catalogue holds it.
    Signature signature(int entry) const { return signature(m_colour, entry); }

    // Candidates a search compares with several bases in turn before moving on: a stretch
    // of the pack (1.5 MB) that stays in a core's cache meanwhile.
    static constexpr int Tile = 8192;

    // The comparison itself, the one place every search compares through: appends to `hits`,
    // ascending, every entry j from `first` on with skip[j] == 0 whose check value with
    // `base` (the base's signature first) is at most `level`, by the rule. When `matches`
    // is given, appends how each hit matched. `skip` has count() bytes and must not change
    // during the call.
    void collectSimilar(int base, int first, int level, const uint8_t *skip, std::vector<int> &hits,
                        std::vector<SimilarMatch> *matches = nullptr) const;
    // The same for a base given by its grid (a picture outside the catalogue, or an entry's
    // own), over the entries first .. end - 1; `skip` may be null.
    void collectSimilarTo(const Signature &base, int first, int end, int level, const uint8_t *skip,
                          std::vector<int> &hits, std::vector<SimilarMatch> *matches = nullptr) const;

private:
    // One kind of grid: packed, or as they are when the batch cannot take them.
    struct Grids {
        std::vector<Signature> cells; // only when not batched
        pixcore::SignaturePack pack;
    };
    Signature signature(const Grids &grids, int entry) const;
    void collectIn(const Grids &grids, bool grey, const Signature &baseCells, int first, int end, int level,
                   const uint8_t *skip, std::vector<int> &hits, std::vector<SimilarMatch> *matches) const;

    Grids m_colour;
    Grids m_grey; // empty unless the rule compares brightness
    SimilarRule m_rule;
    bool m_batched = true;
};

// The search cut into blocks of bases. A block's rows (each base against every later entry
// still ungrouped when the block was cut) may be computed on any thread and in any order,
// even before earlier blocks are settled. Settling takes the bases in order, skips a base
// that is taken and drops the taken entries of its row. Grouping only ever removes
// candidates, so this places exactly what one base and one candidate at a time would.
// Entries kept apart change nothing in that: whether one joins depends on its base and the
// members before it in the row, all known when the base is settled, and one refused stays
// untaken, a candidate of every row cut after it as before.
class SIGBOXCORE_EXPORT SimilarSearch
{
public:
    // Copies the signatures, so the search does not depend on the table afterwards.
    SimilarSearch(const SignatureTable &table, int level, SimilarRule rule = {});
    // Over signatures made beforehand; entries with unnamed[i] != 0 take part in no
    // comparison (`unnamed` has cells->count() bytes, or is empty for none).
    SimilarSearch(std::shared_ptr<const SimilarCells> cells, const std::vector<uint8_t> &unnamed, int level);
    // Entries never to be grouped together (null or empty for none); before the first settle.
    void keepApart(std::shared_ptr<const SimilarApart> apart);

    class SIGBOXCORE_EXPORT Block
    {
    public:
        size_t size() const { return m_end - m_begin; }
        int base(size_t i) const { return (*m_open)[m_begin + i]; }
        // Comparisons in the block: its bases times the entries after its first base.
        size_t comparisons() const { return size() * (m_open->size() - m_begin); }
        // Base i's row: the later entries within the level of it, ascending. Any thread.
        // `matches`, when given, gets how each entry of the row matched.
        std::vector<int> row(size_t i, std::vector<SimilarMatch> *matches = nullptr) const;
        // The rows of bases begin .. end - 1 at once, into rows[0 .. end - begin - 1] (and
        // matches[...] when not null), each as row() gives it. Each stretch of candidates
        // meets all those bases while it stays in the core's cache: a catalogue far larger
        // than the cache is read from memory once for them all, not once a base.
        void rows(size_t begin, size_t end, std::vector<int> *rows, std::vector<SimilarMatch> *matches = nullptr) const;

    private:
        friend class SimilarSearch;
        std::shared_ptr<const SimilarCells> m_cells;
        std::shared_ptr<const std::vector<int>> m_open;
        std::shared_ptr<const std::vector<uint8_t>> m_skip;
        std::shared_ptr<const SimilarApart> m_apart;
        std::shared_ptr<const std::vector<std::vector<int>>> m_classOpen;
        int m_level = 0;
        size_t m_begin = 0;
        size_t m_end = 0;
    };

    // The next bases not cut yet, at most `bases` of them; an empty block when none are left.
    Block cut(size_t bases);

    bool batched() const { return m_cells->batched(); }
    bool isTaken(int entry) const { return m_taken[entry] != 0; }
    // Marks an entry as placed in a group: it is no base and no candidate any more.
    void take(int entry);
    // Places an entry of base's row in its group, unless it is taken or kept apart from the
    // base or from a member placed in that group before; true when it joined. The rows'
    // entries go through this in ascending order, then the base is taken if any joined.
    bool join(int base, int entry);
    // Settles one base in a go: unless it is taken, its row's untaken entries become its
    // members and, when there are any, the group is taken. Null when it makes no group.
    // `matches`, when given, are the row's; the group keeps its members'.
    std::optional<SimilarGroup> settle(int base, const std::vector<int> &row,
                                       const std::vector<SimilarMatch> *matches = nullptr);

private:
    std::shared_ptr<const SimilarCells> m_cells;
    // Named entries ungrouped as of the last cut, ascending; bases are cut from m_next on.
    std::shared_ptr<const std::vector<int>> m_open;
    // The candidates' skip bytes as of the last cut: unnamed and taken entries.
    std::shared_ptr<const std::vector<uint8_t>> m_skip;
    size_t m_next = 0;
    std::vector<uint8_t> m_taken; // unnamed entries count as taken from the start
    bool m_takenSinceCut = false;
    int m_level = 0;
    std::shared_ptr<const SimilarApart> m_apart;
    // With m_apart: each class's entries among m_open, ascending, as of the last cut ...
    std::shared_ptr<const std::vector<std::vector<int>>> m_classOpen;
    // ... and for each class the base of the last group a member of it joined.
    std::vector<int> m_classIn;
    void openClasses();
};

// The whole search, blocks computed on `threads` threads (at least 1). The result does
// not depend on the thread count. The groups say how their members matched when the rule
// asks for more than the plain comparison. `apart`: entries never grouped together.
SIGBOXCORE_EXPORT std::vector<SimilarGroup> findSimilarGroups(const SignatureTable &table, int level, int threads,
                                                             SimilarRule rule = {},
                                                             std::shared_ptr<const SimilarApart> apart = {});
// The same over signatures made beforehand, as the search's constructor takes them.
SIGBOXCORE_EXPORT std::vector<SimilarGroup> findSimilarGroups(std::shared_ptr<const SimilarCells> cells,
                                                             const std::vector<uint8_t> &unnamed, int level,
                                                             int threads,
                                                             std::shared_ptr<const SimilarApart> apart = {});
