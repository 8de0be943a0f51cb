#pragma once
// The look-alikes of chosen pictures ("which of these do I have already?"): the grouping of
// similargrouping.h with the bases chosen instead of every entry in turn, and every entry of
// the catalogue a candidate, before a base as well as after it. The chosen bases are taken
// in order; one already placed in the group of an earlier base is no base any more, as in a
// full search. Groups, rules (--turned, --grey) and the pairs kept apart are as there: an
// entry joins only when it is apart from neither the base nor a member before it.

#include "sigboxcore_export.h"
#include "search/similargrouping.h"

#include <atomic>
#include <memory>
#include <vector>

// Bases that are entries of the catalogue, taken in catalogue order (repeats and unnamed
// entries ignored).
SIGBOXCORE_EXPORT std::vector<SimilarGroup> findSimilarToEntries(std::shared_ptr<const SimilarCells> cells,
                                                                const std::vector<uint8_t> &unnamed,
                                                                std::vector<int> bases, int level, int threads,
                                                                std::shared_ptr<const SimilarApart> apart = {});

// Bases outside the catalogue (pictures not added to it), in the order given: a group's base
// is cells->count() + k for the k-th of `pictures`, its members entries of the catalogue. The
// pictures are never candidates of each other.
SIGBOXCORE_EXPORT std::vector<SimilarGroup> findSimilarToPictures(std::shared_ptr<const SimilarCells> cells,
                                                                 const std::vector<uint8_t> &unnamed,
                                                                 const std::vector<Signature> &pictures, int level,
                                                                 int threads,
                                                                 std::shared_ptr<const SimilarApart> apart = {});

// Both kinds of base in one search (the pictures dropped on the window, some of them
// entries already): the entries first, in catalogue order, then the pictures in the order
// given, the k-th with base cells->count() + k. A raised `stop` ends the search between
// blocks of bases with the groups found so far.
struct ChosenBases {
    std::vector<int> entries;
    std::vector<Signature> pictures;
};
SIGBOXCORE_EXPORT std::vector<SimilarGroup> findSimilarToChosen(std::shared_ptr<const SimilarCells> cells,
                                                               const std::vector<uint8_t> &unnamed,
                                                               ChosenBases bases, int level, int threads,
                                                               std::shared_ptr<const SimilarApart> apart = {},
                                                               const std::atomic_bool *stop = nullptr);
