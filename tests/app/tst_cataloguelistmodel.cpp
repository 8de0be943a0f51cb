// The catalogue list's rows: the order a column click gives, compared with the order the
// list widget gave the same cells; the selection through sorts and removals; and the file
// of a row read only when one of its cells from the disk is asked for.

#include "cataloguelistmodel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMutex>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <ctime>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>

namespace {
using Facts = CatalogueListModel::FileFacts;

// The disk as the tests script it, counting what is asked.
struct FakeDisk {
    QHash<QString, Facts> files;
    QStringList asked;
    QMutex asking; // a sort asks from several threads
    CatalogueListModel::FileReader reader()
    {
        return [this](const QString &path) {
            const QMutexLocker lock(&asking);
            asked << path;
            return files.value(path);
        };
    }
    void put(const QString &path, const QDateTime &modified, qint64 size)
    {
        files.insert(path, Facts{true, true, modified, size});
    }
};

QDateTime at(int day, int hour)
{
    return QDateTime(QDate(2024, 3, day), QTime(hour, 0));
}

QStringList keys(const CatalogueListModel &model)
{
    QStringList out;
    for (int r = 0; r < model.rowCount(); ++r)
        out << model.rowKey(r);
    return out;
}

QStringList selectedKeys(const QItemSelectionModel &selection)
{
    QStringList out;
    const QModelIndexList rows = selection.selectedRows();
    for (const QModelIndex &row : rows)
        out << row.data(CatalogueListModel::KeyRole).toString();
    out.sort();
    return out;
}

// The catalogue every sorting row starts from: rows listed by an open (present, missing),
// rows added (filled from the disk, one of them vanished before it was filled), a row never
// filled, equal cells to show the sort is stable, and names differing only in case.
struct Mixed {
    FakeDisk disk;
    CatalogueListModel model{nullptr, disk.reader()};
    Mixed()
    {
        disk.put("/p/b/Zed.jpg", at(5, 10), 7);
        disk.put("/p/b/beta.jpg", at(5, 10), 7);
        disk.put("/p/a/Apple.jpg", at(1, 9), 100);
        disk.put("/q/x.jpg", at(9, 8), 12345);
        disk.put("/p/b/alpha.jpg", at(2, 23), 99);
        model.addUnreadRow("/p/b/Zed.jpg");
        model.addUnreadRow("/p/a/apple.jpg"); // not on the disk
        model.fillRowFromDisk(model.addRow("/p/a/Apple.jpg", true));
        const int vanished = model.addRow("/q/gone.jpg", true);
        model.fillRowFromDisk(vanished);
        model.addUnreadRow("/p/b/beta.jpg");
        model.addRow("/r/m.jpg", true);
        model.addUnreadRow("/q/x.jpg");
        model.fillRowFromDisk(model.addRow("/p/b/alpha.jpg", true));
    }
};
} // namespace

