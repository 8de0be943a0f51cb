// The compare window opened from the similar-pictures window of the main window, driven by
// its keys: the selection it changes is the main list's, its Delete is the grid's 削除 on
// the group's marked pictures, and its page keys go from group to group.

#include "samtestsupport.h"

#include "lumodriver.h"
#include "picturefiles.h"

#include <comparepane.h>
#include <frmCompare.h>
#include <frmSam.h>
#include <outside/scripteddialogs.h>
#include <samgrid.h>

#include <QTemporaryDir>
#include <QtTest>

class tst_frmCompare : public QObject
{
    Q_OBJECT

private:
    TemporaryHome m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    LumoDriver lumo;
    QStringList m_paths;

    frmSam *sam() { return frmSam::loaded(); }
    SamGrid *grid() { return sam()->findChild<SamGrid *>(QStringLiteral("picList")); }
    QStringList names(const QStringList &paths)
    {
        QStringList names;
        for (const QString &path : paths)
            names << QFileInfo(path).completeBaseName();
        return names;
    }
    QStringList selected()
    {
        QStringList keys;
        const QModelIndexList rows = lumo.list()->selectionModel()->selectedRows();
        for (const QModelIndex &row : rows)
            keys << row.data(Qt::UserRole).toString();
        keys.sort();
        return names(keys);
    }
    QStringList markedPanes(frmCompare *compare)
    {
        QStringList marked;
        const QList<ComparePane *> panes = compare->findChildren<ComparePane *>();
        for (const ComparePane *pane : panes) {
            if (pane->isMarked())
                marked << pane->path();
        }
        marked.sort();
        return names(marked);
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        // p0, p1, p2 alike and p3, p4 alike: the grid shows p1 p2 p0, then p4 p3. p2 has
        // the most pixels.
        m_paths.clear();
        std::vector<Signature> cells;
        for (int i = 0; i < 5; ++i) {
            m_paths << m_dir->filePath(QStringLiteral("p%1.jpg").arg(i));
            QVERIFY(writeSizedPicture(m_paths.last(), i == 2 ? QSize(128, 96) : QSize(64, 48), 4000,
                                      QDateTime::currentDateTime()));
            cells.push_back(i < 3 ? grey() : whitePatch(0, 20));
        }
        // Many more groups of two, for the grid to scroll.
        std::mt19937 random(5);
        for (int i = 5; QByteArray(QTest::currentTestFunction()) == "gridFollows" && i < 55; ++i) {
            m_paths << m_dir->filePath(QStringLiteral("q%1.jpg").arg(i));
            QVERIFY(writeSizedPicture(m_paths.last(), QSize(64, 48), 4000, QDateTime::currentDateTime()));
            cells.push_back(i % 2 ? randomSignature(random) : cells.back());
        }
        lumo.openCatalogue(m_dir->filePath(QStringLiteral("c.sbx")), m_paths, cells);
        lumo.run("mnuJ2");
        QTRY_VERIFY(sam() && !sam()->isRunning());
    }
    void cleanup()
    {
        lumo.reset();
        QTRY_VERIFY(!frmSam::loaded());
        QTRY_VERIFY(!frmCompare::loaded());
        m_home.emptyTrash();
    }

