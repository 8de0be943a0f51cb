#pragma once
// Several catalogues as one collection, for more pictures than one catalogue file holds:
// the entries of all of them, in the order the catalogues are given and then each one's
// own order, are one sequence for the search and the listing. A path that already stands
// in an earlier catalogue is the same picture and counts once, at its first place (within
// one catalogue nothing is dropped, as a single catalogue is searched today). Each picture
// remembers which catalogue holds it and at which entry, so a change can go back to that
// file. Signatures, when wanted, are packed once as each catalogue is read, so memory
// stays at the packed signatures plus the paths.

#include "catalogue/catalogue.h"
#include "sigboxcore_export.h"
#include "search/similargrouping.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

class SIGBOXCORE_EXPORT PictureCollection
{
public:
    // `cells` receives the signatures of the pictures (for a search; the rule it was made
    // with applies); without it only the paths are kept.
    explicit PictureCollection(std::shared_ptr<SimilarCells> cells = nullptr);

    // Room for the entries the files say they hold, so that reading moves nothing.
    void reserveFor(const QStringList &files);
    // Reads one more catalogue after those read so far. A failed or damaged read (see
    // CatalogueResult::damaged) adds nothing; the result says why.
    CatalogueResult addCatalogue(const QString &file);
    // The same for a table in memory that stands for `file`; false (nothing added) when
    // its signatures cannot be packed.
    bool addTable(const QString &file, const SignatureTable &table);

    int count() const { return static_cast<int>(m_paths.size()); }
    const QString &path(int picture) const { return m_paths[picture]; }
    // Which of catalogues() holds the picture, and its entry index there.
    int catalogueOf(int picture) const { return m_catalogue[picture]; }
    int entryOf(int picture) const { return m_entry[picture]; }
    const QStringList &catalogues() const { return m_files; }
    // Entries left out because an earlier catalogue holds their path.
    int repeats() const { return m_repeats; }

    // For the search: 1 for each picture without a path, which takes part in no comparison.
    std::vector<uint8_t> unnamed() const;
    std::shared_ptr<const SimilarCells> cells() const { return m_cells; }

private:
    std::shared_ptr<SimilarCells> m_cells;
    QStringList m_files;
    std::vector<QString> m_paths;
    std::vector<int32_t> m_catalogue;
    std::vector<int32_t> m_entry;
    QSet<QString> m_earlier; // the paths of the catalogues read so far
    int m_repeats = 0;
};

// The number of entries a catalogue file says it holds (its first two bytes), or -1.
SIGBOXCORE_EXPORT int catalogueEntryCount(const QString &file);
