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
    std::vector<SignatureTable> tables(options.catalogues.size());
    for (qsizetype k = 0; k < options.catalogues.size(); ++k) {
        if (!openCatalogue(options.catalogues.at(k), tables[k], context))
            return ExitFailure;
    }
    // Where each path stands: every entry of it in every catalogue leaves, since its file
    // is one file.
    QHash<QString, std::vector<std::pair<int, int>>> entries;
    for (size_t k = 0; k < tables.size(); ++k) {
        for (int i = 0; i < tables[k].count(); ++i)
            entries[tables[k].name(i)].emplace_back(static_cast<int>(k), i);
    }

    bool failed = false;
    int trashed = 0;
    std::vector<std::vector<int>> leaving(tables.size());
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
        for (const auto &[catalogue, entry] : *found)
            leaving[catalogue].push_back(entry);
    }

    size_t removed = 0;
    for (size_t k = 0; k < tables.size(); ++k) {
        // From the last entry down, so a removal never moves an entry still to be removed.
        std::sort(leaving[k].begin(), leaving[k].end(), std::greater<>());
        for (int index : leaving[k])
            tables[k].remove(index);
        removed += leaving[k].size();
        if (!leaving[k].empty() && !storeCatalogue(options.catalogues.at(k), tables[k], context))
            return ExitFailure;
    }
    context.out << removed << " removed from the catalogue" << (tables.size() > 1 ? "s, " : ", ") << trashed
                << " moved to the trash" << Qt::endl;
    return failed ? ExitFailure : ExitOk;
}
