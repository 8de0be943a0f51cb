#include "catalogueio.h"
#include "commands.h"
#include "progressbar.h"

#include <folderscan.h>

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>

namespace {

// The files the arguments name, in argument order; false (reported) when one is missing.
// JPEG files whose paths are not UTF-8 cannot be stored as text: each is reported and
// counted in `unreadableNames`.
bool collectPaths(const QStringList &arguments, QStringList &paths, int &unreadableNames, CommandContext &context)
{
    for (const QString &argument : arguments) {
        const QString path = absolutePath(argument);
        const QFileInfo info(path);
        if (!info.exists()) {
            // A typo must not pass for an empty folder.
            reportProblem(context, argument, readProblem(argument));
            return false;
        }
        if (!info.isDir()) {
            paths += path; // named files are offered whatever their extension
            continue;
        }
        FolderScan scan(path);
        ScannedFile file;
        for (FolderScan::Step step; (step = scan.next(file)) != FolderScan::Step::End;) {
            if (step != FolderScan::Step::File || !hasJpegExtension(file.name))
                continue;
            if (file.readable) {
                paths += file.path();
            } else {
                ++unreadableNames;
                reportProblem(context, printablePath(file.nativePath), QStringLiteral("file name is not UTF-8"));
            }
        }
    }
    return true;
}

} // namespace

int addCommand(const AddOptions &options, CommandContext &context)
{
    SignatureTable table;
    const QFileInfo catalogueInfo(options.catalogue);
    if ((catalogueInfo.exists() || catalogueInfo.isSymLink()) && !openCatalogue(options.catalogue, table, context))
        return ExitFailure;

    QStringList candidates;
    int unreadableNames = 0;
    if (!collectPaths(options.paths, candidates, unreadableNames, context))
        return ExitFailure;

    // A path already listed is never computed again, as in Lumo; nor is one named twice.
    QSet<QString> known;
    known.reserve(table.count() + candidates.size());
    for (int i = 0; i < table.count(); ++i)
        known.insert(table.name(i));
    QStringList fresh;
    int alreadyListed = 0;
    for (const QString &path : std::as_const(candidates)) {
        if (known.contains(path)) {
            ++alreadyListed;
        } else {
            known.insert(path);
            fresh.append(path);
        }
    }

    // Signatures are computed in the pool but appended here strictly in path order,
    // so every thread count writes the same catalogue.
    QThreadPool pool;
    pool.setMaxThreadCount(std::max(options.jobs, 1));
    QFuture<std::optional<Signature>> signatures = QtConcurrent::mapped(&pool, fresh, signatureOfFile);

    ProgressBar progress(context.err, fresh.size(), context.interactive);
    int added = 0;
    int unreadable = 0;
    qsizetype next = 0;
    for (; next < fresh.size() && !table.isFull(); ++next) {
        const std::optional<Signature> cells = signatures.resultAt(next);
        if (cells) {
            table.append(fresh.at(next), *cells);
            ++added;
        } else {
            ++unreadable;
            progress.clear();
            reportProblem(context, fresh.at(next), pictureProblem(fresh.at(next)));
        }
        progress.setDone(next + 1);
    }
    const qsizetype notAdded = fresh.size() - next;
    if (notAdded > 0)
        signatures.cancel();
    signatures.waitForFinished();
    progress.finish();

    if (!storeCatalogue(options.catalogue, table, context))
        return ExitFailure;
    context.err << added << " added, " << alreadyListed << " already listed, " << unreadable
                << " could not be read as pictures";
    if (unreadableNames > 0)
        context.err << ", " << unreadableNames << " with file names that are not UTF-8";
    context.err << "; " << table.count() << " in the catalogue" << Qt::endl;
    if (notAdded > 0) {
        reportProblem(context, options.catalogue,
                      QStringLiteral("catalogue is full (%1 entries); %2 pictures not added")
                          .arg(SignatureTable::MaxEntries)
                          .arg(notAdded));
        return ExitFailure;
    }
    return ExitOk;
}
