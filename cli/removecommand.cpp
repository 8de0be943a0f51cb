// remove: the pictures a user (or `similar --keep`) names leave the catalogue, and with
// --trash their files go to the desktop trash as the window's delete sends them.

#include "catalogueio.h"
#include "commands.h"

#include <folderscan.h>
#include <sharedthumbnails.h>
#include <trash.h>

#include <QFile>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <functional>
#include <vector>

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

} // namespace

int removeCommand(const RemoveOptions &options, CommandContext &context)
{
    const QStringList named = namedPaths(options, context);
    SignatureTable table;
    if (!openCatalogue(options.catalogue, table, context))
        return ExitFailure;
    // A path listed twice in the catalogue leaves it altogether: its file is one file.
    QHash<QString, std::vector<int>> entries;
    for (int i = 0; i < table.count(); ++i)
        entries[table.name(i)].push_back(i);

    bool failed = false;
    int trashed = 0;
    std::vector<int> leaving;
    QSet<QString> done; // a path named twice is dealt with once
    const SharedThumbnails thumbnails;
    for (const QString &argument : named) {
        const QString path = absolutePath(argument);
        if (done.contains(path))
            continue;
        done.insert(path);
        const auto found = entries.constFind(path);
        if (found == entries.cend()) {
            reportProblem(context, argument, QStringLiteral("not in the catalogue"));
            failed = true;
            continue;
        }
        // A file already gone only leaves the catalogue. One that stays on the disk keeps its
        // entry, so that the catalogue still tells of it.
        if (options.trash && !isPictureGone(path)) {
            if (!movePictureToTrash(path, thumbnails)) {
                reportProblem(context, argument, QStringLiteral("cannot move to the trash; kept in the catalogue"));
                failed = true;
                continue;
            }
            ++trashed;
        }
        leaving.insert(leaving.end(), found->cbegin(), found->cend());
    }

    // From the last entry down, so a removal never moves an entry still to be removed.
    std::sort(leaving.begin(), leaving.end(), std::greater<>());
    for (int index : leaving)
        table.remove(index);
    if (!leaving.empty() && !storeCatalogue(options.catalogue, table, context))
        return ExitFailure;
    context.out << leaving.size() << " removed from the catalogue, " << trashed << " moved to the trash" << Qt::endl;
    return failed ? ExitFailure : ExitOk;
}
