#include "folderscan.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

void scan(const QString &folder, QStringList &found)
{
    QDir dir(folder);
    // Unsorted here: the order is fixed below by plain string comparison, not by locale.
    QStringList files = dir.entryList(QDir::Files | QDir::Hidden, QDir::Unsorted);
    QStringList folders = dir.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks,
                                        QDir::Unsorted);
    std::sort(files.begin(), files.end());
    std::sort(folders.begin(), folders.end());
    for (const QString &name : std::as_const(files)) {
        if (hasPictureExtension(name))
            found.append(dir.filePath(name));
    }
    for (const QString &name : std::as_const(folders))
        scan(dir.filePath(name), found);
}

} // namespace

bool hasPictureExtension(const QString &fileName)
{
    return fileName.endsWith(QLatin1String(".jpg"), Qt::CaseInsensitive)
        || fileName.endsWith(QLatin1String(".jpeg"), Qt::CaseInsensitive);
}

QStringList scanFolderForPictures(const QString &folder)
{
    QStringList found;
    scan(QFileInfo(folder).absoluteFilePath(), found);
    return found;
}
