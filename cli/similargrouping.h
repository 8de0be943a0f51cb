#pragma once
// The similarity search's grouping, as Lumo's comparison run places pictures.

#include <signaturetable.h>

#include <vector>

struct SimilarGroup {
    std::vector<int> members; // ascending entry indexes
    int base = -1;            // placed after its members
    bool operator==(const SimilarGroup &) const = default;
};

// Each entry in catalogue order is a base unless already grouped; every later ungrouped
// entry whose check value with it is at most `level` joins its group. Groups come in
// the order of their bases. The result is the same for any `threads` (at least 1).
std::vector<SimilarGroup> findSimilarGroups(const SignatureTable &table, int level, int threads);
