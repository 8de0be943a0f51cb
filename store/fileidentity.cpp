#include "fileidentity.h"

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
