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

namespace {
// An absolute path without "//", "." or ".." segments or a closing '/', which cleaning
// would return as it is: most stored paths are, and cleaning one costs an allocation.
bool alreadyClean(const QString &path)
{
    const qsizetype size = path.size();
    if (size == 0 || path.front() != QLatin1Char('/') || (size > 1 && path.back() == QLatin1Char('/')))
        return false;
    const QChar *text = path.constData();
    for (qsizetype i = 0; i < size; ++i) {
        if (text[i] != QLatin1Char('/') || i + 1 == size)
            continue;
        const QChar next = text[i + 1];
        if (next == QLatin1Char('/'))
            return false;
        if (next != QLatin1Char('.'))
            continue;
        // "/." or "/.." as a whole segment.
        qsizetype end = i + 2;
        if (end < size && text[end] == QLatin1Char('.'))
            ++end;
        if (end == size || text[end] == QLatin1Char('/'))
            return false;
    }
    return true;
}
} // namespace

QString cleanFullPath(const QString &path)
{
    if (alreadyClean(path))
        return path;
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

qsizetype sameFileIn(const QStringList &paths, const QString &path)
{
    if (path.isEmpty())
        return -1;
    if (const qsizetype at = paths.indexOf(path); at >= 0)
        return at;
    const QString real = realLocation(path);
    if (const qsizetype at = paths.indexOf(real); at >= 0)
        return at;
    const FileIdentity identity = fileIdentity(path);
    if (!identity.known)
        return -1;
    const QString name = QLatin1Char('/') + QFileInfo(path).fileName();
    const QString realName = QLatin1Char('/') + QFileInfo(real).fileName();
    for (qsizetype i = 0; i < paths.size(); ++i) {
        const QString &other = paths.at(i);
        if ((other.endsWith(name) || other.endsWith(realName)) && fileIdentity(other).sameFile(identity))
            return i;
    }
    return -1;
}
