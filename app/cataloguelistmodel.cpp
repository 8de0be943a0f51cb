#include "cataloguelistmodel.h"

#include "outside/pathsplitter.h"

#include <QFile>

#include <sys/stat.h>

#include <algorithm>
#include <numeric>

namespace {
const QString NoneText = QStringLiteral("(None)");

// Unwritten cells come first, as empty texts would: the order the list always gave them.
template <typename T>
int compareWritten(bool leftWritten, bool rightWritten, const T &compare)
{
    if (leftWritten != rightWritten)
        return leftWritten ? 1 : -1;
    return leftWritten ? compare() : 0;
}
} // namespace

CatalogueListModel::FileFacts CatalogueListModel::readFile(const QString &path)
{
    // One stat, and the time kept in UTC: a local time costs the C library a look at the
    // time-zone file for every conversion, which doubled the reads of a million rows.
    FileFacts facts;
    struct stat status;
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return facts;
    facts.exists = true;
    facts.isFile = S_ISREG(status.st_mode);
    facts.modified = QDateTime::fromMSecsSinceEpoch(
        qint64(status.st_mtim.tv_sec) * 1000 + status.st_mtim.tv_nsec / 1'000'000, Qt::UTC);
    facts.size = status.st_size;
    return facts;
}

CatalogueListModel::CatalogueListModel(QObject *parent, FileReader reader)
    : QAbstractTableModel(parent), m_reader(std::move(reader))
{
    // By what the views hear, so that no way of changing the rows is missed.
    const auto changed = [this] { ++m_version; };
    connect(this, &QAbstractItemModel::rowsInserted, this, changed);
    connect(this, &QAbstractItemModel::rowsRemoved, this, changed);
    connect(this, &QAbstractItemModel::rowsMoved, this, changed);
    connect(this, &QAbstractItemModel::layoutChanged, this, changed);
    connect(this, &QAbstractItemModel::modelReset, this, changed);
}

void CatalogueListModel::setIcons(const QIcon &present, const QIcon &missing)
{
    m_iconPresent = present;
    m_iconMissing = missing;
}

void CatalogueListModel::setHeaders(const QStringList &headers)
{
    m_headers = headers;
    emit headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
}

QString CatalogueListModel::sizeText(qint64 size)
{
    // Right-aligned to a fixed width, so a plain text sort orders by size.
    return QString::number(size).rightJustified(SizeWidth, QLatin1Char(' '));
}

void CatalogueListModel::indexKeys() const
{
    if (!m_positionsStale)
        return;
    m_positions.clear();
    m_positions.reserve(qsizetype(m_rows.size()));
    for (size_t i = 0; i < m_rows.size(); ++i)
        m_positions.insert(m_rows[i].key, int(i));
    m_positionsStale = false;
}

int CatalogueListModel::findRow(const QString &key) const
{
    indexKeys();
    return m_positions.value(key, -1);
}

QHash<QString, int> CatalogueListModel::keyPositions() const
{
    indexKeys();
    return m_positions; // shared, not copied: this model detaches when it changes it
}

CatalogueListModel::Row CatalogueListModel::makeRow(const QString &key, bool present, bool unread)
{
    Row row;
    row.key = key;
    row.nameStart = qint32(key.size() - PathSplitter::FileNamePart(key).size());
    row.folderLength = qint32(PathSplitter::FolderPart(key).size());
    row.missing = !present;
    row.unread = unread;
    return row;
}

int CatalogueListModel::appendRow(const QString &key, bool present, bool unread)
{
    const int position = rowCount();
    beginInsertRows(QModelIndex(), position, position);
    m_rows.push_back(makeRow(key, present, unread));
    if (!m_positionsStale)
        m_positions.insert(key, position);
    endInsertRows();
    return position;
}

int CatalogueListModel::addRow(const QString &key, bool present)
{
    return appendRow(key, present, false);
}

int CatalogueListModel::addUnreadRow(const QString &key)
{
    return appendRow(key, true, true);
}

int CatalogueListModel::addUnreadRows(const QStringList &keys)
{
    // One insertion for the lot: a shown view lays out all its rows again after each one.
    indexKeys();
    const int first = rowCount();
    std::vector<Row> fresh;
    for (const QString &key : keys) {
        if (m_positions.contains(key))
            continue;
        m_positions.insert(key, first + int(fresh.size()));
        fresh.push_back(makeRow(key, true, true));
    }
    if (fresh.empty())
        return 0;
    beginInsertRows(QModelIndex(), first, first + int(fresh.size()) - 1);
    m_rows.insert(m_rows.end(), std::make_move_iterator(fresh.begin()), std::make_move_iterator(fresh.end()));
    endInsertRows();
    return int(fresh.size());
}

