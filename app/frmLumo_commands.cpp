// Menus, tool bar and the command frame: which commands are available, what each runs,
// and the running flag that Esc clears.

#include "frmLumo.h"

#include "lumoicons.h"
#include "outside/filefind.h"
#include "outside/uilanguage.h"

#include "catalogue/sigbox.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QLayout>
#include <QToolButton>
#include <QTreeView>

namespace {
struct Item
{
    const char *caption; // "-" is a separator
    QKeySequence shortcut;
};

struct Button
{
    const char *key;
    const char *caption;
    char menu; // 'F', 'L' or 'J'
    int index;
};

// In the order a click is matched against.
const Button Buttons[] = {
    {"New", QT_TRANSLATE_NOOP("frmLumo", "新規"), 'F', 0},
    {"Open", QT_TRANSLATE_NOOP("frmLumo", "開く"), 'F', 1},
    {"Save", QT_TRANSLATE_NOOP("frmLumo", "保存"), 'F', 3},
    {"Folder", QT_TRANSLATE_NOOP("frmLumo", "フォルダ"), 'L', 0},
    {"Add", QT_TRANSLATE_NOOP("frmLumo", "追加"), 'L', 2},
    {"Del", QT_TRANSLATE_NOOP("frmLumo", "削除"), 'L', 3},
    {"View", QT_TRANSLATE_NOOP("frmLumo", "表示"), 'J', 0},
    {"Like", QT_TRANSLATE_NOOP("frmLumo", "類似"), 'J', 2},
    {"List", QT_TRANSLATE_NOOP("frmLumo", "一覧"), 'J', 3},
};
} // namespace

