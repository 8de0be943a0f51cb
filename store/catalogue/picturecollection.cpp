#include "catalogue/picturecollection.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>

int catalogueEntryCount(const QString &file)
{
    QFile in;
    uchar bytes[2];
    if (!openCatalogueFile(in, file) || in.read(reinterpret_cast<char *>(bytes), 2) != 2)
        return -1;
    return std::max<int>(qFromLittleEndian<int16_t>(bytes), -1);
}

PictureCollection::PictureCollection(std::shared_ptr<SimilarCells> cells)
    : m_cells(std::move(cells))
{
}

void PictureCollection::reserveFor(const QStringList &files)
{
    qsizetype total = count();
    for (const QString &file : files)
        total += std::max(catalogueEntryCount(file), 0);
    m_paths.reserve(total);
    m_catalogue.reserve(total);
    m_entry.reserve(total);
    m_earlier.reserve(total);
    // A failure here only means the pack grows as it goes.
    if (m_cells)
        m_cells->reserve(static_cast<int>(std::min<qsizetype>(total, INT32_MAX)));
}

CatalogueResult PictureCollection::addCatalogue(const QString &file)
{
    SignatureTable table;
    CatalogueResult result = loadCatalogue(file, table);
    // The file was read whole, so only the pack can refuse it: memory, not the file.
    if (!result.damaged() && !addTable(file, table))
        result.status = CatalogueStatus::NotHeld;
    return result;
}

bool PictureCollection::addTable(const QString &file, const SignatureTable &table)
{
    const int catalogue = static_cast<int>(m_files.size());
    // The entries this catalogue adds, in runs between repeats, so the signatures go
    // into the pack in as few steps as there are repeats.
    std::vector<int> fresh;
    fresh.reserve(table.count());
    for (int i = 0; i < table.count(); ++i) {
        const QString &name = table.name(i);
        if (!name.isEmpty() && m_earlier.contains(name))
            ++m_repeats;
        else
            fresh.push_back(i);
    }
    if (m_cells) {
        const int before = m_cells->count();
        for (size_t k = 0; k < fresh.size();) {
            size_t end = k + 1;
            while (end < fresh.size() && fresh[end] == fresh[end - 1] + 1)
                ++end;
            if (!m_cells->append(&table.cells(fresh[k]), static_cast<int>(end - k))) {
                // Nothing of this catalogue may stay behind.
                m_cells->truncate(before);
                return false;
            }
            k = end;
        }
    }
    m_files.append(file);
    for (int i : fresh) {
        m_paths.push_back(table.name(i));
        m_catalogue.push_back(catalogue);
        m_entry.push_back(i);
    }
    // Only later catalogues look a path up: repeats inside this one stay, as they would
    // in a search of it alone.
    for (int i : fresh) {
        if (!table.name(i).isEmpty())
            m_earlier.insert(table.name(i));
    }
    return true;
}

std::vector<uint8_t> PictureCollection::unnamed() const
{
    std::vector<uint8_t> result(m_paths.size());
    for (size_t i = 0; i < m_paths.size(); ++i)
        result[i] = m_paths[i].isEmpty();
    return result;
}
