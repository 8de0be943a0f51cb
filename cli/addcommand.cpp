#include "catalogueio.h"
#include "commands.h"
#include "progressbar.h"

#include "catalogue/catalogueset.h"
#include "files/folderscan.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <algorithm>
#include <vector>

namespace {

// The files the arguments name, in argument order; false (reported) when one is missing.
// JPEG files whose paths are not UTF-8 cannot be stored as text: each is reported and
// counted in `unreadableNames`.
bool collectPaths(const QStringList &arguments, PictureFormats formats, QStringList &paths, int &unreadableNames,
                  CommandContext &context)
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
            if (step != FolderScan::Step::File || !hasPictureExtension(file.name, formats))
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

namespace {

// The catalogue added to, and with --split where the next part goes.
struct Target {
    QString file;
    SignatureTable table;
    int parts = 1;                // the parts of a split catalogue, this one included
    qsizetype inEarlierParts = 0; // entries in the full parts before it
    int nextPart = 2;
};

// Reads the catalogue and, when `split`, every part of it that exists (CATALOGUE, -2, -3,
// ..., a missing number in between too); their paths go into `known`, and the last is the
// target. False when one cannot be read (reported).
bool openTarget(const QString &catalogue, bool split, Target &target, QSet<QString> &known, CommandContext &context)
{
    target.file = catalogue;
    const std::vector<int> parts = split ? existingCatalogueParts(catalogue) : std::vector<int>();
    for (size_t k = 0;; ++k) {
        const QFileInfo info(target.file);
        if ((info.exists() || info.isSymLink()) && !openCatalogue(target.file, target.table, context))
            return false;
        for (int i = 0; i < target.table.count(); ++i)
            known.insert(target.table.name(i));
        if (k == parts.size()) {
            target.nextPart = parts.empty() ? 2 : parts.back() + 1;
            return true;
        }
        target.file = splitCatalogueName(catalogue, parts[k]);
        target.inEarlierParts += target.table.count();
        target.table = SignatureTable();
        ++target.parts;
    }
}

} // namespace

int addCommand(const AddOptions &options, CommandContext &context)
{
    Target target;
    QSet<QString> known;
    if (!openTarget(options.catalogue, options.split, target, known, context))
        return ExitFailure;
    SignatureTable &table = target.table;

    // Said once, before any file: those pictures are then counted among the unreadable.
    const QStringList undecodable = unreadableFormats(options.formats);
    if (!undecodable.isEmpty())
        reportProblem(context, QStringLiteral("--all-formats"),
                      QStringLiteral("no decoder here for %1 pictures; they cannot be read")
                          .arg(undecodable.join(QStringLiteral(", "))));

    QStringList candidates;
    int unreadableNames = 0;
    if (!collectPaths(options.paths, options.formats, candidates, unreadableNames, context))
        return ExitFailure;

    // A path already listed is never computed again, as in Lumo; nor is one named twice.
    known.reserve(known.size() + candidates.size());
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

#ifdef __GLIBC__
    // A large photo's decoder needs tens of MiB; glibc would map that afresh for every
    // picture and fault it in page by page (a tenth of the time on big photos). Kept once
    // freed, it is reused by the next picture.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
    // Signatures are computed in the pool but appended here strictly in path order,
    // so every thread count writes the same catalogue.
    QThreadPool pool;
    pool.setMaxThreadCount(std::max(options.jobs, 1));
    QFuture<std::optional<Signature>> signatures = QtConcurrent::mapped(&pool, fresh, signatureOfFile);

    ProgressBar progress(context.err, fresh.size(), context.interactive);
    QStringList written; // "FILE: N entries", for the parts of a series
    bool saveFailed = false;
    int added = 0;
    int unreadable = 0;
    qsizetype next = 0;
    for (; next < fresh.size(); ++next) {
        if (table.isFull() && !options.split)
            break;
        const std::optional<Signature> cells = signatures.resultAt(next);
        if (!cells) {
            ++unreadable;
            progress.clear();
            reportProblem(context, fresh.at(next), pictureProblem(fresh.at(next)));
            progress.setDone(next + 1);
            continue;
        }
        if (table.isFull()) {
            // The full part is saved now, so a long add keeps what it has done so far.
            progress.clear();
            if (!storeCatalogue(target.file, table, context)) {
                saveFailed = true;
                break;
            }
            written << QStringLiteral("%1: %2 entries").arg(target.file).arg(table.count());
            target.inEarlierParts += table.count();
            // Never over a file that was not read as part of the series.
            do
                target.file = splitCatalogueName(options.catalogue, target.nextPart++);
            while (QFileInfo::exists(target.file) || QFileInfo(target.file).isSymLink());
            table = SignatureTable();
            ++target.parts;
        }
        table.append(fresh.at(next), *cells);
        ++added;
        progress.setDone(next + 1);
    }
    const qsizetype notAdded = fresh.size() - next;
    if (notAdded > 0)
        signatures.cancel();
    signatures.waitForFinished();
    progress.finish();

    if (saveFailed || !storeCatalogue(target.file, table, context))
        return ExitFailure;
    if (options.split) {
        written << QStringLiteral("%1: %2 entries").arg(target.file).arg(table.count());
        for (const QString &line : std::as_const(written))
            context.err << "wrote " << line << Qt::endl;
    }
    context.err << added << " added, " << alreadyListed << " already listed, " << unreadable
                << " could not be read as pictures";
    if (unreadableNames > 0)
        context.err << ", " << unreadableNames << " with file names that are not UTF-8";
    if (options.split)
        context.err << "; " << target.inEarlierParts + table.count() << " in " << target.parts
                    << (target.parts == 1 ? " catalogue" : " catalogues") << Qt::endl;
    else
        context.err << "; " << table.count() << " in the catalogue" << Qt::endl;
    if (notAdded > 0) {
        reportProblem(context, options.catalogue,
                      QStringLiteral("catalogue is full (%1 entries); %2 %3 not added")
                          .arg(SignatureTable::MaxEntries)
                          .arg(notAdded)
                          .arg(notAdded == 1 ? QStringLiteral("picture") : QStringLiteral("pictures")));
        return ExitFailure;
    }
    return ExitOk;
}
