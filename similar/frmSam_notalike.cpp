// Pictures of a group marked not alike, from the "ファイル" menu (and so the grid's context
// menu): the pressed picture against the rest of its group, or every pair of the group.
// The decisions are written at once and the pictures leave the grid as deleted ones do;
// the catalogue and the main list stay as they are. The next searches keep them apart.

#include "frmSam.h"

#include "frmCompare.h"

#include "notalikedialog.h"
#include "samgrid.h"
#include "samowner.h"

#include <QAction>
#include <QDateTime>
#include <QLabel>
#include <QMenu>

void frmSam::createNotAlikeMenu()
{
    auto *picture = new QAction(tr("似ていない画像にする(&N)"), this);
    picture->setObjectName(QStringLiteral("mnuNotAlike"));
    connect(picture, &QAction::triggered, this, [this] { markNotAlike(false); });
    auto *group = new QAction(tr("このグループは似ていない(&G)"), this);
    group->setObjectName(QStringLiteral("mnuNotAlikeGroup"));
    connect(group, &QAction::triggered, this, [this] { markNotAlike(true); });
    auto *pairs = new QAction(tr("似ていない組み合わせ(&L)..."), this);
    pairs->setObjectName(QStringLiteral("mnuNotAlikePairs"));
    connect(pairs, &QAction::triggered, this, &frmSam::showNotAlikePairs);
    mnuFile->addActions({picture, group});
    mnuFile->addSeparator();
    mnuFile->addAction(pairs);
    connect(mnuFile, &QMenu::aboutToShow, this, &frmSam::updateNotAlikeMenu);
}

void frmSam::updateNotAlikeMenu()
{
    const bool grouped = selectedGroupCell() >= 0;
    for (const char *name : {"mnuNotAlike", "mnuNotAlikeGroup"})
        findChild<QAction *>(QLatin1String(name))->setEnabled(grouped);
    findChild<QAction *>(QStringLiteral("mnuNotAlikePairs"))->setEnabled(showingResults());
}

int frmSam::selectedGroupCell() const
{
    if (!showingResults() || m_shown != SamRun::Comparison || m_title.isEmpty())
        return -1;
    const int cell = picList->firstCellOf(m_title);
    return cell >= 0 && picList->groupOf(cell) >= 0 ? cell : -1;
}

std::shared_ptr<const SimilarApart> frmSam::notAlikeApart(const SignatureTable &table)
{
    NotAlikeDecisions decisions;
    loadNotAlikeDecisions(decisions, this, NotAlikeDecisions::Names::Skipped);
    return decisions.apartOf(table);
}

void frmSam::markNotAlike(bool wholeGroup)
{
    markNotAlikeAt(selectedGroupCell(), wholeGroup);
}

void frmSam::markNotAlikeInGroup(int group, const QString &path)
{
    if (!showingResults() || m_shown != SamRun::Comparison)
        return;
    for (int k = 0; k < picList->placedCount(); ++k) {
        if (picList->groupOf(k) == group && picList->entry(k) == path) {
            markNotAlikeAt(k, false);
            return;
        }
    }
}

void frmSam::markNotAlikeAt(int pressed, bool wholeGroup)
{
    if (pressed < 0)
        return;
    // The group's pictures still on the grid, the pressed one first.
    const int group = picList->groupOf(pressed);
    QList<int> cells{pressed};
    for (int k = 0; k < picList->placedCount(); ++k) {
        if (k != pressed && picList->groupOf(k) == group && !picList->entry(k).isEmpty())
            cells.append(k);
    }
    const SignatureTable &table = m_owner->samCatalogue();
    QHash<QString, int> entries;
    for (int k : std::as_const(cells))
        entries.insert(picList->entry(k), -1);
    for (int i = 0; i < table.count(); ++i) {
        const auto found = entries.find(table.name(i));
        if (found != entries.end() && *found < 0)
            *found = i;
    }

    NotAlikeDecisions decisions;
    loadNotAlikeDecisions(decisions, this);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (qsizetype a = 0; a < (wholeGroup ? cells.size() : 1); ++a) {
        for (qsizetype b = a + 1; b < cells.size(); ++b) {
            const int first = entries.value(picList->entry(cells[a]), -1);
            const int second = entries.value(picList->entry(cells[b]), -1);
            if (first >= 0 && second >= 0)
                decisions.add(table.cells(first), table.name(first), table.cells(second), table.name(second), now);
        }
    }
    if (!decisions.save()) {
        m_owner->showInfo(tr("似ていない画像の記録中にエラーが発生しました"));
        return;
    }
    // A group left with one picture is no group any more. What leaves the grid leaves the
    // run's groups too, so the rules and the compare window no longer count it.
    const auto leave = [this](int k) {
        const int number = picList->groupOf(k);
        if (number >= 0 && size_t(number) < m_groups.size()) {
            PictureGroup &group = m_groups[size_t(number)];
            const QString picture = picList->entry(k);
            if (group.base == picture)
                group.base.clear();
            else
                group.members.removeOne(picture);
            if (frmCompare *compare = frmCompare::loaded())
                compare->DelComparePics(picture);
        }
        picList->blank(k);
    };
    if (wholeGroup || cells.size() <= 2)
        for (int k : std::as_const(cells))
            leave(k);
    else
        leave(pressed);
    lblTitle->hide();
    m_owner->showInfo(tr("似ていない画像として記録しました"));
}

void frmSam::showNotAlikePairs()
{
    if (!showingResults())
        return;
    NotAlikeDialog dialog(m_owner->samCatalogue(), this);
    dialog.exec();
}
