// remove: the pictures a user (or `similar --keep`) names leave the catalogue, and with
// --trash their files go to the desktop trash as the window's delete sends them.

#include "catalogueio.h"
#include "commands.h"

#include "files/pictureremoval.h"
#include "files/sharedthumbnails.h"
#include "files/trash.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <vector>

#include <unistd.h>

namespace {

// The paths standard input names: each ended by a NUL, or one a line. Empty items are
// skipped, so a final line break or NUL adds nothing.
QStringList readPathList(QIODevice &in, bool null)
{
    QStringList paths;
    const QList<QByteArray> items = in.readAll().split(null ? '\0' : '\n');
    for (QByteArray item : items) {
        if (!null && item.endsWith('\r'))
            item.chop(1);
        if (!item.isEmpty())
            paths << QFile::decodeName(item);
    }
    return paths;
}

// The arguments with "-" replaced by what standard input names (read once).
QStringList namedPaths(const RemoveOptions &options, CommandContext &context)
{
    QStringList paths;
    bool inputRead = false;
    for (const QString &argument : options.paths) {
        if (argument != QLatin1String("-")) {
            paths << argument;
        } else if (!inputRead) {
            inputRead = true;
            if (context.in)
                paths += readPathList(*context.in, options.null);
        }
    }
    return paths;
}

// A catalogue file that a save can replace: its folder takes the new file, and the file
// itself (when there) can be written.
bool canReplace(const QString &catalogue)
{
    const QFileInfo info(catalogue);
    const QByteArray folder = QFile::encodeName(info.absolutePath());
    return ::access(folder.constData(), W_OK | X_OK) == 0
        && (!info.exists() || ::access(QFile::encodeName(catalogue).constData(), W_OK) == 0);
}

// Why the trash refused, when its folder is the reason: what is wrong and what to do.
QString trashFolderReason(const TrashFolderProblem &problem)
{
    using Fault = TrashFolderProblem::Fault;
    switch (problem.fault) {
    case Fault::OpenToOthers:
        return QStringLiteral(": the trash folder %1 is open to other users; make it 0700 (chmod 700 %1)").arg(problem.folder);
    case Fault::OthersOwn:
        return QStringLiteral(": the trash folder %1 belongs to another user; it must be your own, mode 0700").arg(problem.folder);
    case Fault::Link:
        return QStringLiteral(": the trash folder %1 is a link; make it a folder of your own, mode 0700").arg(problem.folder);
    case Fault::NotFolder:
        return QStringLiteral(": %1 is no folder; make it a folder of your own, mode 0700").arg(problem.folder);
    case Fault::Sound:
        break;
    }
    return {};
}

} // namespace

int removeCommand(const RemoveOptions &options, CommandContext &context)
{
    std::vector<SignatureTable> tables(options.catalogues.size());
    std::vector<QStringList> names(tables.size());
    for (qsizetype k = 0; k < options.catalogues.size(); ++k) {
        if (!openCatalogue(options.catalogues.at(k), tables[k], context))
            return ExitFailure;
        for (int i = 0; i < tables[k].count(); ++i)
            names[k] << tables[k].name(i);
    }
    // Resolved against the working folder and cleaned, as add stores them; messages name
    // each path as it was given.
    QStringList paths;
    QHash<QString, QString> given;
    for (const QString &argument : namedPaths(options, context)) {
        const QString path = absolutePath(argument);
        paths << path;
        given.insert(path, argument);
    }

    // Catalogues first: a file goes to the trash only once every catalogue losing its entry
    // is known to take the change.
    if (options.trash) {
        const PictureRemoval plan = removePictures(names, paths);
        for (size_t k = 0; k < tables.size(); ++k) {
            if (!plan.entries[k].empty() && !canReplace(options.catalogues.at(int(k)))) {
                reportProblem(context, options.catalogues.at(int(k)), QStringLiteral("cannot be written; nothing moved"));
                return ExitFailure;
            }
        }
    }
    const SharedThumbnails thumbnails;
    const FileMover toTrash = [&](const QStringList &files) {
        QStringList failed;
        for (const QString &file : files) {
            if (movePictureToTrash(file, thumbnails) == TrashResult::Moved)
                continue;
            failed << file;
            reportProblem(context, given.value(file, file),
                          QStringLiteral("cannot move to the trash%1; kept in the catalogue")
                              .arg(trashFolderReason(trashFolderProblem(file))));
        }
        return failed;
    };
    const PictureRemoval removal = removePictures(names, paths, options.trash ? toTrash : FileMover());
    for (const QString &path : removal.unknown)
        reportProblem(context, given.value(path, path), QStringLiteral("not in the catalogue"));

    bool saved = true;
    int removed = 0; // the entries of the catalogues really written
    for (size_t k = 0; k < tables.size(); ++k) {
        if (removal.entries[k].empty())
            continue;
        // From the last entry down, as a removal one by one would leave the table.
        tables[k].removeEntries(std::vector<int>(removal.entries[k].rbegin(), removal.entries[k].rend()));
        const QString &catalogue = options.catalogues.at(int(k));
        if (storeCatalogue(catalogue, tables[k], context)) {
            removed += int(removal.entries[k].size());
            continue;
        }
        saved = false;
        // The files are in the trash already: say which, and that this catalogue still lists them.
        for (const QString &file : removal.moved) {
            if (names[k].contains(file))
                reportProblem(context, given.value(file, file),
                              QStringLiteral("moved to the trash; still listed in %1, left unchanged").arg(catalogue));
        }
    }
    context.out << removed << " removed from the catalogue" << (tables.size() > 1 ? "s, " : ", ")
                << removal.moved.size() << " moved to the trash" << Qt::endl;
    return saved && removal.unknown.isEmpty() && removal.kept.isEmpty() ? ExitOk : ExitFailure;
}
