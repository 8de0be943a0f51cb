#pragma once
// A catalogue of more pictures than one file holds: the entries in one table, saved as
// numbered parts beside the first file (photos.sbx, photos-2.sbx, photos-3.sbx, ...), each
// an ordinary catalogue of at most 32,767 entries. Read one after the other they give the
// entries in the table's order, which is how lumo-cli reads and adds to such a series.
//
// Entries added go into the last part, and a full last part is followed by a new one.
// Removing an entry leaves the other parts alone, so saving rewrites only the parts that
// lost or gained entries; a part emptied so stays as an empty catalogue. Only a repacked
// save (after optimising) fills every part but the last again; the files of the parts no
// longer needed then go to the trash.

#include "catalogue/catalogue.h"
#include "sigboxcore_export.h"
#include "entries/signaturetable.h"

#include <QString>
#include <QStringList>

#include <vector>

// The file of part `part` (2, 3, ...) of the series that starts with `catalogue`.
SIGBOXCORE_EXPORT QString splitCatalogueName(const QString &catalogue, int part);
// The numbers of the parts beside `catalogue` on disk (2, 3, ...), ascending, gaps and all.
SIGBOXCORE_EXPORT std::vector<int> existingCatalogueParts(const QString &catalogue);
// The first file of the series `file` is a part of: "photos.sbx" for "photos-3.sbx" when
// photos.sbx exists; otherwise `file` itself.
SIGBOXCORE_EXPORT QString firstCatalogueOf(const QString &file);
// The first file and its parts on disk, in reading order.
SIGBOXCORE_EXPORT QStringList catalogueSeries(const QString &first);

class SIGBOXCORE_EXPORT CatalogueSet
{
public:
    static constexpr int PartEntries = SignatureTable::MaxEntries;

    CatalogueSet();

    const SignatureTable &table() const { return m_table; }
    int count() const { return m_table.count(); }

    // False only when memory holds no more.
    bool append(const QString &name, const Signature &cells);
    bool appendBytes(const QString &name, const QByteArray &bytes);
    bool remove(int index);                            // as SignatureTable::remove
    bool removeEntries(const std::vector<int> &indexes); // as SignatureTable::removeEntries
    void clear();                                      // no entries, no files

    // Reads the series `file` belongs to. A part that fails fails the whole (the set is
    // then empty); the result is that part's, with the entries of the whole.
    CatalogueResult load(const QString &file);
    // Takes the entries and series of a set read elsewhere (on a worker) in place of these;
    // `other` is left empty.
    void replaceWith(CatalogueSet &&other);
    // Writes the parts whose entries changed, each atomically; every part when `first` is
    // not the series read or saved last (whose files beyond the new ones go to the trash).
    CatalogueResult save(const QString &first);
    // Fills every part but the last to PartEntries, then writes all of them; the files of
    // the parts left over go to the trash.
    CatalogueResult saveRepacked(const QString &first);

    // The series' first file ("" until read or saved) and its files, in order.
    const QString &firstPart() const { return m_first; }
    QStringList partFiles() const;
    int partCount() const { return static_cast<int>(m_parts.size()); }
    int partEntries(int part) const { return m_parts[size_t(part)].count; }
    bool partChanged(int part) const { return m_parts[size_t(part)].changed; }
    // The part entry `index` lies in.
    int partOf(int index) const;

private:
    struct Part {
        int number = 1; // 1 for the first file, then its "-N"; 0 while it has no file yet
        int count = 0;
        bool changed = true;
    };
    void markAllChanged();
    CatalogueResult writeParts(bool all);
    void removeFilesAfter(int number) const;

    SignatureTable m_table;
    QString m_first;
    std::vector<Part> m_parts;
};
