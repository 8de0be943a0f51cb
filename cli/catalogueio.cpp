#include "catalogueio.h"

#include "files/fileidentity.h"

#include "catalogue/catalogue.h"
#include "files/folderscan.h"
#include "pictures/picturesignature.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

void reportProblem(CommandContext &context, const QString &file, const QString &reason)
{
    context.err << "lumo-cli: " << file << ": " << reason << Qt::endl;
}

QString absolutePath(const QString &argument)
{
    if (QDir::isAbsolutePath(argument))
        return cleanFullPath(argument);
    const QString here = QDir::currentPath();
    return cleanFullPath(here.endsWith(QLatin1Char('/')) ? here + argument : here + QLatin1Char('/') + argument);
}

QString printablePath(const QByteArray &nativePath)
{
    QString shown;
    for (qsizetype at = 0; at < nativePath.size();) {
        // The longest valid sequence starting here (UTF-8 sequences are at most 4 bytes).
        qsizetype length = 0;
        for (qsizetype n = std::min<qsizetype>(4, nativePath.size() - at); n >= 1 && length == 0; --n) {
            if (isValidUtf8(nativePath.mid(at, n)))
                length = n;
        }
        if (length > 0) {
            shown += QString::fromUtf8(nativePath.mid(at, length));
            at += length;
        } else {
            shown += QStringLiteral("\\x") + QString::number(uchar(nativePath.at(at)), 16).rightJustified(2, QLatin1Char('0')).toUpper();
            ++at;
        }
    }
    return shown;
}

QString readProblem(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return info.isSymLink() ? QStringLiteral("broken symbolic link") : QStringLiteral("no such file");
    if (info.isDir())
        return QStringLiteral("is a folder");
    if (!info.isReadable())
        return QStringLiteral("permission denied");
    return QStringLiteral("cannot open");
}

QString pictureProblem(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() || info.isDir() || !info.isReadable())
        return readProblem(path);
    return QStringLiteral("cannot read picture");
}

namespace {

bool catalogueRead(const QString &path, const CatalogueResult &result, CommandContext &context)
{
    if (result.status == CatalogueStatus::OpenFailed) {
        reportProblem(context, path, readProblem(path));
        return false;
    }
    if (result.status == CatalogueStatus::NotHeld) {
        reportProblem(context, path, QStringLiteral("out of memory for its pictures"));
        return false;
    }
    // A short or cut file would silently lose entries on the next save: refuse it.
    if (result.damaged()) {
        reportProblem(context, path, QStringLiteral("not a catalogue file"));
        return false;
    }
    return true;
}

} // namespace

bool openCatalogue(const QString &path, SignatureTable &table, CommandContext &context)
{
    return catalogueRead(path, loadCatalogue(path, table), context);
}

bool openCollection(const QStringList &paths, PictureCollection &collection, CommandContext &context)
{
    collection.reserveFor(paths);
    for (const QString &path : paths) {
        if (!catalogueRead(path, collection.addCatalogue(path), context))
            return false;
    }
    return true;
}

bool storeCatalogue(const QString &path, const SignatureTable &table, CommandContext &context)
{
    if (!saveCatalogue(path, table).failed())
        return true;
    const QFileInfo info(path);
    const QFileInfo folder(info.absolutePath());
    QString reason = QStringLiteral("cannot write catalogue");
    if (info.isDir())
        reason = QStringLiteral("is a folder");
    else if (!folder.isDir())
        reason = QStringLiteral("no such folder");
    else if (!folder.isWritable())
        reason = QStringLiteral("permission denied");
    reportProblem(context, path, reason);
    return false;
}

std::optional<Signature> signatureOfFile(const QString &path)
{
    // Only the cells: the stretched face would cost 16 KiB per pending result.
    const QImage face = loadStretchedPicture(path);
    if (face.isNull())
        return std::nullopt;
    return signatureOfSurface(face);
}
