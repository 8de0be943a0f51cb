// Opening a catalogue file into list and store, and optimising it: dropping the entries
// of pictures that are gone, writing the file and reading it back.

#include "frmLumo.h"

#include "cataloguelistmodel.h"

#include "outside/pathsplitter.h"
#include "outside/workpool.h"
#include "waitcursor.h"

#include "files/folderscan.h"
#include "catalogue/sigbox.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QSet>

#include <algorithm>
#include <optional>
#include <vector>

namespace {
constexpr int FillStep = 100;
constexpr int MaxBatch = 32768;
} // namespace

bool frmLumo::OpenJpegList(QString FileName)
{
    std::optional<WaitCursor> wait;
    bool result = false;
    QString finalStatus;

    // A name given is opened as it is spelled: the command line has lost its quotes already
    // (openCommandLine), and a catalogue reopened by "最適化" may end in a quote of its own.
    if (FileName.isEmpty()) {
        dlgLumo.reset();
        dlgLumo.fileMustExist = true;
        dlgLumo.pathMustExist = true;
        dlgLumo.noChangeDir = true;
        dlgLumo.hideReadOnly = true;
        dlgLumo.filter = QStringLiteral("*.sbx|*.sbx");
        dlgLumo.initDir = m_filePath;
        if (!DialogService::instance().ShowFileDialog(this, dlgLumo, DialogService::Open)) {
            writeFileCountTotal();
            setInfo(finalStatus);
            return false;
        }
        m_filePath = PathSplitter::FolderPart(dlgLumo.fileName);
        FileName = dlgLumo.fileName;
    }

    wait.emplace();
    NewJpegList();
    setCatalogueName(FileName);
    setInfo(tr("読込中..."));
    QCoreApplication::processEvents();

    // The series is read on a worker into a set of its own, which the store then takes:
    // a million entries take seconds to read, and the window answers meanwhile (commands
    // wait, as during any command).
    bool failed = false;
    {
        CatalogueSet loaded;
        WorkPool reader(1, WorkPool::Ending::Wait);
        failed = reader.runServingEvents([&loaded, FileName] { return loaded.load(FileName).failed(); });
        sbxJpeg->adoptLoaded(std::move(loaded));
    }
    if (failed) {
        m_catalogueUnread = true;
        finalStatus = tr("読込中にエラーが発生しました");
        wait.reset();
        DialogService::instance().ShowMessage(this, finalStatus, DialogService::OkExclamation);
    } else {
        finalStatus = tr("読込完了");
        // Any file of a series opens the whole of it, named by its first file.
        setCatalogueName(sbxJpeg->catalogueSet().firstPart());
        // Whether a file is still there is read when its row is first shown or sorted:
        // opening costs no file-system query per picture. A later entry with the same path
        // has no row of its own: keys are unique.
        const int count = sbxJpeg->DataCount();
        const quint64 generation = sbxJpeg->table().generation();
        QStringList pending;
        m_list->reserveRows(count);
        int i = 0;
        for (; i < count; ++i) {
            pending.append(sbxJpeg->FileName(i));
            if (i % FillStep == 0) {
                // Rows go to the list in batches that grow with it: the view lays all of its
                // rows out again after each insertion, which a batch of a hundred made
                // quadratic; so it takes a few dozen layouts for a million, and the first
                // rows still show at once. A batch costs about a microsecond a row, so it
                // stops growing where it would keep input waiting.
                if (pending.size() >= std::clamp(m_list->rowCount() / 4, FillStep, MaxBatch)) {
                    m_list->addUnreadRows(pending);
                    pending.clear();
                }
                setFileCount(QString::number(i));
                QCoreApplication::processEvents();
                // The store changed while we yielded (a deletion from another window): the
                // indexes no longer hold. Stop the walk and list what the store holds now.
                if (sbxJpeg->table().generation() != generation)
                    break;
            }
        }
        if (i < count) {
            pending.clear();
            for (int k = 0; k < sbxJpeg->DataCount(); ++k)
                pending.append(sbxJpeg->FileName(k));
        }
        m_list->addUnreadRows(pending);
        result = true;
    }

    writeFileCountTotal();
    setInfo(finalStatus);
    return result;
}

void frmLumo::runOptimizeCommand()
{
    // Optimising writes the current file, so unsaved changes are offered a home first.
    if (!SaveJpegList(true))
        return;
    if (OptimizeJpegList()) {
        OpenJpegList(catalogueName());
        setNote(tr("ファイルのない%n個を除外しました", nullptr, m_optimizeDropped));
    }
}

bool frmLumo::OptimizeJpegList()
{
    setInfo(tr("最適化中..."));
    setNote(QString());
    QCoreApplication::processEvents();

    // From the last entry down, as the removals one by one would go; taken out in one pass,
    // so a large catalogue is not shifted once per missing picture.
    QStringList removed;
    std::vector<int> gone;
    for (int i = sbxJpeg->DataCount() - 1; i >= 0; --i) {
        const QString path = sbxJpeg->FileName(i);
        // A hidden file is still a picture on disk; only a missing one loses its entry, and
        // only when its folder is there (a disk that is away keeps its pictures).
        if (isPictureGone(path)) {
            gone.push_back(i);
            removed.append(path);
        }
        if (i % FillStep == 0)
            setFileCount(QString::number(i));
    }
    sbxJpeg->removeEntries(gone);

    // A file that failed to load is not a catalogue of ours to overwrite. Every file but
    // the last is filled again, and the files no longer needed go.
    const QString name = m_catalogueUnread ? QString() : catalogueName();
    if (name.isEmpty() || sbxJpeg->saveRepacked(name)) {
        // Reopening would bring back an older file (or ask for one) and lose what was
        // just cleaned: keep the catalogue here, list and store alike, as unsaved.
        QSet<QString> kept;
        for (int i = 0; i < sbxJpeg->DataCount(); ++i)
            kept.insert(sbxJpeg->FileName(i));
        for (const QString &path : std::as_const(removed)) {
            if (!kept.contains(path)) {
                if (const int row = findRow(path); row >= 0)
                    removeRow(row);
            }
        }
        setModified(true);
        const QString saveError = tr("保存中にエラーが発生しました");
        setInfo(saveError);
        DialogService::instance().ShowMessage(this, saveError, DialogService::OkExclamation);
        return false;
    }

    setInfo(tr("最適化完了"));
    m_optimizeDropped = int(removed.size());
    return true;
}

void frmLumo::openHandedOver(const QString &catalogue)
{
    if (m_unloaded)
        return;
    bringToFront();
    if (catalogue.isEmpty())
        return;
    // Never inside a command's loop or under a question: it waits until they are over.
    if (commandOnStack() || m_closePending || m_closing || QApplication::activeModalWidget()) {
        m_handedOver = catalogue;
        return;
    }
    m_handedOver.reset();
    beginFrame(Frame::Plain);
    if (SaveJpegList(true))
        OpenJpegList(catalogue);
    endFrame(Frame::Plain);
}

void frmLumo::resumeHandedOver()
{
    if (!m_handedOver || m_unloaded || commandOnStack())
        return;
    QMetaObject::invokeMethod(this, [this] {
        if (m_handedOver)
            openHandedOver(*std::exchange(m_handedOver, std::nullopt));
    }, Qt::QueuedConnection);
}

void frmLumo::bringToFront()
{
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
    // A question or a running similar-pictures search stays in front of the window.
    if (QWidget *modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
    }
}
