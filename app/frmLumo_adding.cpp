// Adding pictures: one file, the files chosen in the dialog, a whole folder, a drop.

#include "frmLumo.h"

#include "outside/filefind.h"
#include "outside/pathsplitter.h"
#include "outside/shellservice.h"
#include "waitcursor.h"

#include <folderscan.h>
#include <sigbox.h>

#include <QCoreApplication>
#include <QTreeWidget>

void frmLumo::AddJpegFile(const QString &path)
{
    QTreeWidgetItem *row = findRow(path);
    if (!row) {
        row = addRow(path, true);
        // A file the store cannot read keeps its row; it simply has no signature.
        sbxJpeg->Additem(path);
    }
    fillRowFromDisk(row, path);
    setModified(true);
    setFileCount(QString::number(rowCount()));
}

void frmLumo::AddJpegFiles()
{
    setInfo(QStringLiteral("追加中..."));
    QString finalStatus;

    dlgLumo.reset();
    dlgLumo.multiSelect = true;
    dlgLumo.fileMustExist = true;
    dlgLumo.pathMustExist = true;
    dlgLumo.noChangeDir = true;
    dlgLumo.hideReadOnly = true;
    dlgLumo.filter = QStringLiteral("*.jpeg *.jpg|*.jpeg;*.jpg");
    dlgLumo.initDir = m_jpegPath;
    dlgLumo.maxFileSize = 31744;
    dlgLumo.fileName.clear();

    if (DialogService::instance().ShowFileDialog(this, dlgLumo, DialogService::Open)) {
        WaitCursor wait;
        repaint();
        QCoreApplication::processEvents();

        const QStringList parts = dlgLumo.fileName.split(QChar(u'\0'), Qt::SkipEmptyParts);
        if (parts.size() == 1) {
            m_jpegPath = PathSplitter::FolderPart(parts.first());
            AddJpegFile(parts.first());
            finalStatus = QStringLiteral("追加完了");
        } else if (parts.size() > 1) {
            // The folder is kept here: the window's picture folder may change while we yield.
            const QString folder = parts.first();
            m_jpegPath = folder;
            finalStatus = QStringLiteral("追加完了");
            for (int i = 1; i < parts.size(); ++i) {
                // Tested before the yield, so a stop request pressed while a file is being
                // added takes effect one file later.
                if (!m_running) {
                    finalStatus = QStringLiteral("追加中止");
                    wait.release();
                    tellUser(finalStatus, DialogService::OkInformation);
                    break;
                }
                QCoreApplication::processEvents();
                AddJpegFile(joinPath(folder, parts[i]));
            }
        }
    }
    setInfo(finalStatus);
}

void frmLumo::addFolder()
{
    setInfo(QStringLiteral("追加中..."));
    QString folder = ShellService::BrowseFolder(this, QString());
    if (folder.isEmpty()) {
        setInfo(QString());
        return;
    }
    fndJpeg->Find(folder, QStringLiteral("*.*"), 0);
    if (m_running) {
        setInfo(QStringLiteral("追加完了"));
    } else {
        tellUser(QStringLiteral("追加中止"), DialogService::OkInformation);
        setInfo(QStringLiteral("追加中止"));
    }

    // A name that is not UTF-8 could not be stored as text that opens the same file again:
    // such pictures are left out, and the user is told how many.
    qsizetype unreadable = 0;
    for (const QByteArray &path : fndJpeg->unreadableNames()) {
        if (::hasJpegExtension(QString::fromUtf8(path)))
            ++unreadable;
    }
    if (unreadable > 0)
        tellUser(QStringLiteral("ファイル名を読めないため追加できなかったファイル: %1個").arg(unreadable),
                 DialogService::OkExclamation);
}

void frmLumo::fndJpegFileFound(const QString &folder, const QString &fileName, bool &cancel)
{
    const QString path = joinPath(folder, fileName);
    if (hasJpegExtension(path))
        AddJpegFile(path);
    cancel = !m_running;
}

void frmLumo::addDroppedFiles(const QStringList &paths)
{
    for (const QString &path : paths) {
        if (hasJpegExtension(path))
            AddJpegFile(path);
    }
}

bool frmLumo::hasJpegExtension(const QString &path)
{
    return ::hasJpegExtension(PathSplitter::FileNamePart(path));
}

QString frmLumo::joinPath(const QString &folder, const QString &name)
{
    // The root folder already ends with the separator; doubling it would make a second key
    // for the same file.
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}
