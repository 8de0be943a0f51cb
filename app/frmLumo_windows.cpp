// The entry points of the other windows (viewer, similar pictures, settings dialog) and
// the version box. The windows themselves come later; until then these do nothing, and
// this is the one place that connects them.

#include "frmLumo.h"

bool frmLumo::viewerVisible() const
{
    return false;
}

void frmLumo::showViewer(const QString &path)
{
    Q_UNUSED(path);
}

bool frmLumo::similarVisible() const
{
    return false;
}

void frmLumo::delSamPics(const QString &path)
{
    Q_UNUSED(path);
}

void frmLumo::showSimilar(int mode)
{
    Q_UNUSED(mode);
}

void frmLumo::unloadViewerAndSimilar()
{
}

bool frmLumo::showSettingsDialog(qint16 &samCols, qint32 &samWidth, qint32 &samHeight)
{
    Q_UNUSED(samCols);
    Q_UNUSED(samWidth);
    Q_UNUSED(samHeight);
    return false;
}

void frmLumo::unloadOtherWindows()
{
}

void frmLumo::showAbout()
{
    DialogService::instance().ShowAbout(this, AppInfo::fromApplication());
}