    void keys_data()
    {
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QStringList>("selection"); // the main list's, after the keys
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("panes");
        const QStringList first{"p1", "p2", "p0"};
        QTest::newRow("opened on the pressed picture's group") << QStringList{} << QStringList{"p1"} << "比較 - 1/2" << first;
        QTest::newRow("Space unmarks the first pane") << QStringList{"Space"} << QStringList{} << "比較 - 1/2" << first;
        QTest::newRow("Tab, Space marks the second too")
            << QStringList{"Tab", "Space"} << QStringList{"p1", "p2"} << "比較 - 1/2" << first;
        QTest::newRow("Space twice leaves it as it was")
            << QStringList{"Tab", "Space", "Space"} << QStringList{"p1"} << "比較 - 1/2" << first;
        QTest::newRow("PageDown shows the next group")
            << QStringList{"PgDown"} << QStringList{"p1"} << "比較 - 2/2" << QStringList{"p4", "p3"};
        QTest::newRow("Right at fit goes on, Left comes back")
            << QStringList{"Right", "Left"} << QStringList{"p1"} << "比較 - 1/2" << first;
        QTest::newRow("no group before the first") << QStringList{"PgUp"} << QStringList{"p1"} << "比較 - 1/2" << first;
        QTest::newRow("Space in the next group adds to the selection")
            << QStringList{"PgDown", "Space"} << QStringList{"p1", "p4"} << "比較 - 2/2" << QStringList{"p4", "p3"};
        QTest::newRow("Ctrl+B marks all but the best copy")
            << QStringList{"Ctrl+B"} << QStringList{"p0", "p1"} << "比較 - 1/2" << first;
        QTest::newRow("Delete takes the group's marked pictures only")
            << QStringList{"PgDown", "Space", "PgUp", "Del"} << QStringList{"p4"} << "比較 - 1/2"
            << QStringList{"p2", "p0"};
        // Last: the decision stays in the test's data folder.
        QTest::newRow("N: the current picture is not alike and leaves the group, the list as it was")
            << QStringList{"N"} << QStringList{"p1"} << "比較 - 1/2" << QStringList{"p2", "p0"};
    }
    void keys()
    {
        // The keys change the main list's selection, the panes carry its marks, and Delete
        // asks the grid's question and removes only the group's marked pictures.
        QFETCH(QStringList, keys);
        QFETCH(QStringList, selection);
        QFETCH(QString, title);
        QFETCH(QStringList, panes);
        const SamGeometry &g = grid()->geometryTwips();
        QTest::mousePress(grid(), Qt::LeftButton, {}, grid()->toPixels(g.cellRect(0)).center());
        sam()->findChild<QAction *>(QStringLiteral("mnuCompare"))->trigger();
        frmCompare *compare = frmCompare::loaded();
        QVERIFY(compare);
        QVERIFY(QTest::qWaitForWindowActive(compare));
        ScriptedDialogs dialogs;
        dialogs.answers << DialogService::No; // from the list only
        for (const QString &key : std::as_const(keys)) {
            const QKeySequence sequence(key);
            QTest::keyClick(compare, Qt::Key(sequence[0].key()), sequence[0].keyboardModifiers());
        }
        QTRY_COMPARE(selected(), selection);
        QCOMPARE(compare->windowTitle(), title);
        QCOMPARE(names(compare->pictures()), panes);
        QStringList shownMarked;
        for (const QString &name : std::as_const(selection))
            if (panes.contains(name))
                shownMarked << name;
        QCOMPARE(markedPanes(compare), shownMarked);
        QCOMPARE(dialogs.asked.size(), keys.contains("Del") ? 1 : 0);
        if (keys.contains("Del")) {
            QCOMPARE(dialogs.asked.first().text, QStringLiteral("リストから削除します。実際のファイルも削除しますか？"));
            QCOMPARE(names(lumo.rowKeys()), QStringList({"p0", "p2", "p3", "p4"}));
        }
    }

    void remembersGeometry_data()
    {
        QTest::addColumn<QRect>("geometry");
        QTest::newRow("small, near the top left") << QRect(40, 50, 500, 400);
        QTest::newRow("wide, lower down") << QRect(100, 200, 1000, 420);
    }
    void remembersGeometry()
    {
        // The window opened again stands where and as large as it was when it closed.
        QFETCH(QRect, geometry);
        QTest::mousePress(grid(), Qt::LeftButton, {}, grid()->toPixels(grid()->geometryTwips().cellRect(0)).center());
        sam()->findChild<QAction *>(QStringLiteral("mnuCompare"))->trigger();
        QTRY_VERIFY(frmCompare::loaded() && frmCompare::loaded()->isVisible());
        const QPointer<frmCompare> closing = frmCompare::loaded();
        closing->setGeometry(geometry);
        QTest::keyClick(closing, Qt::Key_Escape);
        QTRY_VERIFY(!closing); // stored as it goes
        sam()->findChild<QAction *>(QStringLiteral("mnuCompare"))->trigger();
        QTRY_VERIFY(frmCompare::loaded() && frmCompare::loaded()->isVisible());
        QCOMPARE(frmCompare::loaded()->geometry(), geometry);
    }

    void gridFollows()
    {
        // Going from group to group in the compare window scrolls the grid to the group shown.
        sam()->resize(sam()->width(), 300);
        QTest::mousePress(grid(), Qt::LeftButton, {}, grid()->toPixels(grid()->geometryTwips().cellRect(0)).center());
        sam()->findChild<QAction *>(QStringLiteral("mnuCompare"))->trigger();
        QTRY_VERIFY(frmCompare::loaded());
        const auto firstCellShown = [this] {
            const int first = grid()->firstCellOf(frmCompare::loaded()->pictures().first());
            return grid()->rect().contains(grid()->toPixels(grid()->geometryTwips().cellRect(first)));
        };
        QVERIFY(firstCellShown());
        const int groups = grid()->groupOf(grid()->placedCount() - 1) + 1;
        QVERIFY(groups > 20);
        for (int group = 1; group < groups; ++group) {
            QTest::keyClick(frmCompare::loaded(), Qt::Key_PageDown);
            QVERIFY2(firstCellShown(), qPrintable(frmCompare::loaded()->windowTitle()));
        }
        QCOMPARE(frmCompare::loaded()->windowTitle(), QStringLiteral("比較 - %1/%1").arg(groups));
    }
};

QTEST_MAIN(tst_frmCompare)
#include "tst_frmCompare.moc"
