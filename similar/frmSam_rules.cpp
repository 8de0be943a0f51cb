// The "選択" menu: after a comparison run, a rule chooses in every group the picture to
// keep and makes all the others of the group the main list's selection, which the grid
// then marks. The pictures' facts are read on the thread pool, each file once while the
// window lives (again only when it changed); meanwhile the window shows the busy pointer
// and starts nothing, and the main window is held.

#include "frmSam.h"

#include "frmCompare.h"
#include "samgrid.h"
#include "samowner.h"

#include <protectedfoldersdialog.h>

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>

#include <iterator>
#include <optional>
#include <utility>

namespace {
struct RuleItem
{
    const char *caption; // "-" is a separator
    std::optional<KeepRule> rule;
};

const RuleItem RuleItems[] = {
    {QT_TRANSLATE_NOOP("frmSam", "画質の良い画像を残す(&Q)"), KeepRule::Best},
    {QT_TRANSLATE_NOOP("frmSam", "画素数の多い画像を残す(&P)"), KeepRule::Pixels},
    {QT_TRANSLATE_NOOP("frmSam", "ファイルサイズの大きい画像を残す(&S)"), KeepRule::Size},
    {QT_TRANSLATE_NOOP("frmSam", "更新日時の新しい画像を残す(&N)"), KeepRule::Newest},
    {QT_TRANSLATE_NOOP("frmSam", "更新日時の古い画像を残す(&O)"), KeepRule::Oldest},
    {QT_TRANSLATE_NOOP("frmSam", "基準画像を残す(&B)"), KeepRule::Base},
    {"-", std::nullopt},
    {QT_TRANSLATE_NOOP("frmSam", "選択を解除(&C)"), std::nullopt},
    {QT_TRANSLATE_NOOP("frmSam", "保護フォルダ(&F)..."), std::nullopt},
};
constexpr int ClearItem = 7;
constexpr int ProtectItem = 8;
} // namespace

void frmSam::createSelectMenu()
{
    mnuSelect = menuBar()->addMenu(tr("選択(&S)"));
    mnuSelect->setObjectName(QStringLiteral("mnuSelect"));
    for (int i = 0; i < int(std::size(RuleItems)); ++i) {
        auto *item = new QAction(this);
        item->setObjectName(QStringLiteral("mnuS%1").arg(i));
        if (qstrcmp(RuleItems[i].caption, "-") == 0) {
            item->setSeparator(true);
        } else {
            item->setText(tr(RuleItems[i].caption));
            connect(item, &QAction::triggered, this, [this, i] { mnuSClick(i); });
        }
        mnuSelect->addAction(item);
        mnuS.append(item);
    }
    connect(mnuSelect, &QMenu::aboutToShow, this, &frmSam::updateMenu);
}

bool frmSam::rulesAvailable() const
{
    // Only a comparison run has groups to choose in.
    return m_shown == SamRun::Comparison && showingResults();
}

void frmSam::mnuSClick(int index)
{
    if (!rulesAvailable() || index < 0 || index >= int(std::size(RuleItems)))
        return;
    if (index == ProtectItem) {
        editProtectedFolders();
        return;
    }
    // Never inside a command of the main window's, whose loop would see its list change.
    if (m_owner->ownerBusy())
        return;
    if (index == ClearItem)
        lblStatus->setText(m_owner->selectPictures(QStringList()));
    else if (RuleItems[index].rule)
        applyRule(*RuleItems[index].rule);
}

void frmSam::applyRule(KeepRule rule)
{
    // The run's groups; pictures deleted since then are no longer part of them.
    m_ruleGroups.clear();
    for (const PictureGroup &group : m_groups) {
        if (!group.base.isEmpty() || !group.members.isEmpty())
            m_ruleGroups.push_back(group);
    }

    m_rule = rule;
    m_reading = true;
    m_owner->holdCommands(true);
    setBusy(true);
    updateMenu();
    m_facts.setFuture(m_work.mapped(groupPictures(m_ruleGroups), [cache = m_factsCache](const QString &picture) {
        return cache->facts(picture);
    }));
}

void frmSam::factsRead()
{
    if (!m_reading || m_facts.isCanceled())
        return;
    m_factsCache->flush();
    // Planned on the pool: a hundred thousand groups take longer than input may wait.
    m_plan.setFuture(m_work.run([groups = std::exchange(m_ruleGroups, {}), read = m_facts.future(),
                                 rules = std::vector<KeepRule>{m_rule},
                                 protect = ProtectedFolders(m_owner->protectedFolders()),
                                 find = m_owner->selectionFinder()] {
        QStringList drop;
        for (const GroupPlan &plan : planGroups(groups, read.results(), rules, protect))
            drop += plan.drop;
        return find(drop);
    }));
}

void frmSam::planMade()
{
    if (!m_reading || m_plan.isCanceled())
        return;
    lblStatus->setText(m_owner->selectPictures(m_plan.result()));
    // The rule ends when its marks are on the grid: acted on before, they would be wrong.
    if (picList->isFollowing())
        m_ruleMarking = true;
    else
        endReading();
}

void frmSam::marksFollowed()
{
    if (frmCompare *compare = frmCompare::loaded())
        compare->followMarks();
    if (m_ruleMarking)
        endReading();
}

void frmSam::endReading()
{
    m_reading = false;
    m_ruleMarking = false;
    setBusy(false);
    updateMenu();
    // Last: a close of the main window that waited for the rule goes on from here.
    m_owner->holdCommands(false);
}

void frmSam::editProtectedFolders()
{
    QStringList folders = m_owner->protectedFolders();
    if (ProtectedFoldersDialog::edit(this, folders))
        m_owner->setProtectedFolders(folders);
}
