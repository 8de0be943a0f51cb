#include "files/fileidentity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

FileIdentity fileIdentity(const QString &path)
{
    struct stat status {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &status) != 0)
        return {};
    return {uint64_t(status.st_dev), uint64_t(status.st_ino), true};
}

QString realLocation(const QString &path)
{
    if (path.isEmpty())
        return {};
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

QString cleanFullPath(const QString &path)
{
    const QString cleaned = QDir::cleanPath(path);
    const qsizetype up = path.lastIndexOf(QLatin1String("/.."));
    if (up < 0 || (up + 3 < path.size() && path.at(up + 3) != QLatin1Char('/')) || cleaned == path)
        return cleaned;
    // Only where a link stands before "..": otherwise the lexical answer is already right.
    const QString head = path.left(up + 3);
    const QString resolved = QFileInfo(head).canonicalFilePath();
    if (resolved.isEmpty())
        return cleaned;
    return QDir::cleanPath(resolved + path.mid(up + 3));
}
