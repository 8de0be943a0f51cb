// The entry points of the other windows (viewer, similar pictures, settings dialog) and
// the version box: the one place that connects them.

#include "frmLumo.h"

#include <frmSam.h>
#include <frmSet.h>
#include <frmView.h>
#include "catalogue/sigbox.h"

bool frmLumo::viewerVisible() const
{
    return frmView::isShown();
}

void frmLumo::showViewer(const QString &path)
{
    frmView::ShowEx(this, path);
}

bool frmLumo::similarVisible() const
{
    return frmSam::isShown();
}

void frmLumo::delSamPics(const QStringList &paths)
{
    if (frmSam *similar = frmSam::loaded())
        similar->DelSamPics(paths);
}

void frmLumo::showSimilar(int mode)
{
    frmSam::ShowEx(this, mode);
}

void frmLumo::showSimilarToSelected()
{
    frmSam::ShowLike(this, selectedPaths());
}

const SignatureTable &frmLumo::samCatalogue() const
{
    return sbxJpeg->table();
}

void frmLumo::unloadViewerAndSimilar()
{
    if (frmView::isShown())
        frmView::unload();
    if (frmSam::isShown())
        frmSam::unload();
}

bool frmLumo::showSettingsDialog(qint16 &samCols, qint32 &samWidth, qint32 &samHeight, bool &allFormats,
                                 QString &language)
{
    frmSet dialog;
    dialog.SamCols = samCols;
    dialog.SamWidth = samWidth;
    dialog.SamHeight = samHeight;
    dialog.AllFormats = allFormats;
    dialog.Language = language;
    if (!dialog.ShowEx(this))
        return false;
    samCols = dialog.SamCols;
    samWidth = dialog.SamWidth;
    samHeight = dialog.SamHeight;
    allFormats = dialog.AllFormats;
    language = dialog.Language;
    return true;
}

void frmLumo::unloadOtherWindows()
{
    frmView::unload();
    frmSet::unload();
    frmSam::unload();
}

void frmLumo::showAbout()
{
    DialogService::instance().ShowAbout(this, AppInfo::fromApplication());
}
