// Deleting the selected pictures from the catalogue and, on request, from the disk: by the
// store library's removal, the rule lumo-cli's remove follows too. Trash first, so that a
// picture whose file could not be moved keeps its row and entries (the user is told).

#include "frmLumo.h"

#include "outside/pathsplitter.h"
#include "outside/shellservice.h"
#include "outside/workpool.h"
#include "waitcursor.h"

#include "files/pictureremoval.h"
#include "catalogue/sigbox.h"

#include "cataloguelistmodel.h"

#include <QCoreApplication>
#include <QTreeView>

#include <algorithm>
#include <exception>
#include <iterator>
#include <optional>
#include <vector>

namespace {
// Names shown in the question before the rest is only counted.
constexpr qsizetype NamedInQuestion = 5;
// Deleted pictures taken off the similar-pictures grid between two turns of the event loop.
constexpr qsizetype GridSlice = 16384;

// What the question acts on, under its text: how many pictures, the first of them by name,
// and where their files go with each answer. `keys` in list order.
QString deletionDetail(const QStringList &keys)
{
    if (keys.isEmpty())
        return frmLumo::tr("選択された画像はありません。");
    QStringList lines{frmLumo::tr("対象は%n個の画像です:", nullptr, int(keys.size()))};
    for (qsizetype i = 0; i < keys.size() && i < NamedInQuestion; ++i)
        lines.append(PathSplitter::FileNamePart(keys[i]));
    if (keys.size() > NamedInQuestion)
        lines.append(frmLumo::tr("…他%n件", nullptr, int(keys.size() - NamedInQuestion)));
    lines.append(QString());
    lines.append(frmLumo::tr("「はい」: ファイルもごみ箱へ移動します"));
    lines.append(frmLumo::tr("「いいえ」: リストからのみ削除し、ファイルは残します"));
    return lines.join(QLatin1Char('\n'));
}
} // namespace

void frmLumo::clearSelectionInSteps()
{
    // The selection's ranges are held while it is cleared and let go a slice at a time:
    // ending a hundred thousand ranges' indexes of the list in one go kept input waiting.
    constexpr qsizetype Slice = 16384;
    QItemSelection held = lsvJpeg->selectionModel()->selection();
    lsvJpeg->selectionModel()->clearSelection();
    while (!held.isEmpty()) {
        QCoreApplication::processEvents();
        const qsizetype keep = std::max<qsizetype>(0, held.size() - Slice);
        held.remove(keep, held.size() - keep);
    }
    QCoreApplication::processEvents();
}

void frmLumo::DeleteJepg()
{
    deleteSelectedRows(nullptr);
}

void frmLumo::DeleteJepg(const QStringList &o_Only)
{
    // Run inside a command's loop it would take the catalogue away under it.
    if (commandOnStack())
        return;
    const QSet<QString> only(o_Only.begin(), o_Only.end());
    // A command of this window while it lasts: the deletion serves events while it matches
    // the pictures, and nothing else may change the catalogue meanwhile.
    beginFrame(Frame::Plain);
    deleteSelectedRows(&only);
    endFrame(Frame::Plain);
}

