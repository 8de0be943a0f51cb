// Catalogue operations on list and store together: new, open, save, optimise, delete.

#include "frmLumo.h"

#include "outside/pathsplitter.h"
#include "waitcursor.h"

#include <sigbox.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QTreeWidget>

void frmLumo::NewJpegList()
{
    unloadViewerAndSimilar();
    setFileCount(QString());
    m_panelFileName->clear();
    setInfo(QString());
    setModified(false);
    clearRows();
    sbxJpeg->Clear();
}

bool frmLumo::OpenJpegList(QString FileName)
{
    bool result = false;
    QString finalStatus;

    if (!FileName.isEmpty()) {
        // A path passed in quotes on the command line arrives unquoted.
        if (FileName.startsWith(QLatin1Char('"')))
            FileName.remove(0, 1);
        if (FileName.endsWith(QLatin1Char('"')))
            FileName.chop(1);
    } else {
        dlgLumo.reset();
        dlgLumo.fileMustExist = true;
        dlgLumo.pathMustExist = true;
        dlgLumo.noChangeDir = true;
        dlgLumo.hideReadOnly = true;
        dlgLumo.filter = QStringLiteral("*.sbx|*.sbx");
        dlgLumo.initDir = m_filePath;
        dlgLumo.fileName.clear();
        if (!DialogService::instance().ShowFileDialog(this, dlgLumo, DialogService::Open)) {
            writeFileCountTotal();
            setInfo(finalStatus);
            return false;
        }
        m_filePath = PathSplitter::FolderPart(dlgLumo.fileName);
        FileName = dlgLumo.fileName;
    }

    WaitCursor wait;
    NewJpegList();
    m_panelFileName->setText(FileName);
    setInfo(QStringLiteral("読込中..."));
    QCoreApplication::processEvents();

    if (sbxJpeg->Load(FileName)) {
        finalStatus = QStringLiteral("読込中にエラーが発生しました");
        wait.release();
        DialogService::instance().ShowMessage(this, finalStatus, DialogService::OkExclamation);
    } else {
        finalStatus = QStringLiteral("読込完了");
        for (int i = 0; i < sbxJpeg->DataCount(); ++i) {
            const QString path = sbxJpeg->FileName(i);
            // A later entry with the same path has no row of its own: keys are unique.
            if (!findRow(path)) {
                if (QFileInfo(path).isFile()) {
                    fillRowFromDisk(addRow(path, true), path);
                } else {
                    QTreeWidgetItem *row = addRow(path, false);
                    row->setText(1, QStringLiteral("(None)"));
                    row->setText(2, QStringLiteral("(None)"));
                    row->setText(3, sizeText(0));
                }
            }
            if (i % 100 == 0) {
                setFileCount(QString::number(i));
                QCoreApplication::processEvents();
            }
        }
        result = true;
    }
    writeFileCountTotal();
    setInfo(finalStatus);
    return result;
}

bool frmLumo::SaveJpegList(bool askFirst)
{
    setInfo(QStringLiteral("保存中..."));
    QString finalStatus;
    bool result = false;

    if (askFirst) {
        if (!m_modified) {
            setInfo(finalStatus);
            return true;
        }
        const int answer = DialogService::instance().ShowMessage(
            this, QStringLiteral("現在のファイルを保存しますか？"), DialogService::YesNoCancelInformation);
        if (answer == DialogService::Cancel || answer == DialogService::No) {
            setInfo(finalStatus);
            return answer == DialogService::No;
        }
    }

    dlgLumo.reset();
    dlgLumo.pathMustExist = true;
    dlgLumo.noChangeDir = true;
    dlgLumo.hideReadOnly = true;
    dlgLumo.overwritePrompt = false;
    dlgLumo.defaultExt.clear();
    dlgLumo.filter = QStringLiteral("*.sbx|*.sbx");
    dlgLumo.initDir = m_filePath;
    dlgLumo.fileName = catalogueName();
    if (DialogService::instance().ShowFileDialog(this, dlgLumo, DialogService::Save)) {
        const QString path = dlgLumo.fileName;
        m_filePath = PathSplitter::FolderPart(path);
        WaitCursor wait;
        if (!sbxJpeg->Save(path)) {
            finalStatus = QStringLiteral("保存完了");
            setModified(false);
            m_panelFileName->setText(path);
            result = true;
        } else {
            finalStatus = QStringLiteral("保存中にエラーが発生しました");
            wait.release();
            DialogService::instance().ShowMessage(this, finalStatus, DialogService::OkExclamation);
            // The catalogue is still unsaved: a caller that asked first must not discard
            // it, so the user can try again elsewhere. The plain save command ignores this.
            result = !askFirst;
        }
    }
    setInfo(finalStatus);
    return result;
}

void frmLumo::setModified(bool modified)
{
    m_modified = modified;
    m_panelSave->setEnabled(modified);
    setWindowModified(modified);
}

void frmLumo::OptimizeJpegList()
{
    // Dropping the entries of vanished pictures is not built yet; the catalogue is left
    // as it is and the reopening that follows shows it unchanged.
}

void frmLumo::DeleteJepg()
{
    // Not built yet: nothing is removed.
}