void frmLumo::createMenus()
{
    auto build = [this](const QString &name, const QString &caption, const QString &prefix,
                        const QList<Item> &items, void (frmLumo::*handler)(int),
                        QList<QAction *> &actions) {
        QMenu *menu = menuBar()->addMenu(caption);
        menu->setObjectName(name);
        for (int i = 0; i < items.size(); ++i) {
            const bool separator = qstrcmp(items[i].caption, "-") == 0;
            // A separator keeps its place in the item array but shows no text (some styles
            // would draw "-" as a section title).
            auto *action = new QAction(separator ? QString() : tr(items[i].caption), menu);
            action->setObjectName(prefix + QString::number(i));
            if (separator) {
                action->setSeparator(true);
            } else {
                action->setShortcut(items[i].shortcut);
                connect(action, &QAction::triggered, this, [this, handler, i] { (this->*handler)(i); });
            }
            menu->addAction(action);
            actions.append(action);
        }
        return menu;
    };

    mnuFile = build(QStringLiteral("mnuFile"), tr("ファイル(&F)"), QStringLiteral("mnuF"),
                    {{QT_TR_NOOP("新規(&N)"), QKeySequence(Qt::CTRL | Qt::Key_N)},
                     {QT_TR_NOOP("開く(&O)"), QKeySequence(Qt::CTRL | Qt::Key_O)},
                     {"-", {}},
                     {QT_TR_NOOP("保存(&S)"), QKeySequence(Qt::CTRL | Qt::Key_S)},
                     {"-", {}},
                     {QT_TR_NOOP("設定"), {}},
                     {"-", {}},
                     {QT_TR_NOOP("終了(&Q)"), QKeySequence(Qt::CTRL | Qt::Key_Q)}},
                    &frmLumo::mnuFClick, mnuF);
    mnuList = build(QStringLiteral("mnuList"), tr("一覧(&L)"), QStringLiteral("mnuL"),
                    {{QT_TR_NOOP("フォルダごと追加"), {}},
                     {"-", {}},
                     {QT_TR_NOOP("追加(&A)"), QKeySequence(Qt::CTRL | Qt::Key_A)},
                     {QT_TR_NOOP("削除(&D)"), QKeySequence(Qt::Key_Delete)},
                     {"-", {}},
                     {QT_TR_NOOP("最適化"), {}}},
                    &frmLumo::mnuLClick, mnuL);
    mnuJpeg = build(QStringLiteral("mnuJpeg"), tr("画像(&J)"), QStringLiteral("mnuJ"),
                    {{QT_TR_NOOP("表示(&V)"), QKeySequence(Qt::CTRL | Qt::Key_V)},
                     {"-", {}},
                     {QT_TR_NOOP("類似検索"), {}},
                     {QT_TR_NOOP("一覧表示"), {}},
                     {"-", {}},
                     {QT_TR_NOOP("回転・反転した画像も探す(&T)"), {}},
                     {QT_TR_NOOP("色の違いを無視する(&G)"), {}},
                     {QT_TR_NOOP("選択した画像に似た画像を探す(&L)"), {}}},
                    &frmLumo::mnuJClick, mnuJ);
    for (int i : {SearchTurnedItem, SearchGreyItem})
        mnuJ[i]->setCheckable(true);
    // Beside the other two searches; its index stays after the check items'.
    mnuJpeg->removeAction(mnuJ[LikeSelectedItem]);
    mnuJpeg->insertAction(mnuJ[4], mnuJ[LikeSelectedItem]);
    mnuHelp = build(QStringLiteral("mnuHelp"), tr("ヘルプ(&H)"), QStringLiteral("mnuH"),
                    {{QT_TR_NOOP("バージョン情報(&A)"), {}}}, &frmLumo::mnuHClick, mnuH);

    // Menu items carry the state of their tool-bar button as of the last time their menu
    // opened; the shortcuts act on those states.
    connect(mnuFile, &QMenu::aboutToShow, this, [this] {
        UpdateCommands();
        copyCommandStates(mnuF, {0, 1, 3}, {QStringLiteral("New"), QStringLiteral("Open"), QStringLiteral("Save")});
    });
    connect(mnuList, &QMenu::aboutToShow, this, [this] {
        UpdateCommands();
        copyCommandStates(mnuL, {0, 2, 3}, {QStringLiteral("Folder"), QStringLiteral("Add"), QStringLiteral("Del")});
    });
    connect(mnuJpeg, &QMenu::aboutToShow, this, [this] {
        UpdateCommands();
        copyCommandStates(mnuJ, {0, 2, 3}, {QStringLiteral("View"), QStringLiteral("Like"), QStringLiteral("List")});
    });
}

void frmLumo::createToolBar()
{
    tldLumo = new QToolBar(clbLumo);
    tldLumo->setObjectName(QStringLiteral("tldLumo"));
    tldLumo->setIconSize(QSize(16, 16));
    tldLumo->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    tldLumo->setMovable(false);
    tldLumo->setFloatable(false);

    for (const Button &button : Buttons) {
        const QString key = QString::fromLatin1(button.key);
        auto *action = new QAction(LumoIcons::imlLumo(key), tr(button.caption), tldLumo);
        action->setObjectName(key);
        action->setToolTip(action->text());
        connect(action, &QAction::triggered, this, [this, key] { tldLumoButtonClick(key); });
        tldLumo->addAction(action);
        m_buttons.insert(key, action);
        if (key == QLatin1String("Save") || key == QLatin1String("Del"))
            tldLumo->addSeparator();
    }

    // Every button as wide as the widest caption, and no wider: the nine buttons must fit
    // the window's first width without hiding behind the overflow arrow.
    QFont captionFont = tldLumo->font();
    captionFont.setPointSizeF(captionFont.pointSizeF() * 0.85);
    tldLumo->setFont(captionFont);
    tldLumo->setStyleSheet(QStringLiteral("QToolButton { padding: 1px; margin: 0px; }"));
    tldLumo->layout()->setSpacing(0);
    tldLumo->setContentsMargins(0, 0, 0, 0);
    const QFontMetrics metrics(captionFont);
    int widest = 0;
    for (const Button &button : Buttons)
        widest = qMax(widest, metrics.horizontalAdvance(tr(button.caption)));
    for (QAction *action : tldLumo->actions()) {
        if (auto *face = qobject_cast<QToolButton *>(tldLumo->widgetForAction(action)))
            face->setFixedWidth(widest + 6);
    }
}

