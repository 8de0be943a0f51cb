#pragma once
// The rows of the catalogue list, one per catalogued picture, kept as plain values so a
// library of a million pictures costs a million small records, not a million objects.
//
// - A row's key is the picture's full path; keys are unique. The name and folder columns
//   are parts of the key and cost nothing.
// - A cell is either written or not. An unwritten cell shows nothing and sorts before every
//   written one in ascending order (after them in descending), as the list always did.
// - A row listed from an opened catalogue has its file read only when something asks for a
//   cell that comes from the disk (its icon, folder, date or size), or when the list is
//   sorted by such a column: opening never touches the disk for every picture.
// - Sorting is stable and compares the shown texts as plain strings; the size column's
//   text is padded to a fixed width, so comparing the numbers gives the same order.

#include "outside/workpool.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QHash>
#include <QIcon>
#include <QLocale>

#include <functional>
#include <vector>

class CatalogueListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { NameColumn, FolderColumn, DateColumn, SizeColumn, ColumnCount };
    // The row's key (its full path) under this role in column 0.
    static constexpr int KeyRole = Qt::UserRole;
    static constexpr int SizeWidth = 13;

    // What the disk says of a file; `exists` false leaves the rest unread.
    struct FileFacts {
        bool exists = false;
        bool isFile = false;
        QDateTime modified;
        qint64 size = 0;
    };
    // Called from several threads at once when a sort reads many rows.
    using FileReader = std::function<FileFacts(const QString &path)>;
    static FileFacts readFile(const QString &path);

    explicit CatalogueListModel(QObject *parent = nullptr, FileReader reader = &readFile);

    void setIcons(const QIcon &present, const QIcon &missing);
    void setHeaders(const QStringList &headers);

    // -1 when no row has the key.
    int findRow(const QString &key) const;
    // Every key's row, as a copy that another thread may read while this model goes on.
    QHash<QString, int> keyPositions() const;
    // Changes whenever a row comes, goes or moves: rows found before are then stale.
    quint64 version() const { return m_version; }
    // A row with the name cell written and the given icon; nothing read from the disk.
    int addRow(const QString &key, bool present);
    // A row from an opened catalogue: its icon and other cells come from the disk when asked.
    int addUnreadRow(const QString &key);
    // Rows from an opened catalogue in one insertion; keys already listed (or repeated) are
    // left out. How many rows it added.
    int addUnreadRows(const QStringList &keys);
    // Room for `rows` in all, so that growing to them never copies or rehashes a large list
    // in one step.
    void reserveRows(int rows);
    void removeRow(int row);
    // These rows (any order, no repeats) in as few steps as their runs allow; rows in more
    // than RemovedRunsOneByOne runs in one pass, as a change of layout.
    void removeRows(QList<int> rows);
    static constexpr qsizetype RemovedRunsOneByOne = 16;
    void clearRows();
    int rowCount() const { return int(m_rows.size()); }
    QString rowKey(int row) const { return m_rows[size_t(row)].key; }
    // The folder written, and the date and size when the file is still there: a vanished
    // file keeps what it showed.
    void fillRowFromDisk(int row);
    // Sorts once by the texts of the column; the selection follows its rows.
    void sortRows(int column, Qt::SortOrder order);

    static QString sizeText(qint64 size);

    int rowCount(const QModelIndex &parent) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    enum class Folder : quint8 { Unset, Part, None };
    struct Row {
        QString key;
        QString date;       // null: not written, unless `modified` waits to be shown
        QDateTime modified; // read but not yet written as text: formatting a million dates
                            // would cost more than reading them
        qint64 size = -1;   // negative: not written
        qint32 nameStart = 0;
        qint32 folderLength = 0;
        Folder folder = Folder::Unset;
        bool missing = false; // the missing-file icon
        bool unread = false;  // listed from a catalogue, the disk not asked yet
    };
    static Row makeRow(const QString &key, bool present, bool unread);
    int appendRow(const QString &key, bool present, bool unread);
    void removeScatteredRows(const QList<int> &sortedRows);
    void readRow(Row &row) const;
    void applyRead(Row &row, const FileFacts &file) const;
    void readUnreadRows();
    void setDate(Row &row, const QDateTime &modified) const;
    const QString &dateText(Row &row) const;
    static bool dateWritten(const Row &row) { return !row.date.isNull() || row.modified.isValid(); }
    void indexKeys() const;
    QString folderText(const Row &row) const;

    mutable std::vector<Row> m_rows;
    // key -> position, rebuilt after a sort or a removal that moves rows.
    mutable QHash<QString, int> m_positions;
    mutable bool m_positionsStale = false;
    quint64 m_version = 0;
    FileReader m_reader; // called from several threads at once when a sort reads the disk
    WorkPool m_readers;
    QLocale m_locale = QLocale::system();
    QIcon m_iconPresent;
    QIcon m_iconMissing;
    QStringList m_headers;
};
