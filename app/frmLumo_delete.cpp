// Deleting the selected pictures from the catalogue and, on request, from the disk.

#include "frmLumo.h"

#include "outside/shellservice.h"
#include "waitcursor.h"

#include <sigbox.h>

#include <QTreeWidget>

#include <exception>
#include <optional>

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
            // From the last row up, so removing a row never moves one still to be visited.
            for (int p = rowCount(); p >= 1; --p) {
                QTreeWidgetItem *row = lsvJpeg->topLevelItem(p - 1);
                if (!row)
                    continue;
                const QString key = rowKey(row);
                if ((only && !only->contains(key)) || !row->isSelected())
                    continue;
                nulList += key + QChar(0);
                // Only the first entry of that path: a duplicate keeps its own signature.
                for (int i = 0; i < sbxJpeg->DataCount(); ++i) {
                    if (sbxJpeg->FileName(i) == key) {
                        sbxJpeg->Remove(i);
                        break;
                    }
                }
                if (similarVisible())
                    delSamPics(key);
                removeRow(row);
            }
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
}