void frmLumo::deleteSelectedRows(const QSet<QString> *only)
{
    // The busy pointer waits until the question is answered: never over a question.
    std::optional<WaitCursor> wait;
    setInfo(tr("削除中..."));
    QString finalStatus;

    // The selected rows, from the last up, as their files are handed over; exactly those
    // the question names. Kept by key: the list may be sorted while the deletion serves events.
    const std::vector<int> selectedRows = selectedRowNumbers();
    QStringList selectedKeys;
    selectedKeys.reserve(qsizetype(selectedRows.size()));
    QStringList keys;
    for (auto r = selectedRows.rbegin(); r != selectedRows.rend(); ++r) {
        selectedKeys.append(rowKey(*r));
        if (!only || only->contains(selectedKeys.back()))
            keys.append(selectedKeys.back());
    }
    const int answer = DialogService::instance().ShowMessage(
        this, tr("リストから削除します。実際のファイルも削除しますか？"),
        deletionDetail(QStringList(keys.rbegin(), keys.rend())), DialogService::YesNoCancelInformationSecondDefault);
    if (answer == DialogService::Yes || answer == DialogService::No) {
        wait.emplace();
        // Between the steps the window answers: each of them takes a good part of a second
        // for a tenth of a million pictures. Commands wait meanwhile.
        QCoreApplication::processEvents();
        try {
            // The list is a catalogue of its own beside the store, so a row whose picture the
            // store could not read still leaves, and its file still goes.
            QStringList rowNames;
            rowNames.reserve(rowCount());
            for (int p = 0; p < rowCount(); ++p)
                rowNames.append(rowKey(p));
            QStringList storeNames;
            storeNames.reserve(sbxJpeg->DataCount());
            for (int i = 0, n = sbxJpeg->DataCount(); i < n; ++i)
                storeNames.append(sbxJpeg->FileName(i));
            const FileMover toTrash = [this, &wait](const QStringList &files) {
                QStringList failed;
                // The trash's progress is a window of this thread; the matching waits for it.
                QMetaObject::invokeMethod(
                    this,
                    [&] {
                        wait.reset();
                        // Files that cannot go to the trash are named to the user there and
                        // stay, as do those a stop in its progress dialog left unmoved.
                        failed = ShellService::RemoveFiles(ShellService::joinNulList(files), 0, this);
                    },
                    Qt::BlockingQueuedConnection);
                return failed;
            };
            // Matched on a worker: a tenth of a million pictures against a million entries
            // takes longer than input may wait.
            WorkPool matcher(1, WorkPool::Ending::Wait);
            const PictureRemoval removal = matcher.runServingEvents([&] {
                PictureRemoval removal =
                    removePictures({storeNames, rowNames}, keys, answer == DialogService::Yes ? toTrash : FileMover());
                // Trash first, then the catalogue: a picture still on the disk keeps its row and
                // entries. Compacting a million entries takes as long; nothing reads the store
                // while this command runs.
                sbxJpeg->removeEntries(std::vector<int>(removal.entries[0].rbegin(), removal.entries[0].rend()));
                return removal;
            });

            QStringList gone;
            for (auto p = removal.entries[1].rbegin(); p != removal.entries[1].rend(); ++p)
                gone.append(rowNames[*p]);
            // The grid a slice at a time.
            for (qsizetype from = 0; from < gone.size() && similarVisible(); from += GridSlice) {
                delSamPics(gone.mid(from, GridSlice));
                QCoreApplication::processEvents();
            }
            // The rows that stay selected are selected again afterwards: a change of many
            // rows at once drops the selection's ranges whose corners went.
            QStringList staySelected;
            {
                const QSet<QString> left(gone.begin(), gone.end());
                for (const QString &key : std::as_const(selectedKeys)) {
                    if (!left.contains(key))
                        staySelected.append(key);
                }
            }
            QCoreApplication::processEvents();
            if (!gone.isEmpty()) {
                clearSelectionInSteps();
                // The rows go in one pass: one by one, a large list would shift once per row.
                // They are found by their keys after the last events served: the list may
                // have been sorted meanwhile.
                QList<int> goneRows;
                for (const QString &key : std::as_const(gone)) {
                    if (const int row = findRow(key); row >= 0)
                        goneRows.append(row);
                }
                m_list->removeRows(goneRows);
                selectRows(staySelected);
            }
            setModified(true);
            // A stop in the trash's progress, or a file that could not be moved, leaves
            // pictures behind: the status must not call that complete.
            finalStatus = removal.kept.isEmpty()
                ? tr("削除完了")
                : tr("削除を終了しました（%n個の画像は残っています）", nullptr, int(removal.kept.size()));
        } catch (const std::exception &error) {
            wait.reset();
            DialogService::instance().ShowError(QStringLiteral("DeleteJepg"),
                                                QString::fromLocal8Bit(error.what()));
            finalStatus = tr("削除中にエラーが発生しました");
        }
    }

    setInfo(finalStatus);
    // The count follows every deletion, also one asked for by another window.
    writeFileCountTotal();
    // Called from the similar-pictures window there is no frame to do it: the tool bar
    // follows the modified indicator at once.
    UpdateCommands();
}
