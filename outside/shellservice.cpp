#include "shellservice.h"

#include "dialogservice.h"
#include "sharedthumbnails.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

QString ShellService::BrowseFolder(QWidget *owner, const QString &start)
{
    return DialogService::instance().BrowseForFolder(owner, start);
}

QStringList ShellService::splitNulList(const QString &nulList)
{
    return nulList.split(QChar(0), Qt::SkipEmptyParts);
}

QString ShellService::joinNulList(const QStringList &paths)
{
    QString list;
    for (const QString &path : paths)
        list += path + QChar(0);
    return list + QChar(0);
}

QString ShellService::homeTrash()
{
    QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty())
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return data + QStringLiteral("/Trash");
}

// Qt only trashes into an existing home trash; without one it falls back to a folder
// under the current directory and still reports success.
static void ensureHomeTrash()
{
    const QString trash = ShellService::homeTrash();
    for (const QString &path : {trash, trash + QStringLiteral("/files"), trash + QStringLiteral("/info")}) {
        if (QFileInfo::exists(path))
            continue;
        if (QDir().mkpath(path))
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
}

static QString canonicalFolder(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(QFileInfo(path).absoluteFilePath()) : canonical;
}

// The home trash, or a trash at the top of another file system:
// <top>/.Trash/<uid>/files or <top>/.Trash-<uid>/files.
static bool insideTrash(const QString &trashedPath)
{
    const QString folder = canonicalFolder(QFileInfo(trashedPath).absolutePath());
    if (folder == canonicalFolder(ShellService::homeTrash() + QStringLiteral("/files")))
        return true;
    const QDir files(folder);
    if (files.dirName() != QLatin1String("files"))
        return false;
    const QString uid = QString::number(::getuid());
    const QFileInfo trash(QFileInfo(folder).absolutePath());
    if (trash.fileName() == QLatin1String(".Trash-") + uid)
        return true;
    return trash.fileName() == uid
        && QFileInfo(trash.absolutePath()).fileName() == QLatin1String(".Trash");
}

bool ShellService::moveToTrash(const QString &path, QString *trashedPath)
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

namespace {
ShellService *g_installed = nullptr;
} // namespace

ShellService::~ShellService() = default;

void ShellService::install(ShellService *service)
{
    g_installed = service;
}

ShellService *ShellService::installed()
{
    return g_installed;
}

QStringList ShellService::RemoveFiles(const QString &nulList, int option, QWidget *owner)
{
    ShellService *service = g_installed ? g_installed : &instance();
    return service->removeFiles(nulList, option, owner);
}

QStringList ShellService::removeFiles(const QString &nulList, int, QWidget *owner)
{
    QStringList failed;
    const QStringList paths = splitNulList(nulList);
    const SharedThumbnails thumbnails;
    for (const QString &path : paths) {
        if (moveToTrash(path))
            thumbnails.remove(path); // as the thumbnail standard asks of programs that delete files
        else
            failed << path;
    }
    if (failed.isEmpty())
        return failed;

    // One message, however many files; a long list is cut so the box fits the screen.
    constexpr qsizetype shown = 20;
    QString text = QStringLiteral("次のファイルをごみ箱へ移動できませんでした。\n");
    for (qsizetype i = 0; i < failed.size() && i < shown; ++i)
        text += QLatin1Char('\n') + failed.at(i);
    if (failed.size() > shown)
        text += QStringLiteral("\nほか %1 個のファイル").arg(failed.size() - shown);
    DialogService::instance().ShowMessage(owner, text, DialogService::OkExclamation);
    return failed;
}

ShellService &ShellService::instance()
{
    static ShellService service;
    return service;
}