void CatalogueListModel::reserveRows(int rows)
{
    m_rows.reserve(size_t(std::max(rows, 0)));
    m_positions.reserve(rows);
}

void CatalogueListModel::removeRow(int row)
{
    removeRows({row});
}

void CatalogueListModel::removeRows(QList<int> rows)
{
    std::sort(rows.begin(), rows.end());
    qsizetype runs = 0;
    for (qsizetype i = 0; i < rows.size(); ++i)
        runs += i == 0 || rows[i - 1] != rows[i] - 1;
    if (runs > RemovedRunsOneByOne) {
        removeScatteredRows(rows);
        return;
    }
    // From the last run up, so the positions of the runs still to go hold.
    qsizetype end = rows.size();
    while (end > 0) {
        qsizetype begin = end - 1;
        while (begin > 0 && rows[begin - 1] == rows[begin] - 1)
            --begin;
        const int first = rows[begin];
        const int last = rows[end - 1];
        beginRemoveRows(QModelIndex(), first, last);
        const bool atEnd = size_t(last) + 1 == m_rows.size();
        if (atEnd && !m_positionsStale) {
            for (int r = first; r <= last; ++r)
                m_positions.remove(m_rows[size_t(r)].key);
        } else {
            m_positionsStale = true;
        }
        m_rows.erase(m_rows.begin() + first, m_rows.begin() + last + 1);
        endRemoveRows();
        end = begin;
    }
}

void CatalogueListModel::removeScatteredRows(const QList<int> &sortedRows)
{
    // Run by run, every run would shift the rows after it and have the views and the
    // persistent indexes follow: the whole list once per run. In one pass instead, as a
    // change of layout whose removed rows' persistent indexes become invalid.
    emit layoutAboutToBeChanged();
    std::vector<int> newPosition(m_rows.size(), -1);
    size_t kept = 0;
    qsizetype next = 0;
    for (size_t r = 0; r < m_rows.size(); ++r) {
        if (next < sortedRows.size() && size_t(sortedRows[next]) == r) {
            ++next;
            continue;
        }
        newPosition[r] = int(kept);
        if (kept != r)
            m_rows[kept] = std::move(m_rows[r]);
        ++kept;
    }
    m_rows.resize(kept);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &index : before) {
        const int row = newPosition[size_t(index.row())];
        after.append(row < 0 ? QModelIndex() : this->index(row, index.column()));
    }
    changePersistentIndexList(before, after);
    m_positionsStale = true;
    emit layoutChanged();
}

void CatalogueListModel::clearRows()
{
    beginResetModel();
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_positions.clear();
    m_positionsStale = false;
    endResetModel();
}

void CatalogueListModel::readRow(Row &row) const
{
    applyRead(row, m_reader(row.key));
}

void CatalogueListModel::applyRead(Row &row, const FileFacts &file) const
{
    // What opening a catalogue writes: a file no longer found is marked and shows "(None)".
    row.unread = false;
    if (file.isFile) {
        row.missing = false;
        row.folder = Folder::Part;
        setDate(row, file.modified);
        row.size = file.size;
    } else {
        row.missing = true;
        row.folder = Folder::None;
        row.modified = QDateTime();
        row.date = NoneText;
        row.size = 0;
    }
}

void CatalogueListModel::readUnreadRows()
{
    std::vector<int> unread;
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].unread)
            unread.push_back(int(i));
    }
    // A million files take seconds to ask one after another; the disk answers several at once.
    std::vector<FileFacts> facts(unread.size());
    std::vector<int> places(unread.size());
    std::iota(places.begin(), places.end(), 0);
    m_readers.blockingMap(places, [this, &unread, &facts](int place) {
        facts[size_t(place)] = m_reader(m_rows[size_t(unread[size_t(place)])].key);
    });
    for (size_t place = 0; place < unread.size(); ++place)
        applyRead(m_rows[size_t(unread[place])], facts[place]);
}

void CatalogueListModel::fillRowFromDisk(int position)
{
    Row &row = m_rows[size_t(position)];
    if (row.unread)
        readRow(row);
    row.folder = Folder::Part;
    const FileFacts file = m_reader(row.key);
    if (file.exists) {
        setDate(row, file.modified);
        row.size = file.size;
    }
    emit dataChanged(index(position, 0), index(position, ColumnCount - 1));
}

