#include "files/pictureremoval.h"

#include "files/fileidentity.h"
#include "files/folderscan.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <utility>

int PictureRemoval::entryCount() const
{
    size_t count = 0;
    for (const std::vector<int> &catalogue : entries)
        count += catalogue.size();
    return int(count);
}

PictureRemoval removePictures(const std::vector<QStringList> &catalogues, const QStringList &paths,
                              const FileMover &move)
{
    PictureRemoval removal;
    removal.entries.resize(catalogues.size());
    // Only the named pictures are looked for: hashing every entry of a million made the
    // removal of a few the slow part of a deletion.
    QHash<QString, std::vector<std::pair<int, int>>> places; // cleaned path -> (catalogue, entry)
    std::vector<QString> cleanedPaths;
    cleanedPaths.reserve(size_t(paths.size()));
    for (const QString &path : paths) {
        cleanedPaths.push_back(path.isEmpty() ? QString() : cleanFullPath(path));
        if (!path.isEmpty())
            places[cleanedPaths.back()];
    }
    for (size_t k = 0; k < catalogues.size(); ++k) {
        for (qsizetype i = 0; i < catalogues[k].size(); ++i) {
            const QString &name = catalogues[k].at(i);
            if (name.isEmpty())
                continue;
            if (const auto place = places.find(cleanFullPath(name)); place != places.end())
                place->emplace_back(int(k), int(i));
        }
    }

    QStringList named; // cleaned, each once, in the catalogues
    QSet<QString> seen;
    QStringList present;
    QHash<QString, QString> cleanedOf; // as named -> cleaned, for the files handed to `move`
    for (qsizetype p = 0; p < paths.size(); ++p) {
        const QString &path = paths[p];
        const QString &cleaned = cleanedPaths[size_t(p)];
        if (path.isEmpty() || seen.contains(cleaned))
            continue;
        seen.insert(cleaned);
        if (const auto place = places.constFind(cleaned); place == places.cend() || place->empty()) {
            removal.unknown << path;
            continue;
        }
        named << cleaned;
        if (move && !isPictureGone(path)) {
            present << path;
            cleanedOf.insert(path, cleaned);
        }
    }

    QSet<QString> stays;
    if (move) {
        const QStringList failed = move(present);
        for (const QString &path : failed)
            stays.insert(cleanedOf.value(path, cleanFullPath(path)));
        for (const QString &path : std::as_const(present)) {
            if (stays.contains(cleanedOf.value(path)))
                removal.kept << path;
            else
                removal.moved << path;
        }
    }
    for (const QString &cleaned : std::as_const(named)) {
        if (stays.contains(cleaned))
            continue;
        removal.leaving << cleaned;
        for (const auto &[catalogue, entry] : places.value(cleaned))
            removal.entries[catalogue].push_back(entry);
    }
    for (std::vector<int> &entries : removal.entries)
        std::sort(entries.begin(), entries.end());
    return removal;
}
