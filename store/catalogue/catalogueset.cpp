#include "catalogue/catalogueset.h"

#include "catalogue/picturecollection.h"
#include "files/trash.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <utility>

QString splitCatalogueName(const QString &catalogue, int part)
{
    const QFileInfo info(catalogue);
    const QString suffix = info.suffix();
    const QString number = QLatin1Char('-') + QString::number(part);
    // Only the file's own name changes: "a.b/photos" is not "a-2.b/photos".
    if (suffix.isEmpty() || info.fileName() == QLatin1Char('.') + suffix)
        return catalogue + number;
    return catalogue.left(catalogue.size() - suffix.size() - 1) + number + QLatin1Char('.') + suffix;
}

std::vector<int> existingCatalogueParts(const QString &catalogue)
{
    constexpr int Mark = 987654321;
    const QFileInfo marked(splitCatalogueName(catalogue, Mark));
    const QString name = marked.fileName();
    const qsizetype at = name.indexOf(QString::number(Mark));
    const QString before = name.left(at);
    const QString after = name.mid(at + QString::number(Mark).size());
    std::vector<int> parts;
    const QStringList names = QDir(marked.absolutePath()).entryList(QDir::Files | QDir::System | QDir::Hidden);
    for (const QString &entry : names) {
        if (!entry.startsWith(before) || !entry.endsWith(after) || entry.size() <= before.size() + after.size())
            continue;
        const QString number = entry.mid(before.size(), entry.size() - before.size() - after.size());
        bool ok = false;
        const int part = number.toInt(&ok);
        if (ok && part >= 2 && number == QString::number(part))
            parts.push_back(part);
    }
    std::sort(parts.begin(), parts.end());
    return parts;
}

QString firstCatalogueOf(const QString &file)
{
    // "-N" stands either before the suffix or at the end: try both, and keep the one that
    // names `file` again.
    const QString dash = QStringLiteral("-");
    const QFileInfo info(file);
    const QString suffix = info.suffix();
    QStringList stems{file};
    if (!suffix.isEmpty())
        stems.prepend(file.left(file.size() - suffix.size() - 1));
    for (const QString &stem : std::as_const(stems)) {
        const qsizetype at = stem.lastIndexOf(dash);
        if (at < 0)
            continue;
        const QString number = stem.mid(at + 1);
        bool ok = false;
        const int part = number.toInt(&ok);
        if (!ok || part < 2 || number != QString::number(part))
            continue;
        const QString first = stem.left(at) + file.mid(stem.size());
        if (QFileInfo(first).fileName().isEmpty() || splitCatalogueName(first, part) != file)
            continue;
        if (QFileInfo(first).isFile())
            return first;
    }
    return file;
}

QStringList catalogueSeries(const QString &first)
{
    QStringList files{first};
    for (int part : existingCatalogueParts(first))
        files.append(splitCatalogueName(first, part));
    return files;
}

CatalogueSet::CatalogueSet()
    : m_table(SignatureTable::Unlimited)
    , m_parts(1)
{
}

bool CatalogueSet::append(const QString &name, const Signature &cells)
{
    const bool startsPart = m_parts.back().count >= PartEntries;
    if (startsPart)
        m_parts.push_back(Part{0, 0, true});
    if (!m_table.append(name, cells)) {
        if (startsPart)
            m_parts.pop_back();
        return false;
    }
    ++m_parts.back().count;
    m_parts.back().changed = true;
    return true;
}

bool CatalogueSet::appendBytes(const QString &name, const QByteArray &bytes)
{
    SignatureTable one;
    if (!one.appendBytes(name, bytes))
        return false;
    return append(name, one.cells(0));
}

int CatalogueSet::partOf(int index) const
{
    int part = 0;
    for (int before = 0; part + 1 < partCount(); ++part) {
        before += m_parts[size_t(part)].count;
        if (index < before)
            break;
    }
    return part;
}

bool CatalogueSet::remove(int index)
{
    const int part = index >= 0 && index < count() ? partOf(index) : -1;
    if (!m_table.remove(index))
        return false;
    --m_parts[size_t(part)].count;
    m_parts[size_t(part)].changed = true;
    return true;
}

bool CatalogueSet::removeEntries(const std::vector<int> &indexes)
{
    // Parts looked up before any count changes: the indexes are those of the table as it is.
    std::vector<int> parts;
    parts.reserve(indexes.size());
    for (int index : indexes)
        parts.push_back(index >= 0 && index < count() ? partOf(index) : -1);
    if (!m_table.removeEntries(indexes))
        return false;
    for (int part : parts) {
        --m_parts[size_t(part)].count;
        m_parts[size_t(part)].changed = true;
    }
    return true;
}

void CatalogueSet::clear()
{
    m_table.clear();
    m_first.clear();
    m_parts.assign(1, Part{});
}

void CatalogueSet::replaceWith(CatalogueSet &&other)
{
    m_table.replaceWith(std::move(other.m_table));
    m_first = std::exchange(other.m_first, QString());
    m_parts = std::exchange(other.m_parts, std::vector<Part>(1));
    other.m_table = SignatureTable(SignatureTable::Unlimited);
}