class tst_CatalogueListModel : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // Local time away from UTC, so a date shown in the wrong zone cannot pass.
        qputenv("TZ", "Asia/Tokyo");
        tzset();
    }

    void sortsAsTheListWidgetDid_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("order");
        QTest::addColumn<int>("clicks"); // sorts in a row, alternating as the clicks do
        for (int column = 0; column < CatalogueListModel::ColumnCount; ++column) {
            for (const auto order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
                for (const int clicks : {1, 2}) {
                    const QByteArray name = QByteArray::number(column)
                                            + (order == Qt::AscendingOrder ? " up" : " down") + " x"
                                            + QByteArray::number(clicks);
                    QTest::newRow(name.constData()) << column << int(order) << clicks;
                }
            }
        }
    }
    void sortsAsTheListWidgetDid()
    {
        // Every column both ways, once and twice, orders the rows as the list widget ordered
        // the same cell texts (unwritten cells first going up, "(None)" among the folders).
        QFETCH(int, column);
        QFETCH(int, order);
        QFETCH(int, clicks);
        Mixed mixed;
        CatalogueListModel &model = mixed.model;

        QTreeWidget reference;
        reference.setColumnCount(CatalogueListModel::ColumnCount);
        for (int r = 0; r < model.rowCount(); ++r) {
            auto *item = new QTreeWidgetItem;
            item->setData(0, Qt::UserRole, model.rowKey(r));
            for (int c = 0; c < CatalogueListModel::ColumnCount; ++c) {
                const QVariant cell = model.index(r, c).data();
                if (cell.isValid())
                    item->setText(c, cell.toString());
            }
            reference.addTopLevelItem(item);
        }
        auto sortOrder = Qt::SortOrder(order);
        for (int k = 0; k < clicks; ++k) {
            model.sortRows(column, sortOrder);
            reference.sortItems(column, sortOrder);
            sortOrder = sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
        }
        QStringList expected;
        for (int r = 0; r < reference.topLevelItemCount(); ++r)
            expected << reference.topLevelItem(r)->data(0, Qt::UserRole).toString();
        QCOMPARE(keys(model), expected);
        for (int r = 0; r < model.rowCount(); ++r)
            QCOMPARE(model.findRow(model.rowKey(r)), r);
    }

    void cellsAsTheCatalogueOperationsWriteThem_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QStringList>("cells"); // "-" for an unwritten cell
        QTest::addColumn<bool>("missingIcon");
        const QString none = QStringLiteral("(None)");
        const QString date = QLocale::system().toString(at(5, 10), QLocale::ShortFormat);
        QTest::newRow("opened, present")
            << "/p/b/Zed.jpg" << QStringList{"Zed.jpg", "/p/b", date, "            7"} << false;
        QTest::newRow("opened, missing")
            << "/p/a/apple.jpg" << QStringList{"apple.jpg", none, none, "            0"} << true;
        QTest::newRow("added, vanished before its fill")
            << "/q/gone.jpg" << QStringList{"gone.jpg", "/q", "-", "-"} << false;
        QTest::newRow("never filled") << "/r/m.jpg" << QStringList{"m.jpg", "-", "-", "-"} << false;
    }
    void cellsAsTheCatalogueOperationsWriteThem()
    {
        // Each kind of row shows the texts opening and adding wrote into the list widget.
        QFETCH(QString, key);
        QFETCH(QStringList, cells);
        QFETCH(bool, missingIcon);
        Mixed mixed;
        mixed.model.setIcons(QIcon(QPixmap(16, 16)), QIcon(QPixmap(8, 8)));
        const int row = mixed.model.findRow(key);
        QVERIFY(row >= 0);
        for (int c = 0; c < CatalogueListModel::ColumnCount; ++c) {
            const QVariant cell = mixed.model.index(row, c).data();
            QCOMPARE(cell.isValid() ? cell.toString() : QStringLiteral("-"), cells[c]);
        }
        const QIcon icon = qvariant_cast<QIcon>(mixed.model.index(row, 0).data(Qt::DecorationRole));
        QCOMPARE(icon.availableSizes().value(0).width() == 8, missingIcon);
    }

    void vanishedFileKeepsWhatItShowed()
    {
        // A refresh after the file is gone rewrites the folder only; a refresh of a file
        // still there takes its new date and size.
        FakeDisk disk;
        CatalogueListModel model(nullptr, disk.reader());
        disk.put("/p/a.jpg", at(3, 4), 10);
        const int row = model.addRow("/p/a.jpg", true);
        model.fillRowFromDisk(row);
        const QString date = model.index(row, 2).data().toString();
        disk.files.remove("/p/a.jpg");
        model.fillRowFromDisk(row);
        QCOMPARE(model.index(row, 2).data().toString(), date);
        QCOMPARE(model.index(row, 3).data().toString(), CatalogueListModel::sizeText(10));
        disk.put("/p/a.jpg", at(4, 4), 2000);
        model.fillRowFromDisk(row);
        QVERIFY(model.index(row, 2).data().toString() != date);
        QCOMPARE(model.index(row, 3).data().toString(), CatalogueListModel::sizeText(2000));
    }

    void selectionFollowsItsRows_data()
    {
        QTest::addColumn<QStringList>("selected");
        QTest::addColumn<int>("column");
        QTest::newRow("two apart, by name") << QStringList{"/p/b/Zed.jpg", "/q/x.jpg"} << 0;
        QTest::newRow("a run, by size") << QStringList{"/p/a/Apple.jpg", "/p/b/beta.jpg", "/q/gone.jpg"} << 3;
        QTest::newRow("one, by folder") << QStringList{"/p/a/apple.jpg"} << 1;
    }
    void selectionFollowsItsRows()
    {
        // After a sort the same pictures are selected and the current row is the same picture.
        QFETCH(QStringList, selected);
        QFETCH(int, column);
        Mixed mixed;
        CatalogueListModel &model = mixed.model;
        QItemSelectionModel selection(&model);
        for (const QString &key : std::as_const(selected))
            selection.select(model.index(model.findRow(key), 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        const QString current = selected.last();
        selection.setCurrentIndex(model.index(model.findRow(current), 0), QItemSelectionModel::NoUpdate);
        model.sortRows(column, Qt::DescendingOrder);
        QVERIFY(keys(model) != keys(Mixed().model));
        selected.sort();
        QCOMPARE(selectedKeys(selection), selected);
        QCOMPARE(selection.currentIndex().data(CatalogueListModel::KeyRole).toString(), current);
    }

    void removalKeepsKeysAndSelection_data()
    {
        QTest::addColumn<QList<int>>("removed");
        QTest::addColumn<int>("added"); // rows after the mixed ones
        QTest::newRow("the last") << QList<int>{7} << 0;
        QTest::newRow("the first") << QList<int>{0} << 0;
        QTest::newRow("a run in the middle") << QList<int>{2, 3, 4} << 0;
        QTest::newRow("scattered, out of order") << QList<int>{6, 1, 3} << 0;
        QTest::newRow("all") << QList<int>{0, 1, 2, 3, 4, 5, 6, 7} << 0;
        // More runs than go one by one: removed in one pass.
        QList<int> everyThird, runsOfTwo, allButTwo;
        for (int r = 59; r >= 0; r -= 3)
            everyThird << r;
        for (int r = 1; r < 64; r += 3)
            runsOfTwo << r << r + 1;
        for (int r = 1; r < 63; ++r)
            allButTwo << r;
        QTest::newRow("20 runs, from the last down") << everyThird << 52;
        QTest::newRow("21 runs of two, up to the last") << runsOfTwo << 56;
        QTest::newRow("every row but the first and the last, in 1 run") << allButTwo << 56;
        QList<int> manyRunsAndTheEnds = everyThird;
        manyRunsAndTheEnds << 0 << 63;
        QTest::newRow("20 runs, the first and the last") << manyRunsAndTheEnds << 56;
    }
    void removalKeepsKeysAndSelection()
    {
        // The rows named go, the others keep their order, their keys find them and the
        // selected ones among them stay selected.
        QFETCH(QList<int>, removed);
        QFETCH(int, added);
        Mixed mixed;
        CatalogueListModel &model = mixed.model;
        for (int i = 0; i < added; ++i)
            model.addRow(QStringLiteral("/r/n%1.jpg").arg(i), i % 5 != 0);
        QItemSelectionModel selection(&model);
        selection.setCurrentIndex(model.index(model.rowCount() - 1, 0), QItemSelectionModel::NoUpdate);
        const QStringList before = keys(model);
        QStringList kept;
        QStringList keptSelected;
        for (int r = 0; r < before.size(); ++r) {
            if (removed.contains(r))
                continue;
            kept << before[r];
            if (r % 2 == 0)
                keptSelected << before[r];
        }
        for (int r = 0; r < before.size(); r += 2)
            selection.select(model.index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        model.removeRows(removed);
        QCOMPARE(keys(model), kept);
        keptSelected.sort();
        QCOMPARE(selectedKeys(selection), keptSelected);
        for (int r = 0; r < kept.size(); ++r)
            QCOMPARE(model.findRow(kept[r]), r);
        for (const int r : std::as_const(removed))
            QCOMPARE(model.findRow(before[r]), -1);
        // The current row, when it stays, is the same picture.
        if (!removed.contains(int(before.size()) - 1))
            QCOMPARE(selection.currentIndex().data(CatalogueListModel::KeyRole).toString(), before.last());
        // A key given back after its removal is a new row at the end.
        if (!removed.isEmpty()) {
            const QString again = before[removed.first()];
            QCOMPARE(model.addRow(again, true), int(kept.size()));
            QCOMPARE(model.findRow(again), int(kept.size()));
        }
    }

    void batchListsEachKeyOnce_data()
    {
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QStringList>("batch");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("into an empty list") << QStringList{} << QStringList{"/a/1.jpg", "/a/2.jpg"}
                                            << QStringList{"/a/1.jpg", "/a/2.jpg"};
        QTest::newRow("a key already listed") << QStringList{"/a/2.jpg"} << QStringList{"/a/1.jpg", "/a/2.jpg", "/a/3.jpg"}
                                              << QStringList{"/a/2.jpg", "/a/1.jpg", "/a/3.jpg"};
        QTest::newRow("a key twice in the batch") << QStringList{} << QStringList{"/a/1.jpg", "/b/1.jpg", "/a/1.jpg"}
                                                  << QStringList{"/a/1.jpg", "/b/1.jpg"};
        QTest::newRow("nothing new") << QStringList{"/a/1.jpg"} << QStringList{"/a/1.jpg"} << QStringList{"/a/1.jpg"};
    }
    void batchListsEachKeyOnce()
    {
        // An open lists its entries in batches: one insertion each, keys unique, found by key.
        QFETCH(QStringList, listed);
        QFETCH(QStringList, batch);
        QFETCH(QStringList, expected);
        FakeDisk disk;
        CatalogueListModel model(nullptr, disk.reader());
        for (const QString &key : listed)
            model.addUnreadRow(key);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QCOMPARE(model.addUnreadRows(batch), int(expected.size() - listed.size()));
        QCOMPARE(inserted.size(), expected.size() > listed.size() ? 1 : 0);
        QCOMPARE(keys(model), expected);
        for (int r = 0; r < model.rowCount(); ++r)
            QCOMPARE(model.findRow(expected[r]), r);
        QVERIFY(disk.asked.isEmpty());
    }

    void readsTheDiskAsTheFileSeesIt_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<bool>("isFile");
        QTest::newRow("a picture") << "file" << true << true;
        QTest::newRow("a folder") << "folder" << true << false;
        QTest::newRow("nothing there") << "missing" << false << false;
        QTest::newRow("a link to a picture") << "link" << true << true;
        QTest::newRow("a link to nothing") << "dangling" << false << false;
    }
    void readsTheDiskAsTheFileSeesIt()
    {
        // The list's own reader against QFileInfo: links followed, the local date shown.
        QFETCH(QString, kind);
        QFETCH(bool, exists);
        QFETCH(bool, isFile);
        QTemporaryDir dir;
        const QString picture = dir.filePath("p.jpg");
        QFile file(picture);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(1234, 'x'));
        QVERIFY(file.setFileTime(QDateTime(QDate(2019, 7, 1), QTime(23, 30)), QFileDevice::FileModificationTime));
        file.close();
        QDir(dir.path()).mkdir("sub");
        QFile::link(picture, dir.filePath("link.jpg"));
        QFile::link(dir.filePath("gone.jpg"), dir.filePath("dangling.jpg"));
        const QHash<QString, QString> paths{{"file", picture}, {"folder", dir.filePath("sub")},
                                            {"missing", dir.filePath("gone.jpg")},
                                            {"link", dir.filePath("link.jpg")},
                                            {"dangling", dir.filePath("dangling.jpg")}};
        const QString path = paths.value(kind);
        const Facts facts = CatalogueListModel::readFile(path);
        QCOMPARE(facts.exists, exists);
        QCOMPARE(facts.isFile, isFile);
        if (!isFile)
            return;
        const QFileInfo info(path);
        QCOMPARE(facts.size, info.size());
        QCOMPARE(facts.modified.toMSecsSinceEpoch(), info.lastModified().toMSecsSinceEpoch());
        CatalogueListModel model;
        model.addUnreadRow(path);
        QCOMPARE(model.index(0, 2).data().toString(), QLocale::system().toString(info.lastModified(), QLocale::ShortFormat));
    }

    void diskReadOnlyForRowsAsked_data()
    {
        QTest::addColumn<QString>("ask");
        QTest::addColumn<int>("reads");
        QTest::newRow("names and keys of every row") << "names" << 0;
        QTest::newRow("a sort by name") << "sort0" << 0;
        QTest::newRow("three dates") << "dates" << 3;
        QTest::newRow("an icon asked twice") << "icon" << 1;
        QTest::newRow("a sort by date") << "sort2" << 1000;
        QTest::newRow("a sort by folder, then by size") << "sort1sort3" << 1000;
        QTest::newRow("the view, top and bottom") << "view" << -1;
    }
    void diskReadOnlyForRowsAsked()
    {
        // Rows listed by an open ask the disk once each, and only when a cell from the disk
        // is shown or its column sorted: a view shows a screenful, not the catalogue.
        QFETCH(QString, ask);
        QFETCH(int, reads);
        FakeDisk disk;
        CatalogueListModel model(nullptr, disk.reader());
        for (int i = 0; i < 1000; ++i) {
            const QString path = QStringLiteral("/pics/%1/p%2.jpg").arg(i % 7).arg(i);
            disk.put(path, at(1 + i % 20, i % 24), i);
            model.addUnreadRow(path);
        }
        if (ask == QLatin1String("names")) {
            for (int r = 0; r < model.rowCount(); ++r) {
                model.index(r, 0).data();
                model.index(r, 0).data(CatalogueListModel::KeyRole);
                QCOMPARE(model.findRow(model.rowKey(r)), r);
            }
        } else if (ask.startsWith(QLatin1String("sort"))) {
            for (qsizetype k = 4; k < ask.size(); k += 5)
                model.sortRows(ask.mid(k, 1).toInt(), Qt::AscendingOrder);
        } else if (ask == QLatin1String("dates")) {
            for (const int r : {10, 500, 999}) {
                model.index(r, 2).data();
                model.index(r, 3).data();
            }
        } else if (ask == QLatin1String("icon")) {
            model.index(4, 0).data(Qt::DecorationRole);
            model.index(4, 0).data(Qt::DecorationRole);
        } else {
            QTreeView view;
            view.setUniformRowHeights(true);
            view.setRootIsDecorated(false);
            view.setModel(&model);
            view.resize(400, 200);
            view.show();
            QVERIFY(QTest::qWaitForWindowExposed(&view));
            view.viewport()->repaint();
            view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());
            view.viewport()->repaint();
            const int shown = 2 * (view.viewport()->height() / view.sizeHintForRow(0) + 2);
            QVERIFY(disk.asked.size() > 0);
            QVERIFY2(disk.asked.size() <= shown, qPrintable(QString::number(disk.asked.size())));
            QVERIFY(disk.asked.contains(model.rowKey(999)));
            QVERIFY(disk.asked.contains(model.rowKey(0)));
            return;
        }
        QCOMPARE(disk.asked.size(), reads);
        QCOMPARE(QSet<QString>(disk.asked.begin(), disk.asked.end()).size(), reads);
    }
};

QTEST_MAIN(tst_CatalogueListModel)
#include "tst_cataloguelistmodel.moc"
