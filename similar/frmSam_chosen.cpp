// The comparison run around chosen pictures: the main window's selected rows, or picture
// files dropped on the window ("do I have this one already?"). The grouping is the store's
// (chosengrouping.h), computed on the window's pool while the run waits; its groups are then
// placed as the comparison run places its own, so that marks, rules and "比較" treat them
// alike. A dropped file not in the catalogue is compared, never added.

#include "frmSam.h"

#include "outside/dialogservice.h"
#include "samgrid.h"
#include "samowner.h"

#include "files/fileidentity.h"
#include "pictures/pictureformats.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

namespace {
// The longest a slice keeps the events waiting, as in the other runs.
constexpr qint64 SliceMs = 10;
} // namespace

void frmSam::openChosen(SamOwner *owner, Chosen chosen)
{
    if (isRunning() || m_reading)
        return;
    m_chosenNext = std::move(chosen);
    open(owner, 1);
    m_chosenNext.reset();
}

void frmSam::startChosen(const SignatureTable &table, std::shared_ptr<const SimilarApart> apart)
{
    Chosen chosen = std::move(*m_chosenNext);
    m_chosenNext.reset();
    QHash<QString, int> entryOf;
    entryOf.reserve(m_names.size());
    for (int i = 0; i < int(m_names.size()); ++i) {
        if (!m_names.at(i).isEmpty())
            entryOf.insert(m_names.at(i), i);
    }
    ChosenBases bases;
    for (const QString &path : std::as_const(chosen.paths)) {
        if (const auto found = entryOf.constFind(path); found != entryOf.constEnd())
            bases.entries.push_back(*found);
    }
    std::sort(bases.entries.begin(), bases.entries.end());
    bases.entries.erase(std::unique(bases.entries.begin(), bases.entries.end()), bases.entries.end());
    bases.pictures = std::move(chosen.pictures);
    m_chosenFiles = chosen.files;

    // The title counts the bases as the search takes them: the entries, then the pictures.
    const int count = table.count();
    m_chosenNumber.clear();
    for (int entry : bases.entries)
        m_chosenNumber.insert(entry, int(m_chosenNumber.size()));
    for (int k = 0; k < int(bases.pictures.size()); ++k)
        m_chosenNumber.insert(count + k, int(m_chosenNumber.size()));
    m_chosenCount = int(m_chosenNumber.size());
    m_chosenReady = false;
    m_chosenGroups.clear();
    m_chosenAt = 0;

    const std::vector<Signature> &all = table.allCells();
    auto cells = std::make_shared<const SimilarCells>(std::vector<Signature>(all.begin(), all.begin() + count),
                                                      m_searchRule);
    std::vector<uint8_t> unnamed(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        unnamed[size_t(i)] = m_names.at(i).isEmpty();
    // One task of the window's pool, which the search spreads over as many processors as the
    // pool may use, as lumo-cli's does: the groups are the same whatever the count.
    m_chosenSearch.setFuture(m_chosenWork.run(
        [cells = std::move(cells), unnamed = std::move(unnamed), bases = std::move(bases),
         level = m_owner->likeLevel(), threads = std::max(1, m_chosenWork.maxThreadCount()),
         apart = std::move(apart), stop = m_chosenWork.stopFlag()] {
            return findSimilarToChosen(cells, unnamed, bases, level, threads, apart, stop.get());
        }));
}

void frmSam::endChosen()
{
    m_chosenWork.cancel();
    m_chosenSearch.setFuture({});
    m_chosenGroups.clear();
    m_chosenNumber.clear();
    m_chosenRun = false;
}

QString frmSam::chosenName(int base) const
{
    const int outside = base - int(m_names.size());
    return outside >= 0 ? m_chosenFiles.value(outside) : m_names.value(base);
}

frmSam::Next frmSam::chosenSlice()
{
    QElapsedTimer slice;
    slice.start();
    for (;;) {
        if (!m_baseOpen) {
            // As in the comparison run: a stop request is answered before the next group.
            if (stopAnsweredYes())
                return Next::End;
            if (!m_chosenReady) {
                if (!m_chosenSearch.isFinished())
                    return Next::Wait;
                if (m_chosenSearch.isCanceled())
                    return Next::End;
                m_chosenGroups = m_chosenSearch.future().takeResult();
                m_chosenReady = true;
            }
            if (m_chosenAt >= m_chosenGroups.size())
                return Next::End;
            const int base = m_chosenGroups[m_chosenAt].base;
            m_progress = samProgressTitle(SamRun::Comparison, chosenName(base), m_chosenNumber.value(base) + 1,
                                          m_chosenCount, m_searchRule);
            m_baseOpen = true;
            m_member = 0;
            m_groups.emplace_back();
        }

        const SimilarGroup &group = m_chosenGroups[m_chosenAt];
        // A stop request ends the group: the members placed so far stay, then the base.
        while (m_member < group.members.size() && !m_stop) {
            const size_t at = m_member++;
            placeMember(m_names.at(group.members[at]), at < group.matches.size() ? group.matches[at] : SimilarMatch{});
            if (slice.hasExpired(SliceMs))
                return Next::Yield;
        }
        placeBase(chosenName(group.base));
        m_baseOpen = false;
        ++m_chosenAt;
        if (slice.hasExpired(SliceMs))
            return Next::Yield;
    }
}

bool frmSam::acceptsDrop() const
{
    return showingResults() && !m_dropping && m_owner && !m_owner->ownerBusy();
}

void frmSam::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls() && acceptsDrop())
        event->acceptProposedAction();
}

