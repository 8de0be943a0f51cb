// Working with the grid once a run has ended: the tooltip, selecting by a press, the
// viewer on a double click, the "ファイル" menu with "削除", and blanking deleted pictures.
// None of it responds while a run goes on.

#include "frmSam.h"

#include "frmCompare.h"
#include "outside/pathsplitter.h"
#include "samgrid.h"
#include "samowner.h"

#include <frmView.h>

#include <QAction>
#include <QCoreApplication>
#include <QCursor>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPointer>
#include <QSlider>
#include <QToolTip>

void frmSam::createMenu()
{
    mnuFile = menuBar()->addMenu(tr("ファイル"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    auto *remove = new QAction(tr("削除"), this);
    remove->setObjectName(QStringLiteral("mnuF0"));
    remove->setShortcut(QKeySequence(Qt::Key_Delete));
    connect(remove, &QAction::triggered, this, [this] { mnuFClick(0); });
    mnuFile->addAction(remove);
    addAction(remove); // Del works wherever the focus is in the window
    mnuF.append(remove);
    createNotAlikeMenu();
    connect(mnuFile, &QMenu::aboutToShow, this, &frmSam::updateMenu);
}

void frmSam::updateMenu()
{
    // Kept current whenever the marks or the state change, so Del acts on it as well.
    if (!mnuF.isEmpty())
        mnuF[0]->setEnabled(picList->hasMarks() && showingResults());
    if (mnuCompare)
        mnuCompare->setEnabled(compareAvailable());
    const bool rules = rulesAvailable();
    if (mnuSelect)
        mnuSelect->menuAction()->setEnabled(rules);
    for (QAction *item : std::as_const(mnuS))
        item->setEnabled(rules);
}

void frmSam::mnuFClick(int index)
{
    // Never inside a command of the main window's: it would take the catalogue away under it.
    if (index != 0 || !showingResults() || m_owner->ownerBusy())
        return;
    picList->settleSelection();
    if (!picList->hasMarks())
        return;
    // Exactly the marked pictures: a row selected in the list whose picture is not on the
    // grid stays. The main window calls DelSamPics for each.
    m_owner->DeleteJepg(picList->markedPaths());
}

bool frmSam::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == picList) {
        switch (event->type()) {
        case QEvent::MouseMove:
            if (showingResults()) {
                const QPoint at = static_cast<QMouseEvent *>(event)->position().toPoint();
                HitSamPic(at.x(), at.y(), 0);
            }
            break;
        case QEvent::MouseButtonPress:
            picListMouseDown(static_cast<QMouseEvent *>(event));
            return true;
        case QEvent::MouseButtonDblClick:
            picListDblClick();
            return true;
        case QEvent::Wheel:
            // The wheel scrolls the grid as the slider's keys do.
            QCoreApplication::sendEvent(sldList, event);
            return true;
        default:
            break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool frmSam::HitSamPic(int x, int y, int mode)
{
    const QPoint area = picList->toArea(QPoint(x, y));
    // The widget fills the window; the pictures may end above its bottom.
    const std::optional<SamGeometry::Hit> hit = m_geometry.hit(area.x(), area.y());
    if (!hit || area.y() >= picList->areaHeight())
        return false;
    const QString name = picList->entry(hit->cell);

    if (mode == 0) {
        QString tip;
        if (!name.isEmpty()) {
            const QFileInfo file(name);
            if (file.exists())
                tip = samToolTip(name, file.size()) + samMatchNote(m_matches.value(hit->cell))
                    + samFactsNote(m_factsCache->headerFacts(name));
            else
                tip = tr("ファイルがありません");
        }
        setPicListToolTip(tip);
        return true;
    }

    setPicListToolTip(QString());
    setTitle(QString());
    if (name.isEmpty())
        return true; // the highlight stays where it was
    setTitle(name);
    picList->attach(lblTitle, QRect(hit->column * m_geometry.width,
                                    hit->row * m_geometry.rowHeight() + m_geometry.height, m_geometry.width,
                                    SamGeometry::CaptionHeight));
    lblTitle->setText(PathSplitter::FileNamePart(name));
    lblTitle->show();
    return true;
}

void frmSam::setPicListToolTip(const QString &text)
{
    if (picList->toolTip() == text)
        return;
    picList->setToolTip(text);
    // A tooltip already shown follows the pointer from cell to cell.
    if (QToolTip::isVisible()) {
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(QCursor::pos(), text, picList);
    }
}

void frmSam::picListMouseDown(QMouseEvent *event)
{
    if (!showingResults())
        return;
    const QPoint at = event->position().toPoint();
    // Outside the pictures a press changes nothing, and opens no menu.
    if (!HitSamPic(at.x(), at.y(), 1))
        return;
    const bool multi = event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    const QPointer<frmSam> self(this);
    m_owner->SyncJpegList(m_title, multi);
    if (!self)
        return;
    // An open viewer follows the selection.
    if (frmView::isShown())
        picListDblClick();
    if (event->button() == Qt::RightButton)
        mnuFile->exec(event->globalPosition().toPoint());
}

void frmSam::picListDblClick()
{
    if (!showingResults() || m_title.isEmpty())
        return;
    frmView::ShowEx(m_owner->samOwnerWindow(), m_title);
}

void frmSam::DelSamPics(const QString &o_FileName)
{
    DelSamPics(QStringList{o_FileName});
}

void frmSam::DelSamPics(const QStringList &o_FileNames)
{
    // The pictures have left the catalogue, every entry of them: they leave the groups too,
    // all in one pass over the groups, however many went.
    const QSet<QString> gone(o_FileNames.begin(), o_FileNames.end());
    for (PictureGroup &group : m_groups) {
        if (gone.contains(group.base))
            group.base.clear();
        group.members.removeIf([&gone](const QString &member) { return gone.contains(member); });
    }
    frmCompare *compare = frmCompare::loaded();
    QStringList shown;
    for (const QString &path : o_FileNames) {
        if (picList->firstCellOf(path) < 0)
            continue;
        shown.append(path);
        if (compare)
            compare->DelComparePics(path);
    }
    if (shown.isEmpty())
        return;
    lblTitle->hide();
    // Blanked in the grid's own geometry: the settings may have changed since it was laid
    // out. Every cell of a picture: it has left every group.
    picList->blankPictures(shown);
}
