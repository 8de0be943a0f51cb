// Opening a catalogue file into list and store, and optimising it: dropping the entries
// of pictures that are gone, writing the file and reading it back.

#include "frmLumo.h"

#include "outside/pathsplitter.h"
#include "waitcursor.h"

#include "files/folderscan.h"
#include "catalogue/sigbox.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QSet>
#include <QTreeWidget>

#include <optional>

namespace {
const QString NoneText = QStringLiteral("(None)");
const QString SaveErrorText = QStringLiteral("保存中にエラーが発生しました");
constexpr int FillStep = 100;
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
    m_panelFileName->setText(FileName);
    setInfo(QStringLiteral("読込中..."));
    QCoreApplication::processEvents();

    if (sbxJpeg->Load(FileName)) {
        m_catalogueUnread = true;
        finalStatus = QStringLiteral("読込中にエラーが発生しました");
        wait.reset();
        DialogService::instance().ShowMessage(this, finalStatus, DialogService::OkExclamation);
    } else {
        finalStatus = QStringLiteral("読込完了");
        // Same date form as a row filled when a picture is added.
        const QLocale locale = QLocale::system();
        const auto listEntry = [&](int i) {
            const QString path = sbxJpeg->FileName(i);
            // A later entry with the same path has no row of its own: keys are unique.
            if (!findRow(path)) {
                // One file-system query per entry: QFileInfo keeps what it read.
                const QFileInfo file(path);
                const bool present = file.isFile();
                QTreeWidgetItem *row = addRow(path, present);
                if (present) {
                    row->setText(1, PathSplitter::FolderPart(path));
                    const QDateTime modified = file.lastModified();
                    if (modified.isValid())
                        row->setText(2, locale.toString(modified, QLocale::ShortFormat));
                    row->setText(3, sizeText(file.size()));
                } else {
                    row->setText(1, NoneText);
                    row->setText(2, NoneText);
                    row->setText(3, sizeText(0));
                }
            }
        };
        const int count = sbxJpeg->DataCount();
        const quint64 generation = sbxJpeg->table().generation();
        int i = 0;
        for (; i < count; ++i) {
            listEntry(i);
            if (i % FillStep == 0) {
                setFileCount(QString::number(i));
                QCoreApplication::processEvents();
                // The store changed while we yielded (a deletion from another window): the
                // indexes no longer hold. Stop the walk and list what the store holds now.
                if (sbxJpeg->table().generation() != generation)
                    break;
            }
        }
        if (i < count) {
            for (int k = 0; k < sbxJpeg->DataCount(); ++k)
                listEntry(k);
        }
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
        setNote(QStringLiteral("ファイルのない%1個を除外しました").arg(m_optimizeDropped));
    }
}

bool frmLumo::OptimizeJpegList()
{
    setInfo(QStringLiteral("最適化中..."));
    setNote(QString());
    QCoreApplication::processEvents();

    // From the last entry down, so a removal never moves an entry still to be visited.
    QStringList removed;
    for (int i = sbxJpeg->DataCount() - 1; i >= 0; --i) {
        const QString path = sbxJpeg->FileName(i);
        // A hidden file is still a picture on disk; only a missing one loses its entry, and
        // only when its folder is there (a disk that is away keeps its pictures).
        if (isPictureGone(path)) {
            sbxJpeg->Remove(i);
            removed.append(path);
        }
        setFileCount(QString::number(i));
    }

    // A file that failed to load is not a catalogue of ours to overwrite.
    const QString name = m_catalogueUnread ? QString() : catalogueName();
    if (name.isEmpty() || sbxJpeg->Save(name)) {
        // Reopening would bring back an older file (or ask for one) and lose what was
        // just cleaned: keep the catalogue here, list and store alike, as unsaved.
        QSet<QString> kept;
        for (int i = 0; i < sbxJpeg->DataCount(); ++i)
            kept.insert(sbxJpeg->FileName(i));
        for (const QString &path : std::as_const(removed)) {
            if (!kept.contains(path)) {
                if (QTreeWidgetItem *row = findRow(path))
                    removeRow(row);
            }
        }
        setModified(true);
        setInfo(SaveErrorText);
        DialogService::instance().ShowMessage(this, SaveErrorText, DialogService::OkExclamation);
        return false;
    }

    setInfo(QStringLiteral("最適化完了"));
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
