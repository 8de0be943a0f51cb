// Deleting the selected pictures from the catalogue and, on request, from the disk.

#include "frmLumo.h"

#include "outside/shellservice.h"
#include "waitcursor.h"

#include <sigbox.h>

#include <QHash>
#include <QTreeWidget>

#include <exception>
#include <optional>
#include <vector>

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
    deleteSelectedRows(&only);
}

void frmLumo::deleteSelectedRows(const QSet<QString> *only)
{
    // The busy pointer waits until the question is answered: never over a question.
    std::optional<WaitCursor> wait;
    setInfo(QStringLiteral("削除中..."));
    QString finalStatus;

    const int answer = DialogService::instance().ShowMessage(
        this, QStringLiteral("リストから削除します。実際のファイルも削除しますか？"),
        DialogService::YesNoCancelInformationSecondDefault);
    if (answer == DialogService::Yes || answer == DialogService::No) {
        wait.emplace();
        try {
            QString nulList;
            // The rows to delete, from the last up, so removing a row never moves one still
            // to be visited.
            QList<QTreeWidgetItem *> rows;
            QHash<QString, int> firstEntry; // key -> its first store entry
            for (int p = rowCount(); p >= 1; --p) {
                QTreeWidgetItem *row = lsvJpeg->topLevelItem(p - 1);
                if (!row || (only && !only->contains(rowKey(row))) || !row->isSelected())
                    continue;
                rows.append(row);
                firstEntry.insert(rowKey(row), -1);
            }
            // Only the first entry of each path goes: a duplicate keeps its own signature.
            // Found in one pass, and removed in one, rather than a search and a shift of the
            // store per row.
            for (int i = 0, n = sbxJpeg->DataCount(); i < n; ++i) {
                const auto first = firstEntry.find(sbxJpeg->FileName(i));
                if (first != firstEntry.end() && *first < 0)
                    *first = i;
            }
            std::vector<int> entries;
            for (QTreeWidgetItem *row : std::as_const(rows)) {
                const QString key = rowKey(row);
                nulList += key + QChar(0);
                if (const int entry = firstEntry.value(key); entry >= 0)
                    entries.push_back(entry);
                if (similarVisible())
                    delSamPics(key);
                removeRow(row);
            }
            sbxJpeg->removeEntries(entries);
            nulList += QChar(0);

            if (answer == DialogService::Yes) {
                wait.reset();
                // Files that cannot go to the trash are named to the user there and stay.
                ShellService::RemoveFiles(nulList, 0, this);
            }
            setModified(true);
            finalStatus = QStringLiteral("削除完了");
        } catch (const std::exception &error) {
            wait.reset();
            DialogService::instance().ShowError(QStringLiteral("DeleteJepg"),
                                                QString::fromLocal8Bit(error.what()));
            finalStatus = QStringLiteral("削除中にエラーが発生しました");
        }
    }

    setInfo(finalStatus);
    // Called from the similar-pictures window there is no frame to do it: the tool bar
    // follows the modified indicator at once.
    UpdateCommands();
}
