// The catalogue list: its rows and their keys, sorting, selection, the viewer on click,
// the context menu and drops.

#include "frmLumo.h"

#include "cataloguelistmodel.h"

#include "outside/pathsplitter.h"

#include "files/folderscan.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QSlider>
#include <QTreeView>
#include <QUrl>

#include <algorithm>

namespace {
constexpr int KeyRole = CatalogueListModel::KeyRole;

const int ColumnTwips[] = {2540, 5292, 3528, 2540};
} // namespace

namespace {
// The list's view. A selection of many ranges repaints the rows in view, not the region
// of each range: working out a hundred thousand ranges' rectangles kept input waiting
// when a rule selected them.
class CatalogueView : public QTreeView
{
public:
    using QTreeView::QTreeView;

protected:
    QRegion visualRegionForSelection(const QItemSelection &selection) const override
    {
        constexpr qsizetype RangesWorkedOut = 256;
        if (selection.size() > RangesWorkedOut)
            return QRegion(viewport()->rect());
        return QTreeView::visualRegionForSelection(selection);
    }
};
} // namespace

void frmLumo::createList()
{
    lsvJpeg = new CatalogueView(centralWidget());
    lsvJpeg->setObjectName(QStringLiteral("lsvJpeg"));
    m_list = new CatalogueListModel(lsvJpeg);
    m_list->setIcons(m_iconPresent, m_iconMissing);
    m_list->setHeaders({tr("ファイル名"), tr("パス"),
                        tr("更新日時"), tr("サイズ")});
    lsvJpeg->setModel(m_list);
    lsvJpeg->setRootIsDecorated(false);
    lsvJpeg->setItemsExpandable(false);
    // Every row has the same height, so adding thousands of rows costs no re-measuring,
    // and only the rows on screen are asked for their cells.
    lsvJpeg->setUniformRowHeights(true);
    lsvJpeg->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lsvJpeg->setSelectionBehavior(QAbstractItemView::SelectRows);
    lsvJpeg->setAllColumnsShowFocus(true);
    lsvJpeg->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lsvJpeg->setIconSize(QSize(16, 16));
    // Rows stay in the order they were added; a column click sorts them once.
    lsvJpeg->setSortingEnabled(false);
    lsvJpeg->setContextMenuPolicy(Qt::CustomContextMenu);
    // Rows are never dragged; dropped files are taken by our own handler (eventFilter).
    lsvJpeg->setDragDropMode(QAbstractItemView::NoDragDrop);
    lsvJpeg->setAcceptDrops(true);
    lsvJpeg->viewport()->setAcceptDrops(true);

    QHeaderView *header = lsvJpeg->header();
    header->setStretchLastSection(false);
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(false);
    for (int column = 0; column < 4; ++column)
        header->resizeSection(column, twipsX(ColumnTwips[column]));

    connect(header, &QHeaderView::sectionClicked, this, &frmLumo::lsvJpegColumnClick);
    connect(lsvJpeg, &QAbstractItemView::clicked, this, [this] { lsvJpegItemClick(); });
    connect(lsvJpeg, &QWidget::customContextMenuRequested, this, &frmLumo::lsvJpegContextMenu);
    connect(lsvJpeg->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &frmLumo::lsvJpegSelectionChanged);
    lsvJpeg->viewport()->installEventFilter(this);
}

bool frmLumo::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == sldLike && event->type() == QEvent::FocusIn) {
        setInfo(tr("類似レベルが小さい程厳しい条件になります"));
        return false;
    }
    if (lsvJpeg && watched == lsvJpeg->viewport()) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            lsvJpegMouseDown(static_cast<QMouseEvent *>(event)->button());
            break;
        case QEvent::MouseButtonDblClick:
            // The view sees the click first, so the row under the mouse is selected now.
            lsvJpegDblClick();
            break;
        case QEvent::DragEnter:
        case QEvent::DragMove:
            static_cast<QDropEvent *>(event)->acceptProposedAction();
            return true;
        case QEvent::Drop: {
            auto *drop = static_cast<QDropEvent *>(event);
            drop->acceptProposedAction();
            lsvJpegOLEDragDrop(drop->mimeData());
            return true;
        }
        default:
            break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

