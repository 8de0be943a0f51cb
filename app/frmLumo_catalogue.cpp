// Catalogue operations on list and store together: new and save, and the modified
// indicator (open and optimise: frmLumo_open.cpp; delete: frmLumo_delete.cpp).

#include "frmLumo.h"

#include "outside/pathsplitter.h"
#include "outside/workpool.h"
#include "waitcursor.h"

#include "catalogue/sigbox.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>

void frmLumo::NewJpegList()
{
    unloadViewerAndSimilar();
    setFileCount(QString());
    setCatalogueName(QString());
    setInfo(QString());
    setModified(false);
    m_catalogueUnread = false;
    clearRows();
    sbxJpeg->Clear();
}

bool frmLumo::SaveJpegList(bool askFirst)
{
    setInfo(tr("保存中..."));
    QString finalStatus;
    bool result = false;

    if (askFirst) {
        if (!m_modified) {
            setInfo(finalStatus);
            return true;
        }
        const int answer = DialogService::instance().ShowMessage(
            this, tr("現在のファイルを保存しますか？"), DialogService::YesNoCancelInformation);
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
    // A file that failed to load is written only when the user names it again.
    dlgLumo.fileName = m_catalogueUnread ? QString() : catalogueName();
    if (DialogService::instance().ShowFileDialog(this, dlgLumo, DialogService::Save)) {
        const QString path = dlgLumo.fileName;
        m_filePath = PathSplitter::FolderPart(path);
        WaitCursor wait;
        // Written on a worker while the window answers: a million entries take seconds.
        // Commands wait meanwhile, so nothing changes the store under the writer.
        WorkPool writer(1, WorkPool::Ending::Wait);
        if (!writer.runServingEvents([store = sbxJpeg, path] { return store->Save(path); })) {
            finalStatus = tr("保存完了");
            setModified(false);
            m_catalogueUnread = false;
            setCatalogueName(path);
            result = true;
        } else {
            finalStatus = tr("保存中にエラーが発生しました");
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

void frmLumo::setCatalogueName(const QString &name)
{
    m_catalogueName = name;
    showCatalogueName();
}

void frmLumo::showCatalogueName()
{
    const int files = sbxJpeg->catalogueSet().partCount();
    if (m_catalogueName.isEmpty() || files <= 1)
        m_panelFileName->setText(m_catalogueName);
    else
        m_panelFileName->setText(tr("%1（全%2ファイル）").arg(m_catalogueName).arg(files));
}

void frmLumo::setModified(bool modified)
{
    m_modified = modified;
    m_panelSave->setEnabled(modified);
    setWindowModified(modified);
}
