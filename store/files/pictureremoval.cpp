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
    QHash<QString, std::vector<std::pair<int, int>>> places; // cleaned path -> (catalogue, entry)
    for (size_t k = 0; k < catalogues.size(); ++k) {
        for (qsizetype i = 0; i < catalogues[k].size(); ++i) {
            if (!catalogues[k].at(i).isEmpty())
                places[cleanFullPath(catalogues[k].at(i))].emplace_back(int(k), int(i));
        }
    }

    QStringList named; // cleaned, each once, in the catalogues
    QSet<QString> seen;
    QStringList present;
    QHash<QString, QString> cleanedOf; // as named -> cleaned, for the files handed to `move`
    for (const QString &path : paths) {
        const QString cleaned = cleanFullPath(path);
        if (path.isEmpty() || seen.contains(cleaned))
            continue;
        seen.insert(cleaned);
        if (!places.contains(cleaned)) {
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
