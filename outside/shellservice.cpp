#include "shellservice.h"

#include "dialogservice.h"

#include <sharedthumbnails.h>
#include <trash.h>

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
    return homeTrashFolder();
}

bool ShellService::moveToTrash(const QString &path, QString *trashedPath)
{
    return moveFileToTrash(path, trashedPath);
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
        if (!movePictureToTrash(path, thumbnails))
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