void frmLumo::UpdateCommands()
{
    for (QAction *button : std::as_const(m_buttons))
        button->setEnabled(false);
    for (int i : {SearchTurnedItem, SearchGreyItem})
        mnuJ[i]->setEnabled(!m_running && !commandOnStack());
    updateLikeSelected();
    // Esc clears the flag while a command's loop is still on the stack: its buttons stay
    // off until it has returned.
    if (m_running || commandOnStack())
        return;
    const int n = rowCount();
    m_buttons.value(QStringLiteral("New"))->setEnabled(!catalogueName().isEmpty() || n != 0);
    m_buttons.value(QStringLiteral("Open"))->setEnabled(true);
    m_buttons.value(QStringLiteral("Save"))->setEnabled(m_modified);
    m_buttons.value(QStringLiteral("Folder"))->setEnabled(true);
    m_buttons.value(QStringLiteral("Add"))->setEnabled(true);
    m_buttons.value(QStringLiteral("Del"))->setEnabled(n != 0);
    m_buttons.value(QStringLiteral("View"))->setEnabled(n != 0);
    // A comparison needs at least two pictures.
    m_buttons.value(QStringLiteral("Like"))->setEnabled(n > 1);
    m_buttons.value(QStringLiteral("List"))->setEnabled(n != 0);
}

void frmLumo::updateLikeSelected()
{
    // No button carries its state: it follows the selection, and is off while a command runs.
    if (mnuJ.size() <= LikeSelectedItem)
        return;
    mnuJ[LikeSelectedItem]->setEnabled(!m_running && !commandOnStack() && lsvJpeg->selectionModel()->hasSelection());
}

void frmLumo::copyCommandStates(const QList<QAction *> &items, const QList<int> &indexes,
                                const QStringList &keys)
{
    for (int i = 0; i < indexes.size(); ++i)
        items[indexes[i]]->setEnabled(m_buttons.value(keys[i])->isEnabled());
}

void frmLumo::beginFrame(Frame frame)
{
    // The note belongs to the command before.
    if (++m_frameDepth == 1)
        setNote(QString());
    layoutControls();
    if (frame == Frame::List)
        sbxJpeg->show();
    m_running = true;
    UpdateCommands();
    if (frame == Frame::List)
        sbxJpeg->raise();
    else if (frame == Frame::Drop)
        sbxJpeg->show();
}

void frmLumo::endFrame(Frame frame)
{
    --m_frameDepth;
    m_running = false;
    UpdateCommands();
    if (frame != Frame::Plain) {
        writeFileCountTotal();
        sbxJpeg->hide();
    }
    if (commandOnStack())
        return;
    // Every command has returned: what was chosen meanwhile runs from the event loop,
    // outside the handler that is still on the stack here.
    if (m_optimizePending) {
        m_optimizePending = false;
        QMetaObject::invokeMethod(this, [this] { mnuLClick(5); }, Qt::QueuedConnection);
    }
    if (!m_closePending)
        resumeHandedOver();
    if (m_closePending) {
        m_closePending = false;
        QMetaObject::invokeMethod(this, [this] {
            m_closeOrigin = CloseOrigin::Resumed;
            close();
            resumeHandedOver(); // the close was refused
        }, Qt::QueuedConnection);
    }
}