int frmLumo::findRow(const QString &key) const
{
    return m_list->findRow(key);
}

int frmLumo::addRow(const QString &key, bool present)
{
    return m_list->addRow(key, present);
}

void frmLumo::removeRow(int row)
{
    m_list->removeRow(row);
}

void frmLumo::clearRows()
{
    m_list->clearRows();
}

int frmLumo::rowCount() const
{
    return m_list->rowCount();
}

QString frmLumo::rowKey(int row) const
{
    return m_list->rowKey(row);
}

void frmLumo::fillRowFromDisk(int row)
{
    m_list->fillRowFromDisk(row);
}

void frmLumo::lsvJpegColumnClick(int column)
{
    // The direction belongs to the list, not to the column.
    m_sortOrder = m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    lsvJpeg->header()->setSortIndicatorShown(true);
    lsvJpeg->header()->setSortIndicator(column, m_sortOrder);
    m_list->sortRows(column, m_sortOrder);
}

void frmLumo::SyncJpegList(const QString &o_FileName, bool o_Multi)
{
    const int row = findRow(o_FileName);
    if (row < 0)
        return;
    const QItemSelectionModel::SelectionFlags how =
        (o_Multi ? QItemSelectionModel::Select : QItemSelectionModel::ClearAndSelect)
        | QItemSelectionModel::Rows;
    const QModelIndex index = m_list->index(row, 0);
    lsvJpeg->selectionModel()->setCurrentIndex(index, how);
    lsvJpeg->scrollTo(index);
}