CatalogueResult CatalogueSet::load(const QString &file)
{
    clear();
    const QString first = firstCatalogueOf(file);
    const QStringList files = catalogueSeries(first);
    const std::vector<int> numbers = existingCatalogueParts(first);
    qsizetype total = 0;
    for (const QString &part : files)
        total += std::max(catalogueEntryCount(part), 0);
    m_table.reserve(static_cast<int>(std::min<qsizetype>(total, SignatureTable::Unlimited)));

    if (files.size() == 1) {
        // A lone catalogue is kept as read, its spare slot included.
        const CatalogueResult result = loadCatalogue(first, m_table);
        if (result.failed()) {
            clear();
            return result;
        }
        m_parts.front().changed = false;
        m_parts.front().count = m_table.count();
        m_first = first;
        return result;
    }
    CatalogueResult whole;
    m_parts.clear();
    for (qsizetype k = 0; k < files.size(); ++k) {
        SignatureTable part;
        const CatalogueResult result = loadCatalogue(files[k], part);
        if (result.failed()) {
            clear();
            return result;
        }
        if (whole.status == CatalogueStatus::Ok)
            whole.status = result.status;
        for (int i = 0; i < part.count(); ++i) {
            if (!m_table.append(part.name(i), part.cells(i))) {
                clear();
                whole.status = CatalogueStatus::NotHeld;
                return whole;
            }
        }
        m_parts.push_back(Part{k == 0 ? 1 : numbers[size_t(k - 1)], part.count(), false});
        whole.entryCount += result.entryCount;
        whole.recordsRead += std::min(result.recordsRead, result.entryCount);
    }
    m_first = first;
    return whole;
}

QStringList CatalogueSet::partFiles() const
{
    QStringList files;
    for (const Part &part : m_parts) {
        if (m_first.isEmpty() || part.number == 0)
            files.append(QString());
        else
            files.append(part.number == 1 ? m_first : splitCatalogueName(m_first, part.number));
    }
    return files;
}

CatalogueResult CatalogueSet::writeParts(bool all)
{
    CatalogueResult whole;
    whole.entryCount = count();
    whole.recordsRead = m_table.slotCount();
    if (m_parts.size() == 1) {
        // One file: the table as it is, spare slot and all, as a single catalogue is saved.
        whole = saveCatalogue(m_first, m_table);
        if (!whole.failed())
            m_parts.front().changed = false;
        return whole;
    }
    int offset = 0;
    const QStringList files = partFiles();
    for (size_t k = 0; k < m_parts.size(); ++k) {
        Part &part = m_parts[k];
        if (all || part.changed) {
            SignatureTable slice;
            for (int i = offset; i < offset + part.count; ++i)
                slice.append(m_table.name(i), m_table.cells(i));
            const CatalogueResult result = saveCatalogue(files[qsizetype(k)], slice);
            if (result.failed())
                return result;
            part.changed = false;
        }
        offset += part.count;
    }
    return whole;
}

void CatalogueSet::removeFilesAfter(int number) const
{
    // A file left over would be read as part of the series next time. It is the user's
    // data all the same: to the trash, or where there is none, out of the series' names.
    for (int part : existingCatalogueParts(m_first)) {
        if (part <= number)
            continue;
        const QString file = splitCatalogueName(m_first, part);
        if (moveFileToTrash(file) != TrashResult::Moved && QFileInfo::exists(file)) {
            QString aside = file + QStringLiteral(".old");
            for (int n = 2; QFileInfo::exists(aside) || QFileInfo(aside).isSymLink(); ++n)
                aside = file + QStringLiteral(".old%1").arg(n);
            QFile::rename(file, aside);
        }
    }
}

void CatalogueSet::markAllChanged()
{
    for (Part &part : m_parts)
        part.changed = true;
}

CatalogueResult CatalogueSet::save(const QString &first)
{
    const bool anew = first != m_first;
    m_first = first;
    if (anew) {
        // Another series: numbered afresh, and what stood there before is not read with it.
        for (size_t k = 0; k < m_parts.size(); ++k)
            m_parts[k].number = int(k) + 1;
        const CatalogueResult result = writeParts(true);
        if (!result.failed())
            removeFilesAfter(partCount());
        else
            markAllChanged();
        return result;
    }
    // A new part never goes over a file that was not read as part of the series.
    for (size_t k = 1; k < m_parts.size(); ++k) {
        if (m_parts[k].number != 0)
            continue;
        int number = m_parts[k - 1].number + 1;
        while (QFileInfo::exists(splitCatalogueName(first, number))
               || QFileInfo(splitCatalogueName(first, number)).isSymLink())
            ++number;
        m_parts[k].number = number;
    }
    return writeParts(false);
}

CatalogueResult CatalogueSet::saveRepacked(const QString &first)
{
    const int parts = std::max(1, (count() + PartEntries - 1) / PartEntries);
    m_parts.assign(size_t(parts), Part{});
    for (int k = 0; k < parts; ++k) {
        m_parts[size_t(k)].number = k + 1;
        m_parts[size_t(k)].count = std::min(PartEntries, count() - k * PartEntries);
    }
    m_first = first;
    const CatalogueResult result = writeParts(true);
    if (!result.failed())
        removeFilesAfter(parts);
    else
        markAllChanged();
    return result;
}