void frmSam::dropEvent(QDropEvent *event)
{
    if (!event->mimeData()->hasUrls() || !acceptsDrop())
        return;
    QStringList files;
    for (const QUrl &url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            files.append(url.toLocalFile());
    }
    event->acceptProposedAction();
    dropFiles(files);
}

void frmSam::dropFiles(const QStringList &files)
{
    // A file of the catalogue is a base as the chosen rows are; another picture is read for
    // its signature. Folders and files that are no pictures are left out.
    const SignatureTable &table = m_owner->samCatalogue();
    QStringList names;
    names.reserve(table.count());
    for (int i = 0; i < table.count(); ++i)
        names.append(table.name(i));
    m_dropEntries.clear();
    m_dropPictures.clear();
    for (const QString &file : files) {
        if (!QFileInfo(file).isFile())
            continue;
        if (const qsizetype entry = sameFileIn(names, file); entry >= 0) {
            if (!m_dropEntries.contains(names.at(entry)))
                m_dropEntries.append(names.at(entry));
        } else if (hasPictureExtension(file, PictureFormats::All) && !m_dropPictures.contains(file)) {
            m_dropPictures.append(file);
        }
    }
    m_dropping = true;
    if (m_dropPictures.isEmpty()) {
        // Outside the drop's handler: the run or the message waits for the event loop.
        QMetaObject::invokeMethod(this, &frmSam::dropRead, Qt::QueuedConnection);
        return;
    }
    m_dropRead.setFuture(m_chosenWork.mapped(
        m_dropPictures, [](const QString &file) { return computePictureSignature(file); }));
}

void frmSam::dropRead()
{
    if (!m_dropping || (!m_dropPictures.isEmpty() && !m_dropRead.isFinished()))
        return;
    m_dropping = false;
    Chosen chosen{m_dropEntries, {}, {}};
    if (!m_dropPictures.isEmpty() && !m_dropRead.isCanceled()) {
        const QFuture<std::optional<PictureSignature>> read = m_dropRead.future();
        for (int k = 0; k < int(m_dropPictures.size()); ++k) {
            const std::optional<PictureSignature> &signature = read.resultAt(k);
            if (!signature)
                continue; // named as a picture, but none that decodes
            chosen.files.append(m_dropPictures.at(k));
            chosen.pictures.push_back(signature->cells);
        }
    }
    m_dropRead.setFuture({});
    if (chosen.paths.isEmpty() && chosen.pictures.empty()) {
        DialogService::instance().ShowMessage(this, tr("ドロップしたファイルに画像がありません"),
                                              DialogService::OkExclamation);
        return;
    }
    if (!showingResults() || !m_owner || m_owner->ownerBusy())
        return;
    // As a command of the owner: nothing starts there meanwhile, and its close waits.
    SamOwner *owner = m_owner;
    owner->holdCommands(true);
    openChosen(owner, std::move(chosen));
    owner->holdCommands(false);
}
