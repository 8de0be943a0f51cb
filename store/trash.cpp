#include "trash.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

namespace {

// Qt only trashes into an existing home trash; without one it falls back to a folder
// under the current directory and still reports success.
void ensureHomeTrash()
{
    const QString trash = homeTrashFolder();
    for (const QString &path : {trash, trash + QStringLiteral("/files"), trash + QStringLiteral("/info")}) {
        if (QFileInfo::exists(path))
            continue;
        if (QDir().mkpath(path))
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
}

QString canonicalFolder(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(QFileInfo(path).absoluteFilePath()) : canonical;
}

// The home trash, or a trash at the top of another file system:
// <top>/.Trash/<uid>/files or <top>/.Trash-<uid>/files.
bool insideTrash(const QString &trashedPath)
{
    const QString folder = canonicalFolder(QFileInfo(trashedPath).absolutePath());
    if (folder == canonicalFolder(homeTrashFolder() + QStringLiteral("/files")))
        return true;
    const QDir files(folder);
    if (files.dirName() != QLatin1String("files"))
        return false;
    const QString uid = QString::number(::getuid());
    const QFileInfo trash(QFileInfo(folder).absolutePath());
    if (trash.fileName() == QLatin1String(".Trash-") + uid)
        return true;
    return trash.fileName() == uid && QFileInfo(trash.absolutePath()).fileName() == QLatin1String(".Trash");
}

} // namespace

QString homeTrashFolder()
{
    QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty())
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return data + QStringLiteral("/Trash");
}

bool moveFileToTrash(const QString &path, QString *trashedPath)
{
    const QFileInfo source(path);
    if (!source.exists() || source.isDir())
        return false;
    ensureHomeTrash();

    // Remember what a wrong landing place could leave behind, to tidy it up.
    const QString strayFiles = QDir::current().absoluteFilePath(QStringLiteral("files"));
    const QString strayInfo = QDir::current().absoluteFilePath(QStringLiteral("info"));
    const bool hadFiles = QFileInfo::exists(strayFiles);
    const bool hadInfo = QFileInfo::exists(strayInfo);

    QFile file(path);
    if (!file.moveToTrash())
        return false;
    const QString landed = file.fileName();
    if (insideTrash(landed)) {
        if (trashedPath)
            *trashedPath = landed;
        return true;
    }

    // Not a trash: put the file back where it was and drop the record written for it.
    QFile::rename(landed, path);
    const QFileInfo landedInfo(landed);
    QFile::remove(landedInfo.absolutePath() + QStringLiteral("/../info/") + landedInfo.fileName()
                  + QStringLiteral(".trashinfo"));
    if (!hadFiles)
        QDir().rmdir(strayFiles);
    if (!hadInfo)
        QDir().rmdir(strayInfo);
    return false;
}

bool movePictureToTrash(const QString &path, const SharedThumbnails &thumbnails)
{
    if (!moveFileToTrash(path))
        return false;
    thumbnails.remove(path);
    return true;
}
