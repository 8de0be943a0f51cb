// "比較": the compare window on the group of the pressed picture, after a comparison run,
// and what it reads of this window and changes through it: the groups, the marks (the main
// list's selection), the grid's 削除, the grid's scrolling to the group it shows.

#include "frmSam.h"

#include "frmCompare.h"
#include "samgrid.h"
#include "samowner.h"

#include <QAction>
#include <QMenu>
#include <QSlider>

void frmSam::createCompareItem()
{
    mnuCompare = new QAction(QStringLiteral("比較(&M)..."), this);
    mnuCompare->setObjectName(QStringLiteral("mnuCompare"));
    mnuCompare->setShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    connect(mnuCompare, &QAction::triggered, this, &frmSam::mnuCompareClick);
    // The "ファイル" menu is also the grid's context menu.
    mnuFile->insertAction(mnuF.value(0), mnuCompare);
    addAction(mnuCompare);
}

int frmSam::pressedGroup() const
{
    return m_title.isEmpty() ? -1 : picList->groupOf(picList->firstCellOf(m_title));
}

bool frmSam::compareAvailable() const
{
    return m_shown == SamRun::Comparison && showingResults() && pressedGroup() >= 0;
}

void frmSam::mnuCompareClick()
{
    if (compareAvailable())
        frmCompare::ShowEx(this, pressedGroup(), m_title);
}

int frmSam::compareGroupCount() const
{
    return m_shown == SamRun::Comparison ? int(m_groups.size()) : 0;
}

QStringList frmSam::compareGroup(int group) const
{
    if (group < 0 || size_t(group) >= m_groups.size())
        return {};
    // As the grid shows them: the members, then the base.
    const PictureGroup &pictures = m_groups[size_t(group)];
    QStringList shown = pictures.members;
    if (!pictures.base.isEmpty())
        shown.append(pictures.base);
    return shown;
}

PictureGroup frmSam::comparePictureGroup(int group) const
{
    return group < 0 || size_t(group) >= m_groups.size() ? PictureGroup{} : m_groups[size_t(group)];
}

void frmSam::showCompareGroup(int group)
{
    int first = 0;
    while (first < picList->placedCount() && picList->groupOf(first) != group)
        ++first;
    if (first >= picList->placedCount() || !sldList->isEnabled())
        return;
    // Scrolled only when the group's first row is out of view: it then comes to the top.
    const int row = first / m_geometry.columns;
    const int top = sldList->value() - 1;
    if (row < top || row >= top + sldList->pageStep())
        sldList->setValue(row + 1);
}

bool frmSam::isPictureMarked(const QString &path) const
{
    return picList->isMarked(picList->firstCellOf(path));
}

void frmSam::markInGroup(int group, const QStringList &paths)
{
    const QStringList pictures = compareGroup(group);
    QStringList selection = m_owner->selectedPaths();
    selection.removeIf([&pictures](const QString &path) { return pictures.contains(path); });
    m_owner->selectPictures(selection + paths);
}

void frmSam::deleteMarked(const QStringList &paths)
{
    // As the grid's 削除: never inside a command of the main window's.
    if (compareCanChange())
        m_owner->DeleteJepg(paths);
}

QStringList frmSam::compareProtectedFolders() const
{
    return m_owner->protectedFolders();
}

bool frmSam::compareCanChange() const
{
    return showingResults() && !m_owner->ownerBusy();
}