std::vector<int> frmLumo::selectedRowNumbers() const
{
    // Read from the selection's ranges (whole rows): asking row by row, as selectedRows()
    // does, costs every range for every row.
    std::vector<int> rows;
    const QItemSelection selection = lsvJpeg->selectionModel()->selection();
    for (const QItemSelectionRange &range : selection) {
        for (int r = range.top(); r <= range.bottom() && r < rowCount(); ++r)
            rows.push_back(r);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

QStringList frmLumo::selectedPaths() const
{
    QStringList paths;
    const std::vector<int> rows = selectedRowNumbers();
    paths.reserve(qsizetype(rows.size()));
    for (int r : rows)
        paths.append(rowKey(r));
    return paths;
}

void frmLumo::watchSelection(SelectionWatcher watcher)
{
    m_selectionWatcher = std::move(watcher);
}

void frmLumo::lsvJpegSelectionChanged(const QItemSelection &selected, const QItemSelection &deselected)
{
    updateLikeSelected();
    if (!m_selectionWatcher)
        return;
    // Only the rows that changed, range by range: selecting thousands of rows at once
    // costs those rows, not a walk of the list.
    const auto keys = [this](const QItemSelection &ranges) {
        QStringList paths;
        qsizetype rows = 0;
        for (const QItemSelectionRange &range : ranges)
            rows += range.height();
        paths.reserve(rows);
        for (const QItemSelectionRange &range : ranges) {
            if (range.parent().isValid())
                continue;
            for (int r = range.top(); r <= range.bottom() && r < rowCount(); ++r)
                paths.append(rowKey(r));
        }
        return paths;
    };
    m_selectionWatcher(keys(selected), keys(deselected));
}

namespace {
// The rows of the listed paths, ascending and each once.
std::vector<int> rowsOf(const QHash<QString, int> &positions, const QStringList &paths)
{
    std::vector<int> rows;
    rows.reserve(size_t(paths.size()));
    for (const QString &path : paths) {
        if (const auto row = positions.constFind(path); row != positions.cend())
            rows.push_back(*row);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}
} // namespace

QString frmLumo::selectPictures(const QStringList &paths)
{
    QModelIndex first;
    const int count = selectRows(paths, &first);
    return toldSelected(count, first);
}

SamOwner::SelectionFinder frmLumo::selectionFinder() const
{
    return [positions = m_list->keyPositions(), version = m_list->version()](const QStringList &paths) {
        return PreparedSelection{paths, rowsOf(positions, paths), version};
    };
}

QString frmLumo::selectPictures(const PreparedSelection &selection)
{
    QModelIndex first;
    const int count = selection.version == m_list->version()
        ? selectRowNumbers(selection.rows, &first)
        : selectRows(selection.paths, &first);
    return toldSelected(count, first);
}

QString frmLumo::toldSelected(int count, const QModelIndex &first)
{
    if (first.isValid()) {
        lsvJpeg->selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
        lsvJpeg->scrollTo(first);
    }
    const QString told = tr("%n個の画像を選択しました", nullptr, count);
    setInfo(told);
    return told;
}

int frmLumo::selectRows(const QStringList &paths, QModelIndex *first)
{
    // The rows by the list's index of keys, not by a walk of the list: a rule marks a
    // tenth of a million rows, and walking all of them kept input waiting.
    return selectRowNumbers(paths.isEmpty() ? std::vector<int>() : rowsOf(m_list->keyPositions(), paths), first);
}

int frmLumo::selectRowNumbers(const std::vector<int> &rows, QModelIndex *first)
{
    // Neighbouring rows as one range: the selection model compares ranges with ranges.
    QItemSelection selection;
    qsizetype runs = 0;
    for (size_t i = 0; i < rows.size(); ++i)
        runs += i == 0 || rows[i] != rows[i - 1] + 1;
    selection.reserve(runs);
    const int columns = m_list->columnCount();
    QAbstractItemModel *model = m_list;
    for (size_t i = 0; i < rows.size();) {
        size_t last = i;
        while (last + 1 < rows.size() && rows[last + 1] == rows[last] + 1)
            ++last;
        selection.append(QItemSelectionRange(model->index(rows[i], 0), model->index(rows[last], columns - 1)));
        i = last + 1;
    }
    if (first && !rows.empty())
        *first = model->index(rows.front(), 0);
    QItemSelectionModel *selectionModel = lsvJpeg->selectionModel();
    // Cleared first, so the new ranges are not compared with the old ones.
    selectionModel->clearSelection();
    if (!selection.isEmpty())
        selectionModel->select(selection, QItemSelectionModel::Select);
    return int(rows.size());
}

void frmLumo::lsvJpegDblClick()
{
    const QItemSelectionModel *selection = lsvJpeg->selectionModel();
    if (!selection->hasSelection())
        return;
    QModelIndex row = lsvJpeg->currentIndex();
    if (!row.isValid() || !selection->isRowSelected(row.row()))
        row = selection->selectedRows().value(0);
    if (!row.isValid())
        return;
    showViewer(rowKey(row.row()));
    // The user goes on moving through the list while the viewer follows.
    activateWindow();
}

void frmLumo::lsvJpegItemClick()
{
    if (viewerVisible())
        lsvJpegDblClick();
}

void frmLumo::lsvJpegMouseDown(Qt::MouseButton)
{
    UpdateCommands();
}

void frmLumo::lsvJpegContextMenu(const QPoint &pos)
{
    // The list menu without its last separator and "最適化".
    mnuL[4]->setVisible(false);
    mnuL[5]->setVisible(false);
    mnuList->exec(lsvJpeg->viewport()->mapToGlobal(pos));
    mnuL[4]->setVisible(true);
    mnuL[5]->setVisible(true);
}

void frmLumo::lsvJpegOLEDragDrop(const QMimeData *data)
{
    // A drop is a command too: never inside another one's loop.
    if (commandOnStack())
        return;
    beginFrame(Frame::Drop);
    qsizetype unreadable = 0;
    if (data && data->hasUrls()) {
        QStringList paths;
        const QList<QUrl> urls = data->urls();
        for (const QUrl &url : urls) {
            if (!url.isLocalFile())
                continue;
            // A name that is not UTF-8 comes out of the URL with U+FFFD in its place: the
            // name of another file, or of none. Such files are counted, as the folder add does.
            const QString path = url.toLocalFile();
            if (isValidUtf8(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1())))
                paths.append(path);
            else if (hasPictureExtension(path))
                ++unreadable;
        }
        addDroppedFiles(paths);
    }
    endFrame(Frame::Drop);
    if (unreadable > 0)
        tellUnreadableNames(unreadable);
}

void frmLumo::tellUnreadableNames(qsizetype count)
{
    tellUser(tr("ファイル名を読めないため追加できなかったファイル: %n個", nullptr, int(count)),
             DialogService::OkExclamation);
}
