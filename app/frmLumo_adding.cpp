// Adding pictures: one file, the files chosen in the dialog, a whole folder, a drop.
//
// Signatures are computed in a thread pool some pictures ahead (SignatureFeed), while
// this thread adds the pictures strictly in order: each one's row, store entry, face and
// count in one step, exactly as if it had been computed here. Waiting for a signature
// runs the event loop inside the command, like the yields of the adds; a stopped add
// drops what was computed ahead unseen.

#include "frmLumo.h"

#include "outside/filefind.h"
#include "outside/pathsplitter.h"
#include "outside/shellservice.h"
#include "signaturefeed.h"
#include "waitcursor.h"

#include "files/folderscan.h"
#include "catalogue/sigbox.h"

#include <QCoreApplication>

bool frmLumo::AddJpegFile(const QString &path, const std::optional<PictureSignature> &picture)
{
    int row = findRow(path);
    ++(row >= 0 ? m_addedKnown : m_addedNew);
    if (row < 0) {
        row = addRow(path, true);
        // A file the store cannot read keeps its row; it simply has no signature. One the
        // store cannot hold (memory) does not stay as a row without its entry.
        if (picture && !sbxJpeg->addComputed(path, picture->cells, picture->face)) {
            removeRow(row);
            return false;
        }
    }
    fillRowFromDisk(row);
    setModified(true);
    setFileCount(QString::number(rowCount()));
    return true;
}

QString frmLumo::addedStatus()
{
    const int parts = sbxJpeg->catalogueSet().partCount();
    const bool wentOn = parts > m_partsBeforeAdd;
    m_partsBeforeAdd = parts;
    if (!wentOn)
        return tr("追加完了");
    showCatalogueName();
    return tr("追加完了（32767個を超えた分は次のカタログファイルに保存します）");
}

bool frmLumo::addNextJpegFile(SignatureFeed &feed, bool closeStops)
{
    // A close stops the folder scan at once (closeEvent cancels it): a picture it found
    // but that the list does not show yet stays out, as if it had never been reported.
    if (closeStops && m_closePending)
        return false;
    const QString path = feed.nextPath();
    // A listed path is only refreshed: its signature is never computed again.
    if (findRow(path) < 0) {
        if (!feed.waitForNext()) {
            m_running = false; // the program is quitting
            return false;
        }
        if (closeStops && m_closePending)
            return false;
    }
    // A store that memory cannot grow takes no more: the add stops without a row for it.
    if (!AddJpegFile(path, feed.takeNext())) {
        m_storeFull = true;
        feed.clear();
        return false;
    }
    return true;
}

void frmLumo::queueAhead(SignatureFeed &feed, const QStringList &paths, qsizetype &next) const
{
    for (; next < paths.size() && !feed.isFull(); ++next)
        feed.append(paths[next], findRow(paths[next]) >= 0);
}

void frmLumo::AddJpegFiles()
{
    setInfo(tr("追加中..."));
    QString finalStatus;

    dlgLumo.reset();
    dlgLumo.multiSelect = true;
    dlgLumo.fileMustExist = true;
    dlgLumo.pathMustExist = true;
    dlgLumo.noChangeDir = true;
    dlgLumo.hideReadOnly = true;
    dlgLumo.filter = pictureFileFilter(pictureFormats());
    dlgLumo.initDir = m_jpegPath;
    dlgLumo.maxFileSize = 31744;
    dlgLumo.fileName.clear();

    m_storeFull = false;
    m_partsBeforeAdd = sbxJpeg->catalogueSet().partCount();
    beginAddCount();
    if (DialogService::instance().ShowFileDialog(this, dlgLumo, DialogService::Open)) {
        tellUnreadableFormats();
        WaitCursor wait;
        repaint();
        QCoreApplication::processEvents();

        const QStringList parts = dlgLumo.fileName.split(QChar(u'\0'), Qt::SkipEmptyParts);
        SignatureFeed feed(m_signatures);
        if (parts.size() == 1) {
            m_jpegPath = PathSplitter::FolderPart(parts.first());
            feed.append(parts.first(), findRow(parts.first()) >= 0);
            addNextJpegFile(feed, false);
            finalStatus = addedStatus();
        } else if (parts.size() > 1) {
            // The folder is kept here: the window's picture folder may change while we yield.
            const QString folder = parts.first();
            m_jpegPath = folder;
            QStringList paths;
            for (int i = 1; i < parts.size(); ++i)
                paths << joinPath(folder, parts[i]);
            qsizetype queued = 0;
            for (qsizetype i = 0; i < paths.size(); ++i) {
                // Tested before the yield, so a stop request pressed while a file is being
                // added takes effect one file later. Waiting for the file's signature
                // belongs to that yield: a stop seen then still lets this file in.
                if (!m_running) {
                    finalStatus = tr("追加中止");
                    wait.release();
                    tellUser(finalStatus, DialogService::OkInformation);
                    break;
                }
                QCoreApplication::processEvents();
                queueAhead(feed, paths, queued);
                if (!addNextJpegFile(feed, false)) {
                    finalStatus = tr("追加中止");
                    break;
                }
            }
            if (finalStatus.isEmpty())
                finalStatus = addedStatus();
        }
        wait.release();
        if (tellIfStoreFull())
            finalStatus = tr("追加中止");
        showAddCount();
    }
    setInfo(finalStatus);
}