// While a command runs, the items that have a tool-bar button do nothing however they are
// chosen (shortcut, menu, context menu): run inside that command's loop they would take
// its catalogue away under it. The others ("設定", "終了(&Q)", "最適化") keep their ways.
void frmLumo::mnuFClick(int index)
{
    if (commandOnStack() && index != 5 && index != 7)
        return;
    beginFrame(Frame::Plain);
    switch (index) {
    case 0:
        if (SaveJpegList(true))
            NewJpegList();
        break;
    case 1:
        if (SaveJpegList(true))
            OpenJpegList(QString());
        break;
    case 3:
        SaveJpegList(false);
        break;
    case 5:
        runSettingsCommand();
        break;
    case 7:
        m_closeOrigin = CloseOrigin::QuitCommand;
        close();
        m_closeOrigin = CloseOrigin::User;
        break;
    default:
        break;
    }
    endFrame(Frame::Plain);
}

void frmLumo::mnuLClick(int index)
{
    if (commandOnStack()) {
        if (index == 5) {
            // "最適化" stops the running command and runs once it has returned.
            m_running = false;
            m_optimizePending = true;
        }
        return;
    }
    beginFrame(Frame::List);
    switch (index) {
    case 0:
        addFolder();
        break;
    case 2:
        AddJpegFiles();
        break;
    case 3:
        DeleteJepg();
        break;
    case 5:
        runOptimizeCommand();
        break;
    default:
        break;
    }
    endFrame(Frame::List);
}

void frmLumo::mnuJClick(int index)
{
    // The search options are settings, not commands: they shape the next search only.
    if (index == SearchTurnedItem || index == SearchGreyItem) {
        m_similarRule.turned = mnuJ[SearchTurnedItem]->isChecked();
        m_similarRule.grey = mnuJ[SearchGreyItem]->isChecked();
        return;
    }
    if (commandOnStack())
        return;
    beginFrame(Frame::Plain);
    switch (index) {
    case 0:
        lsvJpegDblClick();
        break;
    case 2:
        setInfo(tr("類似検索中..."));
        showSimilar(1);
        setInfo(tr("類似検索終了"));
        break;
    case 3:
        setInfo(tr("一覧表示中..."));
        showSimilar(0);
        setInfo(tr("一覧表示完了"));
        break;
    case LikeSelectedItem:
        if (!lsvJpeg->selectionModel()->hasSelection())
            break;
        setInfo(tr("類似検索中..."));
        showSimilarToSelected();
        setInfo(tr("類似検索終了"));
        break;
    default:
        break;
    }
    endFrame(Frame::Plain);
}

void frmLumo::mnuHClick(int index)
{
    if (index == 0)
        showAbout();
    UpdateCommands();
    resumeHandedOver(); // what arrived while the box was shown
}

void frmLumo::tldLumoButtonClick(const QString &key)
{
    for (const Button &button : Buttons) {
        if (key != QLatin1String(button.key))
            continue;
        if (button.menu == 'F')
            mnuFClick(button.index);
        else if (button.menu == 'L')
            mnuLClick(button.index);
        else
            mnuJClick(button.index);
        break;
    }
    UpdateCommands();
}

void frmLumo::holdCommands(bool hold)
{
    // As a command of this window: its items do nothing meanwhile, and a close waits for it.
    if (hold == m_held)
        return;
    m_held = hold;
    if (hold)
        beginFrame(Frame::Plain);
    else
        endFrame(Frame::Plain);
}

void frmLumo::cmdCancelClick()
{
    // A stop request: the running command sees it at its next check.
    m_running = false;
}

void frmLumo::runSettingsCommand()
{
    qint16 cols = m_samCols;
    qint32 width = m_samWidth;
    qint32 height = m_samHeight;
    bool allFormats = m_allFormats;
    QString language = m_language;
    if (showSettingsDialog(cols, width, height, allFormats, language)) {
        m_samCols = cols;
        m_samWidth = width;
        m_samHeight = height;
        m_allFormats = allFormats;
        if (language != m_language) {
            // Kept at once: the next start reads it, even if this one does not end well.
            m_language = language;
            m_settings.WriteValue(UiLanguageSetting::Key, m_language);
        }
    }
}
