#include "pathsplitter.h"

static qsizetype lastSeparator(const QString &path)
{
    return path.lastIndexOf(QLatin1Char('/'));
}

QString PathSplitter::FolderPart(const QString &path)
{
    const qsizetype slash = lastSeparator(path);
    if (slash < 0)
        return QString();
    QString folder = path.left(slash);
    // "/pics//a.jpg" and the root itself keep a sensible folder.
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    return folder.isEmpty() ? QStringLiteral("/") : folder;
}

QString PathSplitter::FileNamePart(const QString &path)
{
    return path.mid(lastSeparator(path) + 1);
}

QString PathSplitter::ExtensionPart(const QString &path)
{
    const QString name = FileNamePart(path);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1);
}