void frmLumo::addFolder()
{
    setInfo(tr("追加中..."));
    QString folder = ShellService::BrowseFolder(this, QString());
    if (folder.isEmpty()) {
        setInfo(QString());
        return;
    }
    tellUnreadableFormats();
    SignatureFeed feed(m_signatures);
    m_folderFeed = &feed;
    m_storeFull = false;
    m_partsBeforeAdd = sbxJpeg->catalogueSet().partCount();
    beginAddCount();
    fndJpeg->Find(folder, QStringLiteral("*.*"), 0);
    // The pictures found last are still in line.
    while (!feed.isEmpty() && addFolderPicture(feed)) {
    }
    m_folderFeed = nullptr;
    if (tellIfStoreFull()) {
        setInfo(tr("追加中止"));
    } else if (m_running) {
        setInfo(addedStatus());
    } else {
        tellUser(tr("追加中止"), DialogService::OkInformation);
        setInfo(tr("追加中止"));
    }
    showAddCount();

    // A name that is not UTF-8 could not be stored as text that opens the same file again:
    // such pictures are left out, and the user is told how many.
    qsizetype unreadable = 0;
    for (const QByteArray &path : fndJpeg->unreadableNames()) {
        if (hasPictureExtension(QString::fromUtf8(path)))
            ++unreadable;
    }
    if (unreadable > 0)
        tellUser(tr("ファイル名を読めないため追加できなかったファイル: %n個", nullptr, int(unreadable)),
                 DialogService::OkExclamation);
}

void frmLumo::fndJpegFileFound(const QString &folder, const QString &fileName, bool &cancel)
{
    if (!m_folderFeed) {
        cancel = true;
        return;
    }
    const QString path = joinPath(folder, fileName);
    if (hasPictureExtension(path))
        m_folderFeed->append(path, findRow(path) >= 0);
    // The scan runs ahead of the list by the look-ahead. Once the flag is clear, the picture
    // in turn is the last one added, as the file being added was before.
    while (!m_folderFeed->isEmpty() && (m_folderFeed->isFull() || !m_running))
        addFolderPicture(*m_folderFeed);
    cancel = !m_running || m_storeFull;
}

bool frmLumo::addFolderPicture(SignatureFeed &feed)
{
    // The file during whose adding the flag was cleared is still added; the rest of the
    // look-ahead is dropped.
    if (!addNextJpegFile(feed, true) || !m_running) {
        feed.clear();
        return false;
    }
    return true;
}

void frmLumo::addDroppedFiles(const QStringList &paths)
{
    QStringList jpegs;
    for (const QString &path : paths) {
        if (hasPictureExtension(path))
            jpegs << path;
    }
    if (!jpegs.isEmpty())
        tellUnreadableFormats();
    // A drop neither stops nor lets the user act inside it: its waits take no user input.
    SignatureFeed feed(m_signatures, QEventLoop::ExcludeUserInputEvents);
    m_storeFull = false;
    m_partsBeforeAdd = sbxJpeg->catalogueSet().partCount();
    beginAddCount();
    qsizetype queued = 0;
    for (qsizetype i = 0; i < jpegs.size(); ++i) {
        queueAhead(feed, jpegs, queued);
        if (!addNextJpegFile(feed, false))
            break;
    }
    if (!tellIfStoreFull() && sbxJpeg->catalogueSet().partCount() > m_partsBeforeAdd)
        setInfo(addedStatus());
    if (!jpegs.isEmpty())
        showAddCount();
}

void frmLumo::beginAddCount()
{
    m_addedNew = 0;
    m_addedKnown = 0;
    setNote(QString());
}

void frmLumo::showAddCount()
{
    // A folder added again says so: nothing new, everything known.
    setNote(tr("新規 %1個、登録済み %2個").arg(m_addedNew).arg(m_addedKnown));
}

bool frmLumo::tellIfStoreFull()
{
    if (!m_storeFull)
        return false;
    m_storeFull = false;
    tellUser(tr("これ以上追加できません"), DialogService::OkExclamation);
    return true;
}

PictureFormats frmLumo::pictureFormats() const
{
    return m_allFormats ? PictureFormats::All : PictureFormats::Jpeg;
}

bool frmLumo::hasPictureExtension(const QString &path) const
{
    return ::hasPictureExtension(PathSplitter::FileNamePart(path), pictureFormats());
}

void frmLumo::tellUnreadableFormats()
{
    const QString message = unreadableFormatsMessage(unreadableFormats(pictureFormats()));
    if (!message.isEmpty())
        tellUser(message, DialogService::OkExclamation);
}

QString frmLumo::joinPath(const QString &folder, const QString &name)
{
    // The root folder already ends with the separator; doubling it would make a second key
    // for the same file.
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}
