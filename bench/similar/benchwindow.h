#pragma once
// The main window as the window benchmarks drive it: opened on a catalogue, its commands
// triggered as a user would, the dialogs scripted so no run waits for a person.

#include <frmLumo.h>
#include <frmSam.h>
#include <outside/scripteddialogs.h>
#include <samgrid.h>
#include <thumbnailcache.h>

#include <QAction>
#include <QFile>
#include <QMenuBar>
#include <QTreeView>

struct MainWindow
{
    ScriptedDialogs dialogs;
    frmLumo window;

    explicit MainWindow(const QString &catalogue)
    {
        window.show();
        window.openCommandLine(catalogue);
    }
    void run(const char *command) { window.menuBar()->findChild<QAction *>(QLatin1String(command))->trigger(); }
    QTreeView *list() { return window.findChild<QTreeView *>(QStringLiteral("lsvJpeg")); }
    SamGrid *grid() { return frmSam::loaded() ? frmSam::loaded()->findChild<SamGrid *>(QStringLiteral("picList")) : nullptr; }
};

// Every cell in view has its thumbnail decoded (or failed).
inline bool screenDecoded(SamGrid *grid)
{
    const SamGeometry &geometry = grid->geometryTwips();
    bool any = false;
    for (int k = -grid->areaTop() / geometry.rowHeight() * geometry.columns; k < grid->placedCount(); ++k) {
        const QRect cell = grid->toPixels(geometry.cellRect(k));
        if (cell.top() >= grid->height())
            break;
        if (!cell.intersects(grid->rect()))
            continue;
        any = true;
        const ThumbnailCache::State s = grid->thumbnails().state(grid->entry(k));
        if (s != ThumbnailCache::State::Ready && s != ThumbnailCache::State::Failed)
            return false;
    }
    return any;
}

// A figure of /proc/self/status in MiB ("VmRSS:", "VmHWM:").
inline double statusMiB(const QByteArray &key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toDouble() / 1024;
    }
    return 0;
}
