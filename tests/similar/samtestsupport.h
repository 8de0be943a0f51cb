#pragma once
// Shared by the similar-pictures window's tests: an owner window that records the calls
// made into it, and signatures with known check values.

#include <frmSam.h>
#include <samowner.h>
#include "entries/signaturetable.h"

#include <QCoreApplication>
#include <QEvent>
#include <QList>
#include <QPair>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <random>

// Its list holds the catalogue's paths; its selection is `selection`, changed by
// SyncJpegList, selectPictures and select() as the main window's list changes, and told to
// the watcher the same way.
class FakeOwner : public QWidget, public SamOwner
{
public:
    SignatureTable table;
    int level = 0;
    SimilarRule rule;
    qint16 columns = 6;
    qint32 width = 1200;
    qint32 height = 1600;
    QList<QPair<QString, bool>> synced; // SyncJpegList calls
    int deletes = 0;                    // DeleteJepg calls
    QList<QStringList> deleted;         // their paths
    QStringList selection;
    SelectionWatcher watcher;
    bool busy = false;                  // ownerBusy()
    QList<bool> holds;                  // holdCommands calls
    QStringList folders;                // protectedFolders()
    QStringList infos;                  // showInfo texts

    QWidget *samOwnerWindow() override { return this; }
    qint16 SamCols() const override { return columns; }
    qint32 SamWidth() const override { return width; }
    qint32 SamHeight() const override { return height; }
    bool ShareThumbnails() const override { return false; }
    const SignatureTable &samCatalogue() const override { return table; }
    int likeLevel() const override { return level; }
    SimilarRule similarRule() const override { return rule; }
    void SyncJpegList(const QString &o_FileName, bool o_Multi) override
    {
        synced.append({o_FileName, o_Multi});
        // A path with no row changes nothing.
        bool listed = false;
        for (int i = 0; i < table.count() && !listed; ++i)
            listed = table.name(i) == o_FileName;
        if (!listed || o_FileName.isEmpty())
            return;
        QStringList next = o_Multi ? selection : QStringList();
        if (!next.contains(o_FileName))
            next.append(o_FileName);
        select(next);
    }
    void DeleteJepg(const QStringList &o_Only) override
    {
        ++deletes;
        deleted.append(o_Only);
    }
    QStringList selectedPaths() const override { return selection; }
    void watchSelection(SelectionWatcher w) override { watcher = std::move(w); }
    QString selectPictures(const QStringList &paths) override
    {
        select(paths);
        return QStringLiteral("selected %1").arg(paths.size());
    }
    void showInfo(const QString &text) override { infos.append(text); }
    bool ownerBusy() const override { return busy; }
    void holdCommands(bool hold) override { holds.append(hold); }
    QStringList protectedFolders() const override { return folders; }
    void setProtectedFolders(const QStringList &f) override { folders = f; }

    // Makes paths the selection and tells the watcher what joined and what left.
    void select(const QStringList &paths)
    {
        QStringList joined, left;
        for (const QString &path : paths)
            if (!selection.contains(path))
                joined.append(path);
        for (const QString &path : std::as_const(selection))
            if (!paths.contains(path))
                left.append(path);
        selection = paths;
        if (watcher)
            watcher(joined, left);
    }
};

// Calls `during` with each title a run shows, at the moment it shows it, and records them.
class TitleWatcher : public QObject
{
public:
    std::function<void(frmSam *, const QString &)> during;
    QStringList titles;

    TitleWatcher() { QCoreApplication::instance()->installEventFilter(this); }
    ~TitleWatcher() override { QCoreApplication::instance()->removeEventFilter(this); }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *window = qobject_cast<frmSam *>(watched);
        if (window && event->type() == QEvent::WindowTitleChange && window->isRunning()) {
            titles << window->windowTitle();
            if (during && !window->windowTitle().isEmpty())
                during(window, window->windowTitle());
        }
        return false;
    }
};

inline QString pictureName(int index)
{
    return QStringLiteral("/pictures/p%1.jpg").arg(index);
}

inline QStringList pictureNames(const QList<int> &indexes)
{
    QStringList names;
    for (int index : indexes)
        names << pictureName(index);
    return names;
}

// Every cell mid grey.
inline Signature grey()
{
    Signature cells;
    cells.fill(100);
    return cells;
}

// Grey with `count` cells from `first` white: 10 such cells against grey still give 0, 11 give 465.
inline Signature whitePatch(int first, int count)
{
    Signature cells = grey();
    for (int value = 3 * first; value < 3 * (first + count); ++value)
        cells[value] = 255;
    return cells;
}

// Grey with 11 cells `value` redder: exactly `value` against grey.
inline Signature checkValueAgainstGrey(int value)
{
    Signature cells = grey();
    for (int cell = 0; cell < 11; ++cell)
        cells[3 * cell] = static_cast<int16_t>(100 + value);
    return cells;
}

// Random signatures are far apart from one another at any level.
inline Signature randomSignature(std::mt19937 &random)
{
    Signature cells;
    for (int16_t &value : cells)
        value = static_cast<int16_t>(random() % 256);
    return cells;
}