void CatalogueListModel::setDate(Row &row, const QDateTime &modified) const
{
    if (!modified.isValid())
        return;
    row.date = QString();
    row.modified = modified;
}

const QString &CatalogueListModel::dateText(Row &row) const
{
    if (row.date.isNull() && row.modified.isValid()) {
        row.date = m_locale.toString(row.modified.toLocalTime(), QLocale::ShortFormat);
        row.modified = QDateTime();
    }
    return row.date;
}

QString CatalogueListModel::folderText(const Row &row) const
{
    switch (row.folder) {
    case Folder::Part:
        return row.key.left(row.folderLength);
    case Folder::None:
        return NoneText;
    case Folder::Unset:
        break;
    }
    return QString();
}

int CatalogueListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : rowCount();
}

int CatalogueListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CatalogueListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return QVariant();
    Row &row = m_rows[size_t(index.row())];
    const int column = index.column();
    if (role == KeyRole)
        return column == NameColumn ? QVariant(row.key) : QVariant();
    if (role == Qt::TextAlignmentRole)
        return column == SizeColumn ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    const bool fromDisk = (role == Qt::DecorationRole && column == NameColumn)
                          || (role == Qt::DisplayRole && column != NameColumn);
    if (!fromDisk && role != Qt::DisplayRole)
        return QVariant();
    if (fromDisk && row.unread)
        readRow(row);
    switch (column) {
    case NameColumn:
        if (role == Qt::DecorationRole)
            return row.missing ? m_iconMissing : m_iconPresent;
        return QStringView(row.key).mid(row.nameStart).toString();
    case FolderColumn:
        return row.folder == Folder::Unset ? QVariant() : QVariant(folderText(row));
    case DateColumn:
        return dateWritten(row) ? QVariant(dateText(row)) : QVariant();
    case SizeColumn:
        return row.size < 0 ? QVariant() : QVariant(sizeText(row.size));
    default:
        return QVariant();
    }
}

QVariant CatalogueListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return QVariant();
    if (role == Qt::DisplayRole)
        return m_headers.value(section);
    if (role == Qt::TextAlignmentRole && section == SizeColumn)
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    return QVariant();
}

void CatalogueListModel::sortRows(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= ColumnCount)
        return;
    // The order of a column that comes from the disk needs every row's file read.
    if (column != NameColumn)
        readUnreadRows();
    if (column == DateColumn) {
        for (Row &row : m_rows)
            dateText(row);
    }
    const auto compare = [column](const Row &l, const Row &r) -> int {
        switch (column) {
        case NameColumn:
            return QStringView(l.key).mid(l.nameStart).compare(QStringView(r.key).mid(r.nameStart));
        case FolderColumn:
            return compareWritten(l.folder != Folder::Unset, r.folder != Folder::Unset, [&] {
                // "(None)" against a folder compares as its text would.
                const QStringView a = l.folder == Folder::None ? QStringView(NoneText)
                                                               : QStringView(l.key).left(l.folderLength);
                const QStringView b = r.folder == Folder::None ? QStringView(NoneText)
                                                               : QStringView(r.key).left(r.folderLength);
                return a.compare(b);
            });
        case DateColumn:
            return compareWritten(!l.date.isNull(), !r.date.isNull(),
                                  [&] { return l.date.compare(r.date); });
        default:
            // Sizes below 10^13 bytes: the padded texts compare as the numbers do.
            return compareWritten(l.size >= 0, r.size >= 0,
                                  [&] { return l.size < r.size ? -1 : (l.size > r.size ? 1 : 0); });
        }
    };
    std::vector<int> order_(m_rows.size());
    std::iota(order_.begin(), order_.end(), 0);
    if (order == Qt::AscendingOrder)
        std::stable_sort(order_.begin(), order_.end(),
                         [&](int a, int b) { return compare(m_rows[size_t(a)], m_rows[size_t(b)]) < 0; });
    else
        std::stable_sort(order_.begin(), order_.end(),
                         [&](int a, int b) { return compare(m_rows[size_t(b)], m_rows[size_t(a)]) < 0; });

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newPosition(m_rows.size());
    std::vector<Row> sorted;
    sorted.reserve(m_rows.size());
    for (size_t i = 0; i < order_.size(); ++i) {
        newPosition[size_t(order_[i])] = int(i);
        sorted.push_back(std::move(m_rows[size_t(order_[i])]));
    }
    m_rows = std::move(sorted);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &index : before)
        after.append(this->index(newPosition[size_t(index.row())], index.column()));
    changePersistentIndexList(before, after);
    m_positionsStale = true;
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
