#pragma once
// Small catalogues with planted look-alikes and pairs the user marked not alike, with the
// groups a search must place at level 10; lumo-cli and the window are held to the same rows.
// A picture is a grey grid with an 11-cell patch redder by 50 + red in its two left
// columns: two plain pictures are |red - red'| apart; a mirrored one is alike only to the
// turned search, a grey copy only to the grey one.

#include "search/notalike.h"
#include "entries/signaturetable.h"

#include <QString>

#include <optional>
#include <ostream>
#include <utility>
#include <vector>

enum class CaseLook { Plain, Mirrored, Grey };

struct CasePicture {
    int red = 0;
    CaseLook look = CaseLook::Plain;
};

struct NotAlikeCase {
    const char *name;
    std::vector<CasePicture> pictures;
    std::vector<std::pair<int, int>> decided; // entries marked not alike
    std::vector<std::vector<int>> expected;   // each group's members, then its base
    SimilarRule rule{};
    int secondCatalogue = 0; // the entries from here on are a second catalogue's (0: one)
    bool renamed = false;    // the pairs were marked under other paths
    // A picture that looked otherwise when its pair was marked.
    std::optional<std::pair<int, CasePicture>> formerly{};
};

inline void PrintTo(const NotAlikeCase &row, std::ostream *out) { *out << row.name; }

inline Signature caseSignature(CasePicture picture)
{
    Signature cells;
    cells.fill(100);
    for (int k = 0; k < 11; ++k)
        cells[3 * (8 * (k / 2) + k % 2)] = int16_t(150 + picture.red);
    Signature out = cells;
    if (picture.look == CaseLook::Mirrored)
        pixcore::turnSignature(cells.data(), pixcore::GridTurn::Mirror, out.data());
    else if (picture.look == CaseLook::Grey)
        pixcore::greySignature(cells.data(), out.data());
    return out;
}

inline QString casePath(int entry) { return QStringLiteral("/pictures/p%1.jpg").arg(entry); }

// Records the row's decisions in `decisions` as the user would have marked them.
inline void markCase(const NotAlikeCase &row, NotAlikeDecisions &decisions)
{
    const auto look = [&row](int entry) {
        return row.formerly && row.formerly->first == entry ? caseSignature(row.formerly->second)
                                                            : caseSignature(row.pictures[entry]);
    };
    const auto name = [&row](int entry) {
        return row.renamed ? QStringLiteral("/before/old%1.jpg").arg(entry) : casePath(entry);
    };
    for (const auto &[a, b] : row.decided)
        decisions.add(look(a), name(a), look(b), name(b), 1000 + a * 100 + b);
}

inline std::vector<NotAlikeCase> notAlikeCases()
{
    return {
        {"nothing marked", {{0}, {5}}, {}, {{1, 0}}},
        {"a pair", {{0}, {5}}, {{0, 1}}, {}},
        {"the member stays free for a later base", {{0}, {5}, {12}}, {{0, 1}}, {{2, 1}}},
        {"a whole group", {{0}, {3}, {6}, {9}}, {{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}}, {}},
        {"a third picture would re-join them", {{0}, {3}, {6}, {13}}, {{1, 2}}, {{1, 0}, {3, 2}}},
        {"a renamed file", {{0}, {5}}, {{0, 1}}, {}, {}, 0, true},
        {"a changed file", {{0}, {5}}, {{0, 1}}, {{1, 0}}, {}, 0, false, std::pair{1, CasePicture{4}}},
        {"an exact copy", {{0}, {5}, {5}}, {{0, 1}}, {{2, 1}}},
        {"exact copies decided not alike", {{0}, {0}, {0}, {20}}, {{0, 1}}, {}},
        {"exact copies apart, a third picture joins one", {{0}, {0}, {4}}, {{0, 1}}, {{2, 0}}},
        {"turned", {{0}, {4, CaseLook::Mirrored}, {14, CaseLook::Mirrored}}, {{0, 1}}, {{2, 1}}, {true, false}},
        {"grey", {{0}, {0, CaseLook::Grey}, {3}}, {{0, 1}}, {{2, 0}}, {false, true}},
        {"several catalogues", {{0}, {5}, {12}, {3}}, {{0, 1}}, {{3, 0}, {2, 1}}, {}, 3},
    };
}

inline SignatureTable caseTable(const NotAlikeCase &row)
{
    SignatureTable table;
    for (size_t i = 0; i < row.pictures.size(); ++i)
        table.append(casePath(int(i)), caseSignature(row.pictures[i]));
    return table;
}
